#include "platform/audio/wave_mapper.h"

#include <cstring>

namespace plat::wavecore {

namespace {

// The GUID of an extensible format's sub-format, less its first two bytes (the plain tag).
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t kExtensibleBytes = 22;

bool PlainBits(uint16_t tag, uint16_t bits) {
  if (tag == WAVE_FORMAT_PCM) return bits == 8 || bits == 16 || bits == 24 || bits == 32;
  return tag == WAVE_FORMAT_IEEE_FLOAT && (bits == 32 || bits == 64);
}

}  // namespace

WaveConverter::~WaveConverter() { AcmStreamClose(stream_, 0); }

std::unique_ptr<WaveConverter> WaveConverter::Open(const WAVEFORMATEX* from, const WAVEFORMATEX& to) {
  HACMSTREAM s = 0;
  if (AcmStreamOpen(&s, 0, from, &to, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) return nullptr;
  return std::unique_ptr<WaveConverter>(new WaveConverter(s));
}

bool WaveConverter::Convert(const uint8_t* src, uint32_t bytes, std::vector<uint8_t>& out) {
  out.clear();
  uint32_t room = 0;
  // Less than a frame of PCM converts to nothing.
  if (bytes == 0 || AcmStreamSize(stream_, bytes, &room, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) return true;
  out.resize(room);
  ACMSTREAMHEADER h;
  h.pbSrc = const_cast<uint8_t*>(src);
  h.cbSrcLength = bytes;
  h.pbDst = out.data();
  h.cbDstLength = room;
  if (AcmStreamPrepareHeader(stream_, &h, 0) != MMSYSERR_NOERROR) return false;
  const MMRESULT r = AcmStreamConvert(stream_, &h, ACM_STREAMCONVERTF_END);
  AcmStreamUnprepareHeader(stream_, &h, 0);
  out.resize(r == MMSYSERR_NOERROR ? h.cbDstLengthUsed : 0);
  return r == MMSYSERR_NOERROR;
}

bool ExtensibleSubFormat(const WAVEFORMATEX* f, uint16_t& tag) {
  if (!f || f->wFormatTag != WAVE_FORMAT_EXTENSIBLE || f->cbSize < kExtensibleBytes) return false;
  const auto* extra = reinterpret_cast<const uint8_t*>(f + 1);
  const uint16_t valid = uint16_t(extra[0] | extra[1] << 8);
  if (valid == 0 || valid > f->wBitsPerSample || std::memcmp(extra + 8, kSubFormatTail, 14) != 0) return false;
  tag = uint16_t(extra[6] | extra[7] << 8);
  return true;
}

bool PlainFormat(const WAVEFORMATEX* f, WAVEFORMATEX& plain) {
  if (!f) return false;
  plain = *f;
  plain.cbSize = 0;
  // Fewer valid bits sit at the top of the container: the same bytes play as the container's.
  if (f->wFormatTag == WAVE_FORMAT_EXTENSIBLE && !ExtensibleSubFormat(f, plain.wFormatTag)) return false;
  if (!PlainBits(plain.wFormatTag, plain.wBitsPerSample)) return false;
  if (plain.nChannels == 0 || plain.nSamplesPerSec == 0) return false;
  if (plain.nBlockAlign != uint32_t(plain.nChannels) * plain.wBitsPerSample / 8) return false;
  return plain.nAvgBytesPerSec == uint64_t(plain.nSamplesPerSec) * plain.nBlockAlign;
}

MMRESULT ChooseDeviceFormat(const WAVEFORMATEX* f, bool mapped, bool query,
                            const std::function<MMRESULT(const WAVEFORMATEX&)>& takes, WAVEFORMATEX& device,
                            std::unique_ptr<WaveConverter>& converter) {
  MMRESULT r = WAVERR_BADFORMAT;
  if (PlainFormat(f, device)) {
    r = takes(device);
    if (r != WAVERR_BADFORMAT) return r;  // taken, or the device's own trouble (gone, busy)
  }
  if (!mapped || !LoadCodecLibrary(kCodecManagerLibrary)) return r;
  // What the codec manager suggests, else its 16-bit PCM.
  for (uint32_t keep :
       {ACM_FORMATSUGGESTF_WFORMATTAG, ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_WBITSPERSAMPLE}) {
    WAVEFORMATEX pcm;
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.wBitsPerSample = 16;
    if (AcmFormatSuggest(0, f, &pcm, kWaveFormatExBytes, keep) != MMSYSERR_NOERROR) continue;
    if (takes(pcm) != MMSYSERR_NOERROR) continue;
    if (query) {
      if (AcmStreamOpen(nullptr, 0, f, &pcm, ACM_STREAMOPENF_QUERY) != MMSYSERR_NOERROR) continue;
    } else if (!(converter = WaveConverter::Open(f, pcm))) {
      continue;
    }
    device = pcm;
    return MMSYSERR_NOERROR;
  }
  return r;
}

}  // namespace plat::wavecore
