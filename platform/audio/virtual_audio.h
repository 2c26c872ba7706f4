#pragma once
// The virtual sound device: what tests, CI and machines without a sound card record from and play
// to. Input is a deterministic signal (a frame-counter pattern, a tone or a WAV file), output is
// consumed at the pace of a clock and can be captured.
//
// The program configures it from the environment (read when the backend is first used):
//   SOLVANE_AUDIO=virtual              select it
//   SOLVANE_AUDIO_CLOCK=realtime|fast|manual
//   SOLVANE_AUDIO_DEVICES=<inputs>,<outputs>   device counts (default 1,1)
//   SOLVANE_AUDIO_INPUT=tone[:<hz>]|pattern|silence|wav:<path>
//                                      default: a 1 kHz tone at -18 dBFS
//   SOLVANE_AUDIO_LOSSLESS=1           input waits for a queued buffer instead of dropping audio
//   SOLVANE_AUDIO_CAPTURE=<folder>     every output stream is written there as a WAV file and a log
//   SOLVANE_AUDIO_FAULT=<list>         nodevices, noopen, noclose, open=<result code>
//   SOLVANE_AUDIO_PACE=<fifo>          lines "step <ms>" written here advance the clock (manual)
//   SOLVANE_AUDIO_PACE_ACK=<file>      a line "stepped <total ms>" is appended after each step
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/wave_device.h"

namespace plat {

enum class VirtualClock {
  RealTime,  // audio moves at the steady clock's pace
  Fast,      // as fast as buffers are queued
  Manual,    // only when StepVirtualAudio is called (or a step arrives through the pacing FIFO)
};

enum class VirtualSource { Pattern, Silence, Tone, WavFile };

// -18 dBFS, the line-up level studios align their meters to.
constexpr double kLineUpToneLevel = 0.125892541;

struct VirtualDeviceSpec {
  VirtualDeviceSpec() = default;
  explicit VirtualDeviceSpec(std::string name) : Name(std::move(name)) {}

  std::string Name;  // cut to 31 characters in the capabilities
  // Accepted formats: PCM with one of these sample sizes (or IEEE float with one of FloatBits),
  // 1..MaxChannels channels and a rate in MinRate..MaxRate; by default what ALSA's default device
  // takes. The capability bits follow from them.
  std::vector<uint16_t> Bits = {8, 16, 24, 32};
  std::vector<uint16_t> FloatBits = {32, 64};
  uint16_t MaxChannels = 2;
  uint32_t MinRate = 8000;
  uint32_t MaxRate = 100000;
  // Input signal.
  VirtualSource Source = VirtualSource::Pattern;
  double ToneHz = 1000.0;
  double ToneLevel = 0.5;  // of full scale
  std::string WavPath;     // PCM WAV, looped; converted to the stream's sample size and channels
  // Faults.
  MMRESULT OpenError = MMSYSERR_NOERROR;  // Open fails with this code
  bool NoOpenNotice = false;              // the open notice never comes
  bool NoCloseNotice = false;             // the close notice never comes
  // The position starts here after each reset instead of at 0, so wrap handling can be exercised.
  uint32_t PositionBase = 0;
};

struct VirtualAudioConfig {
  std::vector<VirtualDeviceSpec> Inputs = {VirtualDeviceSpec{"Virtual Input 1"}};
  std::vector<VirtualDeviceSpec> Outputs = {VirtualDeviceSpec{"Virtual Output 1"}};
  VirtualClock Clock = VirtualClock::RealTime;
  bool Lossless = false;
  bool CaptureToMemory = false;
  std::string CaptureFolder;
};

// Replaces the configuration; false (nothing changes) while a virtual device is open.
bool SetVirtualAudioConfig(const VirtualAudioConfig& config);
VirtualAudioConfig GetVirtualAudioConfig();
VirtualAudioConfig VirtualAudioConfigFromEnvironment();

// Manual clock: advances every running virtual device by ms (in the order they were opened) and
// returns when all the callbacks that this caused have run. Does nothing in the other clock modes.
void StepVirtualAudio(uint32_t ms);
uint64_t VirtualAudioSteppedMs();

// Output capture (CaptureToMemory): the audio each output stream played, and what was done to it.
struct VirtualLogEntry {
  enum Kind { Open, Write, Pause, Restart, Reset, Underrun, Close };
  Kind kind = Open;
  uint64_t bytes = 0;         // Write: the buffer's length
  uint64_t playedFrames = 0;  // frames played on this stream when it happened
};
struct VirtualCapture {
  uint64_t handle = 0;
  int32_t deviceId = 0;
  WAVEFORMATEX format;
  std::vector<uint8_t> audio;
  std::vector<VirtualLogEntry> log;
};
std::vector<VirtualCapture> VirtualCaptures();  // in the order the streams were opened
// Forgets the captures of closed streams and empties those of open ones.
void ClearVirtualCaptures();

// The frame-counter pattern: sample k of the stream (k = frame × channels + channel), folded to the
// sample size, so it counts up from 0 at the start and a lost buffer shows as a jump.
uint32_t VirtualPatternSample(uint64_t sampleIndex, uint16_t bits);
void FillVirtualPattern(uint64_t firstFrame, uint64_t frames, const WAVEFORMATEX& format, uint8_t* out);
// True when data holds the pattern from firstFrame on (whole frames).
bool MatchesVirtualPattern(const uint8_t* data, size_t bytes, const WAVEFORMATEX& format, uint64_t firstFrame);

}  // namespace plat
