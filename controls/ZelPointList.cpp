#include "controls/ZelPointList.h"

uint32_t TZelPointList::Pack(plat::TPoint p) {
  return uint32_t(uint16_t(p.X)) << 16 | uint16_t(p.Y);
}

plat::TPoint TZelPointList::Unpack(uint32_t item) {
  return {int(uint16_t(item >> 16)), int(int16_t(uint16_t(item)))};
}

void TZelPointList::Get(int index, plat::TPoint& p) const {
  if (index >= 0 && index < Count()) p = Unpack(items_[size_t(index)]);
}

plat::TPoint TZelPointList::Point(int index) const {
  plat::TPoint p;
  Get(index, p);
  return p;
}

void TZelPointList::Set(int index, plat::TPoint p) {
  if (index < 0 || index >= Count()) return;
  items_[size_t(index)] = Pack(p);
  Changed();
}

int TZelPointList::Add(plat::TPoint p) {
  items_.push_back(Pack(p));
  Changed();
  return Count() - 1;
}

void TZelPointList::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void TZelPointList::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
}

void TZelPointList::Changed() {
  if (updateCount_ < 1 && OnChange) {
    auto handler = OnChange;
    handler(this);
  }
}
