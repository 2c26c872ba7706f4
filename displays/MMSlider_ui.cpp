#include "displays/MMSlider_ui.h"

#include <algorithm>

#include "displays/MMBCache.h"
#include "displays/MMDIBCv_ui.h"
#include "platform/ui/extctrls.h"

using namespace plat;

namespace {

// One 500 ms flash timer for all sliders, handed to the one that has the focus.
struct FlashTimer {
  std::unique_ptr<TTimer> timer;
  TMMCustomSlider* owner = nullptr;
};
FlashTimer& SharedFlash() {
  static FlashTimer f;
  return f;
}

TRect T(const TDIBRect& r) { return Rect(r.Left, r.Top, r.Right, r.Bottom); }

TMMSliderKey KeyOf(uint16_t key) {
  switch (key) {
    case VK_PRIOR: return skPageUp;
    case VK_NEXT: return skPageDown;
    case VK_END: return skEnd;
    case VK_HOME: return skHome;
    case VK_LEFT: return skLeft;
    case VK_RIGHT: return skRight;
    case VK_UP: return skUp;
    case VK_DOWN: return skDown;
    default: return skNone;
  }
}

}  // namespace

TMMCustomSlider::TMMCustomSlider(TComponent* owner)
    : TMMCustomControl(owner),
      groove_(new TMMBevel),
      scale_(new TMMScale),
      picLeft_(std::make_unique<TBitmap>()),
      picRight_(std::make_unique<TBitmap>()) {
  Bevel()->SetBorderWidth(5);
  SetColor(clWindow);
  SetTabStop(true);
  scale_->SetVisible(false);
  scale_->SetOrigin(soOuter);
  scale_->SetConnect(true);
  groove_->OnChange = [this](TObject*) { Invalidate(); };
  scale_->OnChange = [this](TObject*) { Invalidate(); };
  picLeft_->OnChange = [this](TObject*) { Invalidate(); };
  picRight_->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(Left(), Top(), 200, 40);
}

TMMCustomSlider::~TMMCustomSlider() {
  StopFlash();
  if (SharedFlash().owner == this) SharedFlash().owner = nullptr;
  TBitmapCache::Release(bitmap_);
  groove_->OnChange = nullptr;
  scale_->OnChange = nullptr;
  picLeft_->OnChange = nullptr;
  picRight_->OnChange = nullptr;
  delete groove_;
  delete scale_;
}

// ---- geometry ----

TMMSliderLayout TMMCustomSlider::Layout() const {
  TMMSliderLayout l;
  l.width = Width();
  l.height = Height();
  l.bevelExtent = Bevel()->BevelExtent();
  l.horizontal = orientation_ == orHorizontal;
  l.picFirst = l.horizontal ? picLeft_->Width() : picLeft_->Height();
  l.picLast = l.horizontal ? picRight_->Width() : picRight_->Height();
  l.thumbWidth = thumbWidth_;
  l.thumbHeight = thumbHeight_;
  l.grooveSize = grooveSize_;
  l.grooveBevel = groove_->BevelExtent();
  l.scaleVisible = scale_->Visible();
  l.scalePos = scalePosition_;
  l.scaleDistance = scaleDistance_;
  l.scaleHeight = scale_->Height();
  return l;
}

TRect TMMCustomSlider::ThumbRect() const {
  const TMMSliderLayout l = Layout();
  return T(SliderThumb(l, SliderParts(l), map_, p_));
}

void TMMCustomSlider::SetBounds(int l, int t, int w, int h) {
  const bool sized = w != Width() || h != Height();
  TMMCustomControl::SetBounds(l, t, w, h);
  if (!sized) return;
  // At run time the shape decides: taller than wide is vertical, anything else horizontal.
  if (!IsDesigning() && !IsLoading()) orientation_ = h > w ? orVertical : orHorizontal;
  TakeBitmap();
  Invalidate();
}

void TMMCustomSlider::SetOrientation(TMMOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  if (IsDesigning()) {
    std::swap(thumbWidth_, thumbHeight_);
    const bool wrongShape = o == orHorizontal ? Height() > Width() : Width() > Height();
    if (wrongShape) SetBounds(Left(), Top(), Height(), Width());
  }
  Invalidate();
}

void TMMCustomSlider::SetPicLeft(TBitmap* b) {
  if (b) picLeft_->Assign(b);
  else picLeft_->SetSize(0, 0);
  Invalidate();
}

void TMMCustomSlider::SetPicRight(TBitmap* b) {
  if (b) picRight_->Assign(b);
  else picRight_->SetSize(0, 0);
  Invalidate();
}

void TMMCustomSlider::TakeBitmap() {
  if (IsLoading()) return;
  TBitmapCache::Release(bitmap_);
  bitmap_ = TBitmapCache::Acquire(std::max(Width(), 1), std::max(Height(), 1));
}

void TMMCustomSlider::Loaded() {
  TMMCustomControl::Loaded();
  TakeBitmap();
}

void TMMCustomSlider::SetEnabled(bool v) {
  if (v == Enabled()) return;
  TMMCustomControl::SetEnabled(v);
  Invalidate();
}

// ---- positions ----

bool TMMCustomSlider::SetPos(int32_t request) {
  if (request == p_ && !force_) return false;
  const TRect before = ThumbRect();
  p_ = map_.Clamp(request);
  if (IsDesigning() || IsLoading()) {
    Invalidate();
    return true;
  }
  if (!(ThumbRect() == before)) Invalidate();
  Change();
  return true;
}

void TMMCustomSlider::SetRange(int32_t minValue, int32_t maxValue) {
  if (minValue == map_.minValue && maxValue == map_.maxValue) return;
  if (!IsLoading() && int64_t(maxValue) < int64_t(minValue) + 1) {
    if (minValue == INT32_MAX) minValue = INT32_MAX - 1;
    maxValue = minValue + 1;
  }
  map_.minValue = minValue;
  map_.maxValue = maxValue;
  force_ = true;
  SetPosition(map_.Clamp(Position()));
  force_ = false;
  Invalidate();
}

void TMMCustomSlider::SetLogarithmic(bool v) {
  if (v == map_.logarithmic) return;
  const int32_t value = Position();
  map_.logarithmic = v;
  SetPosition(value);
  Invalidate();
}

void TMMCustomSlider::SetSensitivity(int v) {
  v = std::clamp(v, -96, -20);
  if (v == map_.sensitivity) return;
  const int32_t value = Position();
  map_.sensitivity = v;
  SetPosition(value);
  Invalidate();
}

void TMMCustomSlider::Change() {
  if (IsLoading() || (ComponentState() & csReading)) return;
  if (OnChange) OnChange(this);
}

void TMMCustomSlider::Track() {
  tracking_ = true;
  if (OnTrack) OnTrack(this);
}

void TMMCustomSlider::TrackEnd() {
  if (!tracking_) return;
  if (OnTrackEnd) OnTrackEnd(this);
  tracking_ = false;
}

// ---- keys and mouse ----

bool TMMCustomSlider::WantsKey(uint16_t key, TShiftState) const {
  return key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN;
}

void TMMCustomSlider::KeyDown(uint16_t& key, TShiftState shift) {
  int32_t target;
  if (SliderKeyTarget(KeyOf(key), p_, map_, lineSize_, pageSize_, orientation_ == orHorizontal, target) &&
      SetPos(target))
    Track();
  TMMCustomControl::KeyDown(key, shift);
}

void TMMCustomSlider::KeyUp(uint16_t& key, TShiftState shift) {
  TrackEnd();
  TMMCustomControl::KeyUp(key, shift);
}

void TMMCustomSlider::ShowThumbCursor(bool overThumb) {
  overThumb_ = overThumb;
  const TCursor c = overThumb ? (handCursor_ ? crMMHand : thumbCursor_) : Cursor();
  ShowCursorOver(c == crDefault ? Cursor() : c);
}

void TMMCustomSlider::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
  if (CanFocus() && !Focused()) SetFocus();
  const bool onThumb = PtInRect(ThumbRect(), {x, y});
  if (onThumb) ShowThumbCursor(true);
  if (b == mbLeft) {
    const TMMSliderLayout l = Layout();
    const TMMSliderParts parts = SliderParts(l);
    // A slider without travel has no position under the pointer and nothing to drag.
    if (parts.travel > 0) {
      dragging_ = onThumb;
      dragStart_ = l.horizontal ? x : y;
      dragStartPos_ = p_;
      if (!onThumb) {
        int32_t target;
        if (SliderPointToPosition(l, parts, map_, x, y, target) && !SetPos(target)) Invalidate();
        dragStartPos_ = p_;
      }
      Track();
    }
  }
  TMMCustomControl::MouseDown(b, s, x, y);
}

void TMMCustomSlider::MouseMove(TShiftState s, int x, int y) {
  if (!dragging_) {
    const bool over = PtInRect(ThumbRect(), {x, y});
    if (over != overThumb_) ShowThumbCursor(over);
  } else if (s & ssLeft) {
    const TMMSliderLayout l = Layout();
    const int delta = l.horizontal ? x - dragStart_ : dragStart_ - y;
    int32_t target;
    if (SliderDragPosition(SliderParts(l), map_, dragStartPos_, delta, target) && SetPos(target)) Track();
  }
  TMMCustomControl::MouseMove(s, x, y);
}

void TMMCustomSlider::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
  if (b == mbLeft) {
    dragging_ = false;
    Invalidate();
    TrackEnd();
  }
  TMMCustomControl::MouseUp(b, s, x, y);
}

// ---- focus ----

void TMMCustomSlider::WndProc(TMessage& m) {
  TMMCustomControl::WndProc(m);
  if (m.Msg == CM_ENTER) FocusChanged(true);
  if (m.Msg == CM_EXIT) FocusChanged(false);
}

void TMMCustomSlider::FocusChanged(bool gained) {
  focused_ = gained;
  if (gained && OnGetFocus) OnGetFocus(this);
  if (!gained && OnLostFocus) OnLostFocus(this);
  if (focusAction_ == faNone) return;
  StopFlash();
  if (gained && (focusAction_ == faFocusThumb || focusAction_ == faAll)) {
    FlashTimer& f = SharedFlash();
    if (!f.timer) {
      f.timer = std::make_unique<TTimer>(nullptr);
      f.timer->SetInterval(500);
    }
    f.owner = this;
    f.timer->OnTimer = [](TObject*) {
      if (SharedFlash().owner) SharedFlash().owner->FlashTick();
    };
    f.timer->SetEnabled(true);
  }
  Invalidate();
}

void TMMCustomSlider::StopFlash() {
  flash_ = false;
  FlashTimer& f = SharedFlash();
  if (f.owner == this) {
    f.owner = nullptr;
    f.timer.reset();
  }
}

void TMMCustomSlider::FlashTick() {
  flash_ = dragging_ ? true : !flash_;
  Invalidate();
}

// ---- painting ----

void TMMCustomSlider::DrawThumb(TCanvas& c, const TRect& r) {
  if (OnDrawThumb) OnDrawThumb(this, &c, r, dragging_, flash_);
}

void TMMCustomSlider::DrawGroove(TCanvas& c, TRect& r) {
  if (OnDrawGroove) OnDrawGroove(this, &c, r);
}

void TMMCustomSlider::PaintTo(TCanvas& c) {
  const TMMSliderLayout l = Layout();
  const TMMSliderParts parts = SliderParts(l);
  TRect inner;
  Bevel()->Paint(c, Rect(0, 0, Width(), Height()), inner, true);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetColor(Color());
  c.FillRect(inner);
  auto centred = [&](TBitmap* b, const TDIBRect& area) {
    if (b->Empty()) return;
    c.Draw(area.Left + (area.Right - area.Left - b->Width()) / 2, area.Top + (area.Bottom - area.Top - b->Height()) / 2,
           b);
  };
  centred(picLeft_.get(), parts.picFirst);
  centred(picRight_.get(), parts.picLast);

  TRect g = T(parts.groove);
  TRect inside;
  if (grooveStyle_ == gsRect) {
    groove_->Paint(c, g, inside, true);
  } else {
    const int e = groove_->BevelExtent();
    inside = g;
    if (l.horizontal) InflateRect(inside, 0, -e);
    else InflateRect(inside, -e, 0);
    DrawGroove(c, inside);
  }
  if (focused_ && (focusAction_ == faFocusRect || focusAction_ == faAll)) {
    TRect f = g;
    const int grow = groove_->BevelExtent() > 0 ? 2 : 1;
    InflateRect(f, grow, grow);
    c.DrawFocusRect(f);
  }
  if (grooveStyle_ == gsRect) {
    c.Brush()->SetColor(focused_ && (focusAction_ == faFocusColor || focusAction_ == faAll) ? focusColor_
                                                                                            : grooveColor_);
    c.FillRect(inside);
  }
  if (scale_->Visible()) {
    scale_->SetCanvas(&c);
    for (const auto& [rect, firstSide] : parts.rows) scale_->DrawScale(T(rect), firstSide);
    scale_->SetCanvas(nullptr);
  }

  TRect r = T(SliderThumb(l, parts, map_, p_));
  if (thumbStyle_ == tsOwnerDraw) {
    DrawThumb(c, r);
    return;
  }
  if (thumbBorder_) {
    c.Brush()->SetColor(clWindowFrame);
    c.FrameRect(r);
    InflateRect(r, -1, -1);
  } else {
    c.Pen()->SetColor(clWindowFrame);
    c.Pen()->SetWidth(1);
    c.MoveTo(r.Left, r.Bottom - 1);
    c.LineTo(r.Right - 1, r.Bottom - 1);
    c.LineTo(r.Right - 1, r.Top - 1);
    r.Right -= 1;
    r.Bottom -= 1;
  }
  Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
  c.Brush()->SetColor(thumbColor_);
  c.FillRect(r);
  const bool disabled = !Enabled();
  if (disabled || (focused_ && flash_)) {
    const TColor checker = disabled ? disabledColor_ : clBlack;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left + ((r.Left ^ y) & 1); x < r.Right; x += 2) c.SetPixel(x, y, checker);
  }
}

void TMMCustomSlider::Paint() {
  if (!bitmap_) TakeBitmap();
  if (!bitmap_ || bitmap_->Width() != Width() || bitmap_->Height() != Height()) {
    PaintTo(*Canvas());
    return;
  }
  PaintTo(*bitmap_->Canvas());
  Canvas()->CopyPixels(0, 0, *bitmap_, Rect(0, 0, Width(), Height()));
}
