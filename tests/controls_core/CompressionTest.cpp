#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "controls/ZelStreamUtils.h"
#include "controls/zelprocs.h"
#include "platform/ui/strings.h"

namespace {

std::vector<uint8_t> Compress(const std::string& s) {
  std::vector<uint8_t> block(LzrwBlockBound(s.size()));
  size_t n = LzrwCompressBlock(reinterpret_cast<const uint8_t*>(s.data()), s.size(), block.data(), block.size());
  block.resize(n);
  return block;
}

std::string Expand(const std::vector<uint8_t>& block, size_t capacity = kZelChunkSize) {
  std::string out(capacity, '\0');
  size_t n = LzrwDecompressBlock(block.data(), block.size(), reinterpret_cast<uint8_t*>(out.data()), out.size());
  out.resize(n);
  return out;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

}  // namespace

TEST(Lzrw, HandVectors) {
  // Twenty equal bytes are one run item: offset 0, length - 16 = 4, the byte.
  EXPECT_EQ(Compress(std::string(20, 'a')), (std::vector<uint8_t>{0x40, 0x80, 0x00, 0x00, 0x00, 0x04, 'a'}));
  // Fifteen are too few for a run: a literal, then a match one byte back of length 14 that
  // overlaps the bytes it produces.
  auto fifteen = Compress(std::string(15, 'a'));
  EXPECT_EQ(fifteen, (std::vector<uint8_t>{0x40, 0x40, 0x00, 'a', 0x00, 0x1B}));
  EXPECT_EQ(Expand(fifteen), std::string(15, 'a'));
  EXPECT_EQ(Expand(Compress(std::string(20, 'a'))), std::string(20, 'a'));
}

TEST(Lzrw, IncompressibleDataIsStoredOneByteLonger) {
  for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(1000), kZelChunkSize}) {
    std::string data = RandomBytes(n, unsigned(n));
    auto block = Compress(data);
    ASSERT_EQ(block.size(), n + 1) << n;
    EXPECT_EQ(block[0], kLzrwFlagStored);
    EXPECT_EQ(Expand(block), data);
  }
}

TEST(Lzrw, RoundTripsAndOverlappingMatches) {
  std::string pattern;
  for (int i = 0; i < 2000; ++i) pattern += "abc";
  std::string text;
  for (int i = 0; i < 900; ++i) text += "line " + std::to_string(i % 13) + " of the cart list\r\n";
  std::string mixed = RandomBytes(300, 7) + std::string(5000, '\0') + pattern.substr(0, 41) + RandomBytes(40, 8) +
                      std::string(4095 + 16 + 3, 'x');
  for (const std::string& s : {pattern, text.substr(0, kZelChunkSize), mixed}) {
    auto block = Compress(s);
    EXPECT_EQ(block[0], kLzrwFlagCompressed);
    EXPECT_LT(block.size(), s.size() / 2);
    EXPECT_EQ(Expand(block, s.size()), s);  // an exact fit is enough room
  }
  // A block that matches three bytes back for eighteen is an overlapping copy.
  auto abc = Compress(std::string("abcabcabcabcabcabcabc"));
  EXPECT_EQ(abc.size(), 1u + 2 + 3 + 2);
  EXPECT_EQ(abc[6], 0x00);
  EXPECT_EQ(abc[7], 0x3F);  // offset 3, length 18
}

TEST(Lzrw, CompressorRefusesTooSmallDestinationAndHugeInput) {
  std::string s(100, 'q');
  std::vector<uint8_t> dst(s.size());
  EXPECT_THROW(LzrwCompressBlock(reinterpret_cast<const uint8_t*>(s.data()), s.size(), dst.data(), dst.size()),
               plat::ERangeError);
  std::vector<uint8_t> big(kLzrwMaxInput + 1), out(LzrwBlockBound(big.size()));
  EXPECT_THROW(LzrwCompressBlock(big.data(), big.size(), out.data(), out.size()), plat::ERangeError);
}

TEST(Lzrw, DamagedBlocksAreRefused) {
  using B = std::vector<uint8_t>;
  uint8_t out[64];
  auto refuses = [&](const B& b, size_t cap = sizeof out) {
    EXPECT_THROW(LzrwDecompressBlock(b.data(), b.size(), out, cap), plat::EReadError);
  };
  refuses(B{});
  refuses(B{0x41, 0x00, 0x00, 'a'});                         // unknown flag
  refuses(B{0x40, 0x80});                                    // command word cut short
  refuses(B{0x40, 0x80, 0x00, 0x00});                        // match cut short
  refuses(B{0x40, 0x80, 0x00, 0x00, 0x01});                  // run item cut short
  refuses(B{0x40, 0x80, 0x00, 0x10, 0x00});                  // match reaching before the start
  refuses(B{0x40, 0x40, 0x00, 'a', 0x00, 0x2F});             // one byte, then a match two back
  refuses(B{0x40, 0x80, 0x00, 0x00, 0x00, 0x40, 'z'});       // run of 80 into 64 bytes
  refuses(B{0x80, 1, 2, 3, 4, 5}, 4);                        // stored block larger than the room
  refuses(B{0x40, 0x00, 0x00, 'a', 'b', 'c', 'd', 'e'}, 4);  // literals past the room
  // A command word reserved after a full group and left without items is harmless.
  B full{0x40, 0x00, 0x00};
  for (int i = 0; i < 16; ++i) full.push_back(uint8_t('a' + i));
  full.push_back(0x00);
  full.push_back(0x00);
  EXPECT_EQ(LzrwDecompressBlock(full.data(), full.size(), out, sizeof out), 16u);
}

TEST(CompressedStream, FormRoundTripAndEmptySource) {
  plat::TMemoryStream src, dst;
  WriteCompressedStream(src, dst, 0);
  EXPECT_EQ(MemoryBytes(dst), std::string(4, '\0'));
  dst.SetPosition(0);
  plat::TMemoryStream back;
  ReadCompressedStream(dst, back);
  EXPECT_EQ(back.Size(), 0);

  // Two chunks after a prefix already in the destination: the total covers the chunks only
  // and the destination is left at its end.
  std::string data = RandomBytes(kZelChunkSize, 3) + std::string(kZelChunkSize + 10, 'r');
  plat::TMemoryStream in, out;
  SetMemoryBytes(in, data);
  out.WriteU32(0xDEADBEEF);
  WriteCompressedStream(in, out, int64_t(data.size()));
  EXPECT_EQ(out.Position(), out.Size());
  out.SetPosition(4);
  uint32_t total = out.ReadU32();
  EXPECT_EQ(total, uint32_t(out.Size() - 8));
  uint32_t first = out.ReadU32();
  EXPECT_EQ(first, kZelChunkSize + 1);  // the random chunk is stored
  out.SetPosition(4);
  plat::TMemoryStream expanded;
  ReadCompressedStream(out, expanded);
  EXPECT_EQ(MemoryBytes(expanded), data);
  EXPECT_EQ(out.Position(), out.Size());

  // A source that ends early gives what it had.
  plat::TMemoryStream shortSrc, shortDst;
  SetMemoryBytes(shortSrc, std::string("abc"));
  WriteCompressedStream(shortSrc, shortDst, 1000);
  EXPECT_EQ(ExpandBytes(MemoryBytes(shortDst)), "abc");
}

TEST(CompressedStream, DamagedFormsRaiseReadErrors) {
  std::string good = CompressBytes(std::string(3000, 'k') + "tail of the data");
  auto put32 = [](std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (8 * i));
  };
  std::string bigTotal = good;
  put32(bigTotal, 0, 0x7FFFFFFF);
  std::string zeroBlock = good;
  put32(zeroBlock, 4, 0);
  std::string blockPastTotal = good;
  put32(blockPastTotal, 4, uint32_t(good.size()));
  std::string tinyTotal = good;
  put32(tinyTotal, 0, 3);
  for (const std::string& bad :
       {bigTotal, zeroBlock, blockPastTotal, tinyTotal, good.substr(0, good.size() - 1), std::string("\x01\x00", 2)})
    EXPECT_THROW(ExpandBytes(bad), plat::EReadError);

  // Every single-byte change is either refused or expands to something; none reads or writes out
  // of bounds (the sanitizer builds watch).
  int refused = 0;
  for (size_t i = 0; i < good.size(); ++i)
    for (uint8_t x : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
      std::string bad = good;
      bad[i] = char(uint8_t(bad[i]) ^ x);
      try {
        ExpandBytes(bad);
      } catch (const plat::EReadError&) {
        ++refused;
      }
    }
  EXPECT_GT(refused, 0);
}

TEST(StreamHelpers, CountedValuesAndStrings) {
  plat::TMemoryStream s;
  s.WriteU32(0x01020304);
  WriteBool(s, true);
  std::string s255(255, 'w');
  WriteShortString(s, s255);
  WriteShortString(s, std::string(300, 'v'));
  WritePlainData(s, std::string("\0\1\2", 3));
  EXPECT_EQ(MemoryBytes(s).substr(0, 5), std::string("\x04\x03\x02\x01\x01", 5));
  s.SetPosition(0);
  EXPECT_EQ(s.ReadU32(), 0x01020304u);
  EXPECT_TRUE(ReadBool(s));
  EXPECT_EQ(ReadShortString(s), s255);
  EXPECT_EQ(ReadShortString(s), std::string(255, 'v'));
  EXPECT_EQ(ReadPlainData(s), std::string("\0\1\2", 3));
  EXPECT_THROW(s.ReadU32(), plat::EReadError);

  // A count larger than what follows is refused before anything is allocated for it.
  plat::TMemoryStream lying;
  SetMemoryBytes(lying, std::string("\xFF\xFF\xFF\x7F"
                                    "abc",
                                    7));
  EXPECT_THROW(ReadPlainData(lying), plat::EReadError);
  plat::TMemoryStream cut;
  SetMemoryBytes(cut, std::string("\x05", 1) + "abc");
  EXPECT_THROW(ReadShortString(cut), plat::EReadError);
}

TEST(StreamHelpers, StringListsInBothForms) {
  plat::TStringList lines;
  for (int i = 0; i < 500; ++i) lines.Add("Template " + std::to_string(i % 9) + "|01:00:00|news");
  lines.Add("");
  lines.Add("last");
  for (bool compressed : {false, true}) {
    plat::TMemoryStream s;
    WriteStreamData(s, lines, compressed);
    if (compressed) {
      EXPECT_LT(s.Size(), int64_t(lines.Text().size() / 4));
    }
    s.SetPosition(0);
    plat::TStringList back;
    back.Add("replaced");
    ReadStreamData(s, back, compressed);
    EXPECT_TRUE(back.Equals(lines));
    EXPECT_EQ(s.Position(), s.Size());
  }
}
