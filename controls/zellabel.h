#pragma once
// The kit's windowless labels: alignment, drawing options, auto-size, several lines, an
// accelerator for a focus control and blinking; with a bevel and rotated 3D text, beside a glyph,
// showing a system value that a pool timer refreshes, or as a link that opens an address.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/Zel3DCaption.h"
#include "controls/ZelFXCaption.h"
#include "controls/ZelGlyphTextLayout.h"
#include "controls/zelctrls.h"
#include "controls/zelsysin.h"

enum TZelLabelOption : uint8_t { loPathEllipsis = 1, loEndEllipsis = 2, loEditControl = 4 };
using TZelLabelOptions = uint8_t;
enum TZelJumpModes { jmInternet, jmApplication, jmNone, jmCustom };

class TZelBaseLabel : public TZelBaseGraphicControl {
public:
  explicit TZelBaseLabel(plat::TComponent* owner);
  ~TZelBaseLabel() override;

  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  bool MultiLine() const { return multiLine_; }
  void SetMultiLine(bool v);
  TZelAlignment Alignment() const { return alignment_; }
  void SetAlignment(TZelAlignment v);
  TZelLabelOptions Options() const { return options_; }
  void SetOptions(TZelLabelOptions v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  plat::TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(plat::TWinControl* v);

  // Blinking: TwinkleVisible ms shown, TwinkleInVisible ms hidden (then drawn in TwinkleColor,
  // or not at all with clNone).
  bool Twinkle() const { return twinkle_; }
  void SetTwinkle(bool v);
  int TwinkleVisible() const { return twinkleVisible_; }
  void SetTwinkleVisible(int v) { twinkleVisible_ = v; }
  int TwinkleInVisible() const { return twinkleInVisible_; }
  void SetTwinkleInVisible(int v) { twinkleInVisible_ = v; }
  plat::TColor TwinkleColor() const { return twinkleColor_; }
  void SetTwinkleColor(plat::TColor v);
  // True while the blinking text is shown.
  bool TwinkleShown() const { return shown_; }
  uint16_t TwinkleTimer() const { return twinkleId_; }

  // The text drawing flags (the framework's DT_ flags) of the label's settings.
  uint32_t TextFlags() const;
  // What the label shows (its caption here).
  virtual std::string DisplayText() const { return Caption(); }
  // Sizes the label to its text (when AutoSize), keeping Left and Top.
  virtual void AdjustBounds();
  char Accelerator() const override;
  std::string ClassName() const override { return "TZelBaseLabel"; }

protected:
  // Draws text into r with the label's flags: several lines placed by the alignment.
  void DrawLabelText(plat::TCanvas& c, plat::TRect r, const std::string& text, const TZel3DCaption* caption3d,
                     bool enabled);
  // The gap a status bar parent asks its labels to leave.
  int ParentGap() const;
  void Relayout();
  void TextChanged() override { Relayout(); }
  void FontChanged() override;
  bool DialogChar(char ch) override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  void Loaded() override;
  bool Painting() const { return painting_; }
  void SetPainting(bool v) { painting_ = v; }
  // Starts a paint of the client area r: the background unless transparent, the bevel (r becomes
  // what lies inside it), the label's font. False while loading or already painting.
  bool BeginPaint(plat::TCanvas& c, plat::TRect& r, TZelBevel* bevel);
  // Sizes the label round content of width by height inside the bevel, leaving the parent's gap.
  void SizeAround(int width, int height, const TZelBevel* bevel);

private:
  void TwinkleTick();
  bool showAccelChar_ = true, multiLine_ = false, autoSize_ = true, twinkle_ = false;
  TZelAlignment alignment_ = agTopLeft;
  TZelLabelOptions options_ = 0;
  plat::TWinControl* focusControl_ = nullptr;
  int twinkleVisible_ = 700, twinkleInVisible_ = 700;
  plat::TColor twinkleColor_ = plat::clNone;
  uint16_t twinkleId_ = 0;
  bool shown_ = true, painting_ = false;
};

// With a bevel and rotated 3D text.
class TZelCustomLabel : public TZelBaseLabel {
public:
  explicit TZelCustomLabel(plat::TComponent* owner);
  ~TZelCustomLabel() override;
  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v) { bevel_->Assign(v); }
  TZelFxCaption* FontFX() const { return fontFX_.get(); }
  void SetFontFX(TZelFxCaption* v) { fontFX_->Assign(v); }
  void AdjustBounds() override;
  std::string ClassName() const override { return "TZelCustomLabel"; }

protected:
  void Paint() override;

private:
  std::unique_ptr<TZelBevel> bevel_;
  std::unique_ptr<TZelFxCaption> fontFX_;
};

class TZelLabel : public TZelCustomLabel {
public:
  explicit TZelLabel(plat::TComponent* owner) : TZelCustomLabel(owner) {}
  std::string ClassName() const override { return "TZelLabel"; }
};

// Text beside a glyph from the image list.
class TZelCustomGlyphLabel : public TZelBaseLabel {
public:
  explicit TZelCustomGlyphLabel(plat::TComponent* owner);
  ~TZelCustomGlyphLabel() override;
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  void SetFont3D(TZel3DCaption* v) { font3D_->Assign(v); }
  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v) { bevel_->Assign(v); }
  TZelGlyphTextLayout* GlyphLayout() const { return layout_.get(); }
  void SetGlyphLayout(TZelGlyphTextLayout* v) { layout_->Assign(v); }
  void AdjustBounds() override;
  std::string ClassName() const override { return "TZelCustomGlyphLabel"; }

protected:
  void Paint() override;

private:
  bool Picture(plat::TBitmap& b) const;
  std::unique_ptr<TZel3DCaption> font3D_;
  std::unique_ptr<TZelBevel> bevel_;
  std::unique_ptr<TZelGlyphTextLayout> layout_;
};

class TZelGlyphLabel : public TZelCustomGlyphLabel {
public:
  explicit TZelGlyphLabel(plat::TComponent* owner) : TZelCustomGlyphLabel(owner) {}
  std::string ClassName() const override { return "TZelGlyphLabel"; }
};

// A system, lock-key, date-time or program-version value behind a caption.
class TZelInformationLabel : public TZelBaseLabel {
public:
  explicit TZelInformationLabel(plat::TComponent* owner);
  ~TZelInformationLabel() override;

  TZelInfoType Info() const { return info_; }
  void SetInfo(TZelInfoType v);
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  void SetFont3D(TZel3DCaption* v) { font3D_->Assign(v); }
  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v) { bevel_->Assign(v); }
  int InsertTabs() const { return insertTabs_; }
  void SetInsertTabs(int v);
  int InsertColon() const { return insertColon_; }
  void SetInsertColon(int v);
  int64_t DividerValue() const { return divider_; }
  void SetDividerValue(int64_t v);
  bool UseStandardCaption() const { return useStandardCaption_; }
  void SetUseStandardCaption(bool v);
  const std::string& DateTimeFormat() const { return dateTimeFormat_; }
  void SetDateTimeFormat(const std::string& v);
  const std::string& NumberFormat() const { return numberFormat_; }
  void SetNumberFormat(const std::string& v);
  // Where the value comes from (tests give their own); by default the system information.
  std::function<std::string(TZelInfoType kind, int64_t divider, const std::string& format)> ValueSource;

  std::string DisplayText() const override { return text_; }
  // Rebuilds the text; true when it changed.
  bool Refresh();
  void AdjustBounds() override;
  uint16_t RefreshTimer() const { return timerId_; }
  std::string ClassName() const override { return "TZelInformationLabel"; }

protected:
  void Paint() override;
  void TextChanged() override;

private:
  std::string BuildText() const;
  void Tick();
  TZelInfoType info_ = itUser;
  std::unique_ptr<TZel3DCaption> font3D_;
  std::unique_ptr<TZelBevel> bevel_;
  int insertTabs_ = 1, insertColon_ = -1;
  int64_t divider_ = 0;
  bool useStandardCaption_ = true;
  std::string dateTimeFormat_ = "c", numberFormat_;
  std::string text_, lastValue_;
  bool refreshDue_ = false;
  uint16_t timerId_ = 0;
};

// The value text through a number mask read from its end: each "0" takes the next digit from the
// right (or a leading "0" when they are used up), other characters stand where they are, and
// digits left over go in front.
std::string ApplyNumberFormat(const std::string& value, const std::string& mask);

class TZelCustomSimpleLabel : public TZelBaseLabel {
public:
  explicit TZelCustomSimpleLabel(plat::TComponent* owner);
  ~TZelCustomSimpleLabel() override;
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  void SetFont3D(TZel3DCaption* v) { font3D_->Assign(v); }
  void AdjustBounds() override;
  std::string ClassName() const override { return "TZelCustomSimpleLabel"; }

protected:
  void Paint() override;

private:
  std::unique_ptr<TZel3DCaption> font3D_;
};

class TZelSimpleLabel : public TZelCustomSimpleLabel {
public:
  explicit TZelSimpleLabel(plat::TComponent* owner);

  const std::string& Jump() const { return jump_; }
  void SetJump(const std::string& v) { jump_ = v; }
  plat::TColor ActiveColor() const { return activeColor_; }
  void SetActiveColor(plat::TColor v) { activeColor_ = v; }
  plat::TColor InActiveColor() const { return inActiveColor_; }
  void SetInActiveColor(plat::TColor v);
  bool JumpUnderline() const { return jumpUnderline_; }
  void SetJumpUnderline(bool v);
  TZelJumpModes JumpMode() const { return jumpMode_; }
  void SetJumpMode(TZelJumpModes v);
  // The stored flag of older forms ("UseAsJump"): the label becomes an internet link.
  bool UseAsJump() const { return legacyJump_; }
  void SetUseAsJump(bool v) { legacyJump_ = v; }
  int ClickCount() const { return clicks_; }
  // What the link would open now.
  std::string JumpTarget() const;

  // Opens a target with the desktop's opener; false when that failed. Tests put their own here.
  static std::function<bool(const std::string& target)> OpenHook;

  void Click() override;
  std::string ClassName() const override { return "TZelSimpleLabel"; }

protected:
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void Loaded() override;

private:
  std::string jump_;
  plat::TColor activeColor_ = plat::clPurple, inActiveColor_ = plat::clBlue;
  bool jumpUnderline_ = true, legacyJump_ = false;
  TZelJumpModes jumpMode_ = jmNone;
  int clicks_ = 0;
};
