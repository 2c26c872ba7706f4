#include <QApplication>
#include <QContextMenuEvent>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWidget>

#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/threads.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

void CallGuarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    else plat::HandleException(std::current_exception());
  }
}

// ---- widget glue ------------------------------------------------------------------------------

namespace {
QHash<const QObject*, TControl*>& Registry() {
  static QHash<const QObject*, TControl*> r;
  return r;
}
}  // namespace

void RegisterWidget(QWidget* w, TControl* c) { Registry().insert(w, c); }
void UnregisterWidget(QWidget* w) { Registry().remove(w); }

TControl* ControlOf(const QObject* w) {
  auto& r = Registry();
  for (const QObject* o = w; o; o = o->parent()) {
    auto it = r.constFind(o);
    if (it != r.constEnd()) return it.value();
    if (o->isWidgetType() && static_cast<const QWidget*>(o)->isWindow()) break;
  }
  return nullptr;
}

bool ControlGlue::eventFilter(QObject* o, QEvent* e) {
  if (!c_ || !o->isWidgetType()) return false;
  return c_->HandleWidgetEvent({static_cast<QWidget*>(o), e, {}});
}

QColor ToQColor(TColor c) {
  uint32_t v = ColorToBGR(c);
  return QColor(GetRValue(v), GetGValue(v), GetBValue(v));
}

void ApplyPalette(QWidget* w, TColor background, TColor text, bool isBase) {
  QPalette pal = w->palette();
  const QColor bg = ToQColor(background), fg = ToQColor(text);
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, isBase ? QPalette::Base : QPalette::Window, bg);
    if (!isBase) pal.setColor(group, QPalette::Button, bg);
    pal.setColor(group, QPalette::WindowText, fg);
    pal.setColor(group, QPalette::Text, fg);
    pal.setColor(group, QPalette::ButtonText, fg);
    pal.setColor(group, QPalette::Highlight, ToQColor(clHighlight));
    pal.setColor(group, QPalette::HighlightedText, ToQColor(clHighlightText));
  }
  pal.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(clGrayText));
  pal.setColor(QPalette::Disabled, QPalette::Text, ToQColor(clGrayText));
  pal.setColor(QPalette::Disabled, QPalette::ButtonText, ToQColor(clGrayText));
  pal.setColor(QPalette::Disabled, isBase ? QPalette::Base : QPalette::Window, isBase ? ToQColor(clBtnFace) : bg);
  w->setPalette(pal);
}

QCursor CursorFor(TCursor c) {
  if (Screen) {
    const QCursor* custom = CustomCursor(*Screen, c);
    if (custom) return *custom;
  }
  switch (c) {
    case crNone: return QCursor(Qt::BlankCursor);
    case crCross: return QCursor(Qt::CrossCursor);
    case crIBeam: return QCursor(Qt::IBeamCursor);
    case crSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crSizeNS: return QCursor(Qt::SizeVerCursor);
    case crSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crSizeWE: return QCursor(Qt::SizeHorCursor);
    case crUpArrow: return QCursor(Qt::UpArrowCursor);
    case crHourGlass:
    case crSQLWait: return QCursor(Qt::WaitCursor);
    case crDrag:
    case crMultiDrag: return QCursor(Qt::DragCopyCursor);
    case crNoDrop:
    case crNo: return QCursor(Qt::ForbiddenCursor);
    case crHSplit: return QCursor(Qt::SplitHCursor);
    case crVSplit: return QCursor(Qt::SplitVCursor);
    case crAppStart: return QCursor(Qt::BusyCursor);
    case crHelp: return QCursor(Qt::WhatsThisCursor);
    case crHandPoint: return QCursor(Qt::PointingHandCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
  }
}

QString QtCaption(const std::string& s) { return QString::fromStdString(s); }

uint16_t VirtualKeyOf(int k, bool keypad) {
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return uint16_t('A' + (k - Qt::Key_A));
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return uint16_t(keypad ? VK_NUMPAD0 + (k - Qt::Key_0) : '0' + (k - Qt::Key_0));
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return uint16_t(VK_F1 + (k - Qt::Key_F1));
  switch (k) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Pause: return VK_PAUSE;
    case Qt::Key_CapsLock: return VK_CAPITAL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_NumLock: return VK_NUMLOCK;
    case Qt::Key_ScrollLock: return VK_SCROLL;
    case Qt::Key_Asterisk: return keypad ? uint16_t(VK_MULTIPLY) : uint16_t('8');
    case Qt::Key_Plus: return keypad ? VK_ADD : VK_OEM_PLUS;
    case Qt::Key_Equal: return VK_OEM_PLUS;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return keypad ? VK_SUBTRACT : VK_OEM_MINUS;
    case Qt::Key_Slash: return keypad ? VK_DIVIDE : VK_OEM_2;
    case Qt::Key_Question: return VK_OEM_2;
    case Qt::Key_Period: return keypad ? VK_DECIMAL : VK_OEM_PERIOD;
    case Qt::Key_Greater: return VK_OEM_PERIOD;
    case Qt::Key_Comma:
    case Qt::Key_Less: return VK_OEM_COMMA;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return VK_OEM_1;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return VK_OEM_3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return VK_OEM_6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return VK_OEM_7;
    // Shifted digits of a US keyboard come back to their key.
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: return 0;
  }
}

TShiftState ShiftStateOf(int m) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  return s;
}

namespace {
TShiftState MouseShift(const QMouseEvent* e) {
  TShiftState s = ShiftStateOf(int(e->modifiers()));
  if (e->buttons() & Qt::LeftButton) s |= ssLeft;
  if (e->buttons() & Qt::RightButton) s |= ssRight;
  if (e->buttons() & Qt::MiddleButton) s |= ssMiddle;
  return s;
}
TMouseButton ButtonOf(Qt::MouseButton b) {
  return b == Qt::RightButton ? mbRight : b == Qt::MiddleButton ? mbMiddle : mbLeft;
}
}  // namespace

// ---- dragging between controls ------------------------------------------------------------------

// One drag at a time, from the press that may start it to the release that ends it.
struct DragTracker {
  TControl* source = nullptr;
  bool pending = false, active = false;
  QPoint start;
  int threshold = 5;
  TControl* over = nullptr;
  bool accepted = false;

  static DragTracker& Get() {
    static DragTracker t;
    return t;
  }
  static TControl* ControlAt(QPoint global, QPoint& local) {
    QWidget* w = QApplication::widgetAt(global);
    TControl* c = w ? ControlOf(w) : nullptr;
    if (!c) return nullptr;
    QWidget* origin = WidgetOf(c);
    if (auto* wc = dynamic_cast<TWinControl*>(c)) origin = ClientWidgetOf(wc);
    local = origin->mapFromGlobal(global);
    return c;
  }
  void Start() {
    active = true;
    pending = false;
    if (source->OnStartDrag) source->OnStartDrag(source);
    QApplication::setOverrideCursor(CursorFor(source->dragCursor_));
  }
  void Move(QPoint global) {
    if (pending && (global - start).manhattanLength() >= threshold) Start();
    if (!active) return;
    QPoint local;
    TControl* target = ControlAt(global, local);
    if (target != over && over) {
      bool ignored = false;
      over->DragOver(source, local.x(), local.y(), dsDragLeave, ignored);
    }
    accepted = false;
    if (target) target->DragOver(source, local.x(), local.y(), target != over ? dsDragEnter : dsDragMove, accepted);
    over = target;
    QApplication::changeOverrideCursor(CursorFor(accepted ? source->dragCursor_ : crNoDrop));
  }
  void Finish(QPoint global, bool drop) {
    const bool wasActive = active;
    TControl* src = source;
    source = nullptr;
    pending = active = false;
    over = nullptr;
    if (!wasActive || !src) return;
    QApplication::restoreOverrideCursor();
    QPoint local;
    TControl* target = drop ? ControlAt(global, local) : nullptr;
    bool accept = false;
    if (target) target->DragOver(src, local.x(), local.y(), dsDragMove, accept);
    if (target && accept) {
      target->DragDrop(src, local.x(), local.y());
    } else {
      target = nullptr;
    }
    src->DoEndDrag(target, local.x(), local.y());
  }
  void Forget(TControl* c) {
    if (source == c) {
      if (active) QApplication::restoreOverrideCursor();
      source = nullptr;
      pending = active = false;
    }
    if (over == c) over = nullptr;
  }
};

void TControl::BeginDrag(bool immediate, int threshold) {
  DragTracker& t = DragTracker::Get();
  t.source = this;
  t.start = QCursor::pos();
  t.threshold = threshold < 0 ? 5 : threshold;
  t.over = nullptr;
  t.pending = true;
  if (immediate) t.Start();
}

void TControl::EndDrag(bool drop) {
  DragTracker& t = DragTracker::Get();
  if (t.source == this) t.Finish(QCursor::pos(), drop);
}

bool TControl::Dragging() const { return DragTracker::Get().source == this && DragTracker::Get().active; }

void TControl::DragOver(TObject* source, int x, int y, TDragState state, bool& accept) {
  accept = bool(OnDragOver);
  if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}

void TControl::DragDrop(TObject* source, int x, int y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

void TControl::DoEndDrag(TObject* target, int x, int y) {
  if (OnEndDrag) OnEndDrag(this, target, x, y);
}

// ---- TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner), native_(std::make_unique<Native>()) {
  font_.OnChange = [this](TObject*) {
    parentFont_ = false;
    Perform(CM_FONTCHANGED);
  };
}

TControl::~TControl() {
  Destroying();
  DragTracker::Get().Forget(this);
  if (parent_) parent_->RemoveControl(this);
  postWindow_.reset();
  if (auto* g = static_cast<ControlGlue*>(native_->glue)) {
    g->Detach();
    delete g;
    native_->glue = nullptr;
  }
  if (QWidget* w = native_->widget.data()) {
    if (auto* h = dynamic_cast<HostedMark*>(w)) h->Detach();
    UnregisterWidget(w);
    delete w;
  }
}

struct ControlAccess {
  static void SetWidget(TControl& c, QWidget* w) {
    c.native_->widget = w;
    RegisterWidget(w, &c);
    auto* glue = new ControlGlue(&c);
    c.native_->glue = glue;
    w->installEventFilter(glue);
    w->setMouseTracking(true);
    w->setVisible(false);
    w->setGeometry(c.left_, c.top_, c.width_, c.height_);
    c.ApplyStyleToWidget();
    c.ApplyCursor();
    c.ApplyOpaque();
  }
  static void CanvasDue(TControl& c, TRect* part) {
    if (!c.IsDestroying()) CallGuarded([&] { c.CanvasDue(part); });
  }
};

void SetWidget(TControl* c, QWidget* w) { ControlAccess::SetWidget(*c, w); }

void CanvasDue(QWidget* w, QRect* part) {
  TControl* c = Registry().value(w);
  if (!c) return;
  if (!part) {
    ControlAccess::CanvasDue(*c, nullptr);
    return;
  }
  TRect r = Rect(part->left(), part->top(), part->right() + 1, part->bottom() + 1);
  const TRect asked = r;
  ControlAccess::CanvasDue(*c, &r);
  // Narrowed only: nothing outside what was asked for.
  if (r.Left != asked.Left || r.Top != asked.Top || r.Right != asked.Right || r.Bottom != asked.Bottom)
    *part = QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top).intersected(*part);
}

void TControl::SetControlStyle(uint32_t s) {
  controlStyle_ = s;
  ApplyOpaque();
}

void TControl::ApplyOpaque() {
  if (native_->widget) native_->widget->setAttribute(Qt::WA_OpaquePaintEvent, (controlStyle_ & csOpaque) != 0);
}

void TControl::SetParent(TWinControl* p) {
  if (p == parent_) return;
  if (p == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (parent_) parent_->RemoveControl(this);
  if (p) p->InsertControl(this);
}

bool TControl::StoreBounds(int l, int t, int w, int h, bool& sized) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (l == left_ && t == top_ && w == width_ && h == height_) return false;
  sized = w != width_ || h != height_;
  left_ = l;
  top_ = t;
  width_ = w;
  height_ = h;
  return true;
}

void TControl::SetBounds(int l, int t, int w, int h) {
  bool sized = false;
  if (!StoreBounds(l, t, w, h, sized)) return;
  if (native_->widget) native_->widget->setGeometry(left_, top_, width_, height_);
  if (sized) Resize();
  if (parent_ && align_ != alNone && !parent_->aligning_) parent_->AlignControls();
}

void TControl::SetClientWidth(int v) { SetWidth(v + (width_ - ClientWidth())); }
void TControl::SetClientHeight(int v) { SetHeight(v + (height_ - ClientHeight())); }

TPoint TControl::ClientOrigin() const {
  QWidget* w = native_->widget;
  if (auto* wc = dynamic_cast<const TWinControl*>(this)) w = ClientWidgetOf(wc);
  if (!w) return {left_, top_};
  QPoint g = w->mapToGlobal(QPoint(0, 0));
  return {g.x(), g.y()};
}

TPoint TControl::ClientToScreen(TPoint p) const {
  TPoint o = ClientOrigin();
  return {p.X + o.X, p.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  TPoint o = ClientOrigin();
  return {p.X - o.X, p.Y - o.Y};
}

void TControl::ApplyVisibility() {
  if (native_->widget && parent_) native_->widget->setVisible(visible_);
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  ApplyVisibility();
  Perform(CM_VISIBLECHANGED, v);
  if (parent_ && align_ != alNone) parent_->AlignControls();
}

bool TControl::Showing() const { return native_->widget && native_->widget->isVisible(); }

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (native_->widget) native_->widget->setEnabled(v);
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetText(const std::string& s) {
  if (s == GetText()) return;
  SetTextRaw(s);
  Perform(CM_TEXTCHANGED);
}

void TControl::SetTextRaw(const std::string& s) { text_ = s; }

void TControl::SetColor(TColor c) {
  if (c == color_ && !parentColor_) return;
  const bool changed = c != color_;
  color_ = c;
  parentColor_ = false;
  if (changed) Perform(CM_COLORCHANGED);
}

void TControl::SetParentColor(bool v) {
  if (v == parentColor_) return;
  parentColor_ = v;
  if (v && parent_) ParentColorChangedTo(parent_->Color());
}

void TControl::ParentColorChangedTo(TColor c) {
  if (!parentColor_ || c == color_) return;
  color_ = c;
  Perform(CM_COLORCHANGED);
  parentColor_ = true;
}

void TControl::SetParentFont(bool v) {
  if (v == parentFont_) return;
  parentFont_ = v;
  if (v && parent_) ParentFontChangedTo(*parent_->Font());
}

void TControl::ParentFontChangedTo(const TFont& f) {
  if (!parentFont_) return;
  if (font_.SameAs(f)) return;
  font_.Assign(const_cast<TFont*>(&f));  // its change notice clears the flag...
  parentFont_ = true;                    // ...which a font taken from the parent keeps
}

void TControl::SetAlign(TAlign a) {
  if (a == align_) return;
  align_ = a;
  if (parent_) parent_->AlignControls();
}

void TControl::SetHint(const std::string& h) {
  hint_ = h;
  ApplyHint();
}

void TControl::SetShowHint(bool v) {
  showHint_ = v;
  parentShowHint_ = false;
  ApplyHint();
}

void TControl::SetParentShowHint(bool v) {
  parentShowHint_ = v;
  if (v && parent_) showHint_ = parent_->ShowHint();
  ApplyHint();
}

void TControl::ApplyHint() {
  if (!native_->widget) return;
  bool show = showHint_;
  if (parentShowHint_ && parent_) show = parent_->ShowHint();
  native_->widget->setToolTip(show ? QString::fromStdString(hint_) : QString());
}

void TControl::SetCursor(TCursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  ApplyCursor();
}

void TControl::ShowCursorOver(TCursor c) {
  if (QWidget* w = native_->widget) w->setCursor(CursorFor(c));
}

bool TControl::HandleAllocated() const { return native_->widget != nullptr; }

TSize TControl::ShownClientSize() const {
  QWidget* w = ClientWidgetOf(this);
  return w ? TSize{w->width(), w->height()} : TSize{};
}

bool TControl::PaintParentArea(TBitmap& picture, const TRect& area) const {
  QWidget* under = ClientWidgetOf(parent_);
  QWidget* w = native_->widget;
  if (!under || !w || w->parentWidget() != under) return false;
  QImage img = ImageOf(picture).convertToFormat(QImage::Format_RGB32);
  under->render(&img, QPoint(0, 0), QRegion(area.Left, area.Top, area.Width(), area.Height()),
                QWidget::DrawWindowBackground);
  SetImage(picture, img);
  return true;
}

void TControl::InvalidateRect(const TRect& r) {
  if (QWidget* w = native_->widget) w->update(QRect(r.Left, r.Top, r.Width(), r.Height()));
}

TPoint CursorPos() {
  const QPoint p = QCursor::pos();
  return {p.x(), p.y()};
}

void HideHint() { QToolTip::hideText(); }

bool InputHeldElsewhere(const TControl* c) {
  if (QApplication::activePopupWidget()) return true;
  QWidget* modal = QApplication::activeModalWidget();
  QWidget* w = WidgetOf(c);
  return modal && w && modal != w->window();
}

void TControl::ApplyCursor() {
  if (!native_->widget) return;
  if (cursor_ == crDefault) native_->widget->unsetCursor();
  else native_->widget->setCursor(CursorFor(cursor_));
}

void TControl::SetPopupMenu(TPopupMenu* m) {
  if (m == popupMenu_) return;
  if (popupMenu_) popupMenu_->RemoveFreeNotification(this);
  popupMenu_ = m;
  if (m) m->FreeNotification(this);
}

void TControl::Invalidate() {
  showCanvasOnly_ = false;
  wholePaintOwed_ = true;
  if (native_->widget) RequestFrame(native_->widget);
}

void TControl::Repaint() {
  showCanvasOnly_ = false;
  wholePaintOwed_ = true;
  if (native_->widget) native_->widget->repaint();
}

void TControl::Update() {
  if (native_->widget && native_->widget->isVisible()) native_->widget->repaint();
}

void TControl::BringToFront() {
  if (native_->widget) native_->widget->raise();
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
  }
}

void TControl::SendToBack() {
  if (native_->widget) native_->widget->lower();
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.insert(v.begin(), this);
  }
}

intptr_t TControl::Perform(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  TMessage m{msg, wParam, lParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (!postWindow_) {
    postWindow_ = std::make_unique<HiddenWindow>();
    postWindow_->OnMessage = [this](Message& m) {
      TMessage tm{m.Msg, m.WParam, m.LParam, 0};
      CallGuarded([&] { WndProc(tm); });
      m.Result = tm.Result;
    };
  }
  postWindow_->Post(msg, wParam, lParam);
}

void TControl::WndProc(TMessage& m) {
  switch (m.Msg) {
    case CM_MOUSEENTER: MouseEnter(); break;
    case CM_MOUSELEAVE: MouseLeave(); break;
    case CM_ENABLEDCHANGED: EnabledChanged(); break;
    case CM_VISIBLECHANGED: VisibleChanged(); break;
    case CM_FONTCHANGED: FontChanged(); break;
    case CM_COLORCHANGED: ColorChanged(); break;
    case CM_TEXTCHANGED: TextChanged(); break;
    case CM_DIALOGCHAR: m.Result = DialogChar(char(m.WParam)) ? 1 : 0; break;
    case CM_SYSCOLORCHANGE:
    case CM_INVALIDATE: Invalidate(); break;
    case CM_SHOWHINTCHANGED: ApplyHint(); break;
    default: break;
  }
}

void TControl::Notification(TComponent* c, TOperation op) {
  TComponent::Notification(c, op);
  if (op == opRemove && c == popupMenu_) popupMenu_ = nullptr;
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}
void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
}
bool TControl::AcceleratorIs(char ch) const {
  const char a = Accelerator();
  return a && a == char(toupper(static_cast<unsigned char>(ch)));
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::EnabledChanged() { Invalidate(); }
void TControl::VisibleChanged() {}
void TControl::FontChanged() {
  ApplyStyleToWidget();
  Invalidate();
}
void TControl::ColorChanged() {
  ApplyStyleToWidget();
  Invalidate();
}
void TControl::Changed() { Perform(CM_CONTROLCHANGE); }

void TControl::ApplyStyleToWidget() {
  if (!native_->widget || PaintsItself()) return;
  native_->widget->setFont(QtFont(font_));
  ApplyPalette(native_->widget, color_, font_.Color(), false);
}

TCanvas* TControl::ControlCanvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>();
    SetTargetImage(*canvas_, &native_->backing);
  }
  if (!inPaint_) {
    QSize want(std::max(width_, 1), std::max(height_, 1));
    if (QWidget* w = native_->widget) {
      if (auto* wc = dynamic_cast<TWinControl*>(this)) w = ClientWidgetOf(wc);
      if (w && !w->size().isEmpty()) want = w->size();
    }
    if (native_->backing.size() != want) {
      native_->backing = QImage(want, QImage::Format_ARGB32_Premultiplied);
      native_->backing.fill(Qt::transparent);
      wholePaintOwed_ = true;
    }
  }
  return canvas_.get();
}

void TControl::PaintTo(const NativeEvent& e) {
  SOLVANE_ASSERT_UI_THREAD();
  QWidget* w = e.widget;
  const QRegion& region = e.region;
  const QSize size = w->size();
  if (size.isEmpty()) return;
  if (native_->backing.size() != size) showCanvasOnly_ = false;
  if (!showCanvasOnly_) {
    TCanvas* c = ControlCanvas();
    if (native_->backing.size() != size) native_->backing = QImage(size, QImage::Format_ARGB32_Premultiplied);
    // Nothing of the parent shows through an opaque control, not even where its Paint left a gap.
    if (controlStyle_ & csOpaque) native_->backing.fill(ToQColor(color_));
    else native_->backing.fill(Qt::transparent);
    TRegion clip = RegionOf(region);
    SetTargetImage(*c, &native_->backing);
    c->SelectClipRgn(&clip);
    inPaint_ = true;
    CallGuarded([&] {
      PaintBackground(*c);
      Paint();
    });
    inPaint_ = false;
    c->SelectClipRgn(nullptr);
    if ((QRegion(QRect(QPoint(0, 0), size)) - region).isEmpty()) wholePaintOwed_ = false;
  }
  QPainter p(w);
  p.setClipRegion(region);
  // Every pixel of an opaque control's picture is opaque: a copy shows the same as a blend.
  if (controlStyle_ & csOpaque) p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(0, 0, native_->backing);
}

void TControl::UpdateFromCanvas() {
  if (!native_->widget) return;
  // Showing the canvas alone now would drop the whole paint an Invalidate asked for.
  if (!wholePaintOwed_) showCanvasOnly_ = true;
  RequestFrame(native_->widget);
}

void TControl::UpdateFromCanvas(const TRect& r) {
  if (!native_->widget || r.Right <= r.Left || r.Bottom <= r.Top) return;
  if (wholePaintOwed_) {
    UpdateFromCanvas();
    return;
  }
  showCanvasOnly_ = true;
  RequestFrame(native_->widget, QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top));
}

bool TControl::HandleWidgetEvent(const NativeEvent& ev) {
  QWidget* w = ev.widget;
  QEvent* e = ev.event;
  // A control or form on its way out hears nothing more: its handlers may reach parts of it
  // that are gone already.
  if (IsDestroying()) return false;
  if (TCustomForm* f = GetParentForm(this); f && f->IsDestroying()) return false;
  QWidget* origin = native_->widget;
  if (auto* wc = dynamic_cast<TWinControl*>(this)) origin = ClientWidgetOf(wc);
  auto local = [&](QPointF pos) {
    QPoint p = pos.toPoint();
    if (w != origin && origin) p = origin->mapFromGlobal(w->mapToGlobal(p));
    return p;
  };
  switch (e->type()) {
    case QEvent::MouseButtonPress: {
      auto* me = static_cast<QMouseEvent*>(e);
      QPoint p = local(me->position());
      const TMouseButton b = ButtonOf(me->button());
      if (b == mbLeft) {
        controlState_ |= csLButtonDown;
        if (controlStyle_ & csClickEvents) controlState_ |= csClicked;
      }
      CallGuarded([&] {
        MouseDown(b, MouseShift(me), p.x(), p.y());
        if (b == mbLeft && dragMode_ == dmAutomatic) {
          BeginDrag(false);
          DragTracker::Get().start = me->globalPosition().toPoint();
        }
      });
      return PaintsItself();
    }
    case QEvent::MouseButtonDblClick: {
      auto* me = static_cast<QMouseEvent*>(e);
      QPoint p = local(me->position());
      const TMouseButton b = ButtonOf(me->button());
      if (b == mbLeft) controlState_ |= csLButtonDown;
      CallGuarded([&] {
        if (b == mbLeft && (controlStyle_ & csDoubleClicks)) DblClick();
        MouseDown(b, MouseShift(me) | ssDouble, p.x(), p.y());
      });
      return PaintsItself();
    }
    case QEvent::MouseButtonRelease: {
      auto* me = static_cast<QMouseEvent*>(e);
      QPoint p = local(me->position());
      const TMouseButton b = ButtonOf(me->button());
      const bool clicked = b == mbLeft && (controlState_ & csClicked) && !Dragging();
      if (b == mbLeft) controlState_ &= ~uint32_t(csLButtonDown | csClicked);
      CallGuarded([&] {
        if (b == mbLeft && DragTracker::Get().source == this)
          DragTracker::Get().Finish(me->globalPosition().toPoint(), true);
        MouseUp(b, MouseShift(me), p.x(), p.y());
        if (clicked && PtInRect(ClientRect(), {p.x(), p.y()})) Click();
      });
      return PaintsItself();
    }
    case QEvent::MouseMove: {
      auto* me = static_cast<QMouseEvent*>(e);
      QPoint p = local(me->position());
      CallGuarded([&] {
        if (DragTracker::Get().source == this && (me->buttons() & Qt::LeftButton))
          DragTracker::Get().Move(me->globalPosition().toPoint());
        MouseMove(MouseShift(me), p.x(), p.y());
      });
      return PaintsItself() || Dragging();
    }
    case QEvent::Enter:
      if (!mouseInside_) {
        mouseInside_ = true;
        CallGuarded([&] { Perform(CM_MOUSEENTER); });
      }
      return false;
    case QEvent::Leave:
      if (mouseInside_) {
        mouseInside_ = false;
        CallGuarded([&] { Perform(CM_MOUSELEAVE); });
      }
      return false;
    case QEvent::ContextMenu: {
      if (popupMenu_ && popupMenu_->AutoPopup()) {
        auto* ce = static_cast<QContextMenuEvent*>(e);
        popupMenu_->SetPopupComponent(this);
        CallGuarded([&] { popupMenu_->Popup(ce->globalPos().x(), ce->globalPos().y()); });
        return true;
      }
      return false;
    }
    case QEvent::FocusIn:
      if (w == native_->widget)
        if (auto* wc = dynamic_cast<TWinControl*>(this)) CallGuarded([&] { wc->DoEnter(); });
      return false;
    case QEvent::FocusOut:
      if (w == native_->widget)
        if (auto* wc = dynamic_cast<TWinControl*>(this)) CallGuarded([&] { wc->DoExit(); });
      return false;
    case QEvent::Resize: {
      // A size Qt gave the widget (a page of a page control, a window the user sized).
      if (w != native_->widget || w->isWindow()) return false;
      QSize s = w->size();
      if (s.width() != width_ || s.height() != height_) {
        width_ = s.width();
        height_ = s.height();
        CallGuarded([&] { Resize(); });
      }
      return false;
    }
    default: return false;
  }
}

// ---- TWinControl ------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  Destroying();
  // Children go with their parent, whoever owns them.
  while (!controls_.empty()) {
    TControl* c = controls_.back();
    c->Free();
  }
}

void TWinControl::InsertControl(TControl* c) {
  if (!c || c->parent_ == this) return;
  controls_.push_back(c);
  c->parent_ = this;
  if (c->native_->widget) {
    QRect g(c->left_, c->top_, c->width_, c->height_);
    c->native_->widget->setParent(ClientWidgetOf(this));
    c->native_->widget->setGeometry(g);
  }
  if (c->parentFont_) c->ParentFontChangedTo(*Font());
  if (c->parentColor_) c->ParentColorChangedTo(Color());
  if (c->parentShowHint_) c->ApplyHint();
  c->ApplyVisibility();
  if (c->align_ != alNone) AlignControls();
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<uintptr_t>(c), 1);
}

void TWinControl::RemoveControl(TControl* c) {
  auto it = std::find(controls_.begin(), controls_.end(), c);
  if (it == controls_.end()) return;
  controls_.erase(it);
  c->parent_ = nullptr;
  if (c->native_->widget && !IsDestroying()) {
    c->native_->widget->hide();
    c->native_->widget->setParent(nullptr);
  }
  if (!IsDestroying()) {
    if (c->align_ != alNone) AlignControls();
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<uintptr_t>(c), 0);
  }
}

bool TWinControl::ContainsControl(const TControl* c) const {
  for (const TControl* p = c; p; p = p->Parent())
    if (p == this) return true;
  return false;
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  int i = 0;
  for (TControl* c : Parent()->controls_) {
    if (c == this) return i;
    if (dynamic_cast<TWinControl*>(c)) ++i;
  }
  return -1;
}

void TWinControl::SetTabOrder(int order) {
  TWinControl* p = Parent();
  if (!p) return;
  std::vector<TWinControl*> wins;
  for (TControl* c : p->controls_)
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w != this) wins.push_back(w);
  order = std::clamp(order, 0, int(wins.size()));
  wins.insert(wins.begin() + order, this);
  for (size_t i = 1; i < wins.size(); ++i)
    if (WidgetOf(wins[i - 1]) && WidgetOf(wins[i])) QWidget::setTabOrder(WidgetOf(wins[i - 1]), WidgetOf(wins[i]));
  // Keep the list in tab order among the windowed controls.
  auto& v = p->controls_;
  size_t k = 0;
  for (auto& c : v)
    if (dynamic_cast<TWinControl*>(c)) c = wins[k++];
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return WidgetOf(this) != nullptr;
}

bool TWinControl::Focused() const { return WidgetOf(this) && WidgetOf(this)->hasFocus(); }

void TWinControl::SetFocus() {
  if (!WidgetOf(this)) return;
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  WidgetOf(this)->setFocus(Qt::OtherFocusReason);
}

void TWinControl::ApplyFocusPolicy() {
  if (!WidgetOf(this)) return;
  // A click gives the focus only to a control that takes it itself; Qt would otherwise hand it
  // to the nearest parent that accepts it, away from the focused button.
  if (tabStop_) WidgetOf(this)->setFocusPolicy(FocusesOnClick() ? Qt::StrongFocus : Qt::TabFocus);
  else WidgetOf(this)->setFocusPolicy(FocusesOnClick() ? Qt::ClickFocus : Qt::NoFocus);
}

void TWinControl::EnableAlign() {
  if (alignDisabled_ > 0 && --alignDisabled_ == 0) AlignControls();
}

void TWinControl::AlignControls() {
  if (alignDisabled_ || aligning_) return;
  aligning_ = true;
  TRect r = ClientRect();
  AdjustClientRect(r);
  auto take = [&](TAlign a) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->align_ == a && c->visible_) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->top_ < y->top_;
        case alBottom: return x->top_ + x->height_ > y->top_ + y->height_;
        case alLeft: return x->left_ < y->left_;
        case alRight: return x->left_ + x->width_ > y->left_ + y->width_;
        default: return false;
      }
    });
    return list;
  };
  for (TControl* c : take(alTop)) {
    c->SetBounds(r.Left, r.Top, r.Width(), c->height_);
    r.Top += c->height_;
  }
  for (TControl* c : take(alBottom)) {
    c->SetBounds(r.Left, r.Bottom - c->height_, r.Width(), c->height_);
    r.Bottom -= c->height_;
  }
  for (TControl* c : take(alLeft)) {
    c->SetBounds(r.Left, r.Top, c->width_, std::max(0, r.Height()));
    r.Left += c->width_;
  }
  for (TControl* c : take(alRight)) {
    c->SetBounds(r.Right - c->width_, r.Top, c->width_, std::max(0, r.Height()));
    r.Right -= c->width_;
  }
  for (TControl* c : take(alClient)) c->SetBounds(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
  aligning_ = false;
}

void TWinControl::Resize() {
  AlignControls();
  TControl::Resize();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : std::vector<TControl*>(controls_)) c->ParentFontChangedTo(*Font());
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* c : std::vector<TControl*>(controls_)) c->ParentColorChangedTo(Color());
}

void TWinControl::PaintBackground(TCanvas& c) {
  c.Brush()->SetColor(Color());
  c.Brush()->SetStyle(bsSolid);
  c.FillRect(ClientRect());
}

bool TWinControl::DoKeyDown(uint16_t& key, TShiftState shift) {
  KeyDown(key, shift);
  return key == 0;
}
bool TWinControl::DoKeyPress(char& key) {
  KeyPress(key);
  return key == 0;
}
bool TWinControl::DoKeyUp(uint16_t& key, TShiftState shift) {
  KeyUp(key, shift);
  return key == 0;
}
void TWinControl::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TWinControl::KeyUp(uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TWinControl::DoEnter() {
  Perform(CM_ENTER);
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  Perform(CM_EXIT);
  if (OnExit) OnExit(this);
}

// ---- painted controls -------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {
  auto* w = new ControlWidget(this);
  w->setFocusPolicy(Qt::NoFocus);
  SetWidget(this, w);
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {
  SetWidget(this, new ControlWidget(this));
  ApplyFocusPolicy();
}

void Frame3D(TCanvas& canvas, TRect& r, TColor topColor, TColor bottomColor, int width) {
  TBrush saved;
  saved.Assign(canvas.Brush());
  canvas.Brush()->SetStyle(bsSolid);
  for (; width > 0; --width) {
    if (IsRectEmpty(r)) break;
    // Top and left in the top colour, the right and bottom (both far corners included) in the
    // bottom colour.
    canvas.Brush()->SetColor(topColor);
    canvas.FillRect(Rect(r.Left, r.Top, r.Right - 1, r.Top + 1));
    canvas.FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom - 1));
    canvas.Brush()->SetColor(bottomColor);
    canvas.FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
    canvas.FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
    InflateRect(r, -1, -1);
  }
  canvas.Brush()->Assign(&saved);
}

TCustomForm* GetParentForm(const TControl* c) {
  while (c && c->Parent()) c = c->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

}  // namespace plat
