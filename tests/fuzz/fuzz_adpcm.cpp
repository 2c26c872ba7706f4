// Feeds arbitrary formats and data to the ADPCM decoders and to the converter in a pull chain:
// no decoder may read or write outside its buffers, whatever a file's format claims.
//
// Input: tag selector, channels, block align (2 bytes, little-endian), flags, source chunk
// (2 bytes), extra size, the extra bytes, then the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/MMADCvt.h"
#include "engine/MMAntex.h"
#include "platform/audio/adpcm_codec.h"

namespace {

const uint16_t kTags[] = {2, 0x11, 3, 0x33, 0x206, 1};

class BytesSource : public TMMDSPComponent {
public:
  BytesSource(const uint8_t* p, size_t n, uint32_t chunk) : p_(p), n_(n), chunk_(std::max<uint32_t>(chunk, 1)) {}
  void BufferLoad(PWaveHdr h, bool& more) override {
    const uint32_t n = uint32_t(std::min<size_t>({n_ - pos_, h->dwBufferLength, chunk_}));
    std::memcpy(h->lpData, p_ + pos_, n);
    pos_ += n;
    h->dwBytesRecorded = n;
    if (pos_ < n_) more = true;
  }

private:
  const uint8_t* p_;
  size_t n_, pos_ = 0;
  size_t chunk_;
};

void Blocks(const WAVEFORMATEX& f, std::span<const uint8_t> extra, const uint8_t* data, size_t n) {
  plat::AdpcmLayout layout;
  const bool ms = plat::ParseMsAdpcmFormat(f, extra, layout);
  if (!ms && !plat::ParseImaAdpcmFormat(f, extra, layout)) return;
  std::vector<int16_t> out(size_t(layout.SamplesPerBlock) * layout.Channels);
  for (size_t pos = 0; pos < n; pos += layout.BlockAlign) {
    const size_t room = (pos / layout.BlockAlign) % 2 ? layout.SamplesPerBlock : layout.SamplesPerBlock / 2;
    if (ms) plat::DecodeMsAdpcmBlock(layout, data + pos, n - pos, out.data(), room);
    else plat::DecodeImaAdpcmBlock(layout, data + pos, n - pos, out.data(), room);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
  if (size < 8) return 0;
  const uint16_t tag = kTags[in[0] % 6];
  const uint16_t channels = in[1] % 10;
  const uint16_t align = uint16_t(in[2] | (in[3] << 8));
  const uint8_t flags = in[4];
  const uint32_t chunk = uint32_t(in[5] | (in[6] << 8));
  const size_t cb = std::min<size_t>(in[7], size - 8);
  const uint8_t* extra = in + 8;
  const uint8_t* data = extra + cb;
  const size_t n = size - 8 - cb;

  // The format as chain components hold it: the fixed part, its extra bytes right behind.
  std::vector<uint32_t> block((sizeof(WAVEFORMATEX) + cb + 3) / 4 + 1);
  auto* f = new (block.data()) WAVEFORMATEX;
  f->wFormatTag = tag;
  f->nChannels = channels;
  f->nSamplesPerSec = (flags & 1) ? 8000 : 44100;
  f->nBlockAlign = align;
  f->wBitsPerSample = (flags & 2) ? 8 : 4;
  f->cbSize = uint16_t(cb);
  std::memcpy(f + 1, extra, cb);

  Blocks(*f, {extra, cb}, data, n);

  WAVEFORMATEX pcm;
  pcm.wFormatTag = 1;
  pcm.nChannels = channels;
  pcm.wBitsPerSample = (flags & 4) ? 8 : 16;
  std::vector<uint8_t> out(std::min<size_t>(n * 8 + 16, 1 << 20));
  DecodeMSADPCM(f, &pcm, data, int32_t(n), out.data(), int32_t(out.size()) - (flags >> 4));
  TMMIMAState st;
  st.Channel[0].StepIndex = int16_t(flags * 3);  // a state from an earlier call may be anything
  out.resize(n * 4);
  DecodeIMAStereo(st, int32_t(n), data, out.data());
  MMAntex::DecodeIMAStereo(st, int32_t(n), data, out.data());
  MMAntex::DecodeIMAMono(st, int32_t(n), data, out.data());

  BytesSource source(data, n, chunk);
  source.SetWaveFormat(f);
  TMMADPCMConverter converter;
  converter.SetBitLength((flags & 8) ? b8Bit : b16Bit);
  converter.SetInput(&source);
  try {
    converter.ChainOpen();
  } catch (const EMMADPCMError&) {
    return 0;
  }
  converter.ChainStart();
  const uint32_t want = 1 + (chunk * 7) % 9000;
  std::vector<unsigned char> hdrBlock(kWaveHdrSize + want);
  PWaveHdr h = InitWaveHdr(hdrBlock.data(), want);
  bool more = true;
  for (int guard = 0; more && guard < 10000; ++guard) {
    more = false;
    converter.BufferLoad(h, more);
    if (h->dwBytesRecorded > want) __builtin_trap();
  }
  converter.ChainStop();
  converter.ChainClose();
  return 0;
}
