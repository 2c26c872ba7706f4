#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ChainMocks.h"
#include "common/sox_adpcm.h"
#include "engine/MMADCvt.h"
#include "engine/MMAntex.h"

using soxadpcm::WavImage;

namespace {

// The head of a pull chain: serves the given bytes, at most `chunk` per pull, and says "no more"
// with the last ones. It can mark the buffer of one pull as carrying the loop point.
class BytesSource : public TMMDSPComponent {
public:
  BytesSource(std::vector<uint8_t> bytes, uint32_t chunk) : bytes_(std::move(bytes)), chunk_(chunk) {}
  void BufferLoad(PWaveHdr h, bool& more) override {
    ++pulls;
    const uint32_t n = uint32_t(std::min<size_t>({bytes_.size() - pos_, h->dwBufferLength, chunk_}));
    std::memcpy(h->lpData, bytes_.data() + pos_, n);
    pos_ += n;
    h->dwBytesRecorded = n;
    if (pulls == markPull) h->LoopMark = -1;
    seenLoopsLeft = h->LoopsLeft;
    h->LoopsLeft = 42;
    if (pos_ < bytes_.size()) more = true;
  }
  int pulls = 0;
  int markPull = -1;
  int32_t seenLoopsLeft = 0;

private:
  std::vector<uint8_t> bytes_;
  size_t chunk_;
  size_t pos_ = 0;
};

// Pulls everything through the converter in buffers of `size` bytes, as an output device would.
std::vector<uint8_t> Drain(TMMDSPComponent& tail, uint32_t size, int* loads = nullptr) {
  std::vector<unsigned char> block(kWaveHdrSize + size);
  PWaveHdr h = InitWaveHdr(block.data(), size);
  std::vector<uint8_t> all;
  bool more = true;
  for (int guard = 0; more && guard < 100000; ++guard) {
    more = false;
    h->dwBytesRecorded = 0;
    tail.BufferLoad(h, more);
    all.insert(all.end(), h->lpData, h->lpData + h->dwBytesRecorded);
    if (loads) ++*loads;
  }
  return all;
}

struct Chain {
  Chain(const WAVEFORMATEX* format, std::vector<uint8_t> data, uint32_t chunk = 1u << 30)
      : source(std::move(data), chunk) {
    source.SetWaveFormat(format);
    converter.SetInput(&source);
    sink.SetInput(&converter);
  }
  void Run() {
    converter.ChainOpen();
    converter.ChainStart();
  }
  BytesSource source;
  TMMADPCMConverter converter;
  TMMDSPComponent sink;
};

std::vector<uint8_t> Bytes16(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

std::vector<uint8_t> To8(const std::vector<int16_t>& s) {
  std::vector<uint8_t> b(s.size());
  for (size_t i = 0; i < s.size(); ++i) b[i] = uint8_t(s[i] / 256 + 128);
  return b;
}

// Microsoft ADPCM blocks of any block align, made of valid headers and arbitrary nibbles.
std::vector<uint32_t> OddMSFormat(uint16_t align, uint16_t channels) {
  WavImage w;
  w.Format.wFormatTag = 2;
  w.Format.nChannels = channels;
  w.Format.nSamplesPerSec = 22050;
  w.Format.nBlockAlign = align;
  w.Format.wBitsPerSample = 4;
  w.Format.cbSize = 32;
  w.Extra.assign(32, 0);
  const uint32_t perBlock = plat::MsAdpcmSamplesPerBlock(align, channels);
  w.Extra[0] = uint8_t(perBlock), w.Extra[1] = uint8_t(perBlock >> 8), w.Extra[2] = 7;
  for (int i = 0; i < 7; ++i) {
    const auto c = plat::kMsAdpcmStandardCoefs[i];
    w.Extra[4 + 4 * i] = uint8_t(c.Coef1), w.Extra[5 + 4 * i] = uint8_t(uint16_t(c.Coef1) >> 8);
    w.Extra[6 + 4 * i] = uint8_t(c.Coef2), w.Extra[7 + 4 * i] = uint8_t(uint16_t(c.Coef2) >> 8);
  }
  return w.Block();
}

std::vector<uint8_t> OddMSData(uint16_t align, uint16_t channels, size_t blocks) {
  std::vector<uint8_t> d(align * blocks);
  uint32_t x = 7;
  for (auto& b : d) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  for (size_t k = 0; k < blocks; ++k) {
    uint8_t* p = d.data() + k * align;
    for (uint16_t c = 0; c < channels; ++c) {
      p[c] = uint8_t(p[c] % 7);
      p[channels + 2 * c] = 40, p[channels + 2 * c + 1] = 0;  // a small delta
    }
  }
  return d;
}

const WAVEFORMATEX* AsFormat(const std::vector<uint32_t>& block) {
  return reinterpret_cast<const WAVEFORMATEX*>(block.data());
}

}  // namespace

TEST(MMADCvt, PCMPassesThroughByteForByte) {
  const WAVEFORMATEX pcm = PcmFormat(22050, 2, 16);
  std::vector<uint8_t> data(10001);
  for (size_t i = 0; i < data.size(); ++i) data[i] = PatternByte(i);
  Chain c(&pcm, data);
  c.Run();
  EXPECT_FALSE(c.converter.Decoding());
  ASSERT_NE(c.sink.GetWaveFormat(), nullptr);
  EXPECT_EQ(c.sink.GetWaveFormat()->wFormatTag, 1);
  EXPECT_EQ(Drain(c.sink, 1000), data);
}

TEST(MMADCvt, DecodesSoxMSADPCMWhateverTheBufferSizes) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 22050, 2, soxadpcm::Signal(20000, 2), w, ref));
  const auto fmt = w.Block();
  for (uint32_t size : {7u, 1000u, 4096u, 65536u}) {
    SCOPED_TRACE(size);
    Chain c(AsFormat(fmt), w.Data);
    c.Run();
    EXPECT_TRUE(c.converter.Decoding());
    const WAVEFORMATEX* out = c.sink.GetWaveFormat();
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->wFormatTag, 1);
    EXPECT_EQ(out->wBitsPerSample, 16);
    EXPECT_EQ(out->nChannels, 2);
    EXPECT_EQ(out->nSamplesPerSec, 22050u);
    EXPECT_EQ(Drain(c.sink, size), Bytes16(ref));
  }
  // 8 bits: the chain's format follows BitLength.
  Chain c(AsFormat(fmt), w.Data);
  c.converter.SetBitLength(b8Bit);
  EXPECT_EQ(c.sink.GetWaveFormat()->wBitsPerSample, 8);
  EXPECT_EQ(c.sink.GetWaveFormat()->nBlockAlign, 2);
  c.Run();
  EXPECT_EQ(Drain(c.sink, 3000), To8(ref));
}

TEST(MMADCvt, BlocksStayWholeWhateverTheAlignAndTheSourceHandsOn) {
  // 700 bytes does not divide 4096, and a source that hands on at most 999 bytes a pull cuts
  // blocks anywhere: neither may split a block into two halves decoded apart.
  const auto fmt = OddMSFormat(700, 2);
  const auto data = OddMSData(700, 2, 23);
  const WAVEFORMATEX pcm = PcmFormat(22050, 2, 16);
  std::vector<uint8_t> expect(data.size() * 8);
  expect.resize(size_t(
      DecodeMSADPCM(AsFormat(fmt), &pcm, data.data(), int32_t(data.size()), expect.data(), int32_t(expect.size()))));
  ASSERT_EQ(expect.size(), 23u * plat::MsAdpcmSamplesPerBlock(700, 2) * 4);
  EXPECT_EQ(TMMADPCMConverter::PullSize(AsFormat(fmt)), 3500);
  for (uint32_t chunk : {1u << 30, 999u, 3u}) {
    SCOPED_TRACE(chunk);
    Chain c(AsFormat(fmt), data, chunk);
    c.Run();
    EXPECT_EQ(Drain(c.sink, 4096), expect);
  }
  // A block larger than 4096 bytes is pulled whole.
  const auto big = OddMSFormat(5000, 1);
  EXPECT_EQ(TMMADPCMConverter::PullSize(AsFormat(big)), 5000);
  const auto bigData = OddMSData(5000, 1, 3);
  std::vector<uint8_t> bigExpect(bigData.size() * 8);
  const WAVEFORMATEX mono = PcmFormat(22050, 1, 16);
  bigExpect.resize(size_t(DecodeMSADPCM(AsFormat(big), &mono, bigData.data(), int32_t(bigData.size()), bigExpect.data(),
                                        int32_t(bigExpect.size()))));
  Chain c(AsFormat(big), bigData);
  c.Run();
  EXPECT_EQ(Drain(c.sink, 4096), bigExpect);
}

TEST(MMADCvt, DamagedBlockEndsTheInputAfterTheGoodOnes) {
  Scratch dir;
  WavImage w;
  std::vector<int16_t> ref;
  ASSERT_TRUE(soxadpcm::Encode(dir, "ms-adpcm", 8000, 1, soxadpcm::Signal(12000, 1), w, ref));
  const auto fmt = w.Block();
  auto data = w.Data;
  ASSERT_GT(data.size(), 20u * 256);
  data[5 * 256] = 9;  // the sixth block
  Chain c(AsFormat(fmt), data);
  c.Run();
  int loads = 0;
  const auto got = Drain(c.sink, 4096, &loads);
  EXPECT_EQ(got, Bytes16(std::vector<int16_t>(ref.begin(), ref.begin() + 5 * 500)));
  EXPECT_LE(loads, 2);
}

TEST(MMADCvt, IMAStyleTagsDecodeTo16Or8Bits) {
  std::vector<uint8_t> data(9001);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 29 + (i >> 5));
  for (uint16_t tag : {uint16_t(3), uint16_t(0x33), uint16_t(0x206)})
    for (uint16_t channels : {1, 2})
      for (TMMBits bits : {b16Bit, b8Bit}) {
        SCOPED_TRACE(std::to_string(tag) + " x" + std::to_string(channels) + " bits " + std::to_string(bits));
        WAVEFORMATEX f;
        f.wFormatTag = tag;
        f.nChannels = channels;
        f.nSamplesPerSec = 11025;
        f.nBlockAlign = 1;
        f.wBitsPerSample = 4;
        std::vector<int16_t> expect(data.size() * 2);
        TMMIMAState st;
        if (tag == 3)
          channels == 2 ? DecodeIMAStereo(st, int32_t(data.size()), data.data(), expect.data())
                        : DecodeIMAMono(st, int32_t(data.size()), data.data(), expect.data());
        else
          channels == 2 ? MMAntex::DecodeIMAStereo(st, int32_t(data.size()), data.data(), expect.data())
                        : MMAntex::DecodeIMAMono(st, int32_t(data.size()), data.data(), expect.data());
        Chain c(&f, data, 1001);  // odd pulls: stereo pairs must stay together
        c.converter.SetBitLength(bits);
        c.Run();
        const WAVEFORMATEX* out = c.sink.GetWaveFormat();
        EXPECT_EQ(out->wBitsPerSample, bits == b8Bit ? 8 : 16);
        EXPECT_EQ(out->nChannels, channels);
        EXPECT_EQ(Drain(c.sink, 5000), bits == b8Bit ? To8(expect) : Bytes16(expect));
      }
}

TEST(MMADCvt, RefusesToOpenForWhatItCannotDecodeAndPassesThroughWhenDisabled) {
  WAVEFORMATEX mp3;
  mp3.wFormatTag = 0x55;
  mp3.nChannels = 2;
  mp3.nSamplesPerSec = 44100;
  mp3.nBlockAlign = 1;
  std::vector<uint8_t> data(5000, 0x5A);
  {
    Chain c(&mp3, data);
    EXPECT_TRUE(c.converter.Decoding());
    EXPECT_FALSE(c.converter.OutputIsPCM());
    EXPECT_EQ(c.sink.GetWaveFormat()->wFormatTag, 0x55);  // no PCM to pass on: the input's format
    try {
      c.converter.ChainOpen();
      ADD_FAILURE() << "opened";
    } catch (const EMMADPCMError& e) {
      EXPECT_STREQ(e.what(), "Unable to convert to destination format");
    }
    EXPECT_FALSE(c.converter.Opened());
    // Disabled, it opens and hands the bytes on untouched.
    c.converter.SetEnabled(false);
    c.Run();
    EXPECT_EQ(Drain(c.sink, 1024), data);
  }
  {
    // Microsoft ADPCM with pairs that are not the standard's is not decoded either.
    auto fmt = OddMSFormat(512, 1);
    reinterpret_cast<uint8_t*>(fmt.data())[sizeof(WAVEFORMATEX) + 4] = 3;
    Chain c(AsFormat(fmt), data);
    EXPECT_THROW(c.converter.ChainOpen(), EMMADPCMError);
  }
  {
    // Disabling a converter that could decode passes the ADPCM format on with the data.
    const auto fmt = OddMSFormat(512, 1);
    Chain c(AsFormat(fmt), data);
    EXPECT_EQ(c.sink.GetWaveFormat()->wFormatTag, 1);
    c.converter.SetEnabled(false);
    EXPECT_EQ(c.sink.GetWaveFormat()->wFormatTag, 2);
    // A format pushed from elsewhere does not replace the one that follows the input.
    const WAVEFORMATEX pcm = PcmFormat(8000, 1, 8);
    c.converter.SetWaveFormat(&pcm);
    EXPECT_EQ(c.converter.GetWaveFormat()->wFormatTag, 2);
  }
}

TEST(MMADCvt, LoopPointStopsTheBufferAndLoopWordsTravelBothWays) {
  const auto fmt = OddMSFormat(512, 1);
  const auto data = OddMSData(512, 1, 40);
  Chain c(AsFormat(fmt), data);
  c.source.markPull = 2;
  c.Run();
  std::vector<unsigned char> block(kWaveHdrSize + 65536);
  PWaveHdr h = InitWaveHdr(block.data(), 65536);
  h->LoopsLeft = 5;
  bool more = false;
  c.sink.BufferLoad(h, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(c.source.pulls, 2);  // the marked pull ends the buffer though it has room
  EXPECT_EQ(h->LoopMark, -1);
  EXPECT_EQ(c.source.seenLoopsLeft, 42);  // the second pull saw what the first handed back
  EXPECT_EQ(h->LoopsLeft, 42);
  const uint32_t perPull = 4096 / 512 * plat::MsAdpcmSamplesPerBlock(512, 1) * 2;
  EXPECT_EQ(h->dwBytesRecorded, 2 * perPull);
}
