#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/system/exceptions.h"
#include "platform/system/files.h"
#include "recorder/CommPort.h"
#include "recorder/Gpi.h"
#include "tests/common/pty.h"
#include "tests/common/scratch.h"

namespace {

// COM1 of the settings is a pseudo-terminal for the length of a test.
class GpiLine : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    ::setenv("SOLVANE_COM1", pty_.SlavePath().c_str(), 1);
  }
  void TearDown() override { ::unsetenv("SOLVANE_COM1"); }

  std::string OpenError(const std::string& mode) {
    try {
      TCommHandle h = CommOpen(mode);
      return {};
    } catch (const plat::Exception& e) {
      return e.Message();
    }
  }

  TGpiSettings Enabled() {
    TGpiSettings s;
    s.enabled = true;
    return s;
  }

  // Opens the port with settings, collecting the messages shown.
  std::vector<std::pair<TNoticeKind, std::string>> Open(TGpiPort& gpi, const TGpiSettings& s) {
    std::vector<std::pair<TNoticeKind, std::string>> shown;
    gpi.OpenComPort(s, [&](TNoticeKind k, const std::string& t) { shown.emplace_back(k, t); });
    return shown;
  }

  PtyPair pty_;
};

std::string RangeText(const std::string& first, const std::string& need) {
  return "Valid COM ports " + first + ". If you need to use " + need +
         " \r\noutside of this range contact Technical Support at (800) \r\n555-0134.\r\n\r\n"
         "The COM port functions will NOT be enabled.";
}

}  // namespace

TEST(Gpi, CrLfMarkInAnyCase) {
  EXPECT_EQ(ParseTheGPIString("L{{CRLF}}"), "L\r\n");
  EXPECT_EQ(ParseTheGPIString("A{{crlf}}B{{CrLf}}"), "A\r\nB\r\n");
  EXPECT_EQ(ParseTheGPIString("{{CRLF}}{{CRLF}}"), "\r\n\r\n");
  EXPECT_EQ(ParseTheGPIString("{{CRLF}"), "{{CRLF}");
  EXPECT_EQ(ParseTheGPIString("{{{CRLF}}}"), "{\r\n}");
  EXPECT_EQ(ParseTheGPIString(""), "");
  EXPECT_EQ(GpiModeText(TGpiSettings{}), "COM1: BAUD=2400 PARITY=N DATA=8 STOP=1");
}

TEST_F(GpiLine, OpenFailuresInOrder) {
  Scratch dir;
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("file"), "x"));
  ::setenv("SOLVANE_COM2", dir.Path("missing").c_str(), 1);
  EXPECT_EQ(OpenError("COM2: BAUD=2400 PARITY=N DATA=8 STOP=1"), "Error opening port");
  ::setenv("SOLVANE_COM2", dir.Path("file").c_str(), 1);
  EXPECT_EQ(OpenError("COM2: BAUD=2400 PARITY=N DATA=8 STOP=1"), "Invalid or unavailable port");
  ::setenv("SOLVANE_COM2", "/dev/null", 1);
  EXPECT_EQ(OpenError("COM2: BAUD=2400 PARITY=N DATA=8 STOP=1"), "Error reading port state");
  ::unsetenv("SOLVANE_COM2");

  EXPECT_EQ(OpenError("COM1: BAUD=2400 PARITY=N DATA=4 STOP=1"), "Invalid mode");
  EXPECT_EQ(OpenError("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1.5"), "Invalid mode");
  EXPECT_EQ(OpenError("COM1: BAUD=fast"), "Invalid mode");
  EXPECT_EQ(OpenError("COM1: BAUD=128000 PARITY=M DATA=7 STOP=2"), "");
  EXPECT_EQ(OpenError("COM1 BAUD=2400"), "");  // the name is the first four characters

  TCommHandle held = CommOpen("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1");
  EXPECT_EQ(OpenError("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1"), "Error opening port");
  EXPECT_TRUE(CommClose(held));
  EXPECT_FALSE(CommClose(held));
  EXPECT_EQ(OpenError("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1"), "");
}

TEST_F(GpiLine, StringsArriveByteForByte) {
  TGpiPort gpi;
  EXPECT_TRUE(Open(gpi, Enabled()).empty());
  ASSERT_TRUE(gpi.Enabled());

  gpi.Send("");  // writes nothing: the next string is the first to arrive
  gpi.Send(ParseTheGPIString("L{{crlf}}"));
  gpi.Send(ParseTheGPIString("REC 1\n{{CRLF}}"));
  std::string binary("\x00\xff\x11\x13\x7f", 5);  // XON/XOFF and NUL pass untouched
  gpi.Send(binary);
  const std::string want = "L\r\nREC 1\n\r\n" + binary;
  EXPECT_EQ(pty_.ReadBytes(want.size()), want);

  gpi.CloseComPort();
  gpi.Send("lost");
  gpi.Send("X");
  TCommHandle again = CommOpen("COM1: BAUD=2400");  // the close released the port
  CommWrite(again, "Y");
  EXPECT_EQ(pty_.ReadBytes(1), "Y");
}

// What a program ended from another thread still owes the studio: the stop of a recording it heard
// start (not of one it heard stop or pause), and the exit, once.
TEST_F(GpiLine, AnEndFromAnotherThreadSendsTheStopAndExitStillOwed) {
  TGpiSettings s = Enabled();
  s.onLoad = "L;";
  s.onRecord = "R;";
  s.onStop = "S;";
  s.onExit = "E;";
  const struct {
    std::vector<TGpiEvent> heard;
    std::string owed;
  } cases[] = {
      {{TGpiEvent::Load}, "E;"},
      {{TGpiEvent::Load, TGpiEvent::Record}, "S;E;"},
      {{TGpiEvent::Record, TGpiEvent::Stop}, "E;"},
      {{TGpiEvent::Record, TGpiEvent::Stop, TGpiEvent::Record}, "S;E;"},
      {{TGpiEvent::Record, TGpiEvent::Stop, TGpiEvent::Exit}, ""},
  };
  for (const auto& c : cases) {
    TGpiPort gpi;
    ASSERT_TRUE(Open(gpi, s).empty());
    std::string heard;
    for (TGpiEvent e : c.heard) {
      gpi.Send(e);
      heard += e == TGpiEvent::Load ? "L;" : e == TGpiEvent::Record ? "R;" : e == TGpiEvent::Stop ? "S;" : "E;";
    }
    std::thread([&gpi] { gpi.SendOwed(1000); }).join();
    std::thread([&gpi] { gpi.SendOwed(1000); }).join();  // owed once only
    gpi.Send("|");
    EXPECT_EQ(pty_.ReadBytes(heard.size() + c.owed.size() + 1), heard + c.owed + "|");
    gpi.CloseComPort();
  }
}

TEST_F(GpiLine, EachRefusedSettingHasItsMessageAndWritesNothing) {
  struct Case {
    void (*change)(TGpiSettings&);
    std::string message;
  };
  const std::string port = RangeText("are 1 through 8", "a COM port");
  const std::string baud = RangeText("baud rates are 75 through 128K", "a baud rate");
  const std::string parity = RangeText("Parity is one of the following: E,O,N,S,M", "a different parity");
  const std::string data = RangeText("data bits are 4 through 8", "data bits");
  const std::string stop = RangeText("stop bits are 1 through 2", "stop bits");
  const std::vector<Case> cases = {
      {[](TGpiSettings& s) { s.comPort = 0; }, port},
      {[](TGpiSettings& s) { s.comPort = 9; }, port},
      {[](TGpiSettings& s) { s.comPort = 0, s.baud = 74; }, port},  // first check wins
      {[](TGpiSettings& s) { s.baud = 74; }, baud},
      {[](TGpiSettings& s) { s.baud = 128001; }, baud},
      {[](TGpiSettings& s) { s.baud = 128001, s.parity = "x"; }, baud},
      {[](TGpiSettings& s) { s.parity = "n"; }, parity},
      {[](TGpiSettings& s) { s.parity = "NO"; }, parity},
      {[](TGpiSettings& s) { s.parity = ""; }, parity},
      {[](TGpiSettings& s) { s.dataBits = 3; }, data},
      {[](TGpiSettings& s) { s.dataBits = 9; }, data},
      {[](TGpiSettings& s) { s.stopBits = 0; }, stop},
      {[](TGpiSettings& s) { s.stopBits = 3; }, stop},
      // Valid to the settings, beyond termios: the open's own failure.
      {[](TGpiSettings& s) { s.dataBits = 4; },
       "You have enabled COM port support for GPI functions in the Solvane.Ini file\r\n\r\n"
       "You specified COM1: There was a problem. The system responded:\r\n\r\nInvalid mode"},
  };
  for (const Case& c : cases) {
    TGpiSettings s = Enabled();
    s.onLoad = "LOAD";
    c.change(s);
    TGpiPort gpi;
    auto shown = Open(gpi, s);
    ASSERT_EQ(shown.size(), 1u) << c.message;
    EXPECT_EQ(shown[0].first, TNoticeKind::Error);
    EXPECT_EQ(shown[0].second, c.message);
    EXPECT_FALSE(gpi.Enabled());
    gpi.Send(s.onLoad);
    gpi.CloseComPort();
  }
  // Nothing reached the line: a good port's first string is the first to arrive.
  TGpiPort good;
  ASSERT_TRUE(Open(good, Enabled()).empty());
  good.Send("OK");
  EXPECT_EQ(pty_.ReadBytes(2), "OK");
}

TEST_F(GpiLine, BoundaryBaudRatesAndDisabledGpi) {
  for (int baud : {75, 128000}) {
    TGpiSettings s = Enabled();
    s.baud = baud;
    s.parity = "S";
    s.stopBits = 2;
    TGpiPort gpi;
    EXPECT_TRUE(Open(gpi, s).empty()) << baud;
    EXPECT_TRUE(gpi.Enabled());
  }
  TGpiSettings off;
  off.comPort = 99;  // never looked at while GPI is off
  TGpiPort gpi;
  EXPECT_TRUE(Open(gpi, off).empty());
  EXPECT_FALSE(gpi.Enabled());
  gpi.Send("X");
  TCommHandle line = CommOpen("COM1:");  // the disabled port never held the line
  CommWrite(line, "Z");
  EXPECT_EQ(pty_.ReadBytes(1), "Z");
}

TEST_F(GpiLine, LongWritesCompleteForAReaderAndGiveUpOnAStuckLine) {
  TCommHandle h = CommOpen("COM1: BAUD=115200 PARITY=N DATA=8 STOP=1");
  std::string text(256 * 1024, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char('a' + i % 26);

  std::string got;
  std::thread reader([&] { got = pty_.ReadBytes(text.size()); });
  EXPECT_EQ(CommWrite(h, text), text.size());
  reader.join();
  EXPECT_EQ(got, text);

  // Nobody reads now: the write must come back with what the line took.
  size_t taken = CommWrite(h, text);
  EXPECT_LT(taken, text.size());
  EXPECT_EQ(pty_.ReadBytes(taken), text.substr(0, taken));
}
