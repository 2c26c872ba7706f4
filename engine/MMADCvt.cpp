#include "engine/MMADCvt.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/MMAntex.h"

namespace {

constexpr int32_t kPullBytes = 4096;

bool IsIMAStyle(uint16_t tag) {
  return tag == WAVE_FORMAT_MEDIAVISION_ADPCM || tag == WAVE_FORMAT_ANTEX_ADPCME || tag == WAVE_FORMAT_ANTEX_DVI_ADPCME;
}

void CopyLoopWords(const TMMWaveHdr& from, TMMWaveHdr& to) {
  to.LoopFlag = from.LoopFlag;
  to.LoopCount = from.LoopCount;
  to.LoopsLeft = from.LoopsLeft;
  to.LoopMark = from.LoopMark;
}

}  // namespace

TMMADPCMConverter::TMMADPCMConverter(TComponent* owner) : TMMDSPComponent(owner) {}

TMMADPCMConverter::~TMMADPCMConverter() {
  Destroying();
  FreeBuffers();
}

int32_t TMMADPCMConverter::PullSize(const WAVEFORMATEX* input) {
  if (input && input->wFormatTag == WAVE_FORMAT_ADPCM && input->nBlockAlign > 0) {
    const int32_t align = input->nBlockAlign;
    return std::max(align, kPullBytes / align * align);
  }
  return kPullBytes;
}

void TMMADPCMConverter::SetBitLength(TMMBits bits) {
  if (bits == bitLength_) return;
  bitLength_ = bits;
  Recompute();
}

void TMMADPCMConverter::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Recompute();
}

void TMMADPCMConverter::SetWaveFormat(const WAVEFORMATEX* format) {
  if (format && format != GetWaveFormat()) return;
  TMMDSPComponent::SetWaveFormat(format);
}

void TMMADPCMConverter::SetPWaveFormat(const WAVEFORMATEX* format) {
  if (format != InputFormat()) input_ = CopyWaveFormat(format);
  Recompute();
}

void TMMADPCMConverter::Recompute() {
  const WAVEFORMATEX* in = InputFormat();
  decoding_ = in && in->wFormatTag != WAVE_FORMAT_PCM;
  output_.reset();
  const int bits = (int(bitLength_) + 1) * 8;
  if (decoding_ && in->wFormatTag == WAVE_FORMAT_ADPCM) {
    MakeADPCMFormat(in, output_, bits, 0, 0);
  } else if (decoding_ && IsIMAStyle(in->wFormatTag) && (in->nChannels == 1 || in->nChannels == 2) &&
             in->nSamplesPerSec > 0) {
    output_ = AllocWaveFormat(0);
    MakePCMFormat(*output_, bits, in->nChannels, int(in->nSamplesPerSec));
  }
  outputIsPCM_ = output_ != nullptr;
  if (Opened()) {
    // Buffers fit the format they were made for.
    if (enabled_ && decoding_ && outputIsPCM_) Allocate();
    else FreeBuffers();
  }
  // Disabled, the component passes the data through, so it passes the input's format too.
  const WAVEFORMATEX* onward = (enabled_ && decoding_ && outputIsPCM_) ? output_.get() : in;
  TMMDSPComponent::SetWaveFormat(onward);
}

void TMMADPCMConverter::FreeBuffers() {
  active_ = false;
  source_ = {};
  out_ = {};
  pull_ = nullptr;
  pullBlock_.reset();
}

void TMMADPCMConverter::ResetDecoder() {
  sourceHeld_ = 0;
  outAvailable_ = 0;
  outHanded_ = 0;
  inputEnded_ = false;
  state_ = TMMIMAState{};
}

void TMMADPCMConverter::Allocate() {
  FreeBuffers();
  const WAVEFORMATEX* in = InputFormat();
  const int32_t pull = PullSize(in);
  int32_t outBytes;
  if (in->wFormatTag == WAVE_FORMAT_ADPCM) {
    plat::AdpcmLayout layout;
    plat::ParseMsAdpcmFormat(*in, FormatExtraBytes(in), layout);
    outBytes = pull / in->nBlockAlign * layout.SamplesPerBlock * output_->nBlockAlign;
    unit_ = in->nBlockAlign;
  } else {
    outBytes = 4 * pull;  // the IMA-style decoders write 16 bits, 4 bytes per source byte
    unit_ = (in->wFormatTag != WAVE_FORMAT_MEDIAVISION_ADPCM && in->nChannels == 2) ? 2 : 1;
  }
  source_.assign(size_t(pull), 0);
  out_.assign(size_t(outBytes), 0);
  pullBlock_.reset(new unsigned char[kWaveHdrSize + size_t(pull)]);
  pull_ = InitWaveHdr(pullBlock_.get(), uint32_t(pull));
  active_ = true;
  ResetDecoder();
}

void TMMADPCMConverter::ChainOpen() {
  if (Opened()) return;
  FreeBuffers();
  if (enabled_ && decoding_) {
    if (!outputIsPCM_) throw EMMADPCMError("Unable to convert to destination format");
    Allocate();
  }
  ResetDecoder();
  TMMDSPComponent::ChainOpen();
}

void TMMADPCMConverter::ChainClose() {
  TMMDSPComponent::ChainClose();
  FreeBuffers();
}

void TMMADPCMConverter::ChainStart() {
  if (Opened() && !Started()) ResetDecoder();
  TMMDSPComponent::ChainStart();
}

int32_t TMMADPCMConverter::DecodeBytes(const uint8_t* src, int32_t count, bool& damaged) {
  const WAVEFORMATEX* in = InputFormat();
  uint8_t* out = out_.data();
  if (in->wFormatTag == WAVE_FORMAT_ADPCM)
    return DecodeMSADPCM(in, output_.get(), src, count, out, int32_t(out_.size()), &damaged);
  int32_t n;
  const bool stereo = in->nChannels == 2;
  if (in->wFormatTag == WAVE_FORMAT_MEDIAVISION_ADPCM)
    n = stereo ? DecodeIMAStereo(state_, count, src, out) : DecodeIMAMono(state_, count, src, out);
  else n = stereo ? MMAntex::DecodeIMAStereo(state_, count, src, out) : MMAntex::DecodeIMAMono(state_, count, src, out);
  return bitLength_ == b8Bit ? ConvertPCMBits(8, out, 16, n, out) : n;
}

void TMMADPCMConverter::DecodeHeld(bool final, bool& damaged) {
  const int32_t usable = final ? sourceHeld_ : sourceHeld_ - sourceHeld_ % unit_;
  outAvailable_ = usable > 0 ? DecodeBytes(source_.data(), usable, damaged) : 0;
  outHanded_ = 0;
  sourceHeld_ -= usable;
  if (sourceHeld_ > 0) std::memmove(source_.data(), source_.data() + usable, size_t(sourceHeld_));
}

void TMMADPCMConverter::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  if (!Opened() || !Started() || !enabled_ || !decoding_ || !active_ || !lpWaveHdr) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    return;
  }
  const uint32_t want = lpWaveHdr->dwBufferLength;
  uint32_t filled = 0;
  bool pulled = false;
  for (;;) {
    const uint32_t n = std::min<uint32_t>(uint32_t(outAvailable_ - outHanded_), want - filled);
    if (n > 0) {
      std::memcpy(lpWaveHdr->lpData + filled, out_.data() + outHanded_, n);
      outHanded_ += int32_t(n);
      filled += n;
    }
    if (filled == want || inputEnded_ || (pulled && lpWaveHdr->LoopMark)) break;

    // Everything decoded is handed on: pull the next block.
    pull_->dwBufferLength = uint32_t(int32_t(source_.size()) - sourceHeld_);
    pull_->dwBytesRecorded = 0;
    CopyLoopWords(*lpWaveHdr, *pull_);
    bool more = false;
    if (TMMDSPComponent* in = Input()) in->BufferLoad(pull_, more);
    CopyLoopWords(*pull_, *lpWaveHdr);
    pulled = true;
    const uint32_t got = std::min(pull_->dwBytesRecorded, pull_->dwBufferLength);
    std::memcpy(source_.data() + sourceHeld_, pull_->lpData, got);
    sourceHeld_ += int32_t(got);
    if (got == 0 || !more) inputEnded_ = true;

    bool damaged = false;
    DecodeHeld(inputEnded_, damaged);
    // A damaged block ends the input; what decoded before it is still handed on.
    if (damaged) inputEnded_ = true;
  }
  lpWaveHdr->dwBytesRecorded = filled;
  MoreBuffers = outAvailable_ > outHanded_ || !inputEnded_;
}
