#pragma once
// A region kept the way window regions are kept: bands of rows, each band one run of rows with
// the same sorted, separate spans of columns; right and bottom edges lie outside. It is built from
// rectangles, ellipses, rounded rectangles and polygons, combined, moved and hit-tested without
// any GUI library, so window shapes are computed and checked in every build.
//
// Pixel rules: a pixel belongs to an ellipse or a polygon when its centre lies inside (on the
// edge counts for ellipses); polygons are filled by the alternate rule. Rows and columns beyond
// +-kZelRgnLimit are left out, so a damaged size cannot make a region of millions of bands.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/types.h"

constexpr int kZelRgnLimit = 1 << 20;

class TZelRgn {
public:
  struct Span {
    int Left = 0, Right = 0;
    bool operator==(const Span&) const = default;
  };
  struct Band {
    int Top = 0, Bottom = 0;
    std::vector<Span> Spans;
    bool operator==(const Band&) const = default;
  };
  enum TOp { opAnd = 1, opOr = 2, opXor = 3, opDiff = 4 };

  TZelRgn() = default;
  static TZelRgn FromRect(const plat::TRect& r);
  // Overlapping rectangles are united.
  static TZelRgn FromRects(const std::vector<plat::TRect>& rects);
  // The ellipse inscribed in the box (corners in either order).
  static TZelRgn FromEllipse(const plat::TRect& box);
  // Corners rounded by quarter ellipses of ew x eh (taken down to the rectangle's size).
  static TZelRgn FromRoundRect(const plat::TRect& r, int ew, int eh);
  static TZelRgn FromPolygon(const std::vector<plat::TPoint>& pts);
  // The stored region data of ZelRegionMask; empty for data that cannot be taken.
  static TZelRgn FromRegionData(const std::string& bytes);

  static TZelRgn Combine(const TZelRgn& a, const TZelRgn& b, TOp op);
  TZelRgn operator|(const TZelRgn& o) const { return Combine(*this, o, opOr); }
  TZelRgn operator&(const TZelRgn& o) const { return Combine(*this, o, opAnd); }
  TZelRgn operator-(const TZelRgn& o) const { return Combine(*this, o, opDiff); }
  TZelRgn operator^(const TZelRgn& o) const { return Combine(*this, o, opXor); }

  void Offset(int dx, int dy);
  TZelRgn Moved(int dx, int dy) const {
    TZelRgn r = *this;
    r.Offset(dx, dy);
    return r;
  }
  bool Contains(int x, int y) const;
  bool Contains(plat::TPoint p) const { return Contains(p.X, p.Y); }
  bool Empty() const { return bands_.empty(); }
  plat::TRect Bounds() const;
  int64_t Area() const;
  // One rectangle per span of every band, top to bottom and left to right.
  std::vector<plat::TRect> Rects() const;
  std::string RegionData() const;
  const std::vector<Band>& Bands() const { return bands_; }
  bool operator==(const TZelRgn&) const = default;

private:
  // Appends rows [top, bottom) below the last band, joining it when the spans are the same.
  void Append(int top, int bottom, std::vector<Span>&& spans);
  std::vector<Band> bands_;
};
