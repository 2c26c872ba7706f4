#pragma once
// Gain envelopes: points of left and right gain at byte positions of a stream, with linear ramps
// between them, and the stored form of one point.
#include <cstdint>
#include <iosfwd>
#include <vector>

constexpr int32_t kUnityGain = 16384;

struct TMMEnvelopeRecord {
  int64_t Position = 0;  // bytes
  int32_t Reserved1 = 0;
  int32_t LeftGain = kUnityGain;
  int32_t RightGain = kUnityGain;
  int32_t Reserved2 = 0;
};

// The points, sorted by position, and where the last block applied left off.
struct TMMEnvelope {
  std::vector<TMMEnvelopeRecord> Points;
  int Capacity = 0;
  int CurrentIndex = 0;
  int64_t CurrentPosition = 0;
  int32_t CurrentLeft = kUnityGain;
  int32_t CurrentRight = kUnityGain;

  int Count() const { return int(Points.size()); }
  // Inserts behind any point of the same position.
  void AddPoint(const TMMEnvelopeRecord& point);
};

// Empties the envelope: no points, no storage.
void ResetEnvelope(TMMEnvelope& envelope);
// Back to the start of the stream; the points stay.
void RewindEnvelope(TMMEnvelope& envelope);
// The index of the first point after position, minus one, not below 0.
int FindEnvelopePoint(const TMMEnvelope& envelope, int64_t position);

// The stored form of one point: Position, Gain and Selected, little-endian, 9 bytes.
struct TMMEnvelopePoint {
  int32_t Position = 0;
  int32_t Gain = kUnityGain;
  uint8_t Selected = 0;
};
void WriteEnvelopePoint(std::ostream& out, const TMMEnvelopePoint& point);
// Raises EReadError when fewer than 9 bytes are there.
void ReadEnvelopePoint(std::istream& in, TMMEnvelopePoint& point);
// Enters the point's stream routines in the class registry.
void RegisterEnvelopeStreamers();
