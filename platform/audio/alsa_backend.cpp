// ALSA backend of the wave devices. Numbered devices are the cards (plughw:N,0, so ALSA converts
// rates and sample sizes the card lacks); the wave mapper is ALSA's "default", which on a desktop
// reaches the sound server. With no card at all, "default" becomes device 0 when it opens.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/audio/wave_backend.h"
#include "platform/audio/wave_mapper.h"

namespace plat::wavecore {

namespace {

constexpr unsigned kPeriodUs = 20000;           // 20 ms
constexpr unsigned kPlaybackBufferUs = 200000;  // 200 ms
// A recorder cannot afford to lose audio when the disk or the screen holds the program up, and a
// source may deliver in bursts: capture waits in a buffer of a second.
constexpr unsigned kCaptureBufferUs = 1000000;
constexpr size_t kMaxChunkFrames = 8192;
// A stream that moves no audio for this long beyond what its earlier audio covers has stopped (a
// session manager gone, a source or sink unlinked): a take or a playback must not go on silently.
// Its first audio may take longer: a sound server's idle source may start with a whole block of
// two seconds, and a new or resumed stream may wait to be linked or filled.
constexpr auto kStalledLimit = std::chrono::seconds(1);
constexpr auto kFirstAudioLimit = std::chrono::seconds(4);
// How much longer than the audio it held a playback stream with nothing more to play may take to
// report that audio played.
constexpr auto kPlayOutSlack = std::chrono::seconds(1);

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

void InstallQuietErrorHandlerOnce() {
  static std::once_flag once;
  // alsa-lib prints every failed open to stderr; a missing card is a normal answer here.
  std::call_once(once, [] { snd_lib_error_set_handler(QuietAlsa); });
}

using ConfigPtr = std::shared_ptr<snd_config_t>;

ConfigPtr ParseConfig(const std::string& text) {
  snd_config_t* top = nullptr;
  if (snd_config_top(&top) < 0) return nullptr;
  ConfigPtr cfg(top, [](snd_config_t* c) { snd_config_delete(c); });
  snd_input_t* in = nullptr;
  if (snd_input_buffer_open(&in, text.data(), ssize_t(text.size())) < 0) return nullptr;
  int err = snd_config_load(top, in);
  snd_input_close(in);
  return err < 0 ? nullptr : cfg;
}

MMRESULT FromErrno(int err) {
  switch (-err) {
    case EBUSY: return MMSYSERR_ALLOCATED;
    case ENOENT:
    case ENODEV:
    case ENXIO: return MMSYSERR_BADDEVICEID;
    case ENOMEM: return MMSYSERR_NOMEM;
    case EINVAL: return WAVERR_BADFORMAT;
    default: return MMSYSERR_ERROR;
  }
}

std::optional<snd_pcm_format_t> AlsaFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    if (f.wBitsPerSample == 32) return SND_PCM_FORMAT_FLOAT_LE;
    if (f.wBitsPerSample == 64) return SND_PCM_FORMAT_FLOAT64_LE;
    return std::nullopt;
  }
  switch (f.wBitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return std::nullopt;
  }
}

struct PcmCloser {
  void operator()(snd_pcm_t* p) const { snd_pcm_close(p); }
};
using PcmPtr = std::unique_ptr<snd_pcm_t, PcmCloser>;

int OpenPcm(const ConfigPtr& cfg, const std::string& name, bool input, PcmPtr& out) {
  snd_pcm_t* pcm = nullptr;
  snd_pcm_stream_t stream = input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  int err = cfg ? snd_pcm_open_lconf(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK, cfg.get())
                : snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
  if (err < 0) return err;
  out.reset(pcm);
  return 0;
}

// Restricts params to the format; < 0 when the device cannot take it.
int ApplyFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* hw, const WAVEFORMATEX& f) {
  auto fmt = AlsaFormat(f);
  if (!fmt) return -EINVAL;
  int err;
  if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0) return err;
  if ((err = snd_pcm_hw_params_set_format(pcm, hw, *fmt)) < 0) return err;
  if ((err = snd_pcm_hw_params_set_channels(pcm, hw, f.nChannels)) < 0) return err;
  return snd_pcm_hw_params_set_rate(pcm, hw, f.nSamplesPerSec, 0);
}

// ---- one open stream ----------------------------------------------------------------------------

class AlsaDriver : public WaveDriver {
public:
  AlsaDriver(PcmPtr pcm, bool input, const WAVEFORMATEX& f, snd_pcm_uframes_t period, snd_pcm_uframes_t buffer,
             bool canPause)
      : pcm_(std::move(pcm)),
        input_(input),
        blockAlign_(f.nBlockAlign),
        rate_(f.nSamplesPerSec),
        bufferFrames_(buffer),
        periodMs_(int(std::max<uint64_t>(1, uint64_t(period) * 1000 / f.nSamplesPerSec))),
        silence_(f.wFormatTag != WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == 8 ? 0x80 : 0),
        canPause_(canPause) {
    int n = snd_pcm_poll_descriptors_count(pcm_.get());
    fds_.resize(size_t(std::max(n, 0)));
    if (n > 0) snd_pcm_poll_descriptors(pcm_.get(), fds_.data(), unsigned(n));
    staging_.resize(size_t(std::min<snd_pcm_uframes_t>(std::max(period, snd_pcm_uframes_t(256)), kMaxChunkFrames)) *
                    blockAlign_);
  }

  void Pump(WaveDevice& dev) override {
    if (lost_ || !dev.Running()) {
      dev.WaitWake(-1);
      return;
    }
    if (input_) PumpInput(dev);
    else PumpOutput(dev);
  }

  // Capture is prepared only here: a prepared stream of a sound server already gathers audio, and
  // a resumed recording must begin with what arrives now, not with what came during the pause.
  void StartInput(WaveDevice& dev) override {
    carry_.clear();
    if (lost_) return;
    snd_pcm_drop(pcm_.get());
    if (Fails(dev, snd_pcm_prepare(pcm_.get()))) return;
    if (!Fails(dev, snd_pcm_start(pcm_.get()))) ArrivalsFromNow();
  }

  void StopInput(WaveDevice& dev) override {
    if (lost_) return;
    ReadAvailable(dev);  // what has arrived still belongs to the recording
    snd_pcm_drop(pcm_.get());
  }

  void PauseOutput(WaveDevice& dev) override {
    if (lost_) return;
    // Not started and holding nothing: it plays nothing, and a sound server's stream is best left
    // as it is (preparing it again makes a new one).
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED && Held() == 0) return;
    UpdatePlayed(dev);
    if (canPause_ && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING && snd_pcm_pause(pcm_.get(), 1) == 0) {
      hwPaused_ = true;
      return;
    }
    // No pause in the hardware: drop what it holds and play it again from the played position.
    snd_pcm_drop(pcm_.get());
    dev.RewindToPlayed();
    written_ = heard_;
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
    carry_.clear();
    written_ = heard_ = 0;
    pads_.clear();
    padsHeard_ = 0;
    dry_ = false;
    tail_ = lastWrite_ = {};
    if (lost_) return;
    snd_pcm_drop(pcm_.get());
    if (!input_) Prepare(dev);
  }

  void Close(WaveDevice&) override { pcm_.reset(); }

private:
  using Clock = std::chrono::steady_clock;

  // What was not yet heard when it was last measured, and when.
  struct Unheard {
    uint64_t frames = 0;
    Clock::time_point at{};
  };

  uint64_t FramesIn(Clock::duration d) const {
    return uint64_t(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(d).count())) * rate_ /
           1000000;
  }

  void Prepare(WaveDevice& dev) {
    if (snd_pcm_state(pcm_.get()) != SND_PCM_STATE_PREPARED) Fails(dev, snd_pcm_prepare(pcm_.get()));
  }

  // A stream that cannot be had again is a lost device: its buffers come back, the owner's next
  // call fails, and the driver sleeps until it is closed.
  void Lose(WaveDevice& dev, long err, MMRESULT reason = MMSYSERR_NODRIVER) {
    if (lost_) return;
    std::fprintf(stderr, "sound device lost: %s\n",
                 reason == WAVERR_INPUTSTOPPED    ? "no audio arrives"
                 : reason == WAVERR_OUTPUTSTOPPED ? "no audio is taken"
                                                  : snd_strerror(int(err)));
    lost_ = true;
    dev.Lost(reason);
  }

  // True when err is a failure. An underrun, an overrun or a suspend is recovered from; what
  // cannot be recovered, and every other error (a server gone, a device unplugged), loses the
  // device.
  bool Fails(WaveDevice& dev, long err) {
    if (err >= 0 || err == -EAGAIN) return false;
    if (lost_) return true;
    if (err != -EPIPE && err != -ESTRPIPE) {
      Lose(dev, err);
      return true;
    }
    if (!input_) NoteUnderrun();
    int r = snd_pcm_recover(pcm_.get(), int(err), 1);
    if (r >= 0 && input_) r = snd_pcm_start(pcm_.get());
    if (r < 0) Lose(dev, r);
    else if (input_) ArrivalsFromNow();
    return true;
  }

  // Waits for the stream, a wake or timeoutMs. A sound server's plugin leaves its descriptor
  // readable until its next transfer even when the stream has nothing for us: a descriptor that
  // woke us for nothing is left out of the next wait, which lasts a period, so the thread never
  // spins on it (at real-time priority it would take a whole core).
  void WaitStream(WaveDevice& dev, int timeoutMs) {
    if (idleWake_) {
      idleWake_ = false;
      dev.WaitWake(periodMs_);
      return;
    }
    dev.WaitWake(timeoutMs, fds_.data(), int(fds_.size()));
    idleWake_ = !CheckPoll(dev);
  }

  // After a wait on the stream's descriptors: an error or a hang-up there is a lost device unless
  // the stream itself says it has only run over or under. False when a descriptor woke us while
  // the stream has nothing to read or write.
  bool CheckPoll(WaveDevice& dev) {
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
    if (s == SND_PCM_STATE_XRUN || s == SND_PCM_STATE_SUSPENDED)
      Fails(dev, s == SND_PCM_STATE_XRUN ? -EPIPE : -ESTRPIPE);
    else Lose(dev, -EIO);
    return true;
  }

  // ---- playback: what has been heard --------------------------------------------------------------
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
    CoverFromNow();
  }

  void NoteUnderrun() {
    tail_.frames = TailLeft(Clock::now());
    tail_.at = Clock::now();
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

  void UpdatePlayed(WaveDevice& dev) {
    uint64_t notHeard = std::min(NotHeard(), written_);
    uint64_t heard = written_ - notHeard;
    if (snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING)
      heard = std::min(heard, runFrom_ + FramesIn(Clock::now() - runSince_));
    heard_ = std::max(heard_, heard);
    dev.CommitOutput(0, DataUnheard() * blockAlign_);
  }

  // ---- playback: the end of what was queued ------------------------------------------------------
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

  // Keeps the stream full while audio in it is still unheard, and never more silence ahead than a
  // buffer; false when it failed. A sound server may take nothing until the stream holds a whole
  // block of its own (PipeWire's quantum, which another program may raise to most of the buffer),
  // or hold a stream resumed from a pause until it is as full as at its start (PulseAudio does):
  // with less in the stream, the rest of the audio would never play.
  bool PadWithSilence(WaveDevice& dev) {
    ForgetHeardPads();
    const uint64_t unheard = DataUnheard();
    if (unheard == 0 || written_ - heard_ - unheard >= bufferFrames_) return true;
    const uint64_t held = Held();
    for (uint64_t need = bufferFrames_ > held ? bufferFrames_ - held : 0; need > 0;) {
      snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
      if (avail <= 0) return !Fails(dev, avail);
      const size_t frames = size_t(std::min<uint64_t>({need, uint64_t(avail), staging_.size() / blockAlign_}));
      std::fill(staging_.begin(), staging_.begin() + long(frames * blockAlign_), silence_);
      snd_pcm_sframes_t w = snd_pcm_writei(pcm_.get(), staging_.data(), frames);
      if (w < 0) return !Fails(dev, w);
      if (!pads_.empty() && pads_.back().from + pads_.back().frames == written_) pads_.back().frames += uint64_t(w);
      else pads_.push_back({written_, uint64_t(w)});
      written_ += uint64_t(w);
      need -= uint64_t(w);
      if (size_t(w) < frames) break;
    }
    return true;
  }

  // Frames the stream holds, not yet taken by the device or the server.
  uint64_t Held() {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) return written_ - heard_;
    return uint64_t(std::max<snd_pcm_sframes_t>(0, snd_pcm_sframes_t(bufferFrames_) - avail));
  }

  void PumpOutput(WaveDevice& dev) {
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
      snd_pcm_sframes_t w = snd_pcm_writei(pcm_.get(), staging_.data(), n / blockAlign_);
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
    if (more && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_RUNNING) {
      CheckTaken(dev);
      if (lost_) return;
    }
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

  // ---- playback: a stream that stops taking audio -------------------------------------------------
  //
  // While more audio waits, the stream is kept full: what it takes covers real time as arrivals do
  // for capture, and what it reports played shows it alive. Paused, or at the end of the audio
  // (bounded above), it is not asked; a start or a resume begins with the longer limit.

  void CheckTaken(WaveDevice& dev) {
    const Clock::time_point now = Clock::now();
    if (written_ > taken_) {
      Cover(written_ - taken_, now);
      taken_ = written_;
    } else if (heard_ > heardSeen_) {
      coveredUntil_ = std::max(coveredUntil_, now);
    } else if (now > coveredUntil_ + kStalledLimit) {
      Lose(dev, -EIO, WAVERR_OUTPUTSTOPPED);
    }
    heardSeen_ = heard_;
  }

  // ---- either way: audio that stops moving -------------------------------------------------------

  void CoverFromNow() {
    coveredUntil_ = Clock::now() + kFirstAudioLimit - kStalledLimit;
    awaitingFirst_ = true;
  }

  // Frames moved at now cover their playing time from then, or from the end of what came before;
  // the longer wait for a stream's first audio ends with it.
  void Cover(uint64_t frames, Clock::time_point now) {
    coveredUntil_ = (awaitingFirst_ ? now : std::max(coveredUntil_, now)) +
                    std::chrono::microseconds(frames * 1000000 / std::max<uint32_t>(1, rate_));
    awaitingFirst_ = false;
  }

  // ---- capture ------------------------------------------------------------------------------------

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
      read_ += uint64_t(r);
      Deliver(dev, staging_.data(), size_t(r) * blockAlign_);
    }
  }

  // ---- capture: audio that stops arriving --------------------------------------------------------
  //
  // Each arrival covers real time from when it was seen for as long as it plays, so a source that
  // delivers ahead in bursts is not taken for a silent one, nor is a driver thread held up while
  // the audio waited in the stream. While the owner has no buffer for it, or the stream has no
  // room for more, the wait is not the stream's.

  void ArrivalsFromNow() {
    arrived_ = read_;
    CoverFromNow();
  }

  void CheckArrivals(WaveDevice& dev) {
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
    if (avail < 0) return;  // a failure is handled where the stream is read
    const uint64_t arrived = read_ + uint64_t(avail);
    const Clock::time_point now = Clock::now();
    if (arrived > arrived_) {
      Cover(arrived - arrived_, now);
      arrived_ = arrived;
    } else if (dev.InputSpace() == 0 || uint64_t(avail) >= bufferFrames_) {
      coveredUntil_ = std::max(coveredUntil_, now);
    } else if (now > coveredUntil_ + kStalledLimit) {
      Lose(dev, -EIO, WAVERR_INPUTSTOPPED);
    }
  }

  void PumpInput(WaveDevice& dev) {
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

  PcmPtr pcm_;
  const bool input_;
  const uint32_t blockAlign_;
  const uint32_t rate_;
  const snd_pcm_uframes_t bufferFrames_;
  const int periodMs_;
  const uint8_t silence_;  // the byte of a silent sample
  const bool canPause_;
  std::vector<::pollfd> fds_;
  std::vector<uint8_t> staging_;
  std::vector<uint8_t> carry_;
  bool hwPaused_ = false;
  bool lost_ = false;
  bool idleWake_ = false;  // the descriptors last woke us for nothing
  // Playback, in frames since the last reset: written to the stream, and heard.
  uint64_t written_ = 0;
  uint64_t heard_ = 0;
  Unheard tail_;
  Unheard lastWrite_;  // what the stream held unheard when audio was last written
  bool dry_ = false;   // nothing more is queued
  std::deque<Pad> pads_;
  uint64_t padsHeard_ = 0;
  uint64_t runFrom_ = 0;
  Clock::time_point runSince_{};
  uint64_t taken_ = 0, heardSeen_ = 0;  // written and heard at the last look
  // Capture, in frames since the start: read from the stream, and read or waiting there.
  uint64_t read_ = 0;
  uint64_t arrived_ = 0;
  // Until when the audio the stream has moved covers real time.
  Clock::time_point coveredUntil_{};
  bool awaitingFirst_ = false;
};

// ---- the backend --------------------------------------------------------------------------------

struct Entry {
  std::string pcm;
  std::string product;
  std::optional<WaveCaps> caps;
};

class AlsaBackend : public WaveBackend {
public:
  explicit AlsaBackend(ConfigPtr cfg) : cfg_(std::move(cfg)) { InstallQuietErrorHandlerOnce(); }

  uint32_t NumDevices(bool input) override {
    std::lock_guard<std::mutex> l(m_);
    return uint32_t(ListLocked(input).devices.size());
  }

  std::string NoDeviceReason(bool input) override {
    std::lock_guard<std::mutex> l(m_);
    const List& list = ListLocked(input);
    if (!list.devices.empty() || list.defaultError == 0) return {};
    const std::string why = snd_strerror(list.defaultError);
    switch (-list.defaultError) {
      // What the sound servers' plugins answer when no server listens.
      case ECONNREFUSED:
      case EHOSTDOWN:
      case ECONNRESET:
      case ENOTCONN: return "The sound server could not be reached (" + why + ").";
      default: return "No sound card was found, and the default sound device could not be opened (" + why + ").";
    }
  }

  MMRESULT Caps(bool input, int32_t id, WaveCaps& caps) override {
    std::lock_guard<std::mutex> l(m_);
    Entry* e = EntryLocked(input, id);
    if (!e) return MMSYSERR_BADDEVICEID;
    if (!e->caps) {
      WaveCaps c;
      c.ProductName = e->product;
      int err = ProbeCaps(*e, input, c);
      if (err == -EBUSY) {
        caps = c;  // in use: the name, and no format promised
        return MMSYSERR_NOERROR;
      }
      e->caps = c;
    }
    caps = *e->caps;
    return MMSYSERR_NOERROR;
  }

  MMRESULT CheckFormat(bool input, int32_t id, const WAVEFORMATEX& f) override {
    PcmPtr pcm;
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    return OpenWithFormat(input, id, f, pcm, hw);
  }

  MMRESULT Open(bool input, int32_t id, const WAVEFORMATEX& f, uint64_t, std::unique_ptr<WaveDriver>& driver,
                WaveDeviceOptions& options) override {
    PcmPtr pcm;
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    if (MMRESULT r = OpenWithFormat(input, id, f, pcm, hw); r != MMSYSERR_NOERROR) return r;
    int err;
    unsigned bufferUs = input ? kCaptureBufferUs : kPlaybackBufferUs, periodUs = kPeriodUs;
    snd_pcm_hw_params_set_buffer_time_near(pcm.get(), hw, &bufferUs, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm.get(), hw, &periodUs, nullptr);
    if ((err = snd_pcm_hw_params(pcm.get(), hw)) < 0) return FromErrno(err);
    snd_pcm_uframes_t period = 0, buffer = 0;
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    bool canPause = snd_pcm_hw_params_can_pause(hw);

    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm.get(), sw);
    snd_pcm_uframes_t boundary = 0;
    snd_pcm_sw_params_get_boundary(sw, &boundary);
    // Playback starts itself once its buffer is full (or we start it when the queue runs out
    // first); capture starts at Start.
    snd_pcm_sw_params_set_start_threshold(pcm.get(), sw, input ? boundary : buffer);
    snd_pcm_sw_params_set_avail_min(pcm.get(), sw, std::max<snd_pcm_uframes_t>(1, period));
    if ((err = snd_pcm_sw_params(pcm.get(), sw)) < 0) return FromErrno(err);
    if (!input && (err = snd_pcm_prepare(pcm.get())) < 0) return FromErrno(err);

    // Raise the driver thread where the system allows it; an unpaced device (ALSA's null) never
    // gets real-time scheduling, so a test run cannot starve the machine.
    options.priority =
        snd_pcm_type(pcm.get()) == SND_PCM_TYPE_NULL ? ThreadPriority::AboveNormal : ThreadPriority::Highest;
    driver = std::make_unique<AlsaDriver>(std::move(pcm), input, f, std::max<snd_pcm_uframes_t>(1, period), buffer,
                                          canPause);
    return MMSYSERR_NOERROR;
  }

private:
  struct List {
    bool listed = false;
    std::vector<Entry> devices;
    std::optional<Entry> mapper;
    int defaultError = 0;  // why "default" did not open
  };

  // Opens the device's PCM and narrows hw (the caller's, on its stack) to the format.
  MMRESULT OpenWithFormat(bool input, int32_t id, const WAVEFORMATEX& f, PcmPtr& pcm, snd_pcm_hw_params_t* hw) {
    std::string name;
    {
      std::lock_guard<std::mutex> l(m_);
      Entry* e = EntryLocked(input, id);
      if (!e) return MMSYSERR_BADDEVICEID;
      name = e->pcm;
    }
    int err = OpenPcm(cfg_, name, input, pcm);
    if (err < 0) return FromErrno(err);
    if (snd_pcm_hw_params_any(pcm.get(), hw) < 0) return MMSYSERR_ERROR;
    return ApplyFormat(pcm.get(), hw, f) < 0 ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
  }

  bool Opens(const std::string& name, bool input, int* errOut = nullptr) {
    PcmPtr pcm;
    int err = OpenPcm(cfg_, name, input, pcm);
    if (errOut) *errOut = err;
    return err >= 0 || err == -EBUSY;
  }

  List& ListLocked(bool input) {
    List& list = input ? in_ : out_;
    if (list.listed) return list;
    list.listed = true;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
      std::string pcm = "plughw:" + std::to_string(card) + ",0";
      if (!Opens(pcm, input)) continue;
      char* name = nullptr;
      std::string product = "Card " + std::to_string(card);
      if (snd_card_get_name(card, &name) == 0 && name) {
        product = name;
        free(name);
      }
      list.devices.push_back({pcm, product, std::nullopt});
    }
    if (Opens("default", input, &list.defaultError)) {
      Entry def{"default", "Default sound device", std::nullopt};
      if (list.devices.empty()) list.devices.push_back(def);
      list.mapper = def;
    } else if (!list.devices.empty()) {
      list.mapper = list.devices.front();
    }
    return list;
  }

  Entry* EntryLocked(bool input, int32_t id) {
    List& list = ListLocked(input);
    if (id == WAVE_MAPPER) return list.mapper ? &*list.mapper : nullptr;
    if (id < 0 || size_t(id) >= list.devices.size()) return nullptr;
    return &list.devices[size_t(id)];
  }

  int ProbeCaps(const Entry& e, bool input, WaveCaps& c) {
    PcmPtr pcm;
    int err = OpenPcm(cfg_, e.pcm, input, pcm);
    if (err < 0) return err;
    snd_pcm_hw_params_t *any, *tmp;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_alloca(&tmp);
    if ((err = snd_pcm_hw_params_any(pcm.get(), any)) < 0) return err;
    // The capabilities speak of mono and stereo. A converter (plug, a sound server) takes any
    // count up to 32 and mixes it to the device's own, which it does not tell: say what the
    // program can count on, not the converter's limit.
    unsigned maxChannels = 0;
    snd_pcm_hw_params_get_channels_max(any, &maxChannels);
    c.Channels = uint16_t(std::min(maxChannels, 2u));
    for (uint32_t rate : {11025u, 22050u, 44100u})
      for (uint16_t ch : {1, 2})
        for (uint16_t bits : {8, 16}) {
          WAVEFORMATEX f;
          f.wFormatTag = WAVE_FORMAT_PCM;
          f.nChannels = ch;
          f.nSamplesPerSec = rate;
          f.wBitsPerSample = bits;
          snd_pcm_hw_params_copy(tmp, any);
          if (ApplyFormat(pcm.get(), tmp, f) == 0) c.Formats |= StandardFormatBit(rate, ch, bits);
        }
    return 0;
  }

  ConfigPtr cfg_;
  std::mutex m_;
  List in_, out_;
};

}  // namespace

std::shared_ptr<WaveBackend> MakeAlsaBackend(const std::string& configText) {
  ConfigPtr cfg;
  if (!configText.empty()) cfg = ParseConfig(configText);
  return std::make_shared<AlsaBackend>(cfg);
}

bool CheckAlsaConfigText(const std::string& configText) { return ParseConfig(configText) != nullptr; }

}  // namespace plat::wavecore
