#include "platform/messages/app_hooks.h"

#include <cstdio>
#include <mutex>

#include "platform/messages/messages.h"
#include "platform/system/threads.h"

namespace plat {
namespace {

struct Hooks {
  std::mutex m;
  ExceptionHandler exceptionHandler;
  MessageBoxHook messageBox;
  BusyCursorHook busyCursor;
  int busyHolders = 0;  // UI thread only
};

Hooks& H() {
  static Hooks* h = new Hooks;  // posted handlers may run during static destruction
  return *h;
}

std::string Describe(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "unknown exception";
  }
}

void Deliver(const std::exception_ptr& e) {
  ExceptionHandler handler;
  {
    std::lock_guard<std::mutex> l(H().m);
    handler = H().exceptionHandler;
  }
  if (handler) {
    try {
      handler(e);
      return;
    } catch (...) {
      // A handler that fails must not take the event loop down; fall back to the terminal.
    }
  }
  std::fprintf(stderr, "%s\n", Describe(e).c_str());
}

}  // namespace

void SetExceptionHandler(ExceptionHandler handler) {
  std::lock_guard<std::mutex> l(H().m);
  H().exceptionHandler = std::move(handler);
}

void HandleException(std::exception_ptr e) {
  if (!e) return;
  RunOnUiThread([e = std::move(e)] { Deliver(e); });
}

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> l(H().m);
  H().messageBox = std::move(hook);
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
  MessageBoxHook hook;
  {
    std::lock_guard<std::mutex> l(H().m);
    hook = H().messageBox;
  }
  if (hook) hook(text, caption);
  else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void SetBusyCursorHook(BusyCursorHook hook) {
  std::lock_guard<std::mutex> l(H().m);
  H().busyCursor = std::move(hook);
}

namespace {
void TellBusy(bool busy) {
  BusyCursorHook hook;
  {
    std::lock_guard<std::mutex> l(H().m);
    hook = H().busyCursor;
  }
  if (hook) hook(busy);
}
}  // namespace

BusyCursor::BusyCursor() {
  if (!IsUiThread()) return;
  counted_ = true;
  if (H().busyHolders++ == 0) TellBusy(true);
}

BusyCursor::~BusyCursor() {
  if (!counted_) return;
  if (--H().busyHolders == 0) TellBusy(false);
}

}  // namespace plat
