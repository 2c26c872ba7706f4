#include "engine/MMConect_ui.h"

#include <QTimer>

#include <algorithm>

#include "platform/messages/app_hooks.h"
#include "platform/system/clock.h"
#include "platform/ui/frames.h"

namespace {

class PreciseTimer : public TMMFeedTimer {
public:
  PreciseTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      // Copied: the tick may restart or stop this timer.
      std::function<void()> tick = tick_;
      if (!tick) return;
      try {
        tick();
      } catch (...) {
        plat::HandleException(std::current_exception());
      }
    });
  }
  int64_t NowMicroseconds() override { return plat::MicroSeconds(); }
  void Start(int64_t intervalUs, bool periodic, std::function<void()> tick) override {
    tick_ = std::move(tick);
    // Qt counts whole milliseconds; round up so a tick never comes early.
    timer_.setInterval(int(std::clamp<int64_t>((intervalUs + 999) / 1000, 1, 1000000)));
    timer_.setSingleShot(!periodic);
    timer_.start();
  }
  void Stop() override {
    timer_.stop();
    tick_ = nullptr;
  }
  int64_t NextFrameAt(int64_t us) override { return plat::NextFrameAt(us); }
  int64_t FrameMicroseconds() override { return plat::FramePeriod(); }

private:
  QTimer timer_;
  std::function<void()> tick_;
};

}  // namespace

TMMFeedTimer* PreciseFeedTimer() {
  static PreciseTimer* timer = new PreciseTimer;  // lives on the UI thread for the process
  return timer;
}

void UsePreciseFeedTimer() { SetConnectorFeedTimer(PreciseFeedTimer()); }
