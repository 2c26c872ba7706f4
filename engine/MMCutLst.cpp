#include "engine/MMCutLst.h"

#include <algorithm>

namespace {

bool StartsInside(const TMMCutRecord& r, int64_t sample) {
  return sample == r.Start || (sample > r.Start && sample < r.Start + r.Length);
}

}  // namespace

void TMMCutList::Grow() {
  int delta = capacity_ < 5 ? 4 : capacity_ < 9 ? 8 : 16;
  capacity_ += delta;
  records_.reserve(size_t(capacity_));
}

bool TMMCutList::Add(const TMMCutRecord& record) {
  for (const TMMCutRecord& r : records_)
    if (StartsInside(r, record.Start) || StartsInside(record, r.Start)) return false;
  if (Count() + 1 >= kMaxCount) throw plat::EListError();
  Changing();
  if (Count() == capacity_) Grow();
  auto at = std::upper_bound(records_.begin(), records_.end(), record.Start,
                             [](int64_t s, const TMMCutRecord& r) { return s < r.Start; });
  records_.insert(at, record);
  Changed();
  return true;
}

const TMMCutRecord& TMMCutList::Items(int index) const {
  if (index < 0 || index >= Count()) throw plat::EListError();
  return records_[size_t(index)];
}

void TMMCutList::Delete(int index) {
  if (index < 0 || index >= Count()) throw plat::EListError();
  Changing();
  records_.erase(records_.begin() + index);
  Changed();
}

void TMMCutList::Clear() {
  Changing();
  records_.clear();
  records_.shrink_to_fit();
  capacity_ = 0;
  Changed();
}

void TMMCutList::Assign(TPersistent* src) {
  auto* other = dynamic_cast<TMMCutList*>(src);
  if (!other) {
    TMMObject::Assign(src);
    return;
  }
  if (other == this) return;
  BeginUpdate();
  records_.clear();
  capacity_ = 0;
  for (const TMMCutRecord& r : other->records_) {
    if (Count() == capacity_) Grow();
    records_.push_back(r);
  }
  EndUpdate();
}

int64_t TMMCutList::TotalLength() const {
  int64_t n = 0;
  for (const TMMCutRecord& r : records_) n += r.Length;
  return n;
}

int64_t TMMCutList::TotalBytes() const {
  int64_t n = 0;
  for (const TMMCutRecord& r : records_) n += r.LengthBytes;
  return n;
}

int FindCutIndex(const TMMCutList& list, int64_t start) {
  if (list.Count() == 0) return -1;
  int lo = 0, hi = list.Count();
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (list.Items(mid).Start <= start) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

int FindCutContaining(const TMMCutList& list, int64_t sample) {
  int i = FindCutIndex(list, sample) - 1;
  if (i < 0) return -1;
  const TMMCutRecord& r = list.Items(i);
  return sample < r.Start + r.Length ? i : -1;
}
