#include <QLineEdit>
#include <QChildEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <cmath>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

// ---- panel ------------------------------------------------------------------------------------

TCustomPanel::TCustomPanel(TComponent* owner) : TCustomControl(owner) {
  SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks |
                  csReplicatable);
  SetBounds(0, 0, 185, 41);
}

void TCustomPanel::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Invalidate();
}
void TCustomPanel::SetBevelInner(TBevelCut b) {
  if (b == bevelInner_) return;
  bevelInner_ = b;
  Realign();
  Invalidate();
}
void TCustomPanel::SetBevelOuter(TBevelCut b) {
  if (b == bevelOuter_) return;
  bevelOuter_ = b;
  Realign();
  Invalidate();
}
void TCustomPanel::SetBevelWidth(int w) {
  if (w < 1 || w == bevelWidth_) return;
  bevelWidth_ = w;
  Realign();
  Invalidate();
}
void TCustomPanel::SetBorderWidth(int w) {
  if (w < 0 || w == borderWidth_) return;
  borderWidth_ = w;
  Realign();
  Invalidate();
}
void TCustomPanel::SetBorderStyle(TBorderStyle s) {
  if (s == borderStyle_) return;
  borderStyle_ = s;
  Realign();
  Invalidate();
}

void TCustomPanel::AdjustClientRect(TRect& r) const {
  int size = borderWidth_ + (borderStyle_ == bsSingle ? 1 : 0);
  if (bevelOuter_ != bvNone) size += bevelWidth_;
  if (bevelInner_ != bvNone) size += bevelWidth_;
  InflateRect(r, -size, -size);
}

void TCustomPanel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  auto colors = [](TBevelCut b, TColor& top, TColor& bottom) {
    top = b == bvLowered ? clBtnShadow : clBtnHighlight;
    bottom = b == bvLowered ? clBtnHighlight : clBtnShadow;
  };
  if (borderStyle_ == bsSingle) Frame3D(c, r, clWindowFrame, clWindowFrame, 1);
  TColor top, bottom;
  if (bevelOuter_ != bvNone) {
    colors(bevelOuter_, top, bottom);
    Frame3D(c, r, top, bottom, bevelWidth_);
  }
  Frame3D(c, r, Color(), Color(), borderWidth_);
  if (bevelInner_ != bvNone) {
    colors(bevelInner_, top, bottom);
    Frame3D(c, r, top, bottom, bevelWidth_);
  }
  c.Brush()->SetColor(Color());
  c.Brush()->SetStyle(bsSolid);
  c.FillRect(r);
  c.Brush()->SetStyle(bsClear);
  c.SetFont(*Font());
  const int fh = c.TextHeight("W");
  r.Top = (r.Bottom + r.Top - fh) / 2;
  r.Bottom = r.Top + fh;
  uint32_t flags = DT_EXPANDTABS | DT_VCENTER | DT_SINGLELINE;
  if (alignment_ == taCenter) flags |= DT_CENTER;
  if (alignment_ == taRightJustify) flags |= DT_RIGHT;
  if (!Enabled()) c.Font()->SetColor(clGrayText);
  c.DrawText(Caption(), r, flags);
}

// ---- bevel, paint box, image ------------------------------------------------------------------

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csReplicatable);
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape s) {
  if (s == shape_) return;
  shape_ = s;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle s) {
  if (s == style_) return;
  style_ = s;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas& c = *Canvas();
  c.Pen()->SetWidth(1);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetMode(pmCopy);
  TColor c1 = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor c2 = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  const int w = Width(), h = Height();
  auto rect = [&](int l, int t, int r, int b) {
    c.Pen()->SetColor(c1);
    c.Polyline({{l, b}, {l, t}, {r, t}});
    c.Pen()->SetColor(c2);
    c.Polyline({{r, t}, {r, b}, {l, b}});
  };
  auto line = [&](TColor col, int x1, int y1, int x2, int y2) {
    c.Pen()->SetColor(col);
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
  };
  switch (shape_) {
    case bsBox: rect(0, 0, w - 1, h - 1); break;
    case bsFrame: {
      TColor t = c1;
      c1 = c2;
      rect(1, 1, w - 1, h - 1);
      c2 = t;
      c1 = t;
      rect(0, 0, w - 2, h - 2);
      break;
    }
    case bsTopLine:
      line(c1, 0, 0, w, 0);
      line(c2, 0, 1, w, 1);
      break;
    case bsBottomLine:
      line(c1, 0, h - 2, w, h - 2);
      line(c2, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      line(c1, 0, 0, 0, h);
      line(c2, 1, 0, 1, h);
      break;
    case bsRightLine:
      line(c1, w - 2, 0, w - 2, h);
      line(c2, w - 1, 0, w - 1, h);
      break;
    case bsSpacer: break;
  }
}

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 105, 105); }

void TPaintBox::Paint() {
  if (OnPaint) OnPaint(this);
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 105, 105);
  picture_.OnChange = [this](TObject*) { PictureChanged(); };
}

void TImage::PictureChanged() {
  if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
  Invalidate();
}

void TImage::SetStretch(bool v) {
  stretch_ = v;
  Invalidate();
}
void TImage::SetCenter(bool v) {
  center_ = v;
  Invalidate();
}
void TImage::SetAutoSize(bool v) {
  autoSize_ = v;
  PictureChanged();
}

void TImage::Paint() {
  if (picture_.Empty()) return;
  TRect r;
  if (stretch_) {
    r = ClientRect();
  } else if (center_) {
    r = Bounds((Width() - picture_.Width()) / 2, (Height() - picture_.Height()) / 2, picture_.Width(),
               picture_.Height());
  } else {
    r = Bounds(0, 0, picture_.Width(), picture_.Height());
  }
  Canvas()->StretchDraw(r, &picture_);
}

// ---- radio group ------------------------------------------------------------------------------

TCustomRadioGroup::TCustomRadioGroup(TComponent* owner) : TCustomGroupBox(owner) {
  items_.OnChange = [this](TObject*) {
    if (!updating_) UpdateButtons();
  };
}

TCustomRadioGroup::~TCustomRadioGroup() {
  items_.OnChange = nullptr;
  // The buttons are children: the group's window control frees them.
}

void TCustomRadioGroup::UpdateButtons() {
  // Buttons go and come with the items; they belong to the group, not to its form.
  while (int(buttons_.size()) > items_.Count()) {
    TRadioButton* b = buttons_.back();
    buttons_.pop_back();
    b->Free();
  }
  while (int(buttons_.size()) < items_.Count()) {
    auto* b = new TRadioButton(nullptr);
    b->SetParent(this);
    b->OnClick = [this, b](TObject*) { ButtonClicked(b); };
    buttons_.push_back(b);
  }
  updating_ = true;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->SetCaption(items_[int(i)]);
    buttons_[i]->SetEnabled(Enabled());
  }
  if (itemIndex_ >= int(buttons_.size())) itemIndex_ = -1;
  for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->SetChecked(int(i) == itemIndex_);
  updating_ = false;
  ArrangeButtons();
}

void TCustomRadioGroup::ArrangeButtons() {
  if (buttons_.empty()) return;
  TCanvas probe;
  probe.SetFont(*Font());
  const int th = probe.TextHeight("0");
  const int perCol = (int(buttons_.size()) + columns_ - 1) / columns_;
  const int bw = (Width() - 10) / columns_;
  const int space = Height() - th - 5;
  const int bh = std::max(1, space / perCol);
  const int topMargin = th + 1 + (space % perCol) / 2;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const int col = int(i) / perCol, row = int(i) % perCol;
    buttons_[i]->SetBounds(col * bw + 8, row * bh + topMargin, bw, bh);
    buttons_[i]->SetVisible(true);
  }
}

void TCustomRadioGroup::ButtonClicked(TRadioButton* b) {
  if (updating_) return;
  auto it = std::find(buttons_.begin(), buttons_.end(), b);
  if (it == buttons_.end() || !b->Checked()) return;
  itemIndex_ = int(it - buttons_.begin());
  Click();
}

void TCustomRadioGroup::SetItemIndex(int i) {
  if (i < -1 || i >= int(buttons_.size())) i = -1;
  if (i == itemIndex_) return;
  updating_ = true;
  if (itemIndex_ >= 0) buttons_[size_t(itemIndex_)]->SetChecked(false);
  itemIndex_ = i;
  if (i >= 0) buttons_[size_t(i)]->SetChecked(true);
  updating_ = false;
  Click();
}

void TCustomRadioGroup::SetColumns(int n) {
  n = std::clamp(n, 1, 16);
  if (n == columns_) return;
  columns_ = n;
  ArrangeButtons();
}

void TCustomRadioGroup::Resize() {
  TCustomGroupBox::Resize();
  ArrangeButtons();
}

void TCustomRadioGroup::FontChanged() {
  TCustomGroupBox::FontChanged();
  ArrangeButtons();
}

void TCustomRadioGroup::EnabledChanged() {
  TCustomGroupBox::EnabledChanged();
  for (auto* b : buttons_) b->SetEnabled(Enabled());
}

// ---- scrolling surface ------------------------------------------------------------------------

// Children move and resize without telling their parent: the surface watches their widgets, so
// the owner hears of what it holds.
struct TScrollSurface::Native : QObject {
  explicit Native(TScrollSurface* s) : owner_(s) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    switch (e->type()) {
      case QEvent::ChildAdded:
        if (o == surface) {
          QObject* child = static_cast<QChildEvent*>(e)->child();
          if (child->isWidgetType()) child->installEventFilter(this);
        }
        Changed();
        break;
      case QEvent::ChildRemoved:
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        if (o != surface) Changed();
        break;
      default: break;
    }
    return false;
  }
  void Changed() {
    if (owner_->OnChildrenChanged) owner_->OnChildrenChanged(nullptr);
  }
  void Scrolled(bool ended, bool vertical) {
    if (owner_->OnScroll) owner_->OnScroll(ended, vertical);
  }

  TScrollSurface* owner_;
  QPointer<QWidget> viewport, surface;
  QPointer<QScrollBar> horz, vert;
};

TScrollSurface::TScrollSurface(TWinControl* owner) : native_(std::make_unique<Native>(this)) {
  Native& n = *native_;
  QWidget* w = WidgetOf(owner);
  n.viewport = new QWidget(w);
  n.surface = new QWidget(n.viewport);
  SetClientWidget(owner, n.surface);
  n.surface->installEventFilter(&n);
  n.horz = new QScrollBar(Qt::Horizontal, w);
  n.vert = new QScrollBar(Qt::Vertical, w);
  for (QScrollBar* bar : {n.horz.data(), n.vert.data()}) {
    bar->hide();
    const bool vertical = bar == n.vert;
    QObject::connect(bar, &QScrollBar::valueChanged, &n, [&n, vertical](int) {
      n.surface->move(-n.horz->value(), -n.vert->value());
      n.Scrolled(false, vertical);
    });
    QObject::connect(bar, &QScrollBar::sliderReleased, &n, [&n, vertical] { n.Scrolled(true, vertical); });
  }
}

TScrollSurface::~TScrollSurface() {
  if (native_->surface) native_->surface->removeEventFilter(native_.get());
}

int TScrollSurface::Position(bool vertical) const { return (vertical ? native_->vert : native_->horz)->value(); }

void TScrollSurface::ScrollTo(int x, int y) {
  native_->horz->setValue(x);
  native_->vert->setValue(y);
}

bool TScrollSurface::BarVisible(bool vertical) const { return !(vertical ? native_->vert : native_->horz)->isHidden(); }

TRect TScrollSurface::BarRect(bool vertical) const {
  const QRect g = (vertical ? native_->vert : native_->horz)->geometry();
  return Bounds(g.x(), g.y(), g.width(), g.height());
}

void TScrollSurface::Layout(const TRect& view, bool horzBar, bool vertBar, int barSize, TSize content) {
  Native& n = *native_;
  const int vw = view.Width(), vh = view.Height();
  n.viewport->setGeometry(view.Left, view.Top, vw, vh);
  n.horz->setVisible(horzBar);
  n.vert->setVisible(vertBar);
  n.horz->setGeometry(view.Left, view.Top + vh, vw, barSize);
  n.vert->setGeometry(view.Left + vw, view.Top, barSize, vh);
  n.horz->setRange(0, std::max(0, content.cx - vw));
  n.vert->setRange(0, std::max(0, content.cy - vh));
  n.horz->setPageStep(std::max(1, vw));
  n.vert->setPageStep(std::max(1, vh));
  n.surface->setGeometry(-n.horz->value(), -n.vert->value(), std::max(content.cx, vw), std::max(content.cy, vh));
  n.viewport->show();
  n.surface->show();
}

// ---- timer ------------------------------------------------------------------------------------

class TimerObject : public QTimer {};

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  timer_ = new TimerObject;
  QObject::connect(timer_, &QTimer::timeout, timer_, [this] { CallGuarded([this] { Timer(); }); });
  UpdateTimer();
}

TTimer::~TTimer() {
  Destroying();
  delete timer_;
}

void TTimer::UpdateTimer() {
  timer_->stop();
  if (enabled_ && interval_ > 0) timer_->start(int(std::min<unsigned>(interval_, 0x7FFFFFFF)));
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned ms) {
  if (ms == interval_) return;
  interval_ = ms;
  UpdateTimer();
}

bool TTimer::Running() const { return timer_->isActive(); }

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

// ---- page control -----------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) {
  SetWidget(this, new ControlWidget(this));
  SetParentColor(true);
}

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* p) {
  if (p == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  if (p) p->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  auto& v = pageControl_->pages_;
  return int(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::SetPageIndex(int i) {
  if (!pageControl_) return;
  auto& v = pageControl_->pages_;
  i = std::clamp(i, 0, int(v.size()) - 1);
  v.erase(std::find(v.begin(), v.end(), this));
  v.insert(v.begin() + i, this);
  pageControl_->UpdateTabs();
}

void TTabSheet::SetTabVisible(bool v) {
  if (v == tabVisible_) return;
  tabVisible_ = v;
  if (pageControl_) pageControl_->UpdateTabs();
}

int TTabSheet::TabIndex() const {
  if (!pageControl_ || !tabVisible_) return -1;
  return TabsOf(pageControl_)->indexOf(WidgetOf(this));
}

void TTabSheet::SetTextRaw(const std::string& s) {
  TWinControl::SetTextRaw(s);
  if (pageControl_) {
    int i = TabIndex();
    if (i >= 0) TabsOf(pageControl_)->setTabText(i, QtCaption(s));
  }
}

char TTabSheet::Accelerator() const { return tabVisible_ ? GetHotkey(Caption()) : 0; }

bool TPageControl::DialogChar(char ch) {
  for (TTabSheet* p : pages_)
    if (p->Enabled() && p->AcceleratorIs(ch)) {
      // The operator's choice, as a click on the tab: asked first and told after.
      if (p == ActivePage()) return true;
      bool allow = true;
      if (OnChanging) CallGuarded([&] { OnChanging(this, allow); });
      if (allow) TabsOf(this)->setCurrentWidget(WidgetOf(p));
      return true;
    }
  return false;
}

// Lets the page control veto a change of tab made with the mouse.
class TabBarFilter : public QObject {
public:
  explicit TabBarFilter(TPageControl* pc) : pc_(pc) {}
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::MouseButtonPress || !pc_->OnChanging) return false;
    auto* bar = static_cast<QTabBar*>(o);
    int i = bar->tabAt(static_cast<QMouseEvent*>(e)->position().toPoint());
    if (i < 0 || i == bar->currentIndex()) return false;
    bool allow = true;
    CallGuarded([&] { pc_->OnChanging(pc_, allow); });
    return !allow;
  }

private:
  TPageControl* pc_;
};

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) {
  auto* tw = new Hosted<QTabWidget>(this);
  SetWidget(this, tw);
  tabFilter_ = new TabBarFilter(this);
  tw->tabBar()->installEventFilter(tabFilter_);
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
  QObject::connect(tw, &QTabWidget::currentChanged, GlueOf(this), [this](int) {
    if (changing_ || IsDestroying()) return;
    const int now = ActivePageIndex();
    if (now == lastIndex_) return;
    lastIndex_ = now;
    CallGuarded([this] {
      if (OnChange) OnChange(this);
    });
  });
}

TPageControl::~TPageControl() {
  // The sheets are destroyed after this body, and Qt reports each removal as a change of page:
  // nothing of this object may hear of it.
  Destroying();
  QObject::disconnect(TabsOf(this), nullptr, GlueOf(this), nullptr);
  TabsOf(this)->tabBar()->removeEventFilter(tabFilter_);
  delete tabFilter_;
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
  pages_.clear();
}

QTabWidget* TabsOf(const TPageControl* p) { return static_cast<QTabWidget*>(WidgetOf(p)); }

void TPageControl::InsertPage(TTabSheet* p) {
  pages_.push_back(p);
  p->pageControl_ = this;
  InsertControl(p);
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* p) {
  auto it = std::find(pages_.begin(), pages_.end(), p);
  if (it == pages_.end()) return;
  pages_.erase(it);
  p->pageControl_ = nullptr;
  if (!IsDestroying()) {
    int i = TabsOf(this)->indexOf(WidgetOf(p));
    changing_ = true;
    if (i >= 0) TabsOf(this)->removeTab(i);
    changing_ = false;
    lastIndex_ = ActivePageIndex();
  }
}

void TPageControl::UpdateTabs() {
  changing_ = true;
  QWidget* current = TabsOf(this)->currentWidget();
  while (TabsOf(this)->count() > 0) TabsOf(this)->removeTab(0);
  for (TTabSheet* p : pages_) {
    if (!p->tabVisible_) {
      WidgetOf(p)->hide();
      continue;
    }
    TabsOf(this)->addTab(WidgetOf(p), QtCaption(p->Caption()));
  }
  if (current && TabsOf(this)->indexOf(current) >= 0) TabsOf(this)->setCurrentWidget(current);
  changing_ = false;
  lastIndex_ = ActivePageIndex();
}

TTabSheet* TPageControl::ActivePage() const {
  QWidget* w = TabsOf(this)->currentWidget();
  for (TTabSheet* p : pages_)
    if (WidgetOf(p) == w) return p;
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* p) {
  if (!p || p->pageControl_ != this || !p->tabVisible_) return;
  changing_ = true;
  TabsOf(this)->setCurrentWidget(WidgetOf(p));
  changing_ = false;
  lastIndex_ = ActivePageIndex();
}

int TPageControl::ActivePageIndex() const {
  TTabSheet* p = ActivePage();
  return p ? p->PageIndex() : -1;
}

void TPageControl::SetActivePageIndex(int i) {
  if (i >= 0 && i < PageCount()) SetActivePage(pages_[size_t(i)]);
}

TRect TPageControl::ClientRect() const {
  if (QWidget* w = TabsOf(this)->currentWidget()) {
    QRect r = w->geometry();
    QPoint tl = w->mapTo(TabsOf(this), QPoint(0, 0));
    return Bounds(tl.x(), tl.y(), r.width(), r.height());
  }
  return Rect(4, 24, std::max(4, Width() - 4), std::max(24, Height() - 4));
}

// ---- gauge ------------------------------------------------------------------------------------

TGauge::TGauge(TComponent* owner) : TGraphicControl(owner) {
  SetControlStyle(ControlStyle() | csReplicatable | csOpaque);
  SetBounds(0, 0, 100, 100);
}

void TGauge::SetKind(TGaugeKind k) {
  if (k == kind_) return;
  kind_ = k;
  Invalidate();
}

void TGauge::SetMinValue(int v) {
  if (v == minValue_) return;
  if (v > maxValue_ && !IsLoading())
    throw EInvalidOperation("Value must be between " + std::to_string(-2147483647) + " and " +
                            std::to_string(maxValue_ - 1));
  minValue_ = v;
  if (progress_ < v) progress_ = v;
  Invalidate();
}

void TGauge::SetMaxValue(int v) {
  if (v == maxValue_) return;
  if (v < minValue_ && !IsLoading())
    throw EInvalidOperation("Value must be between " + std::to_string(minValue_ + 1) + " and " +
                            std::to_string(2147483647));
  maxValue_ = v;
  if (progress_ > v) progress_ = v;
  Invalidate();
}

void TGauge::SetProgress(int v) {
  v = std::clamp(v, minValue_, maxValue_);
  if (v == progress_) return;
  progress_ = v;
  Invalidate();
}

int TGauge::PercentDone() const {
  const int64_t span = int64_t(maxValue_) - minValue_;
  if (span <= 0) return 0;
  return int((int64_t(progress_) - minValue_) * 100 / span);
}

void TGauge::SetForeColor(TColor c) {
  foreColor_ = c;
  Invalidate();
}
void TGauge::SetBackColor(TColor c) {
  backColor_ = c;
  Invalidate();
}
void TGauge::SetShowText(bool v) {
  showText_ = v;
  Invalidate();
}
void TGauge::SetBorderStyle(TBorderStyle s) {
  borderStyle_ = s;
  Invalidate();
}

void TGauge::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  if (borderStyle_ == bsSingle) {
    c.Brush()->SetColor(clBlack);
    c.FrameRect(r);
    InflateRect(r, -1, -1);
  }
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(kind_ == gkPie || kind_ == gkNeedle ? Color() : backColor_);
  c.FillRect(r);
  const int pct = PercentDone();
  const int64_t span = int64_t(maxValue_) - minValue_;
  const int64_t done = int64_t(progress_) - minValue_;
  TRect bar{};
  switch (kind_) {
    case gkHorizontalBar:
      bar = r;
      bar.Right = r.Left + int(span > 0 ? int64_t(r.Width()) * done / span : 0);
      break;
    case gkVerticalBar:
      bar = r;
      bar.Top = r.Bottom - int(span > 0 ? int64_t(r.Height()) * done / span : 0);
      break;
    case gkPie: {
      c.Pen()->SetColor(foreColor_);
      c.Pen()->SetWidth(1);
      c.Brush()->SetColor(backColor_);
      c.Ellipse(r);
      if (pct > 0) {
        // Clockwise from the top: the slice runs back counter-clockwise from its far radial.
        c.Brush()->SetColor(foreColor_);
        const double a = (pct / 50.0 + 0.5) * M_PI;
        const int cx = (r.Left + r.Right) / 2;
        if (pct >= 100) c.Ellipse(r);
        else
          c.Pie(r.Left, r.Top, r.Right, r.Bottom, r.Left + int(std::lround((1 - std::cos(a)) * (r.Width() / 2))),
                r.Top + int(std::lround((1 - std::sin(a)) * (r.Height() / 2))), cx, r.Top);
      }
      break;
    }
    case gkNeedle: {
      c.Pen()->SetColor(foreColor_);
      c.Brush()->SetColor(backColor_);
      c.Pie(r.Left, r.Top, r.Right, r.Bottom + r.Height(), r.Right, r.Bottom, r.Left, r.Bottom);
      const double a = M_PI * (1.0 - pct / 100.0);
      const int cx = (r.Left + r.Right) / 2;
      c.MoveTo(cx, r.Bottom - 1);
      c.LineTo(cx + int(std::lround(std::cos(a) * r.Width() / 2)),
               r.Bottom - 1 - int(std::lround(std::sin(a) * (r.Height() - 1))));
      break;
    }
    case gkText: break;
  }
  if (!IsRectEmpty(bar)) {
    c.Brush()->SetColor(foreColor_);
    c.FillRect(bar);
  }
  if (showText_) {
    // The text is in the background colour where it lies on the bar, the bar's colour elsewhere.
    const std::string text = std::to_string(pct) + "%";
    c.SetFont(*Font());
    c.Brush()->SetStyle(bsClear);
    TRect tr = r;
    TRegion whole = TRegion::FromRect(r);
    TRegion onBar = TRegion::FromRect(bar);
    TRegion off = TRegion::Combine(whole, onBar, RGN_DIFF);
    if (!IsRectEmpty(bar)) {
      c.SelectClipRgn(&onBar);
      c.Font()->SetColor(backColor_);
      c.DrawText(text, tr, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    }
    c.SelectClipRgn(&off);
    c.Font()->SetColor(kind_ == gkPie || kind_ == gkNeedle ? Font()->Color() : foreColor_);
    c.DrawText(text, tr, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    c.SelectClipRgn(nullptr);
  }
}

// ---- edit masks -------------------------------------------------------------------------------

TEditMask::TEditMask(const std::string& mask) {
  // Fields are separated by ";" not escaped by "\".
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '\\' && i + 1 < mask.size() && fields.size() == 1) {
      fields.back() += mask[i];
      fields.back() += mask[++i];
    } else if (mask[i] == ';') {
      fields.emplace_back();
    } else {
      fields.back() += mask[i];
    }
  }
  if (fields.size() > 1 && fields[1] == "0") saveLiterals_ = false;
  if (fields.size() > 2 && !fields[2].empty()) blank_ = fields[2][0];
  const std::string& m = fields[0];
  int caseMode = 0;
  for (size_t i = 0; i < m.size(); ++i) {
    Slot s;
    const char ch = m[i];
    switch (ch) {
      case '\\':
        if (i + 1 < m.size()) s.literal = m[++i];
        break;
      case '!': continue;
      case '>':
        if (i + 1 < m.size() && m[i + 1] == '<') {
          caseMode = 0;
          ++i;
        } else {
          caseMode = 1;
        }
        continue;
      case '<': caseMode = -1; continue;
      case 'L':
        s.kind = Letter;
        s.required = true;
        break;
      case 'l': s.kind = Letter; break;
      case 'A':
        s.kind = Alnum;
        s.required = true;
        break;
      case 'a': s.kind = Alnum; break;
      case 'C':
        s.kind = Any;
        s.required = true;
        break;
      case 'c': s.kind = Any; break;
      case '0':
        s.kind = Digit;
        s.required = true;
        break;
      case '9': s.kind = Digit; break;
      case '#': s.kind = DigitOrSign; break;
      case '_': s.literal = ' '; break;
      default: s.literal = ch; break;
    }
    s.caseMode = caseMode;
    slots_.push_back(s);
  }
}

bool TEditMask::Accepts(size_t i, char c) const {
  if (i >= slots_.size()) return false;
  const Slot& s = slots_[i];
  const unsigned char u = static_cast<unsigned char>(c);
  switch (s.kind) {
    case Literal: return c == s.literal;
    case Letter: return std::isalpha(u);
    case Alnum: return std::isalnum(u);
    case Any: return c != blank_ && u >= ' ';
    case Digit: return std::isdigit(u);
    case DigitOrSign: return std::isdigit(u) || c == '+' || c == '-';
  }
  return false;
}

std::string TEditMask::EditText(const std::string& text) const {
  std::string r;
  size_t k = 0;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (s.kind == Literal) {
      r += s.literal;
      if (saveLiterals_ && k < text.size()) ++k;
      continue;
    }
    char c = k < text.size() ? text[k++] : blank_;
    if (s.caseMode > 0) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (s.caseMode < 0) c = char(std::tolower(static_cast<unsigned char>(c)));
    r += Accepts(i, c) ? c : blank_;
  }
  return r;
}

std::string TEditMask::FromShown(const std::string& shown) const {
  std::string r;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const char c = i < shown.size() ? shown[i] : blank_;
    r += slots_[i].kind == Literal ? slots_[i].literal : Accepts(i, c) ? c : blank_;
  }
  return r;
}

std::string TEditMask::TextOf(const std::string& editText) const {
  std::string r;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    const char c = i < editText.size() ? editText[i] : blank_;
    if (s.kind == Literal) {
      if (saveLiterals_) r += s.literal;
      continue;
    }
    r += (c == blank_ || !Accepts(i, c)) ? ' ' : c;
  }
  return r;
}

bool TEditMask::Valid(const std::string& editText) const {
  for (size_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (s.kind == Literal) continue;
    const char c = i < editText.size() ? editText[i] : blank_;
    const bool filled = c != blank_ && c != ' ';
    if (filled && !Accepts(i, c)) return false;
    if (!filled && s.required) return false;
  }
  return true;
}

std::string TEditMask::QtMask() const {
  if (slots_.empty()) return {};
  std::string r;
  int mode = 0;
  for (const Slot& s : slots_) {
    if (s.caseMode != mode) {
      r += s.caseMode > 0 ? ">" : s.caseMode < 0 ? "<" : "!";
      mode = s.caseMode;
    }
    switch (s.kind) {
      case Literal:
        if (std::string("AaNnXx90Dd#HhBb><!\\;[]{}").find(s.literal) != std::string::npos) r += '\\';
        r += s.literal;
        break;
      case Letter: r += s.required ? 'A' : 'a'; break;
      case Alnum: r += s.required ? 'N' : 'n'; break;
      case Any: r += s.required ? 'X' : 'x'; break;
      case Digit: r += s.required ? '9' : '0'; break;
      case DigitOrSign: r += '#'; break;
    }
  }
  r += ';';
  r += blank_;
  return r;
}

TMaskEdit::TMaskEdit(TComponent* owner) : TCustomEdit(owner) {}

void TMaskEdit::SetEditMask(const std::string& m) {
  if (m == mask_) return;
  const bool wasMasked = IsMasked();
  const std::string text = GetText(), shown = EditText();
  mask_ = m;
  parsed_ = TEditMask(m);
  LineEditOf(this)->setInputMask(QString::fromStdString(parsed_.QtMask()));
  if (IsMasked()) SetEditText(wasMasked ? parsed_.FromShown(shown) : parsed_.EditText(text));
}

std::string TMaskEdit::EditText() const {
  if (!IsMasked()) return TCustomEdit::GetText();
  // Qt shows the blank character where nothing was typed; its text() drops them.
  std::string shown = LineEditOf(this)->displayText().toStdString();
  if (LineEditOf(this)->echoMode() != QLineEdit::Normal) shown = LineEditOf(this)->text().toStdString();
  shown.resize(parsed_.Length(), parsed_.Blank());
  return shown;
}

void TMaskEdit::SetEditText(const std::string& s) {
  if (!IsMasked()) {
    TCustomEdit::SetTextRaw(s);
    return;
  }
  LineEditOf(this)->setText(QString::fromStdString(s));
  LineEditOf(this)->setModified(false);
}

std::string TMaskEdit::GetText() const {
  if (!IsMasked()) return TCustomEdit::GetText();
  return parsed_.TextOf(EditText());
}

void TMaskEdit::SetTextRaw(const std::string& s) {
  if (!IsMasked()) {
    TCustomEdit::SetTextRaw(s);
    return;
  }
  SetEditText(parsed_.EditText(s));
}

void TMaskEdit::ValidateEdit() {
  if (IsMasked() && !parsed_.Valid(EditText()))
    throw EDBEditError("Invalid input value.  Use escape key to abandon changes");
}

void TMaskEdit::WndProc(TMessage& m) {
  if (m.Msg == CM_EXIT && IsMasked()) {
    try {
      ValidateEdit();
    } catch (...) {
      // The operator stays in the field until the text is valid.
      QMetaObject::invokeMethod(
          LineEditOf(this), [e = LineEditOf(this)] { e->setFocus(); }, Qt::QueuedConnection);
      throw;
    }
  }
  TCustomEdit::WndProc(m);
}

}  // namespace plat
