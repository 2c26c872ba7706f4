#pragma once
// How text is drawn in 3D: the style, its depths and colours.
#include <cstdint>

#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"
#include "platform/ui/colors.h"

class TZel3DCaption : public TZelObject {
public:
  TZel3DCaption() = default;

  TZelThreeDStyle Style() const { return style_; }
  void SetStyle(TZelThreeDStyle v) { SetField(style_, v); }
  TZelDisabledStyle DisabledStyle() const { return disabledStyle_; }
  void SetDisabledStyle(TZelDisabledStyle v) { SetField(disabledStyle_, v); }
  uint8_t LightDepth() const { return lightDepth_; }
  void SetLightDepth(uint8_t v) { SetField(lightDepth_, v); }
  uint8_t ShadowDepth() const { return shadowDepth_; }
  void SetShadowDepth(uint8_t v) { SetField(shadowDepth_, v); }
  plat::TColor LightColor() const { return lightColor_; }
  void SetLightColor(plat::TColor v) { SetField(lightColor_, v); }
  plat::TColor ShadowColor() const { return shadowColor_; }
  void SetShadowColor(plat::TColor v) { SetField(shadowColor_, v); }
  TZelThreeDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TZelThreeDOrientation v) { SetField(orientation_, v); }
  // Extra pixels between characters.
  int Tracing() const { return tracing_; }
  void SetTracing(int v) { SetField(tracing_, v); }

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZel3DCaption"; }

protected:
  void CopyFrom(const TZel3DCaption& s);

private:
  TZelThreeDStyle style_ = tdNone;
  TZelDisabledStyle disabledStyle_ = dsAuto;
  uint8_t lightDepth_ = 1, shadowDepth_ = 1;
  plat::TColor lightColor_ = plat::clBtnHighlight;
  plat::TColor shadowColor_ = plat::clBtnShadow;
  TZelThreeDOrientation orientation_ = toTopLeft;
  int tracing_ = 0;
};
