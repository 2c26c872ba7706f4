#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/serial/serial_port.h"
#include "tests/common/pty.h"

using namespace plat;

TEST(SerialMode, ParsesTheModeText) {
  SerialMode m;
  ASSERT_TRUE(ParseSerialMode("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1", m));
  EXPECT_EQ(m.baud, 2400u);
  EXPECT_EQ(m.parity, 'N');
  EXPECT_EQ(m.dataBits, 8);
  EXPECT_EQ(m.stopBits, 10);

  // Any case, commas, and keys left out keep what the port had.
  ASSERT_TRUE(ParseSerialMode("com2:baud=128000,parity=m stop=1.5", m));
  EXPECT_EQ(m.baud, 128000u);
  EXPECT_EQ(m.parity, 'M');
  EXPECT_EQ(m.dataBits, 8);
  EXPECT_EQ(m.stopBits, 15);
  ASSERT_TRUE(ParseSerialMode("DATA=4 STOP=2", m));  // no port name at all
  ASSERT_TRUE(ParseSerialMode("COM2 BAUD=300", m));  // a name without its colon
  EXPECT_EQ(m.baud, 300u);
  ASSERT_TRUE(ParseSerialMode("BAUD=128000", m));
  EXPECT_EQ(m.dataBits, 4);
  EXPECT_EQ(m.stopBits, 20);
  EXPECT_EQ(m.baud, 128000u);

  const SerialMode before = m;
  for (const char* bad : {"COM1: BAUD=0", "COM1: BAUD=24OO", "COM1: BAUD=99999999999", "COM1: PARITY=X",
                          "COM1: PARITY=NO", "COM1: DATA=3", "COM1: DATA=9", "COM1: STOP=3", "COM1: STOP=1.25",
                          "COM1: SPEED=2400", "COM1: BAUD", "COM1: =8", "COM1: BAUD=2400 XYZ", "COM1 COM2 BAUD=2400"}) {
    EXPECT_FALSE(ParseSerialMode(bad, m)) << bad;
    EXPECT_EQ(m.baud, before.baud) << bad;
    EXPECT_EQ(m.dataBits, before.dataBits) << bad;
    EXPECT_EQ(m.parity, before.parity) << bad;
  }
}

TEST(SerialMode, PortNamesMapToDevices) {
  ::unsetenv("SOLVANE_COM3");
  EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath("com3"), "/dev/ttyS2");
  ::setenv("SOLVANE_COM3", "/dev/pts/77", 1);
  EXPECT_EQ(SerialDevicePath("COM3"), "/dev/pts/77");
  EXPECT_EQ(SerialDevicePath("COM03"), "/dev/pts/77");
  ::unsetenv("SOLVANE_COM3");
  EXPECT_EQ(SerialDevicePath("COM0"), "COM0");
  EXPECT_EQ(SerialDevicePath("COMX"), "COMX");
  EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(SerialPort, OpensExclusivelyNonBlockingAndRaw) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  EXPECT_TRUE(port.IsCharDevice());
  EXPECT_TRUE(::fcntl(port.Handle(), F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(::fcntl(port.Handle(), F_GETFD) & FD_CLOEXEC);

  // A second handle is refused while the first holds the port, even for root.
  SerialPort other;
  EXPECT_FALSE(other.Open(pty.SlavePath()));

  SerialMode m;
  ASSERT_TRUE(port.GetMode(m));
  m.baud = 9600;
  m.dataBits = 8;
  m.parity = 'N';
  m.stopBits = 20;
  ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok);
  ASSERT_TRUE(port.SetReadsReturnAtOnce());
  termios t{};
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL));
  EXPECT_FALSE(t.c_oflag & OPOST);  // a line feed leaves as it is, never as CR LF
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(::cfgetospeed(&t), speed_t(B9600));

  EXPECT_TRUE(port.Close());
  EXPECT_FALSE(port.Close());
  EXPECT_TRUE(other.Open(pty.SlavePath()));  // released with the close
}

TEST(SerialPort, NeverBecomesTheControllingTerminal) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A session leader without a terminal would adopt the first one it opens.
    if (::setsid() < 0) ::_exit(2);
    SerialPort port;
    if (!port.Open(pty.SlavePath())) ::_exit(3);
    ::_exit(::tcgetsid(port.Handle()) == ::getsid(0) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SerialPort, SpeedsParityAndWhatTermiosCannotDo) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  SerialMode m;
  ASSERT_TRUE(port.GetMode(m));

  // Speeds outside the standard set go through the kernel's arbitrary-speed call.
  for (uint32_t baud : {75u, 14400u, 56000u, 128000u}) {
    m.baud = baud;
    ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok) << baud;
    SerialMode back;
    ASSERT_TRUE(port.GetMode(back));
    EXPECT_EQ(back.baud, baud);
  }
  // Every parity, twice over, at standard and arbitrary speeds: a driver that keeps its own
  // framing (as a pseudo-terminal does) must not turn a repeated setting into a failure.
  for (uint32_t baud : {75u, 128000u, 2400u, 14400u})
    for (char parity : std::string("NEOMS"))
      for (int stop : {10, 20}) {
        m.baud = baud;
        m.parity = parity;
        m.stopBits = stop;
        EXPECT_EQ(port.SetMode(m), SerialPort::SetResult::Ok) << baud << parity << stop;
        EXPECT_EQ(port.SetMode(m), SerialPort::SetResult::Ok) << baud << parity << stop;
      }

  termios t{};
  m.parity = 'M';
  ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok);
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_TRUE(t.c_cflag & CMSPAR);
  EXPECT_TRUE(t.c_cflag & PARODD);
  m.parity = 'S';
  ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok);
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_TRUE(t.c_cflag & CMSPAR);
  EXPECT_FALSE(t.c_cflag & PARODD);
  m.parity = 'E';
  ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok);
  ASSERT_EQ(::tcgetattr(port.Handle(), &t), 0);
  EXPECT_FALSE(t.c_cflag & CMSPAR);  // no mark or space left over from before
  EXPECT_FALSE(t.c_cflag & PARODD);

  SerialMode four = m;
  four.dataBits = 4;
  EXPECT_EQ(port.SetMode(four), SerialPort::SetResult::Unsupported);
  SerialMode oneAndHalf = m;
  oneAndHalf.stopBits = 15;
  EXPECT_EQ(port.SetMode(oneAndHalf), SerialPort::SetResult::Unsupported);
}

TEST(SerialPort, WritesNeverWaitAndTheDrainReturns) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.SlavePath()));
  SerialMode m;
  ASSERT_TRUE(port.GetMode(m));
  ASSERT_EQ(port.SetMode(m), SerialPort::SetResult::Ok);

  // Nobody reads the other end: the line fills, and a write then takes nothing at once.
  std::string block(4096, 'x');
  size_t total = 0;
  long w = 0;
  for (int i = 0; i < 10000; ++i) {
    w = port.WriteSome(block.data(), block.size());
    if (w <= 0) break;
    total += size_t(w);
  }
  EXPECT_EQ(w, 0);
  EXPECT_GT(total, 0u);
  port.Drain(50);  // must come back even though the far end never reads

  EXPECT_EQ(pty.ReadBytes(total).size(), total);
  EXPECT_TRUE(port.WaitWritable(1000));
}
