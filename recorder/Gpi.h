#pragma once
// GPI signalling: configured strings written to a serial port when the program starts, when
// recording starts or resumes, when the deck stops or pauses, and when the program exits.
#include <mutex>
#include <string>

#include "recorder/CommPort.h"
#include "recorder/Notices.h"

// The [GPI] section of the settings file, the strings already parsed.
struct TGpiSettings {
  bool enabled = false;
  int comPort = 1;
  int baud = 2400;
  std::string parity = "N";
  int dataBits = 8;
  int stopBits = 1;
  std::string onRecord, onStop, onLoad, onExit;
};

// Every "{{CRLF}}", in any case of letters, becomes a carriage return and line feed.
std::string ParseTheGPIString(const std::string& text);

// The message for the first port setting out of range, or empty when all are usable.
std::string GpiSettingsError(const TGpiSettings& settings);
// "COM1: BAUD=2400 PARITY=N DATA=8 STOP=1"
std::string GpiModeText(const TGpiSettings& settings);

// The moments the studio hears of, each with its string of the settings.
enum class TGpiEvent { Load, Record, Stop, Exit };

// Used from the UI thread, and once from a thread that ends the program when that thread cannot.
class TGpiPort {
public:
  // When GPI is enabled, checks the settings and opens the port. The first refused setting or
  // the open failure is shown as an error and leaves GPI off for the run.
  void OpenComPort(const TGpiSettings& settings, const TNotify& notify);
  void CloseComPort();
  // Writes one of the GPI strings when GPI is on and the string is not empty.
  void Send(const std::string& text);
  void Send(TGpiEvent event);
  // What the studio has not heard yet of a program that ends now: the stop of a recording it heard
  // start, and the exit. Gives up when the port is busy for longer than waitMs.
  void SendOwed(int waitMs);
  bool Enabled() const { return enabled_; }

private:
  void Write(const std::string& text);  // with lock_ held
  std::timed_mutex lock_;
  bool enabled_ = false;
  TCommHandle handle_;
  std::string onLoad_, onRecord_, onStop_, onExit_;
  bool stopOwed_ = false, exitSent_ = false;
};
