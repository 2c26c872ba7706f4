#pragma once
// What fills a shape: a brush, a picture, a picture from a list or a gradient.
#include <memory>

#include "controls/ZelGradient.h"
#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"

namespace plat {
class TBitmap;
}

class TZelShapeFill : public TZelObject {
public:
  TZelShapeFill();
  ~TZelShapeFill() override;

  TZelFillStyle Style() const { return style_; }
  void SetStyle(TZelFillStyle v) { SetField(style_, v); }
  plat::TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(plat::TBitmap* v);  // copies v into the owned bitmap
  TZelGradient* Gradient() const { return gradient_.get(); }
  void SetGradient(TZelGradient* v);  // copies v into the owned gradient
  TZelTileMode TileMode() const { return tileMode_; }
  void SetTileMode(TZelTileMode v) { SetField(tileMode_, v); }
  // The picture taken from a bitmap list for sfBitmapList.
  plat::TBitmap* ListBitmap() const { return listBitmap_.get(); }

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelShapeFill"; }

protected:
  explicit TZelShapeFill(TZelFillStyle initial);
  void CopyFrom(const TZelShapeFill& s);

private:
  TZelFillStyle style_ = sfBrush;
  std::unique_ptr<plat::TBitmap> bitmap_;
  std::unique_ptr<plat::TBitmap> listBitmap_;
  std::unique_ptr<TZelGradient> gradient_;
  TZelTileMode tileMode_ = tmTile;
};
