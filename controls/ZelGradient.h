#pragma once
// A colour ramp and how it fills an area. The colour table always matches the properties: every
// change rebuilds it before anyone is told.
#include <vector>

#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"
#include "controls/zelgraph.h"
#include "platform/ui/colors.h"

namespace plat {
class TStream;
}

class TZelGradient : public TZelObject {
public:
  TZelGradient();

  plat::TColor Color() const { return color_; }
  void SetColor(plat::TColor v) { SetField(color_, v); }
  plat::TColor EndColor() const { return endColor_; }
  void SetEndColor(plat::TColor v) { SetField(endColor_, v); }
  // 2..236; values outside are taken to the nearer end.
  int ColorCount() const { return colorCount_; }
  void SetColorCount(int v) { SetField(colorCount_, v < 2 ? 2 : v > 236 ? 236 : v); }
  TZelGradientStyle Style() const { return style_; }
  void SetStyle(TZelGradientStyle v) { SetField(style_, v); }
  bool PaletteRealize() const { return paletteRealize_; }
  void SetPaletteRealize(bool v) { SetField(paletteRealize_, v); }
  bool TwoColors() const { return twoColors_; }
  void SetTwoColors(bool v) { SetField(twoColors_, v); }

  // The colours of the multi-colour mode (TwoColors off).
  const std::vector<plat::TColor>& ColorList() const { return colorList_; }
  void SetColorList(const std::vector<plat::TColor>& colors);
  void AddColor(plat::TColor c);

  const TZelColorTable& ColorTable() const { return table_; }
  const HZelPalette& Palette() const { return palette_; }

  // The stored property "ColorList": a list of integers in the component-stream encoding,
  // written only when the list is not empty.
  bool HasColorListData() const { return !colorList_.empty(); }
  void WriteColorList(plat::TStream& s) const;
  void ReadColorList(plat::TStream& s);

  void Change() override;
  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelGradient"; }

private:
  void Rebuild();
  plat::TColor color_ = 0xFF0000;
  plat::TColor endColor_ = 0;
  int colorCount_ = 16;
  TZelGradientStyle style_ = gstVertical;
  bool paletteRealize_ = false;
  bool twoColors_ = true;
  std::vector<plat::TColor> colorList_;
  TZelColorTable table_;
  HZelPalette palette_;
};
