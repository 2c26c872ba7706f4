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

// A manual- or auto-reset event, as a waiter and a setter on different threads need it.
class Event {
public:
  explicit Event(bool manualReset = false, bool initialState = false)
      : manual_(manualReset), set_(initialState) {}
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
