#pragma once
// One open ALSA stream of a wave device, the part capture and playback share: the PCM and its
// descriptors, the wait on them, recovery from an underrun or overrun, the loss of a stream that
// cannot be had again, and the judgement of a stream that stops moving audio. The capture side
// (alsa_capture.cpp) and the playback side (alsa_playback.cpp) build on it; only the ALSA backend
// uses any of this.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/audio/stream_watch.h"
#include "platform/audio/wave_core.h"

namespace plat::wavecore::alsa {

struct PcmCloser {
  void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

// What the backend settled with the device when it opened the stream.
struct StreamSetup {
  PcmPtr pcm;
  WAVEFORMATEX format;
  snd_pcm_uframes_t period = 1;  // frames
  snd_pcm_uframes_t buffer = 0;  // frames
  bool canPause = false;
  bool wide = false;  // playback: the format's unsigned 8-bit samples go to the PCM as 16-bit
  // Asked when the stream fails: WAVERR_NOSERVER (the reason noted for the error text) when the
  // sound server behind the device cannot be reached now, else MMSYSERR_NOERROR.
  std::function<MMRESULT()> serverGone;
};

std::unique_ptr<WaveDriver> MakeCapture(StreamSetup setup);
std::unique_ptr<WaveDriver> MakePlayback(StreamSetup setup);

class AlsaStream : public WaveDriver {
public:
  void Pump(WaveDevice& dev) final;
  void Close(WaveDevice&) override { pcm_.reset(); }

protected:
  using Clock = std::chrono::steady_clock;

  explicit AlsaStream(StreamSetup& setup);

  // One round of moving audio, while the device runs and the stream is not lost.
  virtual void PumpStream(WaveDevice& dev) = 0;
  // Around the recovery from an underrun or overrun: before it, and after it succeeded (a
  // result < 0 loses the stream).
  virtual void BeforeRecover() {}
  virtual int AfterRecover() { return 0; }

  uint64_t FramesIn(Clock::duration d) const;

  // A stream that cannot be had again is a lost device: its buffers come back, the owner's next
  // call fails (a server that cannot be reached is told as that), and the driver sleeps until it
  // is closed.
  void Lose(WaveDevice& dev, long err);
  // True when err is a failure. An underrun, an overrun or a suspend is recovered from; what
  // cannot be recovered, and every other error (a server gone, a device unplugged), loses the
  // device. So does an overrun or underrun that follows a recovery with no audio moved between,
  // as a server's plugin reports one that went away, once the server cannot be reached.
  bool Fails(WaveDevice& dev, long err);
  // Audio moved since the last recovery.
  void Moving() { recoveredIdle_ = false; }
  // Whether the sound server behind the stream cannot be reached now.
  bool ServerGone();
  // Waits for the stream, a wake or timeoutMs.
  void WaitStream(WaveDevice& dev, int timeoutMs);

  PcmPtr pcm_;
  const uint32_t blockAlign_;
  const uint32_t rate_;
  const snd_pcm_uframes_t bufferFrames_;
  const int periodMs_;
  std::vector<uint8_t> staging_;
  bool lost_ = false;
  StreamWatch watch_;  // how long a stream has moved no audio

private:
  bool CheckPoll(WaveDevice& dev);
  void LoseAs(WaveDevice& dev, long err, bool serverGone);

  std::vector<::pollfd> fds_;
  bool idleWake_ = false;  // the descriptors last woke us for nothing
  std::function<MMRESULT()> serverGone_;
  bool recoveredIdle_ = false;  // recovered, and no audio has moved since
  Clock::time_point lastAsked_{};
};

}  // namespace plat::wavecore::alsa
