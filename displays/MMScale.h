#pragma once
// Where the ticks of a tick row go and what colour they take, without drawing. Qt-free; the
// scale object that draws them (TMMScale) is in MMScale_ui.h.
#include <vector>

#include "displays/MMDIBCv.h"
#include "engine/MMObj.h"
#include "platform/ui/colors.h"

MM_EXCEPTION(EMMScaleError)

enum TMMScaleStyle { stColor, stLowered, stRaised };
enum TMMScaleOrigin { soInner, soOuter };
enum TMMScalePos { spAboveOrLeft, spBelowOrRight, spBoth };

struct TMMScaleLook {
  plat::TColor color = plat::clBlack;
  plat::TColor zone2 = plat::clBlack, zone3 = plat::clBlack;
  int b1 = 0, b2 = 0;  // zone boundaries, in ticks
  TMMScaleStyle style = stColor;
  int tickCount = 11;
  int enlargeEvery = 5;
  int size = 7;
  TMMScaleOrigin origin = soInner;
  bool connect = false;
};

// A line with both end points drawn.
struct TMMScaleLine {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  plat::TColor color = plat::clBlack;
  bool operator==(const TMMScaleLine&) const = default;
};

// The row's depth across: Size, plus the base line when connected (two pixels in the 3-D styles).
int ScaleRowHeight(const TMMScaleLook& look);
// The lines of a row in r, which runs along its longer side with ticks at both of its ends
// (r.Left and r.Right, or r.Top and r.Bottom); firstSide: the row lies above or left of what it
// annotates, so its inner edge is its bottom or right one.
std::vector<TMMScaleLine> ScaleRowLines(const TMMScaleLook& look, const TDIBRect& r, bool firstSide);
