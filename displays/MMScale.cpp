#include "displays/MMScale.h"

#include <algorithm>
#include <cmath>

int ScaleRowHeight(const TMMScaleLook& look) {
  int h = std::max(look.size, 1);
  if (look.connect) h += look.style == stColor ? 1 : 2;
  return h;
}

std::vector<TMMScaleLine> ScaleRowLines(const TMMScaleLook& look, const TDIBRect& r, bool firstSide) {
  std::vector<TMMScaleLine> out;
  const bool horizontal = r.Right - r.Left >= r.Bottom - r.Top;
  const int L = horizontal ? r.Right - r.Left : r.Bottom - r.Top;
  const int count = std::max(look.tickCount, 2), every = std::max(look.enlargeEvery, 1);
  const int size = std::max(look.size, 1);
  const int depth = ScaleRowHeight(look);
  const bool threeD = look.style != stColor;
  // The edge the ticks grow from and the direction they grow in, across the row.
  const int first = horizontal ? r.Top : r.Left;
  const int last = first + depth - 1;
  const bool innerIsLast = firstSide;
  const bool fromLast = (look.origin == soInner) == innerIsLast;
  const int edge = fromLast ? last : first;
  const int dir = fromLast ? -1 : 1;
  const int start = horizontal ? r.Left : r.Top;

  const bool zoned = look.style == stColor && !(look.color == look.zone2 && look.color == look.zone3) && 0 <= look.b1 &&
                     look.b1 <= look.b2 && look.b2 <= count;
  auto tickColor = [&](int i) {
    if (!zoned) return look.color;
    // Tick positions i x L / (count - 1) against boundaries b x L / count, compared exactly.
    if (int64_t(i) * count < int64_t(look.b1) * (count - 1)) return look.color;
    if (int64_t(i) * count < int64_t(look.b2) * (count - 1)) return look.zone2;
    return look.zone3;
  };
  // A line across the row at along, or along the row at across, in one or two pixels by style.
  auto add = [&](int a1, int c1, int a2, int c2, plat::TColor color, int besideAlong, int besideAcross) {
    auto put = [&](int da, int dc, plat::TColor col) {
      if (horizontal) out.push_back({a1 + da, c1 + dc, a2 + da, c2 + dc, col});
      else out.push_back({c1 + dc, a1 + da, c2 + dc, a2 + da, col});
    };
    if (!threeD) {
      put(0, 0, color);
      return;
    }
    const plat::TColor a = look.style == stLowered ? plat::clBlack : plat::clWhite;
    const plat::TColor b = look.style == stLowered ? plat::clWhite : plat::clBlack;
    put(0, 0, a);
    put(besideAlong, besideAcross, b);
  };

  int tickStart = edge;
  if (look.connect) {
    const int pieces[4] = {0, int(std::nearbyint(double(look.b1 + 1) * L / count)),
                           int(std::nearbyint(double(look.b2 + 1) * L / count)), L};
    if (zoned) {
      const plat::TColor colors[3] = {look.color, look.zone2, look.zone3};
      for (int p = 0; p < 3; ++p) {
        const int a = std::clamp(pieces[p], 0, L), b = std::clamp(pieces[p + 1], 0, L);
        if (b <= a && p < 2) continue;
        add(start + a, edge, start + (p == 2 ? b : b - 1), edge, colors[p], 0, dir);
      }
    } else {
      add(start, edge, start + L, edge, look.color, 0, dir);
    }
    tickStart = edge + dir * (threeD ? 2 : 1);
  }
  for (int i = 0; i < count; ++i) {
    const int along = start + int(std::nearbyint(double(L) / (count - 1) * i));
    const int len = i % every == 0 ? size : size / 2;
    if (len <= 0) continue;
    add(along, tickStart, along, tickStart + dir * (len - 1), tickColor(i), 1, 0);
  }
  return out;
}
