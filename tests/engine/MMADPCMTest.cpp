#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "common/sox_adpcm.h"
#include "engine/MMADPCM.h"
#include "engine/MMAntex.h"

using soxadpcm::WavImage;

namespace {

const WAVEFORMATEX* AsFormat(const std::vector<uint32_t>& block) {
  return reinterpret_cast<const WAVEFORMATEX*>(block.data());
}

WAVEFORMATEX Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
  WAVEFORMATEX f;
  MakePCMFormat(f, bits, channels, int(rate));
  return f;
}

std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes, size_t n) {
  std::vector<int16_t> s(n / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

}  // namespace

TEST(MMADPCM, MakeADPCMFormatFromPCMAndBack) {
  struct Case {
    uint32_t rate;
    uint16_t channels;
    uint16_t align, perBlock;
    uint32_t avg;
  };
  // avg = 7ch x (raw / align) + raw + 7ch, raw = 4 x ch x rate / 8.
  for (Case c : {Case{22050, 1, 512, 1012, 7 * 21 + 11025 + 7}, Case{44100, 2, 2048, 2036, 14 * 21 + 44100 + 14},
                 Case{12000, 4, 1024, 500, 28 * 23 + 24000 + 28}}) {
    SCOPED_TRACE(std::to_string(c.rate) + " x" + std::to_string(c.channels));
    const WAVEFORMATEX pcm = Pcm(c.rate, c.channels, 16);
    TWaveFormatPtr ms;
    ASSERT_TRUE(MakeADPCMFormat(&pcm, ms, 16, 0, 0));
    EXPECT_EQ(ms->wFormatTag, 2);
    EXPECT_EQ(ms->wBitsPerSample, 4);
    EXPECT_EQ(ms->nBlockAlign, c.align);
    EXPECT_EQ(ms->nAvgBytesPerSec, c.avg);
    EXPECT_EQ(ms->cbSize, 32);
    EXPECT_EQ(WaveFormatExtra(ms.get())[0] | (WaveFormatExtra(ms.get())[1] << 8), c.perBlock);
    EXPECT_EQ(WaveFormatExtra(ms.get())[2], 7);
    EXPECT_TRUE(IsMSADPCMFormat(ms.get()));

    TWaveFormatPtr back;
    ASSERT_TRUE(MakeADPCMFormat(ms.get(), back, 0, 0, 0));
    EXPECT_EQ(back->wFormatTag, 1);
    EXPECT_EQ(back->wBitsPerSample, 16);
    EXPECT_EQ(back->nChannels, c.channels);
    EXPECT_EQ(back->nSamplesPerSec, c.rate);
    EXPECT_EQ(back->nBlockAlign, 2 * c.channels);
    ASSERT_TRUE(MakeADPCMFormat(ms.get(), back, 8, 0, 1));
    EXPECT_EQ(back->wBitsPerSample, 8);
    EXPECT_EQ(back->nChannels, 1);
    EXPECT_FALSE(MakeADPCMFormat(ms.get(), back, 12, 0, 0));
  }
  // Given rate and channels win over the source's.
  const WAVEFORMATEX pcm = Pcm(8000, 1, 8);
  TWaveFormatPtr ms;
  ASSERT_TRUE(MakeADPCMFormat(&pcm, ms, 0, 44100, 2));
  EXPECT_EQ(ms->nBlockAlign, 2048);
  EXPECT_EQ(ms->nSamplesPerSec, 44100u);

  // Refusals: no format, an invalid PCM source, other tags, and results that are no valid format.
  EXPECT_FALSE(MakeADPCMFormat(nullptr, ms, 16, 0, 0));
  WAVEFORMATEX bad = Pcm(3999, 1, 16);
  EXPECT_FALSE(MakeADPCMFormat(&bad, ms, 16, 0, 0));
  bad = Pcm(22050, 3, 16);
  EXPECT_FALSE(MakeADPCMFormat(&bad, ms, 16, 0, 0));
  EXPECT_FALSE(MakeADPCMFormat(&pcm, ms, 16, 0, 5));        // five channels
  EXPECT_FALSE(MakeADPCMFormat(&pcm, ms, 16, 2000000, 4));  // block align past 16 bits
  bad = Pcm(22050, 1, 16);
  bad.wFormatTag = 0x11;
  EXPECT_FALSE(MakeADPCMFormat(&bad, ms, 16, 0, 0));
}

TEST(MMADPCM, IsMSADPCMFormatWantsTheStandardPairsAndABlockThatHoldsItsSamples) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(2000, 2), w, ref));
  EXPECT_TRUE(IsMSADPCMFormat(AsFormat(w.Block())));
  EXPECT_FALSE(IsMSADPCMFormat(nullptr));
  auto refused = [&](auto change) {
    WavImage v = w;
    change(v);
    return !IsMSADPCMFormat(AsFormat(v.Block()));
  };
  EXPECT_TRUE(refused([](WavImage& v) { v.Extra[4 + 4 * 3] = 1; }));  // a pair that is not the standard's
  EXPECT_TRUE(refused([](WavImage& v) { v.Format.nChannels = 5; }));
  EXPECT_TRUE(refused([](WavImage& v) { v.Format.cbSize = 30; }));
  EXPECT_TRUE(refused([](WavImage& v) { v.Format.nBlockAlign = 10; }));
  EXPECT_TRUE(refused([](WavImage& v) { v.Format.nSamplesPerSec = 0; }));
  EXPECT_TRUE(refused([](WavImage& v) { v.Format.wFormatTag = 0x11; }));
}

TEST(MMADPCM, DecodeMSADPCMIn8BitsAndWithinItsDestination) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(9000, 2), w, ref));
  const auto fmt = w.Block();
  std::vector<uint8_t> out(ref.size() * 2 + 64);
  const WAVEFORMATEX pcm16 = Pcm(22050, 2, 16), pcm8 = Pcm(22050, 2, 8);
  const int32_t n8 =
      DecodeMSADPCM(AsFormat(fmt), &pcm8, w.Data.data(), int32_t(w.Data.size()), out.data(), int32_t(out.size()));
  ASSERT_EQ(size_t(n8), ref.size());
  for (size_t i = 0; i < ref.size(); ++i) ASSERT_EQ(out[i], uint8_t(ref[i] / 256 + 128)) << i;

  // Never past the destination: a buffer of 1001 bytes takes 250 whole stereo frames.
  std::vector<uint8_t> small(1001 + 16, 0xEE);
  EXPECT_EQ(DecodeMSADPCM(AsFormat(fmt), &pcm16, w.Data.data(), int32_t(w.Data.size()), small.data(), 1001), 1000);
  EXPECT_EQ(small[1000], 0xEE);
  EXPECT_EQ(Samples16(small, 1000), std::vector<int16_t>(ref.begin(), ref.begin() + 500));

  // The PCM side must have the source's channels.
  const WAVEFORMATEX mono = Pcm(22050, 1, 16);
  EXPECT_EQ(DecodeMSADPCM(AsFormat(fmt), &mono, w.Data.data(), int32_t(w.Data.size()), out.data(), int32_t(out.size())),
            0);
}

TEST(MMADPCM, DamagedBlockEndsDecodingButKeepsTheBlocksBeforeIt) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 8000, 1, soxadpcm::Signal(3000, 1), w, ref));
  const auto fmt = w.Block();
  const WAVEFORMATEX pcm = Pcm(8000, 1, 16);
  const size_t align = w.Format.nBlockAlign, perBlock = 500;
  ASSERT_GE(w.Data.size(), 3 * align);
  std::vector<uint8_t> out(ref.size() * 2);
  bool damaged = false;

  auto data = w.Data;
  data[align] = 7;  // the second block's predictor
  const int32_t n =
      DecodeMSADPCM(AsFormat(fmt), &pcm, data.data(), int32_t(data.size()), out.data(), int32_t(out.size()), &damaged);
  EXPECT_TRUE(damaged);
  ASSERT_EQ(size_t(n), perBlock * 2);
  EXPECT_EQ(Samples16(out, size_t(n)), std::vector<int16_t>(ref.begin(), ref.begin() + perBlock));

  data = w.Data;
  data[0] = 7;  // a first block whose predictor byte is 7 yields no samples
  EXPECT_EQ(
      DecodeMSADPCM(AsFormat(fmt), &pcm, data.data(), int32_t(data.size()), out.data(), int32_t(out.size()), &damaged),
      0);
  EXPECT_TRUE(damaged);
}

TEST(MMADPCM, MediaVisionTableKeepsItsShape) {
  const int16_t row0[8] = {0, 2, 4, 6, 8, 10, 12, 13};
  const int16_t row1[8] = {1, 3, 5, 7, 9, 11, 13, 15};
  const int16_t row88[8] = {4096, 12288, 20479, 28671, -28673, -20481, -12290, -4098};
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(MediaVisionDifference(0, n), row0[n]);
    EXPECT_EQ(MediaVisionDifference(1, n), row1[n]);
    EXPECT_EQ(MediaVisionDifference(88, n), row88[n]);
  }
  // Unwrapped, every row grows along the nibbles and down the rows.
  auto unwrapped = [](int row, int n) { return int32_t(uint16_t(MediaVisionDifference(row, n))); };
  for (int row = 0; row < 89; ++row)
    for (int n = 0; n < 8; ++n) {
      if (n > 0) {
        EXPECT_GT(unwrapped(row, n), unwrapped(row, n - 1)) << row << "," << n;
      }
      if (row > 0) {
        EXPECT_GE(unwrapped(row, n), unwrapped(row - 1, n)) << row << "," << n;
      }
    }
}

TEST(MMADPCM, IMADecodersNibbleOrderLimitsAndLastingState) {
  // Tag 3 mono: high nibble first. From 0 at step index 0: nibble 3 adds 6 (index -1 -> 0),
  // nibble 0xC subtracts 8 (index 0 + 2 = 2).
  TMMIMAState st;
  uint8_t one = 0x3C;
  int16_t out[8];
  EXPECT_EQ(DecodeIMAMono(st, 1, &one, out), 4);
  EXPECT_EQ(out[0], 6);
  EXPECT_EQ(out[1], -2);
  EXPECT_EQ(st.Channel[0].StepIndex, 2);
  EXPECT_EQ(st.Channel[0].LastSample, -2);
  EXPECT_EQ(st.Channel[0].Nibble, 0xC);

  // Tag 3 stereo: low nibble left, high nibble right.
  st = TMMIMAState{};
  EXPECT_EQ(DecodeIMAStereo(st, 1, &one, out), 4);
  EXPECT_EQ(out[0], -8);  // left took 0xC
  EXPECT_EQ(out[1], 6);   // right took 3

  // Antex stereo: bytes in swapped pairs, high nibble left.
  const uint8_t pair[2] = {0x10, 0x32};
  st = TMMIMAState{};
  EXPECT_EQ(MMAntex::DecodeIMAStereo(st, 2, pair, out), 8);
  TMMIMAState ref;
  int16_t expect[4];
  MMAntex::DecodeIMAStereo(ref, 1, &pair[1], expect);
  MMAntex::DecodeIMAStereo(ref, 1, &pair[0], expect + 2);
  EXPECT_EQ(std::vector<int16_t>(out, out + 4), std::vector<int16_t>(expect, expect + 4));
  EXPECT_EQ(out[0], MMAntex::Difference(0, 3));  // left: 0x32's high nibble

  // Loud nibbles: the Antex decoders pin at the top, tag 3 wraps round in 16 bits.
  std::vector<uint8_t> up(200, 0x77);
  std::vector<int16_t> a(400), m(400);
  TMMIMAState sa, sm;
  MMAntex::DecodeIMAMono(sa, 200, up.data(), a.data());
  DecodeIMAMono(sm, 200, up.data(), m.data());
  EXPECT_EQ(a.back(), INT16_MAX);
  bool wrapped = false;
  for (size_t i = 1; i < m.size(); ++i) wrapped = wrapped || m[i] < m[i - 1];
  EXPECT_TRUE(wrapped);

  // The state carries over: two calls give what one call gives.
  std::vector<uint8_t> bytes(301);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 37 + 11);
  for (int stereo = 0; stereo < 2; ++stereo)
    for (int antex = 0; antex < 2; ++antex) {
      auto decode = [&](TMMIMAState& s, int32_t n, const uint8_t* p, int16_t* o) {
        if (antex) return stereo ? MMAntex::DecodeIMAStereo(s, n, p, o) : MMAntex::DecodeIMAMono(s, n, p, o);
        return stereo ? DecodeIMAStereo(s, n, p, o) : DecodeIMAMono(s, n, p, o);
      };
      std::vector<int16_t> whole(602), parts(602);
      TMMIMAState s1, s2;
      EXPECT_EQ(decode(s1, 301, bytes.data(), whole.data()), 1204);
      decode(s2, 100, bytes.data(), parts.data());
      decode(s2, 201, bytes.data() + 100, parts.data() + 200);
      EXPECT_EQ(whole, parts) << "stereo " << stereo << " antex " << antex;
    }
}

TEST(MMADPCM, AntexMonoMatchesSoxRawIMA) {
  // sox's headerless IMA stream is the same mono coding as tags 0x33 and 0x206.
  Scratch dir;
  const std::string wav = dir.Path("in.wav"), ima = dir.Path("x.ima"), raw = dir.Path("x.raw");
  soxadpcm::WritePcmWav(wav, 8000, 1, soxadpcm::Signal(7000, 1, 5));
  ASSERT_TRUE(soxadpcm::Run("sox '" + wav + "' -t ima '" + ima + "'"));
  ASSERT_TRUE(soxadpcm::Run("sox -t ima -r 8000 -c 1 '" + ima + "' -t s16 '" + raw + "'"));
  const auto in = soxadpcm::ReadFile(ima);
  const auto ref = soxadpcm::ToSamples(soxadpcm::ReadFile(raw));
  std::vector<int16_t> out(in.size() * 2);
  TMMIMAState st;
  ASSERT_EQ(MMAntex::DecodeIMAMono(st, int32_t(in.size()), in.data(), out.data()), int32_t(in.size() * 4));
  EXPECT_EQ(out, ref);
}
