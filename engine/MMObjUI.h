#pragma once
// The border every display owns (TMMBevel) and the two control roots of the displays: windowless
// (TMMGraphicControl) and windowed (TMMCustomControl). A control's client area is its rectangle
// less the bevel's extent on every side.
#include "engine/MMObj.h"
#include "platform/ui/controls.h"

using plat::TBevelCut;
using plat::TBorderStyle;
using plat::TCanvas;
using plat::TColor;
using plat::TRect;

class TMMBevel : public TMMObject {
public:
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut v);
  int BevelInnerWidth() const { return bevelInnerWidth_; }
  void SetBevelInnerWidth(int v);  // at least 1
  int BevelOuterWidth() const { return bevelOuterWidth_; }
  void SetBevelOuterWidth(int v);  // at least 1
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);  // bsNone or bsSingle
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int v);  // at least 0
  int BorderSpace() const { return borderSpace_; }
  void SetBorderSpace(int v);  // at least 0
  TColor BorderColor() const { return borderColor_; }
  void SetBorderColor(TColor v);
  TColor BorderSpaceColor() const { return borderSpaceColor_; }
  void SetBorderSpaceColor(TColor v);
  TColor InnerLightColor() const { return innerLightColor_; }
  void SetInnerLightColor(TColor v);
  TColor InnerShadowColor() const { return innerShadowColor_; }
  void SetInnerShadowColor(TColor v);
  TColor OuterLightColor() const { return outerLightColor_; }
  void SetOuterLightColor(TColor v);
  TColor OuterShadowColor() const { return outerShadowColor_; }
  void SetOuterShadowColor(TColor v);

  // Pixels the border takes from each side.
  int BevelExtent() const;
  // Draws the border inside r, outermost first; inner gets the rectangle left inside. Without
  // drawBorder the BorderWidth band is only skipped.
  void Paint(TCanvas& canvas, const TRect& r, TRect& inner, bool drawBorder) const;

  void Assign(TPersistent* src) override;
  std::string ClassName() const override { return "TMMBevel"; }

private:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Changed();
  }
  TBevelCut bevelInner_ = plat::bvNone;
  TBevelCut bevelOuter_ = plat::bvLowered;
  int bevelInnerWidth_ = 1, bevelOuterWidth_ = 1;
  TBorderStyle borderStyle_ = plat::bsNone;
  int borderWidth_ = 0, borderSpace_ = 0;
  TColor borderColor_ = plat::clBtnFace, borderSpaceColor_ = plat::clBlack;
  TColor innerLightColor_ = plat::clBtnHighlight, innerShadowColor_ = plat::clBtnShadow;
  TColor outerLightColor_ = plat::clBtnHighlight, outerShadowColor_ = plat::clBtnShadow;
};

class TMMGraphicControl : public plat::TGraphicControl {
public:
  explicit TMMGraphicControl(TComponent* owner);
  ~TMMGraphicControl() override;
  TMMBevel* Bevel() const { return bevel_; }
  void SetBevel(TMMBevel* b) { bevel_->Assign(b); }
  // The control's rectangle less the bevel's extent.
  TRect GetInnerRect() const;
  void SetDesignState(bool designing);
  std::string ClassName() const override { return "TMMGraphicControl"; }

protected:
  // Paints the bevel, then fills the inside with Color, unless a descendant paints it all.
  void Paint() override;
  // Lays the control out again and repaints it; called on every change of the bevel.
  virtual void BevelChanged();
  virtual void SetDesigning(bool designing);
  // A descendant that paints its whole client area itself sets this.
  void SetPaintsWholeClient(bool v) { paintsWholeClient_ = v; }
  bool PaintsWholeClient() const { return paintsWholeClient_; }

private:
  TMMBevel* bevel_;
  bool paintsWholeClient_ = false;
};

class TMMCustomControl : public plat::TCustomControl {
public:
  explicit TMMCustomControl(TComponent* owner);
  ~TMMCustomControl() override;
  TMMBevel* Bevel() const { return bevel_; }
  void SetBevel(TMMBevel* b) { bevel_->Assign(b); }
  TRect GetInnerRect() const;
  void SetDesignState(bool designing);
  std::string ClassName() const override { return "TMMCustomControl"; }

protected:
  void Paint() override;
  virtual void BevelChanged();
  virtual void SetDesigning(bool designing);

private:
  TMMBevel* bevel_;
};

// Enters the library's cursors (numbers 2001 to 2031) into the screen's cursor table; the first
// display control created does it, once.
void RegisterLibraryCursors();
constexpr int crMMFirstCursor = 2001, crMMLastCursor = 2031;
