// Closing a wave device whose driver is held up in its stream, as a sound server's plugin is by a
// server that stands still: the owner's close returns with the close notice, and nothing is heard
// from the device after it, however late the driver lets go of its stream.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "common/wave_format.h"
#include "platform/audio/wave_core.h"

namespace {

using namespace std::chrono_literals;
using plat::WaveMsg;
using plat::wavecore::WaveDevice;
using plat::wavecore::WaveDriver;

struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void Wait() {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> l(m);
      open = true;
    }
    cv.notify_all();
  }
};

// Releasing its stream takes until the gate opens.
class HeldDriver : public WaveDriver {
public:
  HeldDriver(Gate& gate, std::atomic<bool>& gone) : gate_(gate), gone_(gone) {}
  ~HeldDriver() override { gone_ = true; }
  void Pump(WaveDevice& dev) override { dev.WaitWake(-1); }
  void Close(WaveDevice&) override { gate_.Wait(); }

private:
  Gate& gate_;
  std::atomic<bool>& gone_;
};

TEST(WaveDevice, ACloseHeldUpInTheStreamReturnsAndNothingIsHeardAfterIt) {
  Gate gate;
  std::atomic<bool> gone{false};
  std::mutex m;
  std::vector<WaveMsg> heard;
  auto dev = std::make_shared<WaveDevice>(
      1, false, 0, PcmFormat(44100, 2, 16),
      [&](uint64_t, WaveMsg msg, plat::WAVEHDR*) {
        std::lock_guard<std::mutex> l(m);
        heard.push_back(msg);
      },
      std::make_unique<HeldDriver>(gate, gone), plat::wavecore::WaveDeviceOptions{});
  dev->Launch();
  // A close that waited for the stream would wait for the gate: it opens once the close has
  // returned, or late, not never, so such a close fails here instead of hanging.
  Gate returned;
  std::thread late([&] {
    std::unique_lock<std::mutex> l(returned.m);
    returned.cv.wait_for(l, WaveDevice::kCloseWait + 3s, [&] { return returned.open; });
    gate.Open();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(plat::MMSYSERR_NOERROR, dev->Close());
  const auto took = std::chrono::steady_clock::now() - start;
  returned.Open();
  EXPECT_LT(took, WaveDevice::kCloseWait + 1s) << "the close waited for the stream";
  {
    std::lock_guard<std::mutex> l(m);
    EXPECT_EQ((std::vector<WaveMsg>{WaveMsg::Open, WaveMsg::Close}), heard) << "the close notice is the owner's";
  }
  EXPECT_EQ(plat::MMSYSERR_INVALHANDLE, dev->Close());
  // The owner lets go; the driver lets go of its stream later, and the device goes with it.
  dev.reset();
  late.join();
  for (int i = 0; i < 500 && !gone; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(gone) << "the driver never ended";
  std::lock_guard<std::mutex> l(m);
  EXPECT_EQ(2u, heard.size()) << "a notice came after the close";
}

}  // namespace
