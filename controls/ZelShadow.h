#pragma once
// The shadow a control or region casts.
#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"
#include "platform/ui/colors.h"

class TZelShadow : public TZelObject {
public:
  TZelShadow() = default;

  plat::TColor Color() const { return color_; }
  void SetColor(plat::TColor v) { SetField(color_, v); }
  // 0..40; values outside are taken to the nearer end.
  int Depth() const { return depth_; }
  void SetDepth(int v) { SetField(depth_, v < 0 ? 0 : v > 40 ? 40 : v); }
  TZelShadowStyle Style() const { return style_; }
  void SetStyle(TZelShadowStyle v) { SetField(style_, v); }

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelShadow"; }

protected:
  explicit TZelShadow(TZelShadowStyle style) : style_(style) {}

private:
  plat::TColor color_ = plat::clBtnShadow;
  int depth_ = 6;
  TZelShadowStyle style_ = hssSolid;
};

class TZelRgnShadow : public TZelShadow {
public:
  TZelRgnShadow() : TZelShadow(hssNone) {}
  std::string ClassName() const override { return "TZelRgnShadow"; }
};
