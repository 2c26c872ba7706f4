#pragma once
// What code below the GUI needs of the application without linking Qt: its exception handler and
// its modal notice. The GUI installs both at start; until then (and in Qt-free tests) the texts
// go to stderr.
#include <exception>
#include <functional>
#include <string>

namespace plat {

using ExceptionHandler = std::function<void(const std::exception_ptr&)>;

// The handler for an exception caught at a boundary it must not cross: a worker thread, a timer
// tick, a device callback, a message handler. The GUI's handler shows the message and carries on.
void SetExceptionHandler(ExceptionHandler handler);
// Hands e to the handler on the UI thread: at once when called there, else posted.
void HandleException(std::exception_ptr e);

// The hour-glass while the UI thread is held up: the GUI shows it while at least one BusyCursor
// lives on the UI thread (busy true at the first, false after the last). Holders on other threads
// show nothing.
using BusyCursorHook = std::function<void(bool busy)>;
void SetBusyCursorHook(BusyCursorHook hook);
class BusyCursor {
public:
  BusyCursor();
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

private:
  bool counted_ = false;
};

using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;
void SetMessageBoxHook(MessageBoxHook hook);
// A modal notice with an OK button (UI thread).
void ShowMessageBox(const std::string& text, const std::string& caption);

}  // namespace plat
