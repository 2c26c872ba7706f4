#include "platform/system/threads.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace plat {

bool SetCurrentThreadPriority(ThreadPriority priority) {
  if (priority == ThreadPriority::Highest || priority == ThreadPriority::TimeCritical) {
    sched_param sp{};
    sp.sched_priority = priority == ThreadPriority::TimeCritical ? 20 : 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) == 0) return true;
    // No real-time rights: fall back to the best nice value we may take.
  }
  int nice = 0;
  switch (priority) {
    case ThreadPriority::Idle: nice = 19; break;
    case ThreadPriority::Lowest: nice = 10; break;
    case ThreadPriority::BelowNormal: nice = 5; break;
    case ThreadPriority::Normal: nice = 0; break;
    case ThreadPriority::AboveNormal: nice = -5; break;
    case ThreadPriority::Highest: nice = -10; break;
    case ThreadPriority::TimeCritical: nice = -15; break;
  }
  // On Linux the nice value is per thread when set by thread id.
  pid_t tid = pid_t(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, id_t(tid), nice) == 0;
}

void SetCurrentThreadName(const std::string& name) {
  if (!name.empty()) pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

std::thread StartThread(std::function<void()> fn, ThreadPriority priority, const std::string& name) {
  return std::thread([fn = std::move(fn), priority, name] {
    SetCurrentThreadName(name);
    if (priority != ThreadPriority::Normal) SetCurrentThreadPriority(priority);
    fn();
  });
}

namespace {
std::atomic<std::thread::id> g_uiThread{};
}

void MarkUiThread() { g_uiThread.store(std::this_thread::get_id()); }

void UiThreadViolation(const char* where) {
  std::fprintf(stderr, "%s: called off the UI thread\n", where);
  std::fflush(stderr);
  std::abort();
}

bool IsUiThread() {
  std::thread::id none{};
  std::thread::id me = std::this_thread::get_id();
  g_uiThread.compare_exchange_strong(none, me);
  return g_uiThread.load() == me;
}

void Event::Set() {
  {
    std::lock_guard<std::mutex> l(m_);
    set_ = true;
  }
  if (manual_) cv_.notify_all();
  else cv_.notify_one();
}

void Event::Reset() {
  std::lock_guard<std::mutex> l(m_);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> l(m_);
  return set_;
}

bool Event::Wait(int64_t timeoutMs) {
  std::unique_lock<std::mutex> l(m_);
  if (timeoutMs < 0) {
    cv_.wait(l, [this] { return set_; });
  } else if (!cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] { return set_; })) {
    return false;
  }
  if (!manual_) set_ = false;
  return true;
}

}  // namespace plat
