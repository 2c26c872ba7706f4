// The sound player and the virtual device's file input read WAV files of any origin: the small
// reader must stay inside the image and hand back only whole frames of a sound PCM format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/audio/simple_wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::SimpleWav wav;
  if (!plat::ParseSimpleWav(data, size, wav)) return 0;
  const plat::WAVEFORMATEX& f = wav.format;
  if (f.nBlockAlign == 0 || wav.data.size() % f.nBlockAlign || wav.data.size() > size) std::abort();
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) std::abort();
  // Convert the first frame to another layout, as the virtual device does.
  if (!wav.data.empty()) {
    plat::WAVEFORMATEX to = f;
    to.nChannels = 2;
    to.wBitsPerSample = 16;
    to.nBlockAlign = 4;
    uint8_t out[4];
    plat::ConvertPcmFrame(wav.data.data(), f, out, to);
  }
  return 0;
}
