// The built-in blank headers, byte for byte and as outside readers see them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "engine/MMWaveIO.h"
#include "platform/system/files.h"
#include "recorder/BlankCarts.h"

namespace {

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(char(b));
  return s;
}

// The 44 bytes every header starts with, written out by hand for one format.
std::string Plain(std::initializer_list<int> riffSize, std::initializer_list<int> fmt) {
  return "RIFF" + Bytes(riffSize) + "WAVE" + "fmt " + Bytes({16, 0, 0, 0}) + Bytes(fmt) + "data" + Bytes({0, 0, 0, 0});
}

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace

TEST(BlankCarts, HeadersMatchTheirBytes) {
  // 11025 Hz, 8 bit, mono: one byte per frame.
  EXPECT_EQ(BlankWaveHeader(4), Plain({36, 0, 0, 0}, {1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0}));
  // 44100 Hz, 16 bit, stereo: 176400 bytes a second, four a frame.
  EXPECT_EQ(BlankWaveHeader(31),
            Plain({36, 0, 0, 0}, {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 0x02, 0, 4, 0, 16, 0}));
  // 48000 Hz, 16 bit, stereo.
  EXPECT_EQ(BlankWaveHeader(35),
            Plain({36, 0, 0, 0}, {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0x00, 0xEE, 0x02, 0, 4, 0, 16, 0}));

  // Number 0 carries its creation note: LIST of 48 bytes, INFO, ICMT of 35 with its zero, a pad.
  const std::string h0 = BlankWaveHeader(0);
  ASSERT_EQ(h0.size(), 100u);
  EXPECT_EQ(h0.substr(0, 44), Plain({92, 0, 0, 0}, {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0}));
  EXPECT_EQ(h0.substr(44, 20), "LIST" + Bytes({48, 0, 0, 0}) + "INFO" + "ICMT" + Bytes({35, 0, 0, 0}));
  EXPECT_EQ(h0[64 + 34], '\0');  // the note's own zero
  EXPECT_EQ(h0[99], '\0');       // the pad byte
  EXPECT_EQ(std::string(h0.c_str() + 64).size(), 34u);

  // A number no header has stands for 27 (32 kHz, 16 bit, stereo).
  EXPECT_EQ(BlankWaveHeader(36), BlankWaveHeader(27));
  EXPECT_EQ(BlankWaveHeader(-1), BlankWaveHeader(27));
  EXPECT_EQ(CartFormatOf(3300).channelsText, "Stereo");
}

TEST(BlankCarts, EveryWrittenHeaderReadsOutsideAsAnEmptyWave) {
  Scratch dir;
  static const int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  for (int n = 0; n < 36; ++n) {
    const std::string path = dir.Path(std::to_string(n) + ".wav");
    ASSERT_TRUE(WriteBlankHeader(n, path)) << n;
    EXPECT_EQ(plat::FileSize(path), n == 0 ? 100 : 44) << n;
    const std::string q = "sox --i ";
    EXPECT_EQ(Shell(q + "-r '" + path + "' 2>&1"), std::to_string(kRates[n / 4])) << n;
    EXPECT_EQ(Shell(q + "-c '" + path + "' 2>&1"), (n & 1) ? "2" : "1") << n;
    EXPECT_EQ(Shell(q + "-b '" + path + "' 2>&1"), (n & 2) ? "16" : "8") << n;
    EXPECT_EQ(Shell(q + "-s '" + path + "' 2>&1"), "0") << n;
  }
  // The note of number 0 is what an outside reader finds as the comment.
  EXPECT_NE(Shell("sndfile-info '" + dir.Path("0.wav") + "' 2>&1").find("Blank cart of Solvane"), std::string::npos);
  // Writing over an older file leaves exactly the header; a file that cannot be made is reported.
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("old.wav"), std::string(5000, 'x')));
  ASSERT_TRUE(WriteBlankHeader(7, dir.Path("old.wav")));
  EXPECT_EQ(plat::FileSize(dir.Path("old.wav")), 44);
  EXPECT_FALSE(WriteBlankHeader(7, dir.Path("old.wav/inside.wav")));
}

TEST(BlankCarts, TheWaveLayerFindsTheHeadersByName) {
  RegisterBlankHeaders();
  RegisterBlankHeaders();  // twice does no harm
  PWaveIOBlock block;
  // Names compare without case, as the deck asks for "<n>wave".
  ASSERT_EQ(WaveIOOpen(block, "31wave", plat::FourCC("WAVE"), wioResource), wioOk);
  ASSERT_TRUE(block->PFormat());
  EXPECT_EQ(block->PFormat()->nSamplesPerSec, 44100u);
  EXPECT_EQ(block->PFormat()->nChannels, 2);
  EXPECT_EQ(block->PFormat()->wBitsPerSample, 16);
  EXPECT_EQ(block->TotalSamples, 0);
  WaveIOClose(block);

  ASSERT_EQ(WaveIOOpen(block, "0WAVE", plat::FourCC("WAVE"), wioResource), wioOk);
  EXPECT_EQ(block->PFormat()->nSamplesPerSec, 8000u);
  EXPECT_EQ(InfoItemText(block->InfoList, FindInfoIdentifier(plat::FourCC("ICMT"))),
            "Blank cart of Solvane, 8 kHz 8-bit");
  WaveIOClose(block);

  EXPECT_NE(WaveIOOpen(block, "36WAVE", plat::FourCC("WAVE"), wioResource), wioOk);
}
