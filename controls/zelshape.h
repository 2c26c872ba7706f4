#pragma once
// The geometry of the kit's region shapes: the eighteen shape kinds, the nose and bubble trail
// that point to one of eight places, and the region each shape makes for a rectangle, with the
// shadow it casts. Computed without any GUI library; the outlines are drawn from the same numbers.
#include <array>
#include <vector>

#include "controls/zelrgn.h"
#include "platform/ui/types.h"

enum TZelRegionShape {
  rsRect,
  rsRoundRect,
  rsBitmap,
  rsNoseRect,
  rsRoundNoseRect,
  rsElliptic,
  rsStar,
  rsRoundShield,
  rsSharpShield,
  rsDiamond,
  rsOctagon,
  rsComb,
  rsHalfRound,
  rsUserRegion,
  rsThinkBubble,
  rsRoundThinkBubble,
  rsEllipticThinkBubble,
  rsPointList
};
// Where a nose or a bubble trail points.
enum TZelExtPos {
  epLeftTop,
  epTopLeft,
  epTopRight,
  epRightTop,
  epRightBottom,
  epBottomRight,
  epBottomLeft,
  epLeftBottom
};
enum TZelRegionBorderStyle {
  rbNone,
  rbLowered,
  rbRaised,
  rbSingle,
  rbSingleRaised,
  rbSingleLowered,
  rbRaisedpsb,
  rbLoweredpsb
};

// Nearest integer, ties to even.
int ZelRound(double v);
// num / den (den > 0) to the nearest integer, ties to even, exactly.
int ZelRoundRatio(int64_t num, int64_t den);

// Shrinks r to the body that leaves room for a nose or trail of size s at pos: the top grows by s
// for the four upper places (else the bottom shrinks), the left grows by s for the four left
// places (else the right shrinks).
void ShrinkToBody(plat::TRect& r, int s, TZelExtPos pos);

struct TZelNose {
  plat::TPoint Tip, P1, P2;
};
// Shrinks r to the body and gives the triangle: the tip at the corner of the unshrunk rectangle,
// the base on the body's edge, margin from the corner and round(sqrt(2) * size) long.
TZelNose ComputeNoseTriangle(plat::TRect& r, int size, TZelExtPos pos, int margin);
// The margin of a rounded body's nose: RoundY on the left and right sides, RoundX on the top and
// bottom.
int RoundNoseMargin(TZelExtPos pos, int roundX, int roundY);

struct TZelBubble {
  int Diameter = 0, X = 0, Y = 0;
  bool operator==(const TZelBubble&) const = default;
};
// Shrinks r to the body and gives count + 2 bubbles on a quarter circle of radius size from the
// corner of the unshrunk rectangle (diameter 0) to the body's corner, growing toward the body.
// A count below 1 is taken as 1.
std::vector<TZelBubble> ComputeBubbleTrail(plat::TRect& r, int size, int count, TZelExtPos pos);
// The square a bubble is drawn and built in: half the diameter (rounded down) each way.
plat::TRect BubbleBox(const TZelBubble& b);

std::array<plat::TPoint, 10> StarPoints(const plat::TRect& r);
std::array<plat::TPoint, 4> DiamondPoints(const plat::TRect& r);  // N, W, S, E
std::array<plat::TPoint, 8> OctagonPoints(const plat::TRect& r);
std::array<plat::TPoint, 6> CombPoints(const plat::TRect& r);

struct TZelShapeSpec {
  TZelRegionShape Shape = rsRoundRect;
  TZelExtPos ExtPos = epLeftTop;
  int RoundX = 20, RoundY = 20;
  int Bubbles = 4;
  // The region of rsBitmap (the mask's), rsUserRegion and rsPointList; none is empty.
  const TZelRgn* Data = nullptr;
};

// The shape's region for r (the data region for the three shapes that carry their own).
TZelRgn BuildShapeRgn(const TZelShapeSpec& spec, const plat::TRect& r);

struct TZelShapeRegions {
  plat::TRect Rect;  // what the shape was built in (r less the shadow's depth)
  TZelRgn Body;      // the shape itself
  TZelRgn Shadow;    // the shape moved by the depth, less the shape
  TZelRgn Whole;     // both: what a shaped window shows
};
// With a shadow of depth > 0 the shape is built in r less depth on the right and bottom and cast
// depth pixels right and down.
TZelShapeRegions BuildShapeRegions(const TZelShapeSpec& spec, const plat::TRect& r, int shadowDepth);
