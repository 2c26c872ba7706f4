#include "platform/audio/codec_manager.h"

#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "platform/audio/adpcm_codec.h"
#include "platform/audio/riff_io.h"

namespace plat {

namespace {

// ---- formats ------------------------------------------------------------------------------------

std::span<const uint8_t> Extra(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag == WAVE_FORMAT_PCM || f->cbSize == 0) return {};
  return {reinterpret_cast<const uint8_t*>(f + 1), f->cbSize};
}

bool IsPcm(const WAVEFORMATEX* f) {
  return f && f->wFormatTag == WAVE_FORMAT_PCM && (f->wBitsPerSample == 8 || f->wBitsPerSample == 16) &&
         f->nChannels >= 1 && f->nChannels <= 8 && f->nSamplesPerSec > 0 &&
         f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
}

WAVEFORMATEX Pcm(uint32_t bits, uint32_t channels, uint32_t rate) {
  WAVEFORMATEX f;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = uint16_t(channels);
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = uint16_t(bits);
  f.nBlockAlign = uint16_t(channels * bits / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * rate;
  return f;
}

// What a codec of the library makes of a format: PCM, or a block-coded ADPCM with its layout.
enum class Coding { None, Pcm, MsAdpcm, ImaAdpcm };

struct Reading {
  Coding coding = Coding::None;
  AdpcmLayout layout;
};

Reading Read(const WAVEFORMATEX* f) {
  Reading r;
  if (IsPcm(f)) r.coding = Coding::Pcm;
  else if (f && ParseMsAdpcmFormat(*f, Extra(f), r.layout)) r.coding = Coding::MsAdpcm;
  else if (f && ParseImaAdpcmFormat(*f, Extra(f), r.layout)) r.coding = Coding::ImaAdpcm;
  return r;
}

// The codecs: PCM to PCM at the same rate (bits, and channels when equal or mono/stereo), and the
// two ADPCM decoders to 16-bit PCM of the same channels and rate.
bool Direct(const WAVEFORMATEX* src, const WAVEFORMATEX* dst) {
  const Reading s = Read(src);
  if (s.coding == Coding::None || !IsPcm(dst) || src->nSamplesPerSec != dst->nSamplesPerSec) return false;
  if (s.coding == Coding::Pcm) return src->nChannels == dst->nChannels || (src->nChannels <= 2 && dst->nChannels <= 2);
  return dst->wBitsPerSample == 16 && dst->nChannels == src->nChannels;
}

struct TagInfo {
  uint16_t tag;
  const char* name;
  uint32_t formatBytes;
  uint32_t support;
};
const TagInfo kTags[] = {
    {WAVE_FORMAT_PCM, "PCM", 18, ACMDRIVERDETAILS_SUPPORTF_CONVERTER},
    {WAVE_FORMAT_ADPCM, "Microsoft ADPCM", 50, ACMDRIVERDETAILS_SUPPORTF_CODEC},
    {WAVE_FORMAT_IMA_ADPCM, "IMA ADPCM", 20, ACMDRIVERDETAILS_SUPPORTF_CODEC},
};

const TagInfo* FindTag(uint32_t tag) {
  for (const auto& t : kTags)
    if (t.tag == tag) return &t;
  return nullptr;
}

void CopyText(char* dst, size_t size, const std::string& text) { std::snprintf(dst, size, "%s", text.c_str()); }

// "22,050 Hz, 4 Bit, Stereo"
std::string FormatText(const WAVEFORMATEX& f) {
  char rate[32];
  if (f.nSamplesPerSec >= 1000)
    std::snprintf(rate, sizeof rate, "%u,%03u", f.nSamplesPerSec / 1000, f.nSamplesPerSec % 1000);
  else std::snprintf(rate, sizeof rate, "%u", f.nSamplesPerSec);
  std::string channels = f.nChannels == 1   ? "Mono"
                         : f.nChannels == 2 ? "Stereo"
                                            : std::to_string(f.nChannels) + " Channels";
  return std::string(rate) + " Hz, " + std::to_string(f.wBitsPerSample) + " Bit, " + channels;
}

// ---- streams ------------------------------------------------------------------------------------

struct Prepared {
  uint8_t* src;
  uint32_t srcLength;
  uint8_t* dst;
  uint32_t dstLength;
};

struct Stream {
  std::mutex lock;
  WAVEFORMATEX src, dst;
  Reading reading;
  std::map<ACMSTREAMHEADER*, Prepared> headers;
  std::vector<int16_t> scratch;  // one decoded block
};

struct Registry {
  std::mutex lock;
  std::map<HACMSTREAM, std::shared_ptr<Stream>> streams;
  HACMSTREAM next = 1;
};

Registry& Streams() {
  static Registry* r = new Registry;  // streams may still be closed while the program ends
  return *r;
}

std::shared_ptr<Stream> Find(HACMSTREAM h) {
  auto& r = Streams();
  std::lock_guard<std::mutex> l(r.lock);
  auto it = r.streams.find(h);
  return it == r.streams.end() ? nullptr : it->second;
}

// Bytes of decoded output that one source block gives.
uint64_t BlockOutput(const Stream& s) { return uint64_t(s.reading.layout.SamplesPerBlock) * s.dst.nBlockAlign; }

void ConvertPcm(const Stream& s, const uint8_t* in, uint8_t* out, uint32_t frames) {
  const uint32_t inCh = s.src.nChannels, outCh = s.dst.nChannels;
  const bool in16 = s.src.wBitsPerSample == 16, out16 = s.dst.wBitsPerSample == 16;
  auto sample = [&](uint32_t frame, uint32_t c) -> int32_t {
    const size_t i = size_t(frame) * inCh + c;
    return in16 ? int16_t(GetLE16(in + 2 * i)) : (int32_t(in[i]) - 128) * 256;
  };
  for (uint32_t f = 0; f < frames; ++f)
    for (uint32_t c = 0; c < outCh; ++c) {
      int32_t v;
      if (inCh == outCh) v = sample(f, c);
      else if (inCh == 1) v = sample(f, 0);
      else v = (sample(f, 0) + sample(f, 1)) / 2;  // stereo to mono
      const size_t o = size_t(f) * outCh + c;
      if (out16) PutLE16(out + 2 * o, uint16_t(int16_t(v)));
      else out[o] = uint8_t(v / 256 + 128);
    }
}

// Converts what the header holds; fills its used counts.
void Convert(Stream& s, ACMSTREAMHEADER& h, uint32_t flags) {
  h.cbSrcLengthUsed = h.cbDstLengthUsed = 0;
  if (s.reading.coding == Coding::Pcm) {
    const uint32_t frames = std::min(h.cbSrcLength / s.src.nBlockAlign, h.cbDstLength / s.dst.nBlockAlign);
    ConvertPcm(s, h.pbSrc, h.pbDst, frames);
    h.cbSrcLengthUsed = frames * s.src.nBlockAlign;
    h.cbDstLengthUsed = frames * s.dst.nBlockAlign;
    return;
  }
  const AdpcmLayout& layout = s.reading.layout;
  const uint32_t frameBytes = s.dst.nBlockAlign;
  while (true) {
    const uint32_t left = h.cbSrcLength - h.cbSrcLengthUsed;
    const bool whole = left >= layout.BlockAlign;
    if (left == 0 || (!whole && !(flags & ACM_STREAMCONVERTF_END))) break;
    const uint32_t room = (h.cbDstLength - h.cbDstLengthUsed) / frameBytes;
    // A whole block goes only into room for all of it.
    if (room == 0 || (whole && room < layout.SamplesPerBlock)) break;
    const uint8_t* block = h.pbSrc + h.cbSrcLengthUsed;
    const int32_t frames = s.reading.coding == Coding::MsAdpcm
                               ? DecodeMsAdpcmBlock(layout, block, left, s.scratch.data(), room)
                               : DecodeImaAdpcmBlock(layout, block, left, s.scratch.data(), room);
    if (frames < 0) {
      // A damaged block gives silence, as long as a block would have been.
      const uint32_t n = std::min<uint32_t>(layout.SamplesPerBlock, room) * frameBytes;
      std::memset(h.pbDst + h.cbDstLengthUsed, 0, n);
      h.cbDstLengthUsed += n;
    } else {
      uint8_t* out = h.pbDst + h.cbDstLengthUsed;
      for (size_t i = 0; i < size_t(frames) * layout.Channels; ++i) PutLE16(out + 2 * i, uint16_t(s.scratch[i]));
      h.cbDstLengthUsed += uint32_t(frames) * frameBytes;
    }
    h.cbSrcLengthUsed += std::min<uint32_t>(left, layout.BlockAlign);
  }
}

// ---- the library --------------------------------------------------------------------------------

std::atomic<bool> gPresent{true};
std::atomic<uint32_t> gVersion{kCodecManagerVersion};
constexpr HCODECLIB kLibraryHandle = 0x10000;

struct Export {
  const char* name;
  CodecProc proc;
};

template <class F>
CodecProc AsProc(F* f) {
  return reinterpret_cast<CodecProc>(f);
}

const Export kExports[] = {
    {"acmGetVersion", AsProc(&AcmGetVersion)},
    {"acmFormatTagDetailsA", AsProc(&AcmFormatTagDetails)},
    {"acmFormatDetailsA", AsProc(&AcmFormatDetails)},
    {"acmFormatSuggest", AsProc(&AcmFormatSuggest)},
    {"acmStreamOpen", AsProc(&AcmStreamOpen)},
    {"acmStreamClose", AsProc(&AcmStreamClose)},
    {"acmStreamSize", AsProc(&AcmStreamSize)},
    {"acmStreamConvert", AsProc(&AcmStreamConvert)},
    {"acmStreamPrepareHeader", AsProc(&AcmStreamPrepareHeader)},
    {"acmStreamUnprepareHeader", AsProc(&AcmStreamUnprepareHeader)},
};

}  // namespace

HCODECLIB LoadCodecLibrary(const std::string& name) {
  if (!gPresent || strcasecmp(name.c_str(), kCodecManagerLibrary) != 0) return 0;
  return kLibraryHandle;
}

void FreeCodecLibrary(HCODECLIB) {}

CodecProc GetCodecProcAddress(HCODECLIB lib, const char* name) {
  if (lib != kLibraryHandle || !name) return nullptr;
  for (const auto& e : kExports)
    if (std::strcmp(e.name, name) == 0) return e.proc;
  return nullptr;
}

void SetCodecLibraryPresent(bool present) { gPresent = present; }
void SetCodecLibraryVersion(uint32_t version) { gVersion = version; }

uint32_t AcmGetVersion() { return gVersion; }

MMRESULT AcmFormatTagDetails(HACMDRIVER, ACMFORMATTAGDETAILS* d, uint32_t flags) {
  if (!d || d->cbStruct < kAcmFormatTagDetailsBytes) return MMSYSERR_INVALPARAM;
  const TagInfo* t = nullptr;
  switch (flags) {
    case ACM_FORMATTAGDETAILSF_INDEX:
      if (d->dwFormatTagIndex < std::size(kTags)) t = &kTags[d->dwFormatTagIndex];
      break;
    case ACM_FORMATTAGDETAILSF_FORMATTAG: t = FindTag(d->dwFormatTag); break;
    case ACM_FORMATTAGDETAILSF_LARGESTSIZE:
      // The tag given, or with none, the tag whose formats are largest.
      t = d->dwFormatTag == 0 ? &kTags[1] : FindTag(d->dwFormatTag);
      break;
    default: return MMSYSERR_INVALFLAG;
  }
  if (!t) return ACMERR_NOTPOSSIBLE;
  d->dwFormatTagIndex = uint32_t(t - kTags);
  d->dwFormatTag = t->tag;
  d->cbFormatSize = t->formatBytes;
  d->fdwSupport = t->support;
  d->cStandardFormats = 0;
  CopyText(d->szFormatTag, sizeof d->szFormatTag, t->name);
  return MMSYSERR_NOERROR;
}

MMRESULT AcmFormatDetails(HACMDRIVER, ACMFORMATDETAILS* d, uint32_t flags) {
  if (!d || d->cbStruct < kAcmFormatDetailsBytes) return MMSYSERR_INVALPARAM;
  if (flags != ACM_FORMATDETAILSF_FORMAT) return MMSYSERR_INVALFLAG;  // no format lists
  const WAVEFORMATEX* f = d->pwfx;
  if (!f || d->cbwfx < kWaveFormatExBytes) return MMSYSERR_INVALPARAM;
  // The extra bytes that the caller says are there must be all the format announces.
  if (f->wFormatTag != WAVE_FORMAT_PCM && d->cbwfx < kWaveFormatExBytes + f->cbSize) return MMSYSERR_INVALPARAM;
  const TagInfo* t = FindTag(f->wFormatTag);
  if (!t || Read(f).coding == Coding::None) return ACMERR_NOTPOSSIBLE;
  d->dwFormatTag = t->tag;
  d->fdwSupport = t->support;
  CopyText(d->szFormat, sizeof d->szFormat, FormatText(*f));
  return MMSYSERR_NOERROR;
}

MMRESULT AcmFormatSuggest(HACMDRIVER, const WAVEFORMATEX* src, WAVEFORMATEX* dst, uint32_t cbDst, uint32_t flags) {
  constexpr uint32_t known = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                             ACM_FORMATSUGGESTF_NSAMPLESPERSEC | ACM_FORMATSUGGESTF_WBITSPERSAMPLE;
  if (!src || !dst || cbDst < kWaveFormatExBytes) return MMSYSERR_INVALPARAM;
  if (flags & ~known) return MMSYSERR_INVALFLAG;
  const Reading s = Read(src);
  if (s.coding == Coding::None) return ACMERR_NOTPOSSIBLE;
  // Every suggestion is PCM at the source's rate: 16 bits from ADPCM, as the source from PCM.
  uint32_t bits = s.coding == Coding::Pcm ? src->wBitsPerSample : 16;
  uint32_t channels = src->nChannels;
  if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) && dst->wFormatTag != WAVE_FORMAT_PCM) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) && dst->nSamplesPerSec != src->nSamplesPerSec)
    return ACMERR_NOTPOSSIBLE;
  if (flags & ACM_FORMATSUGGESTF_NCHANNELS) channels = dst->nChannels;
  if (flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) bits = dst->wBitsPerSample;
  const WAVEFORMATEX suggestion = Pcm(bits, channels, src->nSamplesPerSec);
  if (!Direct(src, &suggestion)) return ACMERR_NOTPOSSIBLE;
  *dst = suggestion;
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamOpen(HACMSTREAM* stream, HACMDRIVER, const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                       uint32_t flags) {
  if (flags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) return MMSYSERR_INVALFLAG;
  if (stream) *stream = 0;
  if (!src || !dst || (!stream && !(flags & ACM_STREAMOPENF_QUERY))) return MMSYSERR_INVALPARAM;
  if (!Direct(src, dst)) return ACMERR_NOTPOSSIBLE;
  if (flags & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
  auto s = std::make_shared<Stream>();
  s->src = *src;
  s->dst = *dst;
  s->reading = Read(src);
  s->scratch.resize(size_t(s->reading.layout.SamplesPerBlock) * s->reading.layout.Channels);
  auto& r = Streams();
  std::lock_guard<std::mutex> l(r.lock);
  *stream = r.next++;
  r.streams[*stream] = std::move(s);
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamClose(HACMSTREAM stream, uint32_t flags) {
  if (flags) return MMSYSERR_INVALFLAG;
  auto s = Find(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> l(s->lock);
    if (!s->headers.empty()) return ACMERR_BUSY;
  }
  auto& r = Streams();
  std::lock_guard<std::mutex> l(r.lock);
  r.streams.erase(stream);
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags) {
  if (!output) return MMSYSERR_INVALPARAM;
  *output = 0;
  if (flags != ACM_STREAMSIZEF_SOURCE && flags != ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALFLAG;
  auto s = Find(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  uint64_t n;
  if (s->reading.coding == Coding::Pcm) {
    n = flags == ACM_STREAMSIZEF_SOURCE ? uint64_t(input / s->src.nBlockAlign) * s->dst.nBlockAlign
                                        : uint64_t(input / s->dst.nBlockAlign) * s->src.nBlockAlign;
  } else {
    const uint32_t align = s->reading.layout.BlockAlign;
    n = flags == ACM_STREAMSIZEF_SOURCE ? (uint64_t(input) + align - 1) / align * BlockOutput(*s)
                                        : input / BlockOutput(*s) * align;
  }
  if (n == 0 || n > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
  *output = uint32_t(n);
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags) {
  if (flags) return MMSYSERR_INVALFLAG;
  if (!hdr || hdr->cbStruct < kAcmStreamHeaderBytes || !hdr->pbSrc || !hdr->pbDst) return MMSYSERR_INVALPARAM;
  auto s = Find(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> l(s->lock);
  if (s->headers.count(hdr)) return MMSYSERR_INVALPARAM;
  s->headers[hdr] = Prepared{hdr->pbSrc, hdr->cbSrcLength, hdr->pbDst, hdr->cbDstLength};
  hdr->fdwStatus = (hdr->fdwStatus | ACMSTREAMHEADER_STATUSF_PREPARED) & ~ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags) {
  if (flags & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
    return MMSYSERR_INVALFLAG;
  if (!hdr) return MMSYSERR_INVALPARAM;
  auto s = Find(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> l(s->lock);
  auto it = s->headers.find(hdr);
  if (it == s->headers.end()) return ACMERR_UNPREPARED;
  const Prepared& p = it->second;
  if (hdr->pbSrc != p.src || hdr->pbDst != p.dst || hdr->cbSrcLength > p.srcLength || hdr->cbDstLength > p.dstLength)
    return MMSYSERR_INVALPARAM;
  hdr->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
  Convert(*s, *hdr, flags);
  hdr->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags) {
  if (flags) return MMSYSERR_INVALFLAG;
  if (!hdr) return MMSYSERR_INVALPARAM;
  auto s = Find(stream);
  if (!s) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> l(s->lock);
  auto it = s->headers.find(hdr);
  if (it == s->headers.end()) return ACMERR_UNPREPARED;
  const Prepared& p = it->second;
  // The header must describe the buffers it was prepared with.
  if (hdr->pbSrc != p.src || hdr->pbDst != p.dst || hdr->cbSrcLength != p.srcLength || hdr->cbDstLength != p.dstLength)
    return MMSYSERR_INVALPARAM;
  s->headers.erase(it);
  hdr->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

}  // namespace plat
