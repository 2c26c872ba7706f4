#include <gtest/gtest.h>

#include <cstring>

#include "common/sox_adpcm.h"
#include "common/wave_format.h"
#include "platform/audio/codec_manager.h"

using namespace plat;
using soxadpcm::WavImage;

namespace {

const WAVEFORMATEX* AsFormat(const std::vector<uint32_t>& block) {
  return reinterpret_cast<const WAVEFORMATEX*>(block.data());
}

// An open stream with one prepared header over buffers of its own.
struct OpenStream {
  OpenStream(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, uint32_t srcBytes) {
    EXPECT_EQ(AcmStreamOpen(&handle, 0, src, dst, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
    uint32_t dstBytes = 0;
    EXPECT_EQ(AcmStreamSize(handle, srcBytes, &dstBytes, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    source.resize(srcBytes);
    dest.resize(dstBytes);
    hdr.pbSrc = source.data();
    hdr.cbSrcLength = srcBytes;
    hdr.pbDst = dest.data();
    hdr.cbDstLength = dstBytes;
    EXPECT_EQ(AcmStreamPrepareHeader(handle, &hdr, 0), MMSYSERR_NOERROR);
  }
  ~OpenStream() {
    hdr.cbSrcLength = uint32_t(source.size());
    hdr.cbDstLength = uint32_t(dest.size());
    AcmStreamUnprepareHeader(handle, &hdr, 0);
    AcmStreamClose(handle, 0);
  }
  // Feeds data in pieces of at most `piece` bytes, carrying what a conversion leaves over.
  std::vector<uint8_t> Run(const std::vector<uint8_t>& data, uint32_t piece, uint32_t lastFlags = 0) {
    std::vector<uint8_t> out;
    size_t pos = 0;
    uint32_t held = 0;
    while (pos < data.size() || held > 0) {
      const uint32_t n = uint32_t(std::min<size_t>({piece - held, data.size() - pos, source.size() - held}));
      std::memcpy(source.data() + held, data.data() + pos, n);
      pos += n;
      hdr.cbSrcLength = held + n;
      const bool last = pos == data.size();
      EXPECT_EQ(AcmStreamConvert(handle, &hdr, ACM_STREAMCONVERTF_BLOCKALIGN | (last ? lastFlags : 0)),
                MMSYSERR_NOERROR);
      EXPECT_TRUE(hdr.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
      out.insert(out.end(), dest.begin(), dest.begin() + hdr.cbDstLengthUsed);
      held = hdr.cbSrcLength - hdr.cbSrcLengthUsed;
      std::memmove(source.data(), source.data() + hdr.cbSrcLengthUsed, held);
      if (last && hdr.cbSrcLengthUsed == 0) break;
    }
    return out;
  }
  HACMSTREAM handle = 0;
  std::vector<uint8_t> source, dest;
  ACMSTREAMHEADER hdr;
};

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

}  // namespace

TEST(CodecManager, LibraryIsFoundByNameAndCanBeMissing) {
  const HCODECLIB lib = LoadCodecLibrary("msacm32.dll");
  ASSERT_GE(lib, 32u);
  auto version = reinterpret_cast<decltype(&AcmGetVersion)>(GetCodecProcAddress(lib, "acmGetVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_GE(version() >> 16, 0x0200u);
  EXPECT_NE(GetCodecProcAddress(lib, "acmStreamUnprepareHeader"), nullptr);
  EXPECT_EQ(GetCodecProcAddress(lib, "acmFilterChooseA"), nullptr);
  EXPECT_EQ(GetCodecProcAddress(0, "acmGetVersion"), nullptr);
  EXPECT_EQ(LoadCodecLibrary("other.dll"), 0u);

  SetCodecLibraryPresent(false);
  EXPECT_EQ(LoadCodecLibrary(kCodecManagerLibrary), 0u);
  SetCodecLibraryPresent(true);
  SetCodecLibraryVersion(0x01100000);
  EXPECT_EQ(AcmGetVersion(), 0x01100000u);
  SetCodecLibraryVersion(kCodecManagerVersion);
}

TEST(CodecManager, TagAndFormatDetails) {
  ACMFORMATTAGDETAILS tag;
  tag.dwFormatTag = 2;
  ASSERT_EQ(AcmFormatTagDetails(0, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG), MMSYSERR_NOERROR);
  EXPECT_STREQ(tag.szFormatTag, "Microsoft ADPCM");
  EXPECT_EQ(tag.cbFormatSize, 50u);
  tag.dwFormatTag = 0x55;
  EXPECT_EQ(AcmFormatTagDetails(0, &tag, ACM_FORMATTAGDETAILSF_FORMATTAG), ACMERR_NOTPOSSIBLE);

  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(2000, 2), w, ref));
  const auto fmt = w.Block();
  ACMFORMATDETAILS details;
  details.pwfx = AsFormat(fmt);
  details.cbwfx = 18 + w.Format.cbSize;
  ASSERT_EQ(AcmFormatDetails(0, &details, ACM_FORMATDETAILSF_FORMAT), MMSYSERR_NOERROR);
  EXPECT_STREQ(details.szFormat, "22,050 Hz, 4 Bit, Stereo");
  details.cbwfx = 18;  // the extra bytes are said not to be there
  EXPECT_EQ(AcmFormatDetails(0, &details, ACM_FORMATDETAILSF_FORMAT), MMSYSERR_INVALPARAM);

  const WAVEFORMATEX pcm = PcmFormat(8000, 1, 8);
  details.pwfx = &pcm;
  details.cbwfx = 18;
  ASSERT_EQ(AcmFormatDetails(0, &details, ACM_FORMATDETAILSF_FORMAT), MMSYSERR_NOERROR);
  EXPECT_STREQ(details.szFormat, "8,000 Hz, 8 Bit, Mono");
  WAVEFORMATEX odd = pcm;
  odd.nBlockAlign = 3;  // not what 8 bits mono takes
  details.pwfx = &odd;
  EXPECT_EQ(AcmFormatDetails(0, &details, ACM_FORMATDETAILSF_FORMAT), ACMERR_NOTPOSSIBLE);
}

TEST(CodecManager, SuggestionsKeepTheFieldsAskedForAndAreReachable) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ima-adpcm", 11025, 2, soxadpcm::Signal(2000, 2), w, ref));
  const auto ima = w.Block();
  WAVEFORMATEX s;
  s.wFormatTag = 1;
  ASSERT_EQ(AcmFormatSuggest(0, AsFormat(ima), &s, 18, ACM_FORMATSUGGESTF_WFORMATTAG), MMSYSERR_NOERROR);
  EXPECT_EQ(s.wFormatTag, 1);
  EXPECT_EQ(s.wBitsPerSample, 16);
  EXPECT_EQ(s.nChannels, 2);
  EXPECT_EQ(s.nSamplesPerSec, 11025u);
  EXPECT_EQ(s.nBlockAlign, 4);
  EXPECT_EQ(s.nAvgBytesPerSec, 44100u);
  // The decoder neither mixes down nor changes the rate.
  s.nChannels = 1;
  EXPECT_EQ(AcmFormatSuggest(0, AsFormat(ima), &s, 18, ACM_FORMATSUGGESTF_NCHANNELS), ACMERR_NOTPOSSIBLE);

  const WAVEFORMATEX stereo = PcmFormat(44100, 2, 16);
  s = WAVEFORMATEX{};
  s.nChannels = 1;
  s.wBitsPerSample = 8;
  ASSERT_EQ(AcmFormatSuggest(0, &stereo, &s, 18, ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
            MMSYSERR_NOERROR);
  EXPECT_EQ(s.nChannels, 1);
  EXPECT_EQ(s.wBitsPerSample, 8);
  EXPECT_EQ(s.nSamplesPerSec, 44100u);
  s.nSamplesPerSec = 48000;
  EXPECT_EQ(AcmFormatSuggest(0, &stereo, &s, 18, ACM_FORMATSUGGESTF_NSAMPLESPERSEC), ACMERR_NOTPOSSIBLE);
  s.wFormatTag = 2;
  EXPECT_EQ(AcmFormatSuggest(0, &stereo, &s, 18, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(AcmFormatSuggest(0, &stereo, &s, 18, 0x1), MMSYSERR_INVALFLAG);
  EXPECT_EQ(AcmFormatSuggest(0, &stereo, &s, 16, 0), MMSYSERR_INVALPARAM);
}

TEST(CodecManager, StreamsDecodeWhatSoxEncodes) {
  for (const char* encoding : {"ms-adpcm", "ima-adpcm"}) {
    SCOPED_TRACE(encoding);
    Scratch dir;
    WavImage w;
    std::vector<int16_t> ref;
    ASSERT_TRUE(soxadpcm::Encode(dir, encoding, 22050, 2, soxadpcm::Signal(15000, 2), w, ref));
    const auto fmt = w.Block();
    const WAVEFORMATEX pcm = PcmFormat(22050, 2, 16);
    ASSERT_EQ(AcmStreamOpen(nullptr, 0, AsFormat(fmt), &pcm, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
    const uint32_t align = w.Format.nBlockAlign;
    {
      // Pieces that cut blocks anywhere: only whole blocks convert, the rest waits.
      OpenStream s(AsFormat(fmt), &pcm, 3 * align);
      EXPECT_EQ(s.Run(w.Data, 2 * align + 77), Bytes16(ref));
    }
    {
      // The data cut inside its last block: BLOCKALIGN leaves the part block, END decodes it.
      std::vector<uint8_t> cut(w.Data.begin(), w.Data.end() - align / 2);
      OpenStream whole(AsFormat(fmt), &pcm, 3 * align);
      const auto blocks = whole.Run(cut, 3 * align);
      EXPECT_EQ(blocks.size() % (4u * (ref.size() / 2 / (w.Data.size() / align))), 0u);
      OpenStream tail(AsFormat(fmt), &pcm, 3 * align);
      const auto all = tail.Run(cut, 3 * align, ACM_STREAMCONVERTF_END);
      EXPECT_GT(all.size(), blocks.size());
      EXPECT_LT(all.size(), ref.size() * 2);
      EXPECT_TRUE(std::equal(all.begin(), all.end(), Bytes16(ref).begin()));
    }
  }
}

TEST(CodecManager, PCMConversionsMixAndScale) {
  const WAVEFORMATEX st16 = PcmFormat(8000, 2, 16), mono8 = PcmFormat(8000, 1, 8);
  std::vector<int16_t> in = {1000, 3000, -32768, -32768, 32767, 32767, -1, 1};
  OpenStream down(&st16, &mono8, 16);
  const auto out = down.Run(Bytes16(in), 16);
  EXPECT_EQ(out, (std::vector<uint8_t>{uint8_t(2000 / 256 + 128), 0, 255, 128}));

  OpenStream up(&mono8, &st16, 4);
  const auto wide = up.Run({0, 128, 255, 129}, 4);
  EXPECT_EQ(wide, Bytes16({-32768, -32768, 0, 0, 32512, 32512, 256, 256}));

  const WAVEFORMATEX rate = PcmFormat(11025, 2, 16), quad = PcmFormat(8000, 4, 16);
  EXPECT_EQ(AcmStreamOpen(nullptr, 0, &st16, &rate, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(AcmStreamOpen(nullptr, 0, &st16, &quad, ACM_STREAMOPENF_QUERY), ACMERR_NOTPOSSIBLE);
}

TEST(CodecManager, HeadersAndHandlesFollowTheRules) {
  const WAVEFORMATEX a = PcmFormat(8000, 1, 16), b = PcmFormat(8000, 1, 8);
  HACMSTREAM h = 0;
  EXPECT_EQ(AcmStreamOpen(nullptr, 0, &a, &b, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(AcmStreamOpen(&h, 0, &a, &b, ACM_STREAMOPENF_ASYNC), MMSYSERR_INVALFLAG);
  ASSERT_EQ(AcmStreamOpen(&h, 0, &a, &b, 0), MMSYSERR_NOERROR);
  std::vector<uint8_t> src(64), dst(32);
  ACMSTREAMHEADER hdr;
  hdr.pbSrc = src.data(), hdr.cbSrcLength = 64, hdr.pbDst = dst.data(), hdr.cbDstLength = 32;
  EXPECT_EQ(AcmStreamConvert(h, &hdr, 0), ACMERR_UNPREPARED);
  ACMSTREAMHEADER small = hdr;
  small.cbStruct = 60;
  EXPECT_EQ(AcmStreamPrepareHeader(h, &small, 0), MMSYSERR_INVALPARAM);
  ASSERT_EQ(AcmStreamPrepareHeader(h, &hdr, 0), MMSYSERR_NOERROR);
  EXPECT_TRUE(hdr.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
  hdr.cbSrcLength = 65;  // past what was prepared
  EXPECT_EQ(AcmStreamConvert(h, &hdr, 0), MMSYSERR_INVALPARAM);
  hdr.cbSrcLength = 10;
  EXPECT_EQ(AcmStreamConvert(h, &hdr, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(hdr.cbSrcLengthUsed, 10u);
  EXPECT_EQ(hdr.cbDstLengthUsed, 5u);
  EXPECT_EQ(AcmStreamUnprepareHeader(h, &hdr, 0), MMSYSERR_INVALPARAM);  // lengths not restored
  EXPECT_EQ(AcmStreamClose(h, 0), ACMERR_BUSY);
  hdr.cbSrcLength = 64;
  EXPECT_EQ(AcmStreamUnprepareHeader(h, &hdr, 0), MMSYSERR_NOERROR);
  EXPECT_FALSE(hdr.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED);
  EXPECT_EQ(AcmStreamUnprepareHeader(h, &hdr, 0), ACMERR_UNPREPARED);
  EXPECT_EQ(AcmStreamClose(h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(AcmStreamClose(h, 0), MMSYSERR_INVALHANDLE);
  uint32_t size = 0;
  EXPECT_EQ(AcmStreamSize(h, 100, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALHANDLE);
  HACMSTREAM again = 0;
  ASSERT_EQ(AcmStreamOpen(&again, 0, &a, &b, 0), MMSYSERR_NOERROR);
  EXPECT_NE(again, h);  // a closed handle is never handed out again
  EXPECT_EQ(AcmStreamSize(again, 1, &size, ACM_STREAMSIZEF_SOURCE), ACMERR_NOTPOSSIBLE);  // less than a frame
  EXPECT_EQ(AcmStreamSize(again, 100, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
  EXPECT_EQ(size, 200u);
  AcmStreamClose(again, 0);
}

TEST(CodecManager, DamagedBlockDecodesAsSilenceOfItsLength) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 8000, 1, soxadpcm::Signal(2000, 1), w, ref));
  const auto fmt = w.Block();
  const WAVEFORMATEX pcm = PcmFormat(8000, 1, 16);
  auto data = w.Data;
  data[256] = 7;  // the second block
  OpenStream s(AsFormat(fmt), &pcm, 1024);
  const auto out = s.Run(data, 1024);
  ASSERT_EQ(out.size(), ref.size() * 2);
  const auto expect = Bytes16(ref);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 1000, expect.begin()));
  EXPECT_TRUE(std::all_of(out.begin() + 1000, out.begin() + 2000, [](uint8_t v) { return v == 0; }));
  EXPECT_TRUE(std::equal(out.begin() + 2000, out.end(), expect.begin() + 2000));
}
