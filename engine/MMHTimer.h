#pragma once
// A periodic timer component on the multimedia timer. By default each tick is posted to a hidden
// window, so OnTimer runs on the UI thread; ticks that arrive while the UI thread is busy queue up
// to ten, the rest are dropped.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "engine/MMDSPObj.h"
#include "platform/messages/messages.h"

MM_EXCEPTION(EMMHiTimerError)

// The message that carries a tick to the hidden window; its first parameter is the timer's id.
constexpr uint32_t MM_HITIMER_TICK = plat::WM_APP + 10;

class TMMTimerThread;

class TMMHiTimer : public TMMNonVisualComponent {
public:
  explicit TMMHiTimer(TComponent* owner = nullptr);
  ~TMMHiTimer() override;

  // The timer runs while Enabled, Interval > 0 and OnTimer is assigned; each change rebuilds it.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  int32_t Interval() const { return interval_; }
  void SetInterval(int32_t ms);
  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler);
  TMMCBMode CallBackMode() const { return mode_; }
  void SetCallBackMode(TMMCBMode mode);
  // Of the worker thread in cmThread mode; applied to a running thread at its next tick.
  TThreadPriority Priority() const { return priority_; }
  void SetPriority(TThreadPriority p);
  // In cmThread mode, run OnTimer on the UI thread (the worker waits for it).
  bool Synchronize() const { return synchronize_; }
  void SetSynchronize(bool on) { synchronize_ = on; }
  // Kept for stored forms: stopping the worker always waits for it, which is safe because a
  // worker waiting for the UI thread is released by the stop.
  bool WaitForTerminate() const { return waitForTerminate_; }
  void SetWaitForTerminate(bool on) { waitForTerminate_ = on; }

  // Whether a timer event exists.
  bool Running() const { return timerId_ != 0; }
  // Ticks posted to the window and not yet handled.
  int QueuedTicks() const { return queued_; }

  std::string ClassName() const override { return "TMMHiTimer"; }

protected:
  // The dynamic handler: OnTimer, when assigned and Enabled.
  virtual void Timer();
  void Loaded() override;
  void SetDesigning(bool designing) override;

private:
  friend class TMMTimerThread;
  void Rebuild();
  void TearDown();
  void Build();
  void Callback(uint32_t id);  // on the multimedia timer's thread
  void HandleTick(plat::Message& m);
  void ThreadTick(TMMTimerThread& thread);  // on the worker thread
  void FireSafely();

  bool enabled_ = true;
  int32_t interval_ = 1000;
  TNotifyEvent onTimer_;
  TMMCBMode mode_ = cmWindow;
  TThreadPriority priority_ = tpNormal;
  std::atomic<bool> synchronize_{true};
  bool waitForTerminate_ = false;

  std::atomic<uint32_t> timerId_{0};
  bool periodSet_ = false;
  std::unique_ptr<plat::HiddenWindow> window_;
  std::atomic<plat::WindowHandle> windowHandle_{0};
  std::atomic<int> queued_{0};
  std::unique_ptr<TMMTimerThread> thread_;
};

// The worker of cmThread mode: waits for ticks and fires each.
class TMMTimerThread : public TMMThreadEx {
public:
  explicit TMMTimerThread(TMMHiTimer* owner) : owner_(owner) {}
  ~TMMTimerThread() override;
  void Tick();
  void Stop();
  // Waits up to ms for the thread to report that it runs.
  bool WaitReady(int64_t ms);

protected:
  void Execute() override;

private:
  TMMHiTimer* owner_;
  std::mutex m_;
  std::condition_variable cv_;
  int ticks_ = 0;
  bool stopping_ = false;
  bool ready_ = false;
};
