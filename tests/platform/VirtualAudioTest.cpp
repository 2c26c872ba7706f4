// What the virtual device offers beyond the common contract: its clocks, signals, capture, faults
// and outside pacing; and the wave mapper in front of it, which converts what the codec manager
// decodes and passes the PCM and float formats a sound server takes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

#include "common/eventually.h"
#include "common/scratch.h"
#include "common/sox_adpcm.h"
#include "common/wave_format.h"
#include "platform/audio/codec_manager.h"
#include "platform/audio/simple_wav.h"
#include "platform/audio/virtual_audio.h"
#include "platform/audio/wave_device.h"

using namespace plat;

namespace {

// An open stream with its buffers; collects what comes back.
struct Stream {
  bool input;
  uint64_t h = 0;
  std::vector<std::unique_ptr<std::vector<char>>> data;
  std::vector<std::unique_ptr<WAVEHDR>> hdrs;
  std::mutex m;
  std::vector<WAVEHDR*> back;
  std::vector<uint8_t> received;  // input: everything recorded, in order
  int opens = 0, closes = 0;

  Stream(bool in, const WAVEFORMATEX& f, int32_t id = WAVE_MAPPER, uint32_t flags = 0) : input(in) {
    auto cb = [this](uint64_t, WaveMsg msg, WAVEHDR* hdr) {
      std::lock_guard<std::mutex> l(m);
      if (msg == WaveMsg::Open) ++opens;
      if (msg == WaveMsg::Close) ++closes;
      if (!hdr) return;
      back.push_back(hdr);
      if (msg == WaveMsg::Data) received.insert(received.end(), hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
    };
    result = in ? WaveInOpen(&h, id, &f, cb, flags) : WaveOutOpen(&h, id, &f, cb, flags);
  }
  MMRESULT result;
  WAVEHDR* Buffer(size_t bytes) {
    data.push_back(std::make_unique<std::vector<char>>(bytes));
    hdrs.push_back(std::make_unique<WAVEHDR>());
    WAVEHDR* hdr = hdrs.back().get();
    hdr->lpData = data.back()->data();
    hdr->dwBufferLength = uint32_t(bytes);
    EXPECT_EQ(input ? WaveInPrepareHeader(h, hdr) : WaveOutPrepareHeader(h, hdr), MMSYSERR_NOERROR);
    return hdr;
  }
  MMRESULT Queue(WAVEHDR* hdr) { return input ? WaveInAddBuffer(h, hdr) : WaveOutWrite(h, hdr); }
  size_t Back() {
    std::lock_guard<std::mutex> l(m);
    return back.size();
  }
  std::vector<uint8_t> Received() {
    std::lock_guard<std::mutex> l(m);
    return received;
  }
  uint32_t Position() {
    MMTIME t;
    EXPECT_EQ(input ? WaveInGetPosition(h, t) : WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
    return t.value;
  }
  void Close() {
    if (input ? WaveInReset(h) : WaveOutReset(h)) ADD_FAILURE() << "reset";
    for (auto& x : hdrs) input ? WaveInUnprepareHeader(h, x.get()) : WaveOutUnprepareHeader(h, x.get());
    EXPECT_EQ(input ? WaveInClose(h) : WaveOutClose(h), MMSYSERR_NOERROR);
  }
};

// Writes data to an open output in buffers of `piece` bytes and plays it out: ms of time.
void PlayThrough(Stream& out, const std::vector<uint8_t>& data, size_t piece, uint32_t ms) {
  for (size_t at = 0; at < data.size(); at += piece) {
    const size_t n = std::min(piece, data.size() - at);
    WAVEHDR* hdr = out.Buffer(n);
    std::memcpy(hdr->lpData, data.data() + at, n);
    ASSERT_EQ(out.Queue(hdr), MMSYSERR_NOERROR);
  }
  StepVirtualAudio(ms);
  EXPECT_EQ(out.Back(), out.hdrs.size()) << "every buffer played";
}

std::vector<uint8_t> Le16Bytes(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  for (size_t i = 0; i < s.size(); ++i) b[2 * i] = uint8_t(s[i]), b[2 * i + 1] = uint8_t(uint16_t(s[i]) >> 8);
  return b;
}

class VirtualAudio : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(SelectWaveBackend(WaveBackendKind::Virtual));
    config_.Clock = VirtualClock::Manual;
    config_.CaptureToMemory = true;
    ClearVirtualCaptures();
  }
  void TearDown() override {
    EXPECT_EQ(OpenWaveDevices(), 0);
    SetVirtualAudioConfig(VirtualAudioConfig{});
  }
  void Apply() { ASSERT_TRUE(SetVirtualAudioConfig(config_)); }
  VirtualAudioConfig config_;
  const WAVEFORMATEX cd_ = PcmFormat(44100, 2, 16);
};

}  // namespace

TEST_F(VirtualAudio, LosslessInputWaitsForABufferInsteadOfDropping) {
  config_.Lossless = true;
  Apply();
  Stream in(true, cd_);
  ASSERT_EQ(in.result, MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInStart(in.h), MMSYSERR_NOERROR);
  StepVirtualAudio(100);  // 4410 frames owed, no buffer yet
  EXPECT_EQ(in.Back(), 0u);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(in.Queue(in.Buffer(6000)), MMSYSERR_NOERROR);
  // The owed audio arrives as soon as buffers do, with nothing lost.
  ASSERT_TRUE(Eventually([&] { return in.Back() == 2; }));
  StepVirtualAudio(20);  // 882 more frames: 17640 + 3528 = 21168 bytes > 18000
  EXPECT_EQ(in.Back(), 3u);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(in.Queue(in.Buffer(6000)), MMSYSERR_NOERROR);
  StepVirtualAudio(0);
  auto rec = in.Received();
  EXPECT_EQ(in.Position(), 21168u / 4) << "the position counts the partly filled buffer";
  ASSERT_EQ(rec.size(), 18000u);
  EXPECT_TRUE(MatchesVirtualPattern(rec.data(), rec.size(), cd_, 0));
  in.Close();
  rec = in.Received();
  EXPECT_EQ(rec.size(), 21168u) << "the reset returns the rest of what was owed";
  EXPECT_TRUE(MatchesVirtualPattern(rec.data(), rec.size(), cd_, 0));
}

TEST_F(VirtualAudio, UnalignedBuffersStillCarryEveryByteInOrder) {
  Apply();
  const WAVEFORMATEX f = PcmFormat(22050, 2, 16);
  Stream in(true, f);
  for (size_t n : {7, 1, 13, 4096, 3, 999}) ASSERT_EQ(in.Queue(in.Buffer(n)), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInStart(in.h), MMSYSERR_NOERROR);
  StepVirtualAudio(1000);
  ASSERT_EQ(in.Back(), 6u);
  auto rec = in.Received();
  ASSERT_EQ(rec.size(), 7u + 1 + 13 + 4096 + 3 + 999);
  rec.resize(rec.size() - rec.size() % 4);
  EXPECT_TRUE(MatchesVirtualPattern(rec.data(), rec.size(), f, 0));
  in.Close();
}

TEST_F(VirtualAudio, RealTimeAndFastClocksMoveAudioWithoutSteps) {
  for (VirtualClock clock : {VirtualClock::RealTime, VirtualClock::Fast}) {
    config_.Clock = clock;
    Apply();
    Stream out(false, PcmFormat(8000, 1, 8));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(out.Queue(out.Buffer(80)), MMSYSERR_NOERROR);  // 30 ms
    EXPECT_TRUE(Eventually([&] { return out.Back() == 3; }));
    EXPECT_EQ(out.Position(), 240u);
    Stream in(true, PcmFormat(8000, 1, 8));
    for (int i = 0; i < 2; ++i) ASSERT_EQ(in.Queue(in.Buffer(40)), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveInStart(in.h), MMSYSERR_NOERROR);
    EXPECT_TRUE(Eventually([&] { return in.Back() == 2; }));
    if (clock == VirtualClock::Fast) {
      auto rec = in.Received();
      EXPECT_TRUE(MatchesVirtualPattern(rec.data(), rec.size(), PcmFormat(8000, 1, 8), 0))
          << "as fast as buffers come, nothing is dropped";
    }
    in.Close();
    out.Close();
  }
}

TEST_F(VirtualAudio, ToneAndWavFileInputs) {
  Scratch dir;
  // A 1 kHz source file of 8-bit mono, read into a 16-bit stereo stream.
  const WAVEFORMATEX src = PcmFormat(8000, 1, 8);
  std::vector<uint8_t> samples(800);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t(i * 7);
  {
    SimpleWavWriter w;
    ASSERT_TRUE(w.Open(dir.Path("in.wav"), src));
    ASSERT_TRUE(w.Write(samples.data(), samples.size()));
    ASSERT_TRUE(w.Close());
  }
  config_.Inputs.assign(2, VirtualDeviceSpec("in"));
  config_.Inputs[0].Source = VirtualSource::Tone;
  config_.Inputs[0].ToneHz = 441;
  config_.Inputs[0].ToneLevel = 0.5;
  config_.Inputs[1].Source = VirtualSource::WavFile;
  config_.Inputs[1].WavPath = dir.Path("in.wav");
  Apply();

  Stream tone(true, cd_, 0);
  ASSERT_EQ(tone.Queue(tone.Buffer(4 * 100)), MMSYSERR_NOERROR);  // one period of 441 Hz
  ASSERT_EQ(WaveInStart(tone.h), MMSYSERR_NOERROR);
  StepVirtualAudio(10);
  auto t = tone.Received();
  ASSERT_EQ(t.size(), 400u);
  auto sample = [&](size_t frame, int ch) { return int16_t(t[frame * 4 + ch * 2] | t[frame * 4 + ch * 2 + 1] << 8); };
  EXPECT_EQ(sample(0, 0), 0);
  EXPECT_NEAR(sample(25, 0), 16384, 2) << "a quarter period in: the peak at half scale";
  EXPECT_NEAR(sample(75, 1), -16384, 2);
  EXPECT_EQ(sample(40, 0), sample(40, 1));
  tone.Close();

  Stream file(true, cd_, 1);
  ASSERT_EQ(file.Queue(file.Buffer(4 * 1000)), MMSYSERR_NOERROR);  // more than the file: it loops
  ASSERT_EQ(WaveInStart(file.h), MMSYSERR_NOERROR);
  StepVirtualAudio(1000);
  auto r = file.Received();
  ASSERT_EQ(r.size(), 4000u);
  for (size_t fr = 0; fr < 1000; ++fr) {
    int16_t want = int16_t(uint16_t(samples[fr % 800] ^ 0x80) << 8);
    for (int ch = 0; ch < 2; ++ch) ASSERT_EQ(int16_t(r[fr * 4 + ch * 2] | r[fr * 4 + ch * 2 + 1] << 8), want) << fr;
  }
  file.Close();
}

TEST_F(VirtualAudio, OutputCaptureKeepsWhatPlayedAndALogOfWhatHappened) {
  Scratch dir;
  config_.CaptureFolder = dir.Root();
  Apply();
  const WAVEFORMATEX f = PcmFormat(8000, 1, 16);
  Stream out(false, f);
  WAVEHDR* a = out.Buffer(1600);  // 100 ms
  WAVEHDR* b = out.Buffer(1600);
  for (int i = 0; i < 1600; ++i) a->lpData[i] = char(i), b->lpData[i] = char(255 - i % 256);
  ASSERT_EQ(out.Queue(a), MMSYSERR_NOERROR);
  ASSERT_EQ(out.Queue(b), MMSYSERR_NOERROR);
  StepVirtualAudio(50);
  ASSERT_EQ(WaveOutPause(out.h), MMSYSERR_NOERROR);
  StepVirtualAudio(500);
  ASSERT_EQ(WaveOutRestart(out.h), MMSYSERR_NOERROR);
  StepVirtualAudio(100);
  ASSERT_EQ(WaveOutReset(out.h), MMSYSERR_NOERROR);  // half of b never plays
  for (auto& x : out.hdrs) WaveOutUnprepareHeader(out.h, x.get());
  ASSERT_EQ(WaveOutClose(out.h), MMSYSERR_NOERROR);

  auto caps = VirtualCaptures();
  ASSERT_EQ(caps.size(), 1u);
  const VirtualCapture& c = caps[0];
  EXPECT_EQ(c.handle, out.h);
  std::vector<uint8_t> want(a->lpData, a->lpData + 1600);
  want.insert(want.end(), b->lpData, b->lpData + 800);
  EXPECT_EQ(c.audio, want);
  using K = VirtualLogEntry;
  std::vector<std::pair<K::Kind, uint64_t>> log;
  for (auto& e : c.log) log.push_back({e.kind, e.kind == K::Write ? e.bytes : e.playedFrames});
  std::vector<std::pair<K::Kind, uint64_t>> expect = {{K::Open, 0},    {K::Write, 1600},  {K::Write, 1600},
                                                      {K::Pause, 400}, {K::Restart, 400}, {K::Reset, 1200},
                                                      {K::Close, 0}};
  EXPECT_EQ(log, expect);

  // The same stream as a WAV file and a text log in the capture folder.
  SimpleWav wav;
  std::string base = dir.Path("virtual-out-" + std::to_string(out.h));
  ASSERT_TRUE(ReadSimpleWav(base + ".wav", wav));
  EXPECT_EQ(wav.format.nSamplesPerSec, 8000u);
  EXPECT_EQ(wav.data, want);
  std::ifstream logFile(base + ".log");
  std::stringstream text;
  text << logFile.rdbuf();
  EXPECT_NE(text.str().find("pause 0 at 400\nrestart 0 at 400\nreset 0 at 1200\nclose"), std::string::npos)
      << text.str();
}

TEST_F(VirtualAudio, FaultsAndDeviceLists) {
  config_.Inputs.clear();
  config_.Outputs.assign(3, VirtualDeviceSpec("out"));
  config_.Outputs[0].OpenError = MMSYSERR_ALLOCATED;
  config_.Outputs[1].NoOpenNotice = true;
  config_.Outputs[2].NoCloseNotice = true;
  config_.Outputs[2].Bits = {16};
  config_.Outputs[2].MaxChannels = 1;
  config_.Outputs[2].MaxRate = 22050;
  Apply();
  EXPECT_EQ(WaveInGetNumDevs(), 0u);
  WaveCaps caps;
  EXPECT_EQ(WaveInGetDevCaps(WAVE_MAPPER, caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(WaveInOpen(nullptr, WAVE_MAPPER, &cd_, nullptr, WAVE_FORMAT_QUERY), MMSYSERR_NODRIVER);
  EXPECT_EQ(WaveOutGetNumDevs(), 3u);

  Stream busy(false, cd_, 0);
  EXPECT_EQ(busy.result, MMSYSERR_ALLOCATED);
  EXPECT_EQ(OpenWaveDevices(), 0);

  Stream quiet(false, cd_, 1);
  ASSERT_EQ(quiet.result, MMSYSERR_NOERROR);
  EXPECT_EQ(quiet.opens, 0);
  EXPECT_EQ(WaveOutClose(quiet.h), MMSYSERR_NOERROR);
  EXPECT_EQ(quiet.closes, 1);

  ASSERT_EQ(WaveOutGetDevCaps(2, caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.Formats, WAVE_FORMAT_1M16 | WAVE_FORMAT_2M16);
  EXPECT_EQ(WaveOutOpen(nullptr, 2, &cd_, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  WAVEFORMATEX narrow = PcmFormat(22050, 1, 16);
  Stream mute(false, narrow, 2);
  ASSERT_EQ(mute.result, MMSYSERR_NOERROR);
  EXPECT_EQ(mute.opens, 1);
  EXPECT_FALSE(SetVirtualAudioConfig(VirtualAudioConfig{})) << "refused while a device is open";
  EXPECT_FALSE(SelectWaveBackend(WaveBackendKind::Alsa));
  EXPECT_EQ(WaveOutClose(mute.h), MMSYSERR_NOERROR);
  EXPECT_EQ(mute.closes, 0);
}

TEST_F(VirtualAudio, PositionWrapsAt32Bits) {
  config_.Outputs[0].PositionBase = 0xFFFFFF00u;
  Apply();
  Stream out(false, PcmFormat(8000, 1, 8));
  EXPECT_EQ(out.Position(), 0xFFFFFF00u);
  ASSERT_EQ(out.Queue(out.Buffer(800)), MMSYSERR_NOERROR);
  StepVirtualAudio(100);
  EXPECT_EQ(out.Position(), 800u - 256u);
  out.Close();
}

TEST_F(VirtualAudio, EnvironmentConfiguresTheDevice) {
  setenv("SOLVANE_AUDIO_CLOCK", "fast", 1);
  setenv("SOLVANE_AUDIO_DEVICES", "2,3", 1);
  setenv("SOLVANE_AUDIO_INPUT", "tone:220", 1);
  setenv("SOLVANE_AUDIO_LOSSLESS", "1", 1);
  setenv("SOLVANE_AUDIO_FAULT", "noclose,open=4", 1);
  VirtualAudioConfig c = VirtualAudioConfigFromEnvironment();
  for (const char* v : {"SOLVANE_AUDIO_CLOCK", "SOLVANE_AUDIO_DEVICES", "SOLVANE_AUDIO_INPUT", "SOLVANE_AUDIO_LOSSLESS",
                        "SOLVANE_AUDIO_FAULT"})
    unsetenv(v);
  EXPECT_EQ(c.Clock, VirtualClock::Fast);
  ASSERT_EQ(c.Inputs.size(), 2u);
  ASSERT_EQ(c.Outputs.size(), 3u);
  EXPECT_EQ(c.Outputs[2].Name, "Virtual Output 3");
  EXPECT_EQ(c.Inputs[1].Source, VirtualSource::Tone);
  EXPECT_EQ(c.Inputs[1].ToneHz, 220.0);
  EXPECT_TRUE(c.Lossless);
  EXPECT_TRUE(c.Outputs[0].NoCloseNotice);
  EXPECT_EQ(c.Inputs[0].OpenError, MMSYSERR_ALLOCATED);
  setenv("SOLVANE_AUDIO_FAULT", "nodevices", 1);
  c = VirtualAudioConfigFromEnvironment();
  unsetenv("SOLVANE_AUDIO_FAULT");
  EXPECT_TRUE(c.Inputs.empty());
  EXPECT_TRUE(c.Outputs.empty());
}

TEST_F(VirtualAudio, UnlessAskedForAnotherTheInputIsALineUpTone) {
  unsetenv("SOLVANE_AUDIO_INPUT");
  VirtualAudioConfig c = VirtualAudioConfigFromEnvironment();
  ASSERT_EQ(c.Inputs.size(), 1u);
  EXPECT_EQ(c.Inputs[0].Source, VirtualSource::Tone);
  EXPECT_EQ(c.Inputs[0].ToneHz, 1000.0);
  EXPECT_NEAR(20 * std::log10(c.Inputs[0].ToneLevel), -18.0, 0.001);
  setenv("SOLVANE_AUDIO_INPUT", "pattern", 1);
  c = VirtualAudioConfigFromEnvironment();
  EXPECT_EQ(c.Inputs[0].Source, VirtualSource::Pattern);
  setenv("SOLVANE_AUDIO_INPUT", "tone:440", 1);
  c = VirtualAudioConfigFromEnvironment();
  unsetenv("SOLVANE_AUDIO_INPUT");
  EXPECT_EQ(c.Inputs[0].ToneHz, 440.0);
  EXPECT_EQ(c.Inputs[0].ToneLevel, kLineUpToneLevel) << "a tone asked for by name is the line-up tone too";

  // What the device then records peaks at that level: 16-bit samples near 4125.
  config_ = c;
  config_.Clock = VirtualClock::Manual;
  Apply();
  Stream in(true, PcmFormat(8000, 1, 16));
  ASSERT_EQ(in.Queue(in.Buffer(1600)), MMSYSERR_NOERROR);  // 100 ms
  ASSERT_EQ(WaveInStart(in.h), MMSYSERR_NOERROR);
  StepVirtualAudio(100);
  ASSERT_TRUE(Eventually([&] { return in.Back() == 1; }));
  auto rec = in.Received();
  int peak = 0;
  for (size_t i = 0; i + 1 < rec.size(); i += 2)
    peak = std::max(peak, std::abs(int(int16_t(uint16_t(rec[i] | rec[i + 1] << 8)))));
  EXPECT_NEAR(peak, 32767 * kLineUpToneLevel, 40);
  in.Close();
}

TEST_F(VirtualAudio, AnotherProcessStepsTheClockThroughTheFifo) {
  Scratch dir;
  std::string fifo = dir.Path("pace"), ack = dir.Path("ack");
  setenv("SOLVANE_AUDIO_PACE", fifo.c_str(), 1);
  setenv("SOLVANE_AUDIO_PACE_ACK", ack.c_str(), 1);
  ASSERT_TRUE(SelectWaveBackend(WaveBackendKind::Virtual));  // a new backend starts the reader
  unsetenv("SOLVANE_AUDIO_PACE");
  unsetenv("SOLVANE_AUDIO_PACE_ACK");
  Apply();
  Stream out(false, PcmFormat(8000, 1, 8));
  ASSERT_EQ(out.Queue(out.Buffer(800)), MMSYSERR_NOERROR);
  uint64_t before = VirtualAudioSteppedMs();
  ASSERT_TRUE(Eventually([&] { return access(fifo.c_str(), F_OK) == 0; }));
  {
    std::ofstream pace(fifo);
    pace << "step 60\nnonsense\nstep 40\n";
  }
  auto acked = [&] {
    std::ifstream in(ack);
    std::string line, last;
    int n = 0;
    while (std::getline(in, line)) last = line, ++n;
    return n == 2 && last == "stepped " + std::to_string(before + 100);
  };
  ASSERT_TRUE(Eventually(acked));
  EXPECT_EQ(out.Back(), 1u) << "100 ms stepped from outside played the buffer";
  out.Close();
}

TEST_F(VirtualAudio, TheMapperPlaysWhatTheCodecManagerDecodesAsItsPcm) {
  Apply();
  for (const char* encoding : {"ms-adpcm", "ima-adpcm"}) {
    SCOPED_TRACE(encoding);
    Scratch dir;
    soxadpcm::WavImage w;
    std::vector<int16_t> ref;
    if (!soxadpcm::Encode(dir, encoding, 22050, 2, soxadpcm::Signal(15000, 2), w, ref))
      GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
    const std::vector<uint32_t> block = w.Block();
    const WAVEFORMATEX& adpcm = *reinterpret_cast<const WAVEFORMATEX*>(block.data());
    // Only the mapper converts; a card opened directly takes the bytes as they are or not at all.
    EXPECT_EQ(WaveOutOpen(nullptr, 0, &adpcm, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    EXPECT_EQ(WaveInOpen(nullptr, WAVE_MAPPER, &adpcm, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    for (auto [id, flags] : {std::pair{WAVE_MAPPER, 0u}, std::pair{0, WAVE_MAPPED}}) {
      EXPECT_EQ(WaveOutOpen(nullptr, id, &adpcm, nullptr, WAVE_FORMAT_QUERY | flags), MMSYSERR_NOERROR);
      ClearVirtualCaptures();
      Stream out(false, adpcm, id, flags);
      ASSERT_EQ(out.result, MMSYSERR_NOERROR);
      // Buffers of whole blocks, as the engine writes them; the last one shorter.
      PlayThrough(out, w.Data, 3 * w.Format.nBlockAlign, 1000);
      MMTIME t;
      t.wType = MMTimeType::Bytes;
      ASSERT_EQ(WaveOutGetPosition(out.h, t), MMSYSERR_NOERROR);
      EXPECT_EQ(t.wType, MMTimeType::Samples) << "the device's bytes are not the file's";
      EXPECT_EQ(t.value, ref.size() / 2);
      out.Close();
      const auto caps = VirtualCaptures();
      ASSERT_EQ(caps.size(), 1u);
      EXPECT_EQ(caps[0].format.wFormatTag, WAVE_FORMAT_PCM);
      EXPECT_EQ(caps[0].format.wBitsPerSample, 16);
      EXPECT_EQ(caps[0].format.nChannels, 2);
      EXPECT_TRUE(caps[0].audio == Le16Bytes(ref)) << "what sox decodes, sample for sample";
    }
  }
  // Without the codec manager nothing decodes it.
  Scratch dir;
  soxadpcm::WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ima-adpcm", 8000, 1, soxadpcm::Signal(800, 1), w, ref));
  const std::vector<uint32_t> block = w.Block();
  SetCodecLibraryPresent(false);
  EXPECT_EQ(WaveOutOpen(nullptr, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(block.data()), nullptr,
                        WAVE_FORMAT_QUERY),
            WAVERR_BADFORMAT);
  SetCodecLibraryPresent(true);
}

TEST_F(VirtualAudio, WidePcmAndFloatPlayAsTheyAre) {
  Apply();
  WAVEFORMATEX float32 = PcmFormat(48000, 2, 32), float64 = PcmFormat(48000, 1, 64);
  float32.wFormatTag = float64.wFormatTag = 3;
  // 24 bits in WAVE_FORMAT_EXTENSIBLE, as sox writes them: the same bytes as plain 24-bit PCM.
  std::vector<uint32_t> ext((sizeof(WAVEFORMATEX) + 22 + 3) / 4);
  auto* extensible = reinterpret_cast<WAVEFORMATEX*>(ext.data());
  *extensible = PcmFormat(32000, 1, 24);
  extensible->wFormatTag = 0xFFFE;
  extensible->cbSize = 22;
  const uint8_t extra[22] = {24, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  std::memcpy(reinterpret_cast<uint8_t*>(extensible + 1), extra, sizeof extra);
  struct Case {
    const WAVEFORMATEX* f;
    uint16_t tag, bits;
  };
  const WAVEFORMATEX pcm24 = PcmFormat(44100, 2, 24), pcm32 = PcmFormat(44100, 2, 32);
  for (const Case& c : {Case{&pcm24, 1, 24}, Case{&pcm32, 1, 32}, Case{&float32, 3, 32}, Case{&float64, 3, 64},
                        Case{extensible, 1, 24}}) {
    SCOPED_TRACE(std::to_string(c.f->wFormatTag) + " " + std::to_string(c.f->wBitsPerSample));
    ClearVirtualCaptures();
    Stream out(false, *c.f, 0);
    ASSERT_EQ(out.result, MMSYSERR_NOERROR);
    std::vector<uint8_t> data(size_t(c.f->nBlockAlign) * 1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13 + i / 7);
    PlayThrough(out, data, 3000 - 3000 % c.f->nBlockAlign, 100);
    out.Close();
    const auto caps = VirtualCaptures();
    ASSERT_EQ(caps.size(), 1u);
    EXPECT_EQ(caps[0].format.wFormatTag, c.tag);
    EXPECT_EQ(caps[0].format.wBitsPerSample, c.bits);
    EXPECT_TRUE(caps[0].audio == data);
  }
  extensible->nBlockAlign = 4;  // inconsistent with its 24 bits
  EXPECT_EQ(WaveOutOpen(nullptr, WAVE_MAPPER, extensible, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  extensible->nBlockAlign = 3;
  reinterpret_cast<uint8_t*>(extensible + 1)[21] = 0;  // another sub-format
  EXPECT_EQ(WaveOutOpen(nullptr, WAVE_MAPPER, extensible, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
}

TEST_F(VirtualAudio, TheMapperWidensPcmADeviceCannotTake) {
  config_.Outputs[0].Bits = {16};
  Apply();
  const WAVEFORMATEX eight = PcmFormat(8000, 1, 8);
  EXPECT_EQ(WaveOutOpen(nullptr, 0, &eight, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  ClearVirtualCaptures();
  Stream out(false, eight);
  ASSERT_EQ(out.result, MMSYSERR_NOERROR);
  std::vector<uint8_t> data(800);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
  PlayThrough(out, data, 300, 200);
  EXPECT_EQ(out.Position(), 800u);
  out.Close();
  const auto caps = VirtualCaptures();
  ASSERT_EQ(caps.size(), 1u);
  EXPECT_EQ(caps[0].format.wBitsPerSample, 16);
  ASSERT_EQ(caps[0].audio.size(), 1600u);
  for (size_t i = 0; i < data.size(); ++i)
    ASSERT_EQ(int16_t(caps[0].audio[2 * i] | caps[0].audio[2 * i + 1] << 8), (int(data[i]) - 128) * 256) << i;
}

TEST_F(VirtualAudio, AFloatInputCarriesItsSignalAsFloats) {
  config_.Inputs[0].Source = VirtualSource::Tone;
  config_.Inputs[0].ToneHz = 1000;
  config_.Inputs[0].ToneLevel = 0.5;
  Apply();
  for (uint16_t bits : {32, 64}) {
    SCOPED_TRACE(bits);
    WAVEFORMATEX f = PcmFormat(8000, 2, bits);
    f.wFormatTag = 3;
    Stream in(true, f);
    ASSERT_EQ(in.result, MMSYSERR_NOERROR);
    ASSERT_EQ(in.Queue(in.Buffer(size_t(f.nBlockAlign) * 80)), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveInStart(in.h), MMSYSERR_NOERROR);
    StepVirtualAudio(10);
    const std::vector<uint8_t> rec = in.Received();
    ASSERT_EQ(rec.size(), size_t(f.nBlockAlign) * 80);
    for (size_t i = 0; i < 160; ++i) {
      double v;
      if (bits == 64) {
        std::memcpy(&v, rec.data() + 8 * i, 8);
      } else {
        float x;
        std::memcpy(&x, rec.data() + 4 * i, 4);
        v = x;
      }
      ASSERT_NEAR(v, 0.5 * std::sin(2 * M_PI * 1000 * double(i / 2) / 8000), 1e-6) << i;
    }
    in.Close();
  }
}
