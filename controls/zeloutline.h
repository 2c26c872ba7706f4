#pragma once
// The borders drawn along region shapes. Every shape but the point list shares one scheme: a whole
// outline in the single colour, a bevel of a light and a shadow part, and an inner line a little
// inside the shape; the eight border styles choose among them and their colours. The routines draw
// through TZelOutlineCanvas (the GUI part wraps a framework canvas in it), keep no state, and work
// on their own copies of the rectangle and colours.
#include <vector>

#include "controls/zelshape.h"
#include "platform/ui/colors.h"
#include "platform/ui/types.h"

// What the outline routines draw with: a pen of colour, width and (solid) style, lines, polygons,
// ellipses, rounded rectangles and arcs in the framework's conventions, and clipping.
class TZelOutlineCanvas {
public:
  virtual ~TZelOutlineCanvas() = default;
  virtual void SetPenColor(plat::TColor c) = 0;
  virtual void SetPenWidth(int w) = 0;
  virtual void SetPenSolid() = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  virtual void Polygon(const std::vector<plat::TPoint>& pts) = 0;
  virtual void Ellipse(int l, int t, int r, int b) = 0;
  virtual void RoundRect(int l, int t, int r, int b, int rx, int ry) = 0;
  // Counter-clockwise on the screen from the ray through (x3, y3) to the ray through (x4, y4).
  virtual void Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) = 0;
  virtual void ExcludeClipRect(const plat::TRect& r) = 0;
};

struct TZelBorderColors {
  plat::TColor Light = plat::clBtnHighlight;
  plat::TColor Shadow = plat::clBtnShadow;
  plat::TColor Single = plat::clBlack;
};

using TZelOutlineStyle = TZelRegionBorderStyle;

void DrawRectOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawRoundRectOutline(TZelOutlineCanvas& c, plat::TRect r, int rx, int ry, TZelBorderColors k, TZelOutlineStyle st);
void DrawEllipseOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawHalfRoundOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawDiamondOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawStarOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawOctagonOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawCombOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawRoundShieldOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawSharpShieldOutline(TZelOutlineCanvas& c, plat::TRect r, TZelBorderColors k, TZelOutlineStyle st);
void DrawNoseOutline(TZelOutlineCanvas& c, plat::TRect r, int noseSize, TZelExtPos pos, TZelBorderColors k,
                     TZelOutlineStyle st);
void DrawRoundNoseOutline(TZelOutlineCanvas& c, plat::TRect r, int noseSize, int rx, int ry, TZelExtPos pos,
                          TZelBorderColors k, TZelOutlineStyle st);
// Draws the trail and shrinks r to the body, which the caller then outlines.
void DrawBubbleOutlines(TZelOutlineCanvas& c, plat::TRect& r, int bubbleSize, int count, TZelExtPos pos,
                        TZelBorderColors k, TZelOutlineStyle st);
void DrawThinkBubbleOutline(TZelOutlineCanvas& c, plat::TRect r, int bubbleSize, int count, TZelExtPos pos,
                            TZelBorderColors k, TZelOutlineStyle st);
void DrawRoundThinkBubbleOutline(TZelOutlineCanvas& c, plat::TRect r, int bubbleSize, int count, int rx, int ry,
                                 TZelExtPos pos, TZelBorderColors k, TZelOutlineStyle st);
void DrawEllipticThinkBubbleOutline(TZelOutlineCanvas& c, plat::TRect r, int bubbleSize, int count, TZelExtPos pos,
                                    TZelBorderColors k, TZelOutlineStyle st);
// Each edge coloured by its direction; the points as they are (no rectangle).
void DrawPointListOutline(TZelOutlineCanvas& c, const std::vector<plat::TPoint>& pts, TZelBorderColors k,
                          TZelOutlineStyle st);

// The outline routine of spec.Shape on r (nose size r's width / 10, bubble size / 6); rsBitmap and
// rsUserRegion draw nothing.
void DrawShapeOutline(TZelOutlineCanvas& c, const TZelShapeSpec& spec, const plat::TRect& r,
                      const std::vector<plat::TPoint>& points, TZelBorderColors k, TZelOutlineStyle st);
