// The capture side of an ALSA stream: reads what has arrived into the owner's queued buffers, and
// tells how long a stream has delivered no audio and what an overrun cost.
#include <algorithm>
#include <cerrno>

#include "platform/audio/alsa_stream.h"

namespace plat::wavecore::alsa {

namespace {

class AlsaCapture : public AlsaStream {
public:
  explicit AlsaCapture(StreamSetup& setup) : AlsaStream(setup) {}

  // Capture is prepared only here: a prepared stream of a sound server already gathers audio, and
  // a resumed recording must begin with what arrives now, not with what came during the pause. A
  // stop or a reset leaves the stream as it is, for this to drop: a sound server's plugin waits for
  // the server to answer a drop, and a stop must not wait for a server that stands still.
  void StartInput(WaveDevice& dev) override {
    carry_.clear();
    gap_ = 0;  // a pause's audio is no gap
    if (lost_) return;
    snd_pcm_drop(pcm_.get());
    if (Fails(dev, snd_pcm_prepare(pcm_.get()))) return;
    if (!Fails(dev, snd_pcm_start(pcm_.get()))) ArrivalsFromNow();
  }

  void StopInput(WaveDevice& dev) override {
    if (lost_) return;
    ReadAvailable(dev);  // what has arrived still belongs to the recording
    dev.NoteGap(gap_);
    gap_ = 0;
  }

  void Drop(WaveDevice&) override {
    carry_.clear();
    gap_ = 0;
  }

private:
  // The overrun's loss is a gap in the recording where the next audio goes, once some comes: a
  // stream that is lost instead has no gap, only its end.
  int AfterRecover() override {
    int r = snd_pcm_start(pcm_.get());
    if (r >= 0) {
      gap_ += loss_.Restarted(read_, Clock::now());
      ArrivalsFromNow();
    }
    return r;
  }

  size_t Deliver(WaveDevice& dev, const uint8_t* p, size_t n) {
    size_t taken = dev.PutInput(p, n);
    size_t rem = taken % blockAlign_;
    // Buffers that end inside a frame: keep the rest of that frame for the next buffer.
    if (rem && taken < n) carry_.assign(p + taken, p + std::min(n, taken + (blockAlign_ - rem)));
    return taken;
  }

  // Reads no more than the queued buffers can take: the rest waits in the device's own buffer
  // (a second and more) for the owner's next buffer, where a source that delivers in bursts
  // cannot outrun it.
  void ReadAvailable(WaveDevice& dev) {
    if (!carry_.empty()) {
      size_t t = dev.PutInput(carry_.data(), carry_.size());
      carry_.erase(carry_.begin(), carry_.begin() + long(t));
    }
    while (carry_.empty()) {
      const uint64_t room = dev.InputSpace();
      if (room == 0) return;
      snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
      if (avail < 0) {
        Fails(dev, avail);
        return;
      }
      if (avail == 0) return;
      size_t frames = size_t(std::min<uint64_t>(
          {uint64_t(avail), staging_.size() / blockAlign_, std::max<uint64_t>(1, room / blockAlign_)}));
      snd_pcm_sframes_t r = snd_pcm_readi(pcm_.get(), staging_.data(), frames);
      if (r < 0) {
        Fails(dev, r);
        return;
      }
      if (r == 0) return;
      dev.NoteGap(gap_);
      gap_ = 0;
      read_ += uint64_t(r);
      Deliver(dev, staging_.data(), size_t(r) * blockAlign_);
    }
  }

  // ---- audio that stops arriving ----
  //
  // What has arrived counts as moved whether it was read or still waits in the stream. While the
  // owner has no buffer for it, or the stream has no room for more, the wait is not the stream's.

  void ArrivalsFromNow() {
    arrived_ = read_;
    watch_.Restart(Clock::now());
    loss_.Look(read_, Clock::now());
  }

  void CheckArrivals(WaveDevice& dev) {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) return;  // a failure is handled where the stream is read
    const uint64_t arrived = read_ + uint64_t(avail);
    const Clock::time_point now = Clock::now();
    loss_.Look(arrived, now);
    if (arrived > arrived_) {
      watch_.Moved(arrived - arrived_, now);
      arrived_ = arrived;
      Moving();
    } else if (dev.InputSpace() == 0 || uint64_t(avail) >= bufferFrames_) {
      watch_.Excused(now);
    }
    dev.NoteStall(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(watch_.Stall(now)).count()));
  }

  void PumpStream(WaveDevice& dev) override {
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_XRUN && Fails(dev, -EPIPE) && lost_) return;
    ReadAvailable(dev);
    if (!lost_) CheckArrivals(dev);
    if (lost_) return;
    dev.Flush();
    if (dev.InputSpace() > 0) {
      WaitStream(dev, periodMs_ * 2);
    } else {
      dev.WaitWake(periodMs_);  // a new buffer wakes us; the device holds the audio meanwhile
    }
  }

  std::vector<uint8_t> carry_;
  // In frames since the start: read from the stream, and read or waiting there.
  uint64_t read_ = 0;
  uint64_t arrived_ = 0;
  OverrunLoss loss_{rate_};
  uint64_t gap_ = 0;  // frames an overrun lost, not yet placed in the recording
};

}  // namespace

std::unique_ptr<WaveDriver> MakeCapture(StreamSetup setup) { return std::make_unique<AlsaCapture>(setup); }

}  // namespace plat::wavecore::alsa
