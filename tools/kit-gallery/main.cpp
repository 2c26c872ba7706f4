// Draws the control kit's looks into one picture for a reviewer: gradient styles, edge and
// frame styles, 3D text, button frames in their states, arrows, disabled glyphs and effects, and
// the kit's controls themselves: push and speed buttons in their states, labels, status bars and
// a styled caption bar.
//   QT_QPA_PLATFORM=offscreen kit-gallery gallery.png
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "controls/MMForm.h"
#include "controls/ZelBitmapEffectObject.h"
#include "controls/ZelButtonLayout.h"
#include "controls/ZelFXCaption.h"
#include "controls/zelbmp.h"
#include "controls/zelbtns.h"
#include "controls/zelclass.h"
#include "controls/zelcont.h"
#include "controls/zelgraph.h"
#include "controls/zellabel.h"
#include "controls/zelstatus.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/graphics.h"
#include "platform/ui/menus.h"
#include "regions.h"

using plat::TCanvas;
using plat::TRect;

void Label(TCanvas& c, int x, int y, const std::string& text, int height, bool bold) {
  c.Brush()->SetStyle(plat::bsClear);
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(height);
  c.Font()->SetStyle(bold ? plat::fsBold : 0);
  c.Font()->SetColor(plat::clBlack);
  c.TextOut(x, y, text);
}

namespace {

void Heading(TCanvas& c, int y, const std::string& text) { Label(c, 10, y, text, -14, true); }

// A small glyph: a red disc on the fuchsia the kit takes as transparent.
void MakeGlyph(plat::TBitmap& g) {
  g.SetSize(16, 16);
  g.SetPixelFormat(plat::pf24bit);
  TCanvas& c = *g.Canvas();
  c.Brush()->SetColor(plat::clFuchsia);
  c.FillRect(plat::Rect(0, 0, 16, 16));
  c.Brush()->SetColor(plat::clRed);
  c.Pen()->SetColor(plat::clMaroon);
  c.Ellipse(2, 2, 14, 14);
}

int Gradients(TCanvas& c, int y) {
  Heading(c, y, "Gradient styles (16 colours, blue to black)");
  y += 22;
  static const char* const names[] = {"horizontal", "vertical",    "square",       "elliptic",      "top left",
                                      "top right",  "bottom left", "bottom right", "top left diag", "top right diag"};
  for (int s = 0; s < 10; ++s) {
    TRect r = plat::Bounds(10 + s * 98, y, 90, 60);
    GradientFill(c, r, 0xFF0000, 0, gfUseBitmap, TZelGradientStyle(s), 16, 0x000000);
    Label(c, r.Left, r.Bottom + 2, names[s]);
  }
  return y + 84;
}

int Frames(TCanvas& c, int y) {
  Heading(c, y, "Frame edges 1-14, border styles, bevel bands");
  y += 22;
  for (int s = 1; s <= 14; ++s) {
    TRect r = plat::Bounds(10 + (s - 1) * 70, y, 60, 36);
    DrawFrameEdge(c, r, s);
    Label(c, 10 + (s - 1) * 70 + 24, y + 38, std::to_string(s));
  }
  y += 56;
  static const char* const borders[] = {"None",          "Single",       "Lowered",      "Raised",
                                        "Raisedspb",     "Loweredspb",   "RaisedExt",    "LoweredExt",
                                        "FrameInset",    "FrameOffset",  "WindowBorder", "SingleRaised",
                                        "SingleLowered", "DoubleRaised", "DoubleLowered"};
  for (int s = 0; s < 15; ++s) {
    TRect r = plat::Bounds(10 + s * 65, y, 58, 30);
    DrawBorderStyle(c, r, TZelBorderStyle(s));
    Label(c, 10 + s * 65, y + 32, borders[s], -9);
  }
  y += 50;
  static const char* const bevels[] = {"Lowered", "Raised", "FrameLowered", "FrameRaised", "Normal", "Shadow"};
  for (int s = 1; s <= 6; ++s) {
    TRect r = plat::Bounds(10 + (s - 1) * 110, y, 100, 34);
    DrawBevelFrame(c, r, TZelBevelStyle(s), 2, plat::clBtnHighlight, plat::clBtnShadow);
    Label(c, 10 + (s - 1) * 110, y + 36, bevels[s - 1]);
  }
  TRect shadow = plat::Bounds(680, y, 100, 34);
  DrawShadowFrame(c, shadow, 1, 4, plat::clBlack, plat::clGray, false);
  Label(c, 680, y + 36, "shadow frame");
  return y + 58;
}

int Text3D(TCanvas& c, int y) {
  Heading(c, y, "3D text styles (light depth 2, shadow depth 2), disabled, rotated");
  y += 22;
  static const char* const names[] = {"None",         "Sunken",       "Raised",       "SunkenShadow",
                                      "RaisedShadow", "PColorSunken", "PColorRaised", "Shadow",
                                      "Outline",      "Extrude",      "ExtrudeEnh"};
  for (int s = 0; s < 11; ++s) {
    TZel3DCaption caption;
    caption.SetStyle(TZelThreeDStyle(s));
    caption.SetLightDepth(2);
    caption.SetShadowDepth(s >= tdExtrude ? 5 : 2);
    if (s >= tdExtrude) caption.SetShadowColor(plat::clNavy);
    const int col = s % 6, row = s / 6;
    TRect r = plat::Bounds(10 + col * 165, y + row * 56, 160, 36);
    c.Brush()->SetStyle(plat::bsSolid);
    c.Brush()->SetColor(plat::clBtnFace);
    c.Font()->SetName("Arial");
    c.Font()->SetHeight(-24);
    c.Font()->SetStyle(plat::fsBold);
    c.Font()->SetColor(plat::clTeal);
    Draw3DText(c, "Solvane", &caption, nullptr, d3Enabled, plat::DT_SINGLELINE, r);
    Label(c, r.Left, r.Top + 38, names[s]);
  }
  TZel3DCaption disabled;
  disabled.SetDisabledStyle(ds3d);
  TRect r = plat::Bounds(10 + 5 * 165, y + 56, 160, 36);
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-24);
  c.Font()->SetStyle(plat::fsBold);
  Draw3DText(c, "Disabled", &disabled, nullptr, 0, plat::DT_SINGLELINE, r);
  Label(c, r.Left, r.Top + 38, "disabled, 3D");
  y += 120;
  TZelFxCaption fx;
  fx.SetStyle(tdRaisedShadow);
  fx.SetAngle(30);
  fx.SetPosY(40);
  TRect rr = plat::Bounds(10, y, 200, 70);
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-20);
  c.Font()->SetColor(plat::clMaroon);
  Draw3DText(c, "rotated 30\u00B0", &fx, nullptr, d3Enabled, plat::DT_SINGLELINE, rr);
  TZel3DCaption spread;
  spread.SetStyle(tdShadow);
  spread.SetShadowDepth(2);
  TRect tr = plat::Bounds(240, y, 300, 36);
  for (int tracing : {0, 6}) {
    c.Font()->SetName("Arial");
    c.Font()->SetHeight(-24);
    c.Font()->SetStyle(plat::fsBold);
    c.Font()->SetColor(plat::clTeal);
    spread.SetTracing(tracing);
    Draw3DText(c, "Solvane", &spread, nullptr, d3Enabled, plat::DT_SINGLELINE, tr);
    Label(c, tr.Left, tr.Top + 38, tracing ? "tracing 6" : "tracing 0");
    tr = plat::Bounds(tr.Left + 170, y, 300, 36);
  }
  return y + 76;
}

int Buttons(TCanvas& c, int y, plat::TBitmap& glyph) {
  Heading(c, y,
          "Button frames: styles down, states across (Up, Disabled, MouseOver, Down, Pushed, DisabledDown, focused)");
  y += 22;
  struct Row {
    int style;
    uint32_t flags;
    const char* name;
  } rows[] = {{1, bfCorners, "Win31"}, {2, bfNewLook, "Win40"}, {2, 0, "Win40 old"}, {3, 0, "Korvex"},
              {4, 0, "KorvexFlat"},    {5, 0, "Flat"},          {7, 0, "Navigator"}, {9, 0, "ExplorerColored"}};
  const int states[] = {bsUp, bsDisabled, bsMouseOver, bsDown, bsPushed, bsDisabledDown, bsUp};
  static const char* const stateNames[] = {"Up", "Disabled", "MouseOver", "Down", "Pushed", "DisabledDown", "focused"};
  for (int i = 0; i < 7; ++i) Label(c, 120 + i * 120, y, stateNames[i]);
  y += 16;
  TZelButtonLayout layout;
  layout.SetArrow(true);
  for (const Row& row : rows) {
    Label(c, 10, y + 8, row.name);
    for (int i = 0; i < 7; ++i) {
      TRect r = plat::Bounds(120 + i * 120, y, 110, 30);
      uint32_t flags = row.flags | (i == 6 ? uint32_t(bfFocused) : 0u);
      TRect content;
      DrawButtonFrame(c, false, r, plat::clBtnFace, flags, states[i], row.style, &content);
      const bool enabled = states[i] != bsDisabled && states[i] != bsDisabledDown;
      c.Font()->SetName("Arial");
      c.Font()->SetHeight(-12);
      c.Font()->SetStyle(0);
      c.Font()->SetColor(plat::clBtnText);
      c.Brush()->SetStyle(plat::bsClear);
      TZel3DCaption caption;
      if (enabled) {
        DrawGlyphText(c, &glyph, plat::clFuchsia, "&Play", false, &layout, content, &caption, d3Enabled);
      } else {
        TZelGlyphTextPlacement p = PlaceGlyphText({28, 14}, {16, 16}, &layout, content, true);
        DrawDisabledGlyph(c, glyph, p.Glyph.Left, p.Glyph.Top);
        TRect tr = p.Text;
        Draw3DText(c, "&Play", &caption, nullptr, d3AutoSunken, plat::DT_SINGLELINE, tr);
      }
    }
    y += 36;
  }
  return y + 6;
}

int Pictures(TCanvas& c, int y, plat::TBitmap& glyph) {
  Heading(c, y, "Arrows, disabled pictures and effects");
  y += 22;
  int x = 10;
  for (int d = 0; d < 4; ++d) {
    DrawArrow(c, x, y + 4, true, TZelArrowDirection(d), plat::clBlack, 5);
    DrawArrow(c, x, y + 24, false, TZelArrowDirection(d), plat::clBlack, 5);
    x += 20;
  }
  plat::TBitmap disabled;
  MakeDisabledBitmap(glyph, disabled);
  c.Draw(x + 10, y + 4, &glyph);
  c.Draw(x + 34, y + 4, &disabled);
  Label(c, x + 10, y + 24, "MakeDisabledBitmap");
  x += 150;
  // A picture and its effects.
  plat::TBitmap picture(80, 40);
  picture.SetPixelFormat(plat::pf24bit);
  GradientFill(*picture.Canvas(), plat::Rect(0, 0, 80, 40), plat::clRed, 0, 0, gstHorizontal, 32, plat::clYellow);
  picture.Canvas()->Brush()->SetColor(plat::clNavy);
  picture.Canvas()->FillRect(plat::Rect(4, 4, 20, 20));
  struct Effect {
    const char* name;
    void (*set)(TZelBitmapEffectObject&);
  } effects[] = {{"none", [](TZelBitmapEffectObject&) {}},
                 {"flip V", [](TZelBitmapEffectObject& e) { e.SetFlipVertical(true); }},
                 {"flip H", [](TZelBitmapEffectObject& e) { e.SetFlipHorizontal(true); }},
                 {"grey", [](TZelBitmapEffectObject& e) { e.SetGrayScale(true); }},
                 {"invert", [](TZelBitmapEffectObject& e) { e.SetInvert(true); }},
                 {"bright +80", [](TZelBitmapEffectObject& e) { e.SetBrightness(80); }},
                 {"alpha 0.5 blue", [](TZelBitmapEffectObject& e) {
                    e.AlphaBlend()->FillObject()->SetStyle(sfBrush);
                    e.AlphaBlend()->FillObject()->Brush()->SetColor(plat::clBlue);
                    e.AlphaBlend()->SetStrength(0.5f);
                  }}};
  for (const Effect& fx : effects) {
    TZelBitmapEffectObject e;
    fx.set(e);
    plat::TBitmap p;
    p.Assign(&picture);
    ApplyEffects(e, p);
    c.Draw(x, y, &p);
    Label(c, x, y + 42, fx.name);
    x += 92;
  }
  return y + 62;
}

// Buttons whose pressed and hover looks can be shown without a mouse.
class ShownButton : public TZelButton {
public:
  using TZelButton::TZelButton;
  using TZelCustomButton::SetPushed;
};
class ShownSpeedButton : public TZelSpeedButton {
public:
  using TZelBaseGraphicButton::SetState;
  using TZelSpeedButton::TZelSpeedButton;
};

void DeckFont(plat::TFont* f, int height, plat::TColor color) {
  f->SetName("Arial");
  f->SetHeight(height);
  f->SetStyle(plat::fsBold);
  f->SetColor(color);
}

// Lays kit controls on a form, shows it off screen and copies its client area onto the page.
int Controls(TCanvas& c, int y, plat::TBitmap& glyph) {
  Heading(c, y, "Push buttons: normal, focused, down, disabled, with a glyph, deck captions");
  y += 22;
  auto* form = plat::NewForm<plat::TForm>(nullptr);
  form->SetBorderStyle(plat::bsNone);
  form->SetColor(plat::clBtnFace);
  form->SetBounds(0, 0, 980, 430);

  plat::TBitmap strip(64, 16);  // four cells: up, disabled, hover, down
  strip.SetPixelFormat(plat::pf24bit);
  for (int i = 0; i < 4; ++i) strip.Canvas()->Draw(i * 16, 0, &glyph);
  strip.Canvas()->Brush()->SetColor(plat::clGreen);
  strip.Canvas()->FillRect(plat::Rect(36, 4, 44, 12));

  struct PushSpec {
    const char* caption;
    int look;  // 0 normal, 1 focused, 2 down, 3 disabled
    bool glyph, deck;
    plat::TColor color;
  } pushes[] = {{"Normal", 0, false, false, plat::clBtnText},   {"Focused", 1, false, false, plat::clBtnText},
                {"Down", 2, false, false, plat::clBtnText},     {"Disabled", 3, false, false, plat::clBtnText},
                {"Glyph", 0, true, false, plat::clBtnText},     {"Glyph off", 3, true, false, plat::clBtnText},
                {"&Record\r\nF5", 0, false, true, plat::clRed}, {"&Play\r\nF7", 2, false, true, plat::clGreen}};
  int x = 0;
  plat::TButton* focus = nullptr;
  for (const PushSpec& spec : pushes) {
    auto* b = new ShownButton(form);
    b->SetParent(form);
    b->SetBounds(x, 0, spec.deck ? 110 : 100, spec.deck ? 60 : 34);
    b->SetCaption(spec.caption);
    b->SetColor(plat::clBtnFace);
    if (spec.deck) {
      DeckFont(b->Font(), -20, spec.color);
      b->SetMultiLine(true);
    } else {
      b->Font()->SetName("Arial");
      b->Font()->SetHeight(-12);
    }
    if (spec.glyph) b->SetGlyph(&glyph);
    if (spec.look == 1) focus = b;
    if (spec.look == 2) b->SetPushed(true);
    if (spec.look == 3) b->SetEnabled(false);
    x += b->Width() + 12;
  }

  struct SpeedRow {
    TZelUserButtonStyle style;
    const char* name;
  } rows[] = {{ubsAutoDetect, "AutoDetect"},
              {ubsKorvexFlat, "KorvexFlat"},
              {ubsFlat, "Flat"},
              {ubsFlatUnColored, "FlatUnColored"}};
  const TZelButtonState states[] = {bsUp, bsMouseOver, bsPushed, bsDown, bsDisabled};
  int sy = 80;
  for (const SpeedRow& row : rows) {
    auto* name = new TZelSimpleLabel(form);
    name->SetParent(form);
    name->SetBounds(0, sy + 6, 10, 10);
    name->Font()->SetName("Arial");
    name->Font()->SetHeight(-11);
    name->SetCaption(row.name);
    for (int i = 0; i < 5; ++i) {
      auto* b = new ShownSpeedButton(form);
      b->SetParent(form);
      b->SetBounds(110 + i * 90, sy, 80, 26);
      b->SetStyle(row.style);
      b->Font()->SetName("Arial");
      b->Font()->SetHeight(-11);
      b->SetCaption("Speed");
      b->SetGlyph(&strip);
      if (states[i] == bsDisabled) b->SetEnabled(false);
      else b->SetState(states[i]);
    }
    sy += 32;
  }
  auto* combo = new ShownSpeedButton(form);
  combo->SetParent(form);
  combo->SetBounds(570, 80, 80, 26);
  combo->Font()->SetName("Arial");
  combo->Font()->SetHeight(-11);
  combo->SetCaption("Sort");
  auto* menu = new plat::TPopupMenu(form);
  combo->SetDropDownMenu(menu);
  combo->SetDropDownCombo(true);

  // Labels as the deck places them, and the other kinds.
  auto* status = new TZelSimpleLabel(form);
  status->SetParent(form);
  status->SetBounds(0, 220, 10, 10);
  status->Font()->SetName("Arial");
  status->Font()->SetHeight(-16);
  status->Font()->SetColor(plat::clGray);
  status->Font3D()->SetStyle(tdRaisedShadow);
  status->Font3D()->SetShadowDepth(0);
  status->SetCaption("Audio File Status Area    ");
  const char* lines[] = {"..\\A cart name of some length", "that goes on to a second line",
                         "and a third line that is far too long to fit, so it ends in an ellipsis where it stops"};
  for (int i = 0; i < 3; ++i) {
    auto* l = new TZelSimpleLabel(form);
    l->SetParent(form);
    l->SetAutoSize(false);
    l->SetBounds(0, 250 + i * 28, 220, 26);
    l->SetTransparent(false);
    l->SetColor(plat::clWhite);
    l->SetMultiLine(true);
    l->Font()->SetName("Arial");
    l->Font()->SetHeight(-11);
    if (i == 2) l->SetOptions(loEndEllipsis);
    l->SetCaption(lines[i]);
  }
  auto* bevelled = new TZelLabel(form);
  bevelled->SetParent(form);
  bevelled->SetBounds(260, 222, 10, 10);
  bevelled->Font()->SetName("Arial");
  bevelled->Font()->SetHeight(-13);
  bevelled->Bevel()->SetStyleOuter(bvRaised);
  bevelled->Bevel()->SetStyleInner(bvLowered);
  bevelled->Bevel()->SetBorderWidth(2);
  bevelled->SetCaption("Bevelled label");
  auto* link = new TZelSimpleLabel(form);
  link->SetParent(form);
  link->SetBounds(260, 262, 10, 10);
  link->Font()->SetName("Arial");
  link->Font()->SetHeight(-12);
  link->SetCaption("studio@example.org");
  link->SetJumpMode(jmInternet);
  auto* info = new TZelInformationLabel(form);
  info->SetParent(form);
  info->SetBounds(260, 290, 10, 10);
  info->Font()->SetName("Arial");
  info->Font()->SetHeight(-12);
  info->SetInfo(itProgName);
  auto* rotated = new TZelLabel(form);
  rotated->SetParent(form);
  rotated->SetBounds(470, 222, 10, 10);
  rotated->Font()->SetName("Arial");
  rotated->Font()->SetHeight(-14);
  rotated->FontFX()->SetAngle(30);
  rotated->FontFX()->SetStyle(tdSunkenShadow);
  rotated->SetCaption("Rotated");
  auto* disabled = new TZelSimpleLabel(form);
  disabled->SetParent(form);
  disabled->SetBounds(600, 230, 10, 10);
  disabled->Font()->SetName("Arial");
  disabled->Font()->SetHeight(-14);
  disabled->SetCaption("Disabled label");
  disabled->SetEnabled(false);

  // Status bars: the deck's simple text, and panels with the size grip.
  auto* panelHost = new plat::TPanel(form);
  panelHost->SetParent(form);
  panelHost->SetBevelOuter(plat::bvNone);
  panelHost->SetBounds(0, 350, 640, 70);
  auto* simple = new TZelStatusBar(form);
  simple->SetParent(panelHost);
  simple->SetSimplePanel(true);
  simple->SetSimpleText("Recording into QUICK cart 2024-05-01 10.31.wav");
  auto* panelled = new TZelStatusBar(form);
  panelled->SetParent(panelHost);
  panelled->SetAlign(plat::alTop);
  panelled->SetOldStyle(false);
  for (const char* text : {"44.100 kHz", "16 Bit", "Stereo"}) {
    TZelStatusPanel* p = panelled->Panels()->Add();
    p->SetSize(120);
    p->SetText(text);
    p->Font()->SetName("Arial");
    p->Font()->SetHeight(-11);
  }

  form->Show();
  if (focus) focus->SetFocus();
  QApplication::processEvents();
  QImage shot = plat::ClientWidgetOf(form)->grab().toImage().convertToFormat(QImage::Format_RGB32);
  plat::TBitmap picture;
  plat::SetImage(picture, shot);
  c.Draw(10, y, &picture);
  static const char* const stateNames[] = {"Up", "MouseOver (hot)", "Pushed", "Down (latched)", "Disabled"};
  for (int i = 0; i < 5; ++i) Label(c, 120 + i * 90, y + 66, stateNames[i]);
  Label(c, 580, y + 66, "drop-down combo");
  Label(c, 660, y + 352, "status bars: simple text; panels with the size grip");
  form->Free();
  y += 432;

  Heading(c, y, "Caption styler: the deck's title parts, active, inactive, narrow windows");
  y += 22;
  auto* main = plat::NewForm<plat::TForm>(nullptr);
  main->SetCaption("Main");
  auto* styler = new TMMFormStyler(main);
  styler->AppNameText()->SetCaption("Solvane");
  styler->AppNameText()->Font()->SetName("Arial");
  styler->AppNameText()->Font()->SetHeight(-13);
  styler->AppNameText()->Font()->SetStyle(plat::fsBold | plat::fsItalic);
  styler->CompanyText()->Font()->SetName("Arial");
  styler->CompanyText()->Font()->SetHeight(-11);
  styler->CompanyText()->Font()->SetStyle(plat::fsBold);
  styler->CompanyText()->SetCaption("Tolmark Kiv 1.0.0.0");
  styler->CaptionText()->SetCaption("  [ User: Default ]");
  styler->CaptionText()->SetColorActive(plat::clYellow);
  styler->SetClrLeftActive(plat::clActiveCaption);
  styler->SetClrLeftInActive(plat::clInactiveCaption);
  styler->SetClrRightActive(plat::clBlack);
  struct Shot {
    int width;
    bool active;
  } shots[] = {{560, true}, {560, false}, {300, true}, {170, true}};
  int sx = 10, row = y;
  for (const Shot& shot : shots) {
    main->SetBounds(0, 0, shot.width, 40);
    styler->SetActive(shot.active);
    plat::TBitmap bar;
    styler->PaintCaption(bar);
    if (sx + shot.width > 990) {
      sx = 10;
      row += 46;
    }
    c.Draw(sx, row, &bar);
    sx += shot.width + 10;
  }
  Label(c, 10, row + 44, std::string("title: ") + main->Caption());
  main->Free();
  return row + 62;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication qapp(argc, argv);
  plat::TApplication application;
  TZelKit kit;
  const std::string out = argc > 1 ? argv[1] : "kit-gallery.png";

  plat::TBitmap page(1000, 2700);
  page.SetPixelFormat(plat::pf24bit);
  TCanvas& c = *page.Canvas();
  c.Brush()->SetColor(plat::clBtnFace);
  c.FillRect(plat::Rect(0, 0, 1000, 2700));
  plat::TBitmap glyph;
  MakeGlyph(glyph);

  int y = 8;
  y = Gradients(c, y);
  y = Frames(c, y);
  y = Text3D(c, y);
  y = Buttons(c, y, glyph);
  y = Pictures(c, y, glyph);
  y = Controls(c, y, glyph);
  y = RegionShapes(c, y);
  y = ImageControls(c, y);
  QImage img = plat::ImageOf(page).copy(0, 0, 1000, y + 4);
  if (!img.save(QString::fromStdString(out), "PNG")) {
    std::fprintf(stderr, "kit-gallery: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s: %d x %d\n", out.c_str(), img.width(), img.height());
  return 0;
}
