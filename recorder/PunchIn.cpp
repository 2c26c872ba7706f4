#include "recorder/PunchIn.h"

#include <algorithm>

bool TPunchIn::MarkBegin(int64_t pos, int64_t last) {
  used_ = true;
  begin_ = BeginPassesEnd(pos) ? end_ : pos;
  beginSet_ = true;
  if (endSet_) return false;
  end_ = last;
  endSet_ = true;
  return true;
}

bool TPunchIn::MarkEnd(int64_t pos, int64_t first) {
  used_ = true;
  const bool atPos = !EndBeforeBegin(pos);
  end_ = atPos ? pos : begin_;
  endSet_ = true;
  if (!beginSet_) {
    begin_ = first;
    beginSet_ = true;
  }
  return atPos;
}

bool TPunchIn::WindForward(int64_t next) {
  if (!endSet_ || next <= end_) return false;
  end_ = next;
  return true;
}

bool TPunchIn::WindBack(int64_t next) {
  if (next >= 0 && next >= begin_) return false;
  begin_ = std::max<int64_t>(next, 0);
  return true;
}

int64_t TPunchIn::Within(int64_t pos) const {
  if (endSet_) pos = std::min(pos, end_);
  if (beginSet_) pos = std::max(pos, begin_);
  return pos;
}

void TPunchIn::SaveLimit(int64_t maxRecordTime) {
  if (fullLimit_ == 0 && maxRecordTime != 0) fullLimit_ = maxRecordTime;
}

bool TPunchIn::TakeOutroRequest() {
  const bool asked = outroRequested_;
  outroRequested_ = false;
  return asked;
}

int64_t TPunchIn::Close() {
  const int64_t giveBack = fullLimit_;
  *this = TPunchIn();
  return giveBack;
}
