#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <atomic>

#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/system/threads.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

// ---- the form's window ------------------------------------------------------------------------

class FormWindow : public QWidget {
public:
  explicit FormWindow(TCustomForm* f) : QWidget(nullptr, Qt::Window), form_(f) {}
  void Detach() { form_ = nullptr; }

  QWidget* client = nullptr;  // where the controls lie, below the menu
  MenuBarWidget* menuBar = nullptr;

protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (form_) form_->WindowClosing();
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (form_) form_->WindowResized(width(), height());
  }
  void moveEvent(QMoveEvent* e) override {
    QWidget::moveEvent(e);
    if (form_) form_->WindowMoved(x(), y());
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (form_ && e->type() == QEvent::ActivationChange) form_->ActivationChanged(isActiveWindow());
  }

private:
  TCustomForm* form_;
};

// ---- TCustomForm ------------------------------------------------------------------------------

int TCustomForm::FrameWidth(TBorderStyle s) {
  switch (s) {
    case bsNone: return 0;
    case bsSizeable:
    case bsSizeToolWin: return 4;
    default: return 3;
  }
}

int TCustomForm::CaptionHeight(TBorderStyle s) {
  switch (s) {
    case bsNone: return 0;
    case bsToolWindow:
    case bsSizeToolWin: return 16;
    default: return 19;
  }
}

int TCustomForm::NonClientWidth() const { return fullScreen_ ? 0 : 2 * FrameWidth(borderStyle_); }

int TCustomForm::NonClientHeight() const {
  int h = fullScreen_ ? 0 : CaptionHeight(borderStyle_) + 2 * FrameWidth(borderStyle_);
  return h + (window_->menuBar ? kMenuHeight : 0);
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
  visible_ = false;
  color_ = clBtnFace;
  parentColor_ = false;
  parentFont_ = false;
  window_ = new FormWindow(this);
  window_->client = new ControlWidget(this);
  window_->client->setParent(window_);
  window_->client->setMouseTracking(true);
  SetWidget(this, window_);
  SetClientWidget(this, window_->client);
  RegisterWidget(window_->client, this);
  window_->client->installEventFilter(GlueOf(this));
  window_->client->show();
  QPalette pal = window_->palette();
  pal.setColor(QPalette::Window, ToQColor(color_));
  window_->setPalette(pal);
  window_->setAutoFillBackground(true);
  ApplyWindowFlags();
  left_ = top_ = 0;
  width_ = height_ = 0;
  SetBounds(0, 0, 320, 240);
  if (Screen) Screen->forms_.push_back(this);
}

TCustomForm::~TCustomForm() {
  if (!destroyed_) BeforeDestruction();
  if (Screen) {
    auto& v = Screen->forms_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
  if (menu_) {
    menu_->SetMenuBar(nullptr);
    menu_ = nullptr;
  }
  window_->Detach();
  static_cast<ControlWidget*>(window_->client)->Detach();
  // The controls go first (TWinControl), the window after them (TControl).
  UnregisterWidget(window_->client);
}

void TCustomForm::BeforeDestruction() {
  if (destroyed_) return;
  destroyed_ = true;
  if (window_->isVisible()) window_->hide();
  if (OnDestroy) CallGuarded([&] { OnDestroy(this); });
  TWinControl::BeforeDestruction();
}

void TCustomForm::DoCreate() {
  if (created_) return;
  created_ = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::ApplyWindowFlags() {
  const bool wasVisible = window_->isVisible();
  Qt::WindowFlags f = Qt::Window;
  switch (borderStyle_) {
    case bsNone: f |= Qt::FramelessWindowHint; break;
    case bsDialog: f = Qt::Dialog; break;
    case bsToolWindow:
    case bsSizeToolWin: f = Qt::Tool; break;
    default: break;
  }
  if (borderStyle_ != bsNone) {
    f |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (borderIcons_ & biSystemMenu) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (borderStyle_ != bsDialog && borderStyle_ != bsToolWindow && borderStyle_ != bsSizeToolWin) {
      if (borderIcons_ & biMinimize) f |= Qt::WindowMinimizeButtonHint;
      if (borderIcons_ & biMaximize) f |= Qt::WindowMaximizeButtonHint;
    }
    if (borderIcons_ & biHelp) f |= Qt::WindowContextHelpButtonHint;
  }
  if (formStyle_ == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  window_->setWindowFlags(f);
  if (wasVisible) window_->show();
  LayoutWindow();
}

void TCustomForm::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  ApplyWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons b) {
  if (b == borderIcons_) return;
  borderIcons_ = b;
  ApplyWindowFlags();
}

void TCustomForm::SetFormStyle(TFormStyle s) {
  if (s == formStyle_) return;
  formStyle_ = s;
  ApplyWindowFlags();
}

void TCustomForm::LayoutWindow() {
  const int cw = std::max(1, width_ - NonClientWidth());
  const int ch = std::max(1, height_ - NonClientHeight() + (window_->menuBar ? kMenuHeight : 0));
  const bool fixed = borderStyle_ != bsSizeable && borderStyle_ != bsSizeToolWin && !fullScreen_;
  if (!fullScreen_ && windowState_ == wsNormal) {
    if (fixed) {
      window_->setFixedSize(cw, ch);
    } else {
      window_->setMinimumSize(0, 0);
      window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    window_->move(left_, top_);
    window_->resize(cw, ch);
  }
  const int menuH = window_->menuBar ? kMenuHeight : 0;
  if (window_->menuBar) window_->menuBar->setGeometry(0, 0, window_->width(), menuH);
  window_->client->setGeometry(0, menuH, window_->width(), std::max(0, window_->height() - menuH));
}

void TCustomForm::SetBounds(int l, int t, int w, int h) {
  bool sized = false;
  if (!StoreBounds(l, t, w, h, sized)) return;
  LayoutWindow();
  if (sized) Resize();
}

TRect TCustomForm::ClientRect() const {
  return Rect(0, 0, std::max(0, width_ - NonClientWidth()), std::max(0, height_ - NonClientHeight()));
}

void TCustomForm::SetClientWidth(int v) { SetBounds(left_, top_, v + NonClientWidth(), height_); }
void TCustomForm::SetClientHeight(int v) { SetBounds(left_, top_, width_, v + NonClientHeight()); }

void TCustomForm::WindowResized(int w, int h) {
  const int menuH = window_->menuBar ? kMenuHeight : 0;
  if (window_->menuBar) window_->menuBar->setGeometry(0, 0, w, menuH);
  window_->client->setGeometry(0, menuH, w, std::max(0, h - menuH));
  const int fw = w + NonClientWidth(), fh = h + NonClientHeight() - menuH;
  if (fw == width_ && fh == height_) return;
  width_ = fw;
  height_ = fh;
  CallGuarded([&] { Resize(); });
}

void TCustomForm::WindowMoved(int x, int y) {
  if (fullScreen_ || windowState_ != wsNormal) return;
  left_ = x;
  top_ = y;
}

void TCustomForm::WindowClosing() {
  CallGuarded([&] { Close(); });
}

void TCustomForm::ClickCloseBox() {
  // Qt hands on no close from the window system to a window that a modal one blocks.
  const QWindow* modal = QGuiApplication::modalWindow();
  if (modal && modal != window_->windowHandle()) return;
  WindowClosing();
}

void TCustomForm::ActivationChanged(bool active) {
  if (active == active_) return;
  active_ = active;
  CallGuarded([&] {
    if (active) {
      if (OnActivate) OnActivate(this);
    } else {
      if (OnDeactivate) OnDeactivate(this);
    }
  });
}

bool TCustomForm::Active() const { return active_ || window_->isActiveWindow(); }

void TCustomForm::SetWindowRegion(const TRegion& clientRegion) {
  QRegion mask = QRegionOf(clientRegion);
  mask.translate(window_->client->mapTo(window_, QPoint(0, 0)));
  // An empty mask would show nothing at all.
  if (mask.isEmpty()) window_->clearMask();
  else window_->setMask(mask);
}

void TCustomForm::SetFrameHidden(bool hidden) {
  if (hidden == frameHidden_) return;
  QWidget* w = window_;
  if (hidden && (w->windowFlags() & Qt::FramelessWindowHint)) return;
  // Qt drops the frameless hint beside title and button hints, so the window's kind is kept
  // alone with it, and its flags are given back when the frame returns.
  const bool visible = w->isVisible();
  if (hidden) {
    shownFlags_ = int(w->windowFlags());
    w->setWindowFlags((w->windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint)) | Qt::FramelessWindowHint);
  } else {
    w->setWindowFlags(Qt::WindowFlags(shownFlags_));
  }
  frameHidden_ = hidden;
  if (visible) w->show();
}

bool TCustomForm::StartSystemMove() { return window_->windowHandle() && window_->windowHandle()->startSystemMove(); }

TPicture TCustomForm::WindowIcon(int size) const {
  TPicture picture;
  const QIcon icon = window_->windowIcon();
  if (!icon.isNull()) picture.NativePart().image = icon.pixmap(size, size).toImage();
  return picture;
}

void TCustomForm::SetMenu(TMainMenu* m) {
  if (m == menu_) return;
  if (menu_) {
    menu_->SetMenuBar(nullptr);
    menu_->RemoveFreeNotification(this);
  }
  menu_ = m;
  if (m && !window_->menuBar) {
    window_->menuBar = new MenuBarWidget(window_);
    window_->menuBar->setNativeMenuBar(false);
    window_->menuBar->setFixedHeight(kMenuHeight);
    window_->menuBar->show();
  } else if (!m && window_->menuBar) {
    delete window_->menuBar;
    window_->menuBar = nullptr;
  }
  if (m) {
    m->FreeNotification(this);
    m->SetMenuBar(window_->menuBar);
  }
  // The form keeps its outer size: the menu bar's height comes out of the client area, as the
  // forms' sizes count it.
  LayoutWindow();
  Resize();
}

void TCustomForm::SetActiveControl(TWinControl* c) {
  if (c == activeControl_) return;
  if (activeControl_) activeControl_->RemoveFreeNotification(this);
  activeControl_ = c;
  if (c) {
    c->FreeNotification(this);
    if (window_->isVisible() && c->CanFocus()) c->SetFocus();
  }
}

void TCustomForm::Notification(TComponent* c, TOperation op) {
  TWinControl::Notification(c, op);
  if (op != opRemove) return;
  if (c == menu_) {
    menu_ = nullptr;
    delete window_->menuBar;
    window_->menuBar = nullptr;
    LayoutWindow();
  }
  if (c == activeControl_) activeControl_ = nullptr;
}

void TCustomForm::SetTextRaw(const std::string& s) {
  TWinControl::SetTextRaw(s);
  window_->setWindowTitle(QString::fromStdString(s));
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

QEvent::Type TEraseBackgroundEvent::EventType() {
  static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
  return type;
}

void TCustomForm::PaintBackground(TCanvas& c) {
  TEraseBackgroundEvent e(&c);
  if (window_) QCoreApplication::sendEvent(window_, &e);
  if (!e.Painted()) TWinControl::PaintBackground(c);
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TCustomForm::PlaceOnFirstShow() {
  placed_ = true;
  TRect area = Screen ? Screen->WorkAreaRect() : Rect(0, 0, 1024, 768);
  TCustomForm* around = nullptr;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter: break;
    case poMainFormCenter: around = Application ? Application->MainForm() : nullptr; break;
    case poOwnerFormCenter: around = dynamic_cast<TCustomForm*>(Owner()); break;
    default: return;
  }
  if (around == this) around = nullptr;
  if (around) area = around->BoundsRect();
  SetBounds(area.Left + (area.Width() - width_) / 2, area.Top + (area.Height() - height_) / 2, width_, height_);
}

namespace {
// The first control in tab order that can take the focus.
TWinControl* FirstFocusable(TWinControl* parent) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    auto* w = dynamic_cast<TWinControl*>(parent->Controls(i));
    if (!w || !w->Visible() || !w->Enabled()) continue;
    if (w->TabStop() && w->CanFocus()) return w;
    if (TWinControl* inner = FirstFocusable(w)) return inner;
  }
  return nullptr;
}
}  // namespace

void TCustomForm::SetVisible(bool v) {
  if (v == visible_ && v == window_->isVisible()) return;
  visible_ = v;
  if (v) {
    DoCreate();
    if (!placed_) PlaceOnFirstShow();
    DoShow();
    if (!visible_) return;  // OnShow may hide the form again
    if (fullScreen_) window_->showFullScreen();
    else if (windowState_ == wsMaximized) window_->showMaximized();
    else if (windowState_ == wsMinimized) window_->showMinimized();
    else window_->show();
    RaiseWindow();
    window_->activateWindow();
    QWidget* focus = window_->focusWidget();
    if (activeControl_ && activeControl_->CanFocus()) {
      activeControl_->SetFocus();
    } else if (!focus || focus == window_) {
      if (TWinControl* first = FirstFocusable(this)) first->SetFocus();
    }
  } else {
    DoHide();
    window_->hide();
  }
  Perform(CM_VISIBLECHANGED, v);
}

void TCustomForm::SetWindowState(TWindowState s) {
  if (s == windowState_) return;
  windowState_ = s;
  if (!window_->isVisible()) return;
  switch (s) {
    case wsNormal:
      window_->showNormal();
      LayoutWindow();
      break;
    case wsMinimized: window_->showMinimized(); break;
    case wsMaximized: window_->showMaximized(); break;
  }
}

void TCustomForm::SetFullScreen(bool on) {
  if (on == fullScreen_) return;
  fullScreen_ = on;
  if (on) {
    TRect area = Screen ? Rect(0, 0, Screen->Width(), Screen->Height()) : Rect(0, 0, 1024, 768);
    left_ = area.Left;
    top_ = area.Top;
    width_ = area.Width();
    height_ = area.Height() + (window_->menuBar ? 0 : 0);
    window_->setMinimumSize(0, 0);
    window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (window_->isVisible()) window_->showFullScreen();
    window_->setGeometry(0, 0, width_, height_);
    LayoutWindow();
  } else {
    if (window_->isVisible()) window_->showNormal();
    LayoutWindow();
  }
  Resize();
}

void TCustomForm::SetFocus() {
  if (!window_->isVisible()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  RaiseWindow();
  window_->activateWindow();
}

namespace {
QIcon IconOf(const TBitmap& b) { return b.Empty() ? QIcon() : QIcon(QPixmap::fromImage(ImageOf(b))); }
}  // namespace

void TCustomForm::SetIcon(const TBitmap& icon) {
  plat::SetImage(icon_, ImageOf(icon));
  window_->setWindowIcon(IconOf(icon_));
}

void TCustomForm::BringToFront() {
  RaiseWindow();
  window_->activateWindow();
}

void TCustomForm::RaiseWindow() {
  window_->raise();
  if (formStyle_ == fsStayOnTop || !Screen) return;
  for (TCustomForm* f : Screen->forms_)
    if (f != this && f->formStyle_ == fsStayOnTop && f->window_->isVisible()) f->window_->raise();
}

int TCustomForm::ShowModal() {
  if (visible_ || modal_ || !Enabled()) throw EInvalidOperation("Cannot make a visible window modal");
  modal_ = true;
  modalResult_ = mrNone;
  // The window that had the keyboard gets it back afterwards, with or without a window manager
  // to hand it over.
  QPointer<QWidget> previous = QApplication::activeWindow();
  window_->setWindowModality(Qt::ApplicationModal);
  struct Restore {
    TCustomForm* f;
    ~Restore() {
      f->window_->setWindowModality(Qt::NonModal);
      f->modal_ = false;
    }
  } restore{this};
  Show();
  while (modalResult_ == mrNone) {
    if (Application) Application->HandleMessage();
    else QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (Application && Application->Terminated()) modalResult_ = mrCancel;
    else if (modalResult_ != mrNone) CloseModal();
    if (modalResult_ == mrNone && !window_->isVisible()) modalResult_ = mrCancel;
  }
  if (visible_) Hide();
  if (previous && previous != window_ && previous->isVisible()) previous->activateWindow();
  return modalResult_;
}

void TCustomForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    DoClose(action);
  }
  switch (action) {
    case caNone: modalResult_ = mrNone; break;
    case caFree: Release(); break;
    default: break;
  }
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::Close() {
  if (modal_) {
    modalResult_ = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::Release() {
  if (visible_) Hide();
  TCustomForm* self = this;
  QMetaObject::invokeMethod(
      qApp,
      [self] {
        // Only a form that still exists is freed.
        if (Screen) {
          auto& v = Screen->forms_;
          if (std::find(v.begin(), v.end(), self) == v.end()) return;
        }
        self->Free();
      },
      Qt::QueuedConnection);
}

namespace {
template <typename Fn>
bool Broadcast(TWinControl* parent, Fn fn) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (fn(c)) return true;
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (Broadcast(w, fn)) return true;
  }
  return false;
}
}  // namespace

bool TCustomForm::IsShortCut(uint16_t key, TShiftState shift, TControl* focused) {
  for (TControl* c = focused; c; c = c->Parent())
    if (c->PopupMenu() && c->PopupMenu()->IsShortCut(key, shift)) return true;
  if (OnShortCut) {
    bool handled = false;
    OnShortCut(key, shift, handled);
    if (handled) return true;
  }
  return menu_ && menu_->IsShortCut(key, shift);
}

bool TCustomForm::DialogKey(uint16_t key, TShiftState shift, TControl* focused) {
  if (shift != 0) return false;
  return Broadcast(this, [&](TControl* c) { return c->DialogKey(key, focused); });
}

bool TCustomForm::DialogChar(char ch) {
  if (Broadcast(this, [&](TControl* c) { return c->DoDialogChar(ch); })) return true;
  return menu_ && menu_->OpenByAccelerator(ch);
}

// ---- the application --------------------------------------------------------------------------

namespace {

std::atomic<bool> g_wakeScheduled{false};

void PumpQueue() {
  g_wakeScheduled = false;
  try {
    plat::ProcessMessages();
  } catch (...) {
    // The messages behind the one that failed are still waiting: run them in a later turn.
    if (PendingMessages() && !g_wakeScheduled.exchange(true))
      QMetaObject::invokeMethod(QCoreApplication::instance(), &PumpQueue, Qt::QueuedConnection);
    if (Application) Application->HandleException(std::current_exception());
  }
}

}  // namespace

class KeyFilter : public QObject {
public:
  bool eventFilter(QObject* o, QEvent* e) override {
    switch (e->type()) {
      case QEvent::ShortcutOverride:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
        return Application && o->isWidgetType() && Application->DispatchKey({static_cast<QWidget*>(o), e, {}});
      default: return false;
    }
  }
};

TApplication::TApplication() : TComponent(nullptr) {
  Application = this;
  MarkUiThread();
  // The flag is process-wide: one left by an application that ended before must not cut this
  // one's waits short or stop its connectors' feeding.
  SetTerminating(false);
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) app->setQuitOnLastWindowClosed(false);
  Screen = new TScreen(this);
  title_ = ExtractFileName(ExeName());
  auto* filter = new KeyFilter;
  filter_ = filter;
  QCoreApplication::instance()->installEventFilter(filter);
  SetWakeHook([] {
    // Coalesced: one queued run drains whatever is pending when it runs.
    if (g_wakeScheduled.exchange(true)) return;
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, &PumpQueue, Qt::QueuedConnection);
  });
  SetEventPump([](int ms) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max(ms, 0));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  });
  SetExceptionHandler([](const std::exception_ptr& e) {
    if (Application) Application->HandleException(e);
  });
  SetMessageBoxHook([](const std::string& text, const std::string& caption) {
    if (Application) Application->MessageBox(text, caption, MB_OK);
  });
  SetBusyCursorHook([](bool busy) {
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
  });
  if (auto scripted = ScriptedServiceFromEnvironment()) SetDialogService(scripted);
  // Messages posted before we were here need a wake of their own.
  if (PendingMessages()) QMetaObject::invokeMethod(QCoreApplication::instance(), &PumpQueue, Qt::QueuedConnection);
}

TApplication::~TApplication() {
  DestroyComponents();
  SetWakeHook(nullptr);
  SetEventPump(nullptr);
  SetExceptionHandler(nullptr);
  SetMessageBoxHook(nullptr);
  SetBusyCursorHook(nullptr);
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(filter_);
  delete filter_;
  Screen = nullptr;
  Application = nullptr;
}

void TApplication::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == opRemove && c == mainForm_) mainForm_ = nullptr;
  if (op == opRemove && c == Screen) Screen = nullptr;
}

void TApplication::Run() {
  // A failure while the main window first shows is reported like any other; the program goes on.
  if (mainForm_ && ShowMainForm) {
    try {
      mainForm_->Show();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
  while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
  terminated_ = true;
  plat::SetTerminating(true);
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

void TApplication::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  PumpQueue();
}

void TApplication::HandleMessage() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TApplication::HandleException(std::exception_ptr e) {
  if (!e) return;
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
  } catch (const std::exception& ex) {
    if (OnException) OnException(this, ex);
    else ShowException(ex);
  } catch (...) {
    ShowException(Exception("Unknown exception"));
  }
}

void TApplication::ShowException(const std::exception& e) {
  std::string msg = e.what();
  if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.') msg += '.';
  MessageBox(msg, title_, MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, int flags) {
  MessageRequest r;
  r.text = text;
  r.caption = caption;
  switch (flags & 0xF0) {
    case MB_ICONERROR: r.type = mtError; break;
    case MB_ICONQUESTION: r.type = mtConfirmation; break;
    case MB_ICONWARNING: r.type = mtWarning; break;
    case MB_ICONINFORMATION: r.type = mtInformation; break;
    default: r.type = mtCustom; break;
  }
  std::vector<TMsgDlgBtn> order;
  switch (flags & 0xF) {
    case MB_OKCANCEL: order = {mbOK, mbCancel}; break;
    case MB_ABORTRETRYIGNORE: order = {mbAbort, mbRetry, mbIgnore}; break;
    case MB_YESNOCANCEL: order = {mbYes, mbNo, mbCancel}; break;
    case MB_YESNO: order = {mbYes, mbNo}; break;
    case MB_RETRYCANCEL: order = {mbRetry, mbCancel}; break;
    default: order = {mbOK}; break;
  }
  r.buttons = 0;
  for (auto b : order) r.buttons |= Btn(b);
  r.defaultButton = order[(flags & MB_DEFBUTTON2) && order.size() > 1 ? 1 : 0];
  r.cancelButton = r.buttons & Btn(mbCancel) ? mbCancel : r.buttons & Btn(mbNo) ? mbNo : order.back();
  return Dialogs().Message(r);
}

void TApplication::SetTitle(const std::string& t) {
  title_ = t;
  QCoreApplication::setApplicationName(QString::fromStdString(t));
}

void TApplication::SetIcon(const TBitmap& icon) {
  plat::SetImage(icon_, ImageOf(icon));
  QApplication::setWindowIcon(IconOf(icon_));
}

std::string TApplication::ExeName() const {
  return ExecutableFolder() + QCoreApplication::applicationFilePath().section('/', -1).toStdString();
}

void TApplication::SetShowHint(bool v) {
  showHint_ = v;
  QApplication::setEffectEnabled(Qt::UI_AnimateTooltip, false);
  if (Screen)
    for (int i = 0; i < Screen->FormCount(); ++i) Screen->Forms(i)->Perform(CM_SHOWHINTCHANGED);
}

void TApplication::Minimize() {
  if (mainForm_) mainForm_->SetWindowState(wsMinimized);
}

void TApplication::Restore() {
  if (mainForm_) mainForm_->SetWindowState(wsNormal);
}

void TApplication::BringToFront() {
  if (mainForm_) mainForm_->BringToFront();
}

bool TApplication::Active() const { return QApplication::activeWindow() != nullptr; }

bool TApplication::DispatchKey(const TControl::NativeEvent& ev) {
  // Only the changed character this dispatch hands on is let through untouched: keys of a modal
  // window that a key's handler opened are dispatched as any others.
  if (resending_) return false;
  QWidget* w = ev.widget;
  QEvent* e = ev.event;
  // Only the widget the key was sent to acts, not the parents Qt passes it on to.
  QWidget* focus = w->window()->focusWidget();
  if (focus ? focus != w : !w->isWindow()) return false;
  TControl* control = ControlOf(w);
  if (!control) return false;
  TCustomForm* form = GetParentForm(control);
  if (!form) return false;
  auto* ke = static_cast<QKeyEvent*>(e);
  if (e->type() == QEvent::ShortcutOverride) {
    e->accept();
    return true;
  }
  TWinControl* wc = dynamic_cast<TWinControl*>(control);
  for (TControl* c = control; !wc && c; c = c->Parent()) wc = dynamic_cast<TWinControl*>(c);
  uint16_t key = VirtualKeyOf(ke->key(), ke->modifiers() & Qt::KeypadModifier);
  const TShiftState shift = ShiftStateOf(int(ke->modifiers()));
  bool consumed = false;
  CallGuarded([&] {
    if (e->type() == QEvent::KeyRelease) {
      uint16_t k = key;
      if (k && form->KeyPreview() && form != wc && form->DoKeyUp(k, shift)) consumed = true;
      else if (k && wc && wc->DoKeyUp(k, shift)) consumed = true;
      return;
    }
    if (key && form->IsShortCut(key, shift, control)) {
      consumed = true;
      return;
    }
    if ((key == VK_RETURN || key == VK_ESCAPE) && !(wc && wc->WantsKey(key, shift)) &&
        form->DialogKey(key, shift, wc)) {
      consumed = true;
      return;
    }
    if (key) {
      uint16_t k = key;
      if (form->KeyPreview() && form != wc && form->DoKeyDown(k, shift)) {
        consumed = true;
        return;
      }
      if (wc && wc->DoKeyDown(k, shift)) {
        consumed = true;
        return;
      }
    }
    // The character the key types.
    char ch = 0;
    const QString text = ke->text();
    if (text.size() == 1 && text[0].unicode() < 128) ch = char(text[0].unicode());
    if ((shift & ssAlt) && !(shift & ssCtrl) && key >= '0' && key <= 'Z') ch = char(tolower(key));
    if (!ch) return;
    if ((shift & ssAlt) && !(shift & ssCtrl)) {
      consumed = form->DialogChar(ch);
      return;
    }
    char kp = ch;
    if (form->KeyPreview() && form != wc && form->DoKeyPress(kp)) {
      consumed = true;
      return;
    }
    if (wc && wc->DoKeyPress(kp)) {
      consumed = true;
      return;
    }
    if (kp != ch) {
      // A handler changed the character: the widget gets the new one.
      QKeyEvent changed(QEvent::KeyPress, ke->key(), ke->modifiers(), QString(QChar(kp)));
      resending_ = true;
      QCoreApplication::sendEvent(w, &changed);
      resending_ = false;
      consumed = true;
      return;
    }
    if (!(shift & (ssCtrl | ssAlt)) && wc && wc->AcceptsPlainAccelerators() && form->DialogChar(ch)) consumed = true;
  });
  return consumed;
}

// ---- the screen -------------------------------------------------------------------------------

TScreen::TScreen(TComponent* owner) : TComponent(owner), native_(std::make_unique<Native>()) {}

TScreen::~TScreen() {
  if (cursor_ != crDefault) QApplication::restoreOverrideCursor();
}

int TScreen::Width() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 1024;
}

int TScreen::Height() const {
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 768;
}

TRect TScreen::WorkAreaRect() const {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return Rect(0, 0, 1024, 768);
  QRect r = s->availableGeometry();
  return Bounds(r.x(), r.y(), r.width(), r.height());
}

void Beep() { QApplication::beep(); }

void CallLater(int ms, std::function<void()> fn) {
  QTimer::singleShot(ms, QCoreApplication::instance(), [fn = std::move(fn)] { CallGuarded(fn); });
}

void PostToEventLoop(std::function<void()> fn) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [fn = std::move(fn)] { CallGuarded(fn); }, Qt::QueuedConnection);
}

namespace {

// The window keys go to: a modal window first, else the main form's.
QWidget* FrontWindow() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  QWidget* main = Application ? WidgetOf(Application->MainForm()) : nullptr;
  return main ? main->window() : nullptr;
}

void SendKey(int key, Qt::KeyboardModifiers mods, const QString& text) {
  QWidget* window = FrontWindow();
  if (!window) return;
  QPointer<QWidget> target = window->focusWidget() ? window->focusWidget() : window;
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(target, &press);
  // The press may have closed the window that had it.
  if (!target) return;
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(target, &release);
}

}  // namespace

bool SendKeyPress(const std::string& name) {
  QKeySequence seq = QKeySequence::fromString(QString::fromStdString(name), QKeySequence::PortableText);
  if (seq.isEmpty()) return false;
  const QKeyCombination combo = seq[0];
  const int key = combo.key();
  const Qt::KeyboardModifiers mods = combo.keyboardModifiers();
  QString text;
  if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && key >= 0x20 && key < 0x7f) {
    QChar c(key);
    text = (mods & Qt::ShiftModifier) ? QString(c) : QString(c.toLower());
  } else if (!(mods & (Qt::ControlModifier | Qt::AltModifier)) && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    text = "\r";  // what the keyboard types with it: an edit that ends on Enter sees it
  }
  SendKey(key, mods, text);
  return true;
}

void SendText(const std::string& text) {
  for (char ch : text) {
    QChar c(ch);
    const bool upper = c.isUpper();
    SendKey(c.toUpper().unicode(), upper ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
  }
}

TRect PrimaryScreenRect(bool workArea) {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return Rect(0, 0, 1024, 768);
  QRect g = workArea ? s->availableGeometry() : s->geometry();
  return Bounds(g.x(), g.y(), g.width(), g.height());
}

int ScreenColorBits() {
  QScreen* s = QGuiApplication::primaryScreen();
  return s && s->depth() > 0 ? s->depth() : 24;
}

TCustomForm* TScreen::ActiveForm() const {
  QWidget* w = QApplication::activeWindow();
  return w ? dynamic_cast<TCustomForm*>(ControlOf(w)) : nullptr;
}

TCustomForm* TScreen::ModalForm() const {
  QWidget* w = QApplication::activeModalWidget();
  return w ? dynamic_cast<TCustomForm*>(ControlOf(w)) : nullptr;
}

std::string TScreen::OpenBox() const {
  if (QApplication::activePopupWidget()) return "PopupMenu";
  QWidget* w = QApplication::activeModalWidget();
  if (!w || dynamic_cast<TCustomForm*>(ControlOf(w))) return {};
  if (qobject_cast<QMessageBox*>(w)) return "MessageBox";
  if (qobject_cast<QFileDialog*>(w)) return "FileDialog";
  return "Window";
}

TWinControl* TScreen::ActiveControl() const {
  QWidget* w = QApplication::focusWidget();
  TControl* c = w ? ControlOf(w) : nullptr;
  return dynamic_cast<TWinControl*>(c);
}

void TScreen::SetCursor(TCursor c) {
  if (c == cursor_) return;
  if (cursor_ != crDefault) QApplication::restoreOverrideCursor();
  cursor_ = c;
  if (c != crDefault) QApplication::setOverrideCursor(CursorFor(c));
}

void SetCursorImage(TScreen& screen, int id, const QImage& image, int hotX, int hotY) {
  screen.NativePart().cursors[id] = QCursor(QPixmap::fromImage(image), hotX, hotY);
}

const QCursor* CustomCursor(const TScreen& screen, int id) {
  const auto& cursors = screen.NativePart().cursors;
  auto it = cursors.find(id);
  return it == cursors.end() ? nullptr : &it->second;
}

void TScreen::SetCursorImage(int id, const TBitmap& image, int hotX, int hotY) {
  const QImage& picture = ImageOf(image);
  const QRgb key = picture.isNull() ? 0 : picture.pixel(0, picture.height() - 1);
  plat::SetCursorImage(*this, id, WithTransparentColor(picture, key & 0xFFFFFF), hotX, hotY);
}

bool TScreen::HasCursorImage(int id) const { return plat::CustomCursor(*this, id) != nullptr; }

}  // namespace plat
