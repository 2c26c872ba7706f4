#include "displays/MMDIBCv_ui.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "engine/MMDIB_ui.h"
#include "platform/system/threads.h"

using namespace plat;

namespace {

// The one drawing lock of all display canvases.
std::recursive_mutex& DrawLock() {
  static std::recursive_mutex m;
  return m;
}

}  // namespace

// ---- the canvas ---------------------------------------------------------------------------------

TMMDIBCanvas::TMMDIBCanvas(TControl* owner) : owner_(owner), backGround_(std::make_unique<TBitmap>()) {
  table_ = MakeCanvasColorTable(nullptr, 0, {});
  backGround_->OnChange = [this](TObject*) { MarkRecreate(); };
  SetTarget(&view_);
}

TMMDIBCanvas::~TMMDIBCanvas() {
  backGround_->OnChange = nullptr;
  SetTarget(nullptr);
  view_.SetSize(0, 0);
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
  if (palette) logPalette_ = *palette;
  else logPalette_.reset();
}

void TMMDIBCanvas::SetBackGroundBitmap(TBitmap* b) {
  if (b) backGround_->Assign(b);
  else backGround_->SetSize(0, 0);
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
  // A fresh view rather than a changed colour table: a view another picture still shares would be
  // detached from the block by a change.
  DIBCanvasView(dib_, view_);
}

void TMMDIBCanvas::EnsureDIB() {
  if (dib_ && !recreate_) {
    // Something drew on a shared copy of the view (a shared picture is copied on write): take
    // its pixels back.
    const TBitmap& view = view_;
    if (!view.Empty() && view.ScanLine(0) != DIBBits(dib_)) {
      const int row = DIBRowBytes(int64_t(DIBWidth(dib_)) * bpp_);
      for (int y = 0; y < view.Height(); ++y)
        std::memcpy(DIBBits(dib_) + ptrdiff_t(y) * row, view.ScanLine(y), size_t(row));
      DIBCanvasView(dib_, view_);
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
  const TPixelFormat bgFormat = backGround_->PixelFormat();
  if (!source && HasBackGround() && (bgFormat == pf4bit || bgFormat == pf8bit)) {
    TLogPalette p;
    for (uint32_t c : backGround_->ColorTable())
      p.palPalEntry.push_back({uint8_t(c >> 16 & 0xFF), uint8_t(c >> 8 & 0xFF), uint8_t(c & 0xFF), 0});
    source = p;
  }
  view_.SetSize(0, 0);
  FreeDIBs();
  dib_ = fresh;
  backDib_ = back;
  table_ = MakeCanvasColorTable(source ? &*source : nullptr, animatedCount_, animated_);
  if (bpp_ == 8) WriteColorTable();
  else DIBCanvasView(dib_, view_);
  SetTarget(&view_);
  if (backDib_) LayBackGround();
}

void TMMDIBCanvas::LayBackGround() {
  const int w = DIBWidth(backDib_), h = DIBHeight(backDib_);
  TBitmap picture(w, h);
  picture.Canvas()->Brush()->SetColor(clBlack);
  picture.Canvas()->FillRect(Rect(0, 0, w, h));
  const TPicture bg(*backGround_);
  if (stretch_) {
    bg.StretchOn(picture, Rect(0, 0, w, h));
  } else {
    for (int y = 0; y < h; y += bg.Height())
      for (int x = 0; x < w; x += bg.Width()) bg.DrawOn(picture, x, y);
  }
  const int row = DIBRowBytes(int64_t(w) * bpp_);
  uint8_t* bits = DIBBits(backDib_);
  std::unordered_map<uint32_t, uint8_t> nearest;
  for (int y = 0; y < h; ++y) {
    const auto* in = reinterpret_cast<const uint32_t*>(std::as_const(picture).ScanLine(y));
    uint8_t* out = bits + ptrdiff_t(y) * row;
    for (int x = 0; x < w; ++x) {
      const uint32_t c = in[x] | 0xFF000000u;
      const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
      if (bpp_ == 24) {
        out[3 * x + 0] = b;
        out[3 * x + 1] = g;
        out[3 * x + 2] = r;
        continue;
      }
      auto it = nearest.find(c);
      if (it == nearest.end()) it = nearest.emplace(c, uint8_t(NearestColorIndex(table_, RGB(r, g, b)))).first;
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
    target_.Attach(DIBBits(dib_), backDib_ ? DIBBits(backDib_) : nullptr, bpp_, w, h, DIBRowBytes(int64_t(w) * bpp_),
                   &table_);
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

const TBitmap& TMMDIBCanvas::Image() {
  EnsureDIB();
  return view_;
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
  const TBitmap& img = Image();
  if (dst.Width() == src.Width() && dst.Height() == src.Height()) dest.CopyPixels(dst.Left, dst.Top, img, src);
  else dest.StretchBlt(dst, *this, src, SRCCOPY);
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
    if (canvasWhole_) paint();
    else Paint();
  });
  UpdateFromCanvas();
}

namespace {

bool EmptyRect(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

TRect Union(const TRect& a, const TRect& b) {
  if (EmptyRect(a)) return b;
  if (EmptyRect(b)) return a;
  return Rect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
              std::max(a.Bottom, b.Bottom));
}

}  // namespace

void TMMDirectGraphicControl::DrawBlock(const std::function<void()>& draw) {
  if (!Visible() || !Parent()) return;
  if (InHiddenPanel() || !canvasWhole_) {
    DrawDirect([] {});
    return;
  }
  drawn_ = {};
  CallGuarded(draw);
  const TRect r = drawn_;
  drawn_ = {};
  if (EmptyRect(r)) return;
  // Most blocks change what earlier blocks of the frame have already asked to be shown.
  if (r.Left >= asked_.Left && r.Top >= asked_.Top && r.Right <= asked_.Right && r.Bottom <= asked_.Bottom) return;
  asked_ = Union(asked_, r);
  UpdateFromCanvas(r);
}

void TMMDirectGraphicControl::Drawn(const TRect& r) {
  const TRect c =
      Rect(std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, Width()), std::min(r.Bottom, Height()));
  if (EmptyRect(c)) return;
  drawn_ = Union(drawn_, c);
  owed_ = Union(owed_, c);
}

void TMMDirectGraphicControl::ShowDrawnNow() {
  if (EmptyRect(owed_)) return;
  const TRect r = owed_;
  owed_ = {};
  shown_ = Union(shown_, ShowDrawn(r));
}

void TMMDirectGraphicControl::CanvasDue(TRect* part) {
  ShowDrawnNow();
  // Only when all the frame shows of the control was asked for by the blocks.
  if (part && part->Left == asked_.Left && part->Top == asked_.Top && part->Right == asked_.Right &&
      part->Bottom == asked_.Bottom)
    *part = shown_;
  asked_ = shown_ = {};
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
  if (b) backGroundDIB_->Assign(b);
  else backGroundDIB_->SetSize(0, 0);
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
