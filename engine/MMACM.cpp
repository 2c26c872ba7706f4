#include "engine/MMACM.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

using namespace plat;

namespace {

// The library's functions, looked up by name in this order.
const char* const kFunctionNames[28] = {
    "acmGetVersion",        "acmMetrics",        "acmDriverEnum",          "acmDriverDetailsA",
    "acmDriverAddA",        "acmDriverRemove",   "acmDriverOpen",          "acmDriverClose",
    "acmDriverMessage",     "acmDriverID",       "acmDriverPriority",      "acmFormatTagDetailsA",
    "acmFormatTagEnumA",    "acmFormatChooseA",  "acmFormatDetailsA",      "acmFormatSuggest",
    "acmFilterTagDetailsA", "acmFilterTagEnumA", "acmFilterChooseA",       "acmFilterDetailsA",
    "acmFilterEnumA",       "acmStreamOpen",     "acmStreamClose",         "acmStreamSize",
    "acmStreamConvert",     "acmStreamReset",    "acmStreamPrepareHeader", "acmStreamUnprepareHeader"};
enum Slot {
  kGetVersion = 0,
  kFormatTagDetails = 11,
  kFormatDetails = 14,
  kFormatSuggest = 15,
  kStreamOpen = 21,
  kStreamClose = 22,
  kStreamSize = 23,
  kStreamConvert = 24,
  kStreamPrepareHeader = 26,
  kStreamUnprepareHeader = 27,
};

// The entry points the engine calls, typed.
struct Api {
  decltype(&AcmGetVersion) GetVersion = nullptr;
  decltype(&AcmFormatTagDetails) FormatTagDetails = nullptr;
  decltype(&AcmFormatDetails) FormatDetails = nullptr;
  decltype(&AcmFormatSuggest) FormatSuggest = nullptr;
  decltype(&AcmStreamOpen) StreamOpen = nullptr;
  decltype(&AcmStreamClose) StreamClose = nullptr;
  decltype(&AcmStreamSize) StreamSize = nullptr;
  decltype(&AcmStreamConvert) StreamConvert = nullptr;
  decltype(&AcmStreamPrepareHeader) PrepareHeader = nullptr;
  decltype(&AcmStreamUnprepareHeader) UnprepareHeader = nullptr;
};

struct CodecManager {
  std::mutex lock;
  bool attempted = false;
  HCODECLIB library = 0;
  bool present = false;
  uint32_t version = 0;
  std::array<CodecProc, 28> procs{};
};

CodecManager& Manager() {
  static CodecManager* m = new CodecManager;  // converters may be destroyed while the program ends
  return *m;
}

template <class F>
F As(CodecProc p) {
  return reinterpret_cast<F>(p);
}

// The entry points when the codec manager is usable; an empty Api otherwise.
Api Usable() {
  auto& m = Manager();
  {
    std::lock_guard<std::mutex> l(m.lock);
    if (m.attempted) {
      Api api;
      if (!m.present || (m.version >> 16) < 0x0200) return api;
      const auto& p = m.procs;
      api.GetVersion = As<decltype(api.GetVersion)>(p[kGetVersion]);
      api.FormatTagDetails = As<decltype(api.FormatTagDetails)>(p[kFormatTagDetails]);
      api.FormatDetails = As<decltype(api.FormatDetails)>(p[kFormatDetails]);
      api.FormatSuggest = As<decltype(api.FormatSuggest)>(p[kFormatSuggest]);
      api.StreamOpen = As<decltype(api.StreamOpen)>(p[kStreamOpen]);
      api.StreamClose = As<decltype(api.StreamClose)>(p[kStreamClose]);
      api.StreamSize = As<decltype(api.StreamSize)>(p[kStreamSize]);
      api.StreamConvert = As<decltype(api.StreamConvert)>(p[kStreamConvert]);
      api.PrepareHeader = As<decltype(api.PrepareHeader)>(p[kStreamPrepareHeader]);
      api.UnprepareHeader = As<decltype(api.UnprepareHeader)>(p[kStreamUnprepareHeader]);
      // A library that lacks one of them is no use for conversions.
      if (!api.FormatTagDetails || !api.FormatDetails || !api.FormatSuggest || !api.StreamOpen || !api.StreamClose ||
          !api.StreamSize || !api.StreamConvert || !api.PrepareHeader || !api.UnprepareHeader)
        return Api{};
      return api;
    }
  }
  LoadCodecManager();
  return Usable();
}

bool IsPCM(const WAVEFORMATEX* f) { return f && f->wFormatTag == WAVE_FORMAT_PCM; }

bool Query(const Api& api, const WAVEFORMATEX* src, const WAVEFORMATEX* dst, bool realTime) {
  const uint32_t flags = ACM_STREAMOPENF_QUERY | (realTime ? 0 : ACM_STREAMOPENF_NONREALTIME);
  return api.StreamOpen(nullptr, 0, src, dst, flags) == MMSYSERR_NOERROR;
}

bool Suggest(const Api& api, const WAVEFORMATEX* src, WAVEFORMATEX& dst, uint32_t flags) {
  return api.FormatSuggest(0, src, &dst, kWaveFormatExBytes, flags) == MMSYSERR_NOERROR;
}

// A chain of more steps than this is a search going round in circles.
constexpr int kMostSteps = 4;

// The formats that src passes through on its way to dst, dst (or its equal) last; empty when src
// already is dst.
bool FindPath(const Api& api, const WAVEFORMATEX* src, const WAVEFORMATEX* dst, bool realTime,
              std::vector<TWaveFormatPtr>& path) {
  if (SameWaveFormat(src, dst)) return true;
  if (!src || !dst) return false;
  if (Query(api, src, dst, realTime)) {
    path.push_back(CopyWaveFormat(dst));
    return true;
  }
  if (path.size() + 1 >= size_t(kMostSteps)) return false;
  WAVEFORMATEX inter{};
  if (IsPCM(src)) {
    if (dst->nChannels == src->nChannels && dst->nSamplesPerSec == src->nSamplesPerSec) return false;
    inter.nChannels = dst->nChannels;
    inter.nSamplesPerSec = dst->nSamplesPerSec;
    const uint32_t flags = ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC;
    if (!Suggest(api, src, inter, flags)) return false;
    if (!Query(api, &inter, dst, realTime)) {
      inter.wBitsPerSample = inter.wBitsPerSample == 16 ? 8 : 16;
      if (!Suggest(api, src, inter, flags | ACM_FORMATSUGGESTF_WBITSPERSAMPLE)) return false;
    }
  } else {
    inter.wFormatTag = WAVE_FORMAT_PCM;
    inter.nChannels = dst->nChannels;
    inter.nSamplesPerSec = dst->nSamplesPerSec;
    if (!Suggest(api, src, inter,
                 ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC)) {
      inter = WAVEFORMATEX{};
      inter.wFormatTag = WAVE_FORMAT_PCM;
      if (!Suggest(api, src, inter, ACM_FORMATSUGGESTF_WFORMATTAG)) return false;
    }
  }
  if (!Query(api, src, &inter, realTime)) return false;
  path.push_back(CopyWaveFormat(&inter));
  if (SameWaveFormat(&inter, dst)) return true;
  return FindPath(api, path.back().get(), dst, realTime, path);
}

void CloseStage(const Api& api, TMMACMStage& stage) {
  if (stage.Prepared) {
    // The header must show the lengths it was prepared with.
    stage.Header.cbSrcLength = uint32_t(stage.Header.dwSrcUser);
    stage.Header.cbDstLength = uint32_t(stage.Header.dwDstUser);
    api.UnprepareHeader(stage.Stream, &stage.Header, 0);
    stage.Prepared = false;
  }
  if (stage.Stream) api.StreamClose(stage.Stream, 0);
  stage.Stream = 0;
}

std::unique_ptr<TMMACMStage> OpenStage(const Api& api, const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                                       const uint8_t* in, int32_t inSize, bool realTime) {
  auto stage = std::make_unique<TMMACMStage>();
  if (api.StreamOpen(&stage->Stream, 0, src, dst, realTime ? 0 : ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
    return nullptr;
  stage->In = in;
  stage->InSize = inSize;
  // Room for a block's worth of left-over bytes in front of a whole new input.
  stage->Source.assign(size_t(inSize) * 2, 0);
  uint32_t destSize = 0;
  if (api.StreamSize(stage->Stream, uint32_t(stage->Source.size()), &destSize, ACM_STREAMSIZEF_SOURCE) !=
      MMSYSERR_NOERROR) {
    CloseStage(api, *stage);
    return nullptr;
  }
  stage->Dest.assign(destSize, 0);
  ACMSTREAMHEADER& h = stage->Header;
  h = ACMSTREAMHEADER{};
  h.cbStruct = kAcmStreamHeaderBytes;
  h.pbSrc = stage->Source.data();
  h.cbSrcLength = uint32_t(stage->Source.size());
  h.dwSrcUser = h.cbSrcLength;
  h.pbDst = stage->Dest.data();
  h.cbDstLength = destSize;
  h.dwDstUser = destSize;
  if (api.PrepareHeader(stage->Stream, &h, 0) != MMSYSERR_NOERROR) {
    CloseStage(api, *stage);
    return nullptr;
  }
  stage->Prepared = true;
  return stage;
}

// Converts n new bytes of one stage; its output bytes, or -1.
int32_t ConvertStage(const Api& api, TMMACMStage& s, int32_t n, bool& leftOver, bool& noOutput) {
  if (s.LeftOver + n > int32_t(s.Source.size())) s.LeftOver = 0;  // a codec that never takes its input
  std::memcpy(s.Source.data() + s.LeftOver, s.In, size_t(n));
  const uint32_t total = uint32_t(s.LeftOver + n);
  s.Header.cbSrcLength = total;
  if (api.StreamConvert(s.Stream, &s.Header, ACM_STREAMCONVERTF_BLOCKALIGN) != MMSYSERR_NOERROR) return -1;
  // The conversion runs at once here; a header that is not done is a refusal, not a wait.
  if (!(s.Header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE)) return -1;
  const uint32_t used = std::min(s.Header.cbSrcLengthUsed, total);
  const uint32_t out = std::min<uint32_t>(s.Header.cbDstLengthUsed, uint32_t(s.Dest.size()));
  s.LeftOver = int32_t(total - used);
  if (s.LeftOver > 0) {
    std::memmove(s.Source.data(), s.Source.data() + used, size_t(s.LeftOver));
    leftOver = true;
  }
  if (total > 0 && out == 0) noOutput = true;
  return int32_t(out);
}

}  // namespace

void LoadCodecManager() {
  auto& m = Manager();
  std::lock_guard<std::mutex> l(m.lock);
  if (m.attempted && m.library) return;
  m.attempted = true;
  m.present = false;
  m.version = 0;
  m.procs.fill(nullptr);
  m.library = LoadCodecLibrary(kCodecManagerLibrary);
  if (m.library < 32) {
    m.library = 0;
    return;
  }
  m.procs[kGetVersion] = GetCodecProcAddress(m.library, kFunctionNames[kGetVersion]);
  if (!m.procs[kGetVersion]) {
    FreeCodecLibrary(m.library);
    m.library = 0;
    return;
  }
  m.present = true;
  m.version = As<decltype(&AcmGetVersion)>(m.procs[kGetVersion])();
  if ((m.version >> 16) < 0x0200) return;  // loaded, but too old to be used
  for (int i = 1; i < 28; ++i) m.procs[i] = GetCodecProcAddress(m.library, kFunctionNames[i]);
}

void UnloadCodecManager() {
  auto& m = Manager();
  std::lock_guard<std::mutex> l(m.lock);
  if (m.library >= 32) FreeCodecLibrary(m.library);
  m.library = 0;
  m.present = false;
  m.version = 0;
  m.procs.fill(nullptr);
}

bool CodecManagerUsable() { return Usable().StreamOpen != nullptr; }

uint32_t CodecManagerVersion() {
  Usable();  // loads on first use
  auto& m = Manager();
  std::lock_guard<std::mutex> l(m.lock);
  return m.present ? m.version : 0;
}

bool SameWaveFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
  return a && b && a->wFormatTag == b->wFormatTag && a->wBitsPerSample == b->wBitsPerSample &&
         a->nChannels == b->nChannels && a->nSamplesPerSec == b->nSamplesPerSec;
}

const WAVEFORMATEX* SuggestPCMFormat(const WAVEFORMATEX* format, WAVEFORMATEX& pcm) {
  pcm = WAVEFORMATEX{};
  if (!format) return nullptr;
  if (IsPCM(format)) {
    pcm = *format;
    pcm.cbSize = 0;
    return format;
  }
  const Api api = Usable();
  if (!api.StreamOpen) return nullptr;
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  if (!Suggest(api, format, pcm, ACM_FORMATSUGGESTF_WFORMATTAG) || !IsPCM(&pcm) || !Query(api, format, &pcm, false))
    pcm = WAVEFORMATEX{};
  return nullptr;
}

bool CanConvertFormat(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, bool realTime) {
  const Api api = Usable();
  if (!api.StreamOpen || !src) return false;
  std::vector<TWaveFormatPtr> path;
  return FindPath(api, src, dst, realTime, path);
}

TMMACMConverter* CreateConverter(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, void* sourceBuffer, bool realTime,
                                 int32_t blockSize) {
  const Api api = Usable();
  if (!api.StreamOpen || !src || src->nBlockAlign == 0) return nullptr;
  const int32_t block = std::max(blockSize, 0) / src->nBlockAlign * src->nBlockAlign;
  if (block == 0) return nullptr;
  std::vector<TWaveFormatPtr> path;
  if (!FindPath(api, src, dst, realTime, path)) return nullptr;

  auto c = std::make_unique<TMMACMConverter>();
  c->BlockSize = block;
  if (sourceBuffer) {
    c->Input = static_cast<uint8_t*>(sourceBuffer);
  } else {
    c->OwnInput.assign(size_t(block), 0);
    c->Input = c->OwnInput.data();
  }
  const WAVEFORMATEX* from = src;
  const uint8_t* in = c->Input;
  int32_t inSize = block;
  for (const auto& to : path) {
    auto stage = OpenStage(api, from, to.get(), in, inSize, realTime);
    if (!stage) {
      DestroyConverter(c.release());
      return nullptr;
    }
    in = stage->Dest.data();
    inSize = int32_t(stage->Dest.size());
    c->Stages.push_back(std::move(stage));
    from = to.get();
  }
  return c.release();
}

int32_t ConvertBlock(TMMACMConverter* c, int32_t count) {
  if (!c || count < 0) return -1;
  const Api api = Usable();
  if (!c->Stages.empty() && !api.StreamConvert) return -1;
  c->SourceLeftOver = false;
  c->ConsumedWithoutOutput = false;
  int32_t n = std::min(count, c->BlockSize);
  for (auto& stage : c->Stages) {
    n = ConvertStage(api, *stage, std::min(n, stage->InSize), c->SourceLeftOver, c->ConsumedWithoutOutput);
    if (n < 0) {
      c->OutputBytes = 0;
      return -1;
    }
  }
  c->OutputBytes = n;
  return n;
}

void DestroyConverter(TMMACMConverter* c) {
  if (!c) return;
  const Api api = Usable();
  if (api.StreamClose)
    for (auto& stage : c->Stages) CloseStage(api, *stage);
  delete c;
}

bool GetFormatNames(const WAVEFORMATEX* format, std::string& tagName, std::string& formatText) {
  tagName = FormatTagName(format);
  formatText = WaveFormatText(format);
  if (!format) return false;
  const Api api = Usable();
  if (!api.FormatTagDetails) return true;
  ACMFORMATTAGDETAILS tag;
  tag.dwFormatTag = format->wFormatTag;
  if (api.FormatTagDetails(0, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG) == MMSYSERR_NOERROR) {
    tag.szFormatTag[sizeof tag.szFormatTag - 1] = 0;
    tagName = tag.szFormatTag;
  }
  ACMFORMATDETAILS details;
  details.dwFormatTag = format->wFormatTag;
  details.pwfx = format;
  details.cbwfx = WaveFormatSize(format);
  if (api.FormatDetails(0, &details, ACM_FORMATDETAILSF_FORMAT) == MMSYSERR_NOERROR) {
    details.szFormat[sizeof details.szFormat - 1] = 0;
    formatText = details.szFormat;
  }
  return true;
}
