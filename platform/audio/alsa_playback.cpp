// The playback side of an ALSA stream: keeps the stream fed from the owner's queued buffers,
// tells what has been heard, pauses and resumes, and tells how long a stream has taken no audio.
#include <algorithm>
#include <cerrno>
#include <deque>
#include <vector>

#include "platform/audio/alsa_stream.h"

namespace plat::wavecore::alsa {

namespace {

// How much longer than the audio it held a playback stream with nothing more to play may take to
// report that audio played.
constexpr auto kPlayOutSlack = std::chrono::seconds(1);

class AlsaPlayback : public AlsaStream {
public:
  explicit AlsaPlayback(StreamSetup& setup)
      : AlsaStream(setup),
        silence_(setup.format.wFormatTag != WAVE_FORMAT_IEEE_FLOAT && setup.format.wBitsPerSample == 8 ? 0x80 : 0),
        canPause_(setup.canPause),
        wide_(setup.wide) {}

  void PauseOutput(WaveDevice& dev) override {
    if (lost_) return;
    // Not started and holding nothing: it plays nothing, and a sound server's stream is best left
    // as it is (preparing it again makes a new one).
    if (dropDue_ || (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED && Held() == 0)) return;
    UpdatePlayed(dev);
    if (canPause_ && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING && snd_pcm_pause(pcm_.get(), 1) == 0) {
      hwPaused_ = true;
      return;
    }
    // No pause in the hardware: drop what it holds and play it again from the played position.
    snd_pcm_drop(pcm_.get());
    dev.RewindToPlayed();
    written_ = took_ = passedOn_ = heard_;
    DropPadsFrom(written_);
    dry_ = false;
    tail_ = {};
    Prepare(dev);
  }

  void RestartOutput(WaveDevice& dev) override {
    if (!hwPaused_ || lost_) return;
    hwPaused_ = false;
    if (snd_pcm_pause(pcm_.get(), 0) < 0) {
      // The device lost its pause (a suspend, an xrun): start it over from what it holds.
      Prepare(dev);
      return;
    }
    tail_.at = Clock::now();
    lastWrite_.at = Clock::now();
    Running();
  }

  void Drop(WaveDevice& dev) override {
    hwPaused_ = false;
    written_ = heard_ = took_ = passedOn_ = 0;
    pads_.clear();
    padsHeard_ = 0;
    dry_ = false;
    tail_ = lastWrite_ = {};
    // Dropped and prepared again only for audio to play (PumpStream): a sound server's plugin waits
    // for the server to answer both, which a server that stands still or has no session manager
    // never does, and a stop must not wait for that.
    dropDue_ = !lost_;
  }

private:
  // What was not yet heard when it was last measured, and when.
  struct Unheard {
    uint64_t frames = 0;
    Clock::time_point at{};
  };

  void BeforeRecover() override { NoteUnderrun(); }

  void Prepare(WaveDevice& dev) {
    if (snd_pcm_state(pcm_.get()) != SND_PCM_STATE_PREPARED) Fails(dev, snd_pcm_prepare(pcm_.get()));
  }

  // ---- what has been heard ----
  //
  // The position is what has been heard: frames written less those still ahead of the listener.
  // A stream prepared but not started has played nothing (a sound server's delay reads 0 there);
  // where the delay cannot be read (an underrun, an error) the last reading counts down in real
  // time; and while running the position never moves faster than the clock since the start.

  void Running() {
    runFrom_ = heard_;
    runSince_ = Clock::now();
    taken_ = written_;
    heardSeen_ = heard_;
    watch_.Restart(Clock::now());
  }

  // The stream ran dry: what it held when last measured has played out as far as the time since
  // covers. The position comes up to that before the stream starts again, or the position, which
  // then never moves faster than the clock from where it stood, would stay behind for the rest of
  // the playback by all the driver had not seen played (a whole buffer after the driver itself was
  // held up), and the deck would stop that much after the end.
  void NoteUnderrun() {
    tail_.frames = TailLeft(Clock::now());
    tail_.at = Clock::now();
    heard_ = std::max(heard_, written_ - std::min(tail_.frames, written_));
  }

  uint64_t TailLeft(Clock::time_point now) const {
    uint64_t gone = FramesIn(now - tail_.at);
    return tail_.frames > gone ? tail_.frames - gone : 0;
  }

  uint64_t NotHeard() {
    const Clock::time_point now = Clock::now();
    switch (snd_pcm_state(pcm_.get())) {
      case SND_PCM_STATE_RUNNING:
      case SND_PCM_STATE_DRAINING: {
        // A server's delay is its own estimate, and it runs on before the server has taken a
        // frame; what the stream still holds has not been heard either.
        snd_pcm_sframes_t d = 0;
        if (snd_pcm_delay(pcm_.get(), &d) < 0) return TailLeft(now);
        tail_ = {std::min(std::max(uint64_t(std::max<snd_pcm_sframes_t>(d, 0)), Held()), PlayOutBound(now)), now};
        return tail_.frames;
      }
      case SND_PCM_STATE_PAUSED: return tail_.frames;
      case SND_PCM_STATE_PREPARED: return Held() + TailLeft(now);
      default: return TailLeft(now);
    }
  }

  // A sound server takes a stream's audio a block at a time and hands each block on through its
  // graph before the sink plays it, later than the delay it reports tells when its blocks are
  // large. What it took before its latest take has gone on to the sink: a frame counts as heard
  // only once the server has taken more after it (as it does at the end of the audio, from the
  // silence behind it).
  void NoteTaken() {
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) return;
    const uint64_t held = uint64_t(std::max<snd_pcm_sframes_t>(0, snd_pcm_sframes_t(bufferFrames_) - avail));
    const uint64_t took = written_ > held ? written_ - held : 0;
    if (took <= took_) return;
    passedOn_ = took_;
    took_ = took;
  }

  void UpdatePlayed(WaveDevice& dev) {
    NoteTaken();
    const bool running = snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING;
    uint64_t notHeard = NotHeard();
    // However the stream reports, the end of the audio is heard once its playing time is over.
    if (running) notHeard = std::min(std::max(notHeard, written_ - passedOn_), PlayOutBound(Clock::now()));
    uint64_t heard = written_ - std::min(notHeard, written_);
    if (running) heard = std::min(heard, runFrom_ + FramesIn(Clock::now() - runSince_));
    heard_ = std::max(heard_, heard);
    dev.CommitOutput(0, DataUnheard() * blockAlign_);
  }

  // ---- the end of what was queued ----
  //
  // A sound server may take audio only in blocks of its own and leave a last part block in the
  // stream for good, so when nothing more is queued the stream is kept fed with silence until
  // every frame of the audio has been heard. The silence is no part of the position. And however
  // a stream reports, once nothing more is queued what it held when the audio was last written
  // has been heard when its playing time (and a margin) has passed.

  struct Pad {
    uint64_t from = 0, frames = 0;  // in stream frames
  };

  // Audio frames, not silence, among the first n frames of the stream.
  uint64_t AudioIn(uint64_t n) const {
    uint64_t silence = padsHeard_;
    for (const Pad& p : pads_) {
      if (p.from >= n) break;
      silence += std::min(p.frames, n - p.from);
    }
    return n - silence;
  }

  uint64_t DataUnheard() const { return AudioIn(written_) - AudioIn(heard_); }

  // Silence heard for good is only counted.
  void ForgetHeardPads() {
    while (!pads_.empty() && pads_.front().from + pads_.front().frames <= heard_) {
      padsHeard_ += pads_.front().frames;
      pads_.pop_front();
    }
  }

  void DropPadsFrom(uint64_t n) {
    while (!pads_.empty() && pads_.back().from >= n) pads_.pop_back();
    if (!pads_.empty()) pads_.back().frames = std::min(pads_.back().frames, n - pads_.back().from);
  }

  uint64_t PlayOutBound(Clock::time_point now) const {
    if (!dry_ || lastWrite_.at == Clock::time_point{}) return UINT64_MAX;
    const uint64_t allowed = lastWrite_.frames + FramesIn(kPlayOutSlack);
    const uint64_t gone = FramesIn(now - lastWrite_.at);
    return allowed > gone ? allowed - gone : 0;
  }

  // Keeps the stream full while audio in it is still unheard, and never more silence ahead of what
  // the server passed on than two buffers (the block that took the last audio, and a full stream
  // for the take after it); false when it failed. A sound server may take nothing until the stream
  // holds a whole block of its own (PipeWire's quantum, which another program may raise to most of
  // the buffer), or hold a stream resumed from a pause until it is as full as at its start
  // (PulseAudio does): with less in the stream, the rest of the audio would never play.
  bool PadWithSilence(WaveDevice& dev) {
    ForgetHeardPads();
    if (DataUnheard() == 0) return true;
    const uint64_t from = std::max(heard_, passedOn_);
    const uint64_t silenceAhead = (written_ - from) - (AudioIn(written_) - AudioIn(from));
    if (silenceAhead >= 2 * bufferFrames_) return true;
    const uint64_t held = Held();
    for (uint64_t need = bufferFrames_ > held ? bufferFrames_ - held : 0; need > 0;) {
      snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
      if (avail <= 0) return !Fails(dev, avail);
      const size_t frames = size_t(std::min<uint64_t>({need, uint64_t(avail), staging_.size() / blockAlign_}));
      std::fill(staging_.begin(), staging_.begin() + long(frames * blockAlign_), silence_);
      snd_pcm_sframes_t w = WriteFrames(staging_.data(), frames);
      if (w < 0) return !Fails(dev, w);
      if (!pads_.empty() && pads_.back().from + pads_.back().frames == written_) pads_.back().frames += uint64_t(w);
      else pads_.push_back({written_, uint64_t(w)});
      written_ += uint64_t(w);
      need -= uint64_t(w);
      if (size_t(w) < frames) break;
    }
    return true;
  }

  // Writes frames of the device's format, 8-bit samples widened to 16 bits for a wide stream.
  snd_pcm_sframes_t WriteFrames(const uint8_t* frames, size_t count) {
    if (!wide_) return snd_pcm_writei(pcm_.get(), frames, count);
    wideSamples_.resize(count * blockAlign_);
    for (size_t i = 0; i < wideSamples_.size(); ++i) wideSamples_[i] = int16_t((frames[i] - 128) * 256);
    return snd_pcm_writei(pcm_.get(), wideSamples_.data(), count);
  }

  // Frames the stream holds, not yet taken by the device or the server.
  uint64_t Held() {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) return written_ - heard_;
    return uint64_t(std::max<snd_pcm_sframes_t>(0, snd_pcm_sframes_t(bufferFrames_) - avail));
  }

  void PumpStream(WaveDevice& dev) override {
    if (dropDue_) {
      if (dev.PendingOutput() < blockAlign_) {
        dev.SkipPartialTail();
        dev.WaitWake(-1);
        return;
      }
      dropDue_ = false;
      snd_pcm_drop(pcm_.get());
      Prepare(dev);
      if (lost_) return;
    }
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_XRUN && Fails(dev, -EPIPE) && lost_) return;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) {
      Fails(dev, avail);
      return;
    }
    const bool wasPrepared = snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED;
    while (avail > 0) {
      size_t want = size_t(std::min<snd_pcm_sframes_t>(avail, snd_pcm_sframes_t(staging_.size() / blockAlign_)));
      size_t n = dev.PeekOutput(staging_.data(), want * blockAlign_);
      if (n == 0) break;
      snd_pcm_sframes_t w = WriteFrames(staging_.data(), n / blockAlign_);
      if (w < 0) {
        Fails(dev, w);
        if (lost_) return;
        break;
      }
      written_ += uint64_t(w);
      lastWrite_ = {written_ - heard_, Clock::now()};
      dev.CommitOutput(size_t(w) * blockAlign_, DataUnheard() * blockAlign_);
      avail -= w;
      if (size_t(w) * blockAlign_ < n) break;
    }
    const bool more = dev.PendingOutput() >= blockAlign_;
    dry_ = !more;
    // The stream starts itself once its buffer is full; start it when nothing more is queued, so
    // a short sound plays too.
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED && !more && Held() > 0 &&
        Fails(dev, snd_pcm_start(pcm_.get())))
      return;
    if (wasPrepared && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING) Running();
    if (!more && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING && !PadWithSilence(dev) && lost_) return;
    UpdatePlayed(dev);
    if (more && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING) CheckTaken(dev);
    else dev.NoteStall(0);
    dev.Flush();
    if (more) {
      WaitStream(dev, periodMs_);
    } else if (DataUnheard() > 0) {
      dev.WaitWake(periodMs_);  // let it play out, noting what has been heard
    } else {
      dev.SkipPartialTail();
      dev.WaitWake(-1);
    }
  }

  // ---- a stream that takes no audio ----
  //
  // While more audio waits, the stream is kept full: what it takes covers real time as arrivals do
  // for capture, and what it reports played shows it alive. Paused, or at the end of the audio
  // (bounded above), it is not asked.

  void CheckTaken(WaveDevice& dev) {
    const Clock::time_point now = Clock::now();
    if (written_ > taken_) {
      watch_.Moved(written_ - taken_, now);
      taken_ = written_;
      Moving();
    } else if (heard_ > heardSeen_) {
      watch_.Excused(now);
    }
    heardSeen_ = heard_;
    dev.NoteStall(uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(watch_.Stall(now)).count()));
  }

  const uint8_t silence_;  // the byte of a silent sample
  const bool canPause_;
  const bool wide_;
  std::vector<int16_t> wideSamples_;
  bool hwPaused_ = false;
  bool dropDue_ = false;  // reset: what the stream holds goes once more audio comes
  // In frames since the last reset: written to the stream, and heard.
  uint64_t written_ = 0;
  uint64_t heard_ = 0;
  // Taken by the server at the last look, and before its latest take.
  uint64_t took_ = 0, passedOn_ = 0;
  Unheard tail_;
  Unheard lastWrite_;  // what the stream held unheard when audio was last written
  bool dry_ = false;   // nothing more is queued
  std::deque<Pad> pads_;
  uint64_t padsHeard_ = 0;
  uint64_t runFrom_ = 0;
  Clock::time_point runSince_{};
  uint64_t taken_ = 0, heardSeen_ = 0;  // written and heard at the last look
};

}  // namespace

std::unique_ptr<WaveDriver> MakePlayback(StreamSetup setup) { return std::make_unique<AlsaPlayback>(setup); }

}  // namespace plat::wavecore::alsa
