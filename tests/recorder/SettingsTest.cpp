#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/system/exceptions.h"
#include "platform/system/files.h"
#include "recorder/Settings.h"
#include "tests/common/scratch.h"

TEST(Settings, FormatTextsFollowTheirRule) {
  // Rate in kHz with three decimals, then the data rate: rate x frame bytes / 1024 rounded down,
  // except that the 48 kHz texts carry the 32 kHz data rates.
  const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  std::set<std::string> seen;
  for (int n = 0; n < FormatCount; ++n) {
    int rate = rates[n / 4];
    int bits = (n % 4) < 2 ? 8 : 16;
    int channels = (n % 2) + 1;
    int dataRate = (rate == 48000 ? 32000 : rate) * (bits / 8) * channels / 1024;
    char want[80];
    std::snprintf(want, sizeof want, "%d.%03d kHz, %d bit, %s, %d kb/sec", rate / 1000, rate % 1000, bits,
                  channels == 1 ? "Mono" : "Stereo", dataRate);
    EXPECT_EQ(FormatText(n), want) << n;
    EXPECT_EQ(FormatNumber(want), n);
    seen.insert(FormatText(n));
  }
  EXPECT_EQ(seen.size(), size_t(FormatCount));
  EXPECT_EQ(FormatText(0), "8.000 kHz, 8 bit, Mono, 7 kb/sec");
  EXPECT_EQ(FormatText(DefaultStandardFormat), "32.000 kHz, 16 bit, Mono, 62 kb/sec");
  EXPECT_EQ(FormatText(31), "44.100 kHz, 16 bit, Stereo, 172 kb/sec");
  EXPECT_EQ(FormatText(35), "48.000 kHz, 16 bit, Stereo, 125 kb/sec");
  EXPECT_EQ(FormatText(-1), "");
  EXPECT_EQ(FormatText(36), "");
  EXPECT_EQ(FormatNumber("8.000 kHz, 8 bit, mono, 7 kb/sec"), -1);  // matched exactly
  EXPECT_EQ(FormatNumber(""), -1);
}

TEST(Settings, TimeTextToMilliseconds) {
  EXPECT_EQ(TimeStrToMilSec("00:00:00.000"), 0);
  EXPECT_EQ(TimeStrToMilSec("01:02:03.004"), 3723004);
  EXPECT_EQ(TimeStrToMilSec("10:00:00.500"), 36000500);
  EXPECT_EQ(TimeStrToMilSec("99:59:59.999"), 359999999);
  EXPECT_EQ(TimeStrToMilSec("000130250"), 90250);     // the separators are optional
  EXPECT_EQ(TimeStrToMilSec("00.01:30:250"), 90250);  // and may stand anywhere
  // Anything but nine digits fails rather than shifting the fields ("12:00" is not 12 hours).
  for (const char* bad : {"12:00", "12:00.000", "12:00:00", "1:00:00.000", "00:00:00.0000", "", "::.", "ab:cd:ef.ghi",
                          "-1:00:00.000", "00:00:00.00 ", "00 00 00 000"})
    EXPECT_THROW(TimeStrToMilSec(bad), plat::EConvertError) << bad;
}

namespace {

struct Shown {
  TNoticeKind kind;
  std::string text;
};

std::string Contents(const std::string& path) {
  std::string text;
  plat::ReadWholeFile(path, text);
  return text;
}

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* l : lines) text += std::string(l) + "\r\n";
  return text;
}

// A program folder whose settings file holds the given text (none when nullptr).
class SettingsFile : public ::testing::Test {
protected:
  std::string Folder() const { return dir_.Root() + "/"; }
  std::string Path() const { return Folder() + SettingsFileName; }

  void Load(const std::string* text = nullptr) {
    if (text) {
      ASSERT_TRUE(plat::WriteWholeFile(Path(), *text));
    }
    shown_.clear();
    s_ = TDeckSettings{};
    EXPECT_TRUE(LoadConfig(s_, Folder(), [&](TNoticeKind k, const std::string& t) { shown_.push_back({k, t}); }));
  }
  void Load(const std::string& text) { Load(&text); }

  Scratch dir_;
  TDeckSettings s_;
  std::vector<Shown> shown_;
};

const char* const kFormatMessage =
    "A one-hour 32 kHz, 16 bit, mono file has been chosen as the Standard Cart.\r\n\r\n"
    "You can change it with Ctrl+F, or with the F10 \"Other\" button and \"Setup Standard Cart\".";

}  // namespace

TEST_F(SettingsFile, TheFileIsForItsOwnerOnlyFromItsFirstLine) {
  const mode_t mask = ::umask(0);  // the widest a creation could give
  auto mode = [&] {
    struct stat st;
    return ::stat(Path().c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  ASSERT_TRUE(CreateSettingsFile(Path()));
  EXPECT_EQ(mode(), 0600u);  // before the first key holds anything
  Load();
  EXPECT_EQ(mode(), 0600u);
  // A file from an earlier run that others may read is closed to them by its next rewrite.
  ASSERT_EQ(::chmod(Path().c_str(), 0644), 0);
  Load(std::string("[FILES]\r\nPASSWORD=Boss\r\n"));  // the missing keys are written back
  EXPECT_EQ(s_.supervisorPassword, "Boss");
  EXPECT_EQ(mode(), 0600u);
  // Also under a umask that takes the owner's own rights: the file made is still the program's to
  // write, so the defaults written back are saved without a word.
  for (mode_t strict : {0277, 0777}) {
    SCOPED_TRACE(::testing::Message() << "umask " << std::oct << strict);
    ASSERT_TRUE(plat::DeleteFile(Path()));
    ::umask(strict);
    const bool made = CreateSettingsFile(Path());
    ::umask(0);
    ASSERT_TRUE(made);
    EXPECT_EQ(mode(), 0600u);
    Load();
    EXPECT_EQ(s_.supervisorPassword, "");
    EXPECT_NE(Contents(Path()).find("PASSWORD="), std::string::npos) << "the defaults were not written back";
    for (const Shown& n : shown_) EXPECT_EQ(n.text.find("cannot be saved"), std::string::npos) << n.text;
  }
  ::umask(mask);
}

TEST_F(SettingsFile, AFileThatCannotBeReadIsNamedLeftAsItIsAndTheDefaultsHold) {
  Load();  // what a first start takes: every default
  const TDeckSettings first = s_;
  ASSERT_TRUE(plat::DeleteFile(Path()));
  ASSERT_EQ(::mkfifo(Path().c_str(), 0600), 0);  // would hold the start for good
  Load();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].kind, TNoticeKind::Warning);
  EXPECT_EQ(shown_[0].text, "Unable to read " + Path() +
                                ": it is not a regular file. \r\nSolvane uses the default settings until it can "
                                "be read.");
  struct stat st;
  ASSERT_EQ(::lstat(Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  const auto same = [](const TDeckSettings& a, const TDeckSettings& b) {
    return a.standardFormat == b.standardFormat && a.standardLength == b.standardLength &&
           a.savePath == b.savePath && a.loadPath == b.loadPath && a.postrelInPath == b.postrelInPath &&
           a.safetySave == b.safetySave && a.supervisorPassword == b.supervisorPassword &&
           a.gpi.enabled == b.gpi.enabled && a.gpi.comPort == b.gpi.comPort && a.gpi.baud == b.gpi.baud &&
           a.gpi.parity == b.gpi.parity && a.arrowsSensitivity == b.arrowsSensitivity &&
           a.loadMenuEnabled == b.loadMenuEnabled && a.editButtonEnabled == b.editButtonEnabled;
  };
  EXPECT_TRUE(same(s_, first));
  // Too large to be a settings file: refused the same way, and not one byte of it is rewritten.
  ASSERT_TRUE(plat::DeleteFile(Path()));
  ASSERT_TRUE(plat::WriteWholeFile(Path(), "[FILES]\r\nPASSWORD=Boss\r\n"));
  ASSERT_EQ(::truncate(Path().c_str(), plat::SmallFileLimit + 1), 0);
  const int64_t age = plat::FileAge(Path());
  ASSERT_TRUE(plat::SetFileAge(Path(), age - 100));
  Load();
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].text.rfind("Unable to read " + Path() + ": it is larger than 4 MB.", 0), 0u) << shown_[0].text;
  EXPECT_TRUE(same(s_, first));
  EXPECT_EQ(plat::FileAge(Path()), age - 100);
  EXPECT_EQ(plat::FileSize(Path()), plat::SmallFileLimit + 1);
  // A blank cart made meanwhile takes the standard cart in force, and the file stays as it is.
  plat::TIniFile ini(Path());
  int format = 31, length = 3000;
  EXPECT_FALSE(ReadStandardCart(ini, format, length));
  EXPECT_EQ(format, 31);
  EXPECT_EQ(length, 3000);
  EXPECT_EQ(plat::FileAge(Path()), age - 100);
}

TEST_F(SettingsFile, FirstStartWritesEveryKeyInOrder) {
  Load();
  std::string golden;
  ASSERT_TRUE(plat::ReadWholeFile(std::string(RECORDER_TEST_DATA) + "/first-start.ini", golden));
  for (size_t at; (at = golden.find("@FOLDER@")) != std::string::npos;) golden.replace(at, 8, Folder());
  EXPECT_EQ(Contents(Path()), golden);

  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].kind, TNoticeKind::Information);
  EXPECT_EQ(shown_[0].text, kFormatMessage);

  EXPECT_EQ(s_.standardFormat, 26);
  EXPECT_EQ(s_.standardLength, 10000);
  EXPECT_EQ(s_.savePath, Folder());
  EXPECT_EQ(s_.loadPath, Folder());
  EXPECT_EQ(s_.postrelInPath, Folder() + "postrel/in");
  EXPECT_TRUE(s_.displayPunchInWarning);
  EXPECT_TRUE(s_.safetySave);  // written as 1 and on in the same run
  EXPECT_FALSE(s_.gpi.enabled);
  EXPECT_EQ(s_.gpi.baud, 2400);
  EXPECT_EQ(s_.gpi.parity, "N");
  EXPECT_EQ(s_.arrowsSensitivity, 1000);
  EXPECT_EQ(s_.warningTimeMs, 0);

  // The completed file reads back as it stands: no message, not a byte changed.
  const std::string completed = Contents(Path());
  Load();
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(Contents(Path()), completed);
}

TEST_F(SettingsFile, MissingOrUnusableValuesAreReplaced) {
  // 3300, text and numbers outside the format list count as a missing format.
  for (const char* format : {"3300", "abc", "36", "-1", ""}) {
    Load(Lines(
        {"[Standard Cart]", (std::string("FORMAT=") + format).c_str(), "LENGTH=abc", "[METER GAIN]", "offset=loud"}));
    EXPECT_EQ(s_.standardFormat, 26) << format;
    ASSERT_FALSE(shown_.empty());
    EXPECT_EQ(shown_[0].text, kFormatMessage);
    EXPECT_EQ(s_.standardLength, 10000);
    EXPECT_EQ(s_.meterGainOffset, 0);
    const std::string file = Contents(Path());
    EXPECT_NE(file.find("[Standard Cart]\r\nFORMAT=26\r\nLENGTH=10000\r\n"), std::string::npos) << format;
    EXPECT_NE(file.find("[METER GAIN]\r\noffset=0\r\n"), std::string::npos);  // its own spelling
  }
  Load(Lines({"[Standard Cart]", "FORMAT=5", "LENGTH=0", "[METER GAIN]", "Offset=-3"}));
  EXPECT_EQ(s_.standardFormat, 5);
  EXPECT_EQ(s_.standardLength, 10000);  // 0 would leave no time on any standard cart
  EXPECT_EQ(s_.meterGainOffset, -3);
  EXPECT_TRUE(shown_.empty());
  Load(Lines({"[Standard Cart]", "FORMAT=35", "LENGTH=13000"}));
  EXPECT_EQ(s_.standardFormat, 35);
  EXPECT_EQ(s_.standardLength, 13000);
}

TEST_F(SettingsFile, StoredValuesAndTheirReadings) {
  Load(Lines({"[GUI]",
              "Analog Meters=true",
              "Display Punch In Warning=0",
              "EDIT BUTTON=abc",
              "[LOAD MENU]",
              "ITEM3=0",
              "[GPI]",
              "ENABLE=1",
              "COM PORT=3",
              "BAUD=9600",
              "PARITY=E",
              "DATA=7",
              "STOP=2",
              "ON STOP=A{{CRLF}}B",
              "ON LOAD=L{{crlf}}",
              "[RECORDING OPTIONS]",
              "Time Remaining Warning=True",
              "Time=00:30:15",
              "Warning Wav=/sounds/beep.wav",
              "[DISPLAY]",
              "FULL SCREEN=1",
              "[POSTREL IN]",
              "PATH=/Srv/Drop/In",
              "[PREFIX FILE]",
              "SORT=1"}));
  EXPECT_TRUE(s_.analogMeters);
  EXPECT_FALSE(s_.displayPunchInWarning);
  EXPECT_TRUE(s_.editButtonEnabled);
  EXPECT_FALSE(s_.loadMenuEnabled[2]);
  EXPECT_TRUE(s_.loadMenuEnabled[0] && s_.loadMenuEnabled[6]);
  EXPECT_TRUE(s_.gpi.enabled);
  EXPECT_EQ(s_.gpi.comPort, 3);
  EXPECT_EQ(s_.gpi.baud, 9600);
  EXPECT_EQ(s_.gpi.parity, "E");
  EXPECT_EQ(s_.gpi.dataBits, 7);
  EXPECT_EQ(s_.gpi.stopBits, 2);
  EXPECT_EQ(s_.gpi.onStop, "A\r\nB");
  EXPECT_EQ(s_.gpi.onLoad, "L\r\n");
  EXPECT_TRUE(s_.timeRemainingWarning);
  EXPECT_EQ(s_.warningTimeMs, (30 * 60 + 15) * 1000);
  EXPECT_EQ(s_.warningWav, "/sounds/beep.wav");
  EXPECT_TRUE(s_.desktopFullScreen);
  EXPECT_EQ(s_.postrelInPath, "/Srv/Drop/In");  // a path keeps its case
  EXPECT_TRUE(s_.prefixSort);
  const std::string file = Contents(Path());
  EXPECT_NE(file.find("Analog Meters=true\r\n"), std::string::npos);
  EXPECT_NE(file.find("ON STOP=A{{CRLF}}B\r\n"), std::string::npos);  // parsed in memory only

  Load(Lines({"[GUI]", "Analog Meters=yes", "EDIT BUTTON=0", "[RECORDING OPTIONS]", "Time=12:00",
              "Time Remaining Warning=yes", "[DISPLAY]", "FULL SCREEN=2"}));
  EXPECT_FALSE(s_.analogMeters);
  EXPECT_NE(Contents(Path()).find("Analog Meters=False\r\n"), std::string::npos);
  EXPECT_FALSE(s_.editButtonEnabled);
  EXPECT_EQ(s_.warningTimeMs, 0);  // not convertible once ".000" is added
  EXPECT_FALSE(s_.timeRemainingWarning);
  EXPECT_FALSE(s_.desktopFullScreen);
  // The time-left keys and the desktop key are never added.
  EXPECT_EQ(Contents(Path()).find("Warning Wav"), std::string::npos);
}

TEST_F(SettingsFile, FoldersAndPrefixFileThatDoNotExist) {
  ASSERT_TRUE(plat::ForceDirectories(Folder() + "carts"));
  ASSERT_TRUE(plat::WriteWholeFile(Folder() + "prefixes.txt", "A\r\n"));
  Load(Lines({"[Standard Cart]", "FORMAT=3", "LENGTH=100", "[FILES]",
              "SAVE PATH=", (std::string("LOAD PATH=") + Folder() + "gone/").c_str(), "[PREFIX FILE]",
              (std::string("LOAD PATH=") + Folder() + "nothing.txt").c_str()}));
  ASSERT_EQ(shown_.size(), 3u);
  EXPECT_EQ(shown_[0].kind, TNoticeKind::Warning);
  EXPECT_EQ(shown_[0].text, "Could not find your \"Save Path\" from  Solvane.ini. Solvane will use " + Folder());
  EXPECT_EQ(shown_[1].text, "Could not find your \"Load Path\" from  Solvane.ini. Solvane will use " + Folder());
  EXPECT_EQ(shown_[2].text, "Could not find your Prefix File. Prefixes will not be used.");
  EXPECT_EQ(s_.savePath, Folder());
  EXPECT_EQ(s_.loadPath, Folder());
  EXPECT_EQ(s_.prefixFile, "");
  // Nothing is written over a folder the operator named, even an empty one.
  const std::string file = Contents(Path());
  EXPECT_NE(file.find("[FILES]\r\nSAVE PATH=\r\nLOAD PATH=" + Folder() + "gone/\r\n"), std::string::npos);

  Load(Lines({"[Standard Cart]", "FORMAT=3", "LENGTH=100", "[FILES]",
              (std::string("SAVE PATH=") + Folder() + "carts").c_str(),
              (std::string("LOAD PATH=") + Folder() + "carts/").c_str(), "[PREFIX FILE]",
              (std::string("LOAD PATH=") + Folder() + "prefixes.txt").c_str()}));
  EXPECT_TRUE(shown_.empty());
  EXPECT_EQ(s_.savePath, Folder() + "carts");
  EXPECT_EQ(s_.loadPath, Folder() + "carts/");
  EXPECT_EQ(s_.prefixFile, Folder() + "prefixes.txt");
}

TEST_F(SettingsFile, WarningDialogAndSensitivity) {
  Load();
  plat::TIniFile ini(Path());
  shown_.clear();
  auto notify = [&](TNoticeKind k, const std::string& t) { shown_.push_back({k, t}); };
  // Turned on without a usable time: refused, nothing written.
  for (const char* time : {"00:00:00", "12:3_:__"}) {
    EXPECT_FALSE(ApplyTimeLeftWarning(ini, s_, true, time, "/w.wav", notify)) << time;
    EXPECT_FALSE(s_.timeRemainingWarning);
  }
  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[1].text,
            "You have selected to enable the warning, but you did not enter \r\n"
            "a valid time. Please enter a valid time and then click OK");
  EXPECT_EQ(Contents(Path()).find("RECORDING OPTIONS"), std::string::npos);

  EXPECT_TRUE(ApplyTimeLeftWarning(ini, s_, true, "00:01:30", "/w.wav", notify));
  EXPECT_TRUE(s_.timeRemainingWarning);
  EXPECT_EQ(s_.warningTimeMs, 90000);
  EXPECT_NE(Contents(Path()).find("[RECORDING OPTIONS]\r\nTime Remaining Warning=True\r\n"
                                  "Time=00:01:30\r\nWarning Wav=/w.wav\r\n"),
            std::string::npos);
  Load();
  EXPECT_TRUE(s_.timeRemainingWarning);
  EXPECT_EQ(s_.warningTimeMs, 90000);
  EXPECT_EQ(s_.warningWav, "/w.wav");

  EXPECT_TRUE(ApplyTimeLeftWarning(ini, s_, false, "00:01:30", "/w.wav", notify));
  EXPECT_EQ(s_.warningTimeMs, 0);
  EXPECT_NE(Contents(Path()).find("Time Remaining Warning=False\r\nTime=00:00:00\r\nWarning Wav=\r\n"),
            std::string::npos);

  for (int i = 0; i < 6; ++i) EXPECT_EQ(SensitivityItem(SensitivitySteps[size_t(i)]), i);
  EXPECT_EQ(SensitivityItem(3), 3);  // the dialog's default when the key is missing
  EXPECT_EQ(SensitivitySeconds(1), ".001");
  EXPECT_EQ(SensitivitySeconds(100000), "100");
  EXPECT_EQ(SensitivitySeconds(250), "1000");
}
