#pragma once
// A sorted list of sample ranges. A wave uses one for the parts to leave out and one for the
// segments it plays.
#include <cstdint>
#include <vector>

#include "engine/MMObj.h"

// Samples and bytes are 64-bit: a range near the end of a 4 GiB file does not fit in 32 bits.
struct TMMCutRecord {
  int64_t Start = 0;  // samples
  int64_t StartBytes = 0;
  int64_t Length = 0;  // samples
  int64_t LengthBytes = 0;
  int32_t Reserved = 0;
};

class TMMCutList : public TMMObject {
public:
  static constexpr int kMaxCount = 0x8000000;

  // Inserts the record at its sorted place. Refused (false) when it would overlap a record
  // already held: when its start lies inside one, or one starts inside it.
  bool Add(const TMMCutRecord& record);
  // Raises EListError outside 0..Count-1.
  const TMMCutRecord& Items(int index) const;
  void Delete(int index);
  int Count() const { return int(records_.size()); }
  int Capacity() const { return capacity_; }
  void Clear();
  // Copies another cut list's records; any other source goes to the base.
  void Assign(TPersistent* src) override;

  // Sum of the lengths, in samples and in bytes.
  int64_t TotalLength() const;
  int64_t TotalBytes() const;

  std::string ClassName() const override { return "TMMCutList"; }

private:
  void Grow();
  std::vector<TMMCutRecord> records_;
  int capacity_ = 0;
};

// The index of the first record that starts after start; Count() when none does; -1 for an empty
// list.
int FindCutIndex(const TMMCutList& list, int64_t start);
// The index of the record with Start <= sample < Start + Length, else -1.
int FindCutContaining(const TMMCutList& list, int64_t sample);
