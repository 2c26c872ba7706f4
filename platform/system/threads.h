#pragma once
// Threads, events and the notion of "the UI thread".
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace plat {

enum class ThreadPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

// Best effort: raises the calling thread's priority where the system allows it (real-time
// scheduling for the two highest levels, the nice value otherwise) and reports whether it did.
bool SetCurrentThreadPriority(ThreadPriority priority);

// Names the calling thread for debuggers and `top -H` (at most 15 characters are kept).
void SetCurrentThreadName(const std::string& name);

// A thread that runs fn at the given priority. The caller joins it.
std::thread StartThread(std::function<void()> fn, ThreadPriority priority = ThreadPriority::Normal,
                        const std::string& name = {});

// The thread that runs the application's event loop. Marked once at start; until then the first
// thread that asks is taken.
void MarkUiThread();
bool IsUiThread();

// The entry points of the UI thread's work check that they run there in the builds that define
// SOLVANE_UI_THREAD_CHECKS (Debug and sanitizer builds): reached on another thread, the process
// aborts naming the function. SOLVANE_ASSERT_UI_THREAD_OR(ok) also lets the call through where
// ok holds, for a mode that hands the work to a thread of its own. Compiled out elsewhere, ok
// unevaluated.
[[noreturn]] void UiThreadViolation(const char* where);
#ifdef SOLVANE_UI_THREAD_CHECKS
#define SOLVANE_ASSERT_UI_THREAD_OR(ok) \
  ((::plat::IsUiThread() || (ok)) ? void(0) : ::plat::UiThreadViolation(__PRETTY_FUNCTION__))
#else
#define SOLVANE_ASSERT_UI_THREAD_OR(ok) void(0)
#endif
#define SOLVANE_ASSERT_UI_THREAD() SOLVANE_ASSERT_UI_THREAD_OR(false)

// A manual- or auto-reset event, as a waiter and a setter on different threads need it.
class Event {
public:
  explicit Event(bool manualReset = false, bool initialState = false) : manual_(manualReset), set_(initialState) {}
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits up to timeoutMs (negative: for ever); true when the event was set.
  bool Wait(int64_t timeoutMs = -1);

private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool manual_;
  bool set_;
};

}  // namespace plat
