#pragma once
// Windowless controls that show a bitmap inside a bevel: placed, centred, stretched, tiled or
// scaled keeping its proportions, drawn transparently by one of three rules, over a background
// that the control's effects may change. An image control can show another one's bitmap.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelObject.h"
#include "controls/zelctrls.h"

namespace plat {
class TBitmap;
}

enum TZelTransparentMode { tpNone, tpRestoreBack, tpTransparentColor, tpRBTranspColor };

// The bitmap drawing flags of a style; with no bevel the clipping bit is turned over.
uint16_t ZelBitmapStyleFlags(TZelBitmapStyle style, int bevelExtent);

// How a bitmap is made transparent.
class TZelTransparent : public TZelObject {
public:
  plat::TColor Color() const { return color_; }
  void SetColor(plat::TColor v) { SetField(color_, v); }
  TZelTransparentMode Mode() const { return mode_; }
  void SetMode(TZelTransparentMode v) { SetField(mode_, v); }
  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelTransparent"; }

private:
  plat::TColor color_ = plat::clBtnFace;
  TZelTransparentMode mode_ = tpNone;
};

class TZelBaseImage : public TZelGraphicControl {
public:
  explicit TZelBaseImage(plat::TComponent* owner);

  // Kept and repainted on change; the control draws into its own picture either way.
  bool QuickDraw() const { return quickDraw_; }
  void SetQuickDraw(bool v);
  TZelBitmapStyle Style() const { return style_; }
  void SetStyle(TZelBitmapStyle v);
  std::string ClassName() const override { return "TZelBaseImage"; }

protected:
  uint16_t DrawFlags() const { return ZelBitmapStyleFlags(style_, Bevel()->Extent()); }
  virtual void StyleChanged() { InvalidateUnlessLoading(); }

private:
  bool quickDraw_ = true;
  TZelBitmapStyle style_ = sbNone;
};

class TZelCustomNImage : public TZelBaseImage {
public:
  explicit TZelCustomNImage(plat::TComponent* owner);
  ~TZelCustomNImage() override;

  // The effects applied to the background (the control's own effect object).
  TZelBitmapEffectObject* BackFX() const { return BitmapEffect(); }
  void SetBackFX(TZelBitmapEffectObject* v) { BitmapEffect()->Assign(v); }
  TZelTransparent* TransparentStyle() const { return transparent_.get(); }
  void SetTransparentStyle(TZelTransparent* v) { transparent_->Assign(v); }

  // The control's own bitmap (none here).
  virtual plat::TBitmap* OwnBitmap() const { return nullptr; }
  // What is shown: the linked control's bitmap, or the own one.
  virtual plat::TBitmap* ShownBitmap() const { return OwnBitmap(); }
  // With sbAutosize, takes the bitmap's size plus the bevel on each side (20 x 20 inside without
  // a bitmap); true when the bounds changed.
  bool AdjustSize();
  std::string ClassName() const override { return "TZelCustomNImage"; }

  // Told by a control whose bitmap this one shows.
  void LinkedBitmapChanged() { BitmapChanged(); }

protected:
  void Paint() override;
  void StyleChanged() override { BitmapChanged(); }
  // Re-layout and repaint.
  void BitmapChanged();
  void Loaded() override;

private:
  // The background under the bevel into picture; false when there is none to change.
  bool Background(plat::TBitmap& picture);
  std::unique_ptr<TZelTransparent> transparent_;
};

class TZelNImage : public TZelCustomNImage {
public:
  explicit TZelNImage(plat::TComponent* owner);
  ~TZelNImage() override;

  plat::TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(plat::TBitmap* v);  // copies v
  // Another image control whose bitmap is shown instead (never this one).
  TZelCustomNImage* Control() const { return control_; }
  void SetControl(TZelCustomNImage* v);

  plat::TBitmap* OwnBitmap() const override { return bitmap_.get(); }
  plat::TBitmap* ShownBitmap() const override;
  std::string ClassName() const override { return "TZelNImage"; }

protected:
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  void OwnBitmapChanged();
  std::unique_ptr<plat::TBitmap> bitmap_;
  TZelCustomNImage* control_ = nullptr;
  // The image controls that show this one's bitmap.
  std::vector<TZelNImage*> viewers_;
};
