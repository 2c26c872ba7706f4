#pragma once
// The off-screen picture of the fast displays and their control base.
//
// A TMMDIBCanvas holds one pixel block (8 bits with its own colour table, or 24 bits), rows
// top-down, seen as a bitmap over the same memory. Its pixel routines are those of the
// TMMDIBTarget that BeginDraw hands out; the framework's canvas operations (text, shapes) work on
// it too. One process-wide lock makes BeginDraw..EndDraw exclusive across canvases and threads.
//
// A TMMDIBGraphicControl shows what a fed display draws at once through DrawDirect: the drawing
// goes onto the control's own canvas, which stands for the screen inside the control, and the
// widget is then asked to show it.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "displays/MMDIBCv.h"
#include "engine/MMObjUI.h"
#include "platform/ui/graphics.h"

using plat::TBitmap;

class TMMDIBCanvas : public TCanvas {
public:
  explicit TMMDIBCanvas(plat::TControl* owner);
  ~TMMDIBCanvas() override;

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  // A new size takes effect when the picture is next needed; below 1 counts as 1.
  virtual void SetSize(int width, int height);
  TRect ClientRect() const { return plat::Rect(0, 0, width_, height_); }

  int BitsPerPixel() const { return bpp_; }
  // 8 or 24.
  void SetBitsPerPixel(int bits);

  bool PaletteRealize() const { return paletteRealize_; }
  void SetPaletteRealize(bool v) { paletteRealize_ = v; }
  bool PaletteMapped() const { return paletteMapped_; }
  void SetPaletteMapped(bool v) { paletteMapped_ = v; }
  // A palette of version 0x300 or later with at most 256 entries; null removes it.
  void SetLogPalette(const TLogPalette* palette);
  const std::optional<TLogPalette>& LogPalette() const { return logPalette_; }

  // The picture laid under the drawing: stretched over the whole canvas, or tiled from the top
  // left. An empty bitmap means none.
  TBitmap* BackGroundBitmap() { return backGround_.get(); }
  void SetBackGroundBitmap(TBitmap* b);
  bool HasBackGround() const { return !backGround_->Empty(); }
  bool StretchBackGround() const { return stretch_; }
  void SetStretchBackGround(bool v);

  // Colours 245 - count + 1 .. 245 of an 8-bit canvas, changeable without redrawing.
  int AnimatedColors() const { return animatedCount_; }
  void SetAnimatedColors(int count);
  void SetAnimatedColor(int i, TPaletteEntry color);
  TPaletteEntry AnimatedColor(int i) const;
  void BeginAnimate() { ++animateBatch_; }
  void EndAnimate();

  // Opens the canvas for drawing: takes the drawing lock and returns this canvas's target. Calls
  // nest; each needs its EndDraw.
  TMMDIBTarget& BeginDraw();
  void EndDraw();
  bool Drawing() const { return drawDepth_ > 0; }
  TMMDIBTarget& Target() { return target_; }

  // The drawing colour of the target from a colour of the program.
  uint32_t ColorWord(TColor c);
  // Copies the rectangle src of the picture to dst of a canvas (same size: a plain copy).
  void CopyTo(TCanvas& dest, const TRect& dst, const TRect& src);
  // The picture (no copy); valid until the next re-creation.
  const TBitmap& Image();
  const TDIBColorTable& ColorTable() const { return table_; }
  // The background copy's pixels (null without a background picture).
  const uint8_t* BackGroundBits();
  // Copies the background copy over the picture; false without a background picture.
  bool CopyBackGround();

  std::function<void(TMMDIBCanvas*)> OnChange;
  std::string ClassName() const override { return "TMMDIBCanvas"; }

private:
  void MarkRecreate();
  void EnsureDIB();
  void CreateDIBs();
  void FreeDIBs();
  void LayBackGround();
  void WriteColorTable();

  plat::TControl* owner_;
  int bpp_ = 8;
  int width_ = 1, height_ = 1;
  void* dib_ = nullptr;
  void* backDib_ = nullptr;
  TBitmap view_;  // the block's pixels
  TDIBColorTable table_{};
  std::optional<TLogPalette> logPalette_;
  bool paletteRealize_ = false, paletteMapped_ = false;
  std::unique_ptr<TBitmap> backGround_;
  bool stretch_ = true;
  bool recreate_ = true;
  int drawDepth_ = 0;
  int animatedCount_ = 0;
  std::vector<TPaletteEntry> animated_;
  int animateBatch_ = 0;
  bool animatePending_ = false;
  TMMDIBTarget target_;
};

// A display that draws at once, outside paint events, onto its own canvas: that canvas stands for
// the screen inside the control. Drawing at once needs a canvas that already holds the whole
// current picture; until it does (never painted, resized, invalidated), the control is painted
// whole instead.
class TMMDirectGraphicControl : public TMMGraphicControl {
public:
  explicit TMMDirectGraphicControl(TComponent* owner);
  void SetBounds(int l, int t, int w, int h) override;
  // When the control is visible on a parent: paint draws onto the control's canvas, and the
  // widget is asked to show it. Inside a hidden panel nothing is drawn until the panel shows.
  void DrawDirect(const std::function<void()>& paint);
  // The same for a display that keeps its picture apart from the control's canvas: draw draws a
  // block into that picture and tells what it changed through Drawn. What the blocks drawn before
  // a frame changed is brought onto the canvas once, through ShowDrawn, as the frame is made, and
  // the frame shows what that changed on the canvas.
  void DrawBlock(const std::function<void()>& draw);
  std::string ClassName() const override { return "TMMDirectGraphicControl"; }

protected:
  // Called while a block is drawn: r (control coordinates) of the display's own picture changed.
  void Drawn(const TRect& r);
  // Brings what was drawn and not yet shown onto the canvas now.
  void ShowDrawnNow();
  // Brings r (control coordinates) of the display's own picture onto the control's canvas;
  // returns the part of the canvas that changed by it (a display that knows what the canvas shows
  // may copy less than r).
  virtual TRect ShowDrawn(const TRect& r) { return r; }
  void CanvasDue(TRect* part) override;
  void BevelChanged() override;
  void EnabledChanged() override;
  void ColorChanged() override;
  void FontChanged() override;
  // A change that needs the whole control drawn again.
  void RepaintWhole();
  // Called at the end of Paint: the canvas now holds the whole picture, unless the paint was
  // clipped to a part of the control.
  void MarkCanvasWhole();
  bool CanvasWhole() const { return canvasWhole_; }

private:
  // Inside a hidden panel of its window (the window's own visibility aside).
  bool InHiddenPanel() const;
  bool canvasWhole_ = false;
  TRect drawn_{}, owed_{};   // changed by the block being drawn; changed and not yet on the canvas
  TRect asked_{}, shown_{};  // asked to be shown and brought onto the canvas since the last frame
};

class TMMDIBGraphicControl : public TMMDirectGraphicControl {
public:
  explicit TMMDIBGraphicControl(TComponent* owner);
  ~TMMDIBGraphicControl() override;

  void SetBounds(int l, int t, int w, int h) override;
  TMMDIBCanvas* DIBCanvas() const { return dib_; }
  virtual void SetBitsPerPixel(int bits);
  int BitsPerPixel() const { return dib_->BitsPerPixel(); }
  // The background picture of the display; assigned in.
  TBitmap* BackGroundDIB() const { return backGroundDIB_.get(); }
  void SetBackGroundDIB(TBitmap* b);
  bool UseBackGroundDIB() const { return useBackGroundDIB_; }
  void SetUseBackGroundDIB(bool v);
  bool PaletteRealize() const { return dib_->PaletteRealize(); }
  void SetPaletteRealize(bool v) { dib_->SetPaletteRealize(v); }
  bool PaletteMapped() const { return dib_->PaletteMapped(); }
  void SetPaletteMapped(bool v) { dib_->SetPaletteMapped(v); }
  intptr_t Tag2() const { return tag2_; }
  void SetTag2(intptr_t v) { tag2_ = v; }

  // The background copy over the picture, or the picture filled with Color.
  virtual void ClearDIB();

  std::string ClassName() const override { return "TMMDIBGraphicControl"; }

protected:
  void Loaded() override;

private:
  void BackGroundChanged();
  TMMDIBCanvas* dib_;
  std::unique_ptr<TBitmap> backGroundDIB_;
  bool useBackGroundDIB_ = false;
  intptr_t tag2_ = 0;
};
