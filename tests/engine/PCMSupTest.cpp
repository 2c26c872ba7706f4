#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <vector>

#include "engine/MMPCMSup.h"
#include "platform/audio/riff_io.h"

namespace {

WAVEFORMATEX Pcm(int bits, int channels, int rate) {
  WAVEFORMATEX f;
  MakePCMFormat(f, bits, channels, rate);
  return f;
}

std::vector<uint8_t> Samples16(const std::vector<int>& v) {
  std::vector<uint8_t> out(v.size() * 2);
  for (size_t i = 0; i < v.size(); ++i) plat::PutLE16(out.data() + 2 * i, uint16_t(int16_t(v[i])));
  return out;
}

}  // namespace

TEST(MMPCMSup, ValidFormatsAndTheirBounds) {
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  EXPECT_EQ(f.nBlockAlign, 4);
  EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
  EXPECT_TRUE(IsValidPCMFormat(&f));
  EXPECT_FALSE(IsValidPCMFormat(nullptr));
  for (int rate : {4000, 100000}) EXPECT_TRUE(IsValidPCMFormat(&(f = Pcm(8, 4, rate)))) << rate;
  for (int rate : {3999, 100001}) EXPECT_FALSE(IsValidPCMFormat(&(f = Pcm(8, 1, rate)))) << rate;
  EXPECT_FALSE(IsValidPCMFormat(&(f = Pcm(8, 3, 8000))));
  EXPECT_FALSE(IsValidPCMFormat(&(f = Pcm(12, 1, 8000))));
  f = Pcm(16, 1, 8000);
  f.wFormatTag = 2;
  EXPECT_FALSE(IsValidPCMFormat(&f));

  f = Pcm(16, 1, 8000);
  f.cbSize = 22;
  EXPECT_EQ(WaveFormatSize(&f), 18u) << "PCM ignores its extra size";
  f.wFormatTag = 0x11;
  EXPECT_EQ(WaveFormatSize(&f), 40u);
  EXPECT_EQ(WaveFormatSize(nullptr), 0u);
  f.wFormatTag = 1;
  EXPECT_EQ(CopyWaveFormat(&f)->cbSize, 0) << "PCM carries no extra bytes";
  EXPECT_FALSE(CopyWaveFormat(nullptr));
}

TEST(MMPCMSup, FormatRecordIsEighteenLittleEndianBytes) {
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  const uint8_t pcm[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  EXPECT_EQ(WaveFormatToBytes(&f), std::vector<uint8_t>(pcm, pcm + 18));

  TWaveFormatPtr ima = AllocWaveFormat(2);
  *ima = f;
  ima->wFormatTag = 0x11;
  ima->cbSize = 2;
  WaveFormatExtra(ima.get())[0] = 0xF9;
  std::vector<uint8_t> bytes = WaveFormatToBytes(ima.get());
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(bytes[16], 2);
  EXPECT_EQ(bytes[18], 0xF9);
  TWaveFormatPtr back = WaveFormatFromBytes(bytes.data(), bytes.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->cbSize, 2);
  TWaveFormatPtr copy = CopyWaveFormat(back.get());
  EXPECT_EQ(WaveFormatExtra(copy.get())[0], 0xF9) << "a copy carries the extra bytes";
  EXPECT_EQ(WaveFormatExtra(back.get())[0], 0xF9);
  EXPECT_EQ(back->nSamplesPerSec, 44100u);
  EXPECT_FALSE(WaveFormatFromBytes(bytes.data(), 19)) << "the extra bytes must all be there";
  back = WaveFormatFromBytes(pcm, 16);
  ASSERT_TRUE(back) << "a 16-byte PCM record";
  EXPECT_EQ(back->cbSize, 0);
}

TEST(MMPCMSup, Conversions) {
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  EXPECT_EQ(SamplesToBytes(&f, 1), 4);
  EXPECT_EQ(BytesToSamples(&f, 3), 0);
  EXPECT_EQ(MillisecondsToBytes(&f, 1), 176) << "176.4 rounded up to whole blocks";
  EXPECT_EQ(SamplesToBytes(nullptr, 5), 0);
  // An ADPCM-like rate that does not divide evenly still rounds up to whole blocks.
  WAVEFORMATEX adpcm = f;
  adpcm.wFormatTag = 0x11;
  adpcm.nBlockAlign = 1024;
  adpcm.nAvgBytesPerSec = 44359;
  EXPECT_EQ(SamplesToBytes(&adpcm, 2041), 3072);
  // Past 2 GiB the 64-bit forms stay exact where the 32-bit ones saturate.
  const int64_t bytes = int64_t(3) << 30;
  EXPECT_EQ(BytesToSamples64(&f, bytes), bytes / 4);
  EXPECT_EQ(SamplesToBytes64(&f, bytes / 4), bytes);
  EXPECT_EQ(SamplesToMilliseconds64(&f, int64_t(44100) * 100000), 100000000);
  EXPECT_EQ(MillisecondsToSamples64(&f, 100000000), int64_t(44100) * 100000);
  WAVEFORMATEX zero{};
  EXPECT_EQ(BytesToSamples(&zero, 100), 0) << "a zero byte rate never divides";
  EXPECT_EQ(BytesToSamples64(&zero, 100), 0);
}

TEST(MMPCMSup, NamesAndTexts) {
  WAVEFORMATEX f = Pcm(16, 2, 44100);
  EXPECT_EQ(FormatTagName(&f), "PCM");
  f.wFormatTag = 0x11;
  EXPECT_EQ(FormatTagName(&f), "IMA ADPCM");
  f.wFormatTag = 0x209;
  EXPECT_EQ(FormatTagName(&f), "Dolby AC2");
  f.wFormatTag = 0x9999;
  EXPECT_EQ(FormatTagName(&f), "Unknown");
  EXPECT_EQ(FormatTagName(nullptr), "Unknown");

  std::setlocale(LC_NUMERIC, "C");
  f = Pcm(16, 2, 44100);
  EXPECT_EQ(WaveFormatText(&f), "44.100 kHz, 16 Bit, Stereo");
  f = Pcm(8, 1, 11025);
  EXPECT_EQ(WaveFormatText(&f), "11.025 kHz, 8 Bit, Mono");
  f = Pcm(16, 4, 8000);
  EXPECT_EQ(WaveFormatText(&f), "8.000 kHz, 16 Bit, 4 Channels");
  // IMA ADPCM at 4 bits plus its block overhead.
  WAVEFORMATEX ima{0x11, 1, 22050, 11100, 512, 4, 2};
  EXPECT_EQ(WaveFormatText(&ima), "22.050 kHz, 4 Bit, Mono");
  EXPECT_EQ(WaveFormatText(nullptr), "Unknown");
}

TEST(MMPCMSup, BitConversion) {
  std::vector<uint8_t> in = Samples16({-1, -256, 32767, -32768, 0, 255});
  uint8_t out8[6];
  EXPECT_EQ(ConvertPCMBits(8, out8, 16, int32_t(in.size()), in.data()), 6);
  EXPECT_EQ(std::vector<uint8_t>(out8, out8 + 6), (std::vector<uint8_t>{128, 127, 255, 0, 128, 128}));
  uint8_t out16[12];
  const uint8_t eight[3] = {0, 128, 255};
  EXPECT_EQ(ConvertPCMBits(16, out16, 8, 3, eight), 6);
  EXPECT_EQ(std::vector<uint8_t>(out16, out16 + 6), Samples16({-32768, 0, 32512}));
  EXPECT_EQ(ConvertPCMBits(16, out16, 16, 5, in.data()), 5) << "equal depths copy";
}

TEST(MMPCMSup, TriggerPoints) {
  WAVEFORMATEX mono = Pcm(16, 1, 8000);
  std::vector<int> sine;
  for (int i = 0; i < 64; ++i) sine.push_back(int(std::lround(std::sin((i + 20) * 2 * M_PI / 32) * 20000)));
  std::vector<uint8_t> s = Samples16(sine);
  int first = -1;
  for (size_t i = 0; i + 1 < sine.size(); ++i)
    if (sine[i] < 0 && sine[i + 1] >= 0) {
      first = int(i + 1);
      break;
    }
  ASSERT_GT(first, 0);
  EXPECT_EQ(FindTriggerPoint(&mono, s.data(), int32_t(s.size()), 0, 1, 0), first * 2);
  EXPECT_EQ(FindTriggerPoint(&mono, s.data(), int32_t(s.size()), 0, 0, 0), -1);
  EXPECT_EQ(FindTriggerPoint(&mono, s.data(), 0, 0, 1, 0), -1);
  // Falling through -50 % (level 50 is negated for a falling slope): threshold -16350.
  int fall = -1;
  for (size_t i = 0; i + 1 < sine.size(); ++i)
    if (sine[i] > -16350 && sine[i + 1] <= -16350) {
      fall = int(i + 1);
      break;
    }
  EXPECT_EQ(FindTriggerPoint(&mono, s.data(), int32_t(s.size()), 50, 2, 0), fall * 2);

  // Stereo: a crossing only on the right channel.
  WAVEFORMATEX stereo = Pcm(8, 2, 8000);
  const uint8_t frames[] = {100, 100, 100, 100, 100, 200, 100, 200, 100, 200};
  EXPECT_EQ(FindTriggerPoint(&stereo, frames, 10, 0, 1, 1), -1);
  EXPECT_EQ(FindTriggerPoint(&stereo, frames, 10, 0, 1, 2), 2 + 2 + 1);
  EXPECT_EQ(FindTriggerPoint(&stereo, frames, 10, 0, 1, 0), 5);
  EXPECT_EQ(FindTriggerPoint(&stereo, frames, 4, 0, 1, 0), -1) << "two frames are too few";
}

TEST(MMPCMSup, ExtremesComeInTimeOrder) {
  WAVEFORMATEX stereo = Pcm(16, 2, 8000);
  std::vector<uint8_t> s = Samples16({5, -3, 900, -40, -700, 50, 6, 60});
  int a, b, c, d;
  FindMinMaxSamples(&stereo, s.data(), int32_t(s.size()), a, b, c, d);
  EXPECT_EQ(a, 900);
  EXPECT_EQ(b, -700);
  EXPECT_EQ(c, -40);
  EXPECT_EQ(d, 60);
  WAVEFORMATEX mono8 = Pcm(8, 1, 8000);
  const uint8_t m[] = {0, 0, 0};
  FindMinMaxSamples(&mono8, m, 3, a, b, c, d);
  EXPECT_EQ(a, 0) << "all at the bottom of the scale";
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
  FindMinMaxSamples(&mono8, m, 0, a, b, c, d);
  EXPECT_EQ(a, 128);
  EXPECT_EQ(d, 128);
}
