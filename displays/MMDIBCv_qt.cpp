#include "displays/MMDIBCv_qt.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "engine/MMDIB_qt.h"
#include "platform/system/threads.h"

using namespace plat;

namespace {

// The one drawing lock of all display canvases.
std::recursive_mutex& DrawLock() {
  static std::recursive_mutex m;
  return m;
}

bool Is32(QImage::Format f) {
  return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

}  // namespace

void BlitImage(TCanvas& dst, int x, int y, const QImage& src, const QRect& from) {
  QImage* d = plat::TargetOf(dst);
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
        case QImage::Format_ARGB32_Premultiplied:
          std::memcpy(out, in + 4 * sx, size_t(w) * 4);
          break;
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

// ---- the canvas ---------------------------------------------------------------------------------

TMMDIBCanvas::TMMDIBCanvas(TControl* owner) : owner_(owner), backGround_(std::make_unique<TBitmap>()) {
  table_ = MakeCanvasColorTable(nullptr, 0, {});
  backGround_->OnChange = [this](TObject*) { MarkRecreate(); };
  plat::SetTargetImage(*this, &image_);
}

TMMDIBCanvas::~TMMDIBCanvas() {
  backGround_->OnChange = nullptr;
  plat::SetTargetImage(*this, nullptr);
  image_ = QImage();
  FreeDIBs();
}

void TMMDIBCanvas::FreeDIBs() {
  FreeDIB(dib_);
  FreeDIB(backDib_);
}

void TMMDIBCanvas::MarkRecreate() {
  if (drawDepth_ > 0)
    throw EMMDIBError((owner_ ? owner_->ClassName() : ClassName()) +
                      ": Attempt to create new DIB while initialized for drawing");
  recreate_ = true;
}

void TMMDIBCanvas::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  MarkRecreate();
  width_ = width;
  height_ = height;
}

void TMMDIBCanvas::SetBitsPerPixel(int bits) {
  if (bits != 8 && bits != 24) throw EMMDIBError("Bitlength not supported yet");
  if (bits == bpp_) return;
  MarkRecreate();
  bpp_ = bits;
}

void TMMDIBCanvas::SetLogPalette(const TLogPalette* palette) {
  if (palette && (palette->palVersion < 0x300 || palette->palPalEntry.size() > 256)) return;
  MarkRecreate();
  if (palette)
    logPalette_ = *palette;
  else
    logPalette_.reset();
}

void TMMDIBCanvas::SetBackGroundBitmap(TBitmap* b) {
  if (b)
    backGround_->Assign(b);
  else
    backGround_->SetSize(0, 0);
  MarkRecreate();
}

void TMMDIBCanvas::SetStretchBackGround(bool v) {
  if (v == stretch_) return;
  if (HasBackGround()) MarkRecreate();
  stretch_ = v;
}

void TMMDIBCanvas::SetAnimatedColors(int count) {
  if (count < 0 || count > kDIBMaxAnimated) throw EMMDIBError("Invalid count of animated colors");
  if (count == animatedCount_) return;
  MarkRecreate();
  animatedCount_ = count;
  animated_.resize(size_t(count));
}

void TMMDIBCanvas::SetAnimatedColor(int i, TPaletteEntry color) {
  if (i < 0 || i >= animatedCount_) throw EMMDIBError("Invalidate animated color index");
  animated_[size_t(i)] = color;
  if (animateBatch_ > 0) {
    animatePending_ = true;
    return;
  }
  EnsureDIB();
  color.peFlags = kPaletteReserved;
  table_[size_t(AnimatedColorIndex(animatedCount_, i))] = color;
  WriteColorTable();
}

TPaletteEntry TMMDIBCanvas::AnimatedColor(int i) const {
  if (i < 0 || i >= animatedCount_) throw EMMDIBError("Invalidate animated color index");
  return animated_[size_t(i)];
}

void TMMDIBCanvas::EndAnimate() {
  if (animateBatch_ == 0 || --animateBatch_ > 0 || !animatePending_) return;
  animatePending_ = false;
  EnsureDIB();
  for (int i = 0; i < animatedCount_; ++i) {
    TPaletteEntry e = animated_[size_t(i)];
    e.peFlags = kPaletteReserved;
    table_[size_t(AnimatedColorIndex(animatedCount_, i))] = e;
  }
  WriteColorTable();
}

void TMMDIBCanvas::WriteColorTable() {
  if (!dib_ || bpp_ != 8) return;
  uint8_t* t = DIBColorTable(dib_);
  for (size_t i = 0; i < 256; ++i) {
    t[4 * i + 0] = table_[i].peBlue;
    t[4 * i + 1] = table_[i].peGreen;
    t[4 * i + 2] = table_[i].peRed;
    t[4 * i + 3] = 0;
  }
  // A fresh view rather than setColorTable: a view another image still shares would be detached
  // from the block by a change.
  image_ = DIBCanvasImage(dib_);
}

void TMMDIBCanvas::EnsureDIB() {
  if (dib_ && !recreate_) {
    // Something drew on a shared copy of the view (Qt detaches on write): take its pixels back.
    if (!image_.isNull() && image_.constBits() != DIBBits(dib_)) {
      const int row = DIBRowBytes(int64_t(DIBWidth(dib_)) * bpp_);
      for (int y = 0; y < image_.height(); ++y) std::memcpy(DIBBits(dib_) + ptrdiff_t(y) * row, image_.constScanLine(y), size_t(row));
      image_ = DIBCanvasImage(dib_);
    }
    return;
  }
  CreateDIBs();
  recreate_ = false;
}

void TMMDIBCanvas::CreateDIBs() {
  const int w = std::max(width_, 1), h = std::max(height_, 1);
  void* fresh = CreateDIB(bpp_, w, h, true);
  void* back = nullptr;
  if (!fresh) throw EMMDIBError("Unable to access DIB device context");
  if (HasBackGround()) {
    back = CreateDIB(bpp_, w, h, true);
    if (!back) {
      FreeDIB(fresh);
      throw EMMDIBError("Unable to access DIB device context");
    }
  }
  // The palette's entries come from the supplied palette, else from an 8-bit background picture.
  std::optional<TLogPalette> source = logPalette_;
  if (!source && HasBackGround() && plat::ImageOf(*backGround_).format() == QImage::Format_Indexed8) {
    TLogPalette p;
    for (QRgb c : plat::ImageOf(*backGround_).colorTable())
      p.palPalEntry.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c)), 0});
    source = p;
  }
  image_ = QImage();
  FreeDIBs();
  dib_ = fresh;
  backDib_ = back;
  table_ = MakeCanvasColorTable(source ? &*source : nullptr, animatedCount_, animated_);
  if (bpp_ == 8)
    WriteColorTable();
  else
    image_ = DIBCanvasImage(dib_);
  plat::SetTargetImage(*this, &image_);
  if (backDib_) LayBackGround();
}

void TMMDIBCanvas::LayBackGround() {
  const int w = DIBWidth(backDib_), h = DIBHeight(backDib_);
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(Qt::black);
  {
    QPainter p(&picture);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QImage& bg = plat::ImageOf(*backGround_);
    if (stretch_) {
      p.drawImage(QRect(0, 0, w, h), bg);
    } else {
      for (int y = 0; y < h; y += bg.height())
        for (int x = 0; x < w; x += bg.width()) p.drawImage(x, y, bg);
    }
  }
  const int row = DIBRowBytes(int64_t(w) * bpp_);
  uint8_t* bits = DIBBits(backDib_);
  std::unordered_map<QRgb, uint8_t> nearest;
  for (int y = 0; y < h; ++y) {
    const QRgb* in = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    uint8_t* out = bits + ptrdiff_t(y) * row;
    for (int x = 0; x < w; ++x) {
      const QRgb c = in[x] | 0xFF000000u;
      if (bpp_ == 24) {
        out[3 * x + 0] = uint8_t(qBlue(c));
        out[3 * x + 1] = uint8_t(qGreen(c));
        out[3 * x + 2] = uint8_t(qRed(c));
        continue;
      }
      auto it = nearest.find(c);
      if (it == nearest.end())
        it = nearest.emplace(c, uint8_t(NearestColorIndex(table_, RGB(qRed(c), qGreen(c), qBlue(c))))).first;
      out[x] = it->second;
    }
  }
}

TMMDIBTarget& TMMDIBCanvas::BeginDraw() {
  DrawLock().lock();
  try {
    EnsureDIB();
  } catch (...) {
    DrawLock().unlock();
    throw;
  }
  if (drawDepth_++ == 0) {
    const int w = DIBWidth(dib_), h = DIBHeight(dib_);
    target_.Attach(DIBBits(dib_), backDib_ ? DIBBits(backDib_) : nullptr, bpp_, w, h,
                   DIBRowBytes(int64_t(w) * bpp_), &table_);
  }
  return target_;
}

void TMMDIBCanvas::EndDraw() {
  if (drawDepth_ == 0) return;
  if (--drawDepth_ == 0) {
    target_.Detach();
    if (OnChange) OnChange(this);
  }
  DrawLock().unlock();
}

uint32_t TMMDIBCanvas::ColorWord(TColor c) {
  if (bpp_ != 8) return ColorToBGR(c);
  if ((uint32_t(c) >> 24) == 0x01) return uint32_t(c) & 0xFF;
  return uint32_t(NearestColorIndex(table_, ColorToBGR(c)));
}

const QImage& TMMDIBCanvas::Image() {
  EnsureDIB();
  return image_;
}

const uint8_t* TMMDIBCanvas::BackGroundBits() {
  EnsureDIB();
  return backDib_ ? DIBBits(backDib_) : nullptr;
}

bool TMMDIBCanvas::CopyBackGround() {
  TMMDIBTarget& t = BeginDraw();
  const bool has = t.BackgroundBits() != nullptr;
  if (has) t.CopyRect(0, 0, t.Width(), t.Height(), 0, 0, t.BackgroundBits());
  EndDraw();
  return has;
}

void TMMDIBCanvas::CopyTo(TCanvas& dest, const TRect& dst, const TRect& src) {
  const QImage& img = Image();
  if (dst.Width() == src.Width() && dst.Height() == src.Height())
    BlitImage(dest, dst.Left, dst.Top, img, QRect(src.Left, src.Top, src.Width(), src.Height()));
  else
    dest.StretchBlt(dst, *this, src, SRCCOPY);
}

// ---- controls that draw at once -----------------------------------------------------------------

TMMDirectGraphicControl::TMMDirectGraphicControl(TComponent* owner) : TMMGraphicControl(owner) {}

void TMMDirectGraphicControl::SetBounds(int l, int t, int w, int h) {
  if (w != Width() || h != Height()) canvasWhole_ = false;
  TMMGraphicControl::SetBounds(l, t, w, h);
}

void TMMDirectGraphicControl::DrawDirect(const std::function<void()>& paint) {
  SOLVANE_ASSERT_UI_THREAD();
  if (!Visible() || !Parent()) return;
  if (InHiddenPanel()) {
    // Nothing of it can be seen: it is painted whole, as it then stands, once the panel shows.
    if (canvasWhole_) {
      canvasWhole_ = false;
      Invalidate();
    }
    return;
  }
  CallGuarded([&] {
    if (canvasWhole_)
      paint();
    else
      Paint();
  });
  UpdateFromCanvas();
}

bool TMMDirectGraphicControl::InHiddenPanel() const {
  for (const TWinControl* p = Parent(); p && p->Parent(); p = p->Parent())
    if (!p->Visible()) return true;
  return false;
}

void TMMDirectGraphicControl::RepaintWhole() {
  canvasWhole_ = false;
  Invalidate();
}

void TMMDirectGraphicControl::MarkCanvasWhole() {
  const TRect c = Canvas()->ClipRect();
  canvasWhole_ = c.Left <= 0 && c.Top <= 0 && c.Right >= Width() && c.Bottom >= Height();
}

void TMMDirectGraphicControl::BevelChanged() {
  canvasWhole_ = false;
  TMMGraphicControl::BevelChanged();
}

void TMMDirectGraphicControl::EnabledChanged() {
  canvasWhole_ = false;
  TMMGraphicControl::EnabledChanged();
}

void TMMDirectGraphicControl::ColorChanged() {
  canvasWhole_ = false;
  TMMGraphicControl::ColorChanged();
}

void TMMDirectGraphicControl::FontChanged() {
  canvasWhole_ = false;
  TMMGraphicControl::FontChanged();
}

// ---- the DIB display base -----------------------------------------------------------------------

TMMDIBGraphicControl::TMMDIBGraphicControl(TComponent* owner)
    : TMMDirectGraphicControl(owner), dib_(new TMMDIBCanvas(this)), backGroundDIB_(std::make_unique<TBitmap>()) {
  backGroundDIB_->OnChange = [this](TObject*) { BackGroundChanged(); };
}

TMMDIBGraphicControl::~TMMDIBGraphicControl() {
  backGroundDIB_->OnChange = nullptr;
  delete dib_;
}

void TMMDIBGraphicControl::SetBounds(int l, int t, int w, int h) {
  TMMDirectGraphicControl::SetBounds(l, t, w, h);
  dib_->SetSize(w, h);
}

void TMMDIBGraphicControl::SetBitsPerPixel(int bits) {
  dib_->SetBitsPerPixel(bits);
  RepaintWhole();
}

void TMMDIBGraphicControl::ClearDIB() {
  if (dib_->CopyBackGround()) return;
  TMMDIBTarget& t = dib_->BeginDraw();
  t.SetColor(Color());
  t.Clear();
  dib_->EndDraw();
}

void TMMDIBGraphicControl::SetBackGroundDIB(TBitmap* b) {
  if (b)
    backGroundDIB_->Assign(b);
  else
    backGroundDIB_->SetSize(0, 0);
  BackGroundChanged();
}

void TMMDIBGraphicControl::SetUseBackGroundDIB(bool v) {
  v = v && !backGroundDIB_->Empty();
  if (v == useBackGroundDIB_) return;
  useBackGroundDIB_ = v;
  BackGroundChanged();
}

void TMMDIBGraphicControl::BackGroundChanged() {
  const bool content = !backGroundDIB_->Empty();
  if (IsDesigning()) {
    useBackGroundDIB_ = content;
    dib_->SetPaletteRealize(content);
    if (!content) dib_->SetPaletteMapped(false);
  }
  if (!content) useBackGroundDIB_ = false;
  dib_->SetBackGroundBitmap(useBackGroundDIB_ ? backGroundDIB_.get() : nullptr);
  RepaintWhole();
}

void TMMDIBGraphicControl::Loaded() {
  TMMDirectGraphicControl::Loaded();
  BackGroundChanged();
}
