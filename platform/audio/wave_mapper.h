#pragma once
// The wave mapper's share of opening a device: which format the device is given for the caller's.
// PCM and IEEE float go to the device as they are (WAVE_FORMAT_EXTENSIBLE of either as its plain
// form, the same bytes). For output through the mapper, a format the device does not take but the
// codec manager decodes (the ADPCM formats) is converted buffer by buffer on the way to the device.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/audio/codec_manager.h"
#include "platform/audio/wave_types.h"

namespace plat::wavecore {

constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Converts each buffer written into the device's format through a stream of the codec manager.
class WaveConverter {
public:
  ~WaveConverter();
  WaveConverter(const WaveConverter&) = delete;
  WaveConverter& operator=(const WaveConverter&) = delete;
  // Null when the codec manager has no stream from `from` (extra bytes behind it) to `to`.
  static std::unique_ptr<WaveConverter> Open(const WAVEFORMATEX* from, const WAVEFORMATEX& to);
  // Converts one buffer on its own into out: whole blocks, and a part block at its end as far as
  // it goes. Buffers of whole blocks (as the engine writes them) play exactly. False when the codec
  // refuses.
  bool Convert(const uint8_t* src, uint32_t bytes, std::vector<uint8_t>& out);

private:
  explicit WaveConverter(HACMSTREAM stream) : stream_(stream) {}
  HACMSTREAM stream_;
};

// The tag of the format an extensible format f stands for; false when its extension is damaged
// (fewer than 22 extra bytes, valid bits of 0 or more than the container holds, or a sub-format
// GUID outside the standard family).
bool ExtensibleSubFormat(const WAVEFORMATEX* f, uint16_t& tag);

// The plain PCM or IEEE float format a device is given for f; false when f is neither (nor
// WAVE_FORMAT_EXTENSIBLE of either). f carries its cbSize extra bytes behind it.
bool PlainFormat(const WAVEFORMATEX* f, WAVEFORMATEX& plain);

// Chooses what a device is opened with for the caller's format f. `takes` asks the device whether
// it takes a plain format. Output through the mapper (mapped) may get a converter, unless only
// querying. Returns the device's answer for the plain format, or WAVERR_BADFORMAT.
MMRESULT ChooseDeviceFormat(const WAVEFORMATEX* f, bool mapped, bool query,
                            const std::function<MMRESULT(const WAVEFORMATEX&)>& takes, WAVEFORMATEX& device,
                            std::unique_ptr<WaveConverter>& converter);

}  // namespace plat::wavecore
