// The wave input component on the virtual device, its clock stepped by the test, and on ALSA's
// null device for what needs no paced clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/ChainMocks.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/WaveDeviceKit.h"
#include "platform/system/threads.h"

using namespace wavekit;

namespace {

using InputEvents = DeviceEvents;

template <class F>
std::string RaisedText(F f) {
  return wavekit::RaisedText<EMMWaveInError>(f);
}

const WAVEFORMATEX* Format(const TMMCustomWaveIn& w) { return w.GetWaveFormat(); }

class MMWavIn : public DeviceTest {};

}  // namespace

TEST_F(MMWavIn, RecordingLimitDeliversExactlyTheLimitAndCutsTheLastBuffer) {
  struct Case {
    int32_t rate;
    TMMMode mode;
    TMMBits bits;
    int32_t bufferSize;
    TMMTimeFormats unit;
    int64_t limit;
    size_t bytes;  // what must reach the chain
  };
  const Case cases[] = {
      {11025, mMono, b8Bit, 2048, tfMillisecond, 1000, 11025},
      {22050, mStereo, b16Bit, 4096, tfMillisecond, 1000, 88200},
      {8000, mStereo, b16Bit, 1000, tfSample, 3001, 12004},
      {8000, mMono, b16Bit, 512, tfByte, 3001, 3000},  // rounded down to whole blocks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    TMMWaveIn in;
    ByteSink sink;
    in.SetOutput(&sink);
    in.SetSampleRate(c.rate);
    in.SetMode(c.mode);
    in.SetBitLength(c.bits);
    in.SetBufferSize(c.bufferSize);
    in.SetTimeFormat(c.unit);
    in.SetMaxRecordTime(c.limit);
    InputEvents ev;
    ev.Hook(in);
    TNotifyEvent noted = in.OnStop;
    in.OnStop = [&](TObject* s) {  // the deck closes the input when it stops
      noted(s);
      in.Close();
    };
    std::vector<uint32_t> sizes;
    int64_t highest = 0;
    in.OnBufferReady = [&](TObject*, PWaveHdr h) {
      sizes.push_back(h->dwBytesRecorded);
      highest = std::max(highest, in.GetPosition());
      EXPECT_EQ(ev.stops, 0) << "the limit's stop comes from the window, after the buffer";
    };

    in.Start();
    Advance(1500);
    ASSERT_EQ(ev.stops, 1);
    EXPECT_TRUE(ev.stopsOnUi);
    EXPECT_EQ(sink.Size(), c.bytes);
    EXPECT_EQ(in.RecordedBytes(), int64_t(c.bytes));
    EXPECT_TRUE(plat::MatchesVirtualPattern(sink.Bytes().data(), sink.Size(), *Format(in), 0));
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), c.bytes % uint32_t(c.bufferSize)) << "only the last buffer is cut";
    EXPECT_LE(highest, c.limit);
    EXPECT_FALSE(in.IsOpen());
    EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));
  }
}

TEST_F(MMWavIn, NoLimitRecordsUntilStoppedAndStopPassesOnEverythingRecorded) {
  for (int64_t limit : {int64_t(0), int64_t(-1)}) {
    TMMWaveIn in;
    ByteSink sink;
    in.SetOutput(&sink);
    in.SetMaxRecordTime(limit);
    InputEvents ev;
    ev.Hook(in);
    in.Start();
    Advance(3000);  // more than the ten buffers hold
    EXPECT_EQ(ev.stops, 0);
    // Buffers that are back but whose notices were not handled yet, and the partly filled one,
    // still reach the chain.
    plat::StepVirtualAudio(500);
    in.Stop();
    EXPECT_EQ(ev.stops, 1);
    EXPECT_EQ(sink.Size(), 3500u * 11025 / 1000);
    EXPECT_TRUE(plat::MatchesVirtualPattern(sink.Bytes().data(), sink.Size(), *Format(in), 0));
    Pump();  // the notices posted before the stop change nothing now
    EXPECT_EQ(sink.Size(), 3500u * 11025 / 1000);
    in.Close();
    EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));
  }
}

TEST_F(MMWavIn, PauseAndRestartKeepThePositionAndPassThePartialBufferOn) {
  TMMWaveIn in;
  ByteSink sink;
  in.SetOutput(&sink);
  InputEvents ev;
  ev.Hook(in);
  in.Start();
  Advance(300);
  in.Pause();
  Pump();
  EXPECT_EQ(sink.Size(), 3307u) << "the partly filled buffer is handed on at the pause";
  EXPECT_EQ(in.GetPosition(), 3307);
  Advance(500);
  EXPECT_EQ(in.GetPosition(), 3307);
  EXPECT_EQ(sink.Size(), 3307u);
  in.Restart();
  Advance(300);
  EXPECT_EQ(in.GetPosition(), 6615);
  in.Stop();
  EXPECT_EQ(sink.Size(), 6615u);
  EXPECT_TRUE(plat::MatchesVirtualPattern(sink.Bytes().data(), sink.Size(), *Format(in), 0))
      << "nothing lost or doubled around the pause";
  in.Close();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Start", "Pause", "Restart", "Stop", "Close"}));
}

TEST_F(MMWavIn, PositionCarriesOnAcrossTheDeviceCounterWrap) {
  config_.Inputs[0].PositionBase = 0xFFFFFFFFu - 1500;
  Apply();
  TMMWaveIn in;
  in.SetTimeFormat(tfSample);
  in.Start();
  const int64_t base = 0xFFFFFFFFll - 1500;
  int64_t last = base;
  for (int ms = 50; ms <= 600; ms += 50) {
    plat::StepVirtualAudio(50);
    Pump();
    const int64_t expected = base + int64_t(ms) * 11025 / 1000;
    EXPECT_EQ(in.GetPosition(), expected) << "at " << ms << " ms";
    EXPECT_GT(expected, last);
    last = expected;
  }
  in.Close();
}

TEST_F(MMWavIn, RefusalsGiveTheirTextsFireOnErrorAndLeaveTheDeviceClosed) {
  {
    config_.Inputs[0].Bits = {8};
    Apply();
    TMMWaveIn in;
    InputEvents ev;
    ev.Hook(in);
    in.SetBitLength(b16Bit);
    EXPECT_EQ(RaisedText([&] { in.Start(); }), "WaveInOpen:\n\rThe actual device can't record this format");
    EXPECT_EQ(ev.errors, 2) << "once from the error, once from the clean-up";
    EXPECT_FALSE(in.IsOpen());
    EXPECT_EQ(plat::OpenWaveDevices(), 0);
    in.SetBitLength(b8Bit);
    in.Start();  // a refusal leaves nothing behind that stands in the way
    EXPECT_TRUE(in.IsStarted());
    in.Close();
  }
  {
    config_.Inputs[0].Bits = {8, 16};
    config_.Inputs[0].OpenError = plat::MMSYSERR_ALLOCATED;
    Apply();
    TMMWaveIn in;
    EXPECT_EQ(RaisedText([&] { in.Open(); }), "WaveInOpen:\n\rThe sound device is already in use by another program.");
    EXPECT_FALSE(in.IsOpen());
    config_.Inputs[0].OpenError = plat::MMSYSERR_NOERROR;
    Apply();
  }
  {
    TMMWaveIn in;
    in.SetDeviceID(1);  // one device only
    EXPECT_EQ(in.DeviceID(), InvalidId);
    EXPECT_EQ(RaisedText([&] { in.Start(); }), "Invalid DeviceID");
    in.SetDeviceID(MapperId);
    in.SetWaveFormat(nullptr);
    EXPECT_EQ(RaisedText([&] { in.Start(); }), "Invalid wave format");
  }
  {
    config_.Inputs.clear();
    Apply();
    TMMWaveIn in;
    InputEvents ev;
    ev.Hook(in);
    EXPECT_EQ(in.ProductName(), "No wave audio recording device found");
    EXPECT_EQ(RaisedText([&] { in.Start(); }), "No wave audio recording device found");
    EXPECT_EQ(ev.errors, 1);
  }
}

TEST_F(MMWavIn, PropertiesFollowAFormatAndRefuseChangesWhileOpen) {
  TMMWaveIn in;
  // A format set directly becomes the chain format; the properties follow where they can.
  WAVEFORMATEX quad = PcmFormat(44100, 4, 16);
  in.SetWaveFormat(&quad);
  EXPECT_EQ(in.Mode(), mMono);
  EXPECT_EQ(in.BitLength(), b16Bit);
  EXPECT_EQ(in.SampleRate(), 44100);
  EXPECT_EQ(Format(in)->nChannels, 4);
  in.SetMode(mStereo);
  in.Open();
  const std::string refused = "Change to property while device was open";
  EXPECT_EQ(RaisedText([&] { in.SetBufferSize(4096); }), refused);
  EXPECT_EQ(RaisedText([&] { in.SetSampleRate(22050); }), refused);
  EXPECT_TRUE(in.IsOpen());
  in.SetWaveFormat(&quad);  // closes first
  EXPECT_FALSE(in.IsOpen());
}

namespace {

// A chain component that lets the application handle its messages while a buffer passes, as a
// modal message box would.
class PumpingSink : public ByteSink {
public:
  void BufferReady(PWaveHdr h) override {
    ByteSink::BufferReady(h);
    plat::ProcessMessages();
  }
};

}  // namespace

TEST_F(MMWavIn, StopNestedInAPumpedMessageStopsOnce) {
  TMMWaveIn in;
  PumpingSink sink;
  in.SetOutput(&sink);
  InputEvents ev;
  ev.Hook(in);
  in.Start();
  Advance(200);
  plat::StepVirtualAudio(400);  // buffers back, their notices waiting
  plat::HiddenWindow click;
  click.OnMessage = [&](plat::Message&) { in.Stop(); };
  click.Post(1);
  in.Stop();
  Pump();
  EXPECT_EQ(ev.stops, 1);
  EXPECT_EQ(sink.Size(), 600u * 11025 / 1000);
  EXPECT_TRUE(plat::MatchesVirtualPattern(sink.Bytes().data(), sink.Size(), *Format(in), 0));
  in.Close();
}

TEST_F(MMWavIn, ThreadModeHandlesBuffersOnItsThreadAndStopsOnTheUiThread) {
  config_.Lossless = true;  // the worker queues buffers again at its own pace
  Apply();
  TMMWaveIn in;
  ByteSink sink;
  in.SetOutput(&sink);
  in.SetCallBackMode(cmThread);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(500);
  InputEvents ev;
  ev.Hook(in);
  std::atomic<int> offUi{0}, onUi{0};
  in.OnBufferReady = [&](TObject*, PWaveHdr) { (plat::IsUiThread() ? onUi : offUi)++; };
  in.Start();
  EXPECT_TRUE(PumpUntil([&] {
    plat::StepVirtualAudio(20);
    return ev.stops > 0;
  }));
  Pump();
  EXPECT_EQ(ev.stops, 1);
  EXPECT_TRUE(ev.stopsOnUi);
  EXPECT_GT(offUi, 0);
  EXPECT_EQ(sink.Size(), 5512u);
  EXPECT_TRUE(plat::MatchesVirtualPattern(sink.Bytes().data(), sink.Size(), *Format(in), 0));
  in.Close();
}

TEST_F(MMWavIn, ARecordingThroughARingBufferReachesTheFileSideWholeAtTheLimit) {
  TMMWaveIn in;
  TMMRingBuffer ring;
  ByteSink file;
  ring.SetQueueMode(qmWrite);
  ring.SetNumBuffers(8);
  ring.SetWaitIfFull(true);  // the outcome may not depend on the disk thread's pace
  in.SetOutput(&ring);
  ring.SetOutput(&file);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(2000);
  InputEvents ev;
  ev.Hook(in);
  in.Start();
  Advance(2500);
  EXPECT_EQ(ev.stops, 1);
  EXPECT_EQ(file.Size(), 22050u) << "the stop flushes the queue before the chain stops";
  EXPECT_TRUE(plat::MatchesVirtualPattern(file.Bytes().data(), file.Size(), *Format(in), 0));
  in.Close();
}

// A stop whose chain cannot write out in time what the input gave it (a take's queue on a disk that
// does not answer) stops the device and leaves the stop held instead of waiting on the disk, and a
// close waits for the stop. Once the disk has taken everything, the next stop ends it as any stop
// does, every byte recorded written.
TEST_F(MMWavIn, AStopItsChainCannotWriteOutInTimeIsHeldUntilAStopAfterTheDiskTookEverything) {
  TMMWaveIn in;
  TMMRingBuffer ring;
  GatedSink file;
  ring.SetQueueMode(qmWrite);
  ring.SetNumBuffers(64);
  in.SetOutput(&ring);
  ring.SetOutput(&file);
  in.SetTimeFormat(tfMillisecond);
  in.SetStopWait(20);
  InputEvents ev;
  ev.Hook(in);
  int held = 0;
  in.OnStopHeld = [&](TObject*) { ++held; };
  // A stop that waited on the disk would hang here: the disk answers by itself long after.
  std::promise<void> answered;
  std::thread backstop([&file, f = answered.get_future()] {
    f.wait_for(std::chrono::seconds(10));
    file.gate.Open();
  });

  in.Start();
  Advance(500);
  ASSERT_TRUE(PumpUntil([&] { return file.gate.Arrived() == 1; })) << "the queue wrote nothing";
  in.Stop();
  EXPECT_EQ(held, 1);
  EXPECT_EQ(ev.stops, 0);
  EXPECT_TRUE(in.StopHeld());
  const int64_t recorded = in.RecordedBytes();
  EXPECT_EQ(recorded, 5512) << "500 ms at 11025 Hz, 8 bits, mono";
  in.Close();
  EXPECT_TRUE(in.IsOpen()) << "the close did not wait for the stop";
  in.Stop();  // the disk still takes nothing
  EXPECT_EQ(held, 1);
  EXPECT_EQ(ev.stops, 0);
  Advance(300);
  EXPECT_EQ(in.RecordedBytes(), recorded) << "the device went on after the stop";

  file.gate.Open();
  ASSERT_TRUE(PumpUntil([&] { return ring.ChainWrittenOut(0); }));
  in.Stop();
  EXPECT_EQ(ev.stops, 1);
  EXPECT_FALSE(in.StopHeld());
  EXPECT_FALSE(in.IsOpen()) << "the close did not follow the stop";
  EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));
  EXPECT_EQ(int64_t(file.Size()), recorded);
  EXPECT_TRUE(plat::MatchesVirtualPattern(file.Bytes().data(), file.Size(), *Format(in), 0));
  answered.set_value();
  backstop.join();
}

namespace {

// Fails the n-th buffer it is asked to queue.
class FailingQueueWaveIn : public TMMWaveIn {
public:
  explicit FailingQueueWaveIn(int failAt) {
    DeviceTable().AddBuffer = [this, failAt](plat::HWAVEIN h, WAVEHDR* hdr) {
      return ++adds == failAt ? plat::MMSYSERR_NOMEM : plat::WaveInAddBuffer(h, hdr);
    };
  }
  int adds = 0;
};

}  // namespace

TEST_F(MMWavIn, AFailedQueueAtTheStartClosesTheDeviceWithTheBuffersItHad) {
  FailingQueueWaveIn in(3);
  InputEvents ev;
  ev.Hook(in);
  EXPECT_EQ(RaisedText([&] { in.Start(); }), "WaveInAddBuffer:\n\rNot enough memory for the sound device.");
  EXPECT_FALSE(in.IsOpen());
  EXPECT_EQ(plat::OpenWaveDevices(), 0) << "the two queued buffers came back before the close";
  EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Stop", "Close"}));
}

TEST_F(MMWavIn, AlsaNullDeviceOpensRefusesClosesAndStopsAtTheExactLimit) {
  if (!SwitchToAlsaNull()) GTEST_SKIP() << "ALSA's null device does not open here";
  TMMWaveIn in;
  ASSERT_GT(in.NumDevs(), 0u);
  in.SetDeviceID(MapperId);
  ByteSink sink;
  in.SetOutput(&sink);
  InputEvents ev;
  ev.Hook(in);

  WAVEFORMATEX adpcm = PcmFormat(8000, 1, 4);
  adpcm.wFormatTag = 2;
  in.SetWaveFormat(&adpcm);
  EXPECT_EQ(RaisedText([&] { in.Open(); }), "WaveInOpen:\n\rThe actual device can't record this format");
  EXPECT_FALSE(in.IsOpen());

  in.SetSampleRate(8000);
  in.SetBitLength(b8Bit);
  in.SetMode(mMono);
  WAVEFORMATEX pcm = PcmFormat(8000, 1, 8);
  in.SetWaveFormat(&pcm);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(1000);
  ev.log.clear();
  in.Start();
  ASSERT_TRUE(PumpUntil([&] { return ev.stops > 0; }));
  Pump();
  EXPECT_EQ(ev.stops, 1);
  EXPECT_EQ(sink.Size(), 8000u);
  in.Close();
  EXPECT_EQ(ev.log, (std::vector<std::string>{"Open", "Start", "Stop", "Close"}));
  EXPECT_EQ(plat::OpenWaveDevices(), 0);
}
