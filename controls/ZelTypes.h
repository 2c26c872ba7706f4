#pragma once
// Enumerations shared by the kit's option objects, drawing routines and controls. They live at
// global scope with the kit's own names; kit code does not say "using namespace plat", whose
// framework enumerations reuse a few of these names.

enum TZelAlignment {
  agTopLeft,
  agTopCenter,
  agTopRight,
  agCenterLeft,
  agCenter,
  agCenterRight,
  agBottomLeft,
  agBottomCenter,
  agBottomRight
};

// Where the caption stands relative to the glyph.
enum TZelTextArrange { taLeft, taLeftTop, taRight, taRightTop, taTop, taTopLeft, taBottom, taBottomLeft };

enum TZelArrowPosition { apRightText, apLeftText, apRightGlyph, apLeftGlyph };

enum TZelThreeDStyle {
  tdNone,
  tdSunken,
  tdRaised,
  tdSunkenShadow,
  tdRaisedShadow,
  tdPColorSunken,
  tdPColorRaised,
  tdShadow,
  tdOutline,
  tdExtrude,
  tdExtrudeEnh
};
enum TZelDisabledStyle { dsAuto, dsStandard, ds3d, dsNone };
enum TZelThreeDOrientation { toBottomLeft, toBottomRight, toTopLeft, toTopRight };

enum TZelGradientStyle {
  gstHorizontal,
  gstVertical,
  gstSquare,
  gstElliptic,
  gstTopLeft,
  gstTopRight,
  gstBottomLeft,
  gstBottomRight,
  gstTopLeftDiagonal,
  gstTopRightDiagonal
};

enum TZelFillStyle { sfNone, sfBrushBitmap, sfBrush, sfBitmap, sfBitmapList, sfGradient };
enum TZelTileMode { tmNone, tmCenter, tmStretch, tmTile };
enum TZelFillOption : unsigned { foFillInner = 1, foQuickDraw = 2, foGrUseBitmap = 4 };
using TZelFillOptions = unsigned;

enum TZelShadowStyle { hssNone, hssSolid, hssTracing };

// How an image control or a face-list button places its picture.
enum TZelBitmapStyle { sbNone, sbAutosize, sbCenter, sbStretch, sbTile, sbKeepAspRatio, sbKeepWidth, sbKeepHeight };

// Borders of the kit's bevels and controls.
enum TZelBevelStyle { bvNone, bvLowered, bvRaised, bvFrameLowered, bvFrameRaised, bvNormal, bvShadow };
enum TZelBorderStyle {
  lsNone,
  lsSingle,
  lsLowered,
  lsRaised,
  lsRaisedspb,
  lsLoweredspb,
  lsRaisedExt,
  lsLoweredExt,
  lsFrameInset,
  lsFrameOffset,
  lsWindowBorder,
  lsSingleRaised,
  lsSingleLowered,
  lsDoubleRaised,
  lsDoubleLowered
};

// A button's state as the frame and glyph routines take it.
enum TZelButtonState : int {
  bsUp = 0,
  bsDisabled = 1,
  bsMouseOver = 2,
  bsDown = 3,
  bsPushed = 4,
  bsDroppedDown = 6,
  bsDisabledDown = 7
};

// Directions of the drop-down and scroll arrows.
enum TZelArrowDirection { adDown, adUp, adLeft, adRight };
