#include "controls/zellabel.h"

#include <algorithm>
#include <cmath>

#include "controls/zelclass.h"
#include "controls/zelgraph.h"
#include "controls/zelprocs.h"
#include "platform/system/exceptions.h"
#include "platform/system/files.h"
#include "platform/ui/graphics.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"

using plat::TCanvas;
using plat::TColor;
using plat::TRect;

namespace {

uint16_t AddPoolTimer(uint16_t interval, plat::TNotifyEvent tick) {
  uint16_t id = ZelApplication ? ZelApplication->AddTimer(interval, std::move(tick)) : 0;
  if (id == 0) throw plat::EOutOfResources("Not enough timers available");
  return id;
}

void RemovePoolTimer(uint16_t id) {
  if (!id || !ZelApplication || ZelApplication->TimerPool()->IndexOfIdent(id) < 0) return;
  if (TZelTimerItem* t = ZelApplication->TimerById(id)) {
    t->SetEnabled(false);
    t->OnTimer = nullptr;
  }
  ZelApplication->RemoveTimer(id);
}

TZelTimerItem* PoolTimer(uint16_t id) { return id && ZelApplication ? ZelApplication->TimerById(id) : nullptr; }

void FillBackground(TCanvas& c, const TRect& r, TColor color) {
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(color);
  c.FillRect(r);
}

// The flags that only place text, which measuring leaves out.
constexpr uint32_t kPlacementFlags = plat::DT_CENTER | plat::DT_RIGHT | plat::DT_VCENTER | plat::DT_BOTTOM |
                                     plat::DT_END_ELLIPSIS | plat::DT_PATH_ELLIPSIS;

// The size text takes with the label's flags; an empty text is measured as one blank line.
plat::TSize TextBox(const plat::TFont& font, const std::string& text, const TZel3DCaption* c3d, uint32_t flags) {
  TRect m = MeasureText(font, text.empty() ? std::string(" ") : text, c3d, flags & ~kPlacementFlags);
  return {m.Width(), m.Height()};
}

}  // namespace

// ---- base label -------------------------------------------------------------------------------------

TZelBaseLabel::TZelBaseLabel(plat::TComponent* owner) : TZelBaseGraphicControl(owner) {}

TZelBaseLabel::~TZelBaseLabel() { RemovePoolTimer(twinkleId_); }

void TZelBaseLabel::SetShowAccelChar(bool v) {
  if (v == showAccelChar_) return;
  showAccelChar_ = v;
  Relayout();
}

void TZelBaseLabel::SetMultiLine(bool v) {
  if (v == multiLine_) return;
  multiLine_ = v;
  Relayout();
}

void TZelBaseLabel::SetAlignment(TZelAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Relayout();
}

void TZelBaseLabel::SetOptions(TZelLabelOptions v) {
  if (v == options_) return;
  options_ = v;
  Relayout();
}

void TZelBaseLabel::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  Relayout();
}

void TZelBaseLabel::SetFocusControl(plat::TWinControl* v) {
  if (v == focusControl_) return;
  if (focusControl_) focusControl_->RemoveFreeNotification(this);
  focusControl_ = v;
  if (v) v->FreeNotification(this);
}

void TZelBaseLabel::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelBaseGraphicControl::Notification(c, op);
  if (op == plat::opRemove && c == focusControl_) focusControl_ = nullptr;
}

void TZelBaseLabel::SetTwinkleColor(TColor v) {
  if (v == twinkleColor_) return;
  twinkleColor_ = v;
  if (!shown_) Invalidate();
}

void TZelBaseLabel::SetTwinkle(bool v) {
  if (v == twinkle_) return;
  if (v) {
    twinkleId_ = AddPoolTimer(uint16_t(twinkleVisible_), [this](plat::TObject*) { TwinkleTick(); });
    if (TZelTimerItem* t = PoolTimer(twinkleId_)) t->SetEnabled(true);
    twinkle_ = true;
    return;
  }
  twinkle_ = false;
  const uint16_t id = twinkleId_;
  twinkleId_ = 0;
  RemovePoolTimer(id);
  shown_ = true;
  Invalidate();
}

void TZelBaseLabel::TwinkleTick() {
  shown_ = !shown_;
  // Each phase lasts as long as its own property says.
  if (TZelTimerItem* t = PoolTimer(twinkleId_)) t->SetInterval(uint16_t(shown_ ? twinkleVisible_ : twinkleInVisible_));
  Invalidate();
}

uint32_t TZelBaseLabel::TextFlags() const {
  uint32_t f = plat::DT_WORDBREAK | plat::DT_EXPANDTABS;
  if (options_ & loPathEllipsis) f |= plat::DT_PATH_ELLIPSIS;
  if (options_ & loEndEllipsis) f |= plat::DT_END_ELLIPSIS;
  if (options_ & loEditControl) f |= plat::DT_EDITCONTROL;
  switch (int(alignment_) % 3) {
    case 1: f |= plat::DT_CENTER; break;
    case 2: f |= plat::DT_RIGHT; break;
    default: break;
  }
  switch (int(alignment_) / 3) {
    case 1: f |= plat::DT_VCENTER; break;
    case 2: f |= plat::DT_BOTTOM; break;
    default: break;
  }
  if (!showAccelChar_) f |= plat::DT_NOPREFIX;
  if (!multiLine_) f |= plat::DT_SINGLELINE;
  return f;
}

void TZelBaseLabel::DrawLabelText(TCanvas& c, TRect r, const std::string& text, const TZel3DCaption* caption3d,
                                  bool enabled) {
  uint32_t flags = TextFlags();
  const int row = int(alignment_) / 3;
  if (multiLine_ && row != 0) {
    // The system places only single lines vertically: measure the block and place it.
    TRect m = r;
    c.DrawText(text, m, (flags & ~uint32_t(plat::DT_VCENTER | plat::DT_BOTTOM)) | plat::DT_CALCRECT);
    const int h = m.Height();
    if (h < r.Height()) r.Top = row == 1 ? r.Top + (r.Height() - h) / 2 : r.Bottom - h;
    flags &= ~uint32_t(plat::DT_VCENTER | plat::DT_BOTTOM);
  }
  Draw3DText(c, text, caption3d, nullptr, enabled ? d3Enabled : 0u, flags, r);
}

int TZelBaseLabel::ParentGap() const {
  auto* p = dynamic_cast<TZelCustomControl*>(Parent());
  return p ? p->ChildGap() : 0;
}

bool TZelBaseLabel::BeginPaint(TCanvas& c, TRect& r, TZelBevel* bevel) {
  if (IsLoading() || painting_) return false;
  painting_ = true;
  if (!Transparent()) FillBackground(c, r, Color());
  if (bevel->Extent() || bevel->FarExtent()) bevel->Draw(c, r, Transparent());
  c.Font()->Assign(Font());
  return true;
}

void TZelBaseLabel::SizeAround(int width, int height, const TZelBevel* bevel) {
  const int near = bevel->Extent(), far = bevel->FarExtent();
  SetBounds(Left(), Top(), width + near + far + ParentGap(), height + near + far);
}

void TZelBaseLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  const plat::TSize box = TextBox(*Font(), DisplayText(), nullptr, TextFlags());
  SetBounds(Left(), Top(), box.cx, box.cy);
}

void TZelBaseLabel::Relayout() {
  AdjustBounds();
  Invalidate();
}

void TZelBaseLabel::FontChanged() {
  TZelBaseGraphicControl::FontChanged();
  if (!IsDestroying()) Relayout();
}

char TZelBaseLabel::Accelerator() const { return showAccelChar_ && focusControl_ ? plat::GetHotkey(Caption()) : 0; }

bool TZelBaseLabel::DialogChar(char ch) {
  if (!AcceleratorIs(ch) || !Enabled()) return false;
  if (focusControl_->CanFocus()) focusControl_->SetFocus();
  return true;
}

void TZelBaseLabel::Loaded() {
  TZelBaseGraphicControl::Loaded();
  Relayout();
}

// ---- label with bevel and rotated text --------------------------------------------------------------

TZelCustomLabel::TZelCustomLabel(plat::TComponent* owner)
    : TZelBaseLabel(owner), bevel_(std::make_unique<TZelBevel>()), fontFX_(std::make_unique<TZelFxCaption>()) {
  bevel_->OnChange = [this](plat::TObject*) { Relayout(); };
  fontFX_->OnChange = [this](plat::TObject*) { Relayout(); };
}

TZelCustomLabel::~TZelCustomLabel() {
  bevel_->OnChange = nullptr;
  fontFX_->OnChange = nullptr;
}

void TZelCustomLabel::AdjustBounds() {
  if (!AutoSize() || IsLoading()) return;
  const plat::TSize box = TextBox(*Font(), DisplayText(), fontFX_.get(), TextFlags());
  SizeAround(box.cx, box.cy, bevel_.get());
}

void TZelCustomLabel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  if (!BeginPaint(c, r, bevel_.get())) return;
  if (fontFX_->Angle() != 0) {
    // Turned text starts from its top-left corner: move that corner so the turned box begins at
    // the rectangle's top-left.
    const std::string text = DisplayText();
    const plat::TSize t = TextBox(*Font(), text, nullptr, TextFlags());
    const double a = fontFX_->Angle() * 3.14159265358979323846 / 180.0;
    const double xs[] = {0, t.cx * std::cos(a), t.cy * std::sin(a), t.cx * std::cos(a) + t.cy * std::sin(a)};
    const double ys[] = {0, -t.cx * std::sin(a), t.cy * std::cos(a), -t.cx * std::sin(a) + t.cy * std::cos(a)};
    plat::OffsetRect(r, int(std::lround(-*std::min_element(xs, xs + 4))),
                     int(std::lround(-*std::min_element(ys, ys + 4))));
  }
  if (TwinkleShown()) {
    DrawLabelText(c, r, DisplayText(), fontFX_.get(), Enabled());
  } else if (TwinkleColor() != plat::clNone) {
    c.Font()->SetColor(TwinkleColor());
    DrawLabelText(c, r, DisplayText(), fontFX_.get(), Enabled());
  }
  SetPainting(false);
}

// ---- glyph label --------------------------------------------------------------------------------------

TZelCustomGlyphLabel::TZelCustomGlyphLabel(plat::TComponent* owner)
    : TZelBaseLabel(owner),
      font3D_(std::make_unique<TZel3DCaption>()),
      bevel_(std::make_unique<TZelBevel>()),
      layout_(std::make_unique<TZelGlyphTextLayout>()) {
  auto relayout = [this](plat::TObject*) { Relayout(); };
  font3D_->OnChange = relayout;
  bevel_->OnChange = relayout;
  layout_->OnChange = relayout;
}

TZelCustomGlyphLabel::~TZelCustomGlyphLabel() {
  font3D_->OnChange = nullptr;
  bevel_->OnChange = nullptr;
  layout_->OnChange = nullptr;
}

bool TZelCustomGlyphLabel::Picture(plat::TBitmap& b) const { return ImageLink().Picture(b); }

void TZelCustomGlyphLabel::AdjustBounds() {
  if (!AutoSize() || IsLoading()) return;
  const std::string text = DisplayText();
  plat::TSize t = text.empty() ? plat::TSize{} : TextBox(*Font(), text, font3D_.get(), TextFlags());
  plat::TBitmap b;
  plat::TSize g = Picture(b) ? plat::TSize{b.Width(), b.Height()} : plat::TSize{};
  TZelGlyphTextPlacement p = PlaceGlyphText(t, g, layout_.get(), plat::Rect(0, 0, 0, 0), false);
  TRect all = p.Text;
  if (g.cx > 0) {
    if (plat::IsRectEmpty(all)) all = p.Glyph;
    else plat::UnionRect(all, TRect(all), p.Glyph);
  }
  SizeAround(std::max(all.Right, 0), std::max(all.Bottom, 0), bevel_.get());
}

void TZelCustomGlyphLabel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  if (!BeginPaint(c, r, bevel_.get())) return;
  if (!TwinkleShown()) {
    if (TwinkleColor() == plat::clNone) {
      SetPainting(false);
      return;
    }
    c.Font()->SetColor(TwinkleColor());
  }
  plat::TBitmap b;
  const bool picture = Picture(b);
  DrawGlyphText(c, picture ? &b : nullptr, plat::clFuchsia, DisplayText(), MultiLine(), layout_.get(), r, font3D_.get(),
                Enabled() ? d3Enabled : 0u);
  SetPainting(false);
}

// ---- information label --------------------------------------------------------------------------------

TZelInformationLabel::TZelInformationLabel(plat::TComponent* owner)
    : TZelBaseLabel(owner), font3D_(std::make_unique<TZel3DCaption>()), bevel_(std::make_unique<TZelBevel>()) {
  auto relayout = [this](plat::TObject*) { Relayout(); };
  font3D_->OnChange = relayout;
  bevel_->OnChange = relayout;
  timerId_ = AddPoolTimer(1000, [this](plat::TObject*) { Tick(); });
  if (TZelTimerItem* t = PoolTimer(timerId_)) t->SetEnabled(false);
  Refresh();
  AdjustBounds();
}

TZelInformationLabel::~TZelInformationLabel() {
  RemovePoolTimer(timerId_);
  font3D_->OnChange = nullptr;
  bevel_->OnChange = nullptr;
}

void TZelInformationLabel::SetInfo(TZelInfoType v) {
  info_ = v;
  if (TZelTimerItem* t = PoolTimer(timerId_)) {
    if (v == itNumLock || v == itCapsLock || v == itScroll) {
      t->SetInterval(250);
      t->SetEnabled(true);
    } else if (v == itCurrentDateTime) {
      t->SetInterval(1000);
      t->SetEnabled(true);
    } else {
      t->SetEnabled(false);
    }
  }
  lastValue_.clear();
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetInsertTabs(int v) {
  if (v == insertTabs_) return;
  insertTabs_ = v;
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetInsertColon(int v) {
  if (v == insertColon_) return;
  insertColon_ = v;
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetDividerValue(int64_t v) {
  if (v == divider_) return;
  divider_ = v;
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetUseStandardCaption(bool v) {
  if (v == useStandardCaption_) return;
  useStandardCaption_ = v;
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetDateTimeFormat(const std::string& v) {
  if (v == dateTimeFormat_) return;
  dateTimeFormat_ = v;
  if (info_ != itCurrentDateTime) return;
  Refresh();
  Relayout();
}

void TZelInformationLabel::SetNumberFormat(const std::string& v) {
  if (v == numberFormat_) return;
  numberFormat_ = v;
  if (!InfoIsNumeric(info_)) return;
  Refresh();
  Relayout();
}

std::string TZelInformationLabel::BuildText() const {
  const std::string caption = useStandardCaption_ ? InfoCaption(info_) : Caption();
  std::string s = caption;
  if (insertColon_ == 0) s += ":";
  for (int i = 1; i <= insertTabs_; ++i) {
    s += '\t';
    if (i == insertColon_) s += ":";
  }
  if (insertTabs_ <= 0 && !caption.empty()) s += ' ';
  return s;
}

bool TZelInformationLabel::Refresh() {
  std::string value =
      ValueSource ? ValueSource(info_, divider_, dateTimeFormat_) : InfoText(info_, divider_, dateTimeFormat_);
  if (!numberFormat_.empty() && InfoIsNumeric(info_)) value = ApplyNumberFormat(value, numberFormat_);
  const std::string text = BuildText() + value;
  const bool watched = info_ == itNumLock || info_ == itCapsLock || info_ == itScroll || info_ == itCurrentDateTime;
  const bool changed = text != text_ || !watched || value != lastValue_;
  lastValue_ = value;
  text_ = text;
  refreshDue_ = false;
  return changed;
}

void TZelInformationLabel::Tick() {
  TZelTimerItem* t = PoolTimer(timerId_);
  if (!t || !t->Enabled()) return;
  refreshDue_ = true;
  if (Refresh()) Relayout();
}

void TZelInformationLabel::TextChanged() {
  Refresh();
  Relayout();
}

void TZelInformationLabel::AdjustBounds() {
  if (!AutoSize() || IsLoading()) return;
  const plat::TSize box = TextBox(*Font(), DisplayText(), font3D_.get(), TextFlags());
  SizeAround(box.cx, box.cy, bevel_.get());
}

void TZelInformationLabel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  if (!BeginPaint(c, r, bevel_.get())) return;
  DrawLabelText(c, r, DisplayText(), font3D_.get(), Enabled());
  SetPainting(false);
}

std::string ApplyNumberFormat(const std::string& value, const std::string& mask) {
  std::string sign, digits = value;
  if (!digits.empty() && digits[0] == '-') {
    sign = "-";
    digits.erase(0, 1);
  }
  std::string out;
  int di = int(digits.size()) - 1;
  for (int mi = int(mask.size()) - 1; mi >= 0; --mi) {
    if (mask[size_t(mi)] == '0') out.insert(out.begin(), di >= 0 ? digits[size_t(di--)] : '0');
    else out.insert(out.begin(), mask[size_t(mi)]);
  }
  if (di >= 0) out.insert(0, digits.substr(0, size_t(di) + 1));
  return sign + out;
}

// ---- simple label -------------------------------------------------------------------------------------

TZelCustomSimpleLabel::TZelCustomSimpleLabel(plat::TComponent* owner)
    : TZelBaseLabel(owner), font3D_(std::make_unique<TZel3DCaption>()) {
  font3D_->OnChange = [this](plat::TObject*) { Relayout(); };
}

TZelCustomSimpleLabel::~TZelCustomSimpleLabel() { font3D_->OnChange = nullptr; }

void TZelCustomSimpleLabel::AdjustBounds() {
  if (!AutoSize() || IsLoading()) return;
  const plat::TSize box = TextBox(*Font(), DisplayText(), font3D_.get(), TextFlags());
  SetBounds(Left(), Top(), box.cx, box.cy);
}

void TZelCustomSimpleLabel::Paint() {
  if (IsLoading() || Painting()) return;
  const std::string text = DisplayText();
  if (Transparent() && text.empty()) return;
  SetPainting(true);
  TCanvas& c = *Canvas();
  const TRect r = ClientRect();
  if (!Transparent()) FillBackground(c, r, Color());
  c.Font()->Assign(Font());
  if (TwinkleShown()) {
    DrawLabelText(c, r, text, font3D_.get(), Enabled());
  } else if (TwinkleColor() != plat::clNone) {
    c.Font()->SetColor(TwinkleColor());
    DrawLabelText(c, r, text, font3D_.get(), Enabled());
  }
  SetPainting(false);
}

std::function<bool(const std::string&)> TZelSimpleLabel::OpenHook = [](const std::string& target) {
  return plat::StartProcess("xdg-open", {target});
};

TZelSimpleLabel::TZelSimpleLabel(plat::TComponent* owner) : TZelCustomSimpleLabel(owner) {}

void TZelSimpleLabel::SetInActiveColor(TColor v) {
  inActiveColor_ = v;
  if (legacyJump_) Font()->SetColor(v);
}

void TZelSimpleLabel::SetJumpUnderline(bool v) {
  jumpUnderline_ = v;
  if (legacyJump_ && v) Font()->SetStyle(Font()->Style() | plat::fsUnderline);
}

void TZelSimpleLabel::SetJumpMode(TZelJumpModes v) {
  jumpMode_ = v;
  if (IsLoading() && v == jmNone) return;
  if (v == jmNone) {
    if (!IsDesigning()) SetCursor(plat::crDefault);
    Font()->SetColor(plat::clBlack);
    if (jumpUnderline_) Font()->SetStyle(Font()->Style() & ~plat::TFontStyles(plat::fsUnderline));
    return;
  }
  if (!IsDesigning()) SetCursor(plat::crHandPoint);
  Font()->SetColor(inActiveColor_);
  if (jumpUnderline_) Font()->SetStyle(Font()->Style() | plat::fsUnderline);
  clicks_ = 0;
}

std::string TZelSimpleLabel::JumpTarget() const {
  if (!IsBlank(jump_)) return jump_;
  const std::string text = Caption();
  if (jumpMode_ == jmInternet && text.find('@') != std::string::npos) return "mailto:" + text;
  return text;
}

void TZelSimpleLabel::MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelCustomSimpleLabel::MouseDown(b, s, x, y);
  if (b == plat::mbLeft && (jumpMode_ == jmInternet || jumpMode_ == jmApplication || jumpMode_ == jmCustom)) {
    ++clicks_;
    Font()->SetColor(activeColor_);
  }
}

void TZelSimpleLabel::MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelCustomSimpleLabel::MouseUp(b, s, x, y);
  if (b == plat::mbLeft && legacyJump_) Font()->SetColor(inActiveColor_);
}

void TZelSimpleLabel::Click() {
  switch (jumpMode_) {
    case jmInternet:
      if (!OpenHook || !OpenHook(JumpTarget())) {
        // A link that cannot be opened becomes a plain, disabled label.
        jumpMode_ = jmNone;
        SetEnabled(false);
      }
      return;
    case jmApplication:
      if (OpenHook) OpenHook(JumpTarget());
      return;
    default: TZelCustomSimpleLabel::Click();
  }
}

void TZelSimpleLabel::Loaded() {
  TZelCustomSimpleLabel::Loaded();
  if (legacyJump_) jumpMode_ = jmInternet;
}
