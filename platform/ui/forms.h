#pragma once
// Forms, the application object and the screen.
//
// A form's bounds are those of the whole window, caption and frame included, with the classic
// frame sizes of its border style; ClientWidth and ClientHeight are the area below its menu, where
// its controls lie. Forms are made with NewForm<T>(owner) or Application->CreateForm(ref), which
// fire OnCreate once the form's constructor has built its controls, and are freed with Free()
// (or by their owner), which fires OnDestroy while the form is still whole.
//
// The keyboard follows the framework's order: the shortcuts of pop-up menus (of the focused
// control and its parents) and of the form's menu first; then Enter and Escape for the default and
// cancel buttons; then OnKeyDown of the form (with KeyPreview) and of the focused control; then
// OnKeyPress likewise; Alt+letter (or a plain letter on a button) goes to the control whose
// caption has that accelerator, or opens the menu that has it. Qt's own shortcuts are kept out of
// forms so that none of this is bypassed.
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace plat {

class TMainMenu;
class FormWindow;
class KeyFilter;

using TModalResult = int;
enum : int {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
  mrNoToAll = 9,
  mrYesToAll = 10
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
using TBorderIcons = uint8_t;
enum : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TShortCutEvent = std::function<void(uint16_t Key, TShiftState Shift, bool& Handled)>;

class TCustomForm : public TWinControl {
public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;

  void SetBounds(int l, int t, int w, int h) override;
  TRect ClientRect() const override;
  void SetClientWidth(int v) override;
  void SetClientHeight(int v) override;

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons b);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState s);
  // The window fills the screen without caption or frame.
  void SetFullScreen(bool on);
  bool FullScreen() const { return fullScreen_; }
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool v) { keyPreview_ = v; }
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* m);
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* c);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }
  bool Active() const;
  // The window shows only this region of its client area (client coordinates); an empty region
  // shows it whole.
  void SetWindowRegion(const TRegion& clientRegion);
  // Takes the window system's frame and caption off the window, or gives them back; the border
  // style stays as it is. A frame the window does not have is not taken off.
  void SetFrameHidden(bool hidden);
  // Lets the window system move the window with the mouse, as by its caption; false where it
  // cannot.
  bool StartSystemMove();
  // The picture the window shows as its icon (its own, else the program's), size x size pixels;
  // empty without one.
  TPicture WindowIcon(int size) const;
  bool Modal() const { return modal_; }

  void SetVisible(bool v) override;
  // Shows the form and runs until its ModalResult is set; raises EInvalidOperation
  // "Cannot make a visible window modal" for a form that is already showing.
  int ShowModal();
  void Close();
  // What the window system's close box does: closes the form as Close does, unless another
  // window is modal, which shuts this one off from the user.
  void ClickCloseBox();
  bool CloseQuery();
  // Frees the form once the event being handled has finished.
  void Release();
  void SetFocus() override;
  void BringToFront();
  TCanvas* Canvas() { return ControlCanvas(); }
  bool PaintsItself() const override { return true; }

  // Fires OnCreate; NewForm and CreateForm call it once the constructor is done.
  void DoCreate();

  // The picture of the title bar and the task switcher; an empty one shows the application's.
  const TBitmap& Icon() const { return icon_; }
  void SetIcon(const TBitmap& icon);

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TShortCutEvent OnShortCut;

  // The keyboard path, for the application's key dispatch.
  bool IsShortCut(uint16_t key, TShiftState shift, TControl* focused);
  using TControl::DialogKey;
  bool DialogKey(uint16_t key, TShiftState shift, TControl* focused);
  bool DialogChar(char ch) override;

  // Frame and caption sizes of a border style, as the window's bounds count them.
  static int FrameWidth(TBorderStyle s);
  static int CaptionHeight(TBorderStyle s);
  static constexpr int kMenuHeight = 19;

  std::string ClassName() const override { return "TCustomForm"; }

protected:
  void BeforeDestruction() override;
  void Notification(TComponent* c, TOperation op) override;
  void Paint() override;
  void PaintBackground(TCanvas& c) override;
  void SetTextRaw(const std::string& s) override;
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& action);

private:
  friend class FormWindow;
  void ApplyWindowFlags();
  void LayoutWindow();
  // Raises this window and then every shown stay-on-top form above it, whether or not a window
  // manager keeps them there.
  void RaiseWindow();
  void PlaceOnFirstShow();
  void CloseModal();
  void WindowResized(int w, int h);
  void WindowMoved(int x, int y);
  void WindowClosing();
  void ActivationChanged(bool active);
  int NonClientWidth() const;
  int NonClientHeight() const;

  FormWindow* window_ = nullptr;  // holds the client area and the menu bar
  TBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_ = biSystemMenu | biMinimize | biMaximize;
  TFormStyle formStyle_ = fsNormal;
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  bool fullScreen_ = false, keyPreview_ = false, modal_ = false, created_ = false, destroyed_ = false, placed_ = false,
       active_ = false;
  TMainMenu* menu_ = nullptr;
  TWinControl* activeControl_ = nullptr;
  TModalResult modalResult_ = mrNone;
  TBitmap icon_;
  bool frameHidden_ = false;
  int shownFlags_ = 0;  // the window's flags before its frame was taken off
};

class TForm : public TCustomForm {
public:
  explicit TForm(TComponent* owner) : TCustomForm(owner) {}
  std::string ClassName() const override { return "TForm"; }
};

template <class T>
T* NewForm(TComponent* owner) {
  T* f = new T(owner);
  f->DoCreate();
  return f;
}

// Message box flags and answers of Application->MessageBox.
enum : int {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_ICONHAND = 0x10,
  MB_ICONERROR = 0x10,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,
  IDOK = 1,
  IDCANCEL = 2,
  IDABORT = 3,
  IDRETRY = 4,
  IDIGNORE = 5,
  IDYES = 6,
  IDNO = 7
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

// The application object. Make it right after Qt's application object; it lets the message queue of
// platform/messages run on Qt's event loop, marks the UI thread, and takes the exceptions that
// code below the GUI hands up.
class TApplication : public TComponent {
public:
  TApplication();
  ~TApplication() override;

  void Initialize() {}
  template <class T>
  void CreateForm(T*& ref) {
    ref = NewForm<T>(this);
    if (!mainForm_) mainForm_ = ref;
  }
  // Shows the main form (unless ShowMainForm is off) and runs until Terminate or its close.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles everything pending (Qt events and posted messages) and returns.
  void ProcessMessages();
  // Waits for at least one event and handles what is pending.
  void HandleMessage();

  // Shows the exception's message (or hands it to OnException) and carries on. EAbort is silent.
  void HandleException(std::exception_ptr e);
  void ShowException(const std::exception& e);
  TExceptionEvent OnException;

  // A message box through the dialog service; returns IDOK, IDYES, ...
  int MessageBox(const std::string& text, const std::string& caption, int flags);

  TCustomForm* MainForm() const { return mainForm_; }
  void SetMainForm(TCustomForm* f) { mainForm_ = f; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t);
  std::string ExeName() const;
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v);
  bool ShowMainForm = true;
  // The program's picture: windows without one of their own show it.
  const TBitmap& Icon() const { return icon_; }
  void SetIcon(const TBitmap& icon);
  void Minimize();
  void Restore();
  void BringToFront();
  bool Active() const;

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  std::string ClassName() const override { return "TApplication"; }

protected:
  void Notification(TComponent* c, TOperation op) override;

private:
  // The key dispatch of the forms (installed on Qt's application object).
  friend class KeyFilter;
  bool DispatchKey(const TControl::NativeEvent& e);
  KeyFilter* filter_ = nullptr;
  TCustomForm* mainForm_ = nullptr;
  std::string title_;
  TBitmap icon_;
  bool terminated_ = false, showHint_ = true, resending_ = false;
};

extern TApplication* Application;

class TScreen : public TComponent {
public:
  explicit TScreen(TComponent* owner);
  ~TScreen() override;
  int Width() const;
  int Height() const;
  TRect WorkAreaRect() const;
  int PixelsPerInch() const { return 96; }
  TCustomForm* ActiveForm() const;
  // The form of the window that takes the input while a modal window is up (the innermost of
  // nested ones); null when none is, or when it is not a form.
  TCustomForm* ModalForm() const;
  // What takes the input when it is no form: "PopupMenu", "MessageBox", "FileDialog", or
  // "Window" for another modal window; empty while nothing or a form does.
  std::string OpenBox() const;
  TWinControl* ActiveControl() const;
  int FormCount() const { return int(forms_.size()); }
  TCustomForm* Forms(int i) const { return forms_.at(size_t(i)); }
  // A cursor other than crDefault shows everywhere until set back.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // The program's own cursors, by number: the picture's pixels of the transparent colour (that of
  // its bottom-left pixel) do not show.
  void SetCursorImage(int id, const TBitmap& image, int hotX, int hotY);
  bool HasCursorImage(int id) const;
  std::string ClassName() const override { return "TScreen"; }

  // The cursors on the Qt side (native_qt.h).
  struct Native;
  Native& NativePart() const { return *native_; }

private:
  friend class TCustomForm;
  std::vector<TCustomForm*> forms_;
  TCursor cursor_ = crDefault;
  std::unique_ptr<Native> native_;
};

extern TScreen* Screen;

// Bits per pixel of the screen (24 without one).
int ScreenColorBits();
// The primary screen's area, or what of it windows may use (without panels and docks); 1024 x 768
// without a screen.
TRect PrimaryScreenRect(bool workArea);
// The system's warning sound.
void Beep();
// Runs fn once on the UI thread after ms milliseconds, when the event loop runs.
void CallLater(int ms, std::function<void()> fn);
// From any thread: fn runs on the UI thread as an event of its own, in turn with input, so the
// loops of modal windows run it too.
void PostToEventLoop(std::function<void()> fn);

// Keyboard input as the keyboard gives it, for a channel that drives the program from outside:
// it goes to the focused control of the front window (the modal window, else the main form). A
// key by its portable name ("Ctrl+G", "F5", "Alt+B", "a") is pressed and released; false for a
// name that names no key.
bool SendKeyPress(const std::string& name);
// Types text a character at a time, capitals with Shift.
void SendText(const std::string& text);

}  // namespace plat
