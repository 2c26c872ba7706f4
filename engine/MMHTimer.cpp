#include "engine/MMHTimer.h"

#include "engine/MMUtils.h"
#include "platform/audio/mmtimer.h"
#include "platform/messages/app_hooks.h"

namespace {

constexpr int kMaxQueuedTicks = 10;
constexpr int64_t kThreadStartMs = 5000;
constexpr uint32_t kResolutionMs = 1;

}  // namespace

// ---- the worker thread ---------------------------------------------------------------------------

TMMTimerThread::~TMMTimerThread() {
  Stop();
  WaitFor();
}

void TMMTimerThread::Tick() {
  {
    std::lock_guard<std::mutex> l(m_);
    ++ticks_;
  }
  cv_.notify_all();
}

void TMMTimerThread::Stop() {
  {
    std::lock_guard<std::mutex> l(m_);
    stopping_ = true;
  }
  Terminate();  // also releases a synchronised call that waits for the UI thread
  cv_.notify_all();
}

bool TMMTimerThread::WaitReady(int64_t ms) {
  std::unique_lock<std::mutex> l(m_);
  return cv_.wait_for(l, std::chrono::milliseconds(ms), [this] { return ready_; });
}

void TMMTimerThread::Execute() {
  {
    std::lock_guard<std::mutex> l(m_);
    ready_ = true;
  }
  cv_.notify_all();
  for (;;) {
    {
      std::unique_lock<std::mutex> l(m_);
      cv_.wait(l, [this] { return stopping_ || ticks_ > 0; });
      if (stopping_) return;
      ticks_ = 0;  // ticks that came while we fired count as one
    }
    ApplyPriority();
    owner_->ThreadTick(*this);
  }
}

// ---- the timer -----------------------------------------------------------------------------------

TMMHiTimer::TMMHiTimer(TComponent* owner) : TMMNonVisualComponent(owner) {}

TMMHiTimer::~TMMHiTimer() {
  Destroying();
  TearDown();
  window_.reset();
}

void TMMHiTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  TearDown();
  enabled_ = on;
  Build();
}

void TMMHiTimer::SetInterval(int32_t ms) {
  if (ms == interval_) return;
  TearDown();
  interval_ = ms;
  Build();
}

void TMMHiTimer::SetOnTimer(TNotifyEvent handler) {
  TearDown();
  onTimer_ = std::move(handler);
  Build();
}

void TMMHiTimer::SetCallBackMode(TMMCBMode mode) {
  if (mode == mode_) return;
  if (mode == cmCallback && !IsWin95) {
    plat::ShowMessageBox(
        "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under "
        "Windows 95",
        "TMMHiTimer");
    return;
  }
  TearDown();
  mode_ = mode;
  Build();
}

void TMMHiTimer::SetPriority(TThreadPriority p) {
  priority_ = p;
  if (thread_) thread_->SetPriority(p);
}

void TMMHiTimer::Loaded() {
  TMMNonVisualComponent::Loaded();
  Rebuild();
}

void TMMHiTimer::SetDesigning(bool designing) {
  TMMNonVisualComponent::SetDesigning(designing);
  Rebuild();
}

void TMMHiTimer::Rebuild() {
  TearDown();
  Build();
}

void TMMHiTimer::TearDown() {
  // The timer event goes first: once the kill returns no callback runs, so nothing reaches the
  // thread or the window that go next.
  if (uint32_t id = timerId_.exchange(0)) plat::TimeKillEvent(id);
  if (thread_) {
    thread_->Stop();
    if (thread_->OnThisThread()) {
      // OnTimer on the worker itself switched the timer off: the thread ends once it returns,
      // and the UI thread collects it.
      TMMTimerThread* t = thread_.release();
      plat::RunOnUiThread([t] { delete t; });
    } else {
      thread_.reset();
    }
  }
  if (window_) window_->RemovePending(MM_HITIMER_TICK);
  // The ticks just removed were counted as waiting: without this the count would stay at the
  // limit after a few switches and no tick would be posted again.
  queued_ = 0;
  if (periodSet_) {
    plat::TimeEndPeriod(kResolutionMs);
    periodSet_ = false;
  }
}

void TMMHiTimer::Build() {
  if (IsDesigning() || IsLoading() || IsDestroying()) return;
  if (!enabled_ || interval_ <= 0 || !onTimer_) return;
  if (mode_ == cmWindow && !window_) {
    window_ = std::make_unique<plat::HiddenWindow>();
    window_->OnMessage = [this](plat::Message& m) { HandleTick(m); };
    windowHandle_ = window_->Handle();
  }
  if (mode_ == cmThread) {
    thread_ = std::make_unique<TMMTimerThread>(this);
    thread_->SetPriority(priority_);
    if (!thread_->Resume() || !thread_->WaitReady(kThreadStartMs)) {
      TearDown();
      throw EMMHiTimerError("HiTimer:\n\r" + LoadLibraryMessage(88));
    }
  }
  periodSet_ = plat::TimeBeginPeriod(kResolutionMs);
  const uint32_t id = plat::TimeSetEvent(
      uint32_t(interval_), kResolutionMs, [this](uint32_t tick) { Callback(tick); }, plat::MMTimerKind::Periodic);
  if (id == 0) {
    TearDown();
    throw plat::EOutOfResources();
  }
  timerId_ = id;
}

void TMMHiTimer::Callback(uint32_t id) {
  switch (mode_) {
    case cmWindow: {
      int waiting = queued_.load();
      do {
        if (waiting >= kMaxQueuedTicks) return;  // the UI thread is behind: drop this tick
      } while (!queued_.compare_exchange_weak(waiting, waiting + 1));
      if (!plat::PostMessageTo(windowHandle_, MM_HITIMER_TICK, id)) --queued_;
      break;
    }
    case cmCallback: FireSafely(); break;
    case cmThread:
      if (thread_) thread_->Tick();
      break;
  }
}

void TMMHiTimer::HandleTick(plat::Message& m) {
  SOLVANE_ASSERT_UI_THREAD();
  if (m.Msg != MM_HITIMER_TICK) return;
  const uint32_t id = uint32_t(m.WParam);
  if (id == 0 || id != timerId_) return;  // a tick of a timer that has been rebuilt since
  FireSafely();
  if (id == timerId_ && queued_ > 0) --queued_;
}

void TMMHiTimer::ThreadTick(TMMTimerThread& thread) {
  if (!synchronize_) {
    FireSafely();
    return;
  }
  thread.Synchronize([this] {
    SOLVANE_ASSERT_UI_THREAD();
    FireSafely();
  });
}

void TMMHiTimer::FireSafely() {
  // An exception never leaves a tick: the application's handler shows it and the timer goes on.
  try {
    Timer();
  } catch (...) {
    plat::HandleException(std::current_exception());
  }
}

void TMMHiTimer::Timer() {
  if (onTimer_ && enabled_) onTimer_(this);
}
