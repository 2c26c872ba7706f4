#pragma once
// The caption styler of a form: a colour gradient from a left to a right colour, the system icon
// and caption buttons, and a caption made of three text parts (company, application name, the
// form's own caption), each with its own font and colours.
//
// The window manager draws the title bars here: the styler makes the form's title the
// concatenation of its visible text parts, and its caption painter is a pure function that draws
// the bar on a picture (MMPaintCaption), which the styler's PaintCaption feeds with its state.
#include <memory>
#include <string>

#include "controls/MMHook.h"
#include "platform/ui/controls.h"
#include "platform/ui/graphics.h"

class TMMFormStyler;
namespace plat {
class TCustomForm;
}

enum TMMFontKind { fkCustom, fkSystem, fkSystemI, fkSystemB, fkSystemBI, fkAutoHeight };
enum TMMGradientOptions { goAlways, goNever, goActive, goSmart };

// The first text part; the other two are the same with their own roles.
class TMMCompanyText : public plat::TPersistent {
public:
  explicit TMMCompanyText(TMMFormStyler* owner);
  ~TMMCompanyText() override;

  virtual std::string Caption() const { return caption_; }
  virtual void SetCaption(const std::string& v);
  plat::TColor ColorActive() const { return colorActive_; }
  void SetColorActive(plat::TColor v);
  plat::TColor ColorInactive() const { return colorInactive_; }
  void SetColorInactive(plat::TColor v);
  plat::TFont* Font() const { return font_.get(); }
  // Makes the part fkCustom unless it is fkAutoHeight.
  void SetFont(plat::TFont* v);
  TMMFontKind FontKind() const { return fontKind_; }
  void SetFontKind(TMMFontKind v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // The font stored with the form only for these kinds.
  bool FontStored() const { return fontKind_ == fkCustom || fontKind_ == fkAutoHeight; }
  TMMFormStyler* Styler() const { return styler_; }

  // Gives the font the kind's look from the caption font.
  void ApplyFontKind();
  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TMMCompanyText"; }

protected:
  TMMFormStyler* styler_;
  std::string caption_;

private:
  void FontChanged();
  plat::TColor colorActive_ = plat::clCaptionText, colorInactive_ = plat::clInactiveCaptionText;
  std::unique_ptr<plat::TFont> font_;
  TMMFontKind fontKind_ = fkSystem;
  bool visible_ = true, applying_ = false;
};

class TMMAppNameText : public TMMCompanyText {
public:
  explicit TMMAppNameText(TMMFormStyler* owner) : TMMCompanyText(owner) {}
  std::string ClassName() const override { return "TMMAppNameText"; }
};

// The form's own caption: read from the form's title with the other parts' prefixes taken off.
class TMMCaptionText : public TMMCompanyText {
public:
  explicit TMMCaptionText(TMMFormStyler* owner) : TMMCompanyText(owner) {}
  std::string Caption() const override;
  void SetCaption(const std::string& v) override;
  std::string ClassName() const override { return "TMMCaptionText"; }
};

// ---- the pure caption painter ---------------------------------------------------------------------
struct TMMCaptionPart {
  std::string Text;
  const plat::TFont* Font = nullptr;  // null: the caption font
  plat::TColor Color = plat::clCaptionText;
  bool Visible = true;
};

struct TMMCaptionScene {
  plat::TSize Window{};     // the whole window, frame included
  bool Bordered = true;     // a window without a border has no caption bar
  uint32_t Styles = 0;      // the window styles CaptionRect reads (zelsysin.h)
  uint8_t BorderIcons = 0;  // the caption buttons the form calls for (plat::bi...)
  bool Active = true;
  plat::TColor Left = plat::clBlack, Right = plat::clActiveCaption;
  bool Gradient = true;
  int NumColors = 64;
  plat::TAlignment Alignment = plat::taLeftJustify;
  TMMCaptionPart Parts[3];  // company, application name, caption
  plat::TPicture Icon;      // empty: the default application picture
};

struct TMMCaptionTextLayout {
  plat::TRect Caption{};  // where the text goes
  bool Shown[3] = {false, false, false};
  int Widths[3] = {0, 0, 0};
  int Gaps[3] = {0, 0, 0};  // a blank before a part that follows another
  int Left = 0;             // x of the first shown part
};

// The caption rectangle and which parts are drawn where: all three parts when their widths fit;
// else the application name and the caption when those fit; else the caption alone.
TMMCaptionTextLayout MMCaptionTextLayout(const TMMCaptionScene& scene);
// Draws the frame and caption bar of a window of scene.Window's size at the canvas's top-left.
void MMPaintCaption(plat::TCanvas& canvas, const TMMCaptionScene& scene);
// Whether the bar is a gradient: always, never, only while active, or when the screen has more
// than 7 bits per pixel while active and more than 8 while inactive.
bool MMUseGradient(TMMGradientOptions options, bool active, int bitsPerPixel);
// The system's caption font.
void MMCaptionFont(plat::TFont& font);
// The window styles (zelsysin.h cw...) of a form's border style, border icons and state.
uint32_t MMWindowStyles(const plat::TCustomForm& form);

// ---- the styler -----------------------------------------------------------------------------------
class TMMFormStyler : public TMMWndProcComponent {
public:
  // Raises "Only one FormStyler is allowed per Form" for a second one on a form.
  explicit TMMFormStyler(plat::TComponent* owner);
  ~TMMFormStyler() override;

  TMMCompanyText* CompanyText() const { return company_.get(); }
  TMMAppNameText* AppNameText() const { return appName_.get(); }
  TMMCaptionText* CaptionText() const { return caption_.get(); }
  plat::TColor ClrLeftActive() const { return leftActive_; }
  void SetClrLeftActive(plat::TColor v);
  plat::TColor ClrLeftInActive() const { return leftInactive_; }
  void SetClrLeftInActive(plat::TColor v);
  plat::TColor ClrRightActive() const { return rightActive_; }
  void SetClrRightActive(plat::TColor v);
  plat::TColor ClrRightInActive() const { return rightInactive_; }
  void SetClrRightInActive(plat::TColor v);
  plat::TAlignment Alignment() const { return alignment_; }
  void SetAlignment(plat::TAlignment v);
  TMMGradientOptions Options() const { return options_; }
  void SetOptions(TMMGradientOptions v);
  // 2..236 colour bands.
  int NumColors() const { return numColors_; }
  void SetNumColors(int v);

  bool Active() const { return active_; }
  void SetActive(bool v);
  const plat::TFont& CaptionFont() const { return captionFont_; }
  // Reloads the caption font and gives every part its kind's look again.
  void ReloadCaptionFont();

  // The form's title made of the visible, non-empty parts (company, application name, caption)
  // with one blank between them; captionPart stands for the caption text's part.
  std::string ComposeTitle(const std::string& captionPart) const;
  // Gives the form the title of its parts.
  void UpdateTitle(const std::string& captionPart);
  // The styler's caption as the painter takes it (bits: the screen's bits per pixel).
  TMMCaptionScene Scene(int bitsPerPixel) const;
  // The form's frame and caption bar on a picture of the window's size.
  void PaintCaption(plat::TBitmap& target) const;
  // Counts the times the caption would have been drawn anew (every visible change).
  int Redraws() const { return redraws_; }
  void Redraw() { ++redraws_; }

  std::string ClassName() const override { return "TMMFormStyler"; }

protected:
  bool WndProc(plat::TWindowEvent& e) override;

private:
  std::unique_ptr<TMMCompanyText> company_;
  std::unique_ptr<TMMAppNameText> appName_;
  std::unique_ptr<TMMCaptionText> caption_;
  plat::TColor leftActive_ = plat::clBlack, leftInactive_ = plat::clBlack;
  plat::TColor rightActive_ = plat::clActiveCaption, rightInactive_ = plat::clInactiveCaption;
  plat::TAlignment alignment_ = plat::taLeftJustify;
  TMMGradientOptions options_ = goSmart;
  int numColors_ = 64;
  bool active_ = true;
  plat::TFont captionFont_;
  int redraws_ = 0;
};
