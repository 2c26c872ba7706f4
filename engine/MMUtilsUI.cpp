#include "engine/MMUtilsUI.h"

#include <algorithm>
#include <mutex>

#include "engine/MMUtils.h"
#include "platform/ui/forms.h"

using namespace plat;

namespace {
// The masks of the transparent copy are made and used one at a time.
std::mutex g_transparentLock;
}  // namespace

void FillSolidRect(TCanvas& dc, TColor color, const TRect& r) {
  TBrush saved;
  saved.Assign(dc.Brush());
  const uint32_t bk = dc.BkColorRGB();
  dc.Brush()->SetBitmap(nullptr);
  dc.Brush()->SetColor(color);
  dc.Brush()->SetStyle(bsSolid);
  dc.PatBlt(r.Left, r.Top, r.Width(), r.Height(), PATCOPY);
  dc.Brush()->Assign(&saved);
  dc.SetBkColor(TColor(bk));
}

void FillGradientBands(TCanvas& dc, TColor from, TColor to, const TRect& r, int n) {
  // No bands at all would divide by zero below; one band is what fewer than two give.
  if (n < 1) n = 1;
  const uint32_t a = ColorToBGR(from), b = ColorToBGR(to);
  const int w = r.Width();
  for (int i = 0; i < n; ++i) {
    uint32_t c = a;
    if (n > 1) {
      auto channel = [&](int shift) {
        const int ca = int((a >> shift) & 0xFF), cb = int((b >> shift) & 0xFF);
        return uint32_t(std::clamp(ca + MulDivRound32(i, cb - ca, n - 1), 0, 255)) << shift;
      };
      c = channel(0) | channel(8) | channel(16);
    }
    const int left = r.Left + MulDivRound32(i, w, n), right = r.Left + MulDivRound32(i + 1, w, n);
    FillSolidRect(dc, TColor(c), Rect(left, r.Top, right, r.Bottom));
  }
}

void DrawRotatedText(TCanvas& canvas, int x, int y, int alignment, int height, const std::string& fontName,
                     const std::string& text) {
  TFont saved;
  saved.Assign(canvas.Font());
  const uint32_t textColor = canvas.TextColorRGB();
  // Only the two oldest business systems took the height the other way round; this one never.
  const int fontHeight = IsWin2000 || IsWinXP ? 1 - height : height;
  canvas.Font()->SetName(fontName);
  canvas.Font()->SetHeight(fontHeight);
  // An escapement of 3600 tenths is a full turn: upright.
  canvas.Font()->SetOrientation(alignment == 2 ? 900 : 0);
  canvas.SetTextColor(TColor(textColor));
  const int tw = canvas.TextWidth(text), th = canvas.TextHeight(text);
  switch (alignment) {
    case 1: x -= tw; [[fallthrough]];
    case 0: y -= th / 2; break;
    case 2:
      x -= th / 2;
      y += tw;
      break;
    default: break;
  }
  canvas.TextOut(x, y, text);
  canvas.Font()->Assign(&saved);
  canvas.SetTextColor(TColor(textColor));
}

int BitmapWidth(const TBitmap& bitmap) { return bitmap.Width(); }
int BitmapHeight(const TBitmap& bitmap) { return bitmap.Height(); }

TColor BitmapPixelColor(const TBitmap& bitmap, int x, int y) {
  if (bitmap.Empty()) return clDefault;
  x = std::clamp(x, 0, bitmap.Width() - 1);
  y = std::clamp(y, 0, bitmap.Height() - 1);
  return bitmap.PixelColor(x, y);
}

void DrawTransparentBitmap(TCanvas& dc, int x, int y, TBitmap& bitmap, TColor transparent) {
  if (bitmap.Empty()) return;
  std::lock_guard<std::mutex> lock(g_transparentLock);
  const int w = bitmap.Width(), h = bitmap.Height();
  if (transparent == clDefault) transparent = BitmapPixelColor(bitmap, 0, h - 1);

  // The mask: white where the picture has the transparent colour, black elsewhere.
  TBitmap mask;
  mask.SetMonochrome(true);
  mask.SetSize(w, h);
  TCanvas& src = *bitmap.Canvas();
  const uint32_t srcBk = src.BkColorRGB();
  src.SetBkColor(transparent);
  mask.Canvas()->BitBlt(0, 0, w, h, src, 0, 0, SRCCOPY);
  src.SetBkColor(TColor(srcBk));

  // The picture with its transparent pixels turned black.
  TBitmap image;
  image.SetPixelFormat(pf32bit);
  image.SetSize(w, h);
  image.Canvas()->BitBlt(0, 0, w, h, src, 0, 0, SRCCOPY);
  image.Canvas()->SetTextColor(clWhite);
  image.Canvas()->SetBkColor(clBlack);
  image.Canvas()->BitBlt(0, 0, w, h, *mask.Canvas(), 0, 0, SRCAND);

  // Target AND mask keeps the background where the picture is transparent; OR lays the picture.
  const uint32_t text = dc.TextColorRGB(), bk = dc.BkColorRGB();
  dc.SetTextColor(clBlack);
  dc.SetBkColor(clWhite);
  dc.BitBlt(x, y, w, h, *mask.Canvas(), 0, 0, SRCAND);
  dc.BitBlt(x, y, w, h, *image.Canvas(), 0, 0, SRCPAINT);
  dc.SetTextColor(TColor(text));
  dc.SetBkColor(TColor(bk));
}

int GetScreenColorBits() { return plat::ScreenColorBits(); }
