#pragma once
// Seeing a window's events before its controls do: what a replaced window procedure was. A hook
// watches one control's widget, the window it lies in, its client area, or every widget of the
// application; several hooks may watch one widget (the one made last sees an event first) and go
// in any order. Exceptions from a handler go to the application's handler.
#include <functional>
#include <memory>

#include "platform/ui/controls.h"

namespace plat {

enum TWindowEventKind {
  weOther,  // anything else that reaches the widget
  weResize,
  weMove,
  weShow,
  weHide,
  weActivate,
  weDeactivate,  // the window took or lost the keyboard
  weBlocked,     // a modal window took the input
  weMouseGrabLost,
  weTitleChange,
  weIconChange,
  weLookChange,  // the application's font or colours, or the widgets' style, changed
  weMouseDown,
  weMouseMove,
  weMouseUp,
  weDblClick,
  weEraseBackground,  // a form is about to fill its background
  weChildAdded,
  weChildRemoved,
  weDestroy  // the widget goes: nothing more comes from it
};

struct TWindowEvent {
  TWindowEventKind Kind = weOther;
  // Mouse events: the button (mbMiddle for any but the left and right ones), and where the mouse
  // is, in the watched widget and on the screen.
  TMouseButton Button = mbLeft;
  TPoint Pos, ScreenPos;
  // weEraseBackground: the form's picture; a hook that paints the background says so.
  TCanvas* Canvas = nullptr;
  bool Painted = false;
};

class TWindowHook {
public:
  enum TScope { hsControl, hsWindow, hsClientArea, hsApplication };
  // True keeps the event from the widget.
  using THandler = std::function<bool(TWindowEvent& e)>;

  // control may be null for hsApplication; without a widget to watch the hook watches nothing.
  TWindowHook(const TControl* control, TScope scope, THandler handler);
  ~TWindowHook();
  TWindowHook(const TWindowHook&) = delete;
  TWindowHook& operator=(const TWindowHook&) = delete;
  // What it watches is still there.
  bool Watching() const;

  struct Native;

private:
  std::unique_ptr<Native> native_;
};

}  // namespace plat
