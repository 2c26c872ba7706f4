#include "controls/ZelRegionMask.h"
#include "controls/ZelStreamUtils.h"
#include "platform/ui/graphics.h"

TZelRegionMask::TZelRegionMask()
    : border_(std::make_unique<plat::TBitmap>()),
      borderUp_(std::make_unique<plat::TBitmap>()),
      borderDn_(std::make_unique<plat::TBitmap>()) {
  for (auto* b : {border_.get(), borderUp_.get(), borderDn_.get()}) b->OnChange = ChangeForwarder();
}

TZelRegionMask::~TZelRegionMask() {
  for (auto* b : {border_.get(), borderUp_.get(), borderDn_.get()}) b->OnChange = nullptr;
}

void TZelRegionMask::SetRegionData(const std::string& bytes) {
  data_ = bytes;
  dataSize_ = int(bytes.size());
  Change();
}

plat::TRegion TZelRegionMask::Region() const {
  std::vector<plat::TRect> rects;
  if (!ParseRegionData(data_, rects)) return {};
  return plat::TRegion::FromRects(rects);
}

void TZelRegionMask::SetRegion(const plat::TRegion& region) {
  const std::vector<plat::TRect>& rects = region.Rects();
  SetRegionData(rects.empty() ? std::string() : BuildRegionData(rects));
}

void TZelRegionMask::WriteRegionData(plat::TStream& s) const {
  // Exactly the size the published property says, so a reader that takes that many bytes
  // ends where this ends.
  std::string bytes = data_;
  bytes.resize(size_t(dataSize_), '\0');
  s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

void TZelRegionMask::ReadRegionData(plat::TStream& s) {
  if (int64_t(dataSize_) > StreamRemaining(s)) throw plat::EReadError();
  std::string bytes(size_t(dataSize_), '\0');
  s.ReadBuffer(bytes.data(), int64_t(bytes.size()));
  data_ = std::move(bytes);
  Change();
}

plat::TBitmap* TZelRegionMask::Border(int which) const {
  return which == 1 ? borderUp_.get() : which == 2 ? borderDn_.get() : border_.get();
}

void TZelRegionMask::WriteBorder(plat::TStream& s, int which) const {
  WriteBool(s, compressed_);
  plat::TBitmap* b = Border(which);
  if (b->Empty()) WriteDataBlock(s, std::string(), compressed_);
  else WriteGraphicData(s, *b, compressed_, -1);
}

void TZelRegionMask::ReadBorder(plat::TStream& s, int which) {
  compressed_ = ReadBool(s);
  ReadGraphicData(s, *Border(which), compressed_);
}

void TZelRegionMask::Assign(plat::TPersistent* src) {
  auto* m = dynamic_cast<TZelRegionMask*>(src);
  if (!m) return TZelObject::Assign(src);
  if (m->data_.empty()) return;
  AssignNotifyingOnce([&] {
    data_ = m->data_;
    dataSize_ = m->dataSize_;
    border_->Assign(m->border_.get());
    borderUp_->Assign(m->borderUp_.get());
    borderDn_->Assign(m->borderDn_.get());
  });
}
