#include "platform/audio/wave_device.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/audio/wave_backend.h"
#include "platform/audio/wave_mapper.h"

namespace plat {

using wavecore::WaveBackend;
using wavecore::WaveDevice;

namespace {

struct Registry {
  std::mutex m;
  bool chosen = false;
  WaveBackendKind kind = WaveBackendKind::Alsa;
  std::string alsaConfig;
  std::shared_ptr<WaveBackend> backend;
  std::map<uint64_t, std::shared_ptr<WaveDevice>> devices;
  uint64_t lastHandle = 0;
};

// Never destroyed: a device left open at exit keeps its thread, and nothing may pull the state
// from under it while static objects go.
Registry& Reg() {
  static Registry* r = new Registry;
  return *r;
}

std::shared_ptr<WaveBackend> MakeBackendLocked(Registry& r) {
  return r.kind == WaveBackendKind::Virtual ? wavecore::MakeVirtualBackend() : wavecore::MakeAlsaBackend(r.alsaConfig);
}

void ChooseLocked(Registry& r) {
  if (r.chosen) return;
  const char* env = std::getenv("SOLVANE_AUDIO");
  r.kind = env && std::string(env) == "virtual" ? WaveBackendKind::Virtual : WaveBackendKind::Alsa;
  r.backend = MakeBackendLocked(r);
  r.chosen = true;
}

std::shared_ptr<WaveBackend> Backend() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  ChooseLocked(r);
  return r.backend;
}

std::shared_ptr<WaveDevice> Find(uint64_t handle, bool input) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  auto it = r.devices.find(handle);
  if (it == r.devices.end() || it->second->IsInput() != input) return nullptr;
  return it->second;
}

uint32_t NumDevs(bool input) { return Backend()->NumDevices(input); }

MMRESULT DevCaps(bool input, int32_t id, WaveCaps& caps) {
  auto b = Backend();
  uint32_t n = b->NumDevices(input);
  if (id == WAVE_MAPPER ? n == 0 : (id < 0 || uint32_t(id) >= n)) return MMSYSERR_BADDEVICEID;
  MMRESULT r = b->Caps(input, id, caps);
  if (caps.ProductName.size() > 31) caps.ProductName.resize(31);
  return r;
}

MMRESULT OpenDevice(bool input, uint64_t* handle, int32_t id, const WAVEFORMATEX* format, WaveCallback callback,
                    uint32_t flags) {
  if (flags & ~(WAVE_FORMAT_QUERY | WAVE_MAPPED)) return MMSYSERR_INVALFLAG;
  if (!format) return MMSYSERR_INVALPARAM;
  const bool query = flags & WAVE_FORMAT_QUERY;
  if (!query && (!handle || !callback)) return MMSYSERR_INVALPARAM;
  if (handle && !query) *handle = 0;
  auto b = Backend();
  uint32_t n = b->NumDevices(input);
  if (id == WAVE_MAPPER) {
    if (n == 0) return MMSYSERR_NODRIVER;
  } else if (id < 0 || uint32_t(id) >= n) {
    return MMSYSERR_BADDEVICEID;
  }
  // Through the mapper an output also plays what the codec manager decodes.
  const bool mapped = !input && (id == WAVE_MAPPER || (flags & WAVE_MAPPED));
  WAVEFORMATEX deviceFormat;
  std::unique_ptr<wavecore::WaveConverter> converter;
  MMRESULT r = wavecore::ChooseDeviceFormat(
      format, mapped, query, [&](const WAVEFORMATEX& f) { return b->CheckFormat(input, id, f); }, deviceFormat,
      converter);
  if (r != MMSYSERR_NOERROR || query) return r;

  Registry& reg = Reg();
  uint64_t h;
  {
    std::lock_guard<std::mutex> l(reg.m);
    h = ++reg.lastHandle;
  }
  std::unique_ptr<wavecore::WaveDriver> driver;
  wavecore::WaveDeviceOptions options;
  r = b->Open(input, id, deviceFormat, h, driver, options);
  if (r != MMSYSERR_NOERROR) return r;
  auto dev = std::make_shared<WaveDevice>(h, input, id, deviceFormat, std::move(callback), std::move(driver), options,
                                          std::move(converter));
  {
    std::lock_guard<std::mutex> l(reg.m);
    reg.devices.emplace(h, dev);
  }
  b->Opened(dev);
  *handle = h;
  dev->Launch();
  return MMSYSERR_NOERROR;
}

MMRESULT CloseDevice(uint64_t handle, bool input) {
  auto dev = Find(handle, input);
  if (!dev) return MMSYSERR_INVALHANDLE;
  MMRESULT r = dev->Close();
  if (r != MMSYSERR_NOERROR) return r;
  Registry& reg = Reg();
  std::shared_ptr<WaveBackend> b;
  {
    std::lock_guard<std::mutex> l(reg.m);
    reg.devices.erase(handle);
    b = reg.backend;
  }
  if (b) b->Closed(dev);
  return MMSYSERR_NOERROR;
}

template <class F>
MMRESULT WithDevice(uint64_t handle, bool input, F f) {
  auto dev = Find(handle, input);
  if (!dev) return MMSYSERR_INVALHANDLE;
  return f(*dev);
}

MMRESULT ErrorText(MMRESULT err, std::string& text) {
  switch (err) {
    case MMSYSERR_NOERROR: text = "The operation completed successfully."; break;
    case MMSYSERR_ERROR: text = "The sound device reported an error."; break;
    case MMSYSERR_BADDEVICEID: text = "The device number is out of range."; break;
    case MMSYSERR_NOTENABLED: text = "The sound driver could not be enabled."; break;
    case MMSYSERR_ALLOCATED: text = "The sound device is already in use by another program."; break;
    case MMSYSERR_INVALHANDLE: text = "The device handle is not valid."; break;
    case MMSYSERR_NODRIVER: text = "No sound device is present."; break;
    case MMSYSERR_NOMEM: text = "Not enough memory for the sound device."; break;
    case MMSYSERR_NOTSUPPORTED: text = "The sound device does not support this function."; break;
    case MMSYSERR_BADERRNUM: text = "The error number is out of range."; break;
    case MMSYSERR_INVALFLAG: text = "An invalid flag was passed to the sound device."; break;
    case MMSYSERR_INVALPARAM: text = "An invalid parameter was passed to the sound device."; break;
    case MMSYSERR_HANDLEBUSY: text = "The device is in use by its own callback and cannot do this now."; break;
    case WAVERR_BADFORMAT: text = "The sound device does not support this wave format."; break;
    case WAVERR_STILLPLAYING: text = "The sound device still holds buffers: reset it first."; break;
    case WAVERR_UNPREPARED: text = "The buffer has not been prepared."; break;
    case WAVERR_NOSERVER: text = wavecore::ServerUnreachable(Backend()->ServerFailure()); break;
    default: text.clear(); return MMSYSERR_BADERRNUM;
  }
  return MMSYSERR_NOERROR;
}

}  // namespace

// ---- backend selection ------------------------------------------------------------------------

WaveBackendKind CurrentWaveBackend() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  ChooseLocked(r);
  return r.kind;
}

bool SelectWaveBackend(WaveBackendKind kind) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  if (!r.devices.empty()) return false;
  r.kind = kind;
  r.backend = MakeBackendLocked(r);
  r.chosen = true;
  return true;
}

bool UseAlsaConfig(const std::string& configText) {
  if (!configText.empty() && !wavecore::CheckAlsaConfigText(configText)) return false;
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  if (!r.devices.empty()) return false;
  ChooseLocked(r);
  r.alsaConfig = configText;
  if (r.kind == WaveBackendKind::Alsa) r.backend = MakeBackendLocked(r);
  return true;
}

int OpenWaveDevices() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  return int(r.devices.size());
}

// ---- input --------------------------------------------------------------------------------------

uint32_t WaveInGetNumDevs() { return NumDevs(true); }
MMRESULT WaveInGetDevCaps(int32_t id, WaveCaps& caps) { return DevCaps(true, id, caps); }
MMRESULT WaveInGetErrorText(MMRESULT err, std::string& text) { return ErrorText(err, text); }
std::string WaveInNoDeviceReason() {
  auto b = Backend();
  return b->NumDevices(true) == 0 ? b->NoDeviceReason(true) : std::string();
}
MMRESULT WaveInOpen(HWAVEIN* handle, int32_t id, const WAVEFORMATEX* format, WaveCallback cb, uint32_t flags) {
  return OpenDevice(true, handle, id, format, std::move(cb), flags);
}
MMRESULT WaveInClose(HWAVEIN h) { return CloseDevice(h, true); }
MMRESULT WaveInPrepareHeader(HWAVEIN h, WAVEHDR* hdr) {
  return WithDevice(h, true, [&](WaveDevice& d) { return d.Prepare(hdr); });
}
MMRESULT WaveInUnprepareHeader(HWAVEIN h, WAVEHDR* hdr) {
  return WithDevice(h, true, [&](WaveDevice& d) { return d.Unprepare(hdr); });
}
MMRESULT WaveInAddBuffer(HWAVEIN h, WAVEHDR* hdr) {
  return WithDevice(h, true, [&](WaveDevice& d) { return d.Add(hdr); });
}
MMRESULT WaveInStart(HWAVEIN h) {
  return WithDevice(h, true, [](WaveDevice& d) { return d.Start(); });
}
MMRESULT WaveInStop(HWAVEIN h) {
  return WithDevice(h, true, [](WaveDevice& d) { return d.Stop(); });
}
MMRESULT WaveInReset(HWAVEIN h) {
  return WithDevice(h, true, [](WaveDevice& d) { return d.Reset(); });
}
MMRESULT WaveInGetPosition(HWAVEIN h, MMTIME& t) {
  return WithDevice(h, true, [&](WaveDevice& d) { return d.Position(t); });
}
MMRESULT WaveInGetID(HWAVEIN h, int32_t& id) {
  return WithDevice(h, true, [&](WaveDevice& d) {
    id = d.DeviceId();
    return MMSYSERR_NOERROR;
  });
}
MMRESULT WaveInGetStall(HWAVEIN h, uint32_t& ms) {
  return WithDevice(h, true, [&](WaveDevice& d) {
    ms = d.StallMs();
    return MMSYSERR_NOERROR;
  });
}
MMRESULT WaveInGetGaps(HWAVEIN h, std::vector<WaveGap>& gaps) {
  return WithDevice(h, true, [&](WaveDevice& d) {
    gaps = d.Gaps();
    return MMSYSERR_NOERROR;
  });
}

// ---- output -------------------------------------------------------------------------------------

uint32_t WaveOutGetNumDevs() { return NumDevs(false); }
MMRESULT WaveOutGetDevCaps(int32_t id, WaveCaps& caps) { return DevCaps(false, id, caps); }
MMRESULT WaveOutGetErrorText(MMRESULT err, std::string& text) { return ErrorText(err, text); }
MMRESULT WaveOutOpen(HWAVEOUT* handle, int32_t id, const WAVEFORMATEX* format, WaveCallback cb, uint32_t flags) {
  return OpenDevice(false, handle, id, format, std::move(cb), flags);
}
MMRESULT WaveOutClose(HWAVEOUT h) { return CloseDevice(h, false); }
MMRESULT WaveOutPrepareHeader(HWAVEOUT h, WAVEHDR* hdr) {
  return WithDevice(h, false, [&](WaveDevice& d) { return d.Prepare(hdr); });
}
MMRESULT WaveOutUnprepareHeader(HWAVEOUT h, WAVEHDR* hdr) {
  return WithDevice(h, false, [&](WaveDevice& d) { return d.Unprepare(hdr); });
}
MMRESULT WaveOutWrite(HWAVEOUT h, WAVEHDR* hdr) {
  return WithDevice(h, false, [&](WaveDevice& d) { return d.Add(hdr); });
}
MMRESULT WaveOutPause(HWAVEOUT h) {
  return WithDevice(h, false, [](WaveDevice& d) { return d.Pause(); });
}
MMRESULT WaveOutRestart(HWAVEOUT h) {
  return WithDevice(h, false, [](WaveDevice& d) { return d.Restart(); });
}
MMRESULT WaveOutReset(HWAVEOUT h) {
  return WithDevice(h, false, [](WaveDevice& d) { return d.Reset(); });
}
MMRESULT WaveOutGetPosition(HWAVEOUT h, MMTIME& t) {
  return WithDevice(h, false, [&](WaveDevice& d) { return d.Position(t); });
}
MMRESULT WaveOutGetID(HWAVEOUT h, int32_t& id) {
  return WithDevice(h, false, [&](WaveDevice& d) {
    id = d.DeviceId();
    return MMSYSERR_NOERROR;
  });
}
MMRESULT WaveOutGetStall(HWAVEOUT h, uint32_t& ms) {
  return WithDevice(h, false, [&](WaveDevice& d) {
    ms = d.StallMs();
    return MMSYSERR_NOERROR;
  });
}

}  // namespace plat
