#pragma once
// Block decoders of the two standard 4-bit ADPCM formats of WAV files: Microsoft ADPCM (tag 2) and
// IMA ADPCM (tag 0x11). The codec manager and the engine's own converter share them. Every
// decoder reads only the bytes it is given and writes only the frames it is allowed.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/audio/wave_types.h"

namespace plat {

constexpr uint16_t WAVE_FORMAT_ADPCM = 2;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x11;

struct MsAdpcmCoef {
  int16_t Coef1 = 0;
  int16_t Coef2 = 0;
};
// The seven predictor pairs every Microsoft ADPCM file carries.
extern const MsAdpcmCoef kMsAdpcmStandardCoefs[7];
extern const int16_t kMsAdpcmAdaptation[16];
// The 89 step sizes and the index moves of the IMA family.
extern const int16_t kImaStepTable[89];
extern const int8_t kImaIndexTable[16];

// What a block decoder needs to know of a format: read from its header and extra bytes.
struct AdpcmLayout {
  uint16_t Channels = 0;
  uint16_t BlockAlign = 0;
  uint16_t SamplesPerBlock = 0;    // frames per whole block
  std::vector<MsAdpcmCoef> Coefs;  // Microsoft ADPCM only
};

// Reads a Microsoft ADPCM format: 4 bits, 1 to 8 channels, extra bytes holding the samples per
// block, the number of pairs and the pairs; a block must hold its header, and the samples per
// block must fit in it. False for anything else.
bool ParseMsAdpcmFormat(const WAVEFORMATEX& f, std::span<const uint8_t> extra, AdpcmLayout& out);
// Reads an IMA ADPCM format: 4 bits, 1 to 8 channels, a block of 4-byte groups per channel after
// the headers, samples per block in the extra bytes (at most what a block holds).
bool ParseImaAdpcmFormat(const WAVEFORMATEX& f, std::span<const uint8_t> extra, AdpcmLayout& out);

// The samples per block that a block of blockAlign bytes holds.
uint32_t MsAdpcmSamplesPerBlock(uint32_t blockAlign, uint32_t channels);
uint32_t ImaAdpcmSamplesPerBlock(uint32_t blockAlign, uint32_t channels);

// Decodes one block, or the leading part of one when fewer than BlockAlign bytes are given, into
// interleaved 16-bit frames; at most maxFrames are written. Returns the frames written; 0 when not
// even the block header is there. The Microsoft decoder returns -1 for a predictor index outside
// the format's pairs (a damaged block), having written nothing.
int32_t DecodeMsAdpcmBlock(const AdpcmLayout& layout, const uint8_t* block, size_t bytes, int16_t* out,
                           size_t maxFrames);
int32_t DecodeImaAdpcmBlock(const AdpcmLayout& layout, const uint8_t* block, size_t bytes, int16_t* out,
                            size_t maxFrames);

}  // namespace plat
