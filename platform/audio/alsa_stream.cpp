#include "platform/audio/alsa_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace plat::wavecore::alsa {

namespace {
constexpr size_t kMaxChunkFrames = 8192;
}  // namespace

AlsaStream::AlsaStream(StreamSetup& setup)
    : pcm_(std::move(setup.pcm)),
      blockAlign_(setup.format.nBlockAlign),
      rate_(setup.format.nSamplesPerSec),
      bufferFrames_(setup.buffer),
      periodMs_(int(std::max<uint64_t>(1, uint64_t(setup.period) * 1000 / setup.format.nSamplesPerSec))),
      watch_(setup.format.nSamplesPerSec),
      serverGone_(std::move(setup.serverGone)) {
  int n = snd_pcm_poll_descriptors_count(pcm_.get());
  fds_.resize(size_t(std::max(n, 0)));
  if (n > 0) snd_pcm_poll_descriptors(pcm_.get(), fds_.data(), unsigned(n));
  staging_.resize(
      size_t(std::min<snd_pcm_uframes_t>(std::max(setup.period, snd_pcm_uframes_t(256)), kMaxChunkFrames)) *
      blockAlign_);
}

void AlsaStream::Pump(WaveDevice& dev) {
  if (lost_ || !dev.Running()) {
    dev.WaitWake(-1);
    return;
  }
  PumpStream(dev);
}

uint64_t AlsaStream::FramesIn(Clock::duration d) const {
  return uint64_t(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(d).count())) * rate_ /
         1000000;
}

void AlsaStream::Lose(WaveDevice& dev, long err) { LoseAs(dev, err, ServerGone()); }

void AlsaStream::LoseAs(WaveDevice& dev, long err, bool serverGone) {
  if (lost_) return;
  std::fprintf(stderr, "sound device lost: %s%s\n", snd_strerror(int(err)),
               serverGone ? " (the sound server cannot be reached)" : "");
  lost_ = true;
  dev.Lost(serverGone ? WAVERR_NOSERVER : MMSYSERR_NODRIVER);
}

bool AlsaStream::ServerGone() { return serverGone_ && serverGone_() == WAVERR_NOSERVER; }

bool AlsaStream::Fails(WaveDevice& dev, long err) {
  if (err >= 0 || err == -EAGAIN) return false;
  if (lost_) return true;
  if (err != -EPIPE && err != -ESTRPIPE) {
    Lose(dev, err);
    return true;
  }
  // A plugin whose server went away may say so as one overrun after another; asked at most once a
  // second, as recovering from a real one costs nothing.
  const Clock::time_point now = Clock::now();
  if (recoveredIdle_ && now - lastAsked_ >= std::chrono::seconds(1)) {
    lastAsked_ = now;
    if (ServerGone()) {
      LoseAs(dev, err, true);
      return true;
    }
  }
  BeforeRecover();
  int r = snd_pcm_recover(pcm_.get(), int(err), 1);
  if (r >= 0) r = AfterRecover();
  if (r < 0) Lose(dev, r);
  else recoveredIdle_ = true;
  return true;
}

// A sound server's plugin leaves its descriptor readable until its next transfer even when the
// stream has nothing for us: a descriptor that woke us for nothing is left out of the next wait,
// which lasts a period, so the thread never spins on it (at real-time priority it would take a
// whole core).
void AlsaStream::WaitStream(WaveDevice& dev, int timeoutMs) {
  if (idleWake_) {
    idleWake_ = false;
    dev.WaitWake(periodMs_);
    return;
  }
  dev.WaitWake(timeoutMs, fds_.data(), int(fds_.size()));
  idleWake_ = !CheckPoll(dev);
}

// After a wait on the stream's descriptors: an error or a hang-up there is a lost device unless
// the stream itself says it has only run over or under. False when a descriptor woke us while the
// stream has nothing to read or write.
bool AlsaStream::CheckPoll(WaveDevice& dev) {
  bool any = false;
  for (const ::pollfd& p : fds_) any = any || p.revents != 0;
  if (!any || lost_) return true;
  unsigned short revents = 0;
  int err = snd_pcm_poll_descriptors_revents(pcm_.get(), fds_.data(), unsigned(fds_.size()), &revents);
  if (err < 0) {
    Lose(dev, err);
    return true;
  }
  if (!(revents & (POLLERR | POLLHUP | POLLNVAL))) return (revents & (POLLIN | POLLOUT)) != 0;
  snd_pcm_state_t s = snd_pcm_state(pcm_.get());
  if (s == SND_PCM_STATE_XRUN || s == SND_PCM_STATE_SUSPENDED) Fails(dev, s == SND_PCM_STATE_XRUN ? -EPIPE : -ESTRPIPE);
  else Lose(dev, -EIO);
  return true;
}

}  // namespace plat::wavecore::alsa
