#include "platform/audio/mmtimer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/messages/app_hooks.h"
#include "platform/system/threads.h"

namespace plat {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kMaxDelayMs = 1000000;

struct TimerEvent {
  uint32_t id = 0;
  uint32_t periodMs = 0;
  MMTimerKind kind = MMTimerKind::Periodic;
  MMTimerCallback cb;
  bool manual = false;

  // Threaded backend: the stop flag under its own lock, so the thread can sleep on it.
  std::mutex m;
  std::condition_variable cv;
  bool stop = false;
  std::thread thread;  // owned by whoever takes the event out of the registry

  // Manual backend, guarded by the registry's lock.
  uint64_t due = 0;
  bool inCallback = false;
  std::thread::id stepper;
};

struct Registry {
  std::mutex m;
  std::condition_variable callbackDone;  // manual backend: a callback has returned
  std::map<uint32_t, std::shared_ptr<TimerEvent>> events;
  uint32_t lastId = 0;
  bool manual = false;
  uint64_t manualNow = 0;
  std::map<uint32_t, int> periods;
};

// Never destroyed: timer threads may still be winding down while static objects go.
Registry& Reg() {
  static Registry* r = new Registry;
  return *r;
}

uint32_t NewIdLocked(Registry& r) {
  do {
    ++r.lastId;
  } while (r.lastId == 0 || r.events.count(r.lastId));
  return r.lastId;
}

// A one-shot event that fired leaves the registry by itself; when a kill got there first the
// killer owns the thread and joins it.
void RetireFiredOneShot(const std::shared_ptr<TimerEvent>& ev) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  auto it = r.events.find(ev->id);
  if (it != r.events.end() && it->second == ev) {
    r.events.erase(it);
    ev->thread.detach();
  }
}

void RunThreaded(std::shared_ptr<TimerEvent> ev, Clock::time_point start) {
  const auto period = std::chrono::milliseconds(ev->periodMs);
  auto next = start + period;
  std::unique_lock<std::mutex> l(ev->m);
  for (;;) {
    if (ev->cv.wait_until(l, next, [&] { return ev->stop; })) return;
    l.unlock();
    try {
      ev->cb(ev->id);
    } catch (...) {
      HandleException(std::current_exception());  // must not end the process from a timer thread
    }
    l.lock();
    if (ev->kind == MMTimerKind::OneShot) break;
    next += period;
    auto now = Clock::now();
    if (next <= now) next += ((now - next) / period + 1) * period;  // skip what we missed
  }
  l.unlock();
  RetireFiredOneShot(ev);
}

}  // namespace

uint32_t TimeSetEvent(uint32_t delayMs, uint32_t resolutionMs, MMTimerCallback cb, MMTimerKind kind) {
  (void)resolutionMs;
  if (!cb || delayMs == 0 || delayMs > kMaxDelayMs) return 0;
  Registry& r = Reg();
  auto ev = std::make_shared<TimerEvent>();
  ev->periodMs = delayMs;
  ev->kind = kind;
  ev->cb = std::move(cb);
  std::lock_guard<std::mutex> l(r.m);
  ev->id = NewIdLocked(r);
  ev->manual = r.manual;
  if (ev->manual) {
    ev->due = r.manualNow + delayMs;
  } else {
    try {
      // Held under the registry lock, so the thread handle is in place before anyone can retire
      // or kill the event.
      ev->thread =
          StartThread([ev, start = Clock::now()] { RunThreaded(ev, start); }, ThreadPriority::AboveNormal, "mmtimer");
    } catch (const std::system_error&) {
      return 0;
    }
  }
  r.events.emplace(ev->id, ev);
  return ev->id;
}

bool TimeKillEvent(uint32_t id) {
  Registry& r = Reg();
  std::shared_ptr<TimerEvent> ev;
  {
    std::unique_lock<std::mutex> l(r.m);
    auto it = r.events.find(id);
    if (it == r.events.end()) return false;
    ev = it->second;
    r.events.erase(it);
    if (ev->manual) {
      // Wait for a callback running on a stepping thread, unless that is us.
      r.callbackDone.wait(l, [&] { return !ev->inCallback || ev->stepper == std::this_thread::get_id(); });
      return true;
    }
  }
  {
    std::lock_guard<std::mutex> l(ev->m);
    ev->stop = true;
  }
  ev->cv.notify_all();
  if (ev->thread.get_id() == std::this_thread::get_id())
    ev->thread.detach();  // killed from its own callback: it ends when the callback returns
  else ev->thread.join();
  return true;
}

uint32_t TimeGetTime() {
  Registry& r = Reg();
  {
    std::lock_guard<std::mutex> l(r.m);
    if (r.manual) return uint32_t(r.manualNow);
  }
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
  return uint32_t(uint64_t(ms.count()));
}

void TimeGetDevCaps(uint32_t& minPeriodMs, uint32_t& maxPeriodMs) {
  minPeriodMs = 1;
  maxPeriodMs = kMaxDelayMs;
}

bool TimeBeginPeriod(uint32_t ms) {
  if (ms == 0 || ms > kMaxDelayMs) return false;
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  ++r.periods[ms];
  return true;
}

bool TimeEndPeriod(uint32_t ms) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  auto it = r.periods.find(ms);
  if (it == r.periods.end()) return false;
  if (--it->second == 0) r.periods.erase(it);
  return true;
}

int TimePeriodRequests() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  int n = 0;
  for (auto& [ms, count] : r.periods) n += count;
  return n;
}

void UseManualMMTimer(bool manual) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  r.manual = manual;
}

bool ManualMMTimer() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  return r.manual;
}

void StepManualMMTimer(uint32_t ms) {
  Registry& r = Reg();
  std::unique_lock<std::mutex> l(r.m);
  const uint64_t target = r.manualNow + ms;
  for (;;) {
    std::shared_ptr<TimerEvent> next;
    for (auto& [id, ev] : r.events) {
      if (!ev->manual || ev->due > target) continue;
      if (!next || ev->due < next->due) next = ev;  // ties go to the older id (map order)
    }
    if (!next) break;
    r.manualNow = next->due;
    if (next->kind == MMTimerKind::OneShot) r.events.erase(next->id);
    else next->due += next->periodMs;
    next->inCallback = true;
    next->stepper = std::this_thread::get_id();
    l.unlock();
    try {
      next->cb(next->id);
    } catch (...) {
      l.lock();
      next->inCallback = false;
      r.callbackDone.notify_all();
      throw;  // the test that stepped sees it
    }
    l.lock();
    next->inCallback = false;
    r.callbackDone.notify_all();
  }
  r.manualNow = target;
}

int LiveMMTimerEvents() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> l(r.m);
  return int(r.events.size());
}

}  // namespace plat
