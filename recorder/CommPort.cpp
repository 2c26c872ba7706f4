#include "recorder/CommPort.h"

#include "platform/system/exceptions.h"

namespace {

constexpr int kStallWaitMs = 55;
constexpr size_t kDrainBelow = 16;

}  // namespace

TCommHandle CommOpen(const std::string& mode) {
  size_t colon = mode.find(':');
  std::string name = colon == std::string::npos ? mode.substr(0, 4) : mode.substr(0, colon);

  auto port = std::make_unique<plat::SerialPort>();
  if (!port->Open(plat::SerialDevicePath(name))) throw plat::Exception("Error opening port");
  if (!port->IsCharDevice()) throw plat::Exception("Invalid or unavailable port");
  plat::SerialMode settings;
  if (!port->GetMode(settings)) throw plat::Exception("Error reading port state");
  if (!plat::ParseSerialMode(mode, settings)) throw plat::Exception("Invalid mode");
  switch (port->SetMode(settings)) {
    case plat::SerialPort::SetResult::Ok: break;
    case plat::SerialPort::SetResult::Unsupported: throw plat::Exception("Invalid mode");
    case plat::SerialPort::SetResult::Failed: throw plat::Exception("Error setting port state");
  }
  if (!port->SetReadsReturnAtOnce()) throw plat::Exception("Error setting timeouts");
  port->Purge(true, false);
  port->Purge(false, true);
  return port;
}

size_t CommWrite(const TCommHandle& handle, const std::string& text) {
  if (!handle || !handle->IsOpen()) return 0;
  const size_t n = text.size();
  size_t written = 0;
  bool waited = false;
  while (written < n) {
    long w = handle->WriteSome(text.data() + written, n - written);
    if (w < 0) break;
    if (w > 0) {
      written += size_t(w);
      waited = false;
      continue;
    }
    // Nothing taken: give the port one wait for room, and give up when that brings nothing.
    if (waited) break;
    waited = true;
    handle->WaitWritable(kStallWaitMs);
  }
  if (n < kDrainBelow) handle->Drain();
  return written;
}

bool CommClose(TCommHandle& handle) {
  if (!handle) return false;
  bool ok = handle->Close();
  handle.reset();
  return ok;
}
