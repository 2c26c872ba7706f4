#pragma once
// Serial ports over termios. A port is opened non-blocking, without becoming the controlling
// terminal, and exclusively (a second open of the same device fails, even for root); it is set
// raw with CLOCAL and no flow control. Nothing here ever waits without a bound.
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

struct SerialMode {
  uint32_t baud = 9600;
  char parity = 'N';  // N, E, O, M (mark) or S (space)
  int dataBits = 8;
  int stopBits = 10;  // tenths: 10, 15 or 20
};

// Fills mode from a mode text such as "COM1: BAUD=2400 PARITY=N DATA=8 STOP=1": an optional
// port name (ending in ":", or a first word without "="), then KEY=value pairs separated by blanks or commas. Keys and
// letters may be in any case; keys that are absent keep mode's values. False, with mode untouched, when any part cannot
// be read. Whether the device can do the result is SerialPort::SetMode's matter.
bool ParseSerialMode(const std::string& text, SerialMode& mode);

// "COMn" (any case, n >= 1) is $SOLVANE_COMn when set, else /dev/ttyS<n-1>; any other name is
// taken as a device path.
std::string SerialDevicePath(const std::string& portName);

class SerialPort {
public:
  enum class SetResult { Ok, Unsupported, Failed };

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // False when the device cannot be opened for reading and writing or another handle holds it.
  bool Open(const std::string& devicePath);
  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  bool IsCharDevice() const;

  // The line settings in force; false when the device has none (not a terminal).
  bool GetMode(SerialMode& mode) const;
  // Raw, CLOCAL, no flow control, and mode's speed, parity, data and stop bits. Unsupported
  // when termios cannot express it here: 4 data bits, 1.5 stop bits, a speed outside the
  // standard set where the kernel has no arbitrary-speed call, mark or space parity where the
  // device drops the kernel's extension for it.
  SetResult SetMode(const SerialMode& mode);
  // Reads return at once with whatever has arrived.
  bool SetReadsReturnAtOnce();
  // Discards what is queued for sending and/or what has arrived unread.
  bool Purge(bool output, bool input);

  // Writes what the device takes now without waiting: the count written, 0 when it takes
  // nothing at the moment, -1 on an error.
  long WriteSome(const void* data, size_t size);
  // Waits up to ms for room to write; true when there is room.
  bool WaitWritable(int ms);
  // Waits until everything queued has left the device, for at most timeoutMs; a negative
  // timeout allows the time the queued bytes take at the port's speed plus 100 ms. True when
  // the queue emptied.
  bool Drain(int timeoutMs = -1);

  // Releases the device; false when it was not open or the close failed.
  bool Close();

private:
  int fd_ = -1;
  uint32_t baud_ = 9600;
  int bitsPerChar_ = 10;
};

}  // namespace plat
