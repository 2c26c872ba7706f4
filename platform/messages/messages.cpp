#include "platform/messages/messages.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/system/clock.h"
#include "platform/system/threads.h"

namespace plat {

namespace {

struct Posted {
  WindowHandle window;
  Message msg;
  std::function<void()> fn;  // for RunOnUiThread
};

struct Queue {
  std::mutex m;
  std::condition_variable cv;
  std::deque<Posted> items;
  std::unordered_map<WindowHandle, HiddenWindow*> windows;
  std::function<void()> wake;
  std::function<void(int)> pump;
  WindowHandle next = 1;
};

Queue& Q() {
  static Queue* q = new Queue;  // lives for the process: posters may outlive static destruction
  return *q;
}

std::atomic<bool> g_terminating{false};

void Enqueue(Posted p) {
  Queue& q = Q();
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> l(q.m);
    bool wasEmpty = q.items.empty();
    q.items.push_back(std::move(p));
    if (wasEmpty) wake = q.wake;
  }
  q.cv.notify_all();
  if (wake) wake();
}

}  // namespace

HiddenWindow::HiddenWindow() {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  handle_ = q.next++;
  q.windows[handle_] = this;
}

HiddenWindow::~HiddenWindow() {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  q.windows.erase(handle_);
  std::erase_if(q.items, [this](const Posted& p) { return p.window == handle_; });
}

void HiddenWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) const {
  PostMessageTo(handle_, msg, wParam, lParam);
}

intptr_t HiddenWindow::Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  SOLVANE_ASSERT_UI_THREAD();
  Message m{msg, wParam, lParam, 0};
  WndProc(m);
  return m.Result;
}

size_t HiddenWindow::RemovePending(uint32_t msg) const {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  return std::erase_if(q.items, [&](const Posted& p) { return p.window == handle_ && (msg == 0 || p.msg.Msg == msg); });
}

size_t HiddenWindow::RemovePendingIf(const std::function<bool(const Message&)>& match) const {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  return std::erase_if(q.items, [&](const Posted& p) { return p.window == handle_ && match(p.msg); });
}

size_t HiddenWindow::PendingCount(uint32_t msg) const {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  size_t n = 0;
  for (auto& p : q.items)
    if (p.window == handle_ && (msg == 0 || p.msg.Msg == msg)) ++n;
  return n;
}

void HiddenWindow::WndProc(Message& m) {
  if (OnMessage) OnMessage(m);
}

bool PostMessageTo(WindowHandle h, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  {
    Queue& q = Q();
    std::lock_guard<std::mutex> l(q.m);
    if (!q.windows.count(h)) return false;
  }
  Enqueue(Posted{h, Message{msg, wParam, lParam, 0}, {}});
  return true;
}

void RunOnUiThread(std::function<void()> fn) {
  if (IsUiThread()) {
    fn();
    return;
  }
  Enqueue(Posted{0, Message{}, std::move(fn)});
}

bool ProcessMessages() {
  SOLVANE_ASSERT_UI_THREAD();
  Queue& q = Q();
  size_t budget;
  {
    std::lock_guard<std::mutex> l(q.m);
    budget = q.items.size();
  }
  bool any = false;
  while (budget-- > 0) {
    Posted p;
    HiddenWindow* w = nullptr;
    std::function<void()> wake;
    {
      std::lock_guard<std::mutex> l(q.m);
      if (q.items.empty()) break;
      p = std::move(q.items.front());
      q.items.pop_front();
      // A handler may run a nested loop (a modal window) before we get back here; the messages
      // behind it, and those posted meanwhile, must not wait for it to end.
      if (!q.items.empty()) wake = q.wake;
      if (p.window) {
        auto it = q.windows.find(p.window);
        if (it == q.windows.end()) continue;
        w = it->second;
      }
    }
    if (wake) wake();
    any = true;
    if (w) w->WndProc(p.msg);
    else if (p.fn) p.fn();
  }
  // Messages posted while we ran found the queue non-empty and did not wake anybody.
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> l(q.m);
    if (!q.items.empty()) wake = q.wake;
  }
  if (wake) wake();
  return any;
}

size_t PendingMessages() {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  return q.items.size();
}

void SetWakeHook(std::function<void()> hook) {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  q.wake = std::move(hook);
}

void SetEventPump(std::function<void(int)> pump) {
  Queue& q = Q();
  std::lock_guard<std::mutex> l(q.m);
  q.pump = std::move(pump);
}

void SetTerminating(bool terminating) { g_terminating = terminating; }
bool Terminating() { return g_terminating; }

void DelayWithMessages(int ms, bool pump) {
  if (ms <= 0) return;
  if (!pump) {
    SleepMs(ms);
    return;
  }
  Queue& q = Q();
  std::function<void(int)> eventPump;
  {
    std::lock_guard<std::mutex> l(q.m);
    eventPump = q.pump;
  }
  const int64_t deadline = MicroSeconds() + int64_t(ms) * 1000;
  for (;;) {
    if (Terminating()) return;
    int64_t left = deadline - MicroSeconds();
    if (left <= 0) return;
    int leftMs = int((left + 999) / 1000);
    if (eventPump) {
      eventPump(leftMs);
    } else {
      {
        std::unique_lock<std::mutex> l(q.m);
        q.cv.wait_for(l, std::chrono::microseconds(left), [&] { return !q.items.empty(); });
      }
      ProcessMessages();
    }
  }
}

}  // namespace plat
