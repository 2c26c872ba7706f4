// The canvas. Every primitive ends in a pixel loop over the target, so clipping, pen modes and raster
// operations behave the same on every pixel format; Qt only rasterises shapes and text into
// coverage masks (8-bit alpha images), which are then laid onto the target.
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ui/graphics.h"
#include "platform/ui/native_qt.h"

namespace plat {

uint32_t ApplyRop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((code >> i) & 1)) continue;
    uint32_t pp = (i & 4) ? p : ~p, ss = (i & 2) ? s : ~s, dd = (i & 1) ? d : ~d;
    r |= pp & ss & dd;
  }
  return r & 0xFFFFFF;
}

namespace {

inline QRgb ToArgb(uint32_t bgr) { return 0xFF000000u | ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF); }
inline uint32_t ToBgr(QRgb p) { return uint32_t(qRed(p)) | (uint32_t(qGreen(p)) << 8) | (uint32_t(qBlue(p)) << 16); }

// The binary function of a pen mode on pen and destination colour bits.
uint32_t ApplyR2(TPenMode mode, uint32_t p, uint32_t d) {
  uint32_t r;
  switch (mode) {
    case pmBlack: r = 0; break;
    case pmWhite: r = ~0u; break;
    case pmNop: r = d; break;
    case pmNot: r = ~d; break;
    case pmCopy: r = p; break;
    case pmNotCopy: r = ~p; break;
    case pmMergePenNot: r = p | ~d; break;
    case pmMaskPenNot: r = p & ~d; break;
    case pmMergeNotPen: r = ~p | d; break;
    case pmMaskNotPen: r = ~p & d; break;
    case pmMerge: r = p | d; break;
    case pmNotMerge: r = ~(p | d); break;
    case pmMask: r = p & d; break;
    case pmNotMask: r = ~(p & d); break;
    case pmXor: r = p ^ d; break;
    case pmNotXor: r = ~(p ^ d); break;
    default: r = p; break;
  }
  return r & 0xFFFFFF;
}

bool Is32(QImage::Format f) {
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

// Pixel access for every target format, colours as 0x00BBGGRR.
class Surface {
public:
  explicit Surface(QImage* img) : img_(img) {
    switch (img->format()) {
      case QImage::Format_RGB32:
      case QImage::Format_ARGB32_Premultiplied: kind_ = k32; break;
      case QImage::Format_ARGB32: kind_ = kArgb; break;
      case QImage::Format_BGR888: kind_ = kBgr24; break;
      case QImage::Format_RGB888: kind_ = kRgb24; break;
      case QImage::Format_Indexed8: kind_ = kIndexed; break;
      case QImage::Format_Mono:
      case QImage::Format_MonoLSB: kind_ = kMono; break;
      default: kind_ = kOther; break;
    }
    if (kind_ == kIndexed || kind_ == kMono) table_ = img->colorTable();
    premultiplied_ = img->format() == QImage::Format_ARGB32_Premultiplied;
  }
  bool IsMono() const { return kind_ == kMono; }

  uint32_t Get(int x, int y) const {
    switch (kind_) {
      case k32:
      case kArgb: return ToBgr(reinterpret_cast<const QRgb*>(img_->constScanLine(y))[x]);
      case kBgr24: {
        const uint8_t* p = img_->constScanLine(y) + 3 * x;
        return uint32_t(p[2]) | (uint32_t(p[1]) << 8) | (uint32_t(p[0]) << 16);
      }
      case kRgb24: {
        const uint8_t* p = img_->constScanLine(y) + 3 * x;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      }
      default: return ToBgr(img_->pixel(x, y));
    }
  }

  // Sets the pixels [x0, x1) of row y to c.
  void SetRun(int y, int x0, int x1, uint32_t c) {
    if (kind_ != k32 && kind_ != kArgb) {
      for (int x = x0; x < x1; ++x) Set(x, y, c);
      return;
    }
    QRgb* row = reinterpret_cast<QRgb*>(img_->scanLine(y));
    std::fill(row + x0, row + x1, ToArgb(c));
  }

  void Set(int x, int y, uint32_t c) {
    switch (kind_) {
      case k32:
      case kArgb: reinterpret_cast<QRgb*>(img_->scanLine(y))[x] = ToArgb(c); return;
      case kBgr24: {
        uint8_t* p = img_->scanLine(y) + 3 * x;
        p[0] = uint8_t(c >> 16);
        p[1] = uint8_t(c >> 8);
        p[2] = uint8_t(c);
        return;
      }
      case kRgb24: {
        uint8_t* p = img_->scanLine(y) + 3 * x;
        p[0] = uint8_t(c);
        p[1] = uint8_t(c >> 8);
        p[2] = uint8_t(c >> 16);
        return;
      }
      case kIndexed:
      case kMono: img_->setPixel(x, y, uint(Nearest(c))); return;
      default: img_->setPixel(x, y, ToArgb(c)); return;
    }
  }

  // Lays colour c over the pixel with coverage a (0..255).
  void Blend(int x, int y, uint32_t c, int a) {
    if (a >= 255) {
      Set(x, y, c);
      return;
    }
    if (a <= 0) return;
    if (kind_ == k32 && premultiplied_) {
      QRgb& d = reinterpret_cast<QRgb*>(img_->scanLine(y))[x];
      const int ia = 255 - a;
      int r = (int(c & 0xFF) * a + qRed(d) * ia) / 255;
      int g = (int((c >> 8) & 0xFF) * a + qGreen(d) * ia) / 255;
      int b = (int((c >> 16) & 0xFF) * a + qBlue(d) * ia) / 255;
      int al = a + qAlpha(d) * ia / 255;
      d = qRgba(r, g, b, al);
      return;
    }
    uint32_t d = Get(x, y);
    const int ia = 255 - a;
    auto mix = [&](int sh) { return uint32_t(((int((c >> sh) & 0xFF) * a + int((d >> sh) & 0xFF) * ia) / 255)) << sh; };
    Set(x, y, mix(0) | mix(8) | mix(16));
  }

private:
  int Nearest(uint32_t c) {
    if (c == lastColor_ && lastIndex_ >= 0) return lastIndex_;
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < table_.size(); ++i) {
      long dr = long(qRed(table_[i])) - long(c & 0xFF), dg = long(qGreen(table_[i])) - long((c >> 8) & 0xFF),
           db = long(qBlue(table_[i])) - long((c >> 16) & 0xFF);
      long dist = dr * dr + dg * dg + db * db;
      if (bestD < 0 || dist < bestD) {
        bestD = dist;
        best = i;
      }
    }
    lastColor_ = c;
    lastIndex_ = best;
    return best;
  }
  enum Kind { k32, kArgb, kBgr24, kRgb24, kIndexed, kMono, kOther };
  QImage* img_;
  Kind kind_ = kOther;
  bool premultiplied_ = false;
  QVector<QRgb> table_;
  uint32_t lastColor_ = 0;
  int lastIndex_ = -1;
};

// Clip rectangles in device pixels, tested pixel by pixel.
class Clip {
public:
  explicit Clip(const QRegion& rgn) : rects_(rgn.begin(), rgn.end()) {}
  bool Contains(int x, int y) const {
    for (const QRect& r : rects_)
      if (x >= r.left() && x <= r.right() && y >= r.top() && y <= r.bottom()) return true;
    return false;
  }
  const std::vector<QRect>& Rects() const { return rects_; }

private:
  std::vector<QRect> rects_;
};

bool HatchOn(TBrushStyle s, int x, int y) {
  x &= 7;
  y &= 7;
  const bool h = y == 0, v = x == 0, f = x == y, b = x + y == 7;
  switch (s) {
    case bsHorizontal: return h;
    case bsVertical: return v;
    case bsFDiagonal: return f;
    case bsBDiagonal: return b;
    case bsCross: return h || v;
    case bsDiagCross: return f || b;
    default: return true;
  }
}

}  // namespace

// Everything that needs the canvas's private state lives here.
struct CanvasOps {
  TCanvas& c;
  explicit CanvasOps(TCanvas& canvas) : c(canvas) {}

  static void Retarget(TCanvas& c, QImage* img) {
    c.native_->img = img;
    c.hasClip_ = false;
    c.native_->clip = QRegion();
    c.ox_ = c.oy_ = 0;
  }

  // The clip intersected with the picture, in device pixels.
  static QRegion DeviceClip(const TCanvas& c) {
    const QImage* img = c.native_->img;
    if (!img || img->isNull()) return QRegion();
    QRegion all(0, 0, img->width(), img->height());
    return c.hasClip_ ? all.intersected(c.native_->clip) : all;
  }

  // The font with the character extra.
  static QFont TextFont(const TCanvas& c) {
    QFont f = QtFont(c.font_);
    if (c.charExtra_ != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, c.charExtra_);
    return f;
  }

  QRect ToDevice(const TRect& r) const {
    return QRect(r.Left + c.ox_, r.Top + c.oy_, r.Right - r.Left, r.Bottom - r.Top);
  }

  // Calls fn(surface, y, x0, x1) for every run of [x0, x1) inside rect, the clip and the picture.
  template <typename Fn>
  void Spans(const QRect& rect, Fn fn) {
    if (!c.native_->img || c.native_->img->isNull() || rect.isEmpty()) return;
    Surface s(c.native_->img);
    QRegion rgn = CanvasOps::DeviceClip(c).intersected(rect);
    for (const QRect& r : rgn)
      for (int y = r.top(); y <= r.bottom(); ++y) fn(s, y, r.left(), r.right() + 1);
  }

  // The brush colour at a device pixel; false where a hatch leaves the pixel alone.
  bool BrushAt(int x, int y, uint32_t& out) const {
    TBrush& b = c.brush_;
    if (TBitmap* bm = b.Bitmap(); bm && !bm->Empty()) {
      QImage& img = ImageOf(*bm);
      int px = ((x % bm->Width()) + bm->Width()) % bm->Width();
      int py = ((y % bm->Height()) + bm->Height()) % bm->Height();
      uint32_t v = ToBgr(img.pixel(px, py));
      if (bm->Monochrome()) v = v ? c.bkColor_ : c.textColor_;
      out = v;
      return true;
    }
    if (b.Style() == bsClear) return false;
    if (b.Style() != bsSolid && !HatchOn(b.Style(), x, y)) return false;
    out = ColorToBGR(b.Color());
    return true;
  }

  bool BrushVisible() const { return c.brush_.Style() != bsClear || c.brush_.Bitmap(); }

  void FillBrush(const QRect& rect, TPenMode mode) {
    if (!BrushVisible()) return;
    const bool solid = !c.brush_.Bitmap() && c.brush_.Style() == bsSolid;
    const uint32_t color = ColorToBGR(c.brush_.Color());
    Spans(rect, [&](Surface& s, int y, int x0, int x1) {
      if (solid && mode == pmCopy) {
        s.SetRun(y, x0, x1, color);
        return;
      }
      for (int x = x0; x < x1; ++x) {
        uint32_t col = color;
        if (!solid && !BrushAt(x, y, col)) continue;
        s.Set(x, y, mode == pmCopy ? col : ApplyR2(mode, col, s.Get(x, y)));
      }
    });
  }

  void FillColor(const QRect& rect, uint32_t color) {
    Spans(rect, [&](Surface& s, int y, int x0, int x1) { s.SetRun(y, x0, x1, color); });
  }

  // A device pixel of the pen; on = false for the gaps of a styled pen.
  void PenPixel(Surface& s, const Clip& clip, int x, int y, bool on) {
    if (x < 0 || y < 0 || x >= c.native_->img->width() || y >= c.native_->img->height() || !clip.Contains(x, y)) return;
    uint32_t col;
    if (on) {
      col = ColorToBGR(c.pen_.Color());
    } else {
      if (!c.bkOpaque_) return;
      col = c.bkColor_;
    }
    TPenMode mode = c.pen_.Mode();
    s.Set(x, y, mode == pmCopy ? col : ApplyR2(mode, col, s.Get(x, y)));
  }

  // A one-pixel line from (x0, y0) towards (x1, y1), the last pixel left out.
  void ThinLine(int x0, int y0, int x1, int y1) {
    if (!c.native_->img || c.native_->img->isNull()) return;
    static const int kDash[] = {18, 6}, kDot[] = {3, 3}, kDashDot[] = {9, 6, 3, 6}, kDashDotDot[] = {9, 3, 3, 3, 3, 3};
    const int* pattern = nullptr;
    int plen = 0;
    switch (c.pen_.Style()) {
      case psDash:
        pattern = kDash;
        plen = 2;
        break;
      case psDot:
        pattern = kDot;
        plen = 2;
        break;
      case psDashDot:
        pattern = kDashDot;
        plen = 4;
        break;
      case psDashDotDot:
        pattern = kDashDotDot;
        plen = 6;
        break;
      default: break;
    }
    Surface s(c.native_->img);
    Clip clip(CanvasOps::DeviceClip(c));
    int seg = 0, inSeg = 0;
    LinePixels(x0, y0, x1, y1, [&](int x, int y) {
      PenPixel(s, clip, x, y, !pattern || seg % 2 == 0);
      if (pattern && ++inSeg >= pattern[seg]) {
        inSeg = 0;
        seg = (seg + 1) % plen;
      }
    });
  }

  // ---- coverage masks ---------------------------------------------------------------------------

  struct Mask {
    QImage img;  // Format_Alpha8
    QPoint at;   // device position of its top-left
  };

  template <typename Paint>
  Mask MakeMask(const QRect& deviceBounds, bool antialias, Paint paint) {
    Mask m;
    QRect b = deviceBounds.intersected(QRect(0, 0, c.native_->img->width(), c.native_->img->height()));
    if (b.isEmpty()) return m;
    m.at = b.topLeft();
    m.img = QImage(b.size(), QImage::Format_Alpha8);
    m.img.fill(0);
    QPainter p(&m.img);
    p.setRenderHint(QPainter::Antialiasing, antialias);
    p.setRenderHint(QPainter::TextAntialiasing, antialias);
    p.translate(-b.left(), -b.top());
    paint(p);
    return m;
  }

  // Lays a mask onto the target: coverage blends with copy, other modes act on half coverage.
  template <typename ColorAt>
  void Composite(const Mask& m, TPenMode mode, ColorAt colorAt) {
    if (m.img.isNull()) return;
    QRect rect(m.at, m.img.size());
    Spans(rect, [&](Surface& s, int y, int x0, int x1) {
      const uint8_t* row = m.img.constScanLine(y - m.at.y());
      for (int x = x0; x < x1; ++x) {
        int a = row[x - m.at.x()];
        if (!a) continue;
        uint32_t col;
        if (!colorAt(x, y, col)) continue;
        if (mode == pmCopy) s.Blend(x, y, col, a);
        else if (a >= 128) s.Set(x, y, ApplyR2(mode, col, s.Get(x, y)));
      }
    });
  }

  void CompositePen(const Mask& m) {
    const uint32_t col = ColorToBGR(c.pen_.Color());
    Composite(m, c.pen_.Mode(), [&](int, int, uint32_t& out) {
      out = col;
      return true;
    });
  }

  void CompositeBrush(const Mask& m) {
    if (!BrushVisible()) return;
    Composite(m, c.pen_.Mode(), [&](int x, int y, uint32_t& out) { return BrushAt(x, y, out); });
  }

  bool PenVisible() const { return c.pen_.Style() != psClear && c.pen_.Width() >= 0; }

  QPen MaskPen() const {
    QPen p(Qt::white);
    p.setWidth(std::max(1, c.pen_.Width()));
    p.setCapStyle(c.pen_.Width() > 1 ? Qt::RoundCap : Qt::SquareCap);
    p.setJoinStyle(Qt::RoundJoin);
    switch (c.pen_.Style()) {
      case psDash: p.setStyle(Qt::DashLine); break;
      case psDot: p.setStyle(Qt::DotLine); break;
      case psDashDot: p.setStyle(Qt::DashDotLine); break;
      case psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
      default: break;
    }
    return p;
  }

  QRect Grow(const QRect& r) const {
    int w = std::max(1, c.pen_.Width()) + 2;
    return r.adjusted(-w, -w, w, w);
  }

  // Filled shape and its outline, both drawn by Qt along the pixel centres of the box.
  template <typename Shape>
  void FilledShape(int l, int t, int r, int b, Shape shape) {
    if (!c.native_->img || c.native_->img->isNull()) return;
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    const bool pen = PenVisible();
    // Without a pen the shape is one pixel smaller to the right and below: the fill ends where a
    // pen's outline would begin, the pixel rule every drawing routine of the kit and the displays
    // places its shapes by.
    const QRectF box(l + c.ox_, t + c.oy_, r - l - 1, b - t - 1);
    const QRect bounds = Grow(QRect(l + c.ox_, t + c.oy_, r - l, b - t));
    if (BrushVisible()) {
      QRectF fillBox = pen ? box : QRectF(box.left() - 0.5, box.top() - 0.5, box.width(), box.height());
      Mask m = MakeMask(bounds, false, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        shape(p, fillBox, true);
      });
      CompositeBrush(m);
    }
    if (pen) {
      Mask m = MakeMask(bounds, false, [&](QPainter& p) {
        p.setPen(MaskPen());
        p.setBrush(Qt::NoBrush);
        shape(p, box, false);
      });
      CompositePen(m);
    }
  }

  // Parametric angle in degrees (Qt's measure on an ellipse) of the ray from the centre
  // through (x, y), counter-clockwise from three o'clock with y growing downwards.
  static double EllipseAngle(double cx, double cy, double rx, double ry, double x, double y) {
    if (rx <= 0 || ry <= 0) return 0;
    return std::atan2(-(y - cy) / ry, (x - cx) / rx) * 180.0 / M_PI;
  }

  // ---- text -------------------------------------------------------------------------------------

  QFont Font() const { return CanvasOps::TextFont(c); }

  // Draws one line of text with its top-left at (x, y) in logical coordinates.
  void TextLine(const QString& s, int x, int y, bool opaque, int underlineAt) {
    if (!c.native_->img || c.native_->img->isNull() || s.isEmpty()) return;
    QFont f = Font();
    QFontMetrics fm(f);
    const int w = fm.horizontalAdvance(s), h = fm.ascent() + fm.descent();
    const int angle = c.font_.Orientation();
    const int dx = x + c.ox_, dy = y + c.oy_;
    QTransform t;
    t.translate(dx, dy);
    if (angle) t.rotate(-angle / 10.0);
    const QRect cell(0, 0, w, h);
    QRect bounds = t.mapRect(QRectF(cell)).toAlignedRect().adjusted(-h, -h, h, h);
    if (opaque) {
      if (!angle) {
        FillColor(QRect(dx, dy, w, h), c.bkColor_);
      } else {
        Mask bg = MakeMask(bounds, false, [&](QPainter& p) {
          p.setTransform(t, true);
          p.fillRect(cell, Qt::white);
        });
        const uint32_t bk = c.bkColor_;
        Composite(bg, pmCopy, [&](int, int, uint32_t& out) {
          out = bk;
          return true;
        });
      }
    }
    Mask m = MakeMask(bounds, true, [&](QPainter& p) {
      p.setTransform(t, true);
      p.setFont(f);
      p.setPen(Qt::white);
      p.drawText(QPointF(0, fm.ascent()), s);
      if (underlineAt >= 0 && underlineAt < s.size()) {
        const int ux = fm.horizontalAdvance(s.left(underlineAt));
        const int uw = std::max(1, fm.horizontalAdvance(s.mid(underlineAt, 1)));
        p.fillRect(QRect(ux, fm.ascent() + 1, uw, 1), Qt::white);
      }
    });
    const uint32_t col = c.textColor_;
    Composite(m, pmCopy, [&](int, int, uint32_t& out) {
      out = col;
      return true;
    });
  }
};

// ---- TCanvas ----------------------------------------------------------------------------------

TCanvas::TCanvas() : native_(std::make_unique<Native>()) { Init(); }

TCanvas::TCanvas(TBitmap* target) : TCanvas() { SetTarget(target); }

TCanvas::~TCanvas() = default;

void TCanvas::Init() {
  textColor_ = ColorToBGR(font_.Color());
  bkColor_ = ColorToBGR(brush_.Color());
  font_.OnChange = [this](TObject*) { textColor_ = ColorToBGR(font_.Color()); };
  brush_.OnChange = [this](TObject*) {
    bkColor_ = ColorToBGR(brush_.Color());
    bkOpaque_ = brush_.Style() == bsSolid && !brush_.Bitmap();
  };
}

void TCanvas::SetTarget(TBitmap* target) { SetTargetImage(*this, target ? &ImageOf(*target) : nullptr); }

void SetTargetImage(TCanvas& c, QImage* img) { CanvasOps::Retarget(c, img); }

bool TCanvas::HandleAllocated() const { return native_->img != nullptr; }
int TCanvas::TargetWidth() const { return native_->img ? native_->img->width() : 0; }
int TCanvas::TargetHeight() const { return native_->img ? native_->img->height() : 0; }

void TCanvas::SelectClipRgn(const TRegion* rgn) {
  if (!rgn) {
    hasClip_ = false;
    native_->clip = QRegion();
    return;
  }
  native_->clip = QRegionOf(*rgn).translated(ox_, oy_);
  hasClip_ = true;
}

void TCanvas::SelectClipRect(const TRect& r) {
  TRegion rgn = TRegion::FromRect(r);
  SelectClipRgn(&rgn);
}

void TCanvas::IntersectClipRect(const TRect& r) {
  QRegion add = IsRectEmpty(r) ? QRegion() : QRegion(r.Left + ox_, r.Top + oy_, r.Width(), r.Height());
  native_->clip = hasClip_ ? native_->clip.intersected(add) : add;
  hasClip_ = true;
}

void TCanvas::ExcludeClipRect(const TRect& r) {
  if (IsRectEmpty(r)) return;
  QRegion base = CanvasOps::DeviceClip(*this);
  native_->clip = base.subtracted(QRegion(r.Left + ox_, r.Top + oy_, r.Width(), r.Height()));
  hasClip_ = true;
}

TRect TCanvas::ClipRect() const {
  QRect b = CanvasOps::DeviceClip(*this).boundingRect();
  if (b.isEmpty()) return {};
  return Rect(b.left() - ox_, b.top() - oy_, b.right() + 1 - ox_, b.bottom() + 1 - oy_);
}

bool TCanvas::RectVisible(const TRect& r) const {
  if (IsRectEmpty(r)) return false;
  return CanvasOps::DeviceClip(*this).intersects(QRect(r.Left + ox_, r.Top + oy_, r.Width(), r.Height()));
}

void TCanvas::LineTo(int x, int y) {
  CanvasOps ops(*this);
  if (ops.PenVisible() && native_->img) {
    if (pen_.Width() <= 1) {
      ops.ThinLine(penPos_.X + ox_, penPos_.Y + oy_, x + ox_, y + oy_);
    } else {
      const QPoint a(penPos_.X + ox_, penPos_.Y + oy_), b(x + ox_, y + oy_);
      auto m = ops.MakeMask(ops.Grow(QRect(a, b).normalized()), false, [&](QPainter& p) {
        p.setPen(ops.MaskPen());
        p.drawLine(QPointF(a) + QPointF(0.5, 0.5), QPointF(b) + QPointF(0.5, 0.5));
      });
      ops.CompositePen(m);
    }
  }
  penPos_ = {x, y};
}

void TCanvas::Polyline(const std::vector<TPoint>& pts) {
  if (pts.empty()) return;
  TPoint save = penPos_;
  MoveTo(pts[0].X, pts[0].Y);
  for (size_t i = 1; i < pts.size(); ++i) LineTo(pts[i].X, pts[i].Y);
  penPos_ = save;
}

void TCanvas::Polygon(const std::vector<TPoint>& pts) {
  if (pts.size() < 2 || !native_->img) return;
  CanvasOps ops(*this);
  if (ops.BrushVisible()) {
    QPolygonF poly;
    QRect bounds;
    for (auto p : pts) {
      poly << QPointF(p.X + ox_ + 0.5, p.Y + oy_ + 0.5);
      bounds |= QRect(p.X + ox_, p.Y + oy_, 1, 1);
    }
    auto m = ops.MakeMask(ops.Grow(bounds), false, [&](QPainter& p) {
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPolygon(poly, Qt::OddEvenFill);
    });
    ops.CompositeBrush(m);
  }
  if (ops.PenVisible()) {
    std::vector<TPoint> closed = pts;
    closed.push_back(pts[0]);
    Polyline(closed);
  }
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  if (!native_->img) return;
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  CanvasOps ops(*this);
  const TPenMode mode = pen_.Mode();
  if (!ops.PenVisible()) {
    ops.FillBrush(ops.ToDevice(Rect(l, t, r - 1, b - 1)), mode);
    return;
  }
  const int w = std::max(1, pen_.Width());
  ops.FillBrush(ops.ToDevice(Rect(l + w, t + w, r - w, b - w)), mode);
  if (w == 1 && r - l >= 1 && b - t >= 1) {
    // Four strokes that together touch each border pixel once (so an XOR frame draws cleanly).
    TPoint save = penPos_;
    if (r - l == 1 || b - t == 1) {
      MoveTo(l, t);
      if (r - l == 1) LineTo(l, b);
      else LineTo(r, t);
    } else {
      MoveTo(l, t);
      LineTo(r - 1, t);
      LineTo(r - 1, b - 1);
      LineTo(l, b - 1);
      LineTo(l, t);
    }
    penPos_ = save;
    return;
  }
  // A wide pen: bands of its width inside the rectangle.
  const uint32_t col = ColorToBGR(pen_.Color());
  QRegion frame =
      QRegion(ops.ToDevice(Rect(l, t, r, b))).subtracted(QRegion(ops.ToDevice(Rect(l + w, t + w, r - w, b - w))));
  for (const QRect& q : frame)
    ops.Spans(q, [&](Surface& s, int y, int x0, int x1) {
      for (int x = x0; x < x1; ++x) s.Set(x, y, mode == pmCopy ? col : ApplyR2(mode, col, s.Get(x, y)));
    });
}

void TCanvas::RoundRect(int l, int t, int r, int b, int ew, int eh) {
  CanvasOps(*this).FilledShape(
      l, t, r, b, [&](QPainter& p, const QRectF& box, bool) { p.drawRoundedRect(box, ew / 2.0, eh / 2.0); });
}

void TCanvas::Ellipse(int l, int t, int r, int b) {
  CanvasOps(*this).FilledShape(l, t, r, b, [](QPainter& p, const QRectF& box, bool) { p.drawEllipse(box); });
}

namespace {
struct ArcAngles {
  double start, span;
};
ArcAngles Angles(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
  const double cx = (l + r) / 2.0, cy = (t + b) / 2.0, rx = std::abs(r - l) / 2.0, ry = std::abs(b - t) / 2.0;
  double a3 = CanvasOps::EllipseAngle(cx, cy, rx, ry, x3, y3);
  double a4 = CanvasOps::EllipseAngle(cx, cy, rx, ry, x4, y4);
  double span = a4 - a3;
  while (span <= 0) span += 360;
  while (span > 360) span -= 360;
  return {a3, span};
}
}  // namespace

void TCanvas::Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
  CanvasOps ops(*this);
  if (!native_->img || !ops.PenVisible()) return;
  ArcAngles a = Angles(l, t, r, b, x3, y3, x4, y4);
  const QRectF box(std::min(l, r) + ox_ + 0.5, std::min(t, b) + oy_ + 0.5, std::abs(r - l) - 1, std::abs(b - t) - 1);
  auto m = ops.MakeMask(ops.Grow(box.toAlignedRect()), false, [&](QPainter& p) {
    p.setPen(ops.MaskPen());
    p.drawArc(box, int(std::lround(a.start * 16)), int(std::lround(a.span * 16)));
  });
  ops.CompositePen(m);
}

void TCanvas::Pie(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
  ArcAngles a = Angles(l, t, r, b, x3, y3, x4, y4);
  CanvasOps(*this).FilledShape(l, t, r, b, [&](QPainter& p, const QRectF& box, bool) {
    p.drawPie(box, int(std::lround(a.start * 16)), int(std::lround(a.span * 16)));
  });
}

void TCanvas::Chord(int l, int t, int r, int b, int x3, int y3, int x4, int y4) {
  ArcAngles a = Angles(l, t, r, b, x3, y3, x4, y4);
  CanvasOps(*this).FilledShape(l, t, r, b, [&](QPainter& p, const QRectF& box, bool) {
    p.drawChord(box, int(std::lround(a.start * 16)), int(std::lround(a.span * 16)));
  });
}

void TCanvas::FillRect(const TRect& r) {
  CanvasOps ops(*this);
  ops.FillBrush(ops.ToDevice(r), pmCopy);
}

void TCanvas::FrameRect(const TRect& r) {
  if (IsRectEmpty(r)) return;
  CanvasOps ops(*this);
  QRegion frame = QRegion(ops.ToDevice(r))
                      .subtracted(QRegion(ops.ToDevice(Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1))));
  for (const QRect& q : frame) ops.FillBrush(q, pmCopy);
}

void TCanvas::InvertRect(const TRect& r) {
  CanvasOps ops(*this);
  ops.Spans(ops.ToDevice(r), [](Surface& s, int y, int x0, int x1) {
    for (int x = x0; x < x1; ++x) s.Set(x, y, ~s.Get(x, y) & 0xFFFFFF);
  });
}

void TCanvas::DrawFocusRect(const TRect& r) {
  if (IsRectEmpty(r)) return;
  CanvasOps ops(*this);
  QRegion frame = QRegion(ops.ToDevice(r))
                      .subtracted(QRegion(ops.ToDevice(Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1))));
  for (const QRect& q : frame)
    ops.Spans(q, [](Surface& s, int y, int x0, int x1) {
      for (int x = x0; x < x1; ++x)
        if (((x + y) & 1) == 0) s.Set(x, y, ~s.Get(x, y) & 0xFFFFFF);
    });
}

void TCanvas::FillRgn(const TRegion& rgn) {
  CanvasOps ops(*this);
  for (const QRect& q : QRegionOf(rgn).translated(ox_, oy_)) ops.FillBrush(q, pmCopy);
}

void TCanvas::FrameRgn(const TRegion& rgn, int w, int h) {
  const QRegion a = QRegionOf(rgn);
  QRegion inner = a.intersected(a.translated(w, 0))
                      .intersected(a.translated(-w, 0))
                      .intersected(a.translated(0, h))
                      .intersected(a.translated(0, -h));
  CanvasOps ops(*this);
  for (const QRect& q : a.subtracted(inner).translated(ox_, oy_)) ops.FillBrush(q, pmCopy);
}

void TCanvas::PatBlt(int x, int y, int w, int h, int32_t rop) {
  CanvasOps ops(*this);
  const uint8_t code = uint8_t((uint32_t(rop) >> 16) & 0xFF);
  ops.Spans(ops.ToDevice(Bounds(x, y, w, h)), [&](Surface& s, int yy, int x0, int x1) {
    for (int xx = x0; xx < x1; ++xx) {
      uint32_t p = 0;
      ops.BrushAt(xx, yy, p);
      s.Set(xx, yy, ApplyRop3(code, p, 0, s.Get(xx, yy)));
    }
  });
}

TColor TCanvas::Pixels(int x, int y) const {
  if (!native_->img || native_->img->isNull()) return -1;
  const int dx = x + ox_, dy = y + oy_;
  if (dx < 0 || dy < 0 || dx >= native_->img->width() || dy >= native_->img->height()) return -1;
  if (hasClip_ && !native_->clip.contains(QPoint(dx, dy))) return -1;
  return TColor(Surface(native_->img).Get(dx, dy));
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  if (!native_->img || native_->img->isNull()) return;
  const int dx = x + ox_, dy = y + oy_;
  if (dx < 0 || dy < 0 || dx >= native_->img->width() || dy >= native_->img->height()) return;
  if (hasClip_ && !native_->clip.contains(QPoint(dx, dy))) return;
  Surface(native_->img).Set(dx, dy, ColorToBGR(c));
}

// ---- text -------------------------------------------------------------------------------------

void TCanvas::TextOut(int x, int y, const std::string& s) {
  CanvasOps(*this).TextLine(QString::fromStdString(s), x, y, bkOpaque_, -1);
  penPos_ = {x + TextWidth(s), y};
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& s) {
  const bool had = hasClip_;
  const QRegion saved = native_->clip;
  IntersectClipRect(r);
  if (bkOpaque_) {
    CanvasOps ops(*this);
    ops.FillColor(ops.ToDevice(r), bkColor_);
  }
  CanvasOps(*this).TextLine(QString::fromStdString(s), x, y, false, -1);
  hasClip_ = had;
  native_->clip = saved;
}

int TCanvas::TextWidth(const std::string& s) { return TextExtent(s).cx; }
int TCanvas::TextHeight(const std::string& s) { return TextExtent(s).cy; }

TSize TCanvas::TextExtent(const std::string& s) {
  QFontMetrics fm(CanvasOps::TextFont(*this));
  return {fm.horizontalAdvance(QString::fromStdString(s)), fm.ascent() + fm.descent()};
}

TTextMetric TCanvas::GetTextMetrics() {
  QFontMetrics fm(QtFont(font_));
  TTextMetric m;
  m.tmAscent = fm.ascent();
  m.tmDescent = fm.descent();
  m.tmHeight = m.tmAscent + m.tmDescent;
  m.tmInternalLeading = std::max(0, m.tmHeight - QtFont(font_).pixelSize());
  m.tmExternalLeading = std::max(0, fm.leading());
  m.tmAveCharWidth = fm.averageCharWidth();
  m.tmMaxCharWidth = fm.maxWidth();
  return m;
}

namespace {

struct TextLineInfo {
  QString text;
  int underline = -1;  // index of the accelerator character, -1 for none
};

// Removes the "&" prefixes: "&&" is one "&", "&x" underlines x.
TextLineInfo StripPrefix(const QString& s, bool prefixes) {
  TextLineInfo r;
  if (!prefixes) {
    r.text = s;
    return r;
  }
  for (int i = 0; i < s.size(); ++i) {
    if (s[i] == QLatin1Char('&')) {
      if (i + 1 < s.size() && s[i + 1] == QLatin1Char('&')) {
        r.text += QLatin1Char('&');
        ++i;
      } else if (i + 1 < s.size()) {
        r.underline = int(r.text.size());
      }
      continue;
    }
    r.text += s[i];
  }
  return r;
}

QString ExpandTabs(const QString& s, int tabWidth, const QFontMetrics& fm) {
  if (!s.contains(QLatin1Char('\t')) || tabWidth <= 0) return s;
  QString r;
  for (QChar ch : s) {
    if (ch != QLatin1Char('\t')) {
      r += ch;
      continue;
    }
    int w = fm.horizontalAdvance(r);
    int next = (w / tabWidth + 1) * tabWidth;
    while (fm.horizontalAdvance(r) < next) r += QLatin1Char(' ');
  }
  return r;
}

QString EndEllipsis(const QString& s, int width, const QFontMetrics& fm) {
  if (fm.horizontalAdvance(s) <= width) return s;
  const QString dots = QStringLiteral("...");
  QString t = s;
  while (!t.isEmpty() && fm.horizontalAdvance(t + dots) > width) t.chop(1);
  return t + dots;
}

QString PathEllipsis(const QString& s, int width, const QFontMetrics& fm) {
  if (fm.horizontalAdvance(s) <= width) return s;
  int sep = std::max(s.lastIndexOf(QLatin1Char('\\')), s.lastIndexOf(QLatin1Char('/')));
  if (sep < 0) return EndEllipsis(s, width, fm);
  const QString tail = s.mid(sep), dots = QStringLiteral("...");
  QString head = s.left(sep);
  while (!head.isEmpty()) {
    head.chop(1);
    if (fm.horizontalAdvance(head + dots + tail) <= width) return head + dots + tail;
  }
  return EndEllipsis(dots + tail, width, fm);
}

// Breaks one paragraph into lines no wider than width at blanks; a word that is too long stays
// whole unless editControl breaks it between characters.
std::vector<TextLineInfo> WrapParagraph(const TextLineInfo& para, int width, bool editControl, const QFontMetrics& fm) {
  std::vector<TextLineInfo> out;
  const QString& s = para.text;
  int pos = 0;
  const int n = int(s.size());
  if (n == 0) {
    out.push_back(para);
    return out;
  }
  while (pos < n) {
    int lineStart = pos, lastBreak = -1, i = pos;
    while (i < n) {
      if (s[i] == QLatin1Char(' ')) lastBreak = i;
      if (fm.horizontalAdvance(s.mid(lineStart, i - lineStart + 1)) > width && i > lineStart) break;
      ++i;
    }
    int end;
    if (i >= n) {
      end = n;
    } else if (lastBreak > lineStart) {
      end = lastBreak;
    } else if (editControl) {
      end = i;
    } else {
      // No blank to break at: the word runs on to its end.
      end = int(s.indexOf(QLatin1Char(' '), i));
      if (end < 0) end = n;
    }
    TextLineInfo line;
    line.text = s.mid(lineStart, end - lineStart);
    while (line.text.endsWith(QLatin1Char(' '))) line.text.chop(1);
    if (para.underline >= lineStart && para.underline < end) line.underline = para.underline - lineStart;
    out.push_back(line);
    pos = end;
    while (pos < n && s[pos] == QLatin1Char(' ')) ++pos;
  }
  return out;
}

}  // namespace

int TCanvas::DrawText(const std::string& str, TRect& r, uint32_t flags) {
  QFont f = CanvasOps::TextFont(*this);
  QFontMetrics fm(f);
  const TTextMetric tm = GetTextMetrics();
  const int lineH = tm.tmHeight + ((flags & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
  const int width = r.Width();
  const bool single = flags & DT_SINGLELINE;
  const bool prefixes = !(flags & DT_NOPREFIX);
  int tabWidth = 8 * std::max(1, tm.tmAveCharWidth);
  if (flags & DT_TABSTOP) tabWidth = int((flags >> 8) & 0xFF) * std::max(1, tm.tmAveCharWidth);

  QString text = QString::fromStdString(str);
  std::vector<TextLineInfo> lines;
  if (!text.isEmpty()) {
    QStringList paras;
    if (single) {
      text.remove(QLatin1Char('\r'));
      text.remove(QLatin1Char('\n'));
      paras << text;
    } else {
      QString t = text;
      t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
      t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
      paras = t.split(QLatin1Char('\n'));
      if (t.endsWith(QLatin1Char('\n'))) paras.removeLast();
    }
    for (const QString& p : paras) {
      TextLineInfo info = StripPrefix(p, prefixes);
      if (flags & DT_EXPANDTABS) info.text = ExpandTabs(info.text, tabWidth, fm);
      if ((flags & DT_WORDBREAK) && !single) {
        for (auto& l : WrapParagraph(info, std::max(width, 1), flags & DT_EDITCONTROL, fm)) lines.push_back(l);
      } else {
        lines.push_back(info);
      }
    }
  }

  const bool endEllipsis = flags & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);
  const bool pathEllipsis = flags & DT_PATH_ELLIPSIS;
  if ((endEllipsis || pathEllipsis) && !lines.empty()) {
    // Lines below the rectangle are dropped; the last one that fits says text is missing.
    if (!single && (flags & DT_WORDBREAK) && lineH > 0) {
      const size_t fit = size_t(std::max(1, r.Height() / lineH));
      if (lines.size() > fit) {
        lines.resize(fit);
        TextLineInfo& last = lines.back();
        last.text = EndEllipsis(last.text + QStringLiteral("..."), width, fm);
        if (last.text.endsWith(QLatin1String("......"))) last.text.chop(3);
      }
    }
    for (auto& l : lines) {
      if (fm.horizontalAdvance(l.text) <= width) continue;
      l.text = pathEllipsis ? PathEllipsis(l.text, width, fm) : EndEllipsis(l.text, width, fm);
      if (l.underline >= int(l.text.size()) - 3) l.underline = -1;
    }
  }

  int maxW = 0;
  for (const auto& l : lines) maxW = std::max(maxW, int(fm.horizontalAdvance(l.text)));
  const int textH = int(lines.size()) * lineH;

  if (flags & DT_CALCRECT) {
    r.Right = r.Left + maxW;
    r.Bottom = r.Top + textH;
    return textH;
  }

  int y = r.Top;
  if (single && (flags & DT_VCENTER)) y = r.Top + (r.Height() - lineH) / 2;
  if (single && (flags & DT_BOTTOM)) y = r.Bottom - lineH;

  const bool had = hasClip_;
  const QRegion saved = native_->clip;
  if (!(flags & DT_NOCLIP)) IntersectClipRect(r);
  CanvasOps ops(*this);
  for (const auto& l : lines) {
    const int lw = fm.horizontalAdvance(l.text);
    int x = r.Left;
    if (flags & DT_CENTER) x = r.Left + (width - lw) / 2;
    else if (flags & DT_RIGHT) x = r.Right - lw;
    const int ul = (flags & DT_HIDEPREFIX) ? -1 : l.underline;
    if (flags & DT_PREFIXONLY) {
      if (ul >= 0) {
        const int ux = x + fm.horizontalAdvance(l.text.left(ul));
        const int uw = std::max(1, fm.horizontalAdvance(l.text.mid(ul, 1)));
        ops.FillColor(ops.ToDevice(Bounds(ux, y + fm.ascent() + 1, uw, 1)), textColor_);
      }
    } else {
      ops.TextLine(l.text, x, y, bkOpaque_, ul);
    }
    y += lineH;
  }
  hasClip_ = had;
  native_->clip = saved;
  if (single && (flags & (DT_VCENTER | DT_BOTTOM))) return y - r.Top;
  return textH;
}

// ---- edges ------------------------------------------------------------------------------------

bool TCanvas::DrawEdge(TRect& r, uint32_t edge, uint32_t flags) {
  struct Ring {
    int lt, rb;  // system colour indices
  };
  std::vector<Ring> rings;
  const bool soft = flags & BF_SOFT;
  const uint32_t outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
  if (flags & BF_MONO) {
    if (outer || inner) rings.push_back({COLOR_WINDOWFRAME, COLOR_WINDOWFRAME});
    if (outer && inner) rings.push_back({COLOR_WINDOW, COLOR_WINDOW});
  } else if (flags & BF_FLAT) {
    if (outer || inner) rings.push_back({COLOR_BTNSHADOW, COLOR_BTNSHADOW});
    if (outer && inner) rings.push_back({COLOR_BTNFACE, COLOR_BTNFACE});
  } else {
    if (outer & BDR_RAISEDOUTER) rings.push_back({soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW});
    else if (outer & BDR_SUNKENOUTER) rings.push_back({soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT});
    if (inner & BDR_RAISEDINNER) rings.push_back({soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW});
    else if (inner & BDR_SUNKENINNER) rings.push_back({soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT});
  }
  if (flags & BF_DIAGONAL) return false;
  CanvasOps ops(*this);
  TRect in = r;
  for (const Ring& ring : rings) {
    if (IsRectEmpty(in)) break;
    const uint32_t lt = GetSysColor(ring.lt), rb = GetSysColor(ring.rb);
    const bool L = flags & BF_LEFT, T = flags & BF_TOP, R = flags & BF_RIGHT, B = flags & BF_BOTTOM;
    // Top and left in the light colour stop short of the corners the shadow sides take.
    if (T) ops.FillColor(ops.ToDevice(Rect(in.Left, in.Top, in.Right - (R ? 1 : 0), in.Top + 1)), lt);
    if (L) ops.FillColor(ops.ToDevice(Rect(in.Left, in.Top, in.Left + 1, in.Bottom - (B ? 1 : 0))), lt);
    if (B) ops.FillColor(ops.ToDevice(Rect(in.Left, in.Bottom - 1, in.Right, in.Bottom)), rb);
    if (R) ops.FillColor(ops.ToDevice(Rect(in.Right - 1, in.Top, in.Right, in.Bottom)), rb);
    if (L) ++in.Left;
    if (T) ++in.Top;
    if (R) --in.Right;
    if (B) --in.Bottom;
  }
  if ((flags & BF_MIDDLE) && !IsRectEmpty(in))
    ops.FillColor(ops.ToDevice(in), GetSysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
  if (flags & BF_ADJUST) r = in;
  return true;
}

// ---- pictures ---------------------------------------------------------------------------------

void TCanvas::Draw(int x, int y, TGraphic* g) {
  if (!g || g->Empty()) return;
  g->Draw(*this, Bounds(x, y, g->Width(), g->Height()));
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* g) {
  if (!g || g->Empty()) return;
  if (auto* bm = dynamic_cast<TBitmap*>(g); bm && !bm->Transparent()) {
    StretchBlt(r, *bm->Canvas(), Rect(0, 0, bm->Width(), bm->Height()), copyMode_);
    return;
  }
  g->Draw(*this, r);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& src, const TRect& source) {
  StretchBlt(dest, src, source, copyMode_);
}

void TCanvas::BitBlt(int x, int y, int w, int h, TCanvas& src, int sx, int sy, int32_t rop) {
  StretchBlt(Bounds(x, y, w, h), src, Bounds(sx, sy, w, h), rop);
}

void TCanvas::StretchBlt(const TRect& dest, TCanvas& src, const TRect& source, int32_t rop) {
  if (!native_->img || native_->img->isNull() || IsRectEmpty(dest)) return;
  const uint8_t code = uint8_t((uint32_t(rop) >> 16) & 0xFF);
  const bool usesSource = ((code >> 2) & 0x33) != (code & 0x33);
  QImage* simg = src.native_->img;
  if (usesSource && (!simg || simg->isNull() || source.Width() == 0 || source.Height() == 0)) return;
  // A source that is also the target is read from a copy, so overlapping moves work.
  QImage copy;
  if (usesSource && simg == native_->img) {
    copy = *simg;
    simg = &copy;
  }
  Surface in = usesSource ? Surface(simg) : Surface(native_->img);
  const bool srcMono = usesSource && in.IsMono();
  Surface probe(native_->img);
  const bool dstMono = probe.IsMono();
  const uint32_t srcBk = src.bkColor_;
  CanvasOps ops(*this);
  const int dw = dest.Width(), dh = dest.Height(), sw = source.Width(), sh = source.Height();
  ops.Spans(ops.ToDevice(dest), [&](Surface& s, int y, int x0, int x1) {
    const int ly = y - oy_ - dest.Top;
    const int syy = source.Top + int(int64_t(ly) * sh / dh) + src.oy_;
    for (int x = x0; x < x1; ++x) {
      uint32_t sv = 0;
      if (usesSource) {
        const int lx = x - ox_ - dest.Left;
        const int sxx = source.Left + int(int64_t(lx) * sw / dw) + src.ox_;
        if (sxx < 0 || syy < 0 || sxx >= simg->width() || syy >= simg->height()) continue;
        sv = in.Get(sxx, syy);
        if (srcMono && !dstMono) sv = sv ? bkColor_ : textColor_;
        else if (!srcMono && dstMono) sv = sv == srcBk ? 0xFFFFFF : 0;
      }
      uint32_t p = 0;
      if (code != 0xCC && code != 0x33 && code != 0x88 && code != 0xEE && code != 0x66) ops.BrushAt(x, y, p);
      const uint32_t d = (code == 0xCC || code == 0x33) ? 0 : s.Get(x, y);
      s.Set(x, y, ApplyRop3(code, p, sv, d));
    }
  });
}

void TCanvas::TransparentDraw(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor key) {
  TBrush saved;
  saved.Assign(&brush_);
  const uint32_t bk = bkColor_;
  const bool opaque = bkOpaque_;
  brush_.SetStyle(bsClear);
  brush_.SetBitmap(nullptr);
  BrushCopy(dest, bitmap, source, key);
  brush_.Assign(&saved);
  bkColor_ = bk;
  bkOpaque_ = opaque;
}

void TCanvas::CopyPixels(int x, int y, const TBitmap& bitmap, const TRect& source) {
  TCanvas& dst = *this;
  QImage* d = native_->img;
  const QImage& src = ImageOf(bitmap);
  const QRect from(source.Left, source.Top, source.Width(), source.Height());
  if (!d || d->isNull() || src.isNull()) return;
  QRect s = from.intersected(src.rect());
  if (s.isEmpty()) return;
  x += s.left() - from.left();
  y += s.top() - from.top();
  // The destination in logical coordinates, cut to the clip, then to device pixels.
  const TRect clip = dst.ClipRect();
  const int l = std::max(x, clip.Left), t = std::max(y, clip.Top);
  const int r = std::min(x + s.width(), clip.Right), b = std::min(y + s.height(), clip.Bottom);
  if (r <= l || b <= t) return;
  const TPoint o = dst.Origin();
  const int sx = s.left() + (l - x), sy = s.top() + (t - y);
  const int w = r - l, h = b - t;
  const int dx = l + o.X, dy = t + o.Y;
  if (Is32(d->format())) {
    uchar* base = d->bits();
    const qsizetype dstride = d->bytesPerLine(), sstride = src.bytesPerLine();
    const uchar* sbase = src.constBits();
    const QList<QRgb> table = src.format() == QImage::Format_Indexed8 ? src.colorTable() : QList<QRgb>();
    for (int row = 0; row < h; ++row) {
      QRgb* out = reinterpret_cast<QRgb*>(base + (dy + row) * dstride) + dx;
      const uchar* in = sbase + (sy + row) * sstride;
      switch (src.format()) {
        case QImage::Format_Indexed8: {
          const QRgb* tab = table.constData();
          const int n = int(table.size());
          for (int i = 0; i < w; ++i) {
            const int k = in[sx + i];
            out[i] = 0xFF000000u | (k < n ? tab[k] : 0u);
          }
          break;
        }
        case QImage::Format_BGR888:
          for (int i = 0; i < w; ++i) {
            const uchar* p = in + 3 * (sx + i);
            out[i] = qRgb(p[2], p[1], p[0]);
          }
          break;
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32_Premultiplied: std::memcpy(out, in + 4 * sx, size_t(w) * 4); break;
        default:
          for (int i = 0; i < w; ++i) out[i] = src.pixel(sx + i, sy + row) | 0xFF000000u;
          break;
      }
    }
    return;
  }
  // Any other target: through the canvas's own pixel rules.
  for (int row = 0; row < h; ++row)
    for (int i = 0; i < w; ++i) {
      const QRgb p = src.pixel(sx + i, sy + row);
      dst.SetPixel(l + i, t + row, TColor(RGB(qRed(p), qGreen(p), qBlue(p))));
    }
}

void TCanvas::CopyOut(const TRect& r, TBitmap& out) const {
  const QImage* img = native_->img;
  if (!img) {
    out.SetSize(0, 0);
    return;
  }
  AdoptImage(out, img->copy(r.Left + ox_, r.Top + oy_, r.Width(), r.Height()));
}

void TCanvas::StrokeText(int x, int y, const std::string& text, int width, TColor color) {
  QImage* img = native_->img;
  if (!img) return;
  const QFont font = CanvasOps::TextFont(*this);
  QFontMetrics fm(font);
  QPainterPath path;
  path.addText(QPointF(0, fm.ascent()), font, QString::fromStdString(text));
  const TRect clip = ClipRect();
  QPainter p(img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.translate(ox_, oy_);
  p.setClipRect(QRect(clip.Left, clip.Top, clip.Width(), clip.Height()));
  p.translate(x, y);
  const uint32_t bgr = ColorToBGR(color);
  p.setPen(QPen(QColor(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF)), std::max(width, 1)));
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
}

uint32_t* TCanvas::PixelRow(int y) {
  QImage* img = native_->img;
  if (!img || img->isNull() || !Is32(img->format()) || y < 0 || y >= img->height()) return nullptr;
  return reinterpret_cast<uint32_t*>(img->scanLine(y));
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap* bitmap, const TRect& source, TColor color) {
  if (!bitmap || bitmap->Empty() || !native_->img || IsRectEmpty(dest)) return;
  const uint32_t key = ColorToBGR(color);
  QImage* simg = &ImageOf(*bitmap);
  Surface in(simg);
  CanvasOps ops(*this);
  const int dw = dest.Width(), dh = dest.Height(), sw = source.Width(), sh = source.Height();
  if (sw == 0 || sh == 0) return;
  // The key colour takes the brush; a hollow brush leaves those pixels as they were.
  ops.Spans(ops.ToDevice(dest), [&](Surface& s, int y, int x0, int x1) {
    const int syy = source.Top + int(int64_t(y - oy_ - dest.Top) * sh / dh);
    for (int x = x0; x < x1; ++x) {
      const int sxx = source.Left + int(int64_t(x - ox_ - dest.Left) * sw / dw);
      if (sxx < 0 || syy < 0 || sxx >= simg->width() || syy >= simg->height()) continue;
      uint32_t v = in.Get(sxx, syy);
      if (v == key) {
        if (!ops.BrushAt(x, y, v)) continue;
      }
      s.Set(x, y, v);
    }
  });
}

}  // namespace plat
