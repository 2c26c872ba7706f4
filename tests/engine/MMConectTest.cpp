#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "ChainMocks.h"
#include "ConnectorFakes.h"
#include "common/sox_adpcm.h"
#include "engine/MMACM.h"
#include "engine/MMTimer.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/WaveDeviceKit.h"
#include "platform/audio/codec_manager.h"
#include "platform/audio/mmtimer.h"
#include "platform/messages/messages.h"

namespace {

void Pump() {
  while (plat::ProcessMessages()) {}
}

std::vector<uint8_t> Pattern(size_t n, uint64_t from) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = PatternByte(from + i);
  return v;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
  return {v.begin() + long(from), v.begin() + long(from + n)};
}

// A device that pushes buffers through a connector into a sink.
struct Chain {
  Chain(const WAVEFORMATEX& format, int32_t bufferSize, bool realTime = true, bool synchronize = true)
      : buffer(uint32_t(bufferSize)) {
    dev.SetOutput(&con);
    con.SetOutput(&sink);
    dev.SetWaveFormat(&format);
    dev.SetBufferSize(bufferSize);
    con.SetRealTime(realTime);
    con.SetSynchronize(synchronize);
  }
  void Start() {
    dev.ChainOpen();
    dev.ChainStart();
    Pump();
  }
  void Push(const std::vector<uint8_t>& bytes) { dev.BufferReady(buffer.Fill(bytes)); }

  LoggedDevice dev{"in", nullptr, /*hasInput=*/false};
  TMMConnector con;
  ByteSink sink;
  TestBuffer buffer;
};

constexpr int32_t kBlock = 512;

struct Recording {
  explicit Recording(bool paced) {
    in.SetOutput(&con);
    con.SetOutput(&sink);
    in.SetSampleRate(8000);  // 4096 bytes are 128 ms: whole buffers at a step of 5 ms
    in.SetMode(mStereo);
    in.SetBitLength(b16Bit);
    in.SetBufferSize(4096);
    con.SetRealTime(paced);
    con.SetSynchronize(paced);
    con.SetLevel1(&level);
  }
  ~Recording() { in.Close(); }
  FakeDisplay level{kBlock};
  TMMWaveIn in;
  TMMConnector con;
  ByteSink sink;
};

struct Playback {
  Playback(bool paced, uint64_t bytes) : src(bytes) {
    out.SetInput(&src);
    out.SetOutput(&con);
    const WAVEFORMATEX f = PcmFormat(8000, 2, 16);
    src.SetWaveFormat(&f);
    out.SetBufferSize(4096);
    out.SetNumBuffers(4);
    con.SetRealTime(paced);
    con.SetSynchronize(paced);
    con.SetLevel1(&level);
  }
  ~Playback() { out.Close(); }
  std::vector<uint8_t> Played() {
    auto caps = plat::VirtualCaptures();
    return caps.empty() ? std::vector<uint8_t>{} : caps.back().audio;
  }
  FakeDisplay level{kBlock};
  PatternSource src;
  TMMWaveOut out;
  TMMConnector con;
};

// The shared timer on a manual clock and the virtual sound devices, on a clock of their own.
class MMConect : public wavekit::DeviceTest {
protected:
  void SetUp() override {
    DeviceTest::SetUp();
    Pump();
    plat::UseManualMMTimer(true);
    SetConnectorFeedTimer(&timer_);
  }
  void TearDown() override {
    SetConnectorFeedTimer(nullptr);
    plat::UseManualMMTimer(false);
    DeviceTest::TearDown();
  }
  // The device clock and the feed timer move on together, as on the real machine.
  void Run(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 5) {
      plat::StepVirtualAudio(5);
      Pump();
      timer_.Advance(5000);
    }
  }
  // Every block fed must be a block of what passed, each later than the one before.
  static void ExpectOrderedSubset(FakeDisplay& display, const std::vector<uint8_t>& passed) {
    auto from = passed.begin();
    for (size_t i = 0; i < display.blocks.size(); ++i) {
      const auto& b = display.blocks[i];
      const auto at = std::search(from, passed.end(), b.begin(), b.end());
      ASSERT_NE(at, passed.end()) << "block " << i << " is not a later part of what passed";
      EXPECT_EQ((at - passed.begin()) % kBlock, 0) << i;
      from = at + kBlock;
    }
  }
  ManualFeedTimer timer_;
};

}  // namespace

TEST_F(MMConect, SynchronizedBlocksComeAtTheirPlayTimesAndAShortBufferFeedsNothing) {
  FakeDisplay level(1024, &timer_);
  Chain c(PcmFormat(22050, 1, 16), 4096);
  c.con.SetLevel1(&level);
  c.Start();
  ASSERT_TRUE(c.con.Queued());
  EXPECT_EQ(level.format.nSamplesPerSec, 22050u);

  timer_.Advance(300);  // arrive between two ticks
  const int64_t arrival = timer_.NowMicroseconds();
  const auto data = Pattern(4096, 0);
  c.Push(data);
  timer_.Advance(100'000);
  ASSERT_EQ(level.Count(), 4u);
  const int64_t due[] = {0, 23220, 46440, 69660};  // 1024 bytes at 44100 bytes a second
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_GE(level.times[i] - arrival, due[i]) << i;
    EXPECT_LE(level.times[i] - arrival, due[i] + 1000) << i;
  }
  EXPECT_EQ(level.Stream(), data);

  c.Push(Pattern(1000, 4096));
  timer_.Advance(100'000);
  EXPECT_EQ(level.Count(), 4u);
  EXPECT_EQ(c.sink.Size(), 5096u);  // the audio itself always passes
}

TEST_F(MMConect, TheFeedWakesWhenTheNextBlockIsDueAndSleepsWhileNoneWaits) {
  FakeDisplay level(1024, &timer_);
  Chain c(PcmFormat(22050, 1, 16), 4096);
  c.con.SetLevel1(&level);
  c.Start();
  ASSERT_TRUE(c.con.Queued());
  EXPECT_FALSE(timer_.Active()) << "running with nothing to feed";

  timer_.Advance(300);
  const int64_t arrival = timer_.NowMicroseconds();
  c.Push(Pattern(4096, 0));
  EXPECT_EQ(c.con.NextDue(), arrival);
  timer_.Advance(500'000);
  // 1024 bytes at 44100 bytes a second: a wake at each block's time and none in between.
  const std::vector<int64_t> due = {arrival, arrival + 23220, arrival + 46440, arrival + 69660};
  EXPECT_EQ(timer_.ticks, due);
  EXPECT_EQ(level.times, due);
  EXPECT_FALSE(timer_.Active()) << "the buffer is used up";
  EXPECT_EQ(c.con.NextDue(), INT64_MAX);

  // A buffer shorter than a block wakes nothing; the next whole one wakes the feed again.
  c.Push(Pattern(1000, 4096));
  EXPECT_FALSE(timer_.Active());
  timer_.Advance(100'000);
  c.Push(Pattern(2048, 5096));
  timer_.Advance(100'000);
  EXPECT_EQ(timer_.ticks.size(), 6u);
  EXPECT_EQ(level.Count(), 6u);
  EXPECT_FALSE(timer_.Active());
}

// Blocks of 50 frames at 44.1 kHz come due every 1.13 ms, far faster than a screen shows them.
TEST_F(MMConect, BlocksDueFasterThanTheFramesAreHandedOverOncePerFrameAndNoneIsSkipped) {
  constexpr int64_t kFrame = 16'000;
  FramedFeedTimer timer(kFrame);
  SetConnectorFeedTimer(&timer);
  FakeDisplay level(200, &timer);
  Chain c(PcmFormat(44100, 2, 16), 4096);
  c.con.SetLevel1(&level);
  c.Start();
  timer.Advance(300);
  const int64_t first = timer.NowMicroseconds();
  const auto a = Pattern(4096, 0), b = Pattern(4096, 4096);
  c.Push(a);
  // The next buffer comes one buffer's time later, before the frame that would have shown the
  // last blocks of the first: they are handed over before it replaces them.
  timer.Advance(23'220);
  const int64_t second = timer.NowMicroseconds();
  c.Push(b);
  timer.Advance(100'000);
  EXPECT_FALSE(timer.Active());

  ASSERT_EQ(level.Count(), 40u);
  auto whole = Slice(a, 0, 4000);  // twenty whole blocks of each
  const auto next = Slice(b, 0, 4000);
  whole.insert(whole.end(), next.begin(), next.end());
  EXPECT_EQ(level.Stream(), whole);
  for (size_t i = 0; i < 40; ++i) {
    const int64_t arrival = i < 20 ? first : second;
    EXPECT_GE(level.times[i], arrival + int64_t(i % 20) * 200 * 1'000'000 / 176'400) << "block " << i << " early";
  }
  EXPECT_LE(timer.ticks.size(), 4u);
  for (size_t i = 0; i < timer.ticks.size(); ++i) {
    EXPECT_EQ(timer.ticks[i] % kFrame, 0) << "a wake between frames";
    if (i) {
      EXPECT_GT(timer.ticks[i], timer.ticks[i - 1]);
    }
  }
  SetConnectorFeedTimer(&timer_);
}

TEST_F(MMConect, SlotsRefuseADoubleAndForgetADestroyedDisplay) {
  TMMConnector con;
  const WAVEFORMATEX f = PcmFormat(8000, 2, 8);
  con.SetWaveFormat(&f);
  FakeDisplay a, b;
  con.SetLevel1(&a);
  con.SetLevel2(&a);
  EXPECT_EQ(con.Level2(), nullptr);
  con.SetLevel2(&b);
  con.SetLevel1(&b);
  EXPECT_EQ(con.Level1(), &a);
  EXPECT_EQ(a.formats, 2);  // placing b gave every display the format again
  con.SetSpectrum(1, &a);
  con.SetSpectrum(2, &a);  // the four spectrum slots may share one
  EXPECT_EQ(con.Spectrum(2), &a);

  auto d = std::make_unique<FakeDisplayComponent>();
  con.SetMeter1(d.get());
  d.reset();
  EXPECT_EQ(con.Meter1(), nullptr);
}

TEST_F(MMConect, PauseFallsBackToSilenceAndRestartFeedsAgain) {
  for (uint16_t bits : {8, 16}) {
    SCOPED_TRACE(bits);
    FakeDisplay level(512, &timer_);
    Chain c(PcmFormat(22050, 1, bits), 4096);
    c.con.SetLevel1(&level);
    c.Start();
    c.Push(Pattern(4096, 0));
    timer_.Advance(200'000);
    ASSERT_EQ(level.Count(), 8u);

    const int clients = TimerClientCount();
    c.dev.ChainPause();
    EXPECT_EQ(TimerClientCount(), clients + 1);
    c.Push(Pattern(4096, 7));  // taken by nobody while paused
    plat::StepManualMMTimer(200);
    timer_.Advance(200'000);
    ASSERT_GT(level.Count(), 8u);
    for (size_t i = 8; i < level.Count(); ++i)
      EXPECT_EQ(level.blocks[i], std::vector<uint8_t>(512, bits == 8 ? 128 : 0)) << i;

    c.dev.ChainRestart();
    EXPECT_EQ(TimerClientCount(), clients);
    const size_t before = level.Count();
    const auto loud = Pattern(4096, 99);
    c.Push(loud);
    timer_.Advance(200'000);
    ASSERT_EQ(level.Count(), before + 8);
    EXPECT_EQ(level.blocks[before], Slice(loud, 0, 512));
    c.dev.ChainStop();
  }
}

TEST_F(MMConect, DisablingResetsAtOnceAndStopRefreshesOnlyWhenAsked) {
  FakeDisplay level(256), meter(256);
  Chain c(PcmFormat(11025, 1, 8), 2048, true, false);
  c.con.SetLevel1(&level);
  c.con.SetMeter1(&meter);
  c.Start();
  c.Push(Pattern(2048, 0));
  timer_.Advance(1);
  EXPECT_EQ(level.Count(), 8u);  // not synchronized: every block is due at once

  c.Push(Pattern(2048, 8));
  c.con.SetEnabled(false);
  EXPECT_EQ(level.resets + meter.resets, 2);
  EXPECT_FALSE(timer_.Active());
  c.Push(Pattern(2048, 1));
  c.con.SetEnabled(true);
  Pump();
  timer_.Advance(20'000);
  EXPECT_EQ(level.Count(), 8u);  // what came before and while disabled is not shown
  c.Push(Pattern(2048, 2));
  timer_.Advance(20'000);
  EXPECT_EQ(level.Count(), 16u);

  c.dev.ChainStop();
  EXPECT_EQ(level.resets, 2);
  EXPECT_FALSE(timer_.Active());
  c.Push(Pattern(2048, 3));  // its buffer is gone: nothing may be taken
  c.con.SetRefreshOnStop(false);
  c.dev.ChainStart();
  c.dev.ChainStop();
  EXPECT_EQ(level.resets, 2);
  EXPECT_EQ(level.Count(), 16u);
}

TEST_F(MMConect, DestroyingAConnectorDropsOnlyItsOwnMessages) {
  FakeDisplay level(128);
  auto a = std::make_unique<Chain>(PcmFormat(8000, 1, 8), 1024);
  Chain b(PcmFormat(8000, 1, 8), 1024, true, false);
  b.con.SetLevel1(&level);
  a->dev.ChainOpen();
  a->dev.ChainStart();
  b.dev.ChainOpen();
  b.dev.ChainStart();
  ASSERT_EQ(plat::PendingMessages(), 2u);

  a.reset();
  EXPECT_EQ(plat::PendingMessages(), 1u);
  Pump();
  b.Push(Pattern(1024, 0));
  timer_.Advance(10'000);
  EXPECT_EQ(level.Count(), 8u);
}

TEST_F(MMConect, WithoutRealTimeEveryDueBlockIsFedInTheBufferCall) {
  FakeDisplay level(400);
  Chain c(PcmFormat(44100, 2, 16), 4000, false);
  c.con.SetLevel1(&level);
  int triggers = 0;
  c.con.OnTrigger = [&](TObject*) { ++triggers; };
  c.Start();
  try {
    c.con.SetRealTime(true);
    ADD_FAILURE() << "changed while open";
  } catch (const EMMConnectorError& e) {
    EXPECT_STREQ(e.what(), "Change to property while device was open");
  }

  c.Push(Pattern(4000, 0));  // synchronized: only the block due at arrival
  EXPECT_EQ(level.Count(), 1u);
  c.con.SetSynchronize(false);
  const auto data = Pattern(4000, 4000);
  c.Push(data);
  EXPECT_EQ(triggers, 2);
  EXPECT_EQ(Slice(level.Stream(), 400, 4000), data);
}

TEST_F(MMConect, TriggerFeedsOnePassAndKeepsAtMostOneRequestInFlight) {
  for (bool realTime : {true, false}) {
    SCOPED_TRACE(realTime);
    FakeDisplay level(128);
    Chain c(PcmFormat(8000, 1, 8), 1024, realTime, false);
    c.con.SetLevel1(&level);
    c.con.SetAutoTrigger(false);
    c.Start();
    c.Push(Pattern(1024, 0));
    timer_.Advance(10'000);
    EXPECT_EQ(level.Count(), 0u);

    c.con.Trigger();
    EXPECT_EQ(level.Count(), 1u);
    for (size_t round = 2; round <= 3; ++round) {
      std::thread([&] {
        c.con.Trigger();
        c.con.Trigger();
      }).join();
      EXPECT_EQ(plat::PendingMessages(), 1u);
      Pump();
      EXPECT_EQ(level.Count(), round);
    }
  }
}

TEST_F(MMConect, BlocksFollowTheLargerOfAPairTheDisplaysStepAndAWholeFrameTrigger) {
  FakeDisplay small(100), large(200), sweep(400), whole(800), scope(80);
  Chain c(PcmFormat(8000, 2, 16), 800, false, false);
  sweep.advance_ = 100;
  scope.channel_ = chRight;
  c.con.SetLevel1(&small);
  c.con.SetLevel2(&large);
  c.con.SetSpectrogram1(&sweep);
  c.con.SetSpectrogram2(&whole);
  c.con.SetOscope1(&scope);
  c.con.SetTriggerMode(TMMTriggerMode::tmUpFlank);
  c.Start();
  // Left stays low; the right channel rises through 0 at frame 10.
  std::vector<uint8_t> data(800);
  for (int i = 0; i < 200; ++i) {
    const int16_t left = -1000, right = int16_t(i < 10 ? -1000 : 1000);
    std::memcpy(&data[size_t(i) * 4], &left, 2);
    std::memcpy(&data[size_t(i) * 4 + 2], &right, 2);
  }
  c.Push(data);
  ASSERT_EQ(small.Count(), 4u);
  EXPECT_EQ(small.blocks[1], Slice(data, 200, 100));
  ASSERT_EQ(sweep.Count(), 5u);  // overlapping blocks at 0, 100, ..., 400
  EXPECT_EQ(sweep.blocks[4], Slice(data, 400, 400));
  EXPECT_EQ(whole.Count(), 1u);
  ASSERT_GE(scope.Count(), 1u);
  EXPECT_EQ(scope.blocks[0], Slice(data, 40, 80));  // the crossing lies 2 bytes into frame 10
}

TEST_F(MMConect, BehindAnOutputTheBufferPlayingNowIsTakenButNeverAStaleOne) {
  FakeDisplay level(256);
  Chain c(PcmFormat(8000, 1, 8), 256, false);
  c.con.SetLevel1(&level);
  c.Start();
  TestBuffer played(256), next(256);
  const auto now = Pattern(256, 1000);
  next.Fill(now);
  played.Fill(Pattern(256, 0))->NextHdr = next.Hdr();
  c.dev.BufferReady(played.Hdr());
  ASSERT_EQ(level.Count(), 1u);
  EXPECT_EQ(level.blocks[0], now);

  next.Hdr()->dwFlags = plat::WHDR_DONE | plat::WHDR_PREPARED;  // came back, not written again
  c.dev.BufferReady(played.Hdr());
  EXPECT_EQ(level.Count(), 1u);
  played.Hdr()->NextHdr = played.Hdr();  // a single buffer is its own next
  c.dev.BufferReady(played.Hdr());
  EXPECT_EQ(level.Count(), 2u);
}

TEST_F(MMConect, NonPcmAudioIsFedAsTheCodecDecodesItAndPassesUnfedWithoutOne) {
  struct Restore {
    ~Restore() {
      plat::SetCodecLibraryPresent(true);
      UnloadCodecManager();
      LoadCodecManager();
    }
  } restore;
  Scratch dir;
  soxadpcm::WavImage wav;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(20000, 2), wav, ref));
  const auto block = wav.Block();
  const auto* adpcm = reinterpret_cast<const WAVEFORMATEX*>(block.data());
  const uint32_t size = adpcm->nBlockAlign * 4u, buffers = uint32_t(wav.Data.size() / size);
  const size_t samples = size_t(buffers) * 4 * soxadpcm::Le16(wav.Extra.data()) * 2;
  ASSERT_LE(samples, ref.size());

  for (bool present : {true, false}) {
    SCOPED_TRACE(present);
    plat::SetCodecLibraryPresent(present);
    UnloadCodecManager();
    LoadCodecManager();
    FakeDisplay level(4);
    Chain c(*adpcm, int32_t(size), false, false);
    c.con.SetLevel1(&level);
    c.Start();
    for (uint32_t i = 0; i < buffers; ++i) c.Push(Slice(wav.Data, i * size, size));
    EXPECT_EQ(c.sink.Size(), buffers * size);
    if (present) {
      EXPECT_EQ(level.format.wBitsPerSample, 16);
      EXPECT_EQ(soxadpcm::ToSamples(level.Stream()), std::vector<int16_t>(ref.begin(), ref.begin() + long(samples)));
    } else {
      EXPECT_EQ(level.formats + level.Count(), 0u);
    }
  }
}

TEST_F(MMConect, TheBuiltInTimerFeedsThroughTheMultimediaTimer) {
  SetConnectorFeedTimer(nullptr);
  const int events = plat::LiveMMTimerEvents();
  FakeDisplay level(512);
  Chain c(PcmFormat(8000, 1, 8), 1024, true, false);
  c.con.SetLevel1(&level);
  c.Start();
  EXPECT_EQ(plat::LiveMMTimerEvents(), events) << "nothing to feed: no timer";
  c.Push(Pattern(1024, 0));
  EXPECT_EQ(plat::LiveMMTimerEvents(), events + 1);
  plat::StepManualMMTimer(3);
  EXPECT_EQ(level.Count(), 2u);
  EXPECT_EQ(plat::LiveMMTimerEvents(), events) << "the buffer is used up: the timer stopped";
  c.dev.ChainStop();
  EXPECT_EQ(plat::LiveMMTimerEvents(), events);
}

// Buffers taken on a device's completion worker (as in cmThread mode) while the UI thread starts,
// pauses and stops the chain and the shared timer ticks on a third: nothing may race or deadlock.
TEST_F(MMConect, TakingPausingAndStoppingOnThreeThreadsNeitherRaceNorDeadlock) {
  FakeDisplay level(256, &timer_);
  Chain c(PcmFormat(22050, 1, 16), 2048);
  c.con.SetOutput(nullptr);  // the sink would keep every byte
  c.con.SetLevel1(&level);
  c.dev.ChainOpen();
  std::atomic<bool> done{false};
  std::atomic<int> pushed{0};
  TMMWaveDeviceThread device(
      &c.dev,
      [&] {
        TestBuffer b(2048);
        const auto data = Pattern(2048, 0);
        for (; !done; ++pushed) c.con.BufferReady(b.Fill(data));
      },
      nullptr);
  ASSERT_TRUE(device.Begin(tpNormal, 5000));
  device.Wake();
  std::thread ticks([&] {
    while (!done) plat::StepManualMMTimer(25);
  });
  while (pushed == 0) std::this_thread::yield();
  for (int i = 0; i < 300; ++i) {
    c.dev.ChainStart();
    Pump();
    timer_.Advance(3000);
    c.dev.ChainPause();
    timer_.Advance(3000);
    if (i % 2) c.dev.ChainRestart();
    c.dev.ChainStop();
  }
  done = true;
  device.End();
  ticks.join();
  EXPECT_EQ(TimerClientCount(), 0);
  const size_t before = level.Count();
  c.dev.ChainStart();
  Pump();
  c.Push(Pattern(2048, 5));
  timer_.Advance(1000);
  ASSERT_EQ(level.Count(), before + 1);
  EXPECT_EQ(level.blocks.back(), Pattern(256, 5));
}

TEST_F(MMConect, RecordingFeedsExactlyWhatPassedOrAnOrderedPartWhenPaced) {
  for (bool paced : {false, true}) {
    SCOPED_TRACE(paced);
    Recording r(paced);
    r.in.Start();
    Run(640);
    r.in.Stop();
    const auto passed = r.sink.Bytes();
    ASSERT_EQ(passed.size(), 5u * 4096);
    ASSERT_TRUE(plat::MatchesVirtualPattern(passed.data(), passed.size(), *r.in.GetWaveFormat(), 0));
    if (!paced) {
      EXPECT_EQ(r.level.Stream(), passed);
    } else {
      EXPECT_GT(r.level.Count(), passed.size() / kBlock / 2);
      ExpectOrderedSubset(r.level, passed);
    }
  }
}

TEST_F(MMConect, PlaybackFeedsExactlyWhatPlayedOrAnOrderedPartWhenPaced) {
  for (bool paced : {false, true}) {
    SCOPED_TRACE(paced);
    plat::ClearVirtualCaptures();
    Playback p(paced, 15 * 4096);  // under 64 KB: the source pattern repeats after that
    p.out.Start();
    Run(2500);
    ASSERT_FALSE(p.out.IsStarted());  // the end of the source stopped it
    const auto played = p.Played();
    ASSERT_EQ(played.size(), 15u * 4096);
    if (!paced) {
      EXPECT_EQ(p.level.Stream(), played);
    } else {
      EXPECT_GT(p.level.Count(), played.size() / kBlock / 2);
      ExpectOrderedSubset(p.level, played);
    }
  }
}
