// The engine end to end on the virtual sound device, its clock stepped here: wave input -> ring
// buffer -> wave file records, wave file -> ring buffer -> wave output plays, and a punch-in
// rewrites exactly its own stretch of a file. The UI thread's part (the device windows) runs in
// Pump, as the program's event loop would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

#include "common/scratch.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/MMWave.h"
#include "engine/WaveFixtures.h"
#include "platform/audio/virtual_audio.h"
#include "platform/messages/messages.h"

using namespace wavefx;

namespace {

const WAVEFORMATEX kCd = Pcm(44100, 2, 16);

void Pump() {
  for (int i = 0; i < 1000 && plat::ProcessMessages(); ++i) {}
}

// Steps the clock 20 ms at a time until done() holds or limitMs have passed. A playback ring
// buffer gets the time it would have in real time: each step waits until its thread has filled.
template <class F>
bool StepUntil(F done, uint32_t limitMs, TMMRingBuffer* ring = nullptr) {
  for (uint32_t t = 0; t < limitMs && !done(); t += 20) {
    while (ring && ring->WorkPending()) std::this_thread::yield();
    plat::StepVirtualAudio(20);
    Pump();
  }
  return done();
}

std::string Pattern(int64_t firstFrame, int64_t frames, const WAVEFORMATEX& f = kCd) {
  std::string s(size_t(frames * f.nBlockAlign), '\0');
  plat::FillVirtualPattern(uint64_t(firstFrame), uint64_t(frames), f, reinterpret_cast<uint8_t*>(s.data()));
  return s;
}

std::string DataOf(const std::string& path) {
  std::string data;
  FindChunk(FileBytes(path), "data", data);
  return data;
}

// wave file -> ring buffer (read side) -> wave output, with the deck's buffer sizes.
struct PlayChain {
  TMMWaveFile file;
  TMMRingBuffer ring;
  TMMWaveOut out;

  explicit PlayChain(const std::string& path) {
    ring.SetQueueMode(qmRead);
    ring.SetBufferSize(4096);
    ring.SetNumBuffers(100);
    ring.SetWaitIfFull(true);
    out.SetBufferSize(4096);
    out.SetNumBuffers(10);
    file.SetOutput(&ring);
    ring.SetOutput(&out);
    file.Wave()->SetFileName(path);
  }
};

class EngineChain : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(plat::SelectWaveBackend(plat::WaveBackendKind::Virtual));
    plat::VirtualAudioConfig c;
    c.Clock = plat::VirtualClock::Manual;
    c.CaptureToMemory = true;
    ASSERT_TRUE(plat::SetVirtualAudioConfig(c));
    plat::ClearVirtualCaptures();
  }
  void TearDown() override {
    Pump();
    EXPECT_EQ(plat::OpenWaveDevices(), 0);
    plat::SetVirtualAudioConfig(plat::VirtualAudioConfig{});
    plat::ClearVirtualCaptures();
  }

  // wave input -> ring buffer (write side) -> wave file, with the deck's buffer sizes; records
  // ms milliseconds of the input's pattern into path.
  void Record(const std::string& path, int64_t ms, bool punchIn = false, int64_t fromMs = 0) {
    TMMWaveIn in;
    TMMRingBuffer ring;
    TMMWaveFile file;
    in.SetBufferSize(4096);
    in.SetNumBuffers(10);
    in.SetWaveFormat(&kCd);
    in.SetTimeFormat(tfMillisecond);
    in.SetMaxRecordTime(ms);
    ring.SetQueueMode(qmWrite);
    ring.SetBufferSize(4096);
    ring.SetNumBuffers(50);
    ring.SetWaitIfFull(true);
    file.Wave()->SetFileMustExist(false);
    file.Wave()->SetTimeFormat(tfMillisecond);
    file.Wave()->SetFileName(path);
    if (punchIn) {
      file.SetOverwriteExisting(false);
      file.Wave()->SetPosition(fromMs);
    }
    in.SetOutput(&ring);
    ring.SetOutput(&file);
    bool stopped = false;
    in.OnStop = [&](TObject*) { stopped = true; };
    in.Start();
    ASSERT_TRUE(StepUntil([&] { return stopped; }, uint32_t(ms) + 2000));
    in.Close();
    EXPECT_EQ(ring.DroppedBuffers(), 0u);
    EXPECT_FALSE(file.WriteFailed());
  }
};

}  // namespace

TEST_F(EngineChain, RecordsFiveSecondsOfTheInputByteForByte) {
  Scratch dir;
  const std::string path = dir.Path("take.wav");
  Record(path, 5000);
  const std::string data = DataOf(path);
  ASSERT_EQ(data.size(), size_t(5 * 44100 * 4));
  EXPECT_TRUE(data == Pattern(0, 5 * 44100)) << "the recording differs from the input";
}

TEST_F(EngineChain, PlaysAFileBackByteForByte) {
  Scratch dir;
  const std::string path = dir.Path("take.wav");
  Record(path, 5000);
  plat::ClearVirtualCaptures();

  PlayChain chain(path);
  TMMRingBuffer& ring = chain.ring;
  TMMWaveOut& out = chain.out;
  bool stopped = false;
  out.OnStop = [&](TObject*) { stopped = true; };
  out.Start();
  ASSERT_TRUE(StepUntil([&] { return stopped; }, 8000, &ring));
  out.Close();

  const auto caps = plat::VirtualCaptures();
  ASSERT_FALSE(caps.empty());
  const std::string played(caps.back().audio.begin(), caps.back().audio.end());
  EXPECT_EQ(played.size(), DataOf(path).size());
  EXPECT_TRUE(played == DataOf(path)) << "the output differs from the file";
}

TEST_F(EngineChain, APunchInChangesExactlyItsOwnSecond) {
  Scratch dir;
  const std::string path = dir.Path("cart.wav");
  Record(path, 10000);
  const std::string before = FileBytes(path);
  std::string data;
  size_t dataChunk = 0;
  ASSERT_TRUE(FindChunk(before, "data", data, &dataChunk));
  ASSERT_EQ(data.size(), size_t(10 * 44100 * 4));

  Record(path, 1000, true, 4500);
  std::string expected = before;
  const size_t from = dataChunk + 8 + size_t(4.5 * 44100) * 4;
  expected.replace(from, 44100 * 4, Pattern(0, 44100));
  const std::string after = FileBytes(path);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(after == expected) << "bytes outside the punched second changed, or inside it differ";
}

// Seeks from the UI thread while the ring buffer's thread reads the wave: every frame played is a
// whole frame of the file. Then a seek the deck's way (queue cleared first, then the wave moved,
// then the output re-primed) plays on from exactly the new place.
TEST_F(EngineChain, SeeksDuringPlaybackNeverTearAFrame) {
  Scratch dir;
  const std::string path = dir.Path("frames.wav");
  const int64_t frames = 44100 * 20;
  WriteWav(path, kCd, Frames(0, frames, 4));

  PlayChain chain(path);
  TMMWaveFile& file = chain.file;
  TMMRingBuffer& ring = chain.ring;
  TMMWaveOut& out = chain.out;
  out.Start();
  // Each round the output pulls; whenever that sets the queue thread filling, the wave is moved
  // again and again until the fill is done.
  std::minstd_rand rng(7);
  int seeksDuringFills = 0;
  for (int i = 0; i < 200; ++i) {
    plat::StepVirtualAudio(100);
    Pump();
    while (ring.WorkPending()) {
      file.Wave()->SetPosition(int64_t(rng() % uint32_t(frames / 2)));
      ++seeksDuringFills;
      std::this_thread::yield();
    }
  }
  EXPECT_GT(seeksDuringFills, 0);

  const int64_t target = 44100 * 3 + 17;
  out.Pause();
  ring.ChainReset();
  file.Wave()->SetPosition(target);
  out.Reprime();
  out.Restart();
  const size_t playedBefore = plat::VirtualCaptures().back().audio.size();
  StepUntil([] { return false; }, 1000, &ring);
  out.Stop();
  out.Close();

  const auto caps = plat::VirtualCaptures();
  ASSERT_FALSE(caps.empty());
  const std::string played(caps.back().audio.begin(), caps.back().audio.end());
  ASSERT_EQ(played.size() % 4, 0u);
  int torn = 0;
  for (size_t at = 0; at < played.size(); at += 4) torn += Get32(played, at) >= uint32_t(frames);
  EXPECT_EQ(torn, 0);
  ASSERT_GT(played.size(), playedBefore + 4096);
  const std::string tail = played.substr(playedBefore);
  EXPECT_TRUE(tail == Frames(target, int64_t(tail.size() / 4), 4)) << "playback did not go on from the seek";
}
