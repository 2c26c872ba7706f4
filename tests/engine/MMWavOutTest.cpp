// The wave output component on the virtual device, its clock stepped by the test, and on ALSA's
// null device for what needs no paced clock. Sources serve the test pattern; a sink behind the
// output stands where the connector sits.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/ChainMocks.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavOut.h"
#include "engine/WaveDeviceKit.h"
#include "platform/messages/app_hooks.h"
#include "platform/system/threads.h"

using namespace wavekit;

namespace {

std::vector<uint8_t> Pattern(uint64_t from, uint64_t n) {
  std::vector<uint8_t> v(n);
  for (uint64_t i = 0; i < n; ++i) v[i] = PatternByte(from + i);
  return v;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The head of the chain: `total` bytes of the pattern from a position that can be moved. Loops
// the way a wave file does, from the loop words of the buffer.
class Source : public TMMDSPComponent {
public:
  explicit Source(uint64_t total) : total_(total) {
    WAVEFORMATEX f = PcmFormat(11025, 1, 8);
    SetWaveFormat(&f);
  }
  void Seek(uint64_t pos) { pos_ = pos; }
  void BufferLoad(PWaveHdr h, bool& more) override {
    const uint32_t n = uint32_t(std::min<uint64_t>(total_ - pos_, h->dwBufferLength));
    for (uint32_t i = 0; i < n; ++i) h->lpData[i] = char(PatternByte(pos_ + i));
    pos_ += n;
    h->dwBytesRecorded = n;
    if (n == 0) return;
    if (pos_ < total_) {
      more = true;
    } else if (h->LoopFlag) {
      if (h->LoopCount) --h->LoopsLeft;
      if (h->LoopCount == 0 || h->LoopsLeft >= 0) {
        pos_ = 0;
        more = true;
        h->LoopMark = -1;
      }
    }
  }

private:
  uint64_t total_;
  uint64_t pos_ = 0;
};

using OutputEvents = DeviceEvents;

template <class F>
std::string RaisedText(F f) {
  return wavekit::RaisedText<EMMWaveOutError>(f);
}

std::vector<uint8_t> Played() {
  auto caps = plat::VirtualCaptures();
  return caps.empty() ? std::vector<uint8_t>{} : caps.back().audio;
}

// source -> output -> sink
struct Chain {
  explicit Chain(uint64_t total) : src(total) {
    out.SetInput(&src);
    out.SetOutput(&sink);
    ev.Hook(out);
  }
  OutputEvents ev;
  Source src;
  TMMWaveOut out;
  ByteSink sink;
};

class MMWavOut : public DeviceTest {};

}  // namespace

TEST_F(MMWavOut, ASourceShorterThanABufferPlaysAndStopsFromTheWindow) {
  Chain c(1000);
  // As the deck does: read where playback ended, then close, from the stop event.
  int64_t final = -1;
  TNotifyEvent noted = c.out.OnStop;
  c.out.OnStop = [&](TObject* s) {
    noted(s);
    final = c.out.FinalPosition();
    c.out.Close();
  };
  c.out.Start();
  plat::StepVirtualAudio(200);
  plat::ProcessMessages();  // the played buffer: the stop is posted, not run here
  EXPECT_EQ(c.ev.stops, 0);
  EXPECT_EQ(c.sink.Bytes(), Pattern(0, 1000));
  Pump();
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_TRUE(c.ev.stopsOnUi);
  EXPECT_EQ(Played(), Pattern(0, 1000));
  EXPECT_EQ(final, 1000);
  EXPECT_EQ(c.ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));
}

TEST_F(MMWavOut, ALargeStartShowsTheHourGlassUntilItsBuffersAreWrittenEvenWhenItFails) {
  std::vector<std::string> log;
  plat::SetBusyCursorHook([&](bool busy) { log.push_back(busy ? "busy" : "idle"); });
  {
    Chain c(1000000);
    c.out.SetBufferSize(4096);
    c.out.SetNumBuffers(25);  // 102400 bytes
    c.out.OnStart = [&](TObject*) { log.push_back("OnStart"); };
    c.out.Start();
    EXPECT_EQ(log, (std::vector<std::string>{"busy", "idle", "OnStart"}));
    c.out.Close();
  }
  log.clear();
  {
    Chain c(1000000);
    c.out.SetBufferSize(4096);
    c.out.SetNumBuffers(24);  // 98304 bytes: no cursor
    c.out.Start();
    c.out.Close();
    Chain quiet(1000000);
    quiet.out.SetBufferSize(4096);
    quiet.out.SetNumBuffers(50);
    quiet.out.SetShowHourGlass(false);
    quiet.out.Start();
    quiet.out.Close();
    EXPECT_TRUE(log.empty());
  }
  {
    Chain c(0);  // nothing to play: the start fails
    c.out.SetBufferSize(4096);
    c.out.SetNumBuffers(50);
    EXPECT_THROW(c.out.Start(), EMMWaveOutError);
    EXPECT_EQ(log, (std::vector<std::string>{"busy", "idle"}));
  }
  plat::SetBusyCursorHook(nullptr);
}

TEST_F(MMWavOut, RefusalsAndAnEmptySourceLeaveTheDeviceClosed) {
  {
    Chain c(0);
    EXPECT_EQ(RaisedText([&] { c.out.Start(); }), "WaveOutStart:\n\rUnable to start device");
    EXPECT_EQ(c.ev.errors, 2);
    EXPECT_FALSE(c.out.IsOpen());
    EXPECT_EQ(plat::OpenWaveDevices(), 0);
  }
  {
    config_.Outputs[0].Bits = {16};
    Apply();
    Chain c(1000);
    const std::string raised = RaisedText([&] { c.out.Start(); });
    EXPECT_EQ(raised, "WaveOutOpen:\n\rThe actual device can't play this format");
    EXPECT_FALSE(c.out.IsOpen());
    // What the operator is shown: the device's text alone; other messages stay as they are.
    EXPECT_EQ(WaveDeviceReason(raised), "The actual device can't play this format");
    EXPECT_EQ(WaveDeviceReason("Unable to start device"), "Unable to start device");
    EXPECT_EQ(WaveDeviceReason("The file C:\n\rx.wav"), "The file C:\n\rx.wav");
  }
}

TEST_F(MMWavOut, PauseAndRestartLoseNothingFreezeThePositionAndFeedTheSinkInOrder) {
  Chain c(30000);
  c.out.SetNumBuffers(4);
  c.out.SetTimeFormat(tfSample);
  std::vector<PWaveHdr> played, next;
  c.out.OnBufferReady = [&](TObject*, PWaveHdr h) {
    played.push_back(h);
    next.push_back(h->NextHdr);
  };
  c.out.Start();
  Advance(500);
  c.out.Pause();
  const int64_t paused = c.out.GetPosition();
  EXPECT_EQ(paused, 5512);
  Advance(500);
  EXPECT_EQ(c.out.GetPosition(), paused);
  c.out.Restart();
  Advance(200);
  EXPECT_EQ(c.out.GetPosition(), paused + 2205);
  Advance(3000);
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_EQ(Played(), Pattern(0, 30000));
  EXPECT_EQ(c.sink.Bytes(), Pattern(0, 30000));
  // The connector is told which buffer plays next.
  ASSERT_EQ(played.size(), 15u);
  for (size_t i = 0; i + 1 < played.size(); ++i) EXPECT_EQ(next[i], played[i + 1]) << i;
  EXPECT_EQ(c.ev.log, (std::vector<std::string>{"Open", "Start", "Pause", "Restart", "Stop"}));
  c.out.Close();
}

TEST_F(MMWavOut, ReprimePlaysOnFromTheSourcesNewPlace) {
  Chain c(30000);
  c.out.Start();
  Advance(300);
  c.out.Pause();
  c.src.Seek(20000);
  c.out.Reprime();
  EXPECT_EQ(c.out.GetPosition(), 0);
  EXPECT_TRUE(c.out.IsPaused());
  c.out.Restart();
  Advance(1500);
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_EQ(Played(), Pattern(0, 3307) + Pattern(20000, 10000));
  EXPECT_EQ(c.out.FinalPosition(), 10000);
  c.out.Close();
}

TEST_F(MMWavOut, ReprimeAfterTheQueueRanDryTakesBackThePostedStop) {
  Chain c(1000);
  c.out.Start();
  plat::StepVirtualAudio(200);
  plat::ProcessMessages();  // the queue is empty and the stop waits in the window
  c.src.Seek(0);
  c.out.Reprime();
  Advance(300);
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_EQ(Played(), Pattern(0, 1000) + Pattern(0, 1000));
  EXPECT_EQ(c.sink.Size(), 2000u);
  c.out.Close();
}

TEST_F(MMWavOut, LoopingSignalsEachPassAndCountsThePositionFromTheLoopPoint) {
  Chain c(3000);
  c.out.SetLooping(true);
  c.out.SetLoopCount(2);
  c.out.SetTimeFormat(tfSample);
  std::vector<int64_t> atLoop;
  c.out.OnLooping = [&](TObject*) {
    ++c.ev.loops;
    atLoop.push_back(c.out.GetPosition());
  };
  c.out.Start();
  Advance(1200, 10);
  EXPECT_EQ(c.ev.loops, 2) << "two loop points in three passes";
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_EQ(Played(), Pattern(0, 3000) + Pattern(0, 3000) + Pattern(0, 3000));
  EXPECT_EQ(c.out.FinalPosition(), 3000) << "the last pass, counted from its start";
  for (int64_t p : atLoop) EXPECT_LE(p, 110) << "at most one step past the loop point";
  c.out.Close();
}

TEST_F(MMWavOut, PauseWithADeviceUpstreamDropsTheQueueAndRestartFillsItAgain) {
  Source src(40000);
  LoggedDevice live("live", nullptr);
  TMMWaveOut out;
  live.SetInput(&src);
  out.SetInput(&live);
  OutputEvents ev;
  ev.Hook(out);
  out.SetTimeFormat(tfSample);
  out.Start();
  EXPECT_TRUE(out.DeviceUpstream());
  Advance(300);
  out.Pause();
  const int64_t paused = out.GetPosition();
  EXPECT_EQ(paused, 3307);
  out.Restart();
  Advance(200);
  EXPECT_EQ(out.GetPosition(), paused + 2205) << "counts on from the pause";
  Advance(4000);
  EXPECT_EQ(ev.stops, 1) << "plays to the end of the source";
  out.Close();
}

TEST_F(MMWavOut, ThreadModePlaysEverythingAndStopsOnTheUiThread) {
  Chain c(20000);
  c.out.SetCallBackMode(cmThread);
  std::atomic<int> offUi{0};
  c.out.OnBufferReady = [&](TObject*, PWaveHdr) {
    if (!plat::IsUiThread()) ++offUi;
  };
  c.out.Start();
  EXPECT_TRUE(PumpUntil([&] {
    plat::StepVirtualAudio(20);
    return c.ev.stops > 0;
  }));
  Pump();
  EXPECT_EQ(c.ev.stops, 1);
  EXPECT_TRUE(c.ev.stopsOnUi);
  EXPECT_GT(offUi, 0);
  EXPECT_EQ(Played(), Pattern(0, 20000));
  EXPECT_EQ(c.sink.Bytes(), Pattern(0, 20000));
  c.out.Close();
}

namespace {

class FailingWriteWaveOut : public TMMWaveOut {
public:
  explicit FailingWriteWaveOut(int failAt) {
    DeviceTable().Write = [this, failAt](plat::HWAVEOUT h, WAVEHDR* hdr) {
      return ++writes == failAt ? plat::MMSYSERR_NOMEM : plat::WaveOutWrite(h, hdr);
    };
  }
  int writes = 0;
};

}  // namespace

TEST_F(MMWavOut, AFailedWriteWhilePlayingClosesTheDeviceAndReachesTheApplication) {
  Source src(30000);
  FailingWriteWaveOut out(13);
  out.SetInput(&src);
  OutputEvents ev;
  ev.Hook(out);
  HandledTexts handled;
  out.Start();
  Advance(1000);
  EXPECT_EQ(handled.texts, std::vector<std::string>{"WaveOutWrite:\n\rNot enough memory for the sound device."});
  EXPECT_FALSE(out.IsOpen());
  EXPECT_EQ(plat::OpenWaveDevices(), 0);
  EXPECT_EQ(ev.stops, 1);
  EXPECT_EQ(ev.log.back(), "Close");
}

TEST_F(MMWavOut, AlsaNullDeviceOpensRefusesPlaysAndCloses) {
  if (!SwitchToAlsaNull()) GTEST_SKIP() << "ALSA's null device does not open here";
  Chain c(5000);
  ASSERT_GT(c.out.NumDevs(), 0u);
  c.out.SetDeviceID(MapperId);
  WAVEFORMATEX adpcm = PcmFormat(11025, 1, 4);
  adpcm.wFormatTag = 2;
  c.src.SetWaveFormat(&adpcm);
  EXPECT_EQ(RaisedText([&] { c.out.Open(); }), "WaveOutOpen:\n\rThe actual device can't play this format");
  WAVEFORMATEX pcm = PcmFormat(11025, 1, 8);
  c.src.SetWaveFormat(&pcm);
  c.ev.log.clear();
  c.out.Start();
  ASSERT_TRUE(PumpUntil([&] { return c.ev.stops > 0; }));
  EXPECT_EQ(c.sink.Bytes(), Pattern(0, 5000));
  c.out.Close();
  EXPECT_EQ(c.ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));

  Chain empty(0);
  empty.out.SetDeviceID(MapperId);
  EXPECT_EQ(RaisedText([&] { empty.out.Start(); }), "WaveOutStart:\n\rUnable to start device");
  EXPECT_FALSE(empty.out.IsOpen());
}

TEST_F(MMWavOut, PlaysThroughARingBufferToTheEndOfTheSource) {
  Source src(50000);
  TMMRingBuffer ring;
  ring.SetQueueMode(qmRead);
  ring.SetNumBuffers(20);
  ring.SetWaitIfFull(true);
  TMMWaveOut out;
  ByteSink sink;
  ring.SetInput(&src);
  out.SetInput(&ring);
  out.SetOutput(&sink);
  OutputEvents ev;
  ev.Hook(out);
  out.SetBufferSize(4096);
  out.Start();
  EXPECT_TRUE(PumpUntil([&] {
    plat::StepVirtualAudio(20);
    return ev.stops > 0;
  }));
  EXPECT_EQ(Played(), Pattern(0, 50000));
  EXPECT_EQ(sink.Bytes(), Pattern(0, 50000));
  out.Close();
}

TEST_F(MMWavOut, AnEndToldByAnEmptyPullStopsPlaybackWithoutAnError) {
  // The source says it has ended only by a pull that yields nothing; through a ring buffer the
  // output learns it from a read of 0 bytes while its buffers are being refilled.
  for (bool throughRing : {false, true}) {
    SCOPED_TRACE(throughRing ? "through a ring buffer" : "straight from the source");
    plat::ClearVirtualCaptures();
    PatternSource src(10000, false);
    WAVEFORMATEX f = PcmFormat(11025, 1, 8);
    src.SetWaveFormat(&f);
    TMMRingBuffer ring;
    ring.SetQueueMode(qmRead);
    ring.SetNumBuffers(8);
    TMMWaveOut out;
    ByteSink sink;
    if (throughRing) {
      ring.SetInput(&src);
      out.SetInput(&ring);
    } else {
      out.SetInput(&src);
    }
    out.SetOutput(&sink);
    OutputEvents ev;
    ev.Hook(out);
    HandledTexts handled;
    out.SetBufferSize(1000);
    out.SetNumBuffers(3);
    out.Start();
    // The queue's thread gets the time it would have in real time: each step waits for its fill.
    EXPECT_TRUE(PumpUntil([&] {
      if (ring.WorkPending()) return false;
      plat::StepVirtualAudio(20);
      return ev.stops > 0 || ev.errors > 0;
    }));
    Pump();
    EXPECT_EQ(ev.errors, 0);
    EXPECT_EQ(ev.stops, 1);
    EXPECT_TRUE(ev.stopsOnUi);
    EXPECT_TRUE(handled.texts.empty()) << handled.texts.front();
    EXPECT_TRUE(Played() == Pattern(0, 10000)) << "played " << Played().size() << " bytes";
    EXPECT_TRUE(sink.Bytes() == Pattern(0, 10000)) << "passed on " << sink.Size() << " bytes";
    out.Close();
  }
}
