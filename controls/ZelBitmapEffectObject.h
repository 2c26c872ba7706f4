#pragma once
// Effects applied to a control's picture: flips, grey, inversion, brightness and alpha blending,
// optionally with the result kept for the next paint.
#include <memory>

#include "controls/ZelAlphaObject.h"
#include "controls/ZelObject.h"

namespace plat {
class TBitmap;
}

class TZelBitmapEffectObject : public TZelObject {
public:
  TZelBitmapEffectObject();
  ~TZelBitmapEffectObject() override;

  TZelAlphaObject* AlphaBlend() const { return alpha_.get(); }
  void SetAlphaBlend(TZelAlphaObject* v);
  // Mirrors each row left to right (about the vertical axis).
  bool FlipVertical() const { return flipVertical_; }
  void SetFlipVertical(bool v) { SetField(flipVertical_, v); }
  // Mirrors top to bottom.
  bool FlipHorizontal() const { return flipHorizontal_; }
  void SetFlipHorizontal(bool v) { SetField(flipHorizontal_, v); }
  bool GrayScale() const { return grayScale_; }
  void SetGrayScale(bool v) { SetField(grayScale_, v); }
  bool Invert() const { return invert_; }
  void SetInvert(bool v) { SetField(invert_, v); }
  // -255..255; values outside are taken to the nearer end.
  int Brightness() const { return brightness_; }
  void SetBrightness(int v) { SetField(brightness_, v < -255 ? -255 : v > 255 ? 255 : v); }
  // On: the result of a run is kept and drawn again until something changes.
  bool Buffered() const { return buffer_ != nullptr; }
  void SetBuffered(bool v);
  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool v) { SetField(monochrome_, v); }

  bool Active() const;
  plat::TBitmap* Buffer() const { return buffer_.get(); }
  bool BufferValid() const { return bufferValid_; }
  void SetBufferValid(bool v) { bufferValid_ = v; }

  void Change() override;
  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelBitmapEffectObject"; }

private:
  std::unique_ptr<TZelAlphaObject> alpha_;
  bool flipVertical_ = false, flipHorizontal_ = false, grayScale_ = false, invert_ = false;
  int brightness_ = 0;
  bool monochrome_ = false;
  std::unique_ptr<plat::TBitmap> buffer_;
  bool bufferValid_ = false;
};
