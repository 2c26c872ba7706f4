#pragma once
// A list of points as regions store them: one 32-bit item per point, x in the high 16 bits
// (unsigned) and y in the low 16 bits (signed), so a point reads back as it was written.
#include <cstdint>
#include <vector>

#include "platform/system/component.h"
#include "platform/ui/types.h"

namespace plat {
class TStream;
}

class TZelPointList : public plat::TObject {
public:
  plat::TNotifyEvent OnChange;

  int Count() const { return int(items_.size()); }
  // Leaves p untouched for an index outside the list.
  void Get(int index, plat::TPoint& p) const;
  plat::TPoint Point(int index) const;
  // Ignored outside the list.
  void Set(int index, plat::TPoint p);
  int Add(plat::TPoint p);
  void Clear();
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  uint32_t Item(int index) const { return items_.at(size_t(index)); }
  const std::vector<uint32_t>& Items() const { return items_; }

  static uint32_t Pack(plat::TPoint p);
  static plat::TPoint Unpack(uint32_t item);
  std::string ClassName() const override { return "TZelPointList"; }

private:
  void Changed();
  std::vector<uint32_t> items_;
  int updateCount_ = 0;
};

// The stored form of a point list: the component stream's list of integers, x and y of each point
// in turn.
void WritePointListData(plat::TStream& s, const TZelPointList& list);
// The points of a stored list (a lone last value is left out); damaged data raises EReadError.
std::vector<plat::TPoint> ReadPointListData(plat::TStream& s);
