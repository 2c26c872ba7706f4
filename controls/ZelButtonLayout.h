#pragma once
// The layout of a button: glyph and caption, and a drop-down arrow.
#include "controls/ZelGlyphTextLayout.h"
#include "platform/ui/colors.h"

class TZelButtonLayout : public TZelGlyphTextLayout {
public:
  TZelButtonLayout() : TZelGlyphTextLayout(agCenter) {}

  bool Arrow() const { return arrow_; }
  void SetArrow(bool v) { SetField(arrow_, v); }
  plat::TColor ArrowColor() const { return arrowColor_; }
  void SetArrowColor(plat::TColor v) { SetField(arrowColor_, v); }
  int ArrowIndent() const { return arrowIndent_; }
  void SetArrowIndent(int v) { SetField(arrowIndent_, v); }
  TZelArrowPosition ArrowPosition() const { return arrowPosition_; }
  void SetArrowPosition(TZelArrowPosition v) { SetField(arrowPosition_, v); }
  // 2..10; values outside are taken to the nearer end.
  int ArrowSize() const { return arrowSize_; }
  void SetArrowSize(int v) { SetField(arrowSize_, v < 2 ? 2 : v > 10 ? 10 : v); }

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelButtonLayout"; }

private:
  bool arrow_ = false;
  plat::TColor arrowColor_ = plat::clBlack;
  int arrowIndent_ = 3;
  TZelArrowPosition arrowPosition_ = apRightText;
  int arrowSize_ = 3;
};
