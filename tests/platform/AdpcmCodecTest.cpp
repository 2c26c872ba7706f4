#include <gtest/gtest.h>

#include <climits>

#include "common/sox_adpcm.h"
#include "platform/audio/adpcm_codec.h"

using namespace plat;
using soxadpcm::WavImage;

namespace {

// Decodes a whole data chunk block by block, the last block as far as its bytes go.
std::vector<int16_t> DecodeAll(const WavImage& w, bool ms) {
  AdpcmLayout layout;
  EXPECT_TRUE(ms ? ParseMsAdpcmFormat(w.Format, w.Extra, layout) : ParseImaAdpcmFormat(w.Format, w.Extra, layout));
  std::vector<int16_t> out, block(size_t(layout.SamplesPerBlock) * layout.Channels);
  for (size_t pos = 0; pos < w.Data.size(); pos += layout.BlockAlign) {
    const uint8_t* p = w.Data.data() + pos;
    const size_t n = w.Data.size() - pos;
    const int32_t frames = ms ? DecodeMsAdpcmBlock(layout, p, n, block.data(), layout.SamplesPerBlock)
                              : DecodeImaAdpcmBlock(layout, p, n, block.data(), layout.SamplesPerBlock);
    EXPECT_GE(frames, 0);
    out.insert(out.end(), block.begin(), block.begin() + std::max(frames, 0) * layout.Channels);
  }
  return out;
}

struct Case {
  const char* encoding;
  uint32_t rate;
  uint16_t channels;
};

}  // namespace

TEST(AdpcmCodec, DecodesWhatSoxEncodesExactly) {
  for (Case c : {Case{"ms-adpcm", 8000, 1}, Case{"ms-adpcm", 22050, 2}, Case{"ms-adpcm", 44100, 1},
                 Case{"ima-adpcm", 11025, 1}, Case{"ima-adpcm", 22050, 2}, Case{"ima-adpcm", 48000, 2}}) {
    SCOPED_TRACE(std::string(c.encoding) + " " + std::to_string(c.rate) + " x" + std::to_string(c.channels));
    Scratch dir;
    WavImage w;
    std::vector<int16_t> ref;
    ASSERT_TRUE(soxadpcm::Encode(dir, c.encoding, c.rate, c.channels, soxadpcm::Signal(12345, c.channels), w, ref));
    const bool ms = std::string(c.encoding) == "ms-adpcm";
    const auto ours = DecodeAll(w, ms);
    ASSERT_EQ(ours.size(), ref.size());
    EXPECT_EQ(ours, ref);

    // Cut inside the last block: what is there decodes to the same samples.
    w.Data.resize(w.Data.size() - w.Format.nBlockAlign / 3);
    const auto cut = DecodeAll(w, ms);
    ASSERT_LT(cut.size(), ref.size());
    ASSERT_GT(cut.size(), ref.size() - size_t(w.Format.nBlockAlign) * 2);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), ref.begin()));
  }
}

TEST(AdpcmCodec, RefusesFormatsThatCannotBeDecodedSafely) {
  Scratch dir;
  WavImage ms, ima;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(3000, 2), ms, ref));
  ASSERT_TRUE(soxadpcm::Encode(dir, "ima-adpcm", 22050, 2, soxadpcm::Signal(3000, 2), ima, ref));
  AdpcmLayout layout;
  ASSERT_TRUE(ParseMsAdpcmFormat(ms.Format, ms.Extra, layout));
  EXPECT_EQ(layout.Coefs.size(), 7u);
  EXPECT_EQ(layout.SamplesPerBlock, MsAdpcmSamplesPerBlock(ms.Format.nBlockAlign, 2));

  auto msRefused = [&](auto change) {
    WavImage w = ms;
    change(w);
    return !ParseMsAdpcmFormat(w.Format, w.Extra, layout);
  };
  EXPECT_TRUE(msRefused([](WavImage& w) { w.Format.nBlockAlign = 13; }));  // smaller than its header
  EXPECT_TRUE(msRefused([](WavImage& w) { w.Format.nBlockAlign /= 2; }));  // samples per block no longer fit
  EXPECT_TRUE(msRefused([](WavImage& w) { w.Format.nChannels = 0; }));
  EXPECT_TRUE(msRefused([](WavImage& w) { w.Extra.resize(20); }));  // pairs announced, not there
  EXPECT_TRUE(msRefused([](WavImage& w) { w.Format.cbSize = 16; }));

  ASSERT_TRUE(ParseImaAdpcmFormat(ima.Format, ima.Extra, layout));
  WavImage w = ima;
  w.Format.nBlockAlign = 7;  // less than the two channels' headers
  EXPECT_FALSE(ParseImaAdpcmFormat(w.Format, w.Extra, layout));
  w = ima;
  w.Extra[0] = 0xFF;
  w.Extra[1] = 0x7F;
  EXPECT_FALSE(ParseImaAdpcmFormat(w.Format, w.Extra, layout));
  EXPECT_FALSE(ParseImaAdpcmFormat(ms.Format, ms.Extra, layout));
}

TEST(AdpcmCodec, DecodersStayInsideTheirBlockAndOutput) {
  AdpcmLayout ms{1, 64, uint16_t(MsAdpcmSamplesPerBlock(64, 1)), {}};
  ms.Coefs.assign(std::begin(kMsAdpcmStandardCoefs), std::end(kMsAdpcmStandardCoefs));
  std::vector<uint8_t> block(64, 0x77);
  block[0] = 1;
  std::vector<int16_t> out(200, 12345);
  // Room for 10 frames: the 11th keeps its old value.
  EXPECT_EQ(DecodeMsAdpcmBlock(ms, block.data(), block.size(), out.data(), 10), 10);
  EXPECT_EQ(out[10], 12345);
  // Only the header and three bytes: 2 + 6 frames.
  EXPECT_EQ(DecodeMsAdpcmBlock(ms, block.data(), 10, out.data(), 200), 8);
  EXPECT_EQ(DecodeMsAdpcmBlock(ms, block.data(), 6, out.data(), 200), 0);
  // A predictor outside the pairs damages the block and writes nothing.
  std::fill(out.begin(), out.end(), 12345);
  block[0] = 7;
  EXPECT_EQ(DecodeMsAdpcmBlock(ms, block.data(), block.size(), out.data(), 200), -1);
  EXPECT_EQ(out[0], 12345);

  AdpcmLayout ima{2, 64, uint16_t(ImaAdpcmSamplesPerBlock(64, 2)), {}};
  EXPECT_EQ(ima.SamplesPerBlock, 57);
  // Headers plus one whole group (8 bytes): 1 + 8 frames; half of the next group adds nothing
  // because the right channel's bytes are not there.
  EXPECT_EQ(DecodeImaAdpcmBlock(ima, block.data(), 16, out.data(), 200), 9);
  EXPECT_EQ(DecodeImaAdpcmBlock(ima, block.data(), 20, out.data(), 200), 9);
  EXPECT_EQ(DecodeImaAdpcmBlock(ima, block.data(), 22, out.data(), 200), 13);
  EXPECT_EQ(DecodeImaAdpcmBlock(ima, block.data(), 7, out.data(), 200), 0);
}

TEST(AdpcmCodec, HostileStreamsSaturateInsteadOfOverflowing) {
  // Extreme pairs, the largest delta and every nibble at its top: the prediction needs more than
  // 32 bits and the step keeps growing. Samples must pin at the limits.
  AdpcmLayout ms{1, 256, uint16_t(MsAdpcmSamplesPerBlock(256, 1)), {{-32768, -32768}}};
  std::vector<uint8_t> block(256, 0x77);
  block[0] = 0;
  block[1] = 0xFF, block[2] = 0x7F;  // delta 32767
  block[3] = 0x00, block[4] = 0x80;  // first sample -32768
  block[5] = 0x00, block[6] = 0x80;  // second sample -32768
  std::vector<int16_t> out(ms.SamplesPerBlock);
  ASSERT_EQ(DecodeMsAdpcmBlock(ms, block.data(), block.size(), out.data(), out.size()), ms.SamplesPerBlock);
  for (size_t i = 2; i < out.size(); ++i) ASSERT_TRUE(out[i] == INT16_MAX || out[i] == INT16_MIN) << i;

  AdpcmLayout ima{1, 256, uint16_t(ImaAdpcmSamplesPerBlock(256, 1)), {}};
  block.assign(256, 0x77);
  block[2] = 200;  // a step index past the table starts from 0
  out.assign(ima.SamplesPerBlock, 0);
  ASSERT_EQ(DecodeImaAdpcmBlock(ima, block.data(), block.size(), out.data(), out.size()), ima.SamplesPerBlock);
  EXPECT_EQ(out.back(), INT16_MAX);
  EXPECT_GT(out[1], out[0]);
}
