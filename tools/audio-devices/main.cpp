// Lists the wave input and output devices of the chosen backend (SOLVANE_AUDIO=virtual for the
// virtual device, ALSA otherwise) with their capabilities.
#include <cstdio>
#include <string>

#include "platform/audio/wave_device.h"

using namespace plat;

namespace {

std::string FormatList(uint32_t formats) {
  if (formats == kAllStandardFormats)
    return "all twelve standard formats (11.025, 22.05, 44.1 kHz; 8, 16 bit; mono, stereo)";
  static const char* const kRates[] = {"11.025", "22.05", "44.1"};
  std::string out;
  for (int band = 0; band < 3; ++band)
    for (int bits16 = 0; bits16 < 2; ++bits16)
      for (int stereo = 0; stereo < 2; ++stereo)
        if (formats & (1u << (band * 4 + bits16 * 2 + stereo))) {
          if (!out.empty()) out += ", ";
          out += std::string(kRates[band]) + " kHz " + (bits16 ? "16" : "8") + " bit " + (stereo ? "stereo" : "mono");
        }
  return out.empty() ? "none of the standard formats" : out;
}

int List(bool input) {
  uint32_t n = input ? WaveInGetNumDevs() : WaveOutGetNumDevs();
  std::printf("%s devices: %u\n", input ? "Input" : "Output", n);
  if (n == 0) return 0;
  for (int32_t id = WAVE_MAPPER; id < int32_t(n); ++id) {
    WaveCaps caps;
    MMRESULT r = input ? WaveInGetDevCaps(id, caps) : WaveOutGetDevCaps(id, caps);
    std::string label = id == WAVE_MAPPER ? "mapper" : std::to_string(id);
    if (r != MMSYSERR_NOERROR) {
      std::string text;
      WaveOutGetErrorText(r, text);
      std::printf("  %-6s (capabilities not available: %s)\n", label.c_str(), text.c_str());
      continue;
    }
    std::printf("  %-6s %s\n         channels: %u\n         formats: %s\n", label.c_str(), caps.ProductName.c_str(),
                caps.Channels, FormatList(caps.Formats).c_str());
  }
  return int(n);
}

}  // namespace

int main() {
  const bool virt = CurrentWaveBackend() == WaveBackendKind::Virtual;
  std::printf("Backend: %s\n", virt ? "virtual device (SOLVANE_AUDIO=virtual)" : "ALSA");
  int found = List(true);
  found += List(false);
  if (found == 0) {
    std::printf("No sound device was found%s.\n", virt ? " (the virtual device is configured without devices)"
                                                       : ": no sound card, and ALSA's default device does not open");
    return 1;
  }
  return 0;
}
