#pragma once
// What the needle meter computes, without drawing: the needle's value path (in units of 0..32767),
// the falling peak needle, and the geometry of the needles, the arc of ticks, the labels and the
// caption band. Qt-free; the control is in MMMeter_ui.h.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "displays/MMLevel.h"
#include "displays/MMScale.h"

MM_EXCEPTION(EMMMeterError)

class TMMMeterValues : public TMMPeakPath {
public:
  TMMMeterValues() : TMMPeakPath(-50) {}

  bool showPeak = true;

  int32_t Needle() const { return needle_.load(std::memory_order_relaxed); }

  // Runs a peak through the value path; true when the needles need drawing.
  bool Feed(int32_t peak);
  int32_t Percent() const;
  void Reset();
  // The shared timer's tick: the peak needle falls by 500 steps, or onto the needle.
  void Tick() { peak_.Tick(PeakSpeed(), 500, Needle()); }

private:
  std::atomic<int32_t> needle_{0};  // read by the tick for the peak needle's floor
};

struct TMMPoint {
  int x = 0, y = 0;
  bool operator==(const TMMPoint&) const = default;
};

// The arc of a meter whose inner rectangle is w x h.
struct TMMMeterGeometry {
  int w = 170, h = 90;
  int needleOffset = 30;
  int scaleAngle = 90;
  int topSpace = 14;
  TMMPoint Pivot() const { return {w / 2, h + needleOffset}; }
  // The needle's reach: from the pivot to TopSpace below the top.
  int Radius() const { return h + needleOffset - topSpace; }
  double Angle(int32_t v) const;
  TMMPoint At(int32_t v, int r) const;
};

struct TMMMeterScaleLook {
  int ticks = 41, enlargeEvery = 4, textEvery = 8;
  int height1 = 4, height2 = 8;
  TMMScaleOrigin origin = soInner;
  int point1 = 60, point2 = 80;
  plat::TColor colors[3] = {plat::clGreen, plat::clYellow, plat::clRed};
  int sensitivity = -50;
  bool logAmp = true;
};
struct TMMMeterLabel {
  std::string text;
  int x = 0, y = 0;
};
// The ticks of the arc as lines (no scale below 2 ticks) and, with labels, their texts placed by
// the width of a text and the height of "0".
std::vector<TMMScaleLine> MeterTicks(const TMMMeterGeometry& g, const TMMMeterScaleLook& s);
std::vector<TMMMeterLabel> MeterLabels(const TMMMeterGeometry& g, const TMMMeterScaleLook& s,
                                       const std::function<int(const std::string&)>& textWidth, int zeroHeight);
// The caption's band: from H - H/16 - (height of "W") to H - H/16, the full width.
TDIBRect MeterCaptionBand(const TMMMeterGeometry& g, int wHeight);
