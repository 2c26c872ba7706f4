#include "controls/zelbtns.h"

#include <algorithm>

#include "controls/zelbmp.h"
#include "controls/zelclass.h"
#include "platform/system/exceptions.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"
#include "platform/ui/hooks.h"
#include "platform/ui/menus.h"
#include "platform/ui/streams.h"

using plat::TBitmap;
using plat::TCanvas;
using plat::TColor;
using plat::TRect;

namespace {

// ---- glyph cache lifetime ---------------------------------------------------------------------------
TZelGlyphCache* g_cache = nullptr;
int g_glyphs = 0;

TZelGlyphCache* Cache() {
  if (!g_cache) g_cache = new TZelGlyphCache;
  return g_cache;
}

void FreeCacheWhenUnused() {
  if (g_cache && g_glyphs == 0 && g_cache->Count() == 0) {
    delete g_cache;
    g_cache = nullptr;
  }
}

// White where image has key (the pixels an image list leaves out).
void KeyMask(TBitmap& image, TColor key, TBitmap& mask) {
  mask.SetSize(image.Width(), image.Height());
  TBitmap src;
  src.Assign(&image);
  src.SetPixelFormat(plat::pf32bit);
  const uint32_t k = plat::ColorToBGR(key);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x)
      mask.SetPixelColor(x, y, uint32_t(src.PixelColor(x, y)) == k ? plat::clWhite : plat::clBlack);
}

bool MaskBit(const TBitmap& m, int x, int y) {
  if (m.PixelFormat() == plat::pf1bit) return m.PixelIndex(x, y) != 0;
  return m.PixelColor(x, y) != plat::clBlack;
}

bool Contains(const plat::TControl* c, int x, int y) { return x >= 0 && y >= 0 && x < c->Width() && y < c->Height(); }

uint16_t AddPoolTimer(uint16_t interval, plat::TNotifyEvent tick) {
  uint16_t id = ZelApplication ? ZelApplication->AddTimer(interval, std::move(tick)) : 0;
  if (id == 0) throw plat::EOutOfResources("Not enough timers available");
  return id;
}

void RemovePoolTimer(uint16_t id) {
  if (!ZelApplication || ZelApplication->TimerPool()->IndexOfIdent(id) < 0) return;
  if (TZelTimerItem* t = ZelApplication->TimerById(id)) {
    t->SetEnabled(false);
    t->OnTimer = nullptr;
  }
  ZelApplication->RemoveTimer(id);
}

}  // namespace

namespace {

// Watches the events of a button's widget that end a press without a release: hiding, the window
// losing activation or being blocked by a modal window, and the mouse grab being taken.
std::unique_ptr<plat::TWindowHook> WatchButton(const plat::TControl* button, std::function<void(bool hidden)> cancel) {
  return std::make_unique<plat::TWindowHook>(button, plat::TWindowHook::hsControl,
                                             [cancel = std::move(cancel)](plat::TWindowEvent& e) {
                                               switch (e.Kind) {
                                                 case plat::weHide: cancel(true); break;
                                                 case plat::weDeactivate:
                                                 case plat::weBlocked:
                                                 case plat::weMouseGrabLost: cancel(false); break;
                                                 default: break;
                                               }
                                               return false;
                                             });
}

}  // namespace

// ---- glyph lists and cache ----------------------------------------------------------------------------

TZelGlyphList::TZelGlyphList(int width, int height) {
  SetMasked(true);
  SetWidth(width);
  SetHeight(height);
}

int TZelGlyphList::AddGlyph(TBitmap& image, TColor transparent) {
  auto it = std::find(cells_.begin(), cells_.end(), false);
  int index;
  if (it != cells_.end()) {
    index = int(it - cells_.begin());
    TBitmap mask;
    KeyMask(image, transparent, mask);
    Replace(index, image, &mask);
  } else {
    index = AddMasked(image, transparent);
    cells_.resize(size_t(Count()), false);
  }
  cells_[size_t(index)] = true;
  ++used_;
  return index;
}

void TZelGlyphList::RemoveGlyph(int index) {
  if (index < 0 || index >= int(cells_.size()) || !cells_[size_t(index)]) return;
  cells_[size_t(index)] = false;
  --used_;
}

TZelGlyphList* TZelGlyphCache::ListFor(int width, int height) {
  for (auto* l : lists_)
    if (l->Width() == width && l->Height() == height) return l;
  lists_.push_back(new TZelGlyphList(width, height));
  return lists_.back();
}

void TZelGlyphCache::Release(TZelGlyphList* list) {
  if (!list || list->UsedCount() > 0) return;
  auto it = std::find(lists_.begin(), lists_.end(), list);
  if (it == lists_.end()) return;
  lists_.erase(it);
  delete list;
}

TZelGlyphCache::~TZelGlyphCache() {
  for (auto* l : lists_) delete l;
}

TZelGlyphCache* ZelGlyphCache() { return g_cache; }

// ---- glyph ------------------------------------------------------------------------------------------

TZelGlyph::TZelGlyph() : bitmap_(std::make_unique<TBitmap>()) {
  images_.fill(-1);
  ++g_glyphs;
  Cache();
  bitmap_->OnChange = [this](plat::TObject*) { BitmapChanged(); };
}

TZelGlyph::~TZelGlyph() {
  bitmap_->OnChange = nullptr;
  OnChange = nullptr;
  ReleaseImages();
  --g_glyphs;
  FreeCacheWhenUnused();
}

void TZelGlyph::SetBitmap(TBitmap* v) {
  auto handler = std::move(bitmap_->OnChange);
  bitmap_->OnChange = nullptr;
  if (v) bitmap_->Assign(v);
  else bitmap_->Assign(static_cast<plat::TPersistent*>(nullptr));
  bitmap_->OnChange = std::move(handler);
  BitmapChanged();
}

void TZelGlyph::BitmapChanged() {
  ReleaseImages();
  if (!bitmap_->Empty()) {
    transparent_ = bitmap_->TransparentColor();
    const int w = bitmap_->Width(), h = bitmap_->Height();
    if (w % h == 0) {
      const int n = w / h;
      numGlyphs_ = n < 6 ? n : 1;
    }
  }
  Notify();
}

void TZelGlyph::SetNumGlyphs(int v) {
  if (v < 1 || v > 5 || v == numGlyphs_) return;
  numGlyphs_ = v;
  ReleaseImages();
  Notify();
}

void TZelGlyph::SetGrayMode(bool v) {
  if (v == gray_) return;
  gray_ = v;
  ReleaseImages();
  Notify();
}

void TZelGlyph::Notify() {
  if (OnChange) OnChange(this);
}

void TZelGlyph::ReleaseImages() {
  for (int& i : images_) {
    if (i >= 0 && list_) list_->RemoveGlyph(i);
    i = -1;
  }
  if (list_ && g_cache) g_cache->Release(list_);
  list_ = nullptr;
}

int TZelGlyph::StateImage(int state) {
  if (state < 0 || state > 7) state = 0;
  if (bitmap_->Empty()) return -1;
  if (images_[size_t(state)] >= 0) return images_[size_t(state)];
  const int n = std::max(numGlyphs_, 1);
  const int cw = bitmap_->Width() / n, ch = bitmap_->Height();
  if (cw <= 0 || ch <= 0) return -1;
  const bool disabledState = state == bsDisabled || state == bsDisabledDown;
  int cell = disabledState ? 1 : state;
  if (cell > n - 1 && !disabledState) cell = gray_ ? (state == bsDroppedDown ? 4 : 2) : 0;

  TBitmap img(cw, ch);
  img.SetPixelFormat(plat::pf24bit);
  TBitmap cell0(cw, ch);
  cell0.SetPixelFormat(plat::pf24bit);
  cell0.Canvas()->CopyRect(plat::Rect(0, 0, cw, ch), *bitmap_->Canvas(), plat::Rect(0, 0, cw, ch));
  if (cell <= n - 1 && !(gray_ && cell == 0)) {
    img.Canvas()->CopyRect(plat::Rect(0, 0, cw, ch), *bitmap_->Canvas(), plat::Bounds(cell * cw, 0, cw, ch));
  } else if (disabledState) {
    // The embossed picture on the transparent colour, so the list leaves the rest out.
    img.Canvas()->Brush()->SetStyle(plat::bsSolid);
    img.Canvas()->Brush()->SetColor(transparent_);
    img.Canvas()->FillRect(plat::Rect(0, 0, cw, ch));
    cell0.SetTransparentColor(transparent_);
    DrawDisabledGlyph(*img.Canvas(), cell0, 0, 0);
  } else if (state == bsUp && gray_) {
    GrayScaleBits(cell0, plat::Rect(0, 0, cw, ch), img, {0, 0});
    // The transparent pixels stay what they were, or the mask would lose them.
    TBitmap src, out;
    src.Assign(&cell0);
    src.SetPixelFormat(plat::pf32bit);
    out.Assign(&img);
    out.SetPixelFormat(plat::pf32bit);
    const uint32_t k = plat::ColorToBGR(transparent_);
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x) {
        const TColor p = src.PixelColor(x, y);
        if (uint32_t(p) == k) out.SetPixelColor(x, y, p);
      }
    img.AssignPart(out, plat::Rect(0, 0, out.Width(), out.Height()));
  } else {
    img.Canvas()->CopyRect(plat::Rect(0, 0, cw, ch), *cell0.Canvas(), plat::Rect(0, 0, cw, ch));
  }
  if (!list_) list_ = Cache()->ListFor(cw, ch);
  const int index = list_->AddGlyph(img, transparent_);
  images_[size_t(state)] = index;
  return index;
}

TZelGlyphTextPlacement TZelGlyph::Draw(TCanvas& canvas, const TRect& r, int state, const std::string& caption,
                                       bool multiLine, bool enabled, const TZelGlyphTextLayout* layout,
                                       const TZel3DCaption* caption3d) {
  Cache();
  const int index = StateImage(state);
  TBitmap cell;
  TBitmap* picture = nullptr;
  if (index >= 0 && list_->GetImage(index, cell)) {
    TBitmap mask;
    list_->GetMask(index, mask);
    TBitmap img;
    img.Assign(&cell);
    img.SetPixelFormat(plat::pf32bit);
    for (int y = 0; y < img.Height(); ++y)
      for (int x = 0; x < img.Width(); ++x)
        if (MaskBit(mask, x, y)) img.SetPixelColor(x, y, transparent_);
    cell.AssignPart(img, plat::Rect(0, 0, img.Width(), img.Height()));
    picture = &cell;
  }
  return DrawGlyphText(canvas, picture, transparent_, caption, multiLine, layout, r, caption3d,
                       enabled ? d3Enabled : 0u);
}

// ---- push button ------------------------------------------------------------------------------------

namespace {
// Drops menu down under c, or out at its right side, indent pixels along.
void DropMenu(plat::TPopupMenu* menu, plat::TControl* c, bool right, int indent) {
  const plat::TPoint at = right ? c->ClientToScreen({c->Width(), indent}) : c->ClientToScreen({indent, c->Height()});
  menu->SetPopupComponent(c);
  menu->Popup(at.X, at.Y);
}
}  // namespace

TZelCustomButton::TZelCustomButton(plat::TComponent* owner) : TZelButtonOptions(owner) {
  SetControlStyle(ControlStyle() | plat::csReplicatable);
  SetColor(plat::clWindow);
  SetParentColor(true);
  watch_ = WatchButton(this, [this](bool hidden) {
    if (hidden) mouseInside_ = false;
    if (tracking_ || repeatId_) CancelMode();
  });
}

TZelCustomButton::~TZelCustomButton() {
  StopRepeat();
  watch_.reset();
}

void TZelCustomButton::SetGlyph(TBitmap* v) {
  if (!IsLoading()) {
    settingGlyph_ = true;
    image_.SetImageList(nullptr);
    settingGlyph_ = false;
  }
  glyph_->SetBitmap(v);
}

void TZelCustomButton::SetStyle(TZelNormalButtonStyle v) {
  if (v == style_) return;
  style_ = v;
  Invalidate();
}

int TZelCustomButton::DrawState() const {
  if (!Enabled()) return bsDisabled;
  if (Down()) return bsPushed;
  return bsUp;
}

void TZelCustomButton::SetPushed(bool v) {
  if (Down() == v) return;
  SetDown(v);
  Invalidate();
}

void TZelCustomButton::Paint() {
  TCanvas& c = *Canvas();
  const int state = DrawState();
  // The focused button, the default one too, shows the dark frame and its focus rectangle; the
  // default button without the focus the dark frame alone.
  uint32_t flags = bfCorners;
  if (Focused()) flags |= bfFocused;
  else if (Default()) flags |= bfDefault;
  TRect content;
  DrawButtonFrame(c, false, ClientRect(), Color(), flags, state, style_, &content);
  c.Font()->Assign(Font());
  glyph_->Draw(c, content, state, useCaption_ ? Caption() : std::string(), multiLine_, Enabled(), layout_.get(),
               fontFX_.get());
}

void TZelCustomButton::MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  if (b == plat::mbLeft && Enabled()) {
    if (CanFocus() && !Focused()) SetFocus();
    tracking_ = true;
    mouseInside_ = true;
    SetPushed(true);
  }
  plat::TButton::MouseDown(b, s, x, y);
  if (b == plat::mbLeft && tracking_ && repeatedClick_ && repeatId_ == 0) StartRepeat();
}

void TZelCustomButton::MouseMove(plat::TShiftState s, int x, int y) {
  if (tracking_) {
    // No enter or leave reaches a widget while a button is held: the move says where we are.
    mouseInside_ = Contains(this, x, y);
    SetPushed(mouseInside_);
  }
  plat::TButton::MouseMove(s, x, y);
}

void TZelCustomButton::MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  bool click = false;
  if (b == plat::mbLeft && tracking_) {
    tracking_ = false;
    SetPushed(false);
    StopRepeat();
    click = Contains(this, x, y) && Enabled();
  }
  plat::TButton::MouseUp(b, s, x, y);
  if (click) Click();
}

void TZelCustomButton::MouseEnter() {
  const bool was = mouseInside_;
  mouseInside_ = true;
  if (!was && DrawState() == bsUp && OnMouseEnter) OnMouseEnter(this);
}

void TZelCustomButton::MouseLeave() {
  const bool was = mouseInside_;
  mouseInside_ = false;
  if (was && OnMouseExit) OnMouseExit(this);
  if (hideHint_) plat::HideHint();
}

void TZelCustomButton::CancelMode() {
  tracking_ = false;
  StopRepeat();
  SetPushed(false);
}

void TZelCustomButton::EnabledChanged() {
  if (!Enabled()) CancelMode();
  plat::TButton::EnabledChanged();
}

void TZelCustomButton::VisibleChanged() {
  plat::TButton::VisibleChanged();
  if (!Visible()) {
    mouseInside_ = false;
    CancelMode();
  }
}

void TZelCustomButton::FontChanged() {
  plat::TButton::FontChanged();
  OptionChanged(false);
}

void TZelCustomButton::StartRepeat() {
  repeatId_ = AddPoolTimer(repeatingDelay_, [this](plat::TObject*) { RepeatTick(); });
  if (TZelTimerItem* t = ZelApplication->TimerById(repeatId_)) t->SetEnabled(true);
}

void TZelCustomButton::StopRepeat() {
  if (!repeatId_) return;
  const uint16_t id = repeatId_;
  repeatId_ = 0;
  RemovePoolTimer(id);
}

void TZelCustomButton::RepeatTick() {
  // Only a press that is still held on an enabled, visible button repeats: a release that went
  // elsewhere must not leave the button clicking whenever the cursor crosses it.
  if (!tracking_ || !Enabled() || !Showing() || plat::InputHeldElsewhere(this)) {
    CancelMode();
    return;
  }
  if (!mouseInside_) return;
  if (TZelTimerItem* t = ZelApplication->TimerById(repeatId_)) t->SetInterval(repeatingInterval_);
  Click();
}

void TZelCustomButton::Loaded() {
  plat::TButton::Loaded();
  GlyphFromLink(image_);
}

void TZelCustomButton::Notification(plat::TComponent* c, plat::TOperation op) {
  plat::TButton::Notification(c, op);
  if (op == plat::opRemove) image_.ListRemoved(c);
}

TZelButton::TZelButton(plat::TComponent* owner) : TZelCustomButton(owner) {}

void TZelButton::SetDropDownMenu(plat::TPopupMenu* v) {
  if (v == dropDownMenu_) return;
  if (dropDownMenu_) dropDownMenu_->RemoveFreeNotification(this);
  dropDownMenu_ = v;
  if (v) v->FreeNotification(this);
}

void TZelButton::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelCustomButton::Notification(c, op);
  if (op == plat::opRemove && c == dropDownMenu_) dropDownMenu_ = nullptr;
}

void TZelButton::Click() {
  if (dropDownMenu_ && !Dropping()) {
    if (OnClick) OnClick(this);
    DropDown();
    return;
  }
  TZelCustomButton::Click();
}

void TZelButton::DropDown() {
  if (!dropDownMenu_) return;
  if (!Default() && CanFocus()) SetFocus();
  SetPushed(true);
  SetDropping(true);
  struct Restore {
    TZelButton* b;
    ~Restore() {
      b->SetDropping(false);
      b->SetPushed(false);
    }
  } restore{this};
  if (OnDropDown) OnDropDown(this);
  DropMenu(dropDownMenu_, this, dropDownRight_, dropDownIndent_);
}

// ---- windowless buttons -------------------------------------------------------------------------------

TZelBaseGraphicButton::TZelBaseGraphicButton(plat::TComponent* owner) : TZelButtonOptions(owner) {
  SetControlStyle(plat::csCaptureMouse | plat::csOpaque | plat::csDoubleClicks);
  SetColor(plat::clWindow);
  SetParentColor(true);
  SetBounds(Left(), Top(), 25, 25);
  watch_ = WatchButton(this, [this](bool hidden) {
    if (hidden) mouseInside_ = false;
    if (tracking_ || timers_[1]) CancelMode();
  });
}

TZelBaseGraphicButton::~TZelBaseGraphicButton() {
  StopTimer(0);
  StopTimer(1);
  watch_.reset();
}

void TZelBaseGraphicButton::SetGlyph(TBitmap* v) {
  if (!IsLoading()) {
    settingGlyph_ = true;
    SetImageList(nullptr);
    settingGlyph_ = false;
  }
  glyph_->SetBitmap(v);
}

void TZelBaseGraphicButton::SetEnterColor(TColor v) {
  if (v == enterColor_) return;
  enterColor_ = v;
  InvalidateUnlessLoading();
}

void TZelBaseGraphicButton::SetEnterColorChange(bool v) {
  if (v == enterColorChange_) return;
  enterColorChange_ = v;
  InvalidateUnlessLoading();
}

void TZelBaseGraphicButton::SetAllowMouseOver(bool v) {
  if (v == allowMouseOver_) return;
  allowMouseOver_ = v;
  if (!v && state_ == bsMouseOver) SetState(bsUp);
}

void TZelBaseGraphicButton::SetGroupIndex(int v) {
  if (v == groupIndex_) return;
  groupIndex_ = v;
  if (v == 0 && pressed_) {
    pressed_ = false;
    SetState(Enabled() ? bsUp : bsDisabled);
  }
  Broadcast();
}

void TZelBaseGraphicButton::SetAllowAllUp(bool v) {
  if (v == allowAllUp_) return;
  allowAllUp_ = v;
  Broadcast();
}

void TZelBaseGraphicButton::SetPressed(bool v) {
  if (groupIndex_ == 0) v = false;
  if (v == pressed_) return;
  if (!v && !allowAllUp_) return;
  pressed_ = v;
  if (v) {
    SetState(Enabled() ? bsDown : bsDisabledDown);
    Broadcast();
  } else {
    SetState(Enabled() ? bsUp : bsDisabled);
  }
}

void TZelBaseGraphicButton::Broadcast() {
  if (!Parent()) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* b = dynamic_cast<TZelBaseGraphicButton*>(Parent()->Controls(i)); b && b != this)
      b->ButtonPressed(groupIndex_, this);
}

void TZelBaseGraphicButton::ButtonPressed(int groupIndex, TZelBaseGraphicButton* sender) {
  if (!sender || sender == this || groupIndex == 0 || groupIndex != groupIndex_) return;
  if (sender->pressed_ && pressed_) {
    pressed_ = false;
    SetState(Enabled() ? bsUp : bsDisabled);
  }
  allowAllUp_ = sender->allowAllUp_;
}

void TZelBaseGraphicButton::SetDropDownCombo(bool v) {
  if (v == dropDownCombo_) return;
  dropDownCombo_ = v;
  if (!IsLoading()) SetWidth(Width() + (v ? dropDownComboWidth_ : -dropDownComboWidth_));
  Invalidate();
}

void TZelBaseGraphicButton::SetDropDownComboWidth(int v) {
  if (v == dropDownComboWidth_ || v < 0) return;
  const int old = dropDownComboWidth_;
  dropDownComboWidth_ = v;
  if (dropDownCombo_ && !IsLoading()) SetWidth(Width() + v - old);
  Invalidate();
}

void TZelBaseGraphicButton::SetDropDownMenu(plat::TPopupMenu* v) {
  if (v == dropDownMenu_) return;
  if (dropDownMenu_) dropDownMenu_->RemoveFreeNotification(this);
  dropDownMenu_ = v;
  if (v) v->FreeNotification(this);
  Invalidate();
}

void TZelBaseGraphicButton::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  TransparencyChanged(v);
}

bool TZelBaseGraphicButton::HoverChangesLook() const {
  return glyph_->NumGlyphs() >= 3 || glyph_->GrayMode() || (allowMouseOver_ && enterColorChange_);
}

void TZelBaseGraphicButton::SetState(TZelButtonState s) {
  const TZelButtonState old = state_;
  if (s != old) {
    prevState_ = (s != bsMouseOver || old == bsDown) ? old : bsUp;
    state_ = s;
    const bool hoverOnly = (old == bsUp && s == bsMouseOver) || (old == bsMouseOver && s == bsUp);
    if (!hoverOnly || HoverChangesLook()) Invalidate();
  }
  // The hover check runs only while the button shows the hover look: left running in any other
  // state it would tick for ever.
  if (s != bsMouseOver) StopTimer(0);
  if (s == bsMouseOver && !pressed_ && !timers_[0]) StartTimer(0, 100);
}

bool TZelBaseGraphicButton::IsInside(int x, int y) const { return x >= 0 && x <= Width() && y >= 0 && y <= Height(); }

bool TZelBaseGraphicButton::InsideForMouse(int x, int y) const {
  if (allowTransparency_) return IsInside(x, y);
  return x >= 0 && x < ClientWidth() && y >= 0 && y <= ClientHeight();
}

void TZelBaseGraphicButton::StartTimer(int which, uint16_t interval) {
  which &= 1;
  if (!timers_[size_t(which)]) {
    auto tick = which == 0 ? plat::TNotifyEvent([this](plat::TObject*) { HoverTick(); })
                           : plat::TNotifyEvent([this](plat::TObject*) { RepeatTick(); });
    timers_[size_t(which)] = AddPoolTimer(interval, std::move(tick));
  }
  if (TZelTimerItem* t = ZelApplication->TimerById(timers_[size_t(which)])) t->SetEnabled(true);
}

void TZelBaseGraphicButton::StopTimer(int which) {
  which &= 1;
  const uint16_t id = timers_[size_t(which)];
  if (!id) return;
  timers_[size_t(which)] = 0;
  RemovePoolTimer(id);
}

void TZelBaseGraphicButton::HoverTick() {
  const plat::TPoint p = ScreenToClient(plat::CursorPos());
  if (Enabled() && !InsideForMouse(p.X, p.Y)) SetState(bsUp);
}

void TZelBaseGraphicButton::RepeatTick() {
  if (!tracking_ || !Enabled() || !Showing() || plat::InputHeldElsewhere(this)) {
    CancelMode();
    return;
  }
  if (state_ != bsPushed && state_ != bsDown) return;  // the cursor is off the button
  if (TZelTimerItem* t = ZelApplication->TimerById(timers_[1])) t->SetInterval(repeatingInterval_);
  Click();
}

void TZelBaseGraphicButton::CancelMode() {
  const bool was = tracking_;
  tracking_ = false;
  StopTimer(1);
  if (was && (state_ == bsPushed || state_ == bsDown))
    SetState(!Enabled() ? (pressed_ ? bsDisabledDown : bsDisabled) : pressed_ ? bsDown : bsUp);
}

void TZelBaseGraphicButton::EnterOnce() {
  if (mouseInside_) return;
  mouseInside_ = true;
  DoMouseEnter();
  if (state_ == bsUp && allowMouseOver_ && Enabled()) SetState(bsMouseOver);
}

void TZelBaseGraphicButton::ExitOnce() {
  if (!mouseInside_) return;
  mouseInside_ = false;
  DoMouseExit();
  if (state_ == bsMouseOver) SetState(prevState_);
  if (hideHint_) plat::HideHint();
}

void TZelBaseGraphicButton::MouseEnter() {
  if (!allowTransparency_) EnterOnce();
}

void TZelBaseGraphicButton::MouseLeave() { ExitOnce(); }

void TZelBaseGraphicButton::MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelBaseControl::MouseDown(b, s, x, y);
  if (b != plat::mbLeft) return;
  if (allowTransparency_ && !IsInside(x, y)) return;
  if (!Enabled()) return;
  if (dropDownMenu_) {
    if (state_ == bsDroppedDown) SetState(bsMouseOver);
    if (!dropDownCombo_ || x >= Width() - dropDownComboWidth_) {
      DropDown();
      return;
    }
  }
  tracking_ = true;
  TZelButtonState ns = state_;
  if (groupIndex_ && prevState_ == bsDown && state_ == bsMouseOver) {
    ns = bsDown;
  } else if (!pressed_) {
    ns = bsPushed;
    if (repeatedClick_) {
      Click();
      StartTimer(1, repeatingDelay_);
    }
  }
  SetState(ns);
}

void TZelBaseGraphicButton::MouseMove(plat::TShiftState s, int x, int y) {
  TZelBaseControl::MouseMove(s, x, y);
  if (state_ == bsDroppedDown || !Enabled()) return;
  const bool inside = InsideForMouse(x, y);
  if (inside) EnterOnce();
  else ExitOnce();
  TZelButtonState ns = state_;
  if (allowMouseOver_ && inside) {
    if (!(groupIndex_ && state_ == bsDown)) ns = bsMouseOver;
  } else if (state_ == bsMouseOver) {
    ns = prevState_;
  }
  if (tracking_) {
    if (inside) ns = pressed_ ? bsDown : bsPushed;
    else if (groupIndex_ && state_ != bsPushed) ns = state_;
    else ns = bsUp;
  }
  if (ns != state_) SetState(ns);
}

void TZelBaseGraphicButton::MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelBaseControl::MouseUp(b, s, x, y);
  if (b != plat::mbLeft || state_ == bsDroppedDown || !tracking_) return;
  tracking_ = false;
  StopTimer(1);
  bool inside = InsideForMouse(x, y);
  if (!inside && offsetEnabled_ && state_ == bsPushed)
    inside = InsideForMouse(x + pixelOffset_ - 1, y + pixelOffset_ - 1);
  TZelButtonState ns = !Enabled() ? (pressed_ ? bsDisabledDown : bsDisabled) : bsUp;
  bool keep = false;
  if (groupIndex_) {
    if (inside) {
      if (state_ == bsDown && !allowAllUp_) {
        keep = true;
      } else {
        SetPressed(!pressed_);
        ns = pressed_ ? bsDown : bsUp;
      }
    } else {
      ns = pressed_ ? bsDown : bsUp;
    }
  } else if (inside && allowMouseOver_ && Enabled()) {
    ns = bsMouseOver;
  }
  if (!keep) SetState(ns);
  if (inside && !repeatedClick_ && Enabled()) Click();
  CheckCursor();
}

void TZelBaseGraphicButton::CheckCursor() {
  if (!allowMouseOver_ || !Enabled() || state_ != bsUp || !HandleAllocated()) return;
  const plat::TPoint p = ScreenToClient(plat::CursorPos());
  if (InsideForMouse(p.X, p.Y)) SetState(bsMouseOver);
}

void TZelBaseGraphicButton::DblClick() {
  if ((pressed_ || (ControlStyle() & plat::csClickEvents)) && OnDblClick) OnDblClick(this);
}

void TZelBaseGraphicButton::Click() {
  if (dropDownMenu_ && !HasComboPart() && state_ != bsDroppedDown) {
    if (OnClick) OnClick(this);
    DropDown();
    return;
  }
  TZelBaseControl::Click();
}

void TZelBaseGraphicButton::DropDown() {
  if (!dropDownMenu_) return;
  tracking_ = false;
  SetState(bsDroppedDown);
  struct Restore {
    TZelBaseGraphicButton* b;
    ~Restore() { b->SetState(bsMouseOver); }
  } restore{this};
  if (OnDropDown) OnDropDown(this);
  DropMenu(dropDownMenu_, this, dropDownRight_, dropDownIndent_);
}

void TZelBaseGraphicButton::EnabledChanged() {
  if (!Enabled()) {
    tracking_ = false;
    StopTimer(1);
  }
  SetState(Enabled() ? (pressed_ ? bsDown : bsUp) : (pressed_ ? bsDisabledDown : bsDisabled));
  Invalidate();
}

void TZelBaseGraphicButton::VisibleChanged() {
  TZelBaseControl::VisibleChanged();
  if (!Visible()) {
    mouseInside_ = false;
    CancelMode();
  }
}

void TZelBaseGraphicButton::FontChanged() {
  TZelBaseControl::FontChanged();
  OptionChanged(false);
}

char TZelBaseGraphicButton::Accelerator() const { return plat::GetHotkey(Caption()); }

bool TZelBaseGraphicButton::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !Enabled() || !Visible()) return false;
  if (Parent() && !Parent()->Enabled()) return false;
  if (dropDownMenu_) {
    if (state_ == bsDroppedDown) SetState(bsMouseOver);
    else DropDown();
    return true;
  }
  if (groupIndex_) {
    if (allowAllUp_ || state_ != bsDown) {
      SetPressed(!pressed_);
      if (pressed_) {
        if (allowMouseOver_) SetState(bsDown);
        Click();
      } else if (allowMouseOver_) {
        SetState(bsUp);
      }
    }
    return true;
  }
  mouseInside_ = true;
  SetState(bsPushed);
  Repaint();
  Click();
  SetState(bsUp);
  const plat::TPoint p = ScreenToClient(plat::CursorPos());
  if (!InsideForMouse(p.X, p.Y)) mouseInside_ = false;
  else if (allowMouseOver_) SetState(bsMouseOver);
  return true;
}

void TZelBaseGraphicButton::ImageListChanged() { GlyphFromLink(ImageLink()); }

void TZelBaseGraphicButton::Loaded() { TZelBaseControl::Loaded(); }

void TZelBaseGraphicButton::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelBaseControl::Notification(c, op);
  if (op == plat::opRemove && c == dropDownMenu_) dropDownMenu_ = nullptr;
}

void TZelBaseGraphicButton::WndProc(plat::TMessage& m) {
  if (m.Msg == CM_ZELTRANSPARENTCHANGED) {
    Invalidate();
    return;
  }
  TZelBaseControl::WndProc(m);
}

void TZelBaseGraphicButton::DrawGlyphAndCaption(TCanvas& c, const TRect& r) {
  c.Font()->Assign(Font());
  if (state_ >= bsMouseOver && state_ <= bsDroppedDown && allowMouseOver_ && enterColorChange_)
    c.Font()->SetColor(enterColor_);
  glyph_->Draw(c, r, state_, useCaption_ ? Caption() : std::string(), multiLine_, Enabled(), layout_.get(),
               fontFX_.get());
}

// ---- speed buttons ------------------------------------------------------------------------------------

TZelCustomSpeedButton::TZelCustomSpeedButton(plat::TComponent* owner) : TZelBaseGraphicButton(owner) {}

int TZelCustomSpeedButton::StyleFrameDepth(TZelUserButtonStyle s) {
  switch (s) {
    case ubsWin31: return 3;
    case ubsAutoDetect:
    case ubsWin40:
    case ubsKorvex:
    case ubsKorvexFlat:
    case ubsNavigator:
    case ubsIntegrated: return 2;
    default: return 1;
  }
}

void TZelCustomSpeedButton::SetStyle(TZelUserButtonStyle v) {
  if (v == style_) return;
  style_ = v;
  GlyphObject()->SetGrayMode(v == ubsFlatUnColored || v == ubsNavigator || v == ubsExplorer);
  SetTransparent(v == ubsExplorer || v == ubsExplorerColored);
  Invalidate();
}

bool TZelCustomSpeedButton::HoverChangesLook() const {
  return TZelBaseGraphicButton::HoverChangesLook() || (style_ >= ubsKorvexFlat && style_ <= ubsExplorerColored);
}

void TZelCustomSpeedButton::Parts(TRect& main, TRect& combo) const {
  main = ClientRect();
  combo = TRect{};
  if (!HasComboPart()) return;
  combo = plat::Rect(main.Right - DropDownComboWidth(), main.Top, main.Right, main.Bottom);
  main.Right = combo.Left;
  if (FrameDepth() > 1) main.Right += 1;  // the two frames share a column
}

void TZelCustomSpeedButton::Paint() {
  if (IsLoading()) return;
  TCanvas& c = *Canvas();
  TRect main, combo;
  Parts(main, combo);
  const bool explorer = style_ == ubsExplorer || style_ == ubsExplorerColored;
  if (explorer) {
    auto* parent = dynamic_cast<TZelCustomControl*>(Parent());
    const bool overParent = Transparent() && parent && parent->SuppliesBackground();
    if (!overParent) {
      c.Brush()->SetStyle(plat::bsSolid);
      c.Brush()->SetColor(Color());
      c.FillRect(ClientRect());
    } else {
      parent->PaintChildBackground(this, c);
    }
  }
  const TZelButtonState s = State();
  const bool transparent = Transparent() || explorer;
  if (!IsDesigning()) {
    if (!HasComboPart()) {
      DrawButtonFrame(c, transparent, main, Color(), 0, s, style_, nullptr);
    } else {
      DrawButtonFrame(c, transparent, main, Color(), 0, s == bsDroppedDown ? bsMouseOver : s, style_, nullptr);
      DrawButtonFrame(c, transparent, combo, Color(), 0, s == bsPushed ? bsMouseOver : s, style_, nullptr);
      const int size = ButtonLayout()->ArrowSize();
      DrawArrow(c, combo.Left + (combo.Width() - (2 * size - 1)) / 2, combo.Top + (combo.Height() - size) / 2,
                Enabled(), adDown, ButtonLayout()->ArrowColor(), size);
    }
  } else {
    DrawButtonFrame(c, transparent, main, Color(), 0, bsMouseOver, style_, nullptr);
    if (HasComboPart()) DrawButtonFrame(c, transparent, combo, Color(), 0, bsMouseOver, style_, nullptr);
  }
  TRect face = main;
  const int depth = FrameDepth();
  plat::InflateRect(face, -depth, -depth);
  if (s == bsDown || s == bsPushed || (s == bsDroppedDown && !HasComboPart())) plat::OffsetRect(face, 1, 1);
  DrawGlyphAndCaption(c, face);
}

TZelSpeedButton::TZelSpeedButton(plat::TComponent* owner) : TZelCustomSpeedButton(owner) {
  SetBounds(Left(), Top(), 23, 22);
  SetAllowMouseOver(true);
  SetAllowTransparency(false);
  SetControlStyle(plat::csReplicatable | plat::csOpaque | plat::csDoubleClicks | plat::csCaptureMouse);
}

TZelOfficeButton::TZelOfficeButton(plat::TComponent* owner) : TZelSpeedButton(owner) {
  SetStyle(ubsFlat);
  SetControlStyle(ControlStyle() & ~uint32_t(plat::csOpaque));
}

// ---- face-list buttons --------------------------------------------------------------------------------

TZelCustomMMButton::TZelCustomMMButton(plat::TComponent* owner)
    : TZelBaseGraphicButton(owner), faceLink_(this, [this] { InvalidateUnlessLoading(); }) {
  SetAllowTransparency(true);
  SetControlStyle((ControlStyle() & ~uint32_t(plat::csClickEvents)) | plat::csOpaque | plat::csReplicatable);
}

TZelCustomMMButton::~TZelCustomMMButton() = default;

TZelButtonFace TZelCustomMMButton::ButtonFace(int state) const { return faces_[size_t(state & 7)]; }

void TZelCustomMMButton::SetButtonFace(int state, TZelButtonFace face) {
  if (state < 0 || state > 7 || face.ListIndex < 0 || face.ImageIndex < 0) return;
  if (faces_[size_t(state)] == face) return;
  faces_[size_t(state)] = face;
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::SetButtonFaceStyle(TZelBitmapStyle v) {
  if (v == faceStyle_) return;
  faceStyle_ = v;
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::SetCaptionDown(int v) {
  if (v == captionDown_) return;
  captionDown_ = v;
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::SetForceTransparent(bool v) {
  if (v == forceTransparent_) return;
  forceTransparent_ = v;
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::SetQuickDraw(bool v) {
  if (v == quickDraw_) return;
  quickDraw_ = v;
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::SetFaceTransparentColor(TColor v) {
  if (v == faceTransparentColor_) return;
  faceTransparentColor_ = v;
  InvalidateUnlessLoading();
}

TZelButtonFace TZelCustomMMButton::EffectiveFace(int state, bool* exists) const {
  TZelCustomImageList* l = ButtonFaceImageList();
  auto has = [&](int s) {
    const TZelButtonFace f = faces_[size_t(s)];
    return l && l->IsValid(f.ListIndex, f.ImageIndex);
  };
  state &= 7;
  int use = state;
  if (!has(state)) {
    switch (state) {
      case bsDisabled:
      case bsMouseOver:
      case 5: use = bsUp; break;
      case bsDown:
      case bsPushed:
      case bsDroppedDown:
      case bsDisabledDown: use = bsPushed; break;
      default: break;
    }
  }
  if (exists) *exists = has(use);
  return faces_[size_t(use)];
}

uint16_t TZelCustomMMButton::FaceFlags() const {
  uint16_t f = 0;
  switch (faceStyle_) {
    case sbCenter: f = bdAlign; break;
    case sbStretch: f = bdStretch; break;
    case sbTile: f = bdTile; break;
    case sbKeepAspRatio: f = bdKeepAspect | bdStretch; break;
    case sbKeepWidth: f = bdKeepWidth | bdStretch; break;
    case sbKeepHeight: f = bdKeepHeight | bdStretch; break;
    default: break;
  }
  if (!quickDraw_) f |= bdPalette;
  if (forceTransparent_ || Transparent()) f |= bdMaskTransparent;
  return f;
}

void TZelCustomMMButton::Paint() {
  if (IsLoading()) return;
  TCanvas& c = *Canvas();
  TZelCustomImageList* l = ButtonFaceImageList();
  if (!l) {
    if (!Transparent()) {
      c.Brush()->SetStyle(plat::bsSolid);
      c.Brush()->SetColor(Color());
      c.FillRect(ClientRect());
    }
    return;
  }
  if (faceStyle_ == sbAutosize) {
    const TZelButtonFace up = faces_[0];
    int w = l->ImageWidth(up.ListIndex), h = l->ImageHeight(up.ListIndex);
    if (w <= 0) w = 20;
    if (h <= 0) h = 20;
    if (w != Width() || h != Height()) {
      SetBounds(Left(), Top(), w, h);
      Invalidate();
      return;
    }
  }
  if (!Transparent()) {
    c.Brush()->SetStyle(plat::bsSolid);
    c.Brush()->SetColor(Color());
    c.FillRect(ClientRect());
  }
  bool exists = false;
  const TZelButtonFace face = EffectiveFace(State(), &exists);
  if (!exists && State() == bsUp) return;
  const TRect all = ClientRect();
  if (exists) {
    const int w = l->ImageWidth(face.ListIndex), h = l->ImageHeight(face.ListIndex);
    const uint16_t flags = FaceFlags();
    if (flags & (bdStretch | bdTile)) faceRect_ = all;
    else if (flags & bdAlign) faceRect_ = AlignRect(agCenter, {w, h}, all);
    else faceRect_ = plat::Bounds(0, 0, w, h);
    l->DrawRect(c, all, face.ListIndex, face.ImageIndex, flags, agCenter, Enabled());
  }
  TRect content = all;
  const TZelButtonState s = State();
  if (s == bsDown || s == bsPushed || s == bsDroppedDown) plat::OffsetRect(content, captionDown_, captionDown_);
  DrawGlyphAndCaption(c, content);
}

bool TZelCustomMMButton::IsInside(int x, int y) const {
  TZelCustomImageList* l = ButtonFaceImageList();
  if (!l) return false;
  bool exists = false;
  const TZelButtonFace face = EffectiveFace(State(), &exists);
  if (!exists || !plat::PtInRect(faceRect_, {x, y})) return false;
  const int w = l->ImageWidth(face.ListIndex), h = l->ImageHeight(face.ListIndex);
  if (w <= 0 || h <= 0 || faceRect_.Width() <= 0 || faceRect_.Height() <= 0) return false;
  // The face's own pixel under the point, also when it was drawn scaled.
  const int px = (x - faceRect_.Left) * w / faceRect_.Width();
  const int py = (y - faceRect_.Top) * h / faceRect_.Height();
  return l->PixelColor(face.ListIndex, face.ImageIndex, px % w, py % h) != plat::ColorToBGR(faceTransparentColor_);
}

void TZelCustomMMButton::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelBaseGraphicButton::Notification(c, op);
  if (op == plat::opRemove) faceLink_.ListRemoved(c);
}

void TZelCustomMMButton::WriteFaceIndices(plat::TStream& s) const {
  for (int i = 0; i < 8; ++i) s.WriteU32(uint32_t(faces_[size_t(i)].ImageIndex));
  for (int i = 7; i >= 0; --i) s.WriteU32(uint32_t(faces_[size_t(i)].ListIndex));
}

namespace {
// Stored indexes are unsigned; one that does not fit an index is taken as 0.
int StoredIndex(uint32_t v) { return v > 0x7FFFFFFFu ? 0 : int(v); }
}  // namespace

void TZelCustomMMButton::ReadFaceIndices(plat::TStream& s) {
  std::array<uint32_t, 16> v{};
  for (auto& x : v) x = s.ReadU32();
  for (int i = 0; i < 8; ++i) {
    faces_[size_t(i)].ImageIndex = StoredIndex(v[size_t(i)]);
    faces_[size_t(i)].ListIndex = StoredIndex(v[size_t(15 - i)]);
  }
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::ReadFaceIndicesNew(plat::TStream& s) {
  std::array<uint32_t, 14> v{};
  for (auto& x : v) x = s.ReadU32();
  for (int i = 0; i < 7; ++i) {
    faces_[size_t(i)].ListIndex = StoredIndex(v[size_t(i)]);
    faces_[size_t(i)].ImageIndex = StoredIndex(v[size_t(7 + i)]);
  }
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::ReadFaceIndicesOld(plat::TStream& s) {
  std::array<uint32_t, 14> v{};
  for (auto& x : v) x = s.ReadU32();
  for (int i = 0; i < 7; ++i) {
    faces_[size_t(i)].ListIndex = StoredIndex(v[size_t(2 * i)]);
    faces_[size_t(i)].ImageIndex = StoredIndex(v[size_t(2 * i + 1)]);
  }
  InvalidateUnlessLoading();
}

void TZelCustomMMButton::WriteFaceTransparentColor(plat::TStream& s) const {
  s.WriteU32(uint32_t(faceTransparentColor_));
}

void TZelCustomMMButton::ReadFaceTransparentColor(plat::TStream& s) { SetFaceTransparentColor(TColor(s.ReadU32())); }
