#pragma once
// What a backend of the wave devices provides: its device list, its format check and its streams.
#include <memory>
#include <string>

#include "platform/audio/wave_core.h"

namespace plat::wavecore {

class WaveBackend {
public:
  virtual ~WaveBackend() = default;
  virtual uint32_t NumDevices(bool input) = 0;
  // Why there is no device, in the system's words, or "" when it does not know.
  virtual std::string NoDeviceReason(bool input) { return {}; }
  // Why the sound server could not be reached when a device last answered WAVERR_NOSERVER, in the
  // system's words.
  virtual std::string ServerFailure() { return {}; }
  // id is 0..NumDevices-1 or WAVE_MAPPER; the caller has checked the range.
  virtual MMRESULT Caps(bool input, int32_t id, WaveCaps& caps) = 0;
  // The format is plain PCM (8, 16, 24 or 32 bits) or IEEE float (32 or 64 bits) with consistent
  // block align and byte rate (wave_mapper.h).
  virtual MMRESULT CheckFormat(bool input, int32_t id, const WAVEFORMATEX& format) = 0;
  virtual MMRESULT Open(bool input, int32_t id, const WAVEFORMATEX& format, uint64_t handle,
                        std::unique_ptr<WaveDriver>& driver, WaveDeviceOptions& options) = 0;
  // A device of this backend has started or ended its life.
  virtual void Opened(const std::shared_ptr<WaveDevice>& dev) {}
  virtual void Closed(const std::shared_ptr<WaveDevice>& dev) {}
};

// "The sound server could not be reached (why)."
inline std::string ServerUnreachable(const std::string& why) {
  return "The sound server could not be reached" + (why.empty() ? std::string() : " (" + why + ")") + ".";
}

std::shared_ptr<WaveBackend> MakeAlsaBackend(const std::string& configText);
std::shared_ptr<WaveBackend> MakeVirtualBackend();
// False when the text is not a valid ALSA configuration.
bool CheckAlsaConfigText(const std::string& configText);

}  // namespace plat::wavecore
