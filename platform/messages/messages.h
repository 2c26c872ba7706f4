#pragma once
// Hidden windows: a poster on any thread hands a message to an object whose handler runs on the UI
// thread, in the order the messages were posted. The queue is our own; the GUI layer only tells
// it when to run (SetWakeHook) and lends it a way to wait for input (SetEventPump), so code below
// the GUI works the same in programs and tests without Qt.
#include <atomic>
#include <cstdint>
#include <functional>

namespace plat {

struct Message {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

// Message numbers are named where they are defined, from these bases: the program's own from
// WM_USER, those a component keeps to its own hidden window from WM_APP.
constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_APP = 0x8000;

using WindowHandle = uint64_t;  // never reused while the process lives; 0 is "none"

class HiddenWindow {
public:
  HiddenWindow();
  virtual ~HiddenWindow();  // drops every message still pending for this window
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;

  WindowHandle Handle() const { return handle_; }
  // Thread-safe. Runs WndProc on the UI thread later.
  void Post(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0) const;
  // UI thread only: runs WndProc now and returns its result.
  intptr_t Send(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Drops the pending messages of one number (0: all) for this window; returns how many.
  size_t RemovePending(uint32_t msg = 0) const;
  // Drops the pending messages of this window that match; returns how many.
  size_t RemovePendingIf(const std::function<bool(const Message&)>& match) const;
  size_t PendingCount(uint32_t msg = 0) const;

  // The handler, when no subclass overrides WndProc.
  std::function<void(Message&)> OnMessage;

protected:
  virtual void WndProc(Message& m);

private:
  friend bool ProcessMessages();
  WindowHandle handle_;
};

// Posts to a window by handle; false (and nothing happens) when the window is gone.
bool PostMessageTo(WindowHandle h, uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);

// UI thread: delivers the messages that were pending when called (not those posted meanwhile, so
// a busy poster cannot starve the event loop). True when any was delivered.
bool ProcessMessages();
size_t PendingMessages();

// Called from the posting thread whenever the queue turns from empty to non-empty, so the GUI can
// schedule ProcessMessages on the UI thread.
void SetWakeHook(std::function<void()> hook);

// How the UI thread waits for input for at most ms milliseconds and handles it (the GUI
// installs its event loop here). Without one, waits run our own queue only.
void SetEventPump(std::function<void(int ms)> pump);
// Set while the application is being torn down: waits that pump messages return at once.
void SetTerminating(bool terminating);
bool Terminating();

// Waits ms milliseconds. Without pump a plain sleep; with pump, keeps handling messages and
// input meanwhile and returns early when the application is being torn down.
void DelayWithMessages(int ms, bool pump);

// Runs fn on the UI thread: at once when called there, else posted (and forgotten).
void RunOnUiThread(std::function<void()> fn);

}  // namespace plat
