#pragma once
// Wave input and output devices: the calls through which the engine records from and plays to the
// sound card. Two backends stand behind them: ALSA, and a virtual device for tests and machines
// without a sound card (SOLVANE_AUDIO=virtual; see virtual_audio.h).
//
// Rules every backend keeps:
// - Devices are 0..N-1; -1 (WAVE_MAPPER) is the system's default device.
// - Notices (open, close, a recorded buffer, a played buffer) arrive through the callback given to
//   Open, on the device's own driver thread. Callbacks of one device never overlap, and none
//   arrives after Close returns. A callback must not call back into the device.
// - Buffers come back strictly in the order they were queued, with WHDR_DONE set before the
//   callback. The device writes only dwFlags and (input) dwBytesRecorded of a header.
// - Reset returns every queued buffer, through the callback, before it returns.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio/wave_types.h"

namespace plat {

using MMRESULT = uint32_t;

// Results. Every code a call returns has a text (WaveInGetErrorText/WaveOutGetErrorText).
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
// The sound server through which the device is reached could not be reached, at the open or when
// the device's stream failed; the error text says why, in the system's words.
constexpr MMRESULT WAVERR_NOSERVER = 66;

constexpr int32_t WAVE_MAPPER = -1;

// Open flags.
constexpr uint32_t WAVE_FORMAT_QUERY = 0x0001;  // only check that the format would open
constexpr uint32_t WAVE_MAPPED = 0x0004;        // a numbered device, reached through the mapper

// Handles are never reused while the process lives; 0 is none.
using HWAVEIN = uint64_t;
using HWAVEOUT = uint64_t;

enum class WaveMsg {
  Open,   // the device is open
  Close,  // the device is closed
  Data,   // input: a buffer came back (dwBytesRecorded says how much it holds)
  Done,   // output: a buffer came back (played, or returned by a reset)
};

// handle, notice, and for Data/Done the buffer.
using WaveCallback = std::function<void(uint64_t handle, WaveMsg msg, WAVEHDR* hdr)>;

// Audio that an input could not hold (its buffers, or the device's own, were full while the
// program was held up): missing from the recording after `at` samples, `samples` long.
struct WaveGap {
  uint64_t at = 0;  // samples recorded before it since the last reset
  uint64_t samples = 0;
};

struct WaveCaps {
  std::string ProductName;  // at most 31 characters
  uint32_t Formats = 0;     // WAVE_FORMAT_1M08 ... WAVE_FORMAT_4S16
  uint16_t Channels = 0;
};

enum class MMTimeType { Ms, Samples, Bytes };
struct MMTIME {
  MMTimeType wType = MMTimeType::Samples;  // asked for; a device may answer in bytes instead
  uint32_t value = 0;                      // wraps at 2^32
};

uint32_t WaveInGetNumDevs();
// With no input device: why, in the system's words (a sound server that could not be reached);
// "" when there is a device or the reason is not known.
std::string WaveInNoDeviceReason();
MMRESULT WaveInGetDevCaps(int32_t deviceId, WaveCaps& caps);
// Fills text for a code and returns MMSYSERR_NOERROR; MMSYSERR_BADERRNUM (text empty) when the
// code has none.
MMRESULT WaveInGetErrorText(MMRESULT err, std::string& text);
MMRESULT WaveInOpen(HWAVEIN* handle, int32_t deviceId, const WAVEFORMATEX* format, WaveCallback callback,
                    uint32_t flags);
// WAVERR_STILLPLAYING while the device holds buffers.
MMRESULT WaveInClose(HWAVEIN handle);
MMRESULT WaveInPrepareHeader(HWAVEIN handle, WAVEHDR* hdr);
// WAVERR_STILLPLAYING while the device holds the header.
MMRESULT WaveInUnprepareHeader(HWAVEIN handle, WAVEHDR* hdr);
// Queues an empty buffer; the device fills buffers in queue order.
MMRESULT WaveInAddBuffer(HWAVEIN handle, WAVEHDR* hdr);
MMRESULT WaveInStart(HWAVEIN handle);
// Returns the partly filled current buffer (if it holds anything), keeps the rest queued and keeps
// the position; Start resumes.
MMRESULT WaveInStop(HWAVEIN handle);
// Stops, returns every buffer and sets the position to 0.
MMRESULT WaveInReset(HWAVEIN handle);
// Samples recorded into buffers since the last reset.
MMRESULT WaveInGetPosition(HWAVEIN handle, MMTIME& time);
MMRESULT WaveInGetID(HWAVEIN handle, int32_t& deviceId);
// How long a started input has brought no audio although its stream is still there (a sound
// server stopped or starved, a source unlinked), in ms of the program's own running time, once
// that has gone on for several seconds; 0 while audio comes. A stalled input is never closed or
// failed for it: it records on when audio comes again. Only a stream that is gone (a server that
// went away, a card unplugged) loses the device.
MMRESULT WaveInGetStall(HWAVEIN handle, uint32_t& ms);
// The gaps in what the input recorded since the last reset, in order.
MMRESULT WaveInGetGaps(HWAVEIN handle, std::vector<WaveGap>& gaps);

uint32_t WaveOutGetNumDevs();
MMRESULT WaveOutGetDevCaps(int32_t deviceId, WaveCaps& caps);
MMRESULT WaveOutGetErrorText(MMRESULT err, std::string& text);
MMRESULT WaveOutOpen(HWAVEOUT* handle, int32_t deviceId, const WAVEFORMATEX* format, WaveCallback callback,
                     uint32_t flags);
MMRESULT WaveOutClose(HWAVEOUT handle);
MMRESULT WaveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* hdr);
MMRESULT WaveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* hdr);
// Plays at once unless paused (a pause before the first write holds playback). A buffer is
// returned when it has been played.
MMRESULT WaveOutWrite(HWAVEOUT handle, WAVEHDR* hdr);
// Freezes the sound and the position; the buffers stay queued.
MMRESULT WaveOutPause(HWAVEOUT handle);
MMRESULT WaveOutRestart(HWAVEOUT handle);
// Returns every buffer (done) before it returns and sets the position to 0; a pause stays.
MMRESULT WaveOutReset(HWAVEOUT handle);
// Samples played since the last reset; holds still while nothing plays.
MMRESULT WaveOutGetPosition(HWAVEOUT handle, MMTIME& time);
MMRESULT WaveOutGetID(HWAVEOUT handle, int32_t& deviceId);
// How long a playing output has taken no audio while more waited, as WaveInGetStall tells for an
// input; it plays on when the stream takes audio again.
MMRESULT WaveOutGetStall(HWAVEOUT handle, uint32_t& ms);

// A header's flags, read and set on different threads (the driver's and the owner's).
inline uint32_t LoadWaveHdrFlags(const WAVEHDR& hdr) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(hdr.dwFlags)).load(std::memory_order_acquire);
}
inline bool WaveHdrDone(const WAVEHDR& hdr) { return LoadWaveHdrFlags(hdr) & WHDR_DONE; }
inline void StoreWaveHdrFlags(WAVEHDR& hdr, uint32_t flags) {
  std::atomic_ref<uint32_t>(hdr.dwFlags).store(flags, std::memory_order_release);
}

// Which backend the calls above reach. Chosen at the first call from SOLVANE_AUDIO ("virtual" for
// the virtual device, anything else ALSA).
enum class WaveBackendKind { Alsa, Virtual };
WaveBackendKind CurrentWaveBackend();
// Switches the backend for the rest of the process; false (nothing changes) while a device is open.
bool SelectWaveBackend(WaveBackendKind kind);
// ALSA: use a configuration of the caller's own (ALSA's configuration syntax) instead of the
// system's, e.g. "pcm.!default { type null }"; "" goes back to the system's. False while a device
// is open or when the text does not parse.
bool UseAlsaConfig(const std::string& configText);
// Devices open in this process (both directions), for tests.
int OpenWaveDevices();

}  // namespace plat
