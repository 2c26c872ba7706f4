#pragma once
// The kit's drawing routines: colour ramps and gradient fills, 3D and rotated text, frames and
// edges, arrows, disabled pictures, transparent and tiled bitmaps, glyph-and-caption layout and
// window placement. They draw on a canvas the caller gives and keep no state of their own.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelTypes.h"
#include "platform/ui/colors.h"
#include "platform/ui/types.h"

namespace plat {
class TCanvas;
class TBitmap;
class TFont;
class TControl;
struct TTextMetric;
}  // namespace plat

class TZel3DCaption;
class TZelGlyphTextLayout;

// ---- colours ------------------------------------------------------------------------------------
// One 0x00BBGGRR colour per entry, system colours resolved.
using TZelColorTable = std::vector<uint32_t>;

// A logical palette made from a colour table. Screens are true-colour, so realising one changes
// nothing; it is kept for what the options and stored forms say of it.
struct TZelPalette {
  uint16_t Version = 0x300;
  std::vector<uint32_t> Entries;  // red, green, blue and the no-collapse flag (4) in the top byte
};
using HZelPalette = std::shared_ptr<const TZelPalette>;

// Appends a ramp of count colours from start to end (fresh: the table is cleared first and start
// included; otherwise start is left out, as it ends the previous ramp).
void ColorRamp(plat::TColor start, plat::TColor end, int count, bool fresh, TZelColorTable* table);
HZelPalette MakeGradientPalette(const TZelColorTable& table);  // null for an empty table
// Each channel c1 + (c2 - c1) * step / steps, truncated; c1 when steps is 0.
plat::TColor InterpolateColor(plat::TColor c1, plat::TColor c2, int step, int steps);

// Gradient fill flags.
enum : uint16_t { gfClip = 0x0001, gfUseBitmap = 0x0004, gfRealizePalette = 0x1000 };
// offset: x in the low 16 bits, y in the high 16 bits; the clip rectangle is shifted by it.
void GradientFillTable(plat::TCanvas& canvas, const plat::TRect& r, TZelGradientStyle style, uint32_t offset,
                       uint16_t flags, const HZelPalette& palette, const TZelColorTable& table);
void GradientFill(plat::TCanvas& canvas, const plat::TRect& r, plat::TColor start, uint32_t offset, uint16_t flags,
                  TZelGradientStyle style, int count, plat::TColor end);

// ---- text ---------------------------------------------------------------------------------------
// Flags of Draw3DText.
enum : uint32_t { d3Enabled = 0x02, d3AutoSunken = 0x04, d3Clip = 0x08 };
// Draws text with the 3D options (none: plain text with format, the framework's DT_ flags).
// A rotated caption draws from rect's top-left moved by its position.
void Draw3DText(plat::TCanvas& canvas, const std::string& text, const TZel3DCaption* options, const plat::TRect* clip,
                uint32_t flags, uint32_t format, plat::TRect& rect);
// The rectangle (from 0, 0) the text needs with the caption's depth and rotation.
plat::TRect MeasureText(const plat::TFont& font, const std::string& text, const TZel3DCaption* options,
                        uint32_t format);
plat::TTextMetric GetFontMetrics(const plat::TFont& font);

// A box of the given size placed inside r by the alignment.
plat::TRect AlignRect(TZelAlignment alignment, plat::TSize box, const plat::TRect& r);

// ---- frames -------------------------------------------------------------------------------------
// Platform edges by style 0..14; r shrinks by what was drawn.
void DrawFrameEdge(plat::TCanvas& canvas, plat::TRect& r, int style, uint32_t extraFlags = 0);
// Light and shadow bands of a bevel style and width; r shrinks by them. False when nothing drawn.
bool DrawBevelFrame(plat::TCanvas& canvas, plat::TRect& r, TZelBevelStyle style, int width, plat::TColor light,
                    plat::TColor shadow);
// Solid bands, outermost first: band i is widths[i] pixels of colors[i]; r shrinks by them all.
void DrawFlatFrame(plat::TCanvas& canvas, plat::TRect& r, const std::vector<plat::TColor>& colors,
                   const std::vector<int>& widths);
// The standard border styles: how many pixels each takes from every side, and its drawing.
int BorderStyleWidth(TZelBorderStyle style);
void DrawBorderStyle(plat::TCanvas& canvas, plat::TRect& r, TZelBorderStyle style);
// A frame of frameWidth in frameColor with a shadow of shadowWidth to the right and below;
// r becomes the area inside the frame.
void DrawShadowFrame(plat::TCanvas& canvas, plat::TRect& r, int frameWidth, int shadowWidth, plat::TColor frameColor,
                     plat::TColor shadowColor, bool transparent);

// Push-button frame flags.
enum : uint32_t {
  bfCorners = 0x01,
  bfFocused = 0x02,
  bfNewLook = 0x04,
  bfSunkenDown = 0x08,
  bfFillMiddle = 0x10,
  bfDefault = 0x20
};
// The face and frame of a push button in a state and style; content gets the area for glyph and
// caption (inset 3, moved 1 right and down while down).
void DrawButtonFrame(plat::TCanvas& canvas, bool transparent, const plat::TRect& r, plat::TColor face, uint32_t flags,
                     int state, int style, plat::TRect* content);
// A filled triangle; width 2 * size - 1 and height size for the vertical directions.
void DrawArrow(plat::TCanvas& canvas, int x, int y, bool enabled, TZelArrowDirection direction, plat::TColor color,
               int size);

// ---- pictures -----------------------------------------------------------------------------------
void MakeDisabledBitmap(plat::TBitmap& source, plat::TBitmap& target);
// Draws image at r's top-left with its pixels of transparentColor left out: mask receives the
// one-bit mask, then the canvas is and-ed with the mask and or-ed with the image.
void DrawTransparentBitmap(plat::TCanvas& canvas, const plat::TRect& r, plat::TBitmap& image,
                           plat::TColor transparentColor, plat::TBitmap& mask);
void DrawDisabledGlyph(plat::TCanvas& canvas, plat::TBitmap& bitmap, int x, int y);

// Bitmap drawing flags.
enum : uint16_t {
  bdClip = 0x0001,
  bdAlign = 0x0008,
  bdStretch = 0x0010,
  bdTile = 0x0020,
  bdMaskTransparent = 0x0040,
  bdGraphic = 0x0080,
  bdColorTransparent = 0x0100,
  bdKeepWidth = 0x0200,
  bdKeepHeight = 0x0400,
  bdKeepAspect = 0x0600,
  bdPalette = 0x1000
};
void DrawBitmapFlags(plat::TCanvas& canvas, const plat::TRect& r, plat::TBitmap& bitmap, uint16_t flags,
                     TZelAlignment alignment = agTopLeft, int offsetX = 0, int offsetY = 0,
                     plat::TColor transparentColor = plat::clNone);
void DrawBitmapTiled(plat::TCanvas& canvas, const plat::TRect& r, plat::TBitmap& bitmap, TZelTileMode mode,
                     TZelAlignment alignment, int offsetX, int offsetY, bool transparent);
void DrawBitmapPalette(plat::TCanvas& canvas, const plat::TRect& r, plat::TBitmap& bitmap);

// ---- glyph and caption --------------------------------------------------------------------------
struct TZelGlyphTextPlacement {
  plat::TRect Text, Glyph;
  plat::TPoint Arrow{-1, -1};  // top-left of the drop-down arrow, or -1, -1
};
// Where glyph, caption and arrow go (layout null: the defaults of a glyph-and-text layout).
TZelGlyphTextPlacement PlaceGlyphText(plat::TSize text, plat::TSize glyph, const TZelGlyphTextLayout* layout,
                                      const plat::TRect& r, bool align);
// Draws glyph (null: none; transparent where it has transparentColor unless that is clNone) and
// caption into r; d3Flags as for Draw3DText.
TZelGlyphTextPlacement DrawGlyphText(plat::TCanvas& canvas, plat::TBitmap* glyph, plat::TColor transparentColor,
                                     const std::string& text, bool multiLine, const TZelGlyphTextLayout* layout,
                                     const plat::TRect& r, const TZel3DCaption* caption, uint32_t d3Flags,
                                     bool align = true);

// ---- windows ------------------------------------------------------------------------------------
// Where a window of size w x h goes for position 0..9 relative to ref, kept on screen.
plat::TPoint PlaceWindowRect(plat::TSize window, const plat::TRect& ref, int position, const plat::TRect& screen);
void PlaceWindow(plat::TControl& window, const plat::TRect& ref, int position);
// 1: the work area; 2: the main form; 3: the active form; otherwise the whole screen.
plat::TRect GetReferenceRect(int kind);
// The rectangles of the zoom animation from a small one at start to target (steps < 4: 40).
std::vector<plat::TRect> ZoomRects(plat::TPoint start, const plat::TRect& target, int steps);
void ZoomWindow(plat::TControl& window, plat::TPoint start, int steps, int delay);
