// The wave object: names, sizes in every unit, positions and ranges, the play list, reading,
// copies and memory images.
#include <gtest/gtest.h>

#include <sstream>

#include "common/scratch.h"
#include "common/unreadable.h"
#include "engine/MMWave.h"
#include "engine/WaveFixtures.h"

using namespace wavefx;

namespace {

std::string ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EMMWaveError& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

// Reads the play list to its end in pieces of n bytes.
std::string ReadAll(TMMWave& w, int64_t n = 1000) {
  std::string out, buf(size_t(n), '\0');
  for (;;) {
    int64_t got = w.ReadData(buf.data(), n);
    if (got <= 0) break;
    out.append(buf.data(), size_t(got));
  }
  return out;
}

}  // namespace

TEST(Wave, FileNameRulesAndMessages) {
  Scratch dir;
  const std::string good = dir.Path("good.wav"), junk = dir.Path("junk.wav"), missing = dir.Path("none.wav");
  WriteWav(good, Pcm(8000, 1, 8), Frames(0, 800, 1));
  plat::WriteWholeFile(junk, "RIFF\x04\0\0\0AVI this is no wave");

  TMMWave w;
  int changes = 0;
  TMMObserver watcher;
  watcher.OnNotify = [&](TObject*, void*) { ++changes; };
  w.AddObserver(&watcher);

  w.SetFileName(good);
  EXPECT_EQ(w.DataSize(), 800);
  EXPECT_EQ(changes, 1);
  // The same name over an unchanged file is no change at all.
  w.SetFileName(good);
  EXPECT_EQ(changes, 1);

  EXPECT_EQ(ErrorOf([&] { w.SetFileName(missing); }), "Error reading wave file");
  EXPECT_EQ(ErrorOf([&] { w.SetFileName(junk); }), "Invalid wave file...\r\nIt is no RIFF WAVE file.");
  WithFileUnreadable(good, [&] {
    TMMWave other;
    EXPECT_EQ(ErrorOf([&] { other.SetFileName(good); }), "You are not allowed to read this file.");
  });
  // A refused name leaves the wave as it was.
  EXPECT_EQ(w.FileName(), good);
  EXPECT_EQ(w.DataSize(), 800);

  w.SetFileMustExist(false);
  w.SetFileName(missing);
  EXPECT_EQ(w.FileName(), missing);
  EXPECT_EQ(w.DataSize(), 0);
  EXPECT_EQ(w.GetPosition(), -1);
  EXPECT_EQ(w.FormatString(), "Unknown");
  EXPECT_EQ(w.SampleRate(), 11025);
  EXPECT_EQ(w.Mode(), mMono);
  EXPECT_EQ(w.BitLength(), 0);

  w.SetFileName(good);
  w.SetFileName("");
  EXPECT_EQ(w.FileName(), "");
  EXPECT_EQ(w.DataSize(), 0);
  EXPECT_EQ(w.GetEndPos(), -1);
}

TEST(Wave, DataSizeInEveryTimeFormat) {
  Scratch dir;
  const std::string stereo = dir.Path("s.wav"), mono = dir.Path("m.wav");
  WriteWav(stereo, Pcm(44100, 2, 16), Frames(0, 44100, 4));
  WriteWav(mono, Pcm(8000, 1, 8), Frames(0, 12345, 1));

  TMMWave w;
  w.SetFileName(stereo);
  EXPECT_EQ(w.DataSize(), 44100);  // tfSample by default
  w.SetTimeFormat(tfMillisecond);
  EXPECT_EQ(w.DataSize(), 1000);
  w.SetTimeFormat(tfByte);
  EXPECT_EQ(w.DataSize(), 176400);
  EXPECT_EQ(w.FileSize(), 44 + 176400);
  EXPECT_EQ(w.Mode(), mStereo);
  EXPECT_EQ(w.BitLength(), 16);
  EXPECT_EQ(w.FormatString(), "PCM");

  w.SetFileName(mono);
  w.SetTimeFormat(tfMillisecond);
  EXPECT_EQ(w.DataSize(), 1543);  // 12345 / 8 ms
  EXPECT_EQ(w.SampleRate(), 8000);
}

TEST(Wave, PositionsRangesAndCutsReadTheRightBytes) {
  Scratch dir;
  const std::string path = dir.Path("w.wav");
  const std::string data = Frames(0, 8000, 4);
  WriteWav(path, Pcm(8000, 2, 16), data);

  TMMWave w;
  w.SetFileName(path);
  w.OpenWaveFile(false);
  // Past the end is the end; before the start is the start.
  w.SetPosition(9000);
  EXPECT_EQ(w.GetPosition(), 8000);
  EXPECT_EQ(w.ReadData(std::string(16, '\0').data(), 16), -1);
  w.SetPosition(-5);
  EXPECT_EQ(w.GetPosition(), 0);

  w.SetTimeFormat(tfMillisecond);
  w.SetPosition(250);
  EXPECT_EQ(ReadAll(w), data.substr(2000 * 4));
  EXPECT_EQ(w.GetPosition(), 1000);

  w.SetTimeFormat(tfSample);
  w.SetEndPos(3000);
  w.SetStartPos(5000);  // limited to the end
  EXPECT_EQ(w.GetStartPos(), 3000);
  w.SetStartPos(1000);
  w.SetEndPos(20000);  // limited to the data
  EXPECT_EQ(w.GetEndPos(), 8000);
  w.SetEndPos(3000);
  w.SetPosition(0);
  EXPECT_EQ(ReadAll(w, 333 * 4), data.substr(1000 * 4, 2000 * 4));

  // Cuts inside the range are skipped; a cut holding the range start moves it to the cut's end.
  TMMCutList cuts;
  TMMCutRecord a, b;
  a.Start = 500, a.Length = 700;  // covers the start at 1000
  b.Start = 2000, b.Length = 100;
  ASSERT_TRUE(cuts.Add(a));
  ASSERT_TRUE(cuts.Add(b));
  w.SetCutList(&cuts);
  TMMCutList plays = w.PlayListCopy();
  ASSERT_EQ(plays.Count(), 2);
  EXPECT_EQ(plays.Items(0).Start, 1200);
  EXPECT_EQ(plays.Items(1).LengthBytes, 900 * 4);
  w.SetPosition(900);  // 100 samples into the second segment
  EXPECT_EQ(ReadAll(w, 1024), data.substr(2200 * 4, 800 * 4));
  w.SetPosition(0);
  EXPECT_EQ(ReadAll(w, 1000), data.substr(1200 * 4, 800 * 4) + data.substr(2100 * 4, 900 * 4));
  EXPECT_EQ(w.GetPosition(), 1700);

  // A cut over the whole range leaves one empty segment: nothing to read.
  TMMCutList all;
  TMMCutRecord c;
  c.Start = 0, c.Length = 8000;
  all.Add(c);
  w.SetCutList(&all);
  w.SetPosition(0);
  EXPECT_EQ(w.ReadData(std::string(64, '\0').data(), 64), -1);
  w.SetCutList(nullptr);
}

TEST(Wave, AFileCutShortWhileReadEndsWithNothingRead) {
  Scratch dir;
  const std::string path = dir.Path("w.wav");
  WriteWav(path, Pcm(8000, 1, 8), Frames(0, 4000, 1));
  TMMWave w;
  w.SetFileName(path);
  w.OpenWaveFile(false);
  ASSERT_EQ(truncate(path.c_str(), 44 + 1000), 0);
  std::string buf(3000, 'x');
  EXPECT_EQ(w.ReadData(buf.data(), 3000), 1000);
  // Nothing read is no data: the buffer is not touched and the position is the end.
  EXPECT_EQ(w.ReadData(buf.data(), 3000), 0);
  EXPECT_EQ(buf.substr(0, 4), Frames(0, 4, 1));
  EXPECT_EQ(w.GetPosition(), 4000);
  EXPECT_EQ(w.BytesLeft(), 0);
}

TEST(Wave, SaveAsCopiesThePlayListOrLeavesTheTargetAlone) {
  Scratch dir;
  const std::string src = dir.Path("src.wav"), target = dir.Path("target.wav");
  const std::string data = Frames(0, 16000, 2);
  WriteWav(src, Pcm(8000, 1, 16), data);
  plat::WriteWholeFile(target, "old target");

  TMMWave w;
  w.SetFileName(src);
  int calls = 0;
  w.OnProgress = [&](TObject*, int64_t, int64_t, bool& cancel) { cancel = ++calls == 1; };
  EXPECT_EQ(ErrorOf([&] { w.SaveAs(target); }), "Saving was aborted");
  EXPECT_EQ(FileBytes(target), "old target");
  EXPECT_EQ(plat::ListFiles(dir.Root(), "*.tmp").size(), 0u);

  // A disk that reports too little room fails the copy the same way.
  SetDiskFreeQuery([](const std::string&, int64_t& free) {
    free = 1000;
    return true;
  });
  w.OnProgress = nullptr;
  EXPECT_EQ(ErrorOf([&] { w.SaveAs(target); }), "Unable to save wave file");
  SetDiskFreeQuery(nullptr);
  EXPECT_EQ(FileBytes(target), "old target");
  EXPECT_EQ(plat::ListFiles(dir.Root(), "*.tmp").size(), 0u);

  w.SetStartPos(4000);
  w.SetEndPos(12000);
  int64_t last = 0;
  w.OnProgress = [&](TObject*, int64_t done, int64_t total, bool&) {
    EXPECT_EQ(total, 16000);
    last = done;
  };
  w.SaveAs(target);
  EXPECT_EQ(last, 16000);
  TMMWave copy;
  copy.SetFileName(target);
  copy.OpenWaveFile(false);
  EXPECT_EQ(ReadAll(copy), data.substr(8000, 16000));
  EXPECT_EQ(ErrorOf([&] { w.SaveAs(""); }), "Invalid param passed!");
}

TEST(Wave, MemoryImagesReadButRefuseWrites) {
  const WAVEFORMATEX f = Pcm(8000, 1, 8);
  const std::string data = Frames(0, 3000, 1);
  std::istringstream in(WavImage(f, data));
  TMMWave w;
  w.LoadFromStream(in);
  EXPECT_TRUE(w.IsMemoryWave());
  EXPECT_EQ(w.DataSize(), 3000);
  w.OpenWaveFile(false);
  EXPECT_EQ(ReadAll(w), data);
  EXPECT_EQ(ErrorOf([&] { w.WriteData(data.data(), 4); }), "Can't write to MemoryWave");
  EXPECT_EQ(ErrorOf([&] { w.OpenWaveFile(true); }), "Can't write to MemoryWave");
  EXPECT_EQ(ErrorOf([&] { w.CreateWaveFile("/tmp/x.wav", &f); }), "Can't write to MemoryWave");
  std::ostringstream out;
  w.SaveToStream(out);
  EXPECT_EQ(out.str(), WavImage(f, data));

  std::istringstream bad("RIFF");
  EXPECT_EQ(ErrorOf([&] { w.LoadFromStream(bad); }), "Error reading wave file");
  EXPECT_EQ(w.DataSize(), 3000);
}

TEST(Wave, AssignTakesStateAndAnnouncesOnce) {
  Scratch dir;
  const std::string path = dir.Path("w.wav");
  WriteWav(path, Pcm(8000, 1, 8), Frames(0, 8000, 1));
  TMMWave a, b;
  a.SetFileName(path);
  a.SetTimeFormat(tfMillisecond);
  a.SetEndPos(500);
  a.SetPosition(100);
  int changes = 0;
  TMMObserver watcher;
  watcher.OnNotify = [&](TObject*, void*) { ++changes; };
  b.AddObserver(&watcher);
  b.Assign(&a);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(b.FileName(), path);
  EXPECT_EQ(b.TimeFormat(), tfMillisecond);
  EXPECT_EQ(b.GetEndPos(), 500);
  EXPECT_EQ(b.GetPosition(), 100);
  b.Assign(nullptr);
  EXPECT_EQ(b.GetPosition(), -1);
  EXPECT_EQ(changes, 2);
}
