#include "engine/MMEnvelp.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "engine/MMRegs.h"
#include "platform/system/exceptions.h"

void TMMEnvelope::AddPoint(const TMMEnvelopeRecord& point) {
  if (Count() == Capacity) Capacity += Capacity < 5 ? 4 : Capacity < 9 ? 8 : 16;
  auto at = std::upper_bound(Points.begin(), Points.end(), point.Position,
                             [](int64_t p, const TMMEnvelopeRecord& r) { return p < r.Position; });
  Points.insert(at, point);
}

void ResetEnvelope(TMMEnvelope& envelope) {
  envelope.Points.clear();
  envelope.Points.shrink_to_fit();
  envelope.Capacity = 0;
  RewindEnvelope(envelope);
}

void RewindEnvelope(TMMEnvelope& envelope) {
  envelope.CurrentIndex = 0;
  envelope.CurrentPosition = 0;
  envelope.CurrentLeft = envelope.Points.empty() ? kUnityGain : envelope.Points.front().LeftGain;
  envelope.CurrentRight = envelope.Points.empty() ? kUnityGain : envelope.Points.front().RightGain;
}

int FindEnvelopePoint(const TMMEnvelope& envelope, int64_t position) {
  auto at = std::upper_bound(envelope.Points.begin(), envelope.Points.end(), position,
                             [](int64_t p, const TMMEnvelopeRecord& r) { return p < r.Position; });
  return std::max(0, int(at - envelope.Points.begin()) - 1);
}

namespace {

void Put32(std::ostream& out, int32_t v) {
  const uint32_t u = uint32_t(v);
  const char b[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
  out.write(b, 4);
}

int32_t Get32(const unsigned char* b) {
  return int32_t(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
}

}  // namespace

void WriteEnvelopePoint(std::ostream& out, const TMMEnvelopePoint& point) {
  Put32(out, point.Position);
  Put32(out, point.Gain);
  out.put(char(point.Selected));
  if (!out) throw plat::EWriteError();
}

void ReadEnvelopePoint(std::istream& in, TMMEnvelopePoint& point) {
  unsigned char b[9];
  if (!in.read(reinterpret_cast<char*>(b), 9)) throw plat::EReadError();
  point.Position = Get32(b);
  point.Gain = Get32(b + 4);
  point.Selected = b[8];
}

void RegisterEnvelopeStreamers() {
  RegisterClassStreamer(
      "TMMEnvelopePoint",
      [](std::ostream& out, const void* obj) { WriteEnvelopePoint(out, *static_cast<const TMMEnvelopePoint*>(obj)); },
      [](std::istream& in, void* obj) { ReadEnvelopePoint(in, *static_cast<TMMEnvelopePoint*>(obj)); });
}
