#pragma once
// Applying a gain envelope to blocks of PCM as they are read.
#include <cstdint>

#include "engine/MMEnvelp.h"
#include "platform/audio/wave_types.h"

// Applies the envelope to a block of 8- or 16-bit PCM that starts at the envelope's current
// position, and moves that position on by bytes. Gains ramp linearly frame by frame between
// points; before the first point its gain holds, and so does the last point's gain after it.
// Other formats are left alone. True when a sample had to be limited.
bool ApplyEnvelope(const plat::WAVEFORMATEX* format, void* samples, int64_t bytes, TMMEnvelope& envelope);
