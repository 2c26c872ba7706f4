#include "recorder/Gpi.h"

#include <chrono>
#include <utility>

#include "platform/system/exceptions.h"
#include "recorder/StrUtils.h"

namespace {

std::string RangeMessage(const std::string& what, const std::string& need) {
  return "Valid COM ports " + what + ". If you need to use " + need +
         " \r\noutside of this range contact Technical Support at (800) \r\n555-0134.\r\n\r\n"
         "The COM port functions will NOT be enabled.";
}

}  // namespace

std::string ParseTheGPIString(const std::string& text) {
  static const std::string kMark = "{{CRLF}}";
  std::string out;
  out.reserve(text.size());
  const std::string upper = UpperCase(text);
  size_t i = 0;
  while (i < text.size()) {
    size_t at = upper.find(kMark, i);
    if (at == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    out.append(text, i, at - i);
    out += "\r\n";
    i = at + kMark.size();
  }
  return out;
}

std::string GpiSettingsError(const TGpiSettings& s) {
  if (s.comPort < 1 || s.comPort > 8) return RangeMessage("are 1 through 8", "a COM port");
  if (s.baud < 75 || s.baud > 128000) return RangeMessage("baud rates are 75 through 128K", "a baud rate");
  if (s.parity.size() != 1 || std::string("EONSM").find(s.parity[0]) == std::string::npos)
    return RangeMessage("Parity is one of the following: E,O,N,S,M", "a different parity");
  if (s.dataBits < 4 || s.dataBits > 8) return RangeMessage("data bits are 4 through 8", "data bits");
  if (s.stopBits < 1 || s.stopBits > 2) return RangeMessage("stop bits are 1 through 2", "stop bits");
  return {};
}

std::string GpiModeText(const TGpiSettings& s) {
  return "COM" + IntToStr(s.comPort) + ":" + " BAUD=" + IntToStr(s.baud) + " PARITY=" + s.parity +
         " DATA=" + IntToStr(s.dataBits) + " STOP=" + IntToStr(s.stopBits);
}

void TGpiPort::OpenComPort(const TGpiSettings& settings, const TNotify& notify) {
  CloseComPort();
  std::string refused;
  {
    std::lock_guard<std::timed_mutex> l(lock_);
    onLoad_ = settings.onLoad;
    onRecord_ = settings.onRecord;
    onStop_ = settings.onStop;
    onExit_ = settings.onExit;
    enabled_ = settings.enabled;
    if (!enabled_) return;
    refused = GpiSettingsError(settings);
    if (refused.empty()) {
      try {
        handle_ = CommOpen(GpiModeText(settings));
      } catch (const plat::Exception& e) {
        refused = "You have enabled COM port support for GPI functions in the Solvane.Ini file\r\n\r\n"
                  "You specified COM" +
                  IntToStr(settings.comPort) + ": There was a problem. The system responded:" + "\r\n\r\n" +
                  e.Message();
      }
    }
    if (!refused.empty()) enabled_ = false;
  }
  // Told without the port's lock: the box runs the window's events meanwhile.
  if (!refused.empty() && notify) notify(TNoticeKind::Error, refused);
}

void TGpiPort::CloseComPort() {
  std::lock_guard<std::timed_mutex> l(lock_);
  if (handle_) CommClose(handle_);
}

void TGpiPort::Write(const std::string& text) {
  if (enabled_ && handle_ && !text.empty()) CommWrite(handle_, text);
}

void TGpiPort::Send(const std::string& text) {
  std::lock_guard<std::timed_mutex> l(lock_);
  Write(text);
}

void TGpiPort::Send(TGpiEvent event) {
  std::lock_guard<std::timed_mutex> l(lock_);
  switch (event) {
    case TGpiEvent::Load: Write(onLoad_); break;
    case TGpiEvent::Record:
      Write(onRecord_);
      stopOwed_ = true;
      break;
    case TGpiEvent::Stop:
      Write(onStop_);
      stopOwed_ = false;
      break;
    case TGpiEvent::Exit:
      Write(onExit_);
      exitSent_ = true;
      break;
  }
}

void TGpiPort::SendOwed(int waitMs) {
  std::unique_lock<std::timed_mutex> l(lock_, std::chrono::milliseconds(waitMs));
  if (!l.owns_lock()) return;
  if (std::exchange(stopOwed_, false)) Write(onStop_);
  if (!std::exchange(exitSent_, true)) Write(onExit_);
}
