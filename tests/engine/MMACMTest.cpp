#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "common/sox_adpcm.h"
#include "engine/MMACM.h"
#include "platform/audio/adpcm_codec.h"

using soxadpcm::WavImage;

namespace {

// Each test leaves the codec library as it found it: there, at its own version, loaded.
class MMACM : public ::testing::Test {
protected:
  void TearDown() override {
    plat::SetCodecLibraryPresent(true);
    plat::SetCodecLibraryVersion(plat::kCodecManagerVersion);
    UnloadCodecManager();
    LoadCodecManager();
  }
  void Reload(bool present, uint32_t version) {
    plat::SetCodecLibraryPresent(present);
    plat::SetCodecLibraryVersion(version);
    UnloadCodecManager();
    LoadCodecManager();
  }
  // A sox-made file of the encoding, its format block and sox's decoding.
  void Make(const char* encoding, uint32_t rate, uint16_t channels, size_t frames) {
    ASSERT_TRUE(soxadpcm::Encode(dir_, encoding, rate, channels, soxadpcm::Signal(frames, channels), wav_, ref_));
    block_ = wav_.Block();
  }
  const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(block_.data()); }

  Scratch dir_;
  WavImage wav_;
  std::vector<int16_t> ref_;
  std::vector<uint32_t> block_;
};

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  WAVEFORMATEX f;
  MakePCMFormat(f, bits, channels, int(rate));
  return f;
}

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

// Pushes data through the converter a block at a time.
std::vector<uint8_t> Feed(TMMACMConverter* c, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  for (size_t pos = 0; pos < data.size(); pos += size_t(c->BlockSize)) {
    const int32_t n = int32_t(std::min<size_t>(size_t(c->BlockSize), data.size() - pos));
    std::memcpy(c->Input, data.data() + pos, size_t(n));
    const int32_t got = ConvertBlock(c, n);
    EXPECT_GE(got, 0);
    if (got > 0) out.insert(out.end(), c->Output(), c->Output() + got);
  }
  return out;
}

}  // namespace

TEST_F(MMACM, WithoutTheLibraryNamesComeFromTheEngineAndNothingConverts) {
  Make("ms-adpcm", 22050, 2, 3000);
  Reload(false, plat::kCodecManagerVersion);
  EXPECT_FALSE(CodecManagerUsable());
  EXPECT_EQ(CodecManagerVersion(), 0u);
  std::string tag, text;
  EXPECT_TRUE(GetFormatNames(Format(), tag, text));
  EXPECT_EQ(tag, FormatTagName(Format()));
  EXPECT_EQ(text, WaveFormatText(Format()));
  WAVEFORMATEX pcm = Pcm(8000, 1, 8);
  EXPECT_EQ(SuggestPCMFormat(Format(), pcm), nullptr);
  EXPECT_EQ(pcm.wFormatTag, 0);
  EXPECT_EQ(pcm.nSamplesPerSec, 0u);
  const WAVEFORMATEX out = Pcm(22050, 2, 16);
  EXPECT_FALSE(CanConvertFormat(Format(), &out, false));
  EXPECT_FALSE(CanConvertFormat(&out, &out, false));
  EXPECT_EQ(CreateConverter(Format(), &out, nullptr, false, 4096), nullptr);
  EXPECT_FALSE(GetFormatNames(nullptr, tag, text));
  EXPECT_EQ(tag, "Unknown");
}

TEST_F(MMACM, AnOldVersionIsLoadedButNotUsed) {
  Make("ima-adpcm", 11025, 1, 3000);
  Reload(true, 0x01FF0000);
  EXPECT_EQ(CodecManagerVersion(), 0x01FF0000u);
  EXPECT_FALSE(CodecManagerUsable());
  std::string tag, text;
  GetFormatNames(Format(), tag, text);
  EXPECT_EQ(text, WaveFormatText(Format()));
  const WAVEFORMATEX out = Pcm(11025, 1, 16);
  EXPECT_FALSE(CanConvertFormat(Format(), &out, false));

  Reload(true, 0x02000000);
  EXPECT_TRUE(CodecManagerUsable());
  EXPECT_TRUE(CanConvertFormat(Format(), &out, false));
}

TEST_F(MMACM, NamesComeFromTheCodecManagerWhereItKnowsThem) {
  Make("ms-adpcm", 22050, 2, 3000);
  ASSERT_TRUE(CodecManagerUsable());
  std::string tag, text;
  ASSERT_TRUE(GetFormatNames(Format(), tag, text));
  EXPECT_EQ(tag, "Microsoft ADPCM");
  EXPECT_EQ(text, "22,050 Hz, 4 Bit, Stereo");
  EXPECT_NE(text, WaveFormatText(Format()));
  // A tag the codec manager does not know keeps the engine's name and text.
  WAVEFORMATEX mp3 = Pcm(44100, 2, 16);
  mp3.wFormatTag = 0x55;
  ASSERT_TRUE(GetFormatNames(&mp3, tag, text));
  EXPECT_EQ(tag, "MPEG Layer-3");
  EXPECT_EQ(text, WaveFormatText(&mp3));
}

TEST_F(MMACM, SuggestionsArePCM) {
  WAVEFORMATEX a = Pcm(44100, 2, 16), pcm;
  EXPECT_EQ(SuggestPCMFormat(&a, pcm), &a);  // PCM stays as it is
  EXPECT_TRUE(SameWaveFormat(&pcm, &a));
  Make("ima-adpcm", 22050, 2, 2000);
  EXPECT_EQ(SuggestPCMFormat(Format(), pcm), nullptr);
  EXPECT_EQ(pcm.wFormatTag, 1);
  EXPECT_EQ(pcm.wBitsPerSample, 16);
  EXPECT_EQ(pcm.nChannels, 2);
  EXPECT_EQ(pcm.nSamplesPerSec, 22050u);
  WAVEFORMATEX mp3 = a;
  mp3.wFormatTag = 0x55;
  EXPECT_EQ(SuggestPCMFormat(&mp3, pcm), nullptr);
  EXPECT_EQ(pcm.wFormatTag, 0);
}

TEST_F(MMACM, CanConvertFormatSearchesThroughIntermediateFormats) {
  Make("ms-adpcm", 22050, 2, 3000);
  const WAVEFORMATEX pcm16 = Pcm(22050, 2, 16), mono8 = Pcm(22050, 1, 8), other = Pcm(44100, 2, 16);
  EXPECT_TRUE(CanConvertFormat(Format(), &pcm16, false));
  EXPECT_TRUE(CanConvertFormat(Format(), &mono8, true));  // decode, then mix down and scale
  EXPECT_FALSE(CanConvertFormat(Format(), &other, false));
  EXPECT_FALSE(CanConvertFormat(&pcm16, &other, false));
  EXPECT_FALSE(CanConvertFormat(nullptr, &pcm16, false));
  EXPECT_FALSE(CanConvertFormat(&pcm16, Format(), false));  // nothing encodes
  // A format to itself needs no codec, even one the codec manager could not open.
  WAVEFORMATEX mp3 = other;
  mp3.wFormatTag = 0x55;
  EXPECT_TRUE(CanConvertFormat(&mp3, &mp3, false));
  EXPECT_FALSE(CanConvertFormat(&mp3, &other, false));
}

TEST_F(MMACM, ConvertersTurnSoxADPCMIntoPCMInOneOrTwoSteps) {
  Make("ms-adpcm", 22050, 2, 20000);
  const WAVEFORMATEX pcm16 = Pcm(22050, 2, 16), mono8 = Pcm(22050, 1, 8);
  const uint32_t align = wav_.Format.nBlockAlign;

  TMMACMConverter* one = CreateConverter(Format(), &pcm16, nullptr, false, int32_t(3 * align + 100));
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(one->BlockSize, int32_t(3 * align));
  EXPECT_EQ(one->Stages.size(), 1u);
  EXPECT_EQ(Feed(one, wav_.Data), Bytes16(ref_));
  EXPECT_FALSE(one->SourceLeftOver);

  std::vector<uint8_t> given(4 * align);
  TMMACMConverter* two = CreateConverter(Format(), &mono8, given.data(), false, int32_t(given.size()));
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->Input, given.data());
  EXPECT_EQ(two->Stages.size(), 2u);
  std::vector<uint8_t> expect(ref_.size() / 2);
  for (size_t i = 0; i < expect.size(); ++i) expect[i] = uint8_t((ref_[2 * i] + ref_[2 * i + 1]) / 2 / 256 + 128);
  EXPECT_EQ(Feed(two, wav_.Data), expect);

  // A part block is left over for the next call.
  std::memcpy(one->Input, wav_.Data.data(), align + 10);
  EXPECT_EQ(ConvertBlock(one, int32_t(align + 10)), int32_t(4 * plat::MsAdpcmSamplesPerBlock(align, 2)));
  EXPECT_TRUE(one->SourceLeftOver);
  EXPECT_EQ(ConvertBlock(one, 0), 0);

  // Streams closed by DestroyConverter are gone: closing them again finds no such stream.
  std::vector<plat::HACMSTREAM> handles;
  for (auto* c : {one, two})
    for (auto& s : c->Stages) handles.push_back(s->Stream);
  DestroyConverter(one);
  DestroyConverter(two);
  DestroyConverter(nullptr);
  for (auto h : handles) EXPECT_EQ(plat::AcmStreamClose(h, 0), plat::MMSYSERR_INVALHANDLE);

  // A block size that does not hold one source block, and a format with nothing to convert.
  EXPECT_EQ(CreateConverter(Format(), &pcm16, nullptr, false, int32_t(align - 1)), nullptr);
  TMMACMConverter* same = CreateConverter(&pcm16, &pcm16, nullptr, false, 1000);
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(same->Stages.size(), 0u);
  same->Input[0] = 42;
  EXPECT_EQ(ConvertBlock(same, 5000), 1000);
  EXPECT_EQ(same->Output()[0], 42);
  DestroyConverter(same);
}

TEST_F(MMACM, ConnectorsOnSeveralThreadsConvertAtOnce) {
  // Each connector converts on the thread that drives it; the codec manager's streams are shared
  // bookkeeping and must hold up while others open, convert and close theirs.
  Make("ima-adpcm", 22050, 2, 12000);
  const WAVEFORMATEX mono8 = Pcm(22050, 1, 8);
  TMMACMConverter* first = CreateConverter(Format(), &mono8, nullptr, false, 4096);
  ASSERT_NE(first, nullptr);
  const auto expect = Feed(first, wav_.Data);
  DestroyConverter(first);
  std::vector<std::vector<uint8_t>> got(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < got.size(); ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        TMMACMConverter* c = CreateConverter(Format(), &mono8, nullptr, false, 4096);
        if (!c) return;
        got[t] = Feed(c, wav_.Data);
        DestroyConverter(c);
      }
    });
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, expect);
}
