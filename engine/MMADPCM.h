#pragma once
// The engine's own 4-bit ADPCM decoding, which works without the codec manager: Microsoft ADPCM
// (format tag 2) and the headerless IMA-style stream of tag 3; the formats that belong to them.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/MMObj.h"
#include "engine/MMPCMSup.h"
#include "platform/audio/adpcm_codec.h"

MM_EXCEPTION(EMMADPCMError)

constexpr uint16_t WAVE_FORMAT_ADPCM = plat::WAVE_FORMAT_ADPCM;
constexpr uint16_t WAVE_FORMAT_MEDIAVISION_ADPCM = 3;
constexpr uint16_t WAVE_FORMAT_ANTEX_ADPCME = 0x33;
constexpr uint16_t WAVE_FORMAT_ANTEX_DVI_ADPCME = 0x206;

// The cbSize extra bytes behind a format (none for PCM).
std::span<const uint8_t> FormatExtraBytes(const WAVEFORMATEX* f);

// Samples per block, the number of pairs and the seven pairs, little-endian.
constexpr uint16_t kMSADPCMExtraBytes = 32;

// Tag 2, 4 bits, 1 to 4 channels, 32 extra bytes holding samples per block and the seven
// standard pairs; the block must hold its header and the samples per block must fit in it.
bool IsMSADPCMFormat(const WAVEFORMATEX* f);
// From a valid PCM source: its Microsoft ADPCM format (false when the channels are not 1 to 4 or
// the block would not fit 16 bits). From a Microsoft ADPCM source: the PCM format of 8 or 16 bits
// (16 when given below 1) it decodes to. Rate and channels below 1 are the source's. False for
// any other source.
bool MakeADPCMFormat(const WAVEFORMATEX* source, TWaveFormatPtr& out, int bits, int rate, int channels);

// Decodes Microsoft ADPCM blocks into PCM of pcm's bits (8 or 16; its channels must be the
// source's). A partial block at the end decodes as far as its bytes go; nothing is written past
// dstSize. Returns the bytes written. A damaged block (a predictor outside the pairs) ends the
// decoding there: the blocks before it are kept and *damaged is set.
int32_t DecodeMSADPCM(const WAVEFORMATEX* adpcm, const WAVEFORMATEX* pcm, const void* src, int32_t count, void* dst,
                      int32_t dstSize, bool* damaged = nullptr);

// The state of one channel of an IMA-style decoder; it survives from one call to the next.
struct TMMIMAChannelState {
  int16_t Nibble = 0;     // the last nibble decoded
  int16_t StepIndex = 0;  // 0..88
  int16_t LastSample = 0;
};
struct TMMIMAState {
  TMMIMAChannelState Channel[2];
};

// The most source bytes one call of an IMA-style decoder takes: its output count must fit 32 bits.
constexpr int32_t kMaxIMABytes = 0x1FFFFFFF;

// One nibble of an IMA-style stream into the next sample of a channel.
using TMMIMAStep = int16_t (*)(TMMIMAChannelState& s, int code);
// A mono stream of such nibbles, high nibble first, into 16-bit PCM: 4 bytes per source byte.
// A state carried in from elsewhere has its step index brought into 0..88 first.
int32_t DecodeIMANibblesMono(TMMIMAState& state, int32_t count, const void* src, void* dst, TMMIMAStep step);
// The step index of a channel brought into 0..88.
void SanitiseIMAState(TMMIMAChannelState& s);
// The source bytes a stereo IMA-style decoder takes of count (0 without source or target, at most
// kMaxIMABytes), with both channels' step indexes brought into 0..88.
int32_t StartIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst);

// The tag 3 stream: 16-bit PCM, 4 bytes per source byte. Mono takes the high nibble first;
// stereo takes the low nibble for the left channel and the high nibble for the right. The
// sample wraps round in 16 bits, as the format's own table does in its last rows.
int32_t DecodeIMAMono(TMMIMAState& state, int32_t count, const void* src, void* dst);
int32_t DecodeIMAStereo(TMMIMAState& state, int32_t count, const void* src, void* dst);
// The tag 3 difference of step index row (0..88) and nibble (0..7).
int16_t MediaVisionDifference(int row, int nibble);

// ---- Blocks of Microsoft and IMA ADPCM (tags 2 and 0x11) as WAV files hold them ----

// The layout of a Microsoft or IMA ADPCM block format; false for any other format.
bool ADPCMBlockLayout(const WAVEFORMATEX* f, plat::AdpcmLayout& layout);
// The samples each block of such a format holds; 0 for any other format.
int32_t ADPCMSamplesPerBlock(const WAVEFORMATEX* f);

// A stream of such blocks decoded into 16-bit PCM, handed on in pieces of any size. The stream
// may start inside a block: the samples of that block before the chosen one are dropped.
class TMMADPCMBlockStream {
public:
  // The 16-bit PCM format f decodes to; false when f is no such block format.
  static bool DecodedFormat(const WAVEFORMATEX* f, WAVEFORMATEX& pcm);
  // False when f is no such block format.
  bool Open(const WAVEFORMATEX* f);
  void Close();
  bool IsOpen() const { return layout_.BlockAlign > 0; }
  // Source bytes to read at a time: whole blocks.
  int32_t ReadSize() const;
  // Drops what is held: the next block fed starts the stream, without its first skip samples.
  void Restart(int64_t skip);
  // Decodes count source bytes, whole blocks and a partial last block as far as it goes. A
  // damaged block ends the stream (until the next Restart); what came before it is kept.
  bool Feed(const uint8_t* src, int32_t count);
  bool Ended() const { return ended_; }
  // PCM bytes decoded and not yet taken.
  int32_t Held() const { return int32_t(held_.size() - taken_); }
  // Up to count bytes of what is held into dst; the bytes taken.
  int32_t Take(void* dst, int32_t count);

private:
  plat::AdpcmLayout layout_;
  bool ima_ = false;
  int64_t skip_ = 0;  // samples still to drop
  bool ended_ = false;
  std::vector<uint8_t> held_;
  size_t taken_ = 0;
  std::vector<int16_t> block_;
};
