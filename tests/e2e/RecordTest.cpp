// Recording as the operator does it, judged by the file on disk and the GPI line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

uint32_t Le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(s[at + size_t(i)]);
  return v;
}
uint16_t Le16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

// Checks the layout of a finished recording: an 18-byte PCM "fmt ", the data in whole blocks, a
// "fact" with the frame count, sizes that add up; returns the data.
std::string CheckFinishedTake(const std::string& path, const WAVEFORMATEX& f, size_t frames) {
  WavFile w = ReadWav(path);
  EXPECT_TRUE(w.ok) << "chunks do not add up to the file";
  EXPECT_EQ(w.bytes.size() - 8, w.riffSize);
  const RiffChunk* fmt = w.Find("fmt ");
  const RiffChunk* fact = w.Find("fact");
  const RiffChunk* data = w.Find("data");
  if (!fmt || !fact || !data) {
    ADD_FAILURE() << "a chunk is missing";
    return {};
  }
  EXPECT_EQ(18u, fmt->size);
  EXPECT_EQ(1, Le16(w.bytes, fmt->offset));
  EXPECT_EQ(f.nChannels, Le16(w.bytes, fmt->offset + 2));
  EXPECT_EQ(f.nSamplesPerSec, Le32(w.bytes, fmt->offset + 4));
  EXPECT_EQ(f.nAvgBytesPerSec, Le32(w.bytes, fmt->offset + 8));
  EXPECT_EQ(f.nBlockAlign, Le16(w.bytes, fmt->offset + 12));
  EXPECT_EQ(f.wBitsPerSample, Le16(w.bytes, fmt->offset + 14));
  EXPECT_EQ(0, Le16(w.bytes, fmt->offset + 16));
  EXPECT_EQ(frames * f.nBlockAlign, data->size);
  EXPECT_EQ(0u, data->size % f.nBlockAlign);
  EXPECT_EQ(4u, fact->size);
  EXPECT_EQ(frames, Le32(w.bytes, fact->offset));

  const EngineView e = ReadWithEngine(path);
  EXPECT_TRUE(e.ok);
  EXPECT_EQ(int64_t(frames), e.samples);
  EXPECT_EQ(int64_t(data->offset), e.dataOffset);

  const std::string info = SndfileInfo(path);
  EXPECT_FALSE(info.empty()) << "sndfile-info is needed (scripts/setup.sh installs it)";
  if (!info.empty()) {
    EXPECT_EQ(std::to_string(frames), InfoField(info, "Frames")) << info;
    EXPECT_EQ(std::to_string(f.nSamplesPerSec), InfoField(info, "Sample Rate")) << info;
    EXPECT_EQ(std::to_string(f.nChannels), InfoField(info, "Channels")) << info;
    EXPECT_EQ(std::string::npos, info.find("***")) << info;
  }
  return w.Data();
}

}  // namespace

TEST(Record, AStandardCartTakesExactlyWhatTheInputGaveInACompleteWavFile) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  s.Answers({"Yes", "Yes"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  DeckView v = s.Sync();
  ASSERT_EQ("STANDARD", v.kind);
  ASSERT_EQ(s.deckTemp + "Untitled.wav", v.file);
  s.Key("F5");
  EXPECT_EQ("recording", s.Sync().deck);
  s.Run(2000);
  s.Key("F4");
  v = s.Sync();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_EQ("00:00:02.000", v.pos);

  const WAVEFORMATEX cd = PcmFormat(44100, 2, 16);
  const std::string data = CheckFinishedTake(v.file, cd, 88200);
  EXPECT_TRUE(IsPattern(data, cd)) << "the take is not what the input gave";

  // The studio saw the start, the recording and the stop, which both the input's end and the
  // Stop button signal; then nothing until the exit.
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  // The input's end signals the stop, and so does the take's reload, which carries the position
  // past the end mark.
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
}

TEST(Record, PausingAndResumingKeepsOneUnbrokenTake) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  s.Answers({"Yes", "Yes"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(700);
  s.Key("F2");
  EXPECT_EQ("paused", s.Sync().deck);
  // Time passing while paused records nothing.
  s.Run(500);
  s.Key("F2");
  EXPECT_EQ("recording", s.Sync().deck);
  s.Run(800);
  s.Key("F4");
  DeckView v = s.Sync();
  EXPECT_EQ("stopped", v.deck);

  const WAVEFORMATEX cd = PcmFormat(44100, 2, 16);
  const std::string data = CheckFinishedTake(v.file, cd, 66150);
  EXPECT_TRUE(IsPattern(data, cd)) << "the take has a gap or a repeat at the pause";
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kRecord +
                          Studio::kStop + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
}

TEST(Record, ACartStopsItselfAtItsLengthAndCannotBeRecordedFurther) {
  Studio s;
  // A three-second cart, 32 kHz mono.
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=3"});
  s.Answers({"Yes", "Yes"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  EXPECT_EQ("recording", s.Sync().deck);
  s.Run(4000);
  DeckView v = s.Sync();
  EXPECT_EQ("stopped", v.deck);

  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string data = CheckFinishedTake(v.file, mono, 96000);
  EXPECT_TRUE(IsPattern(data, mono));

  // The cart is full: Record does nothing more.
  s.Key("F5");
  EXPECT_EQ("stopped", s.Sync().deck);
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  // Only the input's end signals the stop.
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
}

TEST(Record, PunchInBetweenMarksReplacesExactlyThoseBytesOfTheFile) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  // Ten seconds at 32 kHz mono: 64 bytes a millisecond.
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  std::string original(640000, '\0');
  for (size_t i = 0; i < original.size(); ++i) original[i] = char(0xA5 ^ (i * 13));
  const std::string path = s.dir.Path("Ten seconds.wav");
  ASSERT_TRUE(Studio::Write(path, MakeWav(mono, original)));
  s.Answers({"file " + path, "Yes", "Yes"});
  ASSERT_TRUE(s.Start());

  s.Key("Ctrl+A");
  DeckView v = s.Sync();
  ASSERT_EQ("PLAY", v.kind);
  ASSERT_EQ(path, v.file);
  // Wind two seconds in and mark the beginning, three more and mark the end, back to the
  // beginning, record.
  s.Key("F12");
  s.Key("F12");
  s.Key("Alt+B");
  for (int i = 0; i < 3; ++i) s.Key("F12");
  s.Key("Alt+E");
  s.Key("Shift+B");
  EXPECT_EQ("00:00:02.000", s.Sync().pos);
  s.Key("F5");
  EXPECT_EQ("recording", s.Sync().deck);
  s.Run(3500);
  v = s.Sync();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_EQ("-", v.modal);

  const EngineView e = ReadWithEngine(path);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(320000, e.samples) << "the file's length changed";
  std::string now = Studio::Read(path);
  ASSERT_GE(now.size(), size_t(e.dataOffset) + original.size());
  now = now.substr(size_t(e.dataOffset), original.size());
  EXPECT_TRUE(now.substr(0, 128000) == original.substr(0, 128000)) << "changed before the begin mark";
  EXPECT_TRUE(IsPattern(now.substr(128000, 192000), mono)) << "the punch-in is not the input";
  EXPECT_TRUE(now.substr(320000) == original.substr(320000)) << "changed after the end mark";
  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  // The input's end signals the stop, and so does the take's reload, which carries the position
  // past the end mark.
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
}

TEST(Record, ASecondLongDiskStallLosesNothingAtAnyRate) {
  // The fewest bytes a second (8 kHz, 8 bit, mono) and the most (48 kHz, 16 bit, stereo).
  for (const auto& [format, f] : {std::pair{0, PcmFormat(8000, 1, 8)}, std::pair{35, PcmFormat(48000, 2, 16)}}) {
    SCOPED_TRACE("format " + std::to_string(format));
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=" + std::to_string(format), "LENGTH=10000"});
    s.Answers({"Yes", "Yes"});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(500);
    // For a second the disk takes nothing while the input goes on.
    s.StallDisk();
    const std::string file = s.Sync().file;
    s.RunUnrested(1000);
    const std::string held = Studio::Read(file);
    EXPECT_LT(held.size(), 46 + size_t(f.nAvgBytesPerSec) * 7 / 10) << "the disk was not held";
    s.ReleaseDisk();
    s.Run(500);
    s.Key("F4");
    const DeckView v = s.Sync();
    EXPECT_EQ("stopped", v.deck);
    const std::string data = CheckFinishedTake(v.file, f, f.nSamplesPerSec * 2);
    EXPECT_TRUE(IsPattern(data, f)) << "the take has a gap";
    for (const std::string& d : s.DialogLog()) EXPECT_EQ(std::string::npos, d.find("lost")) << d;
    s.CloseWindow();
    EXPECT_EQ(0, s.WaitExit());
  }
}

// A Stop while the disk holds the take's writes (a network or USB disk that does not answer): the
// window answers and says so, nothing reaches for the take meanwhile (another Stop, the close box),
// and once the disk answers the take is whole, every frame as the input gave it.
TEST(Record, AStopWhileTheDiskHoldsTheTakeSaysSoAndTheTakeIsWholeOnceTheDiskAnswers) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  s.Answers({"OK", "OK", "No", "Yes", "Yes"});
  const WAVEFORMATEX f = PcmFormat(32000, 1, 16);
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(500);
  s.StallDisk();
  s.RunUnrested(1000);
  s.Key("F4");
  DeckView v = s.Sync();
  EXPECT_EQ("-", v.modal);
  EXPECT_EQ("stopping", v.deck);
  s.Key("F4");
  s.CloseWindow();
  v = s.Sync();
  EXPECT_EQ("stopping", v.deck);
  EXPECT_TRUE(s.Running());
  const std::string take = s.deckTemp + "Untitled.wav";
  const std::string waiting =
      "Solvane is still waiting for the disk to take the rest of the recording into " + take + ".";
  const std::vector<std::string> told = {
      "message Warning [OK] \"The recording has stopped, but the disk is not taking what was recorded into " + take +
          ". Solvane keeps the rest of the take and writes it out as soon as the disk answers; until then the take "
          "cannot be played, saved or ejected.\" -> OK",
      "message Warning [OK] \"" + waiting + " The take can be played, saved or ejected once the disk answers.\" -> OK",
      "message Warning [Yes,No] \"" + waiting +
          " If you exit now, what has not reached the disk is lost; what has is offered again at the next start. "
          "Exit anyway?\" -> No"};
  EXPECT_EQ(told, s.DialogLog());

  s.ReleaseDisk();
  v = s.SyncUntil([](const DeckView& d) { return d.deck != "stopping"; }, "the take's stop has ended");
  EXPECT_EQ("stopped", v.deck);
  EXPECT_EQ(take, v.file);
  const std::string data = CheckFinishedTake(take, f, f.nSamplesPerSec * 3 / 2);
  EXPECT_TRUE(IsPattern(data, f)) << "the take is not what the input gave";
  EXPECT_EQ(told.size(), s.DialogLog().size()) << "nothing more to tell";

  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  // The stop was heard as the Stop was pressed, and not again once the disk took the take.
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kStop + Studio::kStop + Studio::kExit;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
}

// A take into an opened file that grows it to the largest size a WAV file can have (4 GiB, its
// sizes are 32-bit) ends there, keeps every frame that fit, and says that this is why. The file is
// sparse, so only its last bytes take room on the disk.
TEST(Record, AFileThatReachesTheLargestSizeAWavFileCanHaveEndsTheTakeAndSaysSo) {
  Studio s;
  const WAVEFORMATEX f = PcmFormat(48000, 2, 16);
  // 10 hours of standard length let the take run on in an opened file of 6 h 12 min.
  s.Settings({"[Standard Cart]", "FORMAT=35", "LENGTH=100000", "Use Length For All WAV=1"});
  const std::string cart = s.dir.Path("Long.wav");
  // Room for 50 ms of the take before the file, with its "fact" chunk, would pass 4 GiB.
  const uint64_t data = ((uint64_t(1) << 32) - 13 - 44 - 9600) / 4 * 4;
  std::string head = MakeWav(f, "");
  auto put32 = [&](size_t at, uint64_t v) {
    for (int i = 0; i < 4; ++i) head[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
  };
  put32(4, 36 + data);
  put32(40, data);
  ASSERT_TRUE(Studio::Write(cart, head));
  ASSERT_EQ(0, ::truncate(cart.c_str(), off_t(44 + data)));
  s.Answers({"file " + cart, "OK"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("End");  // 5 s before the end: the take covers those, then grows the file
  ASSERT_EQ("06:12:44.571", s.Sync().pos);
  const uint64_t startMs = ((6 * 60 + 12) * 60 + 44) * 1000 + 571;
  const uint64_t takeStart = 44 + startMs * (f.nAvgBytesPerSec / 1000);
  s.Key("F5");
  // The queue writes in batches: the clock moves on until the file has taken what fits.
  for (int step = 0; step < 100 && s.Sync().deck == "recording"; ++step) s.Run(100);
  EXPECT_EQ("stopped", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the take has ended").deck);
  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
  EXPECT_EQ("message Error [OK] \"The recording file has reached the largest size a WAV file can have (4 GB). The "
            "recording has stopped; everything recorded is kept.\" -> OK",
            log[1]);

  // The file ends where a WAV file must: every frame that fit, then "fact", sizes that add up.
  const int64_t size = plat::FileSize(cart);
  ASSERT_LE(size, int64_t(1) << 32);
  const int fd = ::open(cart.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string header(44, '\0'), tail(size_t(size - int64_t(takeStart)), '\0');
  ASSERT_EQ(44, ::pread(fd, header.data(), 44, 0));
  ASSERT_EQ(ssize_t(tail.size()), ::pread(fd, tail.data(), tail.size(), off_t(takeStart)));
  ::close(fd);
  EXPECT_EQ(uint64_t(size - 8), Le32(header, 4));
  const uint32_t dataSize = Le32(header, 40);
  ASSERT_EQ(44 + uint64_t(dataSize) + 12, uint64_t(size)) << "the data, then \"fact\" and nothing else";
  const size_t taken = size_t(44 + dataSize - takeStart);
  EXPECT_GT(taken, 5 * f.nAvgBytesPerSec + 9600 - 4 * f.nBlockAlign) << "the take stopped before the file was full";
  EXPECT_TRUE(IsPattern(tail.substr(0, taken), f)) << "the take is not the input from its start";
  EXPECT_EQ("fact", tail.substr(taken, 4));
  EXPECT_EQ(dataSize / 4, Le32(tail, taken + 8));
}

// An input that cannot start leaves the deck where it stood, since nothing was recorded: one in
// use (or failing) is told as such, one whose sound server cannot be reached is told that.
TEST(Record, AnInputThatCannotStartSaysWhyAndTheDeckStaysWhereItStood) {
  for (const auto& [fault, told, notTold] :
       {std::tuple{"open=4", "Your sound intput device appears to be in use or not working properly.",
                   "sound server"},
        std::tuple{"open=66", "The sound server could not be reached. Nothing was recorded.", "intput"}}) {
    SCOPED_TRACE(fault);
    Studio s;
    s.environment["SOLVANE_AUDIO_FAULT"] = fault;
    const WAVEFORMATEX f = PcmFormat(8000, 1, 16);
    const std::string path = s.dir.Path("Ten seconds.wav");
    ASSERT_TRUE(Studio::Write(path, MakeWav(f, std::string(160000, '\x11'))));
    s.Answers({"file " + path});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    s.Key("End");
    ASSERT_EQ("00:00:05.000", s.Sync().pos);
    s.Key("F5");
    const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the message was answered");
    EXPECT_EQ("stopped", v.deck);
    EXPECT_EQ("00:00:05.000", v.pos) << "the deck moved although nothing was recorded";
    const std::string log = ::testing::PrintToString(s.DialogLog());
    EXPECT_NE(std::string::npos, log.find(told)) << log;
    EXPECT_EQ(std::string::npos, log.find(notTold)) << log;
    EXPECT_EQ(160000u + 44, Studio::Read(path).size()) << "the cart's file changed";
  }
}

// The program held up longer than the input's buffers hold (stopped, swapped out): what they could
// not hold is missing from the take, and once the take ends the operator learns where and how long.
TEST(Record, AudioTheInputCouldNotHoldIsToldWithItsPlaceAndLength) {
  Studio s;
  s.environment["SOLVANE_AUDIO_LOSSLESS"] = "";
  s.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1000);
  s.Jump(1500);  // the buffers hold half a second of it
  s.Run(500);
  s.Key("F4");
  const DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-" && d.deck == "stopped"; }, "stopped");
  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(1u, log.size()) << ::testing::PrintToString(log);
  EXPECT_NE(std::string::npos, log[0].find("This recording has a gap: the sound input could not hold the audio"))
      << log[0];
  EXPECT_NE(std::string::npos, log[0].find("(1.0 s missing at 00:00:01.500)")) << log[0];
  const EngineView e = ReadWithEngine(v.file);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(int64_t(44100) * 2, e.samples) << "the take holds what came before and after the gap";
}
