#pragma once
// The IMA-style 4-bit streams of format tags 0x33 and 0x206: headerless, one nibble per sample,
// the standard IMA steps, samples limited to 16 bits.
#include <cstdint>

#include "engine/MMADPCM.h"

namespace MMAntex {

// 16-bit PCM, 4 bytes per source byte, high nibble first.
int32_t DecodeIMAMono(TMMIMAState& state, int32_t count, const void* src, void* dst);
// Bytes come in swapped pairs (the second byte of each pair first); each byte holds the left
// sample in its high nibble and the right in its low nibble. A last unpaired byte decodes alone.
int32_t DecodeIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst);
// (2n + 1) x step / 8, truncated, for step index row (0..88) and nibble n (0..7).
int32_t Difference(int row, int nibble);

}  // namespace MMAntex
