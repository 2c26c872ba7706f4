#pragma once
// The stored data of a window region: the region as rectangles in the old platform's layout,
// with three border pictures. The layout is kept as it is stored and turned into a region
// (ZelRegionMask_ui.cpp).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelObject.h"
#include "controls/zelcont_store.h"
#include "platform/ui/graphics.h"
#include "platform/ui/types.h"

namespace plat {
class TBitmap;
class TStream;
}  // namespace plat

// ---- region data (Qt-free) ------------------------------------------------------------------------
// A 32-byte header (header size 32, type 1 = rectangles, count, size of the rectangles, bounds)
// and count rectangles of four 32-bit edges. Parsing checks every count and size against the
// bytes, skips empty rectangles and returns false for data it cannot take.
bool ParseRegionData(const std::string& bytes, std::vector<plat::TRect>& rects);
std::string BuildRegionData(const std::vector<plat::TRect>& rects);

class TZelRegionMask : public TZelObject {
public:
  TZelRegionMask();
  ~TZelRegionMask() override;

  const std::string& RegionData() const { return data_; }
  // Sets the data and its size.
  void SetRegionData(const std::string& bytes);
  int RegionDataSize() const { return dataSize_; }
  // Only stores the number (it is read before the data, which then takes that many bytes).
  void SetRegionDataSize(int v) { dataSize_ = v < 0 ? 0 : v; }
  plat::TBitmap* BorderBmp() const { return border_.get(); }
  plat::TBitmap* BorderUpBmp() const { return borderUp_.get(); }
  plat::TBitmap* BorderDnBmp() const { return borderDn_.get(); }
  TZelSavePixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TZelSavePixelFormat v) { SetField(pixelFormat_, v); }
  bool Compressed() const { return compressed_; }
  void SetCompressed(bool v) { SetField(compressed_, v); }

  // The region the data describes (empty for none or for data that cannot be taken).
  plat::TRegion Region() const;
  void SetRegion(const plat::TRegion& r);

  // The stored properties "RegionData", "BorderBmp", "BorderUpBmp" and "BorderDnBmp".
  void WriteRegionData(plat::TStream& s) const;
  void ReadRegionData(plat::TStream& s);
  void WriteBorder(plat::TStream& s, int which) const;  // 0 border, 1 up, 2 down
  void ReadBorder(plat::TStream& s, int which);

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelRegionMask"; }

private:
  plat::TBitmap* Border(int which) const;
  std::string data_;
  int dataSize_ = 0;
  std::unique_ptr<plat::TBitmap> border_, borderUp_, borderDn_;
  TZelSavePixelFormat pixelFormat_ = spfDefault;
  bool compressed_ = false;
};
