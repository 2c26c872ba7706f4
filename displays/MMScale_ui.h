#pragma once
// The tick row a control draws beside what it annotates: the level scale owns one (TMMLevScale),
// the slider another (TMMScale). The owner sets the canvas before each drawing; every property
// change asks the owner to repaint through OnChange.
#include "displays/MMScale.h"
#include "platform/ui/graphics.h"

using plat::TCanvas;
using plat::TColor;
using plat::TRect;

class TMMCustomScale : public TPersistent {
public:
  TMMCustomScale() = default;

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TColor Color() const { return look_.color; }
  // Also gives both zones this colour.
  void SetColor(TColor c);
  TMMScaleStyle Style() const { return look_.style; }
  void SetStyle(TMMScaleStyle s);
  int TickCount() const { return look_.tickCount; }
  void SetTickCount(int v);  // at least 2
  int EnlargeEvery() const { return look_.enlargeEvery; }
  void SetEnlargeEvery(int v);  // at least 1
  int Size() const { return look_.size; }
  void SetSize(int v);  // at least 1
  TMMScaleOrigin Origin() const { return look_.origin; }
  void SetOrigin(TMMScaleOrigin o);
  bool Connect() const { return look_.connect; }
  void SetConnect(bool v);

  // The colours an owner gives the row while drawing it: base, then zone2 from boundary tick b1 on
  // and zone3 from b2 on. No change notice.
  void SetZones(TColor base, TColor zone2, TColor zone3, int b1, int b2);
  const TMMScaleLook& Look() const { return look_; }
  // Depth across the row.
  int Height() const { return ScaleRowHeight(look_); }

  TCanvas* Canvas() const { return canvas_; }
  void SetCanvas(TCanvas* c) { canvas_ = c; }
  // Draws the row into r of the canvas; firstSide: r lies above or left of what it annotates.
  void DrawScale(const TRect& r, bool firstSide);

  void Assign(TPersistent* src) override;
  TNotifyEvent OnChange;
  std::string ClassName() const override { return "TMMCustomScale"; }

protected:
  void Changed();
  bool visible_ = true;

private:
  TMMScaleLook look_;
  TCanvas* canvas_ = nullptr;
};

class TMMScale : public TMMCustomScale {
public:
  std::string ClassName() const override { return "TMMScale"; }
};

class TMMLevScale : public TMMScale {
public:
  TMMLevScale() { visible_ = false; }
  std::string ClassName() const override { return "TMMLevScale"; }
};

// Draws lines with both end points, as the scales give them.
void DrawScaleLines(TCanvas& c, const std::vector<TMMScaleLine>& lines);
