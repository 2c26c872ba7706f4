// ALSA backend of the wave devices.
#include <alsa/asoundlib.h>

#include "platform/audio/wave_backend.h"

namespace plat::wavecore {

namespace {

// Until the ALSA streams are in, the backend offers no device.
class AlsaBackend : public WaveBackend {
public:
  uint32_t NumDevices(bool) override { return 0; }
  MMRESULT Caps(bool, int32_t, WaveCaps&) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT CheckFormat(bool, int32_t, const WAVEFORMATEX&) override { return MMSYSERR_NODRIVER; }
  MMRESULT Open(bool, int32_t, const WAVEFORMATEX&, uint64_t, std::unique_ptr<WaveDriver>&,
                WaveDeviceOptions&) override {
    return MMSYSERR_NODRIVER;
  }
};

}  // namespace

std::shared_ptr<WaveBackend> MakeAlsaBackend(const std::string&) {
  return std::make_shared<AlsaBackend>();
}

bool CheckAlsaConfigText(const std::string&) { return false; }

}  // namespace plat::wavecore
