#include "engine/MMAntex.h"

#include <algorithm>
#include <cstring>

#include "platform/audio/riff_io.h"

namespace MMAntex {

namespace {

int16_t Step(TMMIMAChannelState& s, int code) {
  const int32_t diff = Difference(s.StepIndex, code);
  const int32_t sample = s.LastSample + ((code & 8) ? -diff : diff);
  s.LastSample = int16_t(std::clamp(sample, -32768, 32767));
  s.StepIndex = int16_t(std::clamp(s.StepIndex + plat::kImaIndexTable[code], 0, 88));
  s.Nibble = int16_t(code);
  return s.LastSample;
}

void Put16(uint8_t* p, int16_t v) { plat::PutLE16(p, uint16_t(v)); }

void DecodeStereoByte(TMMIMAState& state, uint8_t b, uint8_t* out) {
  Put16(out, Step(state.Channel[0], b >> 4));
  Put16(out + 2, Step(state.Channel[1], b & 0x0F));
}

}  // namespace

int32_t Difference(int row, int nibble) {
  return (2 * (nibble & 7) + 1) * int32_t(plat::kImaStepTable[std::clamp(row, 0, 88)]) / 8;
}

int32_t DecodeIMAMono(TMMIMAState& state, int32_t count, const void* src, void* dst) {
  return DecodeIMANibblesMono(state, count, src, dst, Step);
}

int32_t DecodeIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst) {
  count = StartIMAStereo(state, count, src, dst);
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  int32_t i = 0;
  for (; i + 1 < count; i += 2) {
    DecodeStereoByte(state, in[i + 1], out + 4 * i);
    DecodeStereoByte(state, in[i], out + 4 * i + 4);
  }
  if (i < count) DecodeStereoByte(state, in[i], out + 4 * i);
  return count * 4;
}

}  // namespace MMAntex
