// Feeds arbitrary formats and data to the codec manager and to the engine's conversion chains:
// a format and a stream from a file must never make a conversion read or write out of bounds.
//
// Input: tag selector, channels, block align (2 bytes), rate selector, flags, piece size
// (2 bytes), extra size, the extra bytes, then the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/MMACM.h"

namespace {

const uint16_t kTags[] = {2, 0x11, 1, 0x55};
const uint32_t kRates[] = {8000, 22050, 44100, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
  if (size < 9) return 0;
  const size_t cb = std::min<size_t>(in[8], size - 9);
  std::vector<uint32_t> block((sizeof(WAVEFORMATEX) + cb + 3) / 4 + 1);
  auto* f = new (block.data()) WAVEFORMATEX;
  f->wFormatTag = kTags[in[0] % 4];
  f->nChannels = in[1] % 10;
  f->nBlockAlign = uint16_t(in[2] | (in[3] << 8));
  f->nSamplesPerSec = kRates[in[4] % 4];
  const uint8_t flags = in[5];
  f->wBitsPerSample = f->wFormatTag == 1 ? ((flags & 1) ? 8 : 16) : ((flags & 1) ? 3 : 4);
  f->cbSize = uint16_t(cb);
  std::memcpy(f + 1, in + 9, cb);
  const uint32_t piece = 1 + uint32_t(in[6] | (in[7] << 8));
  const uint8_t* data = in + 9 + cb;
  const size_t n = size - 9 - cb;

  std::string tag, text;
  GetFormatNames(f, tag, text);
  WAVEFORMATEX pcm;
  SuggestPCMFormat(f, pcm);
  WAVEFORMATEX dst;
  MakePCMFormat(dst, (flags & 2) ? 8 : 16, (flags & 4) ? 1 : std::max<int>(f->nChannels, 1), int(f->nSamplesPerSec));
  CanConvertFormat(f, &dst, flags & 8);

  // Straight through the codec manager, in pieces, with a part block at the end.
  plat::HACMSTREAM h = 0;
  if (plat::AcmStreamOpen(&h, 0, f, &dst, 0) == plat::MMSYSERR_NOERROR) {
    uint32_t out = 0;
    if (plat::AcmStreamSize(h, piece, &out, plat::ACM_STREAMSIZEF_SOURCE) == plat::MMSYSERR_NOERROR &&
        out < (16u << 20)) {
      std::vector<uint8_t> src(piece), dstBuf(out);
      plat::ACMSTREAMHEADER hdr;
      hdr.pbSrc = src.data(), hdr.cbSrcLength = piece, hdr.pbDst = dstBuf.data(), hdr.cbDstLength = out;
      plat::AcmStreamPrepareHeader(h, &hdr, 0);
      for (size_t pos = 0; pos < n; pos += piece) {
        const uint32_t k = uint32_t(std::min<size_t>(piece, n - pos));
        std::memcpy(src.data(), data + pos, k);
        hdr.cbSrcLength = k;
        const bool last = pos + k >= n;
        plat::AcmStreamConvert(h, &hdr,
                               plat::ACM_STREAMCONVERTF_BLOCKALIGN | (last ? plat::ACM_STREAMCONVERTF_END : 0));
        if (hdr.cbDstLengthUsed > hdr.cbDstLength || hdr.cbSrcLengthUsed > hdr.cbSrcLength) __builtin_trap();
      }
      hdr.cbSrcLength = piece;
      plat::AcmStreamUnprepareHeader(h, &hdr, 0);
    }
    plat::AcmStreamClose(h, 0);
  }

  // Through the engine's chain of steps.
  if (TMMACMConverter* c = CreateConverter(f, &dst, nullptr, flags & 8, int32_t(piece))) {
    for (size_t pos = 0; pos < n; pos += size_t(c->BlockSize)) {
      const int32_t k = int32_t(std::min<size_t>(size_t(c->BlockSize), n - pos));
      std::memcpy(c->Input, data + pos, size_t(k));
      ConvertBlock(c, k);
    }
    DestroyConverter(c);
  }
  return 0;
}
