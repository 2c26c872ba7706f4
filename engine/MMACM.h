#pragma once
// Access to the codec manager, which the engine loads at run time and uses only when it is there
// and reports version 2.00 or later: names of formats for the wave dialogs, a PCM format for any
// format, and conversion chains that turn blocks of one format into another (directly or through
// intermediate formats), with which a connector feeds its displays PCM when the audio is not PCM.
// Without a usable codec manager names come from the engine's own table and nothing converts.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/MMPCMSup.h"
#include "platform/audio/codec_manager.h"

// Loads the library and its functions (once; the operations below load it on first use too).
void LoadCodecManager();
void UnloadCodecManager();
// Loaded, and the version's high word is 0x0200 or more.
bool CodecManagerUsable();
uint32_t CodecManagerVersion();  // 0 when absent

// Both given, with equal tag, bits, channels and rate.
bool SameWaveFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b);
// The format itself when it is PCM (pcm then holds a copy of it). Otherwise nullptr, with pcm
// filled with a PCM format that the codec manager suggests and reaches from the format directly,
// or all zero when it cannot.
const WAVEFORMATEX* SuggestPCMFormat(const WAVEFORMATEX* format, WAVEFORMATEX& pcm);
// Whether src can be turned into dst, directly or through intermediate formats.
bool CanConvertFormat(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, bool realTime);

// One step of a conversion chain.
struct TMMACMStage {
  plat::HACMSTREAM Stream = 0;
  plat::ACMSTREAMHEADER Header;
  bool Prepared = false;
  const uint8_t* In = nullptr;  // where this step's new input appears
  int32_t InSize = 0;
  std::vector<uint8_t> Source;  // left-over bytes at the front, then the new input
  int32_t LeftOver = 0;
  std::vector<uint8_t> Dest;
};

struct TMMACMConverter {
  uint8_t* Input = nullptr;  // where the caller puts a block of input
  int32_t BlockSize = 0;     // the most input of one ConvertBlock: whole source blocks
  int32_t OutputBytes = 0;   // of the last conversion
  bool SourceLeftOver = false;
  bool ConsumedWithoutOutput = false;
  std::vector<std::unique_ptr<TMMACMStage>> Stages;
  std::vector<uint8_t> OwnInput;  // when the caller gave no source buffer
  // The converted data of the last ConvertBlock (the input itself when src and dst are the same).
  const uint8_t* Output() const { return Stages.empty() ? Input : Stages.back()->Dest.data(); }
};

// A chain from src to dst for input blocks of blockSize bytes, rounded down to whole source
// blocks. The caller puts input at the converter's Input: sourceBuffer when given (it must hold
// blockSize bytes), else a buffer of the converter's own. nullptr when no conversion exists, a
// step cannot be opened, or blockSize does not hold one source block.
TMMACMConverter* CreateConverter(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, void* sourceBuffer, bool realTime,
                                 int32_t blockSize);
// Converts count bytes (cut to BlockSize) from Input through every step; the bytes of output,
// which lie at Output(), or -1 when the codec manager refuses.
int32_t ConvertBlock(TMMACMConverter* converter, int32_t count);
// Unprepares, closes and frees every step, then the converter; nullptr is allowed.
void DestroyConverter(TMMACMConverter* converter);

// The format's tag name and text: from the codec manager when it is usable and knows them, else
// FormatTagName and WaveFormatText. False (and "Unknown" twice) for no format.
bool GetFormatNames(const WAVEFORMATEX* format, std::string& tagName, std::string& formatText);
