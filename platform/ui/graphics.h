#pragma once
// Fonts, pens, brushes, bitmaps and the canvas. The canvas keeps the classic drawing rules, not
// Qt's: a rectangle's right and bottom edges are outside it, LineTo leaves out its last pixel, pen
// modes and raster operations work per pixel on the colour bits, a solid brush makes text and pen
// gaps opaque. It draws into pictures in memory, never onto the screen, so every picture works
// without one. Fonts are given in pixels at a fixed 96 dpi; the classic family names map to
// installed fonts. What the pictures and regions are made of on the Qt side is in native_qt.h,
// private to platform/ui.
#include <memory>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/ui/colors.h"
#include "platform/ui/types.h"

namespace plat {

class TStream;
class TCanvas;
class TBitmap;

class TGraphicsObject : public TPersistent {
public:
  TNotifyEvent OnChange;

protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

// ---- fonts ------------------------------------------------------------------------------------

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;
enum TFontPitch { fpDefault, fpVariable, fpFixed };
constexpr int ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, OEM_CHARSET = 255;

class TFont : public TGraphicsObject {
public:
  TFont();  // "MS Sans Serif", 8 points (Height -11), clWindowText
  const std::string& Name() const { return name_; }
  void SetName(const std::string& v);
  // Negative: the character height in pixels; positive: the cell height (ascent + descent).
  int Height() const { return height_; }
  void SetHeight(int v);
  int Size() const;  // points at 96 dpi
  void SetSize(int points);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch v);
  int Charset() const { return charset_; }
  void SetCharset(int v);
  // Angle of the text in tenths of a degree, counter-clockwise.
  int Orientation() const { return orientation_; }
  void SetOrientation(int tenths);

  void Assign(TPersistent* src) override;
  bool SameAs(const TFont& o) const;
  std::string ClassName() const override { return "TFont"; }

private:
  std::string name_ = "MS Sans Serif";
  int height_ = -11;
  TFontStyles style_ = 0;
  TColor color_ = clWindowText;
  TFontPitch pitch_ = fpDefault;
  int charset_ = DEFAULT_CHARSET;
  int orientation_ = 0;
};

struct TTextMetric {
  int tmHeight = 0, tmAscent = 0, tmDescent = 0, tmInternalLeading = 0, tmExternalLeading = 0;
  int tmAveCharWidth = 0, tmMaxCharWidth = 0;
};

// ---- pens and brushes -------------------------------------------------------------------------

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode {
  pmBlack,
  pmWhite,
  pmNop,
  pmNot,
  pmCopy,
  pmNotCopy,
  pmMergePenNot,
  pmMaskPenNot,
  pmMergeNotPen,
  pmMaskNotPen,
  pmMerge,
  pmNotMerge,
  pmMask,
  pmNotMask,
  pmXor,
  pmNotXor
};

class TPen : public TGraphicsObject {
public:
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  int Width() const { return width_; }
  void SetWidth(int v);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle v);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode v);
  void Assign(TPersistent* src) override;
  std::string ClassName() const override { return "TPen"; }

private:
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
public:
  TColor Color() const { return color_; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle v);
  // A pattern bitmap (its top-left 8 x 8 pixels repeat from the canvas origin); not owned.
  TBitmap* Bitmap() const { return bitmap_; }
  void SetBitmap(TBitmap* b);
  void Assign(TPersistent* src) override;
  std::string ClassName() const override { return "TBrush"; }

private:
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  TBitmap* bitmap_ = nullptr;
};

// ---- bitmaps ----------------------------------------------------------------------------------

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

class TGraphic : public TGraphicsObject {
public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;
  bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool v);
  virtual void Draw(TCanvas& canvas, const TRect& r) = 0;
  virtual void LoadFromFile(const std::string& path);
  virtual void SaveToFile(const std::string& path);
  virtual void LoadFromStream(TStream& s) = 0;
  virtual void SaveToStream(TStream& s) = 0;

private:
  bool transparent_ = false;
};

class TBitmap : public TGraphic {
public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const override { return w_; }
  int Height() const override { return h_; }
  void SetWidth(int w) { SetSize(w, h_); }
  void SetHeight(int h) { SetSize(w_, h); }
  // Keeps the top-left part of the picture; new pixels are white.
  void SetSize(int w, int h);
  bool Empty() const override { return w_ <= 0 || h_ <= 0; }

  TPixelFormat PixelFormat() const { return format_; }
  void SetPixelFormat(TPixelFormat f);
  bool Monochrome() const { return format_ == pf1bit; }
  void SetMonochrome(bool v);
  // The first byte of a row, top-down, rows BytesPerLine() apart; the layout of the pixel format
  // (pf24bit: B, G, R; pfDevice and pf32bit: B, G, R and a byte set to 255; pf1bit: the leftmost
  // pixel in the top bit).
  uint8_t* ScanLine(int row);
  const uint8_t* ScanLine(int row) const;
  int BytesPerLine() const;
  // The colour of a pixel inside the picture, through the colour table for 1 to 8 bits.
  TColor PixelColor(int x, int y) const;
  // The colour table index of a pixel inside a picture of 1 to 8 bits.
  int PixelIndex(int x, int y) const;
  // Sets a pixel inside the picture: to a colour in a picture of 15 to 32 bits, to an index into
  // the colour table in one of 1 to 8 bits.
  void SetPixelColor(int x, int y, TColor c);
  void SetPixelIndex(int x, int y, int index);
  // Makes the picture one of 8 bits in the colours given (0x00RRGGBB each), each pixel taking the
  // nearest of them, without dithering.
  void MapToColors(const std::vector<uint32_t>& colors);
  // Makes this bitmap a copy of the rectangle r of src, in src's pixel format; what r takes from
  // outside src is 0.
  void AssignPart(const TBitmap& src, const TRect& r);
  // The colour table of a picture of 1 to 8 bits (0x00RRGGBB each); empty for other depths.
  std::vector<uint32_t> ColorTable() const;
  // Makes the picture one over pixel rows it does not own, top-down and rowBytes apart, which must
  // outlive it (or the next change of its size or format): pf1bit or pf8bit with the colour table
  // given (0x00RRGGBB each), or pf24bit (B, G, R). What is drawn on it goes into those rows.
  void SetExternalPixels(uint8_t* bits, int width, int height, int rowBytes, TPixelFormat format,
                         const std::vector<uint32_t>& colors);
  TCanvas* Canvas();

  // With tmAuto the colour of the bottom-left pixel.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor c);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode m) { transparentMode_ = m; }

  void Assign(TPersistent* src) override;
  void Draw(TCanvas& canvas, const TRect& r) override;
  // BMP files; anything else Qt reads is accepted on loading.
  void LoadFromFile(const std::string& path) override;
  void SaveToFile(const std::string& path) override;
  void LoadFromStream(TStream& s) override;
  void SaveToStream(TStream& s) override;
  std::string ClassName() const override { return "TBitmap"; }

  void Modified() { Changed(); }

  // What the picture is made of (native_qt.h).
  struct Native;
  Native& NativePart() const { return *native_; }

private:
  friend struct BitmapAccess;
  std::unique_ptr<Native> native_;
  int w_ = 0, h_ = 0;
  TPixelFormat format_ = pfDevice;
  std::unique_ptr<TCanvas> canvas_;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = tmAuto;
};

// ---- pictures with transparency -----------------------------------------------------------------

// A picture with an alpha channel: read from a picture file of any kind the platform reads, or
// made from a bitmap. Laid on a bitmap it blends with what is there.
class TPicture {
public:
  TPicture();
  // The bitmap's picture, opaque.
  explicit TPicture(const TBitmap& b);
  // The bitmap's picture, its pixels of the transparent colour see-through.
  TPicture(const TBitmap& b, TColor transparent);
  TPicture(const TPicture& o);
  TPicture& operator=(const TPicture& o);
  ~TPicture();

  int Width() const;
  int Height() const;
  bool Empty() const;
  // Bits per pixel as read: 1 for a two-colour file.
  int Depth() const;

  // Whether pictures of this kind (a file extension such as "png", lower case, no dot) can be read.
  static bool CanRead(const std::string& kind);
  // Reads the file as a picture of that kind; false when it is none, or when it is no regular file
  // of at most PictureFileLimit bytes (plat::ReadSmallFile: nothing at the name is waited on).
  bool LoadFromFile(const std::string& path, const std::string& kind);
  static constexpr int64_t PictureFileLimit = int64_t(64) << 20;
  // The same from the bytes of such a file.
  bool LoadFromData(const std::string& bytes, const std::string& kind);
  // The picture fitted into w x h, its proportions kept, scaled smoothly.
  TPicture ScaledToFit(int w, int h) const;
  // The picture stretched to w x h, each pixel taken from the nearest.
  TPicture Scaled(int w, int h) const;
  // target takes the picture's pixels, without their transparency.
  void AssignTo(TBitmap& target) const;
  // Lays the picture on target: blended with its top-left at (x, y); or stretched over r without
  // smoothing, each pixel taken from the picture's pixel nearest to its centre.
  void DrawOn(TBitmap& target, int x, int y) const;
  void StretchOn(TBitmap& target, const TRect& r) const;
  // The picture on a ground of one colour: target becomes an opaque bitmap of its size.
  void FlattenOnto(TBitmap& target, TColor ground) const;

  // What the picture is made of (native_qt.h).
  struct Native;
  Native& NativePart() const { return *native_; }

private:
  std::unique_ptr<Native> native_;
};

// ---- regions ----------------------------------------------------------------------------------

enum { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
enum { ALTERNATE = 1, WINDING = 2 };

// A set of pixels, kept as the rectangles of its bands: top to bottom, and left to right within a
// band of rows.
class TRegion {
public:
  TRegion() = default;
  static TRegion FromRect(const TRect& r);
  static TRegion FromEllipse(const TRect& r);
  static TRegion FromRoundRect(const TRect& r, int ellipseW, int ellipseH);
  static TRegion FromPolygon(const std::vector<TPoint>& pts, int fillMode = ALTERNATE);
  // The union of any rectangles.
  static TRegion FromRects(const std::vector<TRect>& rects);
  // The region of rectangles that are a region's bands already, as Rects gives them.
  static TRegion FromBands(std::vector<TRect> bands) {
    TRegion r;
    r.rects_ = std::move(bands);
    return r;
  }
  // a op b; returns the combined region.
  static TRegion Combine(const TRegion& a, const TRegion& b, int mode);
  void Offset(int dx, int dy);
  bool Contains(TPoint p) const;
  bool IsEmpty() const { return rects_.empty(); }
  TRect Bounds() const;
  const std::vector<TRect>& Rects() const { return rects_; }
  bool operator==(const TRegion& o) const;
  bool operator!=(const TRegion& o) const { return !(*this == o); }

private:
  friend struct RegionAccess;
  std::vector<TRect> rects_;
};

// ---- canvas -----------------------------------------------------------------------------------

// Raster operations (the Boolean function of pattern, source and destination in bits 16-23).
constexpr int32_t BLACKNESS = 0x00000042, DSTINVERT = 0x00550009, MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226,
                  NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6, PATCOPY = 0x00F00021, PATINVERT = 0x005A0049,
                  PATPAINT = 0x00FB0A09, SRCAND = 0x008800C6, SRCCOPY = 0x00CC0020, SRCERASE = 0x00440328,
                  SRCINVERT = 0x00660046, SRCPAINT = 0x00EE0086, WHITENESS = 0x00FF0062;
using TCopyMode = int32_t;
constexpr TCopyMode cmBlackness = BLACKNESS, cmDstInvert = DSTINVERT, cmMergeCopy = MERGECOPY,
                    cmMergePaint = MERGEPAINT, cmNotSrcCopy = NOTSRCCOPY, cmNotSrcErase = NOTSRCERASE,
                    cmPatCopy = PATCOPY, cmPatInvert = PATINVERT, cmPatPaint = PATPAINT, cmSrcAnd = SRCAND,
                    cmSrcCopy = SRCCOPY, cmSrcErase = SRCERASE, cmSrcInvert = SRCINVERT, cmSrcPaint = SRCPAINT,
                    cmWhiteness = WHITENESS;
// The Boolean raster function itself: bit i of code gives the result for pattern = bit 2 of i,
// source = bit 1 and destination = bit 0, applied to every colour bit.
uint32_t ApplyRop3(uint8_t code, uint32_t pattern, uint32_t source, uint32_t dest);

// Text drawing flags.
enum : uint32_t {
  DT_TOP = 0,
  DT_LEFT = 0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10,
  DT_SINGLELINE = 0x20,
  DT_EXPANDTABS = 0x40,
  DT_TABSTOP = 0x80,
  DT_NOCLIP = 0x100,
  DT_EXTERNALLEADING = 0x200,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
  DT_INTERNAL = 0x1000,
  DT_EDITCONTROL = 0x2000,
  DT_PATH_ELLIPSIS = 0x4000,
  DT_END_ELLIPSIS = 0x8000,
  DT_MODIFYSTRING = 0x10000,
  DT_RTLREADING = 0x20000,
  DT_WORD_ELLIPSIS = 0x40000,
  DT_HIDEPREFIX = 0x100000,
  DT_PREFIXONLY = 0x200000
};

// Edge kinds and the sides and options of DrawEdge.
enum : uint32_t {
  BDR_RAISEDOUTER = 0x1,
  BDR_SUNKENOUTER = 0x2,
  BDR_RAISEDINNER = 0x4,
  BDR_SUNKENINNER = 0x8,
  BDR_OUTER = 0x3,
  BDR_INNER = 0xC,
  EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
  EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
  EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
  EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,
  BF_LEFT = 0x1,
  BF_TOP = 0x2,
  BF_RIGHT = 0x4,
  BF_BOTTOM = 0x8,
  BF_TOPLEFT = 0x3,
  BF_BOTTOMRIGHT = 0xC,
  BF_RECT = 0xF,
  BF_DIAGONAL = 0x10,
  BF_MIDDLE = 0x800,
  BF_SOFT = 0x1000,
  BF_ADJUST = 0x2000,
  BF_FLAT = 0x4000,
  BF_MONO = 0x8000
};

enum { OPAQUE = 2, TRANSPARENT = 1 };

class TCanvas : public TPersistent {
public:
  TCanvas();
  explicit TCanvas(TBitmap* target);
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // The picture drawn into (not owned); null draws nothing. Resets clip and origin.
  void SetTarget(TBitmap* target);
  bool HandleAllocated() const;
  // The size of the picture drawn into, in device pixels (0 without one).
  int TargetWidth() const;
  int TargetHeight() const;

  TFont* Font() { return &font_; }
  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  void SetFont(const TFont& f) { font_.Assign(const_cast<TFont*>(&f)); }
  TCopyMode CopyMode() const { return copyMode_; }
  void SetCopyMode(TCopyMode m) { copyMode_ = m; }

  // The raw colour state. Changing the font's colour or the brush sets them again, as the
  // framework selects its objects before every drawing call.
  void SetTextColor(TColor c) { textColor_ = ColorToBGR(c); }
  void SetBkColor(TColor c) { bkColor_ = ColorToBGR(c); }
  void SetBkMode(int mode) { bkOpaque_ = mode == OPAQUE; }
  uint32_t TextColorRGB() const { return textColor_; }
  uint32_t BkColorRGB() const { return bkColor_; }

  // Logical (0, 0) lands on device pixel (dx, dy).
  void SetOrigin(int dx, int dy) {
    ox_ = dx;
    oy_ = dy;
  }
  TPoint Origin() const { return {ox_, oy_}; }
  // Clipping in logical coordinates; a null region removes it.
  void SelectClipRgn(const TRegion* rgn);
  void SelectClipRect(const TRect& r);
  void IntersectClipRect(const TRect& r);
  void ExcludeClipRect(const TRect& r);
  TRect ClipRect() const;  // what can be drawn, in logical coordinates
  bool RectVisible(const TRect& r) const;

  TPoint PenPos() const { return penPos_; }
  void SetPenPos(TPoint p) { penPos_ = p; }
  void MoveTo(int x, int y) { penPos_ = {x, y}; }
  void LineTo(int x, int y);  // the end pixel is left out
  void Polyline(const std::vector<TPoint>& pts);
  void Polygon(const std::vector<TPoint>& pts);
  void Rectangle(int l, int t, int r, int b);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int l, int t, int r, int b, int ew, int eh);
  void Ellipse(int l, int t, int r, int b);
  void Ellipse(const TRect& r) { Ellipse(r.Left, r.Top, r.Right, r.Bottom); }
  // Counter-clockwise from the ray through (x3, y3) to the ray through (x4, y4).
  void Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4);
  void Pie(int l, int t, int r, int b, int x3, int y3, int x4, int y4);
  void Chord(int l, int t, int r, int b, int x3, int y3, int x4, int y4);
  void FillRect(const TRect& r);   // with the brush, whatever the pen mode
  void FrameRect(const TRect& r);  // one pixel in the brush colour
  void InvertRect(const TRect& r);
  void DrawFocusRect(const TRect& r);  // dotted, by inversion: drawn twice it is gone
  void FillRgn(const TRegion& rgn);
  void FrameRgn(const TRegion& rgn, int w, int h);
  // Pattern fill of a rectangle with any raster operation of pattern and destination.
  void PatBlt(int x, int y, int w, int h, int32_t rop);

  TColor Pixels(int x, int y) const;  // -1 outside the picture or the clip
  void SetPixel(int x, int y, TColor c);

  void TextOut(int x, int y, const std::string& s);
  void TextRect(const TRect& r, int x, int y, const std::string& s);
  int TextWidth(const std::string& s);
  int TextHeight(const std::string& s);
  TSize TextExtent(const std::string& s);
  TTextMetric GetTextMetrics();
  // Pixels added after every character of the text drawn and measured from here on.
  void SetTextCharacterExtra(int extra) { charExtra_ = extra; }
  int TextCharacterExtra() const { return charExtra_; }
  // The text of DrawText: returns the height of the text; with DT_CALCRECT only measures and
  // sets r's right and bottom.
  int DrawText(const std::string& s, TRect& r, uint32_t flags);
  // Draws the rectangle's edges; with BF_ADJUST r shrinks by what was drawn.
  bool DrawEdge(TRect& r, uint32_t edge, uint32_t flags);

  void Draw(int x, int y, TGraphic* g);
  void StretchDraw(const TRect& r, TGraphic* g);
  // Copies with CopyMode; a monochrome source takes the text colour for 0 and the background
  // colour for 1; a colour source onto a monochrome target gives 1 where it has the source
  // canvas's background colour.
  void CopyRect(const TRect& dest, TCanvas& src, const TRect& source);
  void BitBlt(int x, int y, int w, int h, TCanvas& src, int sx, int sy, int32_t rop);
  void StretchBlt(const TRect& dest, TCanvas& src, const TRect& source, int32_t rop);
  // Copies the bitmap with the pixels of one colour replaced by the brush.
  void BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor color);
  // Copies the bitmap leaving the pixels of the key colour as they were on the canvas.
  void TransparentDraw(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor key);
  // Copies the pixels of from (a rectangle of src) to (x, y), within the clip: a plain copy that
  // ignores CopyMode, rows at a time where the formats allow.
  void CopyPixels(int x, int y, const TBitmap& src, const TRect& from);
  // Strokes the outline of the glyphs of one line of text, its top-left at (x, y), with a pen of
  // width pixels (at least one), without filling them or smoothing the edges; within the clip.
  void StrokeText(int x, int y, const std::string& text, int width, TColor color);
  // The pixels of r, as they are, into out (in the target's own format; what lies outside the
  // picture is 0).
  void CopyOut(const TRect& r, TBitmap& out) const;
  // Row y of a 32-bit target (pfDevice, pf32bit or a control's own picture), in device pixels, as
  // 0xAARRGGBB words: what is written there shows as it is, with no clip or pen. Null for any
  // other target, or a row outside it.
  uint32_t* PixelRow(int y);

  std::string ClassName() const override { return "TCanvas"; }

  // The picture and clip on the Qt side (native_qt.h).
  struct Native;
  Native& NativePart() const { return *native_; }

private:
  friend struct CanvasOps;
  void Init();
  void Hook();
  std::unique_ptr<Native> native_;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  TCopyMode copyMode_ = cmSrcCopy;
  uint32_t textColor_ = 0, bkColor_ = 0xFFFFFF;
  bool bkOpaque_ = true;
  int charExtra_ = 0;
  int ox_ = 0, oy_ = 0;
  bool hasClip_ = false;
  TPoint penPos_;
};

}  // namespace plat
