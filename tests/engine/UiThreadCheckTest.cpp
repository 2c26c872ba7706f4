// The entry points of the UI thread's work refuse another thread in the builds that check it
// (Debug and sanitizer builds); a device that hands its buffers to a worker of its own may run
// them there.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "engine/ChainMocks.h"
#include "engine/ConnectorFakes.h"
#include "engine/MMConect.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/WaveDeviceKit.h"
#include "platform/messages/messages.h"
#include "platform/system/threads.h"

#ifdef SOLVANE_UI_THREAD_CHECKS

using namespace wavekit;

namespace {

void OnAnotherThread(const std::function<void()>& fn) {
  std::thread t(fn);
  t.join();
}

// Death tests start a fresh copy of the program, whose main marks its UI thread as the program's
// does; a forked copy of a process with threads would not be safe.
class UiThreadCheckDeathTest : public DeviceTest {
protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DeviceTest::SetUp();
  }
};

class UiThreadCheck : public DeviceTest {};

}  // namespace

TEST_F(UiThreadCheckDeathTest, TransportCallsOnAnotherThreadAbort) {
  TMMWaveOut out;
  TMMWaveIn in;
  EXPECT_DEATH(OnAnotherThread([&] { out.Start(); }), "Start.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { out.Pause(); }), "Pause.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { out.Restart(); }), "TMMWaveOut::Restart.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { out.Stop(); }), "Stop.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { out.Close(); }), "Close.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { in.Open(); }), "TMMCustomWaveIn::Open.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { in.Restart(); }), "TMMCustomWaveIn::Restart.* off the UI thread");
  // The same calls on the UI thread go through.
  out.Stop();
  out.Close();
  in.Restart();
  EXPECT_FALSE(out.IsOpen());
}

TEST_F(UiThreadCheckDeathTest, HandlingPostedMessagesOnAnotherThreadAborts) {
  plat::HiddenWindow w;
  EXPECT_DEATH(OnAnotherThread([] { plat::ProcessMessages(); }), "ProcessMessages.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { w.Send(plat::WM_USER); }), "Send.* off the UI thread");
}

TEST_F(UiThreadCheckDeathTest, TheChainsBufferCallsOnAThreadOtherThanADevicesWorkerAbort) {
  TestBuffer buffer(64);
  PWaveHdr h = buffer.Fill(std::vector<uint8_t>(64, 1));
  TMMConnector con;
  TMMRingBuffer ring;
  TMMWaveOut out;
  bool more = false;
  EXPECT_DEATH(OnAnotherThread([&] { con.BufferReady(h); }), "TMMConnector::BufferReady.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { con.BufferLoad(h, more); }), "TMMConnector::BufferLoad.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { ring.BufferReady(h); }), "TMMRingBuffer::BufferReady.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { ring.BufferLoad(h, more); }), "TMMRingBuffer::BufferLoad.* off the UI thread");
  EXPECT_DEATH(OnAnotherThread([&] { out.BufferLoad(h, more); }), "TMMWaveOut::BufferLoad.* off the UI thread");
}

// The other side of the check: in thread mode the input hands its buffers down the chain on its
// own worker, and stops there at the limit, without the check firing.
TEST_F(UiThreadCheck, ARecordingInThreadModeRunsItsChainOnTheDevicesWorker) {
  config_.Lossless = true;
  Apply();
  TMMWaveIn in;
  TMMConnector con;
  TMMRingBuffer ring;
  ByteSink file;
  in.SetOutput(&con);
  con.SetOutput(&ring);
  ring.SetOutput(&file);
  ring.SetQueueMode(qmWrite);
  ring.SetWaitIfFull(true);
  in.SetCallBackMode(cmThread);
  in.SetTimeFormat(tfMillisecond);
  in.SetMaxRecordTime(500);
  std::atomic<int> offUi{0};
  in.OnBufferReady = [&](TObject*, PWaveHdr) {
    if (!plat::IsUiThread()) ++offUi;
  };
  std::atomic<int> stops{0};
  in.OnStop = [&](TObject*) { ++stops; };
  in.Start();
  EXPECT_TRUE(PumpUntil([&] {
    plat::StepVirtualAudio(20);
    return stops > 0;
  }));
  Pump();
  EXPECT_GT(offUi, 0);
  EXPECT_EQ(file.Size(), 5512u);
  in.Close();
}

#endif  // SOLVANE_UI_THREAD_CHECKS
