// A recording cut short by the process dying: the next start takes it back for review.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "Studio.h"
#include "common/bytes.h"
#include "common/oracles.h"
#include "engine/MMWaveIO.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"

namespace {

// The samples of a file whose header was never finished: everything from the data chunk's start
// to the end of the file, in whole blocks.
std::string SamplesOnDisk(const std::string& bytes, uint16_t blockAlign) {
  size_t at = 12;
  while (at + 8 <= bytes.size() && bytes.compare(at, 4, "data") != 0) {
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = (size << 8) | uint8_t(bytes[at + 4 + size_t(i)]);
    at += 8 + size + (size & 1);
  }
  if (at + 8 > bytes.size()) return {};
  std::string data = bytes.substr(at + 8);
  return data.substr(0, data.size() / blockAlign * blockAlign);
}

// The played audio of the one output stream that was captured.
std::string PlayedAudio(const std::string& folder) {
  std::vector<std::string> wavs;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".wav") == 0) wavs.push_back(name);
    }
    ::closedir(d);
  }
  EXPECT_EQ(1u, wavs.size()) << "output streams";
  if (wavs.size() != 1) return {};
  WavFile w = ReadWav(folder + wavs[0]);
  EXPECT_TRUE(w.ok) << "the capture was not finished";
  return w.Data();
}

// A cart as this program writes one: six seconds of its own sound (format 26, 64 bytes a
// millisecond), then its picture (96 KB, more than a disk that fills can leave behind a take) and
// its title "Morning News" behind the samples.
struct TitledCart {
  bool ok = false;
  std::string samples, picture;
};
std::string CartPicture() {
  std::string picture = LE32(40) + LE32(256) + LE32(128) + LE16(1) + LE16(24) + LE32(0) + LE32(98304) + std::string(16, '\0');
  for (int i = 0; i < 98304; ++i) picture.push_back(char(i * 5));
  return picture;
}

TitledCart MakeTitledCart(const std::string& path) {
  TitledCart c;
  c.samples.resize(6 * 64000);
  for (size_t i = 0; i < c.samples.size(); ++i) c.samples[i] = char(0xA5 ^ (i * 13));
  c.picture = CartPicture();
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  PWaveIOBlock b;
  if (WaveIOAlloc(b, &mono) != wioOk) return c;
  std::string title = "Morning News";
  SetInfoItemText(b->InfoList, FindInfoIdentifier(plat::FourCC("INAM")), &title, isSet);
  b->DispList.push_back({kDispBitmap, isRead, c.picture, {}});
  const int64_t n = int64_t(c.samples.size());
  c.ok = WaveIOCreate(b.get(), path) == wioOk && WaveIOWrite(b.get(), c.samples.data(), n) == n &&
         WaveIOFinish(b.get()) == wioOk;
  return c;
}

// A cart as a traffic or automation system prepares one for the operator to record into: the
// title "Morning News" and the picture, and an empty data chunk before them or, listsFirst, behind.
std::string TitledCartWithoutAudio(const WAVEFORMATEX& f, const std::string& picture, bool listsFirst) {
  const std::string title = "Morning News";
  std::string lists = "DISP" + LE32(uint32_t(4 + picture.size())) + LE32(8) + picture;
  if (picture.size() & 1) lists += '\0';
  lists += "LIST" + LE32(uint32_t(4 + 8 + title.size() + 1)) + "INFO" + "INAM" + LE32(uint32_t(title.size() + 1)) +
           title + '\0';
  if ((title.size() + 1) & 1) lists += '\0';
  std::string wav = MakeWav(f, "");
  wav.insert(listsFirst ? wav.size() - 8 : wav.size(), lists);
  return wav.replace(4, 4, LE32(uint32_t(wav.size() - 8)));
}

// Loads the cart, records on from a second before its end for seven seconds (past its end, cutting
// off its title and picture), and kills the program.
void RecordPastTheEndAndKill(Studio& s, const std::string& cart) {
  s.Answers({"file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("End");  // five seconds before the end
  ASSERT_EQ("00:00:01.000", s.Sync().pos);
  s.Key("F5");
  s.Run(7000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
}

// The message boxes among the dialogs shown so far.
std::vector<std::string> Messages(const Studio& s) {
  std::vector<std::string> messages;
  for (const std::string& line : s.DialogLog())
    if (line.rfind("message ", 0) == 0) messages.push_back(line);
  return messages;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

void ExpectTitleAndPicture(const std::string& cart, const std::string& picture) {
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, cart, plat::FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ("Morning News", InfoItemText(b->InfoList, FindInfoIdentifier(plat::FourCC("INAM"))));
  ASSERT_EQ(1u, b->DispList.size());
  EXPECT_TRUE(b->DispList[0].Type == kDispBitmap && b->DispList[0].Data == picture) << "the picture";
}

}  // namespace

TEST(Recovery, ATakeCutShortIsLoadedAtTheNextStartWithEveryWholeBlockThatReachedTheDisk) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(3000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();

  const std::string orphan = s.deckTemp + "Untitled.wav";
  const WAVEFORMATEX cd = PcmFormat(44100, 2, 16);
  const std::string onDisk = SamplesOnDisk(Studio::Read(orphan), cd.nBlockAlign);
  // The ring buffer writes from its half mark, so most of the take is on disk, and it is the
  // input's audio from the start.
  EXPECT_GE(onDisk.size(), size_t(cd.nAvgBytesPerSec)) << "less than a second reached the disk";
  EXPECT_TRUE(IsPattern(onDisk, cd)) << "what reached the disk is not the input's start";

  ASSERT_TRUE(s.Start());
  const std::string gpi = std::string(Studio::kLoad) + Studio::kRecord + Studio::kLoad;
  EXPECT_EQ(gpi, s.Gpi(gpi.size()));
  DeckView v = s.Sync();
  EXPECT_EQ("BYNAME", v.kind);
  EXPECT_EQ(orphan, v.file);
  const std::vector<std::string> dialogs = s.DialogLog();
  ASSERT_EQ(1u, dialogs.size()) << ::testing::PrintToString(dialogs);
  EXPECT_EQ(0u, dialogs[0].rfind("message Warning [OK] \"Untitled.wav\\r\\n\\r\\nA Solvane temporary "
                                 "recording file still exists.  This \\r\\n",
                                 0))
      << dialogs[0];

  // Played back to its end, the take is every whole block that was on disk.
  s.Key("F3");
  for (int steps = 0; steps < 100 && s.Sync().deck == "playing"; ++steps) s.Run(100);
  v = s.Sync();
  EXPECT_EQ("stopped", v.deck);
  EXPECT_TRUE(PlayedAudio(s.capture) == onDisk) << "the recovered take is not what was on disk";
}

TEST(Recovery, AnEndAskedForBySignalFinishesTheTakeAndKeepsItForTheNextStart) {
  const WAVEFORMATEX cd = PcmFormat(44100, 2, 16);
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(3000);
    ASSERT_EQ("recording", s.Sync().deck);
    ASSERT_EQ(0, ::kill(s.Pid(), sig));
    EXPECT_EQ(0, s.WaitExit()) << "ended in order";

    // Everything the input gave is in the file, and its header says so.
    const WavFile w = ReadWav(s.deckTemp + "Untitled.wav");
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.riffSize + 8, w.bytes.size());
    const std::string data = w.Data();
    EXPECT_GE(data.size(), 3 * size_t(cd.nAvgBytesPerSec) - 4096);
    EXPECT_TRUE(IsPattern(data, cd));

    ASSERT_TRUE(s.Start());
    EXPECT_EQ(s.deckTemp + "Untitled.wav", s.Sync().file) << "offered again";
  }
}

TEST(Recovery, ATakeIsFinishedAsItIsRecoveredAndItsSavedCopyReadsWholeInOtherPrograms) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string dest = s.dir.Path("carts/");
  ASSERT_TRUE(plat::ForceDirectories(dest));
  s.Answers({"file " + dest + "Rescued.wav"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(5350);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
  const std::string orphan = s.deckTemp + "Untitled.wav";
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string onDisk = SamplesOnDisk(Studio::Read(orphan), mono.nBlockAlign);
  const size_t frames = onDisk.size() / mono.nBlockAlign;
  ASSERT_GT(frames, 0u);
  ASSERT_TRUE(IsPattern(onDisk, mono));

  // As the deck offers it, the take already says how long it is.
  ASSERT_TRUE(s.Start());
  ASSERT_EQ(orphan, s.Sync().file);
  const WavFile recovered = ReadWav(orphan);
  ASSERT_TRUE(recovered.ok);
  EXPECT_EQ(recovered.riffSize + 8, recovered.bytes.size());
  EXPECT_TRUE(recovered.Data() == onDisk) << "the recovered take is not what was on disk";
  const RiffChunk* fact = recovered.Find("fact");
  ASSERT_TRUE(fact);
  EXPECT_EQ(frames, plat::GetLE32(reinterpret_cast<const uint8_t*>(recovered.bytes.data()) + fact->offset));

  // Saved, it is every frame to sndfile-info and to sox.
  s.Key("F9");
  DeckView v = s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "the save has ended");
  const std::string saved = dest + "Rescued.wav";
  EXPECT_EQ(saved, v.file);
  EXPECT_TRUE(Studio::Read(saved) == recovered.bytes);
  ASSERT_TRUE(HaveOracles()) << "sox and sndfile-info are needed (scripts/setup.sh installs them)";
  EXPECT_EQ(std::to_string(frames), SndfileFrames(saved));
  EXPECT_TRUE(SoxRaw(saved, s.dir.Path("saved.raw")) == onDisk) << "sox reads other samples";
}

TEST(Recovery, AKilledTakeKeepsEveryFrameCapturedUpToHalfASecondBeforeTheKill) {
  // The slowest format, the deck's default and CD quality, each killed at a moment of its own.
  const struct {
    int format;
    WAVEFORMATEX f;
    uint32_t ms;
  } takes[] = {
      {0, PcmFormat(8000, 1, 8), 2730}, {26, PcmFormat(32000, 1, 16), 3170}, {31, PcmFormat(44100, 2, 16), 1890}};
  for (const auto& t : takes) {
    SCOPED_TRACE("format " + std::to_string(t.format));
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=" + std::to_string(t.format), "LENGTH=10000"});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+S");
    s.Key("F5");
    s.Run(t.ms);
    ASSERT_EQ("recording", s.Sync().deck);
    s.Kill();

    ASSERT_TRUE(s.Start());
    const std::string orphan = s.deckTemp + "Untitled.wav";
    ASSERT_EQ(orphan, s.Sync().file);
    const WavFile w = ReadWav(orphan);
    ASSERT_TRUE(w.ok);
    const std::string data = w.Data();
    EXPECT_TRUE(IsPattern(data, t.f)) << "the recovered take is not the input from its start";
    const uint64_t frames = data.size() / t.f.nBlockAlign;
    const uint64_t due = uint64_t(t.ms - 500) * t.f.nSamplesPerSec / 1000;
    EXPECT_GE(frames, due) << "the take ends " << (t.ms - frames * 1000 / t.f.nSamplesPerSec) << " ms before the kill";
  }
}

// Killed before any of its audio reached the disk, a take is no recording: the next start offers
// nothing and loads nothing, and its file goes with the other leftovers at the orderly exit.
TEST(Recovery, ATakeKilledBeforeAnyAudioReachedTheDiskIsNotOfferedAtTheNextStart) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+S");
  s.Key("F5");
  // The disk holds the first write, as it may for the first 200 ms of any take.
  s.StallDisk();
  ASSERT_EQ("recording", s.Sync().deck);
  s.RunUnrested(150);
  s.Kill();
  const std::string orphan = s.deckTemp + "Untitled.wav";
  const EngineView left = ReadWithEngine(orphan);
  ASSERT_TRUE(left.ok);
  ASSERT_EQ(0, left.samples) << "audio reached the disk";

  ASSERT_TRUE(s.Start());
  const DeckView v = s.Sync();
  EXPECT_EQ("empty", v.deck);
  EXPECT_EQ("", v.file);
  EXPECT_EQ(std::vector<std::string>{}, s.DialogLog()) << "nothing was recovered";
  EXPECT_TRUE(plat::FileExists(orphan)) << "left as found";

  s.CloseWindow();
  EXPECT_EQ(0, s.WaitExit());
  EXPECT_FALSE(plat::FileExists(orphan)) << "the exit deletes the leftovers";
}

// A cart whose title and picture lie behind its samples, recorded on past its end and killed: by
// the next start it is finished, and other programs read its title, its picture and every frame
// captured up to half a second before the kill.
TEST(Recovery, ACartRecordedPastItsEndAndKilledKeepsItsTitleAndPictureAndIsFinishedByTheNextStart) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string cart = s.dir.Path("News.wav");
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  const std::string &original = made.samples, &picture = made.picture;
  ASSERT_NO_FATAL_FAILURE(RecordPastTheEndAndKill(s, cart));

  ASSERT_TRUE(s.Start());
  s.Sync();
  const WavFile w = ReadWav(cart);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  ExpectTitleAndPicture(cart, picture);

  const std::string data = w.Data();
  ASSERT_GT(data.size(), 64000u);
  EXPECT_TRUE(data.compare(0, 64000, original, 0, 64000) == 0) << "the cart before the take changed";
  EXPECT_TRUE(IsPattern(data.substr(64000), mono)) << "the take is not the input from its start";
  const uint64_t frames = data.size() / mono.nBlockAlign, due = 32000 + uint64_t(7000 - 500) * 32;
  EXPECT_GE(frames, due) << "the take ends " << (due - std::min(due, frames)) / 32 << " ms too early";
  ASSERT_TRUE(HaveOracles()) << "sox and sndfile-info are needed (scripts/setup.sh installs them)";
  EXPECT_EQ(std::to_string(frames), SndfileFrames(cart));
  EXPECT_NE(std::string::npos, SndfileInfo(cart).find("INAM : Morning News"));
  EXPECT_TRUE(SoxRaw(cart, s.dir.Path("cart.raw")) == data) << "sox reads other samples";
}

// Under a umask that takes the account's own rights (0277 makes every new file read-only), the title
// kept for a cart recorded past its end and a take cut short are still finished at the next start.
TEST(Recovery, UnderAUmaskThatTakesTheOwnersRightsAKeptTitleAndATakeCutShortAreFinishedAtTheNextStart) {
  Studio s;
  // Root may write to a read-only file: where the test is root, the deck runs as an account of its own.
  if (::geteuid() == 0) s.RunAs(4321, 4321, 4321);
  s.Umask(0277);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav"), kept = s.deckTemp + "Recording.tail";
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  ASSERT_NO_FATAL_FAILURE(RecordPastTheEndAndKill(s, cart));
  EXPECT_EQ(0600u, ModeOf(kept));
  ASSERT_TRUE(s.Start());
  s.Sync();
  ExpectTitleAndPicture(cart, made.picture);
  EXPECT_FALSE(plat::FileExists(kept));

  const std::string take = s.deckTemp + "Untitled.wav";
  s.Key("Ctrl+S");
  s.Key("F5");
  s.Run(1000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
  EXPECT_EQ(0600u, ModeOf(take));
  ASSERT_TRUE(s.Start());
  EXPECT_EQ(take, s.Sync().file);
  const WavFile w = ReadWav(take);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  EXPECT_GE(w.Data().size(), 32000u) << "less than half a second";
  EXPECT_TRUE(IsPattern(w.Data(), PcmFormat(32000, 1, 16)));
}

// A start of the same account from another session is refused the temporary folder the running
// deck holds. A stop signal while its refusal waits for an answer ends it without a deck's exit
// steps: the title and picture kept there for the running take past its cart's end stay, and are
// written back after a kill.
TEST(Recovery, ARefusedStartEndedBySignalLeavesTheTitleKeptForTheRunningTake) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav");
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  s.Answers({"file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("End");
  s.Key("F5");
  s.Run(7000);
  ASSERT_EQ("recording", s.Sync().deck);
  const std::string kept = Studio::Read(s.deckTemp + "Recording.tail");
  ASSERT_FALSE(kept.empty());

  ASSERT_EQ(0, ::mkdir(s.dir.Path("run2").c_str(), 0700));
  s.environment = {{"XDG_RUNTIME_DIR", s.dir.Path("run2")}, {"SOLVANE_DIALOG_SCRIPT", ""},
                   {"SOLVANE_TEST_CONTROL", ""},          {"SOLVANE_TEST_CONTROL_LOG", ""},
                   {"SOLVANE_AUDIO_PACE", ""},            {"SOLVANE_AUDIO_PACE_ACK", ""}};
  // Started with SIGTERM ignored, so that the signals below do nothing until the program takes
  // them itself; from then on it handles them only in an event loop, the refusal's.
  struct sigaction ignore {}, before {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(0, ::sigaction(SIGTERM, &ignore, &before));
  const pid_t second = s.Spawn();
  ::sigaction(SIGTERM, &before, nullptr);
  ASSERT_GT(second, 0);
  int status = 0, tries = 0;
  EXPECT_TRUE(Studio::WaitFor([&] {
    if (tries++ % 10 == 0) ::kill(second, SIGTERM);
    return ::waitpid(second, &status, WNOHANG) == second;
  })) << "the refused start did not end on a stop signal";
  EXPECT_TRUE(Studio::Read(s.deckTemp + "Recording.tail") == kept) << "the refused start touched what the deck kept";

  s.Run(500);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
  s.environment.clear();
  s.Answers({});
  ASSERT_TRUE(s.Start());
  s.Sync();
  ExpectTitleAndPicture(cart, made.picture);
}

// The same cart recorded past its end until a file-size limit (as a full disk) ends the take: the
// finish cannot write the title and picture back, and the operator is told. They outlast Eject,
// and once there is room the next take into the cart finishes it with them, not with the lists its
// file lost.
TEST(Recovery, ACartThatCouldNotBeFinishedKeepsItsTitleAndPictureUntilItIs) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav"), kept = s.deckTemp + "Recording.tail";
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  s.Answers({"file " + cart, "OK", "Yes", "file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("End");
  ASSERT_EQ("00:00:01.000", s.Sync().pos);
  // No file may grow past half a second behind the cart's samples (at byte 46).
  rlimit was{};
  ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, nullptr, &was));
  rlimit limit = was;
  limit.rlim_cur = 46 + 6 * 64000 + 32000;
  ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, &limit, nullptr));
  s.Key("F5");
  s.Run(6000);
  s.SyncUntil([](const DeckView& d) { return d.deck == "stopped" && d.modal == "-"; }, "the take has ended");
  const std::vector<std::string> log = s.DialogLog();
  ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
  EXPECT_NE(std::string::npos, log[1].find("Any title and picture of the cart are kept")) << log[1];
  EXPECT_EQ(nullptr, ReadWav(cart).Find("LIST")) << "the finish wrote the title back";
  EXPECT_TRUE(plat::FileExists(kept));
  s.Key("F7");
  ASSERT_EQ("empty", s.Sync().deck);
  EXPECT_TRUE(plat::FileExists(kept)) << "Eject could not finish the cart either";

  ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, &was, nullptr));
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("F5");
  s.Run(500);
  s.Key("F4");
  ASSERT_EQ("stopped", s.Sync().deck);
  EXPECT_FALSE(plat::FileExists(kept));
  ExpectTitleAndPicture(cart, made.picture);
  const WavFile w = ReadWav(cart);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  const size_t bytes = w.Data().size();
  EXPECT_TRUE(bytes > 6u * 64000 && bytes <= 6u * 64000 + 32000) << bytes << " bytes of samples";
  ASSERT_TRUE(HaveOracles()) << "sox and sndfile-info are needed (scripts/setup.sh installs them)";
  EXPECT_EQ(std::to_string(bytes / 2), SndfileFrames(cart));
  EXPECT_NE(std::string::npos, SndfileInfo(cart).find("INAM : Morning News"));
}

// The disk of a cart recorded past its end and killed is not there at the next start (its folder
// renamed away, as a USB disk or a share not yet back): the cart stays kept through that start, and
// once it is back, loading it finishes it with its title and picture, every frame readable.
TEST(Recovery, ACartThatCannotBeReachedAtTheNextStartIsFinishedWhenItIsLoaded) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string disk = s.dir.Path("disk"), cart = disk + "/News.wav", kept = s.deckTemp + "Recording.tail";
  ASSERT_TRUE(plat::ForceDirectories(disk));
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  ASSERT_NO_FATAL_FAILURE(RecordPastTheEndAndKill(s, cart));
  const std::string unfinished = Studio::Read(cart);
  ASSERT_EQ(0u, ReadWav(cart).riffSize) << "the take did not run past the end";
  ASSERT_EQ(0, ::rename(disk.c_str(), (disk + "-away").c_str()));

  s.Answers({"file " + cart});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck);
  EXPECT_TRUE(plat::FileExists(kept)) << "the start let go of the cart";
  ASSERT_EQ(0, ::rename((disk + "-away").c_str(), disk.c_str()));
  EXPECT_TRUE(Studio::Read(cart) == unfinished);

  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  EXPECT_FALSE(plat::FileExists(kept));
  EXPECT_EQ(std::vector<std::string>{}, Messages(s));
  const WavFile w = ReadWav(cart);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  ExpectTitleAndPicture(cart, made.picture);
  const std::string data = w.Data();
  EXPECT_TRUE(data.size() > 7u * 64000) << data.size() << " bytes of samples";
  ASSERT_TRUE(HaveOracles()) << "sox and sndfile-info are needed (scripts/setup.sh installs them)";
  EXPECT_EQ(std::to_string(data.size() / 2), SndfileFrames(cart));
  EXPECT_NE(std::string::npos, SndfileInfo(cart).find("INAM : Morning News"));
  EXPECT_TRUE(SoxRaw(cart, s.dir.Path("cart.raw")) == data) << "sox reads other samples";
}

// Another untitled WAV put at the path of a cart recorded past its end and killed is not written
// into, neither by the next start nor when it is loaded or ejected, and the operator is told each
// time it is met; the cart stays kept, and goes back into its own file once that is back.
TEST(Recovery, TheTitleKeptForACartGoesIntoNoOtherFileAtItsPath) {
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav"), aside = s.dir.Path("aside.wav"),
                    kept = s.deckTemp + "Recording.tail";
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok);
  ASSERT_NO_FATAL_FAILURE(RecordPastTheEndAndKill(s, cart));
  ASSERT_EQ(0, ::rename(cart.c_str(), aside.c_str()));
  const std::string other = MakeWav(PcmFormat(32000, 1, 16), std::string(6 * 64000, '\x5a'));
  ASSERT_TRUE(Studio::Write(cart, other));

  s.Answers({"file " + cart, "file " + cart});
  ASSERT_TRUE(s.Start());
  EXPECT_EQ("empty", s.Sync().deck);
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  s.Key("F7");
  ASSERT_EQ("empty", s.Sync().deck);
  EXPECT_TRUE(Studio::Read(cart) == other) << "written into";
  EXPECT_TRUE(plat::FileExists(kept));
  const std::vector<std::string> log = Messages(s);
  ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
  for (const std::string& line : log)
    EXPECT_EQ(0u, line.rfind("message Warning [OK] \"The file " + cart + " is not the recording that was cut short", 0))
        << line;

  ASSERT_EQ(0, ::rename(aside.c_str(), cart.c_str()));
  s.Key("Ctrl+A");
  ASSERT_EQ(cart, s.Sync().file);
  EXPECT_FALSE(plat::FileExists(kept));
  EXPECT_EQ(2u, Messages(s).size());
  ExpectTitleAndPicture(cart, made.picture);
  const WavFile w = ReadWav(cart);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
}

// When the temporary folder's disk cannot take the cart's title and picture as a take into it
// begins (here a file-size limit below the picture's size), the take goes on, the operator learns
// that they are not kept aside, and the stop writes them back as ever. Should the cart's own disk
// fill as well, the message on the failed finish does not claim that they are kept.
TEST(Recovery, ATakeWhoseTitleCannotBeKeptAsideGoesOnAndTheOperatorIsTold) {
  for (const bool cartDiskFills : {false, true}) {
    SCOPED_TRACE(cartDiskFills ? "the cart's disk fills too" : "the take is stopped");
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    const std::string cart = s.dir.Path("News.wav"), kept = s.deckTemp + "Recording.tail";
    const TitledCart made = MakeTitledCart(cart);
    ASSERT_TRUE(made.ok);
    s.Answers({"file " + cart});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    ASSERT_EQ(cart, s.Sync().file);
    s.Key("End");
    rlimit was{};
    ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, nullptr, &was));
    rlimit limit = was;
    limit.rlim_cur = 64 << 10;
    ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, &limit, nullptr));
    s.Key("F5");
    const DeckView v = s.Sync();
    // From here on, only as far as half a second behind the cart's samples (at byte 46).
    limit.rlim_cur = cartDiskFills ? 46 + 6 * 64000 + 32000 : was.rlim_cur;
    ASSERT_EQ(0, ::prlimit(s.Pid(), RLIMIT_FSIZE, &limit, nullptr));
    EXPECT_EQ("recording", v.deck);
    EXPECT_FALSE(plat::FileExists(kept));
    std::vector<std::string> log = Messages(s);
    ASSERT_EQ(1u, log.size()) << ::testing::PrintToString(log);
    EXPECT_EQ(0u, log[0].rfind("message Warning [OK] \"The title and picture of this cart could not be kept aside", 0))
        << log[0];

    s.Run(7000);
    if (cartDiskFills) {
      s.SyncUntil([](const DeckView& d) { return d.deck == "stopped" && d.modal == "-"; }, "the take has ended");
      log = Messages(s);
      ASSERT_EQ(2u, log.size()) << ::testing::PrintToString(log);
      EXPECT_NE(std::string::npos, log[1].find("title and picture could not be kept aside either")) << log[1];
      continue;
    }
    ASSERT_EQ("recording", s.Sync().deck);
    s.Key("F4");
    ASSERT_EQ("stopped", s.Sync().deck);
    EXPECT_EQ(1u, Messages(s).size());
    ExpectTitleAndPicture(cart, made.picture);
    const WavFile w = ReadWav(cart);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
    EXPECT_TRUE(w.Data().size() > 7u * 64000) << w.Data().size() << " bytes of samples";
  }
}

// A titled cart made elsewhere without audio is recorded into where it lies: its title and picture,
// whether they stand behind the empty data chunk or before it, are still there once the take is
// stopped, or by the next start after a kill in the middle of it, around every frame recorded.
TEST(Recovery, ATitledCartWithoutAudioKeepsItsTitleAndPictureThroughATakeAndAKill) {
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string picture = CartPicture();
  for (const bool killed : {true, false}) {
    SCOPED_TRACE(killed ? "killed, the lists behind the data" : "stopped, the lists before the data");
    Studio s;
    s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    const std::string cart = s.dir.Path("News.wav");
    ASSERT_TRUE(Studio::Write(cart, TitledCartWithoutAudio(mono, picture, !killed)));
    s.Answers({"file " + cart});
    ASSERT_TRUE(s.Start());
    s.Key("Ctrl+A");
    ASSERT_EQ(cart, s.Sync().file);
    s.Key("F5");
    s.Run(2000);
    ASSERT_EQ("recording", s.Sync().deck);
    if (killed) {
      s.Kill();
      ASSERT_TRUE(s.Start());
      s.Sync();
    } else {
      s.Key("F4");
      ASSERT_EQ("stopped", s.Sync().deck);
    }
    EXPECT_EQ(std::vector<std::string>{}, Messages(s));
    ExpectTitleAndPicture(cart, picture);
    const WavFile w = ReadWav(cart);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
    const std::string data = w.Data();
    EXPECT_TRUE(IsPattern(data, mono)) << "the take is not the input from its start";
    EXPECT_GE(data.size(), (killed ? 1500u : 2000u) * 64) << "frames lost";
    ASSERT_TRUE(HaveOracles()) << "sox and sndfile-info are needed (scripts/setup.sh installs them)";
    EXPECT_EQ(std::to_string(data.size() / 2), SndfileFrames(cart));
    EXPECT_NE(std::string::npos, SndfileInfo(cart).find("INAM : Morning News"));
  }
}

// Edited on a copy (non-destructive), the same cart is saved with its title and picture around the
// take, and the cart itself is left as it was.
TEST(Recovery, ATitledCartWithoutAudioEditedOnACopyIsSavedWithItsTitleAndPicture) {
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  const std::string picture = CartPicture();
  Studio s;
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  const std::string cart = s.dir.Path("News.wav"), saved = s.dir.Path("carts/Noon News.wav");
  ASSERT_TRUE(plat::ForceDirectories(s.dir.Path("carts")));
  const std::string original = TitledCartWithoutAudio(mono, picture, false);
  ASSERT_TRUE(Studio::Write(cart, original));
  s.Answers({"file " + cart, "file " + saved});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+E");
  ASSERT_EQ(s.deckTemp + "News.WAV", s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "copied").file);
  // With no audio to hear first, Record is open to the operator as soon as the copy is in.
  s.Key("F5");
  s.Run(1000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Key("F4");
  ASSERT_EQ("stopped", s.Sync().deck);
  s.Key("F9");
  EXPECT_EQ(saved, s.SyncUntil([](const DeckView& d) { return d.modal == "-"; }, "saved").file);
  ExpectTitleAndPicture(saved, picture);
  const WavFile w = ReadWav(saved);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  EXPECT_TRUE(IsPattern(w.Data(), mono)) << "the take is not the input from its start";
  EXPECT_GE(w.Data().size(), 1000u * 64) << "frames lost";
  EXPECT_TRUE(Studio::Read(cart) == original) << "the cart itself was changed";
}

namespace {

// A WAV of the cart's format that a recorder cut short left: its samples, and sizes never written.
bool MakeUnfinishedWav(const std::string& path, const std::string& samples) {
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  PWaveIOBlock b;
  const int64_t n = int64_t(samples.size());
  const bool ok = WaveIOAlloc(b, &mono) == wioOk && WaveIOCreate(b.get(), path) == wioOk &&
                  WaveIOWrite(b.get(), samples.data(), n) == n;
  WaveIOClose(b);
  return ok;
}

// The warnings among the dialogs shown so far (a start as another account may also be told that
// the studio's GPI line is not its own to open).
std::vector<std::string> Warnings(const Studio& s) {
  std::vector<std::string> warnings;
  for (const std::string& line : Messages(s))
    if (line.rfind("message Warning ", 0) == 0) warnings.push_back(line);
  return warnings;
}

bool GiveTo(const std::string& path, uid_t uid, mode_t mode) {
  return ::lchown(path.c_str(), uid, uid) == 0 && ::chmod(path.c_str(), mode) == 0;
}

}  // namespace

// A titled cart recorded from its first sample past its end, then killed while its disk is away.
// Whatever of its format stands at its path meanwhile (an unfinished WAV of the operator's, a link
// another account made to a private one of the operator's, the cart as it was before the take) is
// left as it was, byte for byte, at the start and at the exit; the title stays kept, and the
// operator is told. Once the disk is back, the cart is finished with its title and picture.
TEST(Recovery, AKeptTitleGoesIntoNoFileButItsCartsWhateverStandsAtTheCartsPath) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as one account and make a link as another";
  constexpr uid_t kOperator = 4321, kOther = 4322;
  Studio s;
  s.RunAs(kOperator, kOperator, kOperator);
  s.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
  // The cart's disk and the operator's private folder lie outside the studio, whose folders are
  // given to the operator at each start.
  Scratch media;
  ASSERT_EQ(0, ::chmod(media.Root().c_str(), 0755));
  const std::string disk = media.Path("disk"), cart = disk + "/News.wav", mine = media.Path("private/Mine.wav");
  const std::string kept = s.deckTemp + "Recording.tail";
  ASSERT_TRUE(plat::ForceDirectories(disk) && plat::ForceDirectories(media.Path("private")));
  ASSERT_TRUE(GiveTo(disk, kOperator, 0755) && GiveTo(media.Path("private"), kOperator, 0700));
  const TitledCart made = MakeTitledCart(cart);
  ASSERT_TRUE(made.ok && GiveTo(cart, kOperator, 0644));
  const std::string asItWas = Studio::Read(cart);

  s.Answers({"file " + cart});
  ASSERT_TRUE(s.Start());
  s.Key("Ctrl+A");
  const DeckView loaded = s.Sync();
  ASSERT_EQ(cart, loaded.file);
  ASSERT_EQ("00:00:00.000", loaded.pos);
  s.Key("F5");
  s.Run(7000);
  ASSERT_EQ("recording", s.Sync().deck);
  s.Kill();
  ASSERT_EQ(0u, ReadWav(cart).riffSize) << "the take did not run past the end";
  ASSERT_EQ(0, ::rename(disk.c_str(), (disk + "-away").c_str()));
  ASSERT_TRUE(plat::ForceDirectories(disk) && GiveTo(disk, kOperator, 0755));

  const struct {
    const char* what;
    std::function<bool()> put;
    std::string watched, told;
  } standIns[] = {
      {"an unfinished WAV of the operator's",
       [&] { return MakeUnfinishedWav(cart, std::string(8 * 64000, '\x5a')) && GiveTo(cart, kOperator, 0644); }, cart,
       "The file " + cart + " is not the recording that was cut short there"},
      {"another account's link to a private unfinished WAV of the operator's",
       [&] {
         return MakeUnfinishedWav(mine, std::string(8 * 64000, '\x5a')) && GiveTo(mine, kOperator, 0600) &&
                ::symlink(mine.c_str(), cart.c_str()) == 0 && ::lchown(cart.c_str(), kOther, kOther) == 0;
       },
       mine, "At " + cart + " stands a link that another account made"},
      {"the cart as it was before the take",
       [&] { return Studio::Write(cart, asItWas) && GiveTo(cart, kOperator, 0644); }, cart,
       "The file " + cart + " is not the recording that was cut short there"},
  };
  for (const auto& standIn : standIns) {
    SCOPED_TRACE(standIn.what);
    ASSERT_TRUE(standIn.put());
    const std::string before = Studio::Read(standIn.watched), keptBefore = Studio::Read(kept);
    ASSERT_FALSE(before.empty());
    const size_t warned = Warnings(s).size();
    ASSERT_TRUE(s.Start());
    EXPECT_EQ("empty", s.Sync().deck);
    s.CloseWindow();
    EXPECT_EQ(0, s.WaitExit());
    EXPECT_TRUE(Studio::Read(standIn.watched) == before) << "written into";
    EXPECT_TRUE(Studio::Read(kept) == keptBefore) << "the kept title was let go";
    const std::vector<std::string> told = Warnings(s);
    ASSERT_EQ(warned + 1, told.size()) << ::testing::PrintToString(told);
    EXPECT_EQ(0u, told.back().rfind("message Warning [OK] \"" + standIn.told, 0)) << told.back();
    ASSERT_EQ(0, ::unlink(cart.c_str()));
  }

  ASSERT_EQ(0, ::rmdir(disk.c_str()));
  ASSERT_EQ(0, ::rename((disk + "-away").c_str(), disk.c_str()));
  const size_t warned = Warnings(s).size();
  ASSERT_TRUE(s.Start());
  s.Sync();
  EXPECT_EQ(warned, Warnings(s).size());
  EXPECT_FALSE(plat::FileExists(kept));
  ExpectTitleAndPicture(cart, made.picture);
  const WavFile w = ReadWav(cart);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.riffSize + 8, w.bytes.size()) << "not finished";
  const WAVEFORMATEX mono = PcmFormat(32000, 1, 16);
  EXPECT_TRUE(IsPattern(w.Data(), mono)) << "the take is not the input from its start";
  EXPECT_GE(w.Data().size() / 2, uint64_t(7000 - 500) * 32) << "frames lost";
}
