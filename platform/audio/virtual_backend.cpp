// The virtual sound device (virtual_audio.h).
#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <numbers>
#include <set>
#include <mutex>
#include <sstream>

#include "platform/audio/simple_wav.h"
#include "platform/audio/virtual_audio.h"
#include "platform/audio/wave_backend.h"
#include "platform/audio/wave_mapper.h"
#include "platform/system/files.h"
#include "platform/system/threads.h"

namespace plat {

using wavecore::WaveDevice;
using wavecore::WaveDriver;

namespace {

constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max() / 2;
constexpr int kRealTimeTickMs = 5;
constexpr size_t kChunkBytes = 65536;

// ---- shared state -------------------------------------------------------------------------------

class VirtualDriver;

struct Live {
  std::weak_ptr<WaveDevice> dev;
  VirtualDriver* driver;
};

struct CaptureRecord {
  VirtualCapture capture;
  bool open = true;  // its stream still writes to it
};

struct State {
  std::mutex m;
  bool haveConfig = false;
  VirtualAudioConfig config;
  std::vector<Live> live;                      // open devices in opening order
  std::map<uint64_t, VirtualDriver*> opening;  // made by Open, not yet in the live list
  std::atomic<uint64_t> steppedMs{0};

  std::mutex captureMutex;
  std::vector<std::unique_ptr<CaptureRecord>> captures;
};

State& St() {
  static State* s = new State;
  return *s;
}

VirtualAudioConfig ConfigLocked(State& s) {
  if (!s.haveConfig) {
    s.config = VirtualAudioConfigFromEnvironment();
    s.haveConfig = true;
  }
  return s.config;
}

VirtualAudioConfig CurrentConfig() {
  State& s = St();
  std::lock_guard<std::mutex> l(s.m);
  return ConfigLocked(s);
}

// ---- signals ------------------------------------------------------------------------------------

void PutSample(uint8_t* p, int bytes, uint32_t v) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

class Generator {
public:
  Generator(const VirtualDeviceSpec& spec, const WAVEFORMATEX& format) : spec_(spec), f_(format), int_(format) {
    if (spec.Source == VirtualSource::WavFile && !ReadSimpleWav(spec.WavPath, wav_))
      wav_.data.clear();  // an unreadable file gives silence
    // Float streams get the signal made at 32 bits and scaled; the pattern stays raw counting.
    if (format.wFormatTag == wavecore::WAVE_FORMAT_IEEE_FLOAT && spec.Source != VirtualSource::Pattern) {
      int_.wFormatTag = WAVE_FORMAT_PCM;
      int_.wBitsPerSample = 32;
      int_.nBlockAlign = uint16_t(4 * format.nChannels);
      scratch_.resize(int_.nBlockAlign);
    }
  }

  void Frames(uint8_t* out, uint64_t frames) {
    for (uint64_t i = 0; i < frames; ++i, out += f_.nBlockAlign) {
      if (scratch_.empty()) {
        Frame(out);
      } else {
        Frame(scratch_.data());
        for (int c = 0; c < f_.nChannels; ++c) ToFloat(scratch_.data() + 4 * c, out + c * (f_.wBitsPerSample / 8));
      }
      ++frame_;
    }
  }
  void Skip(uint64_t frames) { frame_ += frames; }

private:
  void ToFloat(const uint8_t* in, uint8_t* out) const {
    const double v =
        double(int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24)) /
        2147483648.0;
    if (f_.wBitsPerSample == 64) {
      std::memcpy(out, &v, 8);
    } else {
      const float x = float(v);
      std::memcpy(out, &x, 4);
    }
  }

  // One frame in the integer format int_.
  void Frame(uint8_t* out) {
    const int bytes = int_.wBitsPerSample / 8;
    switch (spec_.Source) {
      case VirtualSource::Pattern: FillVirtualPattern(frame_, 1, int_, out); break;
      case VirtualSource::Silence: std::memset(out, bytes == 1 ? 0x80 : 0, int_.nBlockAlign); break;
      case VirtualSource::Tone: {
        double phase = 2.0 * std::numbers::pi * spec_.ToneHz * double(frame_) / double(int_.nSamplesPerSec);
        double v = std::clamp(spec_.ToneLevel, 0.0, 1.0) * std::sin(phase);
        int32_t s = int32_t(std::lround(v * 2147483647.0));
        for (int c = 0; c < int_.nChannels; ++c) {
          uint32_t u = uint32_t(s) >> (32 - 8 * bytes);
          if (bytes == 1) u ^= 0x80;
          PutSample(out + c * bytes, bytes, u);
        }
        break;
      }
      case VirtualSource::WavFile: {
        uint64_t srcFrames = wav_.data.size() / std::max<uint32_t>(1, wav_.format.nBlockAlign);
        if (srcFrames == 0) {
          std::memset(out, bytes == 1 ? 0x80 : 0, int_.nBlockAlign);
          break;
        }
        const uint8_t* src = wav_.data.data() + (frame_ % srcFrames) * wav_.format.nBlockAlign;
        ConvertPcmFrame(src, wav_.format, out, int_);
        break;
      }
    }
  }

  VirtualDeviceSpec spec_;
  WAVEFORMATEX f_;
  WAVEFORMATEX int_;              // the integer form a frame is made in
  std::vector<uint8_t> scratch_;  // float streams: one frame in int_
  SimpleWav wav_;
  uint64_t frame_ = 0;
};

// ---- capture ------------------------------------------------------------------------------------

class CaptureSink {
public:
  CaptureSink(const VirtualAudioConfig& config, uint64_t handle, int32_t id, const WAVEFORMATEX& format)
      : blockAlign_(std::max<uint32_t>(1, format.nBlockAlign)) {
    State& s = St();
    if (config.CaptureToMemory) {
      auto rec = std::make_unique<CaptureRecord>();
      rec->capture.handle = handle;
      rec->capture.deviceId = id;
      rec->capture.format = format;
      std::lock_guard<std::mutex> l(s.captureMutex);
      record_ = rec.get();
      s.captures.push_back(std::move(rec));
    }
    if (!config.CaptureFolder.empty()) {
      std::string base = config.CaptureFolder + "/virtual-out-" + std::to_string(handle);
      wav_.Open(base + ".wav", format);
      if (const int fd = OpenOwnFile(base + ".log", O_WRONLY | O_CREAT | O_TRUNC); fd >= 0) log_ = ::fdopen(fd, "w");
      if (log_)
        std::fprintf(log_, "format %u Hz %u bit %u channels\n", format.nSamplesPerSec, format.wBitsPerSample,
                     format.nChannels);
    }
    Log(VirtualLogEntry::Open, 0, 0);
  }
  ~CaptureSink() {
    wav_.Close();
    if (log_) std::fclose(log_);
    std::lock_guard<std::mutex> l(St().captureMutex);
    if (record_) record_->open = false;
  }

  void Audio(const uint8_t* p, size_t n) {
    std::lock_guard<std::mutex> l(St().captureMutex);
    if (record_) record_->capture.audio.insert(record_->capture.audio.end(), p, p + n);
    wav_.Write(p, n);
  }

  void Log(VirtualLogEntry::Kind kind, uint64_t bytes, uint64_t playedBytes) {
    static const char* const kNames[] = {"open", "write", "pause", "restart", "reset", "underrun", "close"};
    std::lock_guard<std::mutex> l(St().captureMutex);
    uint64_t frames = playedBytes / blockAlign_;
    if (record_) record_->capture.log.push_back({kind, bytes, frames});
    if (log_) {
      std::fprintf(log_, "%s %llu at %llu\n", kNames[kind], (unsigned long long)bytes, (unsigned long long)frames);
      std::fflush(log_);
    }
  }

private:
  uint32_t blockAlign_;
  CaptureRecord* record_ = nullptr;  // owned by the state, which outlives every sink
  SimpleWavWriter wav_;
  std::FILE* log_ = nullptr;
};

// ---- one open stream ----------------------------------------------------------------------------

class VirtualDriver : public WaveDriver {
public:
  VirtualDriver(bool input, const WAVEFORMATEX& format, const VirtualDeviceSpec& spec, const VirtualAudioConfig& config,
                uint64_t handle, int32_t id)
      : input_(input),
        format_(format),
        blockAlign_(format.nBlockAlign),
        clock_(config.Clock),
        lossless_(config.Lossless) {
    if (input) generator_ = std::make_unique<Generator>(spec, format);
    else sink_ = std::make_unique<CaptureSink>(config, handle, id, format);
  }

  void Pump(WaveDevice& dev) override {
    const bool running = dev.Running();
    switch (clock_) {
      case VirtualClock::Manual:
        Advance(dev, 0);  // zero-length buffers, and audio owed to a lossless input
        dev.WaitWake(-1);
        break;
      case VirtualClock::Fast:
        if (!running || !Advance(dev, kUnlimited)) dev.WaitWake(-1);
        break;
      case VirtualClock::RealTime:
        if (!running) {
          anchored_ = false;
          Advance(dev, 0);
          dev.WaitWake(-1);
          break;
        }
        Advance(dev, DueRealTimeFrames());
        dev.WaitWake(RealTimeWaitMs(dev));
        break;
    }
  }

  // A manual step; runs on the driver thread.
  void Step(WaveDevice& dev, uint32_t ms) {
    if (clock_ != VirtualClock::Manual || !dev.Running()) return;
    stepMs_ += ms;
    uint64_t due = stepMs_ * format_.nSamplesPerSec / 1000;
    uint64_t frames = due - stepFrames_;
    stepFrames_ = due;
    Advance(dev, frames);
  }

  void StartInput(WaveDevice&) override { anchored_ = false; }
  void PauseOutput(WaveDevice& dev) override {
    anchored_ = false;
    sink_->Log(VirtualLogEntry::Pause, 0, played_);
  }
  void RestartOutput(WaveDevice&) override { sink_->Log(VirtualLogEntry::Restart, 0, played_); }
  void Drop(WaveDevice&) override {
    owed_ = 0;
    stage_.clear();
  }
  void Close(WaveDevice&) override {
    if (sink_) sink_->Log(VirtualLogEntry::Close, 0, played_);
  }
  void Written(uint64_t bytes, uint64_t playedBytes) override {
    sink_->Log(VirtualLogEntry::Write, bytes, playedBytes);
  }
  void WasReset() override {
    sink_->Log(VirtualLogEntry::Reset, 0, played_);
    played_ = 0;
    dry_ = true;
  }
  // In real time the driver sleeps until the head of the queue is due back, which a buffer queued
  // behind it does not change.
  bool WakeForQueuedBuffer() const override { return clock_ != VirtualClock::RealTime; }

private:
  // Sleeps until the buffer at the head of the queue is due back, as a card's interrupt would come;
  // new buffers and commands wake the driver sooner.
  int RealTimeWaitMs(const WaveDevice& dev) const {
    const uint64_t bytes = dev.BytesToNextReturn();
    if (bytes == 0 || format_.nAvgBytesPerSec == 0) return kRealTimeTickMs;
    const uint64_t ms = (bytes * 1000 + format_.nAvgBytesPerSec - 1) / format_.nAvgBytesPerSec;
    return int(std::clamp<uint64_t>(ms, 1, 1000));
  }

  uint64_t DueRealTimeFrames() {
    auto now = std::chrono::steady_clock::now();
    if (!anchored_) {
      anchor_ = now;
      anchorFrames_ = 0;
      anchored_ = true;
      return 0;
    }
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - anchor_).count();
    uint64_t due = uint64_t(us) * format_.nSamplesPerSec / 1000000;
    uint64_t frames = due - anchorFrames_;
    anchorFrames_ = due;
    return frames;
  }

  // Moves `frames` frames of time; true when any audio moved.
  bool Advance(WaveDevice& dev, uint64_t frames) { return input_ ? Record(dev, frames) : Play(dev, frames); }

  bool Play(WaveDevice& dev, uint64_t frames) {
    dev.CommitOutput(0, 0);  // a zero-length buffer at the front comes back at once
    uint64_t want = frames >= kUnlimited ? kUnlimited : frames * blockAlign_;
    bool moved = false;
    buf_.resize(kChunkBytes);
    while (want > 0) {
      size_t n = dev.PeekOutput(buf_.data(), size_t(std::min<uint64_t>(want, buf_.size())));
      if (n == 0) break;
      sink_->Audio(buf_.data(), n);
      dev.CommitOutput(n, 0);
      played_ += n;
      want -= n;
      moved = true;
      dry_ = false;
    }
    if (want > 0 && frames > 0) {
      dev.SkipPartialTail();
      if (!dry_ && dev.PendingOutput() == 0) {
        sink_->Log(VirtualLogEntry::Underrun, 0, played_);
        dry_ = true;
      }
    }
    return moved;
  }

  bool Record(WaveDevice& dev, uint64_t frames) {
    bool moved = false;
    if (!stage_.empty()) {
      size_t n = dev.PutInput(stage_.data(), stage_.size());
      stage_.erase(stage_.begin(), stage_.begin() + long(n));
      moved = n > 0;
    }
    const bool fast = frames >= kUnlimited;
    if (lossless_ && !fast) {
      owed_ += frames;
      frames = 0;
    }
    for (;;) {
      uint64_t space = dev.InputSpace();
      if (!stage_.empty() || space == 0) break;
      uint64_t fit = (space + blockAlign_ - 1) / blockAlign_;
      uint64_t take;
      if (fast) take = fit;
      else if (lossless_) take = std::min(fit, owed_);
      else take = std::min(fit, frames);
      if (take == 0) break;
      take = std::min<uint64_t>(take, kChunkBytes / blockAlign_);
      stage_.resize(size_t(take * blockAlign_));
      generator_->Frames(stage_.data(), take);
      size_t n = dev.PutInput(stage_.data(), stage_.size());
      stage_.erase(stage_.begin(), stage_.begin() + long(n));
      moved = true;
      if (lossless_ && !fast) owed_ -= take;
      else if (!fast) frames -= take;
    }
    // Without a buffer to take it, the audio of this stretch is lost: a gap in the recording.
    if (!lossless_ && !fast && frames > 0) {
      generator_->Skip(frames);
      dev.NoteGap(frames);
    }
    return moved;
  }

  const bool input_;
  const WAVEFORMATEX format_;
  const uint32_t blockAlign_;
  const VirtualClock clock_;
  const bool lossless_;
  std::unique_ptr<Generator> generator_;
  std::unique_ptr<CaptureSink> sink_;
  std::vector<uint8_t> buf_;
  std::vector<uint8_t> stage_;  // recorded bytes still waiting for a buffer (less than a frame)
  uint64_t owed_ = 0;           // lossless input: frames of time not yet recorded
  uint64_t played_ = 0;
  bool dry_ = true;
  bool anchored_ = false;
  std::chrono::steady_clock::time_point anchor_;
  uint64_t anchorFrames_ = 0;
  uint64_t stepMs_ = 0, stepFrames_ = 0;
};

// ---- the backend --------------------------------------------------------------------------------

const VirtualDeviceSpec* Spec(const VirtualAudioConfig& c, bool input, int32_t id) {
  const auto& list = input ? c.Inputs : c.Outputs;
  if (list.empty()) return nullptr;
  size_t i = id == WAVE_MAPPER ? 0 : size_t(id);
  return i < list.size() ? &list[i] : nullptr;
}

bool Accepts(const VirtualDeviceSpec& s, uint32_t rate, uint32_t channels, uint32_t bits, bool isFloat = false) {
  const std::vector<uint16_t>& sizes = isFloat ? s.FloatBits : s.Bits;
  return std::find(sizes.begin(), sizes.end(), bits) != sizes.end() && channels >= 1 && channels <= s.MaxChannels &&
         rate >= s.MinRate && rate <= s.MaxRate;
}

void StartPacingIfAsked();

class VirtualBackend : public wavecore::WaveBackend {
public:
  VirtualBackend() { StartPacingIfAsked(); }

  uint32_t NumDevices(bool input) override {
    auto c = CurrentConfig();
    return uint32_t((input ? c.Inputs : c.Outputs).size());
  }

  MMRESULT Caps(bool input, int32_t id, WaveCaps& caps) override {
    auto c = CurrentConfig();
    const VirtualDeviceSpec* s = Spec(c, input, id);
    if (!s) return MMSYSERR_BADDEVICEID;
    caps.ProductName = s->Name.empty() ? std::string(input ? "Virtual Input " : "Virtual Output ") +
                                             std::to_string((id < 0 ? 0 : id) + 1)
                                       : s->Name;
    caps.Channels = s->MaxChannels;
    caps.Formats = 0;
    const uint32_t rates[] = {11025, 22050, 44100};
    for (uint32_t rate : rates)
      for (uint32_t ch = 1; ch <= 2; ++ch)
        for (uint32_t bits : {8u, 16u})
          if (Accepts(*s, rate, ch, bits)) caps.Formats |= StandardFormatBit(rate, ch, bits);
    return MMSYSERR_NOERROR;
  }

  MMRESULT CheckFormat(bool input, int32_t id, const WAVEFORMATEX& f) override {
    auto c = CurrentConfig();
    const VirtualDeviceSpec* s = Spec(c, input, id);
    if (!s) return MMSYSERR_BADDEVICEID;
    return Accepts(*s, f.nSamplesPerSec, f.nChannels, f.wBitsPerSample,
                   f.wFormatTag == wavecore::WAVE_FORMAT_IEEE_FLOAT)
               ? MMSYSERR_NOERROR
               : WAVERR_BADFORMAT;
  }

  MMRESULT Open(bool input, int32_t id, const WAVEFORMATEX& f, uint64_t handle, std::unique_ptr<WaveDriver>& driver,
                wavecore::WaveDeviceOptions& options) override {
    auto c = CurrentConfig();
    const VirtualDeviceSpec* s = Spec(c, input, id);
    if (!s) return MMSYSERR_BADDEVICEID;
    if (s->OpenError != MMSYSERR_NOERROR) return s->OpenError;
    options.openNotice = !s->NoOpenNotice;
    options.closeNotice = !s->NoCloseNotice;
    options.positionBase = s->PositionBase;
    auto d = std::make_unique<VirtualDriver>(input, f, *s, c, handle, id);
    {
      State& st = St();
      std::lock_guard<std::mutex> l(st.m);
      st.opening[handle] = d.get();
    }
    driver = std::move(d);
    return MMSYSERR_NOERROR;
  }

  void Opened(const std::shared_ptr<WaveDevice>& dev) override;
  void Closed(const std::shared_ptr<WaveDevice>& dev) override;
};

void VirtualBackend::Opened(const std::shared_ptr<WaveDevice>& dev) {
  State& s = St();
  std::lock_guard<std::mutex> l(s.m);
  auto it = s.opening.find(dev->Handle());
  if (it == s.opening.end()) return;
  s.live.push_back({dev, it->second});
  s.opening.erase(it);
}
void VirtualBackend::Closed(const std::shared_ptr<WaveDevice>& dev) {
  State& s = St();
  std::lock_guard<std::mutex> l(s.m);
  std::erase_if(s.live, [&](const Live& x) {
    auto d = x.dev.lock();
    return !d || d == dev;
  });
}

// ---- pacing from outside the process ------------------------------------------------------------

void PaceLoop(std::string fifo, std::string ack) {
  const bool opened = ReadFifoLines(fifo, [&](const std::string& line) {
    std::istringstream in(line);
    std::string word;
    uint64_t ms = 0;
    if (in >> word >> ms && word == "step" && ms <= 0xFFFFFFFFull) {
      StepVirtualAudio(uint32_t(ms));
      if (!ack.empty()) AppendToOwnFile(ack, "stepped " + std::to_string(VirtualAudioSteppedMs()) + "\n");
    }
    return true;
  });
  if (!opened) std::fprintf(stderr, "virtual audio: cannot open pacing FIFO %s: %s\n", fifo.c_str(), std::strerror(errno));
}

// One reader per FIFO for the life of the process, started when a backend is made while
// SOLVANE_AUDIO_PACE names it.
void StartPacingIfAsked() {
  static std::mutex m;
  static std::set<std::string>* started = new std::set<std::string>;
  const char* fifo = std::getenv("SOLVANE_AUDIO_PACE");
  if (!fifo || !*fifo) return;
  std::lock_guard<std::mutex> l(m);
  if (!started->insert(fifo).second) return;
  const char* ack = std::getenv("SOLVANE_AUDIO_PACE_ACK");
  std::thread(PaceLoop, std::string(fifo), std::string(ack ? ack : "")).detach();
}

}  // namespace

// ---- public -------------------------------------------------------------------------------------

namespace wavecore {
std::shared_ptr<WaveBackend> MakeVirtualBackend() { return std::make_shared<VirtualBackend>(); }
}  // namespace wavecore

bool SetVirtualAudioConfig(const VirtualAudioConfig& config) {
  State& s = St();
  std::lock_guard<std::mutex> l(s.m);
  std::erase_if(s.live, [](const Live& x) { return x.dev.expired(); });
  if (!s.live.empty() || !s.opening.empty()) return false;
  s.config = config;
  s.haveConfig = true;
  return true;
}

VirtualAudioConfig GetVirtualAudioConfig() { return CurrentConfig(); }

VirtualAudioConfig VirtualAudioConfigFromEnvironment() {
  VirtualAudioConfig c;
  auto env = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    return v ? v : "";
  };
  std::string clock = env("SOLVANE_AUDIO_CLOCK");
  if (clock == "fast") c.Clock = VirtualClock::Fast;
  if (clock == "manual") c.Clock = VirtualClock::Manual;
  std::string devices = env("SOLVANE_AUDIO_DEVICES");
  if (!devices.empty()) {
    unsigned ins = 1, outs = 1;
    if (std::sscanf(devices.c_str(), "%u,%u", &ins, &outs) >= 1) {
      ins = std::min(ins, 16u);
      outs = std::min(outs, 16u);
      c.Inputs.clear();
      c.Outputs.clear();
      for (unsigned i = 1; i <= ins; ++i) c.Inputs.emplace_back("Virtual Input " + std::to_string(i));
      for (unsigned i = 1; i <= outs; ++i) c.Outputs.emplace_back("Virtual Output " + std::to_string(i));
    }
  }
  // Unless told otherwise the input is a steady line-up tone, which a newcomer's meters show
  // calmly; the counting pattern, which tests compare byte for byte, is asked for by name.
  std::string input = env("SOLVANE_AUDIO_INPUT");
  if (input.empty()) input = "tone";
  for (auto& s : c.Inputs) {
    if (input == "pattern") s.Source = VirtualSource::Pattern;
    if (input == "silence") s.Source = VirtualSource::Silence;
    if (input.rfind("tone", 0) == 0) {
      s.Source = VirtualSource::Tone;
      s.ToneLevel = kLineUpToneLevel;
      if (input.size() > 5 && input[4] == ':') s.ToneHz = std::atof(input.c_str() + 5);
    }
    if (input.rfind("wav:", 0) == 0) {
      s.Source = VirtualSource::WavFile;
      s.WavPath = input.substr(4);
    }
  }
  c.Lossless = env("SOLVANE_AUDIO_LOSSLESS") == "1";
  c.CaptureFolder = env("SOLVANE_AUDIO_CAPTURE");
  std::string faults = env("SOLVANE_AUDIO_FAULT");
  std::istringstream in(faults);
  std::string fault;
  while (std::getline(in, fault, ',')) {
    if (fault == "nodevices") {
      c.Inputs.clear();
      c.Outputs.clear();
    }
    for (auto* list : {&c.Inputs, &c.Outputs})
      for (auto& s : *list) {
        if (fault == "noopen") s.NoOpenNotice = true;
        if (fault == "noclose") s.NoCloseNotice = true;
        if (fault.rfind("open=", 0) == 0) s.OpenError = MMRESULT(std::atoi(fault.c_str() + 5));
      }
  }
  return c;
}

void StepVirtualAudio(uint32_t ms) {
  State& s = St();
  std::vector<Live> live;
  {
    std::lock_guard<std::mutex> l(s.m);
    live = s.live;
  }
  for (const Live& x : live) {
    auto dev = x.dev.lock();
    if (!dev) continue;
    VirtualDriver* d = x.driver;
    dev->Call([&] {
      d->Step(*dev, ms);
      return MMSYSERR_NOERROR;
    });
  }
  s.steppedMs += ms;
}

uint64_t VirtualAudioSteppedMs() { return St().steppedMs.load(); }

std::vector<VirtualCapture> VirtualCaptures() {
  State& s = St();
  std::lock_guard<std::mutex> l(s.captureMutex);
  std::vector<VirtualCapture> out;
  for (auto& r : s.captures) out.push_back(r->capture);
  return out;
}

void ClearVirtualCaptures() {
  State& s = St();
  std::lock_guard<std::mutex> l(s.captureMutex);
  // Records of streams still open stay, emptied: their sinks point at them.
  std::erase_if(s.captures, [](const std::unique_ptr<CaptureRecord>& r) { return !r->open; });
  for (auto& r : s.captures) {
    r->capture.audio.clear();
    r->capture.log.clear();
  }
}

uint32_t VirtualPatternSample(uint64_t k, uint16_t bits) {
  switch (bits) {
    case 8: return uint32_t((k ^ k >> 8 ^ k >> 16 ^ k >> 24 ^ k >> 32 ^ k >> 40) & 0xFF);
    case 16: return uint32_t((k ^ k >> 16 ^ k >> 32 ^ k >> 48) & 0xFFFF);
    case 24: return uint32_t((k ^ k >> 24 ^ k >> 48) & 0xFFFFFF);
    default: return uint32_t(k ^ k >> 32);
  }
}

void FillVirtualPattern(uint64_t firstFrame, uint64_t frames, const WAVEFORMATEX& f, uint8_t* out) {
  const int bytes = f.wBitsPerSample / 8;
  for (uint64_t i = 0; i < frames; ++i)
    for (int c = 0; c < f.nChannels; ++c, out += bytes)
      PutSample(out, bytes, VirtualPatternSample((firstFrame + i) * f.nChannels + uint64_t(c), f.wBitsPerSample));
}

bool MatchesVirtualPattern(const uint8_t* data, size_t bytes, const WAVEFORMATEX& f, uint64_t firstFrame) {
  if (f.nBlockAlign == 0 || bytes % f.nBlockAlign) return false;
  std::vector<uint8_t> want(bytes);
  FillVirtualPattern(firstFrame, bytes / f.nBlockAlign, f, want.data());
  return std::memcmp(want.data(), data, bytes) == 0;
}

}  // namespace plat
