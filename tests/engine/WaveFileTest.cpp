// The wave file component: what a recording leaves on disk (new files, punch-in, short and empty
// takes, a full disk, a failing write) and what playback serves (silence, the end, loops).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include "common/scratch.h"
#include "engine/ChainMocks.h"
#include "engine/MMWave.h"
#include "engine/WaveFixtures.h"

using namespace wavefx;

namespace {

// Format source -> wave file -> sink, driven by hand as a device's walk would.
struct Recording {
  TMMDSPComponent source;
  TMMWaveFile file;
  ByteSink sink;
  int opens = 0, closes = 0;

  Recording(const WAVEFORMATEX& f, const std::string& path, bool overwrite = true) {
    source.SetWaveFormat(&f);
    source.SetOutput(&file);
    file.SetOutput(&sink);
    file.SetOverwriteExisting(overwrite);
    file.OnOpen = [this](TObject*) { ++opens; };
    file.OnClose = [this](TObject*) { ++closes; };
    file.Wave()->SetFileMustExist(false);
    file.Wave()->SetFileName(path);
  }
  void Start() {
    file.ChainOpen();
    file.ChainStart();
  }
  void Push(const std::string& bytes) {
    Buffer b(uint32_t(bytes.size()));
    b.Fill(bytes);
    file.BufferReady(b.get());
  }
  void Close() { file.ChainClose(); }
};

struct Layout {
  uint32_t fmtSize = 0, dataSize = 0, fact = 0, riffSize = 0;
  std::string data;
};

Layout Inspect(const std::string& path) {
  Layout l;
  const std::string f = FileBytes(path);
  std::string p;
  if (f.size() < 12) return l;
  l.riffSize = Get32(f, 4);
  if (FindChunk(f, "fmt ", p)) l.fmtSize = uint32_t(p.size());
  if (FindChunk(f, "data", p)) l.dataSize = uint32_t(p.size()), l.data = p;
  if (FindChunk(f, "fact", p) && p.size() == 4) l.fact = Get32(p, 0);
  return l;
}

std::string ReadBack(const std::string& path) {
  TMMWave w;
  w.SetFileName(path);
  w.OpenWaveFile(false);
  std::string out(size_t(w.BytesLeft()), '\0');
  int64_t n = w.ReadData(out.data(), int64_t(out.size()));
  out.resize(size_t(std::max<int64_t>(n, 0)));
  return out;
}

}  // namespace

TEST(WaveFile, RecordingReplacesOrPunchesIntoTheFile) {
  Scratch dir;
  const WAVEFORMATEX f = Pcm(8000, 2, 16);
  const std::string path = dir.Path("cart.wav");
  const std::string old = Frames(0, 8000, 4);

  // Replacing: nothing of the longer old file survives.
  WriteWav(path, f, old);
  {
    Recording r(f, path);
    r.Start();
    r.Push(Frames(100000, 4000, 4));
    r.Close();
    EXPECT_EQ(r.opens, 1);
    EXPECT_EQ(r.closes, 1);
  }
  Layout l = Inspect(path);
  EXPECT_EQ(l.fmtSize, 18u);
  EXPECT_EQ(l.data, Frames(100000, 4000, 4));
  EXPECT_EQ(l.fact, 4000u);
  EXPECT_EQ(l.riffSize + 8, FileBytes(path).size());

  // Punch-in from 750 ms: the old audio before it stays, the take runs past the old end.
  WriteWav(path, f, old);
  {
    Recording r(f, path, false);
    r.file.Wave()->SetTimeFormat(tfMillisecond);
    r.file.Wave()->SetPosition(750);
    r.Start();
    r.Push(Frames(200000, 2000, 4));
    r.Push(Frames(202000, 2000, 4));
    EXPECT_EQ(r.file.Wave()->GetPosition(), 1250);
    r.Close();
    EXPECT_EQ(r.file.Wave()->DataSize(), 1250);
  }
  l = Inspect(path);
  EXPECT_EQ(l.data, old.substr(0, 6000 * 4) + Frames(200000, 4000, 4));
  EXPECT_EQ(l.fact, 10000u);

  // A take of another format is refused rather than written over the file's samples.
  const std::string before = FileBytes(path);
  {
    Recording r(Pcm(8000, 1, 8), path, false);
    try {
      r.Start();
      ADD_FAILURE() << "a format mismatch was accepted";
    } catch (const EMMWaveError& e) {
      EXPECT_EQ(e.Message(), "Unable to open wave file");
    }
    r.Close();
  }
  EXPECT_EQ(FileBytes(path), before);

  // A blank cart (a 44-byte header with an empty data chunk) becomes a new file.
  WriteWav(path, f, "");
  ASSERT_EQ(FileBytes(path).size(), 44u);
  {
    Recording r(f, path, false);
    r.Start();
    r.Push(Frames(0, 100, 4));
    r.Close();
  }
  l = Inspect(path);
  EXPECT_EQ(l.fmtSize, 18u);
  EXPECT_EQ(l.data, Frames(0, 100, 4));
}

// A file with a title but no samples yet (a cart another program made to be recorded into) is
// written into where it lies and keeps its title; it is made anew only when the take's format is
// not its own.
TEST(WaveFile, ATitledFileWithoutSamplesIsRecordedIntoWhereItLies) {
  Scratch dir;
  const WAVEFORMATEX f = Pcm(8000, 2, 16);
  const std::string path = dir.Path("cart.wav");
  const int name = FindInfoIdentifier(plat::FourCC("INAM"));
  auto make = [&] {
    PWaveIOBlock b;
    ASSERT_EQ(WaveIOAlloc(b, &f), wioOk);
    std::string title = "Morning news";
    SetInfoItemText(b->InfoList, name, &title, isSet);
    ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
    b->Dirty = true;
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  };
  auto title = [&] {
    PWaveIOBlock b;
    return WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile) == wioOk ? InfoItemText(b->InfoList, name) : "?";
  };
  ASSERT_NO_FATAL_FAILURE(make());
  ASSERT_EQ(title(), "Morning news");
  {
    Recording r(f, path, false);
    r.Start();
    r.Push(Frames(0, 100, 4));
    r.Close();
  }
  EXPECT_EQ(Inspect(path).data, Frames(0, 100, 4));
  EXPECT_EQ(title(), "Morning news");

  ASSERT_NO_FATAL_FAILURE(make());
  {
    Recording r(Pcm(8000, 1, 8), path, false);
    r.Start();
    r.Push(std::string(100, '\x40'));
    r.Close();
  }
  EXPECT_EQ(Inspect(path).data, std::string(100, '\x40'));
  EXPECT_EQ(title(), "");
}

TEST(WaveFile, EveryBufferOfATakeIsInTheFileAtOnceAndASyncReachesIt) {
  Scratch dir;
  const WAVEFORMATEX f = Pcm(8000, 1, 8);
  const std::string path = dir.Path("take.wav");
  Recording r(f, path);
  r.Start();
  const size_t header = FileBytes(path).size();
  // 100 ms of a slow format: far less than the wave's I/O buffer, still in the file as the system
  // holds it, so a process killed now keeps it.
  r.Push(Frames(0, 800, 1));
  EXPECT_EQ(FileBytes(path).substr(header), Frames(0, 800, 1));
  r.Push(Frames(800, 400, 1));
  r.file.BufferSync();
  EXPECT_EQ(FileBytes(path).substr(header), Frames(0, 1200, 1));
  EXPECT_FALSE(r.file.WriteFailed());
  r.Close();
  EXPECT_EQ(Inspect(path).data, Frames(0, 1200, 1));
  EXPECT_EQ(r.closes, 1);
}

TEST(WaveFile, ShortAndEmptyTakesEndInTheFormatsSilence) {
  Scratch dir;
  struct Case {
    WAVEFORMATEX f;
    std::string take, data;
    uint32_t fact;
  };
  const Case cases[] = {
      // Three samples are less than a millisecond, yet they are the whole take.
      {Pcm(8000, 1, 8), std::string("\x10\x20\x30", 3), std::string("\x10\x20\x30", 3), 3},
      {Pcm(8000, 1, 8), "", std::string(4, '\x80'), 4},
      {Pcm(44100, 2, 16), "", std::string(4, '\0'), 1},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Path("take.wav");
    {
      Recording r(c.f, path);
      r.file.Wave()->SetTimeFormat(tfMillisecond);
      r.Start();
      if (!c.take.empty()) r.Push(c.take);
      r.Close();
    }
    const Layout l = Inspect(path);
    EXPECT_EQ(l.data, c.data) << c.f.wBitsPerSample << " bits, take of " << c.take.size();
    EXPECT_EQ(l.fact, c.fact);
  }
}

TEST(WaveFile, AFullDiskFinishesTheFileAndTellsTheOwner) {
  Scratch dir;
  const WAVEFORMATEX f = Pcm(48000, 2, 16);
  const std::string path = dir.Path("full.wav");
  int64_t room = int64_t(1) << 40;
  SetDiskFreeQuery([&](const std::string&, int64_t& free) {
    free = room;
    return true;
  });
  Recording r(f, path);
  bool failedAtClose = false;
  r.file.OnClose = [&](TObject*) {
    ++r.closes;
    failedAtClose = r.file.WriteFailed();
  };
  r.Start();
  for (int i = 0; i < 10; ++i) {
    // Room for the sixth buffer is exactly what it needs; the seventh finds one byte less.
    if (i == 5) room = 32768 + 4096 + 10240;
    if (i == 6) room -= 1;
    r.Push(Frames(i * 1024, 1024, 4));
  }
  SetDiskFreeQuery(nullptr);
  EXPECT_EQ(r.closes, 1);
  EXPECT_TRUE(failedAtClose);
  EXPECT_FALSE(r.file.FileOpened());
  // Every buffer still went on down the chain.
  EXPECT_EQ(r.sink.Size(), 10u * 4096);
  const Layout l = Inspect(path);
  EXPECT_EQ(l.data, Frames(0, 6 * 1024, 4));
  EXPECT_EQ(l.fact, 6u * 1024);
  // The owner's stop afterwards finds nothing more to do.
  r.Close();
  EXPECT_EQ(r.closes, 1);
  EXPECT_EQ(Inspect(path).data, l.data);
}

TEST(WaveFile, AShortWriteEndsTheTakeWithoutShiftingSamples) {
  Scratch dir;
  const WAVEFORMATEX f = Pcm(48000, 2, 16);
  const std::string path = dir.Path("short.wav");
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  Recording r(f, path);
  r.Start();
  // The file system takes no byte past 100002: a write across that is cut short.
  rlimit lim = old;
  lim.rlim_cur = 100002;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
  int pushed = 0;
  for (; pushed < 60 && r.file.FileOpened(); ++pushed) r.Push(Frames(pushed * 1024, 1024, 4));
  for (int i = 0; i < 5; ++i) r.Push(Frames(500000, 1024, 4));
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(r.closes, 1);
  EXPECT_TRUE(r.file.WriteFailed());
  EXPECT_LT(pushed, 60);
  // What the file holds is the take's beginning, sample for sample, and nothing after the gap.
  const std::string back = ReadBack(path);
  ASSERT_GT(back.size(), 0u);
  EXPECT_EQ(back.size() % 4, 0u);
  EXPECT_EQ(back, Frames(0, int64_t(back.size() / 4), 4));
}

TEST(WaveFile, PlaybackServesSilenceTheEndAndLoops) {
  Scratch dir;
  const std::string path8 = dir.Path("m8.wav"), path16 = dir.Path("s16.wav");
  WriteWav(path8, Pcm(8000, 1, 8), Frames(0, 10000, 1));
  WriteWav(path16, Pcm(8000, 2, 16), Frames(0, 2500, 4));

  TMMWaveFile file;
  ByteSink out;
  file.SetOutput(&out);
  int changes = 0;
  file.OnChanged = [&](TObject*) { ++changes; };
  file.Wave()->SetFileName(path8);
  EXPECT_EQ(changes, 1);
  // The chain takes its format from the wave.
  ASSERT_NE(out.GetWaveFormat(), nullptr);
  EXPECT_EQ(out.GetWaveFormat()->wBitsPerSample, 8);

  Buffer b(4096);
  bool more = false;
  file.ChainOpen();
  file.BufferLoad(b.get(), more);  // opened, not started
  EXPECT_TRUE(more);
  EXPECT_EQ(b.Data(), std::string(4096, '\x80'));

  file.ChainStart();
  std::string got;
  std::vector<bool> mores;
  for (int i = 0; i < 3; ++i) {
    more = false;
    file.BufferLoad(b.get(), more);
    got += b.Data();
    mores.push_back(more);
  }
  EXPECT_EQ(got, Frames(0, 10000, 1));
  EXPECT_EQ(mores, (std::vector<bool>{true, true, false}));

  // Two loops: three passes, each loop point marked on the buffer that carries it.
  file.ChainStop();
  file.ChainStart();
  int loops = 0;
  file.OnLooping = [&](TObject*) { ++loops; };
  got.clear();
  int marks = 0;
  b->LoopFlag = -1;
  b->LoopCount = 2;
  b->LoopsLeft = 2;
  for (int i = 0; i < 20; ++i) {
    more = false;
    b->LoopMark = 0;
    file.BufferLoad(b.get(), more);
    got += b.Data();
    marks += b->LoopMark == -1;
    if (!more) break;
  }
  EXPECT_EQ(loops, 2);
  EXPECT_EQ(marks, 2);
  EXPECT_EQ(got, Frames(0, 10000, 1) + Frames(0, 10000, 1) + Frames(0, 10000, 1));
  file.ChainClose();

  // A disabled 16-bit file serves zeros.
  file.Wave()->SetFileName(path16);
  file.SetEnabled(false);
  file.ChainOpen();
  file.ChainStart();
  more = false;
  file.BufferLoad(b.get(), more);
  EXPECT_TRUE(more);
  EXPECT_EQ(b.Data(), std::string(4096, '\0'));
  file.ChainClose();

  // Without data there is nothing to serve.
  file.Wave()->FreeWave();
  more = false;
  file.BufferLoad(b.get(), more);
  EXPECT_EQ(b->dwBytesRecorded, 0u);
  EXPECT_FALSE(more);
}
