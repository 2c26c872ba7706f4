// Fonts, pens, brushes, bitmaps and regions. The canvas is in canvas_qt.cpp.
#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <map>
#include <strings.h>

#include "platform/system/files.h"
#include "platform/ui/graphics.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/streams.h"

namespace plat {

// ---- fonts ------------------------------------------------------------------------------------

TFont::TFont() = default;

void TFont::SetName(const std::string& v) {
  if (v == name_) return;
  name_ = v;
  Changed();
}

void TFont::SetHeight(int v) {
  if (v == height_) return;
  height_ = v;
  Changed();
}

int TFont::Size() const {
  // Points = -Height * 72 / 96, rounded as the framework's MulDiv rounds.
  int64_t n = int64_t(-height_) * 72;
  int64_t q = (n >= 0 ? n + 48 : n - 48) / 96;
  return int(q);
}

void TFont::SetSize(int points) {
  int64_t n = int64_t(points) * 96;
  SetHeight(-int((n >= 0 ? n + 36 : n - 36) / 72));
}

void TFont::SetStyle(TFontStyles v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}

void TFont::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  Changed();
}

void TFont::SetPitch(TFontPitch v) {
  if (v == pitch_) return;
  pitch_ = v;
  Changed();
}

void TFont::SetCharset(int v) {
  if (v == charset_) return;
  charset_ = v;
  Changed();
}

void TFont::SetOrientation(int tenths) {
  if (tenths == orientation_) return;
  orientation_ = tenths;
  Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return name_ == o.name_ && height_ == o.height_ && style_ == o.style_ && color_ == o.color_ && pitch_ == o.pitch_ &&
         charset_ == o.charset_ && orientation_ == o.orientation_;
}

void TFont::Assign(TPersistent* src) {
  if (auto* f = dynamic_cast<TFont*>(src)) {
    if (f == this || SameAs(*f)) return;
    name_ = f->name_;
    height_ = f->height_;
    style_ = f->style_;
    color_ = f->color_;
    pitch_ = f->pitch_;
    charset_ = f->charset_;
    orientation_ = f->orientation_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(src);
}

QString MapFontFamily(const std::string& name) {
  static const std::map<std::string, const char*> kMap = {
      {"arial", "Liberation Sans"},
      {"ms sans serif", "Liberation Sans"},
      {"microsoft sans serif", "Liberation Sans"},
      {"tahoma", "Liberation Sans"},
      {"verdana", "DejaVu Sans"},
      {"helvetica", "Liberation Sans"},
      {"system", "Liberation Sans"},
      {"ms shell dlg", "Liberation Sans"},
      {"ms shell dlg 2", "Liberation Sans"},
      {"arial narrow", "Liberation Sans Narrow"},
      {"small fonts", "DejaVu Sans Condensed"},
      {"times new roman", "Liberation Serif"},
      {"times", "Liberation Serif"},
      {"ms serif", "Liberation Serif"},
      {"courier new", "Liberation Mono"},
      {"courier", "Liberation Mono"},
      {"fixedsys", "Liberation Mono"},
      {"terminal", "Liberation Mono"},
  };
  std::string key;
  for (char c : name) key += char(tolower(static_cast<unsigned char>(c)));
  auto it = kMap.find(key);
  if (it != kMap.end()) return QString::fromLatin1(it->second);
  // An installed family of that name is used as it is; anything else looks like Arial.
  QString q = QString::fromStdString(name);
  if (!q.isEmpty() && QFontDatabase::hasFamily(q)) return q;
  return QStringLiteral("Liberation Sans");
}

namespace {

// The cell height (ascent + descent) of a family per pixel of character height.
double CellRatio(const QString& family, bool bold, bool italic) {
  static std::map<QString, double> cache;
  QString key = family + (bold ? "/b" : "/") + (italic ? "i" : "");
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  QFont f(family);
  f.setPixelSize(100);
  f.setBold(bold);
  f.setItalic(italic);
  QFontMetricsF fm(f);
  double r = (fm.ascent() + fm.descent()) / 100.0;
  if (r <= 0.5) r = 1.15;
  cache[key] = r;
  return r;
}

}  // namespace

QFont QtFont(const TFont& font) {
  const int height = font.Height();
  const TFontStyles style = font.Style();
  QString family = MapFontFamily(font.Name());
  bool bold = style & fsBold, italic = style & fsItalic;
  QFont f(family);
  if (family == QLatin1String("DejaVu Sans Condensed")) {
    f.setFamily(QStringLiteral("DejaVu Sans"));
    f.setStretch(QFont::Condensed);
  }
  int px;
  if (height < 0) px = -height;
  else if (height > 0) px = std::max(1, int(std::lround(height / CellRatio(family, bold, italic))));
  else px = 11;
  f.setPixelSize(std::max(1, px));
  f.setBold(bold);
  f.setItalic(italic);
  f.setUnderline(style & fsUnderline);
  f.setStrikeOut(style & fsStrikeOut);
  f.setKerning(false);
  if (font.Pitch() == fpFixed) f.setFixedPitch(true);
  return f;
}

// ---- pens and brushes -------------------------------------------------------------------------

void TPen::SetColor(TColor v) {
  if (v == color_) return;
  color_ = v;
  Changed();
}
void TPen::SetWidth(int v) {
  if (v < 0) v = 0;
  if (v == width_) return;
  width_ = v;
  Changed();
}
void TPen::SetStyle(TPenStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}
void TPen::SetMode(TPenMode v) {
  if (v == mode_) return;
  mode_ = v;
  Changed();
}
void TPen::Assign(TPersistent* src) {
  if (auto* p = dynamic_cast<TPen*>(src)) {
    if (p == this) return;
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    mode_ = p->mode_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(src);
}

void TBrush::SetColor(TColor v) {
  // Setting a colour makes a hollow brush solid again, as the framework does.
  if (v == color_ && style_ != bsClear) return;
  color_ = v;
  if (style_ == bsClear) style_ = bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle v) {
  if (v == style_) return;
  style_ = v;
  Changed();
}
void TBrush::SetBitmap(TBitmap* b) {
  if (b == bitmap_) return;
  bitmap_ = b;
  Changed();
}
void TBrush::Assign(TPersistent* src) {
  if (auto* b = dynamic_cast<TBrush*>(src)) {
    if (b == this) return;
    color_ = b->color_;
    style_ = b->style_;
    bitmap_ = b->bitmap_;
    Changed();
    return;
  }
  TGraphicsObject::Assign(src);
}

// ---- bitmaps ----------------------------------------------------------------------------------

void TGraphic::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  Changed();
}

void TGraphic::LoadFromFile(const std::string& path) {
  TFileStream f(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& path) {
  TFileStream f(path, fmCreate);
  SaveToStream(f);
}

namespace {

QVector<QRgb> Palette8() {
  // A 6 x 6 x 6 colour cube and a grey ramp: every drawing colour has a near neighbour.
  QVector<QRgb> t;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) t.push_back(qRgb(r * 51, g * 51, b * 51));
  for (int i = 0; t.size() < 256; ++i) t.push_back(qRgb(i * 255 / 39, i * 255 / 39, i * 255 / 39));
  return t;
}

QVector<QRgb> Palette4() {
  static const uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                   0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  QVector<QRgb> t;
  for (uint32_t c : vga) t.push_back(0xFF000000 | c);
  return t;
}

QVector<QRgb> PaletteMono() { return {qRgb(0, 0, 0), qRgb(255, 255, 255)}; }

QImage Convert(const QImage& src, TPixelFormat f) {
  const Qt::ImageConversionFlags flags = Qt::ThresholdDither | Qt::AvoidDither;
  switch (f) {
    case pf1bit: return src.convertToFormat(QImage::Format_Mono, PaletteMono(), flags);
    case pf4bit: return src.convertToFormat(QImage::Format_Indexed8, Palette4(), flags);
    case pf8bit:
      if (src.format() == QImage::Format_Indexed8) return src;
      return src.convertToFormat(QImage::Format_Indexed8, Palette8(), flags);
    default: return src.convertToFormat(QtFormatOf(f));
  }
}

QImage Blank(int w, int h, TPixelFormat f) {
  QImage img;
  switch (f) {
    case pf1bit:
      img = QImage(w, h, QImage::Format_Mono);
      img.setColorTable(PaletteMono());
      img.fill(1);
      return img;
    case pf4bit:
      img = QImage(w, h, QImage::Format_Indexed8);
      img.setColorTable(Palette4());
      img.fill(15);
      return img;
    case pf8bit:
      img = QImage(w, h, QImage::Format_Indexed8);
      img.setColorTable(Palette8());
      img.fill(215);  // white in the cube
      return img;
    default:
      img = QImage(w, h, QtFormatOf(f));
      img.fill(Qt::white);
      return img;
  }
}

}  // namespace

QImage::Format QtFormatOf(TPixelFormat f) {
  switch (f) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    default: return QImage::Format_RGB32;
  }
}

struct BitmapAccess {
  static void Take(TBitmap& b, const QImage& img);
  static void Adopt(TBitmap& b, const QImage& img) {
    b.native_->image = img;
    switch (img.format()) {
      case QImage::Format_Mono: b.format_ = pf1bit; break;
      case QImage::Format_Indexed8: b.format_ = img.colorCount() <= 16 ? pf4bit : pf8bit; break;
      case QImage::Format_BGR888: b.format_ = pf24bit; break;
      case QImage::Format_RGB16: b.format_ = pf16bit; break;
      case QImage::Format_RGB555: b.format_ = pf15bit; break;
      default: b.format_ = pfDevice; break;
    }
    b.w_ = img.width();
    b.h_ = img.height();
    b.Changed();
  }
};

void SetImage(TBitmap& b, const QImage& img) { BitmapAccess::Take(b, img); }
void AdoptImage(TBitmap& b, const QImage& img) { BitmapAccess::Adopt(b, img); }

TBitmap::TBitmap() : native_(std::make_unique<Native>()) {}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int w, int h) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  if (w == w_ && h == h_) return;
  w_ = w;
  h_ = h;
  if (w == 0 || h == 0) {
    native_->image = QImage();
  } else {
    QImage img = Blank(w, h, format_);
    if (!native_->image.isNull() && native_->image.format() == img.format()) {
      if (img.format() == QImage::Format_Indexed8) img.setColorTable(native_->image.colorTable());
      const int rows = std::min(h, native_->image.height());
      const int cols = std::min(w, native_->image.width());
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
          img.setPixel(
              x, y,
              native_->image.format() == QImage::Format_Indexed8 || native_->image.format() == QImage::Format_Mono
                  ? uint(native_->image.pixelIndex(x, y))
                  : native_->image.pixel(x, y));
    }
    native_->image = img;
  }
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat f) {
  if (f == pfCustom) f = pfDevice;
  if (f == format_) return;
  format_ = f;
  if (!native_->image.isNull()) native_->image = Convert(native_->image, f);
  Changed();
}

void TBitmap::SetMonochrome(bool v) {
  if (v == Monochrome()) return;
  SetPixelFormat(v ? pf1bit : pfDevice);
}

uint8_t* TBitmap::ScanLine(int row) {
  if (Empty() || row < 0 || row >= h_) throw EInvalidGraphicOperation("Scan line index out of range");
  return native_->image.scanLine(row);
}

const uint8_t* TBitmap::ScanLine(int row) const {
  if (Empty() || row < 0 || row >= h_) throw EInvalidGraphicOperation("Scan line index out of range");
  return native_->image.constScanLine(row);
}

int TBitmap::BytesPerLine() const { return Empty() ? 0 : int(native_->image.bytesPerLine()); }

TCanvas* TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(this);
  return canvas_.get();
}

TColor TBitmap::PixelColor(int x, int y) const {
  const QRgb p = native_->image.pixel(x, y);
  return TColor(RGB(qRed(p), qGreen(p), qBlue(p)));
}

int TBitmap::PixelIndex(int x, int y) const { return native_->image.pixelIndex(x, y); }

void TBitmap::SetPixelColor(int x, int y, TColor c) {
  const uint32_t bgr = ColorToBGR(c);
  native_->image.setPixel(x, y, qRgb(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF)));
}

void TBitmap::SetPixelIndex(int x, int y, int index) { native_->image.setPixel(x, y, uint(index)); }

void TBitmap::MapToColors(const std::vector<uint32_t>& colors) {
  QList<QRgb> table;
  for (uint32_t c : colors) table.push_back(0xFF000000u | c);
  BitmapAccess::Take(
      *this, native_->image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither));
}

void TBitmap::AssignPart(const TBitmap& src, const TRect& r) {
  BitmapAccess::Take(*this, src.native_->image.copy(r.Left, r.Top, r.Width(), r.Height()));
}

std::vector<uint32_t> TBitmap::ColorTable() const {
  std::vector<uint32_t> out;
  for (QRgb c : native_->image.colorTable()) out.push_back(c & 0xFFFFFF);
  return out;
}

void TBitmap::SetExternalPixels(uint8_t* bits, int width, int height, int rowBytes, TPixelFormat format,
                                const std::vector<uint32_t>& colors) {
  const QImage::Format f = format == pf24bit  ? QImage::Format_BGR888
                           : format == pf1bit ? QImage::Format_Mono
                                              : QImage::Format_Indexed8;
  QImage view(bits, width, height, rowBytes, f);
  if (f != QImage::Format_BGR888) {
    QList<QRgb> table;
    for (uint32_t c : colors) table.push_back(0xFF000000u | c);
    view.setColorTable(table);
  }
  BitmapAccess::Take(*this, view);
}

TColor TBitmap::TransparentColor() const {
  if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (Empty()) return clDefault;
  return PixelColor(0, h_ - 1);
}

void TBitmap::SetTransparentColor(TColor c) {
  transparentColor_ = c;
  transparentMode_ = c == clDefault ? tmAuto : tmFixed;
  Changed();
}

void BitmapAccess::Take(TBitmap& b, const QImage& img) {
  QImage& image = b.native_->image;
  TPixelFormat& format_ = b.format_;
  switch (img.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      image = img.convertToFormat(QImage::Format_Mono);
      format_ = pf1bit;
      break;
    case QImage::Format_Indexed8:
      image = img;
      format_ = img.colorCount() <= 16 ? pf4bit : pf8bit;
      break;
    case QImage::Format_BGR888:
      image = img;
      format_ = pf24bit;
      break;
    case QImage::Format_RGB888:
      image = img.convertToFormat(QImage::Format_BGR888);
      format_ = pf24bit;
      break;
    case QImage::Format_RGB16:
      image = img;
      format_ = pf16bit;
      break;
    case QImage::Format_RGB555:
      image = img;
      format_ = pf15bit;
      break;
    default:
      image = img.convertToFormat(QImage::Format_RGB32);
      format_ = pfDevice;
      break;
  }
  b.w_ = image.width();
  b.h_ = image.height();
  b.Changed();
}

void TBitmap::Assign(TPersistent* src) {
  if (auto* b = dynamic_cast<TBitmap*>(src)) {
    if (b == this) return;
    native_->image = b->native_->image;
    w_ = b->w_;
    h_ = b->h_;
    format_ = b->format_;
    transparentColor_ = b->transparentColor_;
    transparentMode_ = b->transparentMode_;
    SetTransparent(b->Transparent());
    Changed();
    return;
  }
  if (!src) {
    SetSize(0, 0);
    return;
  }
  TGraphic::Assign(src);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) {
  if (Empty()) return;
  if (!Transparent()) {
    canvas.StretchDraw(r, this);
    return;
  }
  canvas.TransparentDraw(r, this, Rect(0, 0, w_, h_), TransparentColor());
}

void TBitmap::LoadFromFile(const std::string& path) { TGraphic::LoadFromFile(path); }
void TBitmap::SaveToFile(const std::string& path) { TGraphic::SaveToFile(path); }

void TBitmap::LoadFromStream(TStream& s) {
  int64_t n = s.Size() - s.Position();
  QByteArray data(int(std::max<int64_t>(n, 0)), '\0');
  if (n > 0) s.ReadBuffer(data.data(), n);
  QImage img;
  if (!img.loadFromData(data)) throw EInvalidGraphic("Bitmap image is not valid");
  // A BMP keeps its depth: Qt reads 24-bit files as 32-bit pictures.
  int bits = data.size() >= 30 && data.startsWith("BM") ? int(uint8_t(data[28])) | (int(uint8_t(data[29])) << 8) : 0;
  if (bits == 24) img = img.convertToFormat(QImage::Format_BGR888);
  plat::SetImage(*this, img);
}

void TBitmap::SaveToStream(TStream& s) {
  QByteArray data;
  QBuffer buf(&data);
  buf.open(QIODevice::WriteOnly);
  QImage out = native_->image;
  if (out.format() == QImage::Format_BGR888) out = out.convertToFormat(QImage::Format_RGB888);
  if (out.isNull()) out = QImage(1, 1, QImage::Format_RGB32);
  if (!out.save(&buf, "BMP")) throw EInvalidGraphicOperation("Cannot save the bitmap");
  s.WriteBuffer(data.constData(), data.size());
}

// ---- pictures with transparency -----------------------------------------------------------------

TPicture::TPicture() : native_(std::make_unique<Native>()) {}
TPicture::TPicture(const TBitmap& b) : TPicture() { native_->image = ImageOf(b); }
TPicture::TPicture(const TBitmap& b, TColor transparent) : TPicture() {
  const uint32_t bgr = ColorToBGR(transparent);
  native_->image = WithTransparentColor(ImageOf(b), (bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16);
}

QImage WithTransparentColor(const QImage& image, uint32_t rgb) {
  QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < argb.width(); ++x)
      if ((row[x] & 0xFFFFFF) == rgb) row[x] = 0;
  }
  return argb;
}

TPicture::TPicture(const TPicture& o) : TPicture() { native_->image = o.native_->image; }
TPicture& TPicture::operator=(const TPicture& o) {
  native_->image = o.native_->image;
  return *this;
}
TPicture::~TPicture() = default;

int TPicture::Width() const { return native_->image.width(); }
int TPicture::Height() const { return native_->image.height(); }
bool TPicture::Empty() const { return native_->image.isNull(); }
int TPicture::Depth() const { return native_->image.depth(); }

bool TPicture::CanRead(const std::string& kind) {
  return QImageReader::supportedImageFormats().contains(QByteArray(kind.c_str()));
}

bool TPicture::LoadFromFile(const std::string& path, const std::string& kind) {
  const SmallFile file = ReadSmallFile(path, PictureFileLimit);
  return LoadFromData(file.Ok() ? file.data : std::string(), kind);
}

bool TPicture::LoadFromData(const std::string& bytes, const std::string& kind) {
  QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, QByteArray(kind.c_str()));
  native_->image = reader.read();
  return !native_->image.isNull();
}

TPicture TPicture::ScaledToFit(int w, int h) const {
  TPicture out;
  out.native_->image = native_->image.scaled(w, h, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return out;
}

TPicture TPicture::Scaled(int w, int h) const {
  TPicture out;
  out.native_->image = native_->image.scaled(w, h);
  return out;
}

void TPicture::AssignTo(TBitmap& target) const { SetImage(target, native_->image); }

void TPicture::DrawOn(TBitmap& target, int x, int y) const {
  QPainter p(&ImageOf(target));
  p.drawImage(x, y, native_->image);
}

void TPicture::StretchOn(TBitmap& target, const TRect& r) const {
  QPainter p(&ImageOf(target));
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), native_->image);
}

void TPicture::FlattenOnto(TBitmap& target, TColor ground) const {
  QImage out(native_->image.size(), QImage::Format_RGB32);
  const uint32_t bgr = ColorToBGR(ground);
  out.fill(QColor(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF)));
  QPainter p(&out);
  p.drawImage(0, 0, native_->image);
  p.end();
  SetImage(target, out);
}

// ---- regions ----------------------------------------------------------------------------------

QRegion QRegionOf(const TRegion& r) {
  QRegion out;
  if (r.IsEmpty()) return out;
  std::vector<QRect> rects;
  rects.reserve(r.Rects().size());
  for (const TRect& t : r.Rects()) rects.emplace_back(t.Left, t.Top, t.Width(), t.Height());
  // The rectangles are a region's own bands already.
  out.setRects(rects.data(), int(rects.size()));
  return out;
}

struct RegionAccess {
  static TRegion From(const QRegion& q) {
    TRegion r;
    r.rects_.reserve(size_t(q.rectCount()));
    for (const QRect& t : q) r.rects_.push_back(Bounds(t.x(), t.y(), t.width(), t.height()));
    return r;
  }
};

TRegion RegionOf(const QRegion& r) { return RegionAccess::From(r); }

TRegion TRegion::FromRect(const TRect& r) {
  if (IsRectEmpty(r)) return TRegion();
  return RegionOf(QRegion(r.Left, r.Top, r.Width(), r.Height()));
}

TRegion TRegion::FromEllipse(const TRect& r) {
  if (IsRectEmpty(r)) return TRegion();
  return RegionOf(QRegion(r.Left, r.Top, r.Width(), r.Height(), QRegion::Ellipse));
}

TRegion TRegion::FromRoundRect(const TRect& r, int ew, int eh) {
  if (IsRectEmpty(r)) return TRegion();
  QPainterPath path;
  path.addRoundedRect(QRectF(r.Left, r.Top, r.Width(), r.Height()), ew / 2.0, eh / 2.0);
  return RegionOf(QRegion(path.toFillPolygon().toPolygon()));
}

TRegion TRegion::FromPolygon(const std::vector<TPoint>& pts, int fillMode) {
  QPolygon poly;
  for (auto p : pts) poly << QPoint(p.X, p.Y);
  return RegionOf(QRegion(poly, fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill));
}

TRegion TRegion::FromRects(const std::vector<TRect>& rects) {
  QRegion q;
  for (const TRect& r : rects)
    if (!IsRectEmpty(r)) q += QRect(r.Left, r.Top, r.Width(), r.Height());
  return RegionOf(q);
}

TRegion TRegion::Combine(const TRegion& a, const TRegion& b, int mode) {
  const QRegion qa = QRegionOf(a), qb = QRegionOf(b);
  switch (mode) {
    case RGN_AND: return RegionOf(qa.intersected(qb));
    case RGN_OR: return RegionOf(qa.united(qb));
    case RGN_XOR: return RegionOf(qa.xored(qb));
    case RGN_DIFF: return RegionOf(qa.subtracted(qb));
    default: return a;
  }
}

void TRegion::Offset(int dx, int dy) {
  for (TRect& r : rects_) r = plat::Bounds(r.Left + dx, r.Top + dy, r.Width(), r.Height());
}

bool TRegion::Contains(TPoint p) const {
  for (const TRect& r : rects_)
    if (PtInRect(r, p)) return true;
  return false;
}

bool TRegion::operator==(const TRegion& o) const { return rects_ == o.rects_; }

TRect TRegion::Bounds() const {
  if (rects_.empty()) return {};
  TRect b = rects_.front();
  for (const TRect& r : rects_) {
    b.Left = std::min(b.Left, r.Left);
    b.Top = std::min(b.Top, r.Top);
    b.Right = std::max(b.Right, r.Right);
    b.Bottom = std::max(b.Bottom, r.Bottom);
  }
  return b;
}

}  // namespace plat
