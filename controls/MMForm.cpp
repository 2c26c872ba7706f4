#include "controls/MMForm.h"

#include <algorithm>

#include "controls/zelsysin.h"
#include "engine/MMUtilsUI.h"
#include "platform/system/exceptions.h"
#include "platform/ui/forms.h"

namespace {

// The title with prefix (and the blank after it) taken off, when it starts with it.
bool TakePrefix(std::string& title, const std::string& prefix) {
  if (prefix.empty()) return false;
  if (title == prefix) {
    title.clear();
    return true;
  }
  if (title.size() > prefix.size() && title.compare(0, prefix.size(), prefix) == 0 && title[prefix.size()] == ' ') {
    title.erase(0, prefix.size() + 1);
    return true;
  }
  return false;
}

int TextWidthOf(const plat::TFont& font, const std::string& text) {
  if (text.empty()) return 0;
  plat::TBitmap scratch(1, 1);
  plat::TCanvas c(&scratch);
  c.SetFont(font);
  return c.TextWidth(text);
}

// The frame widths CaptionRect uses for the styles.
plat::TSize FrameOf(uint32_t styles, const TZelSystemMetrics& m) {
  if (styles & cwSizeable) return {m.SizingFrameWidth, m.SizingFrameHeight};
  if (styles & cwDialogFrame) return {m.FixedFrameWidth, m.FixedFrameHeight};
  return {m.BorderWidth, m.BorderHeight};
}

void DrawCaptionButton(plat::TCanvas& c, const plat::TRect& r, char kind, bool enabled) {
  FillSolidRect(c, plat::clBtnFace, r);
  plat::TRect e = r;
  c.DrawEdge(e, plat::EDGE_RAISED, plat::BF_RECT);
  const int cx = r.Left + r.Width() / 2, cy = r.Top + r.Height() / 2;
  auto glyph = [&](int dx, int dy, plat::TColor color) {
    auto line = [&](int x1, int y1, int x2, int y2) {
      c.Pen()->SetColor(color);
      c.Pen()->SetWidth(1);
      c.MoveTo(x1 + dx, y1 + dy);
      c.LineTo(x2 + dx, y2 + dy);
    };
    switch (kind) {
      case 'x':
        for (int k = 0; k < 2; ++k) {
          line(cx - 4 + k, cy - 3, cx + 3 + k, cy + 4);
          line(cx + 2 + k, cy - 3, cx - 5 + k, cy + 4);
        }
        break;
      case 'M':
        for (int y = cy - 4; y <= cy - 3; ++y) line(cx - 4, y, cx + 5, y);
        line(cx - 4, cy - 4, cx - 4, cy + 4);
        line(cx + 4, cy - 4, cx + 4, cy + 4);
        line(cx - 4, cy + 4, cx + 5, cy + 4);
        break;
      case '_':
        for (int y = cy + 2; y <= cy + 3; ++y) line(cx - 4, y, cx + 2, y);
        break;
      default:
        line(cx - 2, cy - 3, cx + 2, cy - 3);
        line(cx + 2, cy - 3, cx + 2, cy);
        line(cx + 2, cy, cx, cy);
        line(cx, cy, cx, cy + 2);
        line(cx, cy + 3, cx, cy + 4);
        break;
    }
  };
  if (enabled) {
    glyph(0, 0, plat::clBlack);
  } else {
    glyph(1, 1, plat::clBtnHighlight);
    glyph(0, 0, plat::clBtnShadow);
  }
}

// The picture programs without an icon of their own get: a small window.
void DrawDefaultIcon(plat::TCanvas& c, int x, int y) {
  FillSolidRect(c, plat::clWhite, plat::Bounds(x + 1, y + 2, 14, 12));
  FillSolidRect(c, plat::clNavy, plat::Bounds(x + 1, y + 2, 14, 3));
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(plat::clBlack);
  c.FrameRect(plat::Bounds(x, y + 1, 16, 14));
}

}  // namespace

// ---- text parts ---------------------------------------------------------------------------------------

TMMCompanyText::TMMCompanyText(TMMFormStyler* owner) : styler_(owner), font_(std::make_unique<plat::TFont>()) {
  font_->OnChange = [this](plat::TObject*) { FontChanged(); };
}

TMMCompanyText::~TMMCompanyText() { font_->OnChange = nullptr; }

void TMMCompanyText::SetCaption(const std::string& v) {
  if (v == caption_) return;
  // The caption part is read from the title with the old prefixes.
  const std::string captionPart = styler_ ? styler_->CaptionText()->Caption() : std::string();
  caption_ = v;
  if (styler_) {
    styler_->UpdateTitle(captionPart);
    styler_->Redraw();
  }
}

void TMMCompanyText::SetColorActive(plat::TColor v) {
  if (v == colorActive_) return;
  colorActive_ = v;
  if (styler_) styler_->Redraw();
}

void TMMCompanyText::SetColorInactive(plat::TColor v) {
  if (v == colorInactive_) return;
  colorInactive_ = v;
  if (styler_) styler_->Redraw();
}

void TMMCompanyText::SetFont(plat::TFont* v) { font_->Assign(v); }

void TMMCompanyText::FontChanged() {
  if (applying_) return;
  if (fontKind_ != fkAutoHeight) fontKind_ = fkCustom;
  else ApplyFontKind();
  if (styler_) styler_->Redraw();
}

void TMMCompanyText::SetFontKind(TMMFontKind v) {
  if (v == fontKind_) return;
  fontKind_ = v;
  ApplyFontKind();
  if (styler_) styler_->Redraw();
}

void TMMCompanyText::SetVisible(bool v) {
  if (v == visible_) return;
  const std::string captionPart = styler_ ? styler_->CaptionText()->Caption() : std::string();
  visible_ = v;
  if (styler_) {
    styler_->UpdateTitle(captionPart);
    styler_->Redraw();
  }
}

void TMMCompanyText::ApplyFontKind() {
  if (!styler_ || fontKind_ == fkCustom) return;
  applying_ = true;
  const plat::TFont& cap = styler_->CaptionFont();
  if (fontKind_ == fkAutoHeight) {
    // The same character height as the caption font: its cell less the internal leading.
    plat::TBitmap scratch(1, 1);
    plat::TCanvas c(&scratch);
    c.SetFont(cap);
    const plat::TTextMetric tm = c.GetTextMetrics();
    font_->SetHeight(-(tm.tmHeight - tm.tmInternalLeading));
  } else {
    const plat::TColor color = font_->Color();
    font_->Assign(const_cast<plat::TFont*>(&cap));
    font_->SetColor(color);
    plat::TFontStyles s = cap.Style();
    if (fontKind_ == fkSystemI || fontKind_ == fkSystemBI) s |= plat::fsItalic;
    if (fontKind_ == fkSystemB || fontKind_ == fkSystemBI) s |= plat::fsBold;
    font_->SetStyle(s);
  }
  applying_ = false;
}

void TMMCompanyText::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TMMCompanyText*>(src);
  if (!s) {
    plat::TPersistent::Assign(src);
    return;
  }
  SetColorActive(s->colorActive_);
  SetColorInactive(s->colorInactive_);
  applying_ = true;
  font_->Assign(s->font_.get());
  applying_ = false;
  fontKind_ = s->fontKind_;
  ApplyFontKind();
  SetVisible(s->visible_);
  SetCaption(s->Caption());
}

std::string TMMCaptionText::Caption() const {
  if (!styler_ || !styler_->Form()) return caption_;
  std::string title = styler_->Form()->Caption();
  const TMMCompanyText* company = styler_->CompanyText();
  const TMMCompanyText* app = styler_->AppNameText();
  if (company->Visible()) TakePrefix(title, company->Caption());
  if (app->Visible()) TakePrefix(title, app->Caption());
  return title;
}

void TMMCaptionText::SetCaption(const std::string& v) {
  caption_ = v;
  if (styler_) {
    styler_->UpdateTitle(v);
    styler_->Redraw();
  }
}

// ---- painter ------------------------------------------------------------------------------------------

uint32_t MMWindowStyles(const plat::TCustomForm& f) {
  const plat::TBorderStyle bs = f.BorderStyle();
  uint32_t styles = 0;
  if (bs == plat::bsSizeable || bs == plat::bsSizeToolWin) styles |= cwSizeable;
  if (bs == plat::bsDialog || bs == plat::bsSingle || bs == plat::bsToolWindow) styles |= cwDialogFrame;
  if (bs == plat::bsToolWindow || bs == plat::bsSizeToolWin) styles |= cwToolWindow;
  const plat::TBorderIcons icons = f.BorderIcons();
  if (icons & plat::biSystemMenu) styles |= cwSystemMenu;
  if (icons & plat::biMinimize) styles |= cwMinimizeBox;
  if (icons & plat::biMaximize) styles |= cwMaximizeBox;
  if (icons & plat::biHelp) styles |= cwHelp;
  if (f.WindowState() == plat::wsMinimized) styles |= cwIconic;
  return styles;
}

bool MMUseGradient(TMMGradientOptions options, bool active, int bitsPerPixel) {
  switch (options) {
    case goAlways: return true;
    case goNever: return false;
    case goActive: return active;
    case goSmart: return active ? bitsPerPixel > 7 : bitsPerPixel > 8;
  }
  return false;
}

void MMCaptionFont(plat::TFont& font) {
  font.SetName("Tahoma");
  font.SetHeight(-11);
  font.SetStyle(plat::fsBold);
  font.SetColor(plat::clCaptionText);
}

TMMCaptionTextLayout MMCaptionTextLayout(const TMMCaptionScene& s) {
  TMMCaptionTextLayout out;
  const TZelSystemMetrics m = ZelSystemMetrics();
  out.Caption = CaptionRect(s.Window, s.Styles, m, nullptr);
  plat::TFont captionFont;
  MMCaptionFont(captionFont);
  bool present[3];
  int blank[3];
  for (int i = 0; i < 3; ++i) {
    const TMMCaptionPart& p = s.Parts[i];
    const plat::TFont& font = p.Font ? *p.Font : captionFont;
    present[i] = p.Visible && !p.Text.empty();
    out.Widths[i] = present[i] ? TextWidthOf(font, p.Text) : 0;
    blank[i] = present[i] ? TextWidthOf(font, " ") : 0;
  }
  const int room = out.Caption.Width();
  // The parts are drawn one after the other with a blank between them, as the title reads.
  auto sum = [&](bool a, bool b, bool c) {
    const bool use[3] = {a, b, c};
    int total = 0;
    bool first = true;
    for (int i = 0; i < 3; ++i) {
      if (!use[i]) continue;
      total += out.Widths[i] + (first ? 0 : blank[i]);
      first = false;
    }
    return total;
  };
  if (sum(present[0], present[1], present[2]) <= room) {
    for (int i = 0; i < 3; ++i) out.Shown[i] = present[i];
  } else if (sum(false, present[1], present[2]) <= room) {
    out.Shown[1] = present[1];
    out.Shown[2] = present[2];
  } else {
    out.Shown[2] = present[2];
  }
  bool first = true;
  for (int i = 0; i < 3; ++i) {
    if (!out.Shown[i]) continue;
    out.Gaps[i] = first ? 0 : blank[i];
    first = false;
  }
  const int used = sum(out.Shown[0], out.Shown[1], out.Shown[2]);
  const int free = std::max(0, room - used);
  out.Left = out.Caption.Left;
  if (s.Alignment == plat::taRightJustify) out.Left += free;
  else if (s.Alignment == plat::taCenter) out.Left += free / 2;
  return out;
}

void MMPaintCaption(plat::TCanvas& c, const TMMCaptionScene& s) {
  const TZelSystemMetrics m = ZelSystemMetrics();
  const plat::TRect window = plat::Rect(0, 0, s.Window.cx, s.Window.cy);
  FillSolidRect(c, plat::clBtnFace, window);
  plat::TRect edge = window;
  c.DrawEdge(edge, plat::EDGE_RAISED, plat::BF_RECT);

  uint32_t flags = 0;
  CaptionRect(s.Window, s.Styles, m, &flags);
  const plat::TSize frame = FrameOf(s.Styles, m);
  const int height = (s.Styles & cwToolWindow) ? m.SmallCaptionHeight : m.CaptionHeight;
  const plat::TRect bar = plat::Rect(frame.cx, frame.cy, s.Window.cx - frame.cx, frame.cy + height);
  if (s.Gradient) FillGradientBands(c, s.Left, s.Right, bar, std::clamp(s.NumColors, 2, 236));
  else FillSolidRect(c, s.Left, bar);

  if (flags & cfIcon) {
    const int x = bar.Left + 1, y = bar.Top + (height - m.SmallIconWidth) / 2;
    if (!s.Icon.Empty()) {
      plat::TBitmap icon;
      s.Icon.Scaled(m.SmallIconWidth, m.SmallIconWidth).AssignTo(icon);
      c.Draw(x, y, &icon);
    } else {
      DrawDefaultIcon(c, x, y);
    }
  }

  const bool tool = s.Styles & cwToolWindow;
  const int bw = (tool ? m.SmallButtonWidth : m.CaptionButtonWidth) - 2;
  int right = bar.Right - 2;
  auto button = [&](char kind, bool enabled) {
    const plat::TRect r = plat::Rect(right - bw, bar.Top + 2, right, bar.Bottom - 2);
    DrawCaptionButton(c, r, kind, enabled);
    right -= bw;
  };
  if (flags & cfClose) {
    button('x', true);
    right -= 2;
  }
  if (flags & cfMaximize) button('M', s.BorderIcons & plat::biMaximize);
  if (flags & cfMinimize) button('_', s.BorderIcons & plat::biMinimize);
  if (flags & cfHelp) button('?', true);

  const TMMCaptionTextLayout layout = MMCaptionTextLayout(s);
  plat::TFont captionFont;
  MMCaptionFont(captionFont);
  int x = layout.Left;
  for (int i = 0; i < 3; ++i) {
    if (!layout.Shown[i]) continue;
    x += layout.Gaps[i];
    const TMMCaptionPart& p = s.Parts[i];
    c.SetFont(p.Font ? *p.Font : captionFont);
    c.Font()->SetColor(p.Color);
    c.Brush()->SetStyle(plat::bsClear);
    plat::TRect r = plat::Rect(x, layout.Caption.Top, layout.Caption.Right, layout.Caption.Bottom);
    if (r.Left < r.Right)
      c.DrawText(p.Text, r, plat::DT_SINGLELINE | plat::DT_VCENTER | plat::DT_END_ELLIPSIS | plat::DT_NOPREFIX);
    x += layout.Widths[i];
  }
}

// ---- styler -------------------------------------------------------------------------------------------

TMMFormStyler::TMMFormStyler(plat::TComponent* owner)
    : TMMWndProcComponent(owner),
      company_(std::make_unique<TMMCompanyText>(this)),
      appName_(std::make_unique<TMMAppNameText>(this)),
      caption_(std::make_unique<TMMCaptionText>(this)) {
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (auto* other = dynamic_cast<TMMFormStyler*>(owner->Components(i)); other && other != this)
      throw plat::Exception("Only one FormStyler is allowed per Form");
  MMCaptionFont(captionFont_);
  ReloadCaptionFont();
  if (Form()->HandleAllocated()) active_ = Form()->Active();
  Hook();
}

TMMFormStyler::~TMMFormStyler() { Unhook(); }

void TMMFormStyler::SetClrLeftActive(plat::TColor v) {
  if (v == leftActive_) return;
  leftActive_ = v;
  Redraw();
}

void TMMFormStyler::SetClrLeftInActive(plat::TColor v) {
  if (v == leftInactive_) return;
  leftInactive_ = v;
  Redraw();
}

void TMMFormStyler::SetClrRightActive(plat::TColor v) {
  if (v == rightActive_) return;
  rightActive_ = v;
  Redraw();
}

void TMMFormStyler::SetClrRightInActive(plat::TColor v) {
  if (v == rightInactive_) return;
  rightInactive_ = v;
  Redraw();
}

void TMMFormStyler::SetAlignment(plat::TAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Redraw();
}

void TMMFormStyler::SetOptions(TMMGradientOptions v) {
  if (v == options_) return;
  options_ = v;
  Redraw();
}

void TMMFormStyler::SetNumColors(int v) {
  v = std::clamp(v, 2, 236);
  if (v == numColors_) return;
  numColors_ = v;
  Redraw();
}

void TMMFormStyler::SetActive(bool v) {
  if (v == active_) return;
  active_ = v;
  Redraw();
}

void TMMFormStyler::ReloadCaptionFont() {
  MMCaptionFont(captionFont_);
  company_->ApplyFontKind();
  appName_->ApplyFontKind();
  caption_->ApplyFontKind();
  Redraw();
}

std::string TMMFormStyler::ComposeTitle(const std::string& captionPart) const {
  std::string title;
  auto add = [&](bool visible, const std::string& text) {
    if (!visible || text.empty()) return;
    if (!title.empty()) title += ' ';
    title += text;
  };
  add(company_->Visible(), company_->Caption());
  add(appName_->Visible(), appName_->Caption());
  add(caption_->Visible(), captionPart);
  return title;
}

void TMMFormStyler::UpdateTitle(const std::string& captionPart) {
  if (Form() && !Form()->IsDestroying()) Form()->SetCaption(ComposeTitle(captionPart));
}

TMMCaptionScene TMMFormStyler::Scene(int bitsPerPixel) const {
  TMMCaptionScene s;
  plat::TCustomForm* f = Form();
  s.Window = {f->Width(), f->Height()};
  s.Bordered = f->BorderStyle() != plat::bsNone;
  const plat::TBorderIcons icons = f->BorderIcons();
  const uint32_t styles = MMWindowStyles(*f);
  s.Styles = styles;
  s.BorderIcons = icons;
  s.Active = active_;
  s.Left = active_ ? leftActive_ : leftInactive_;
  s.Right = active_ ? rightActive_ : rightInactive_;
  s.Gradient = MMUseGradient(options_, active_, bitsPerPixel);
  s.NumColors = numColors_;
  s.Alignment = alignment_;
  const TMMCompanyText* parts[3] = {company_.get(), appName_.get(), caption_.get()};
  for (int i = 0; i < 3; ++i) {
    s.Parts[i].Text = parts[i]->Caption();
    s.Parts[i].Font = parts[i]->Font();
    s.Parts[i].Color = active_ ? parts[i]->ColorActive() : parts[i]->ColorInactive();
    s.Parts[i].Visible = parts[i]->Visible();
  }
  if (Form()->HandleAllocated()) s.Icon = Form()->WindowIcon(16);
  return s;
}

void TMMFormStyler::PaintCaption(plat::TBitmap& target) const {
  const TMMCaptionScene s = Scene(ColorDepth());
  target.SetSize(std::max(s.Window.cx, 1), std::max(s.Window.cy, 1));
  target.SetPixelFormat(plat::pf24bit);
  if (!s.Bordered) return;
  MMPaintCaption(*target.Canvas(), s);
}

bool TMMFormStyler::WndProc(plat::TWindowEvent& e) {
  switch (e.Kind) {
    case plat::weActivate: SetActive(true); break;
    case plat::weDeactivate: SetActive(false); break;
    case plat::weLookChange: ReloadCaptionFont(); break;
    case plat::weIconChange:
    case plat::weTitleChange: Redraw(); break;
    default: break;
  }
  return TMMWndProcComponent::WndProc(e);
}
