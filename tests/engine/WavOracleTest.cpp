// Outside judges of our WAV files: sndfile-info and sox read what we write, and we read what sox
// writes, sample for sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/bytes.h"
#include "common/oracles.h"
#include "common/scratch.h"
#include "engine/MMWave.h"
#include "engine/MMWaveIO.h"
#include "platform/system/files.h"

using plat::FourCC;

namespace {

const int kRates[9] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

std::string Raw(const Scratch& dir, const std::string& wav) { return SoxRaw(wav, dir.Path("out.raw")); }

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (auto& c : s) {
    x = x * 1664525u + 1013904223u;
    c = char(x >> 24);
  }
  return s;
}

}  // namespace

TEST(WavOracle, EveryDeckFormatWeWriteReadsTheSameOutside) {
  if (!HaveOracles()) {
    GTEST_SKIP() << "sox and sndfile-info are not installed (scripts/setup.sh installs them)";
  }
  Scratch dir;
  for (int number = 0; number < 36; ++number) {
    for (int frames : {1001, 1000}) {
      const int rate = kRates[number / 4], bits = (number & 2) ? 16 : 8, channels = (number & 1) ? 2 : 1;
      SCOPED_TRACE("format " + std::to_string(number) + ", " + std::to_string(frames) + " frames");
      WAVEFORMATEX f;
      MakePCMFormat(f, bits, channels, rate);
      PWaveIOBlock b;
      ASSERT_EQ(WaveIOAlloc(b, &f), wioOk);
      std::string comment = "Take " + std::to_string(number), name = "Cart";
      SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
      SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM")), &name, isSet);
      b->DispList.push_back({kDispText, isRead, DispTextData("Morning news"), {}});
      std::string path = dir.Path("f" + std::to_string(number) + "_" + std::to_string(frames) + ".wav");
      ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
      std::string samples = Pattern(size_t(frames) * f.nBlockAlign, unsigned(number * 2 + frames));
      // In two writes, as a recording arrives in buffers.
      size_t half = samples.size() / 2 / f.nBlockAlign * f.nBlockAlign;
      ASSERT_EQ(WaveIOWrite(b.get(), samples.data(), int64_t(half)), int64_t(half));
      ASSERT_EQ(WaveIOWrite(b.get(), samples.data() + half, int64_t(samples.size() - half)),
                int64_t(samples.size() - half));
      ASSERT_EQ(WaveIOFinish(b.get()), wioOk);

      std::string info = Shell("sndfile-info '" + path + "'");
      std::istringstream lines(info);
      std::string line;
      while (std::getline(lines, line)) {
        if (line.rfind("***", 0) == 0) {
          EXPECT_NE(line.find("should be an even number of bytes"), std::string::npos) << line;
        }
      }
      EXPECT_EQ(Field(info, "Frames"), std::to_string(frames));
      EXPECT_EQ(Field(info, "Sample Rate"), std::to_string(rate));
      EXPECT_EQ(Field(info, "Channels"), std::to_string(channels));
      EXPECT_NE(info.find("ICMT : " + comment), std::string::npos) << info;

      std::string sox = Shell("sox --i '" + path + "'");
      EXPECT_EQ(Field(sox, "Channels"), std::to_string(channels));
      EXPECT_EQ(Field(sox, "Sample Rate"), std::to_string(rate));
      EXPECT_EQ(Field(sox, "Precision"), std::to_string(bits) + "-bit");
      EXPECT_NE(Field(sox, "Duration").find("= " + std::to_string(frames) + " samples"), std::string::npos) << sox;
      EXPECT_TRUE(Raw(dir, path) == samples) << "samples differ";

      ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
      EXPECT_EQ(b->TotalSamples, frames);
    }
  }
}

TEST(WavOracle, FilesSoxWritesReadWithIdenticalSamples) {
  if (!HaveOracles()) {
    GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
  }
  Scratch dir;
  for (int bits : {8, 16})
    for (int channels : {1, 2})
      for (bool withInfo : {false, true}) {
        SCOPED_TRACE(std::to_string(bits) + " bit, " + std::to_string(channels) + " channels" +
                     (withInfo ? ", LIST INFO" : ""));
        std::string path = dir.Path("sox.wav");
        plat::DeleteFile(path);
        // An odd length, so 8-bit mono data is followed by a pad byte.
        std::string msg = Shell("sox -r 22050 -n -b " + std::to_string(bits) + " -c " + std::to_string(channels) +
                                " '" + path + "' synth 1103s sine 440");
        std::string raw = Raw(dir, path);
        ASSERT_EQ(raw.size(), size_t(1103 * bits / 8 * channels)) << msg;
        if (withInfo) {
          // This sox writes no INFO list of its own: append one behind its data, as other
          // programs do, and fix the RIFF size.
          std::string file;
          ASSERT_TRUE(plat::ReadWholeFile(path, file));
          std::string text = "From sox";
          text.push_back('\0');
          std::string list = std::string("LIST") + '\0' + '\0' + '\0' + '\0' + "INFO" + "ICMT" + char(text.size()) +
                             std::string(3, '\0') + text + '\0';
          list[4] = char(list.size() - 8);
          file += list;
          uint32_t riff = uint32_t(file.size() - 8);
          for (int i = 0; i < 4; ++i) file[4 + size_t(i)] = char(riff >> (8 * i));
          ASSERT_TRUE(plat::WriteWholeFile(path, file));
        }
        PWaveIOBlock b;
        ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
        EXPECT_EQ(b->Format->wBitsPerSample, bits);
        EXPECT_EQ(b->Format->nChannels, channels);
        EXPECT_EQ(b->Format->nSamplesPerSec, 22050u);
        EXPECT_EQ(b->TotalSamples, 1103);
        ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
        std::string ours(raw.size() + 16, '\0');
        ASSERT_EQ(WaveIORead(b.get(), ours.data(), int64_t(ours.size())), int64_t(raw.size()));
        ours.resize(raw.size());
        EXPECT_TRUE(ours == raw) << "samples differ";
        if (withInfo) {
          EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT"))), "From sox");
        }
      }
}

// Media players append an ID3 block behind the RIFF form (with cover art, tens of kilobytes). The
// form says where the samples end; the tag must never be read, played or punched in as audio.
TEST(WavOracle, ATagBehindAFinishedFormIsNoAudioAndAPunchInKeepsTheFramesSoxCounts) {
  if (!HaveOracles()) {
    GTEST_SKIP() << "sox and sndfile-info are not installed (scripts/setup.sh installs them)";
  }
  Scratch dir;
  for (int bits : {8, 16}) {
    SCOPED_TRACE(std::to_string(bits) + " bit");
    const std::string path = dir.Path("tagged" + std::to_string(bits) + ".wav");
    // 1103 frames: at 8 bits mono the data is odd and its pad byte ends the form.
    std::string msg = Shell("sox -r 22050 -n -b " + std::to_string(bits) + " -c 1 '" + path + "' synth 1103s sine 440");
    const std::string samples = Raw(dir, path);
    ASSERT_EQ(samples.size(), size_t(1103 * bits / 8)) << msg;
    std::string file;
    ASSERT_TRUE(plat::ReadWholeFile(path, file));
    std::string tag = std::string("ID3") + '\3' + '\0' + '\0' + std::string{0, 3, 0x7F, 0x76};
    for (int i = 0; i < 60000; ++i) tag.push_back(char(i & 1 ? 0x7F : 0x80));  // full scale either way
    ASSERT_TRUE(plat::WriteWholeFile(path, file + tag));
    ASSERT_EQ(SndfileFrames(path), "1103");

    PWaveIOBlock b;
    ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
    EXPECT_EQ(b->TotalSamples, 1103);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    std::string ours(samples.size() + tag.size(), '\0');
    ASSERT_EQ(WaveIORead(b.get(), ours.data(), int64_t(ours.size())), int64_t(samples.size()));
    ours.resize(samples.size());
    EXPECT_TRUE(ours == samples) << "the samples as sox reads them, and nothing of the tag";

    // A punch-in near the end: the header says the frames the file really has.
    const int64_t align = bits / 8;
    const std::string punch = Pattern(size_t(100 * align), unsigned(bits));
    ASSERT_EQ(WaveIOSeek(b.get(), 1000), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), punch.data(), int64_t(punch.size())), int64_t(punch.size()));
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
    EXPECT_EQ(SndfileFrames(path), "1103");
    std::string want = samples;
    want.replace(size_t(1000 * align), punch.size(), punch);
    EXPECT_TRUE(Raw(dir, path) == want) << "sox reads the punched take";
  }
}

// Odd-sized data as other writers leave it: the RIFF size without the pad byte, no pad byte at
// all, a list straight behind the data. The samples are those sox and sndfile-info count; a
// punch-in keeps that count, and a recording run past the end and killed holds no byte of a tag.
TEST(WavOracle, OddDataWhosePadByteIsMissingOrUncountedEndsWhereOtherProgramsEndIt) {
  if (!HaveOracles()) {
    GTEST_SKIP() << "sox and sndfile-info are not installed (scripts/setup.sh installs them)";
  }
  Scratch dir;
  const std::string made = dir.Path("made.wav");
  std::string msg = Shell("sox -r 22050 -n -b 8 -c 1 '" + made + "' synth 1103s sine 440");
  const std::string samples = Raw(dir, made);
  ASSERT_EQ(samples.size(), 1103u) << msg;
  std::string tag = std::string("ID3") + '\3' + std::string(3, '\0') + std::string{3, 0x7F, 0x76};
  for (int i = 0; i < 5000; ++i) tag.push_back(char(i & 1 ? 0x7F : 0x80));  // full scale either way
  const std::string list = "LIST" + LE32(18) + "INFO" + "INAM" + LE32(6) + std::string("Title\0", 6);
  const std::string head = "WAVEfmt " + LE32(16) + LE16(1) + LE16(1) + LE32(22050) + LE32(22050) + LE16(1) +
                           LE16(8) + "data" + LE32(1103) + samples;
  auto form = [&](const std::string& body, size_t riffSize) { return "RIFF" + LE32(uint32_t(riffSize)) + body; };
  const struct {
    const char* what;
    std::string file;
  } layouts[] = {
      {"RIFF size without the pad byte, then a tag", form(head + '\0', head.size()) + tag},
      {"no pad byte, then a tag", form(head, head.size()) + tag},
      {"no pad byte, then a list inside the form", form(head + list, head.size() + list.size())},
  };
  const std::string punch(100, 'P'), more(200, 'M');
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.what);
    const std::string path = dir.Path("odd.wav");
    ASSERT_TRUE(plat::WriteWholeFile(path, l.file));
    ASSERT_EQ(SndfileFrames(path), "1103");
    ASSERT_TRUE(Raw(dir, path) == samples) << "sox reads other samples";
    PWaveIOBlock b;
    ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
    EXPECT_EQ(b->TotalSamples, 1103);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    std::string ours(l.file.size(), '\0');
    ours.resize(size_t(std::max<int64_t>(WaveIORead(b.get(), ours.data(), int64_t(ours.size())), 0)));
    EXPECT_TRUE(ours == samples) << "read as samples: " << ours.size() << " bytes";

    ASSERT_EQ(WaveIOSeek(b.get(), 900), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), punch.data(), int64_t(punch.size())), int64_t(punch.size()));
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
    EXPECT_EQ(SndfileFrames(path), "1103") << "after a punch-in";
    EXPECT_TRUE(Raw(dir, path) == samples.substr(0, 900) + punch + samples.substr(1000)) << "after a punch-in";

    // Recorded on past the end and killed: the old samples, then the new ones.
    ASSERT_TRUE(plat::WriteWholeFile(path, l.file));
    ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    ASSERT_EQ(WaveIOSeek(b.get(), 1050), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
    WaveIOClose(b);
    ASSERT_EQ(WaveIOFinishFile(path), wioOk) << "as the next start finishes it";
    EXPECT_EQ(SndfileFrames(path), "1250") << "after a kill";
    EXPECT_TRUE(Raw(dir, path) == samples.substr(0, 1050) + more) << "after a kill";
  }
}

TEST(WavOracle, AFloatFileSoxWritesIsNamedAsFloat) {
  if (!HaveOracles()) {
    GTEST_SKIP() << "sox is not installed (scripts/setup.sh installs it)";
  }
  Scratch dir;
  const std::string path = dir.Path("float.wav");
  std::string msg = Shell("sox -r 22050 -n -e floating-point -b 32 -c 2 '" + path + "' synth 441s sine 440");
  TMMWave w;
  w.SetFileName(path);
  EXPECT_EQ(w.FormatTag(), 3) << msg;
  EXPECT_EQ(w.FormatString(), "IEEE Float");
}
