#include "recorder/Gpi.h"

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
  enabled_ = settings.enabled;
  if (!enabled_) return;
  auto tell = [&](const std::string& text) {
    if (notify) notify(TNoticeKind::Error, text);
  };
  if (std::string refused = GpiSettingsError(settings); !refused.empty()) {
    enabled_ = false;
    tell(refused);
    return;
  }
  try {
    handle_ = CommOpen(GpiModeText(settings));
  } catch (const plat::Exception& e) {
    enabled_ = false;
    tell(
        "You have enabled COM port support for GPI functions in the Solvane.Ini file\r\n\r\n"
        "You specified COM" +
        IntToStr(settings.comPort) + ": There was a problem. The system responded:" + "\r\n\r\n" + e.Message());
  }
}

void TGpiPort::CloseComPort() {
  if (handle_) CommClose(handle_);
}

void TGpiPort::Send(const std::string& text) {
  if (enabled_ && handle_ && !text.empty()) CommWrite(handle_, text);
}
