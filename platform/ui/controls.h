#pragma once
// Controls over Qt widgets. Every control owns one widget; its bounds are in the client
// coordinates of its parent, as the program's form layouts give them. Windowless controls
// (TGraphicControl) and painted windowed ones (TCustomControl) draw through a TCanvas on a picture
// that the widget shows; controls over Qt's own widgets (edits, lists, buttons) let Qt draw.
// Property changes reach the control as messages (Perform -> WndProc), so a descendant can
// intercept them as the framework's controls do. Exceptions from event handlers never cross a
// Qt event: they go to Application->HandleException. The widgets themselves are private to
// platform/ui (native_qt.h).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/ui/graphics.h"
#include "platform/ui/types.h"

namespace plat {

class TWinControl;
class TPopupMenu;
class TCustomForm;
class HiddenWindow;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

using TShiftState = uint32_t;
enum : uint32_t { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };

using TCursor = int;
enum : int {
  crDefault = 0,
  crNone = -1,
  crArrow = -2,
  crCross = -3,
  crIBeam = -4,
  crSize = -22,
  crSizeNESW = -6,
  crSizeNS = -7,
  crSizeNWSE = -8,
  crSizeWE = -9,
  crUpArrow = -10,
  crHourGlass = -11,
  crDrag = -12,
  crNoDrop = -13,
  crHSplit = -14,
  crVSplit = -15,
  crMultiDrag = -16,
  crSQLWait = -17,
  crNo = -18,
  crAppStart = -19,
  crHelp = -20,
  crHandPoint = -21,
  crSizeAll = -22
};

// Virtual key codes of the keyboard events.
enum : uint16_t {
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_NUMPAD0 = 0x60,
  VK_MULTIPLY = 0x6A,
  VK_ADD = 0x6B,
  VK_SEPARATOR = 0x6C,
  VK_SUBTRACT = 0x6D,
  VK_DECIMAL = 0x6E,
  VK_DIVIDE = 0x6F,
  VK_F1 = 0x70,
  VK_F2,
  VK_F3,
  VK_F4,
  VK_F5,
  VK_F6,
  VK_F7,
  VK_F8,
  VK_F9,
  VK_F10,
  VK_F11,
  VK_F12,
  VK_NUMLOCK = 0x90,
  VK_SCROLL = 0x91,
  VK_OEM_1 = 0xBA,
  VK_OEM_PLUS = 0xBB,
  VK_OEM_COMMA = 0xBC,
  VK_OEM_MINUS = 0xBD,
  VK_OEM_PERIOD = 0xBE,
  VK_OEM_2 = 0xBF,
  VK_OEM_3 = 0xC0,
  VK_OEM_4 = 0xDB,
  VK_OEM_5 = 0xDC,
  VK_OEM_6 = 0xDD,
  VK_OEM_7 = 0xDE
};

enum TControlStyleFlag : uint32_t {
  csAcceptsControls = 0x1,
  csCaptureMouse = 0x2,
  csClickEvents = 0x8,
  csFramed = 0x10,
  csSetCaption = 0x20,
  csOpaque = 0x40,
  csDoubleClicks = 0x80,
  csFixedWidth = 0x100,
  csFixedHeight = 0x200,
  csReplicatable = 0x800,
  csNoStdEvents = 0x1000
};
enum TControlStateFlag : uint32_t {
  csLButtonDown = 0x1,
  csClicked = 0x2,
  csFocusing = 0x20,
  csCreating = 0x40,
  csCustomPaint = 0x100
};

// Messages between controls. The framework's control messages start at CM_BASE; a control's
// own messages may use any number above it.
struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};
constexpr uint32_t CM_BASE = 0xB000;
enum : uint32_t {
  CM_ACTIVATE = CM_BASE + 0,
  CM_DEACTIVATE = CM_BASE + 1,
  CM_DIALOGKEY = CM_BASE + 5,
  CM_DIALOGCHAR = CM_BASE + 6,
  CM_FOCUSCHANGED = CM_BASE + 7,
  CM_PARENTFONTCHANGED = CM_BASE + 8,
  CM_PARENTCOLORCHANGED = CM_BASE + 9,
  CM_VISIBLECHANGED = CM_BASE + 11,
  CM_ENABLEDCHANGED = CM_BASE + 12,
  CM_COLORCHANGED = CM_BASE + 13,
  CM_FONTCHANGED = CM_BASE + 14,
  CM_CURSORCHANGED = CM_BASE + 15,
  CM_TEXTCHANGED = CM_BASE + 18,
  CM_MOUSEENTER = CM_BASE + 19,
  CM_MOUSELEAVE = CM_BASE + 20,
  CM_SHOWINGCHANGED = CM_BASE + 25,
  CM_ENTER = CM_BASE + 26,
  CM_EXIT = CM_BASE + 27,
  CM_SHOWHINTCHANGED = CM_BASE + 34,
  CM_SYSCOLORCHANGE = CM_BASE + 36,
  CM_CONTROLLISTCHANGE = CM_BASE + 44,
  CM_CHILDKEY = CM_BASE + 46,
  CM_INVALIDATE = CM_BASE + 52,
  CM_CONTROLCHANGE = CM_BASE + 54
};

enum TDragMode { dmManual, dmAutomatic };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int X, int Y)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// Runs fn, handing any exception to the application's handler instead of letting it leave.
void CallGuarded(const std::function<void()>& fn);

class TControl : public TComponent {
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* p);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int l, int t, int w, int h);
  TRect BoundsRect() const { return Bounds(left_, top_, width_, height_); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.Left, r.Top, r.Width(), r.Height()); }
  virtual TRect ClientRect() const { return Rect(0, 0, width_, height_); }
  int ClientWidth() const { return ClientRect().Width(); }
  int ClientHeight() const { return ClientRect().Height(); }
  virtual void SetClientWidth(int v);
  virtual void SetClientHeight(int v);
  TPoint ClientOrigin() const;  // screen position of the client area's top-left
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Showing() const;  // visible with every parent
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool v);

  // Caption and Text are one property, as in the framework.
  std::string Caption() const { return GetText(); }
  void SetCaption(const std::string& s) { SetText(s); }
  std::string Text() const { return GetText(); }
  void SetText(const std::string& s);

  TColor Color() const { return color_; }
  void SetColor(TColor c);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);
  TFont* Font() { return &font_; }
  void SetFont(TFont* f) { font_.Assign(f); }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  std::string Hint() const { return hint_; }
  void SetHint(const std::string& h);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  bool ParentShowHint() const { return parentShowHint_; }
  void SetParentShowHint(bool v);
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // Shows c over the control until Cursor changes or this is called again; Cursor stays as it is.
  void ShowCursorOver(TCursor c);
  // Shows the control's own Cursor again.
  void ShowOwnCursor() { ApplyCursor(); }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* m);
  uint32_t ControlStyle() const { return controlStyle_; }
  // csOpaque: the control paints every pixel it covers, so its parent is not painted under it.
  void SetControlStyle(uint32_t s);
  uint32_t ControlState() const { return controlState_; }

  // Paints the control again with the next frame (frames.h); Repaint and Update paint it now.
  virtual void Invalidate();
  // Paints the part r of the control again when the event loop next runs.
  void InvalidateRect(const TRect& r);
  virtual void Repaint();
  void Refresh() { Repaint(); }
  virtual void Update();
  void BringToFront();
  void SendToBack();

  intptr_t Perform(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Posts a message to this control; it is dropped when the control is destroyed first.
  void PostMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);

  // What was drawn on Canvas() outside Paint is shown as it is with the next frame (frames.h), and
  // stays so without a new Paint until the control is invalidated, repainted or resized. A whole
  // paint still owed (the control was invalidated, never painted, or only painted in part) is made
  // first.
  void UpdateFromCanvas();
  // The same when only r (client coordinates) of the canvas changed: what changed before a frame
  // is shown together, and nothing else of the control is painted again for it.
  void UpdateFromCanvas(const TRect& r);

  // The framework's own dragging between controls (not the desktop's): with dmAutomatic a drag
  // starts when the left button moves the mouse a few pixels; the control under the mouse is
  // asked through OnDragOver and gets OnDragDrop when it accepted; the source gets OnEndDrag.
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode m) { dragMode_ = m; }
  TCursor DragCursor() const { return dragCursor_; }
  void SetDragCursor(TCursor c) { dragCursor_ = c; }
  // Starts a drag now (immediate) or once the mouse has moved threshold pixels (-1: five).
  void BeginDrag(bool immediate, int threshold = -1);
  void EndDrag(bool drop);
  bool Dragging() const;
  TNotifyEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;

  // The control has its window (from its creation until it is destroyed).
  bool HandleAllocated() const;
  // The size the client area has on the screen now, which a form's layout may not have reached
  // yet; 0 x 0 without a window.
  TSize ShownClientSize() const;
  // Draws what the parent paints in area (the parent's client coordinates), the parent's children
  // left out, onto picture from its top-left corner; picture becomes a 32-bit picture. False, and
  // picture as it was, when the control does not lie directly on its parent's client area.
  bool PaintParentArea(TBitmap& picture, const TRect& area) const;
  std::string ClassName() const override { return "TControl"; }

  virtual void Click();
  virtual void DblClick();
  // Enter or Escape that the focused control did not take: a button answers when it is the
  // default (or the focused one) or the cancel button.
  virtual bool DialogKey(uint16_t key, TControl* focused) { return false; }
  virtual bool IsPushButton() const { return false; }
  // A plain letter (without Alt) may act as an accelerator while this control has the focus.
  virtual bool AcceptsPlainAccelerators() const { return false; }
  // The control paints itself through Canvas (TGraphicControl, TCustomControl and anything that
  // takes over the drawing of a Qt widget).
  virtual bool PaintsItself() const { return false; }

  // What the control is made of on the Qt side, and an event of its widgets (native_qt.h).
  struct Native;
  struct NativeEvent;
  Native& NativePart() const { return *native_; }
  // Called by the widget glue; not for general use. PaintTo fills the canvas through Paint when
  // the widget shows its picture.
  void PaintTo(const NativeEvent& e);
  bool HandleWidgetEvent(const NativeEvent& e);

protected:
  virtual std::string GetText() const { return text_; }
  virtual void SetTextRaw(const std::string& s);  // stores and shows the text
  virtual void WndProc(TMessage& m);
  virtual void Paint() {}
  // Called as the frame that shows what UpdateFromCanvas asked for is made (at once without a
  // frame clock), before the canvas is shown: a control that keeps its picture elsewhere brings
  // what changed onto Canvas() here, once a frame. part is what the frame is to show of the
  // control (null: all of it); the control may narrow it to what its canvas really changed by.
  virtual void CanvasDue(TRect* part) {}
  // Fills the picture before Paint: nothing for windowless controls, Color for windowed ones.
  virtual void PaintBackground(TCanvas& c) {}
  virtual void MouseDown(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseMove(TShiftState s, int x, int y);
  virtual void MouseUp(TMouseButton b, TShiftState s, int x, int y);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void DragOver(TObject* source, int x, int y, TDragState state, bool& accept);
  virtual void DragDrop(TObject* source, int x, int y);
  virtual void DoEndDrag(TObject* target, int x, int y);
  virtual void Resize();
  virtual void EnabledChanged();
  virtual void VisibleChanged();
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void TextChanged() { Invalidate(); }
  // Applies font, colours, cursor and hint to a Qt widget that draws itself.
  virtual void ApplyStyleToWidget();
  // True when an accelerator "&x" of this control matches ch; the control then acts on it.
  virtual bool DialogChar(char ch) { return false; }
  // True when ch (any case) is the Accelerator.
  bool AcceleratorIs(char ch) const;
  void Changed();
  void Notification(TComponent* c, TOperation op) override;
  TCanvas* ControlCanvas();
  bool InPaint() const { return inPaint_; }

public:
  bool DoDialogChar(char ch) { return enabled_ && Showing() && DialogChar(ch); }
  // The letter of the "&" accelerator that DialogChar answers to (upper case), 0 for none; for a
  // tab sheet, its tab's.
  virtual char Accelerator() const { return 0; }

private:
  friend class TWinControl;
  friend struct ControlAccess;
  friend class TCustomForm;
  void ParentFontChangedTo(const TFont& f);
  void ParentColorChangedTo(TColor c);
  void ApplyVisibility();
  void ApplyHint();
  void ApplyCursor();
  // Takes new bounds, a negative size as 0; false when they are the ones held. sized: the size changed.
  bool StoreBounds(int l, int t, int w, int h, bool& sized);
  void ApplyOpaque();
  friend struct DragTracker;

  TWinControl* parent_ = nullptr;
  std::unique_ptr<Native> native_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true, enabled_ = true;
  std::string text_;
  TColor color_ = clBtnFace;
  bool parentColor_ = true, parentFont_ = true;
  TFont font_;
  TAlign align_ = alNone;
  std::string hint_;
  bool showHint_ = false, parentShowHint_ = true;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
  TDragMode dragMode_ = dmManual;
  TCursor dragCursor_ = crDrag;
  uint32_t controlStyle_ = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  uint32_t controlState_ = 0;
  std::unique_ptr<TCanvas> canvas_;
  bool inPaint_ = false, showCanvasOnly_ = false, mouseInside_ = false;
  bool wholePaintOwed_ = true;
  std::unique_ptr<HiddenWindow> postWindow_;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const { return int(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(size_t(i)); }
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  bool ContainsControl(const TControl* c) const;

  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool v) {
    tabStop_ = v;
    ApplyFocusPolicy();
  }
  int TabOrder() const;
  void SetTabOrder(int order);
  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();

  void DisableAlign() { ++alignDisabled_; }
  void EnableAlign();
  void Realign() { AlignControls(); }

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  std::string ClassName() const override { return "TWinControl"; }
  // A click focuses the control (the system's own controls); a control that paints itself takes
  // the focus in its MouseDown when it wants it, and a click on it otherwise leaves the focus
  // where it is.
  virtual bool FocusesOnClick() const { return !PaintsItself(); }

  // The keyboard path (the application's key dispatch calls these).
  virtual bool DoKeyDown(uint16_t& key, TShiftState shift);
  virtual bool DoKeyPress(char& key);
  virtual bool DoKeyUp(uint16_t& key, TShiftState shift);
  // Keys the control wants for itself rather than its form (Enter in a multi-line edit).
  virtual bool WantsKey(uint16_t key, TShiftState shift) const { return false; }
  void DoEnter();
  void DoExit();

protected:
  void PaintBackground(TCanvas& c) override;
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void KeyUp(uint16_t& key, TShiftState shift);
  // The part of ClientRect that aligned children fill.
  virtual void AdjustClientRect(TRect& r) const {}
  virtual void AlignControls();
  void Resize() override;
  void FontChanged() override;
  void ColorChanged() override;
  void ApplyFocusPolicy();

private:
  friend class TControl;
  std::vector<TControl*> controls_;
  bool tabStop_ = false;
  int alignDisabled_ = 0;
  bool aligning_ = false;
};

// A windowless control: drawn through its canvas on its parent's surface.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* owner);
  TCanvas* Canvas() { return ControlCanvas(); }
  bool PaintsItself() const override { return true; }
  std::string ClassName() const override { return "TGraphicControl"; }
};

// A windowed control that paints itself through its canvas.
class TCustomControl : public TWinControl {
public:
  explicit TCustomControl(TComponent* owner);
  TCanvas* Canvas() { return ControlCanvas(); }
  bool PaintsItself() const override { return true; }
  std::string ClassName() const override { return "TCustomControl"; }
};

// Three-dimensional frame of the given width inside r; r shrinks by it.
void Frame3D(TCanvas& canvas, TRect& r, TColor topColor, TColor bottomColor, int width);

// The form that holds a control (null when it is on none).
TCustomForm* GetParentForm(const TControl* c);

// Where the mouse is on the screen.
TPoint CursorPos();
// Takes down the hint shown, if any.
void HideHint();
// True while the input belongs elsewhere than c's window: to a pop-up, or to a modal window that
// is not c's own.
bool InputHeldElsewhere(const TControl* c);

}  // namespace plat
