#include "controls/zelpanel.h"

#include <QChildEvent>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>

#include "controls/zelgraph.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TRect;

namespace {
// Half of what a border takes from the bounds, the offset of a client area inside them.
plat::TPoint BorderOffset(const plat::TControl* c) {
  return {(c->Width() - c->ClientWidth()) / 2, (c->Height() - c->ClientHeight()) / 2};
}
}  // namespace

// ---- panel ------------------------------------------------------------------------------------------

TZelCustomPanel::TZelCustomPanel(plat::TComponent* owner) : TZelCustomControl(owner) {
  SetControlStyle(plat::csAcceptsControls | plat::csCaptureMouse | plat::csClickEvents | plat::csOpaque |
                  plat::csDoubleClicks | plat::csReplicatable);
  SetColor(plat::clBtnFace);
}

bool TZelCustomPanel::SuppliesBackground() const {
  if (!Transparent()) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  // A form supplies one only through a form shape, which this program has none of.
  return p && plat::WidgetOf(p) && p->SuppliesBackground();
}

plat::TBitmap* TZelCustomPanel::BackgroundBitmap() {
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  plat::TBitmap* b = p ? p->BackgroundBitmap() : nullptr;
  if (!b || !BitmapEffect()->Active()) return b;
  if (!converted_) converted_ = std::make_unique<plat::TBitmap>();
  converted_->Assign(b);
  converted_->SetPixelFormat(plat::pf24bit);
  return converted_.get();
}

plat::TPoint TZelCustomPanel::ChildOffset(const plat::TControl* child) const {
  plat::TPoint o = child ? plat::TPoint{child->Left(), child->Top()} : plat::TPoint{};
  if (!Transparent()) return o;
  const plat::TPoint b = BorderOffset(this);
  o.X += b.X;
  o.Y += b.Y;
  const plat::TPoint up = OffsetInParent();
  o.X += up.X;
  o.Y += up.Y;
  return o;
}

bool TZelCustomPanel::PaintChildBackground(plat::TControl* child, TCanvas& canvas) {
  if (IsLoading() || IsDestroying() || !child) return false;
  plat::TBitmap* b = BackgroundBitmap();
  if (!b) return false;
  const plat::TPoint o = ChildOffset(child);
  canvas.CopyRect(plat::Rect(0, 0, child->Width(), child->Height()), *b->Canvas(),
                  plat::Bounds(o.X, o.Y, child->Width(), child->Height()));
  return true;
}

// ---- bevel panel ------------------------------------------------------------------------------------

TZelCustomBevelPanel::TZelCustomBevelPanel(plat::TComponent* owner)
    : TZelCustomPanel(owner), bevel_(std::make_unique<TZelBevel>()) {
  // No window here has a system-drawn client edge: the bevel draws its own in bmWindows.
  bevel_->OnChange = [this](plat::TObject*) { BevelChanged(); };
}

TZelCustomBevelPanel::~TZelCustomBevelPanel() { bevel_->OnChange = nullptr; }

void TZelCustomBevelPanel::SetBevel(TZelBevel* v) {
  bevel_->Assign(v);
  Perform(CM_ZELBEVELCHANGED);
}

void TZelCustomBevelPanel::BevelChanged() {
  if (IsLoading()) return;
  bevel_->ClearRecreate();
  Realign();
  Invalidate();
}

bool TZelCustomBevelPanel::HasNoBorder() const { return bevel_->Extent() == 0 && bevel_->Mode() != bmWindows; }

void TZelCustomBevelPanel::AdjustClientRect(TRect& r) const { r = bevel_->ClientRect(r); }

void TZelCustomBevelPanel::Paint() {
  if (IsLoading()) return;
  if (FlatBorder()) {
    TZelCustomPanel::Paint();
    return;
  }
  TRect r = ClientRect();
  bevel_->Draw(*Canvas(), r, Transparent());
}

// ---- scroll box ---------------------------------------------------------------------------------------

// Children move and resize without telling their parent: the box watches their widgets, so the
// scroll range follows what it holds.
class TZelCustomScrollBox::ChildWatch : public QObject {
public:
  explicit ChildWatch(TZelCustomScrollBox* box) : box_(box) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    switch (e->type()) {
      case QEvent::ChildAdded:
        if (o == box_->surface_) {
          QObject* child = static_cast<QChildEvent*>(e)->child();
          if (child->isWidgetType()) child->installEventFilter(this);
        }
        box_->UpdateScrollBars();
        break;
      case QEvent::ChildRemoved:
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        if (o != box_->surface_) box_->UpdateScrollBars();
        break;
      default: break;
    }
    return false;
  }

private:
  TZelCustomScrollBox* box_;
};

TZelCustomScrollBox::TZelCustomScrollBox(plat::TComponent* owner)
    : TZelCustomControl(owner), bevel_(std::make_unique<TZelScrollBoxBevel>()) {
  // The box draws its own edge (nothing is drawn for it by the window system here).
  bevel_->SetOwnerUsesSystemEdge(false);
  bevel_->OnChange = [this](plat::TObject*) {
    if (IsLoading()) return;
    bevel_->ClearRecreate();
    UpdateScrollBars();
    Invalidate();
  };
  SetControlStyle(plat::csAcceptsControls | plat::csCaptureMouse | plat::csClickEvents | plat::csDoubleClicks |
                  plat::csReplicatable);
  viewport_ = new QWidget(plat::WidgetOf(this));
  surface_ = new QWidget(viewport_);
  plat::SetClientWidget(this, surface_);
  watch_ = std::make_unique<ChildWatch>(this);
  surface_->installEventFilter(watch_.get());
  horz_ = new QScrollBar(Qt::Horizontal, plat::WidgetOf(this));
  vert_ = new QScrollBar(Qt::Vertical, plat::WidgetOf(this));
  for (QScrollBar* bar : {horz_, vert_}) {
    bar->hide();
    const bool vertical = bar == vert_;
    QObject::connect(bar, &QScrollBar::valueChanged, plat::GlueOf(this), [this, vertical](int) {
      surface_->move(-horz_->value(), -vert_->value());
      Scrolled(false, vertical);
    });
    QObject::connect(bar, &QScrollBar::sliderReleased, plat::GlueOf(this), [this, vertical] { Scrolled(true, vertical); });
  }
  SetBounds(Left(), Top(), 185, 41);
  UpdateScrollBars();
}

TZelCustomScrollBox::~TZelCustomScrollBox() {
  bevel_->OnChange = nullptr;
  if (surface_) surface_->removeEventFilter(watch_.get());
  updating_ = true;  // nothing more is laid out while the children go
}

void TZelCustomScrollBox::SetBevel(TZelBevel* v) { bevel_->Assign(v); }

int TZelCustomScrollBox::HorzPosition() const { return horz_->value(); }
int TZelCustomScrollBox::VertPosition() const { return vert_->value(); }
bool TZelCustomScrollBox::HorzScrollBarVisible() const { return !horz_->isHidden(); }
bool TZelCustomScrollBox::VertScrollBarVisible() const { return !vert_->isHidden(); }

void TZelCustomScrollBox::ScrollTo(int x, int y) {
  horz_->setValue(x);
  vert_->setValue(y);
  Scrolled(true, true);
}

plat::TSize TZelCustomScrollBox::ContentSize() const {
  int w = 0, h = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    plat::TControl* c = Controls(i);
    if (!c->Visible()) continue;
    w = std::max(w, c->Left() + c->Width());
    h = std::max(h, c->Top() + c->Height());
  }
  return {w, h};
}

void TZelCustomScrollBox::UpdateScrollBars() {
  if (updating_ || !viewport_) return;
  updating_ = true;
  const int near = bevel_->Extent(), far = bevel_->FarExtent();
  const int bar = 16;
  TRect inner = plat::Rect(near, near, Width() - far, Height() - far);
  const plat::TSize content = ContentSize();
  bool needH = content.cx > inner.Width(), needV = content.cy > inner.Height();
  if (needH && !needV) needV = content.cy > inner.Height() - bar;
  if (needV && !needH) needH = content.cx > inner.Width() - bar;
  const int vw = std::max(0, inner.Width() - (needV ? bar : 0));
  const int vh = std::max(0, inner.Height() - (needH ? bar : 0));
  viewport_->setGeometry(inner.Left, inner.Top, vw, vh);
  horz_->setVisible(needH);
  vert_->setVisible(needV);
  horz_->setGeometry(inner.Left, inner.Top + vh, vw, bar);
  vert_->setGeometry(inner.Left + vw, inner.Top, bar, vh);
  horz_->setRange(0, std::max(0, content.cx - vw));
  vert_->setRange(0, std::max(0, content.cy - vh));
  horz_->setPageStep(std::max(1, vw));
  vert_->setPageStep(std::max(1, vh));
  surface_->setGeometry(-horz_->value(), -vert_->value(), std::max(content.cx, vw), std::max(content.cy, vh));
  viewport_->show();
  surface_->show();
  updating_ = false;
}

void TZelCustomScrollBox::Scrolled(bool ended, bool vertical) {
  if (!TransparentOverParent()) return;
  ++scrollCount_;
  const bool now = throttle_ ? (scrollCount_ >= threshold_ || (ended && vertical)) : ended;
  if (!now) return;
  scrollCount_ = 0;
  Invalidate();
  BroadcastToChildren(CM_ZELPARENTBKGNDCHANGED);
}

void TZelCustomScrollBox::AlignControls() {
  TZelCustomControl::AlignControls();
  UpdateScrollBars();
}

void TZelCustomScrollBox::Resize() {
  TZelCustomControl::Resize();
  UpdateScrollBars();
}

void TZelCustomScrollBox::WndProc(plat::TMessage& m) {
  TZelCustomControl::WndProc(m);
  if (m.Msg == plat::CM_CONTROLLISTCHANGE || m.Msg == plat::CM_CONTROLCHANGE) UpdateScrollBars();
}

void TZelCustomScrollBox::Paint() {
  if (IsLoading() && !Showing()) return;
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  bevel_->Draw(c, r, Transparent());
  if (HorzScrollBarVisible() && VertScrollBarVisible()) {
    // The corner between the two bars.
    const QRect h = horz_->geometry(), v = vert_->geometry();
    const TRect corner = plat::Rect(v.x(), h.y(), v.x() + v.width(), h.y() + h.height());
    if (!TransparentOverParent()) {
      c.Brush()->SetStyle(plat::bsSolid);
      c.Brush()->SetColor(Color());
      c.FillRect(corner);
    }
  }
}

bool TZelCustomScrollBox::SuppliesBackground() const {
  if (!Transparent()) return false;
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  return p && plat::WidgetOf(p) && p->SuppliesBackground();
}

plat::TPoint TZelCustomScrollBox::ChildOffset(const plat::TControl* child) const {
  plat::TPoint o = child ? plat::TPoint{child->Left() - HorzPosition(), child->Top() - VertPosition()}
                         : plat::TPoint{};
  o.X += bevel_->Extent();
  o.Y += bevel_->Extent();
  const plat::TPoint up = OffsetInParent();
  o.X += up.X;
  o.Y += up.Y;
  return o;
}
