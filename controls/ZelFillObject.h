#pragma once
// A shape fill with a brush of its own, the placement of an unscaled picture and fill options.
#include <memory>

#include "controls/ZelShapeFill.h"

namespace plat {
class TBrush;
}

class TZelFillObject : public TZelShapeFill {
public:
  TZelFillObject();
  ~TZelFillObject() override;

  // Placement of an unscaled picture: stored always, told only when it shows (a picture style
  // without tiling).
  TZelAlignment Alignment() const { return alignment_; }
  void SetAlignment(TZelAlignment v) { SetPlacement(alignment_, v); }
  int OffsetX() const { return offsetX_; }
  void SetOffsetX(int v) { SetPlacement(offsetX_, v); }
  int OffsetY() const { return offsetY_; }
  void SetOffsetY(int v) { SetPlacement(offsetY_, v); }
  plat::TBrush* Brush() const { return brush_.get(); }
  void SetBrush(plat::TBrush* v);  // copies v into the owned brush
  TZelFillOptions Options() const { return options_; }
  void SetOptions(TZelFillOptions v) { SetField(options_, v); }

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelFillObject"; }

private:
  template <class T>
  void SetPlacement(T& field, T v) {
    if (field == v) return;
    field = v;
    if ((Style() == sfBitmap || Style() == sfBitmapList) && TileMode() == tmNone) Change();
  }
  TZelAlignment alignment_ = agTopLeft;
  int offsetX_ = 0, offsetY_ = 0;
  std::unique_ptr<plat::TBrush> brush_;
  TZelFillOptions options_ = foFillInner | foGrUseBitmap;
};
