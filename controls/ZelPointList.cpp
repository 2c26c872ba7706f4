#include "controls/ZelPointList.h"

#include "platform/ui/streams.h"

namespace {
// Value kinds of the component-stream encoding.
constexpr uint8_t vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4;

void WriteInteger(plat::TStream& s, int v) {
  if (v >= -128 && v <= 127) {
    s.WriteU8(vaInt8);
    s.WriteU8(uint8_t(int8_t(v)));
  } else if (v >= -32768 && v <= 32767) {
    s.WriteU8(vaInt16);
    s.WriteU16(uint16_t(int16_t(v)));
  } else {
    s.WriteU8(vaInt32);
    s.WriteU32(uint32_t(v));
  }
}
}  // namespace

uint32_t TZelPointList::Pack(plat::TPoint p) { return uint32_t(uint16_t(p.X)) << 16 | uint16_t(p.Y); }

plat::TPoint TZelPointList::Unpack(uint32_t item) { return {int(uint16_t(item >> 16)), int(int16_t(uint16_t(item)))}; }

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

void WritePointListData(plat::TStream& s, const TZelPointList& list) {
  s.WriteU8(vaList);
  for (uint32_t item : list.Items()) {
    plat::TPoint p = TZelPointList::Unpack(item);
    WriteInteger(s, p.X);
    WriteInteger(s, p.Y);
  }
  s.WriteU8(vaNull);
}

std::vector<plat::TPoint> ReadPointListData(plat::TStream& s) {
  if (s.ReadU8() != vaList) throw plat::EReadError("Invalid property value");
  std::vector<plat::TPoint> out;
  int pending = 0;
  bool havePending = false;
  for (;;) {
    const uint8_t kind = s.ReadU8();
    if (kind == vaNull) break;
    int v = 0;
    switch (kind) {
      case vaInt8: v = int8_t(s.ReadU8()); break;
      case vaInt16: v = int16_t(s.ReadU16()); break;
      case vaInt32: v = int32_t(s.ReadU32()); break;
      default: throw plat::EReadError("Invalid property value");
    }
    // Through the list's own packing, so a point reads back as the list keeps it.
    if (havePending) out.push_back(TZelPointList::Unpack(TZelPointList::Pack({pending, v})));
    pending = v;
    havePending = !havePending;
  }
  return out;
}
