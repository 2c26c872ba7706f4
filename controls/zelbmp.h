#pragma once
// Pixel operations on 24-bit bitmaps (bytes blue, green, red, row by row) and the fill and effect
// pipelines of the option objects built on them. Each operation reads a rectangle of a source
// and writes it at a point of a target (which may be the source); parts outside either bitmap
// are left out.
#include <string>

#include "platform/ui/colors.h"
#include "platform/ui/types.h"

namespace plat {
class TBitmap;
class TCanvas;
}  // namespace plat

class TZelFillObject;
class TZelAlphaObject;
class TZelBitmapEffectObject;

// Raises EZelWrongPixelFormat "Wrong PixelFormat in <role> bitmap!" unless bitmap is 24-bit.
void CheckPixelFormat(plat::TBitmap& bitmap, const std::string& role);

void GrayScaleBits(plat::TBitmap& src, const plat::TRect& r, plat::TBitmap& dst, plat::TPoint at);
void FlipRowsBits(plat::TBitmap& src, const plat::TRect& r, plat::TBitmap& dst, plat::TPoint at);
void FlipColumnsBits(plat::TBitmap& src, const plat::TRect& r, plat::TBitmap& dst, plat::TPoint at);
// Per byte: target = s2 + round((s1 - s2) * strength).
void AlphaBlendBits(plat::TBitmap& src1, const plat::TRect& r, plat::TBitmap& src2, plat::TPoint at2, float strength,
                    plat::TBitmap& dst, plat::TPoint at);
void InvertBits(plat::TBitmap& src, const plat::TRect& r, plat::TBitmap& dst, plat::TPoint at);
// Every byte plus delta (-255..255), kept within 0..255.
void BrightnessBits(plat::TBitmap& src, const plat::TRect& r, plat::TBitmap& dst, int delta, plat::TPoint at);

// Fills r by the fill object; false when it drew nothing.
bool FillObjectFill(TZelFillObject& fill, plat::TCanvas& canvas, const plat::TRect& r, plat::TColor background);
// Blends picture with the alpha object's fill (picture becomes 24-bit).
void AlphaBlendObject(TZelAlphaObject& alpha, plat::TBitmap& picture);
// Runs the effects on the whole picture (which becomes 24-bit when any effect is on).
void ApplyEffects(TZelBitmapEffectObject& effects, plat::TBitmap& picture);
// Copies rectangle r of source into target, then runs the effects on target.
void ApplyEffectsToArea(TZelBitmapEffectObject& effects, plat::TBitmap& source, const plat::TRect& r,
                        plat::TBitmap& target);
