#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "DiskWrites.h"
#include "common/bytes.h"
#include "common/scratch.h"
#include "engine/MMWaveIO.h"
#include "platform/system/files.h"

using plat::FourCC;

namespace {

std::string Chunk(const char* id, const std::string& payload, int64_t size = -1) {
  std::string s = std::string(id, 4) + LE32(uint32_t(size < 0 ? int64_t(payload.size()) : size)) + payload;
  if (payload.size() & 1) s.push_back('\0');
  return s;
}

std::string Fmt(uint16_t tag, uint16_t ch, uint32_t rate, uint32_t avg, uint16_t align, uint16_t bits, int bytes = 16,
                const std::string& extra = {}) {
  std::string f = LE16(tag) + LE16(ch) + LE32(rate) + LE32(avg) + LE16(align) + LE16(bits);
  if (bytes >= 18) f += LE16(uint16_t(extra.size()));
  f += extra;
  return Chunk("fmt ", f);
}

std::string Wave(const std::string& body, int64_t riffSize = -1) {
  return "RIFF" + LE32(uint32_t(riffSize < 0 ? int64_t(body.size()) + 4 : riffSize)) + "WAVE" + body;
}

const std::string kFmt16S = Fmt(1, 2, 44100, 176400, 4, 16);
const std::string kFmt8M = Fmt(1, 1, 8000, 8000, 1, 8);

std::string Pattern(size_t n, int seed = 0) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + size_t(seed)) & 0xFF);
  return s;
}

std::string Bytes(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

int OpenImage(const Scratch& dir, const std::string& img, PWaveIOBlock& b) {
  std::string path = dir.Path("img.wav");
  plat::WriteWholeFile(path, img);
  return WaveIOOpen(b, path, FourCC("WAVE"), wioFile);
}

std::string ReadAll(WaveIOBlock* b) {
  std::string out;
  char buf[333];
  int64_t n;
  while ((n = WaveIORead(b, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  return out;
}

PWaveIOBlock NewPcm(int bits, int channels, int rate) {
  WAVEFORMATEX f;
  MakePCMFormat(f, bits, channels, rate);
  PWaveIOBlock b;
  EXPECT_EQ(WaveIOAlloc(b, &f), wioOk);
  return b;
}

}  // namespace

TEST(WaveIO, BlankHeadersRead) {
  Scratch dir;
  PWaveIOBlock b;
  std::string blank = Wave(kFmt16S + Chunk("data", ""));
  ASSERT_EQ(blank.size(), 44u);
  ASSERT_EQ(OpenImage(dir, blank, b), wioOk);
  EXPECT_EQ(b->DataSize, 0);
  EXPECT_EQ(b->TotalSamples, 0);
  EXPECT_EQ(b->DataOffset, 44);
  EXPECT_EQ(b->Format->cbSize, 0);
  EXPECT_FALSE(b->File) << "the reader closes the file again";

  // The blank of format 0 carries a creation note in LIST INFO.
  std::string note(34, 'n');
  std::string list = Chunk("LIST", "INFO" + Chunk("ICMT", note + '\0'));
  std::string blank0 = Wave(kFmt8M + Chunk("data", "") + list);
  ASSERT_EQ(blank0.size(), 100u);
  ASSERT_EQ(OpenImage(dir, blank0, b), wioOk);
  EXPECT_EQ(b->DataSize, 0);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT"))), note);
}

TEST(WaveIO, UnfinishedRecordingReadsEveryWholeBlockToTheEndOfTheFile) {
  Scratch dir;
  PWaveIOBlock b;
  std::string samples = Pattern(1003);
  // RIFF and data sizes were never written back.
  std::string img = "RIFF" + LE32(0) + "WAVE" + kFmt16S + "data" + LE32(0) + samples;
  ASSERT_EQ(OpenImage(dir, img, b), wioOk);
  EXPECT_EQ(b->DataSize, 1000);
  EXPECT_EQ(b->TotalSamples, 250);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(ReadAll(b.get()), samples.substr(0, 1000));

  // A RIFF size past the end of the file is cut to it.
  std::string longer = Wave(kFmt16S + Chunk("data", samples.substr(0, 400)), 1 << 20);
  ASSERT_EQ(OpenImage(dir, longer, b), wioOk);
  EXPECT_EQ(b->DataSize, 400);
}

TEST(WaveIO, ATakeCutShortIsFinishedFromWhatReachedTheDisk) {
  Scratch dir;
  const std::string path = dir.Path("cut short.wav");
  const std::string fmt = Fmt(1, 2, 44100, 176400, 4, 16, 18);
  const std::string samples = Pattern(1003);
  // The header a recording starts from, its samples and the first bytes of a frame: the process
  // died there, before the sizes were written.
  ASSERT_TRUE(plat::WriteWholeFile(path, "RIFF" + LE32(0) + "WAVE" + fmt + "data" + LE32(0) + samples));
  ASSERT_EQ(WaveIOFinishFile(path), wioOk);
  const std::string finished = Wave(fmt + Chunk("data", samples.substr(0, 1000)) + Chunk("fact", LE32(250)));
  EXPECT_TRUE(Bytes(path) == finished);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->TotalSamples, 250);

  // A file whose sizes agree is left as it is, even without a count.
  const std::string other = Wave(kFmt8M + Chunk("data", samples) + Chunk("LIST", "INFO"));
  ASSERT_TRUE(plat::WriteWholeFile(path, other));
  ASSERT_EQ(WaveIOFinishFile(path), wioOk);
  EXPECT_TRUE(Bytes(path) == other);
  EXPECT_NE(WaveIOFinishFile(dir.Path("missing.wav")), wioOk);
}

TEST(WaveIO, BytesBehindAFinishedFormAreNoSamplesButAnUnfinishedOneRunsToTheEnd) {
  Scratch dir;
  PWaveIOBlock b;
  const std::string samples = Pattern(1001), tail = "TAG" + Pattern(125, 3);
  // Both sizes written and the data, with its pad byte, ends the form.
  const std::string finished = Wave(kFmt8M + Chunk("data", samples));
  ASSERT_EQ(OpenImage(dir, finished + tail, b), wioOk);
  EXPECT_EQ(b->DataSize, 1001);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_TRUE(ReadAll(b.get()) == samples);

  // A RIFF size left at 0 is a recording never finished: every byte to the end may be audio.
  std::string noRiff = finished + tail;
  noRiff.replace(4, 4, LE32(0));
  ASSERT_EQ(OpenImage(dir, noRiff, b), wioOk);
  EXPECT_EQ(b->DataSize, int64_t(1001 + 1 + tail.size()));
  // A finished form without a data size: the samples run to the form's end, not into the tag.
  std::string noData = finished + tail;
  noData.replace(40, 4, LE32(0));
  ASSERT_EQ(OpenImage(dir, noData, b), wioOk);
  EXPECT_EQ(b->DataSize, 1001 + 1);
  // A form cut short by a copy ends with the file.
  ASSERT_EQ(OpenImage(dir, finished.substr(0, 44 + 600), b), wioOk);
  EXPECT_EQ(b->DataSize, 600);
}

// A punch-in that runs past the end of a finished take and never finishes (the program was
// killed): every sample that reached the disk is read again, as for any unfinished recording.
TEST(WaveIO, APunchInRunningPastAFinishedEndThatNeverFinishesReadsToTheEndOfTheFile) {
  Scratch dir;
  PWaveIOBlock b;
  const std::string samples = Pattern(1000), more = Pattern(600, 5);
  const std::string finished = Wave(kFmt16S + Chunk("data", samples));
  ASSERT_EQ(OpenImage(dir, finished, b), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 50), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), 400), 400);
  WaveIOClose(b);  // inside the old end: the file stays finished
  EXPECT_EQ(Bytes(dir.Path("img.wav")).substr(4, 4), LE32(uint32_t(finished.size() - 8)));

  ASSERT_EQ(WaveIOOpen(b, dir.Path("img.wav"), FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 150), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
  WaveIOClose(b);  // no finish
  ASSERT_EQ(WaveIOOpen(b, dir.Path("img.wav"), FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->DataSize, 1200);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_TRUE(ReadAll(b.get()) == samples.substr(0, 200) + more.substr(0, 400) + more)
      << "every byte written, in place";

  // A take that is finished again says its sizes.
  ASSERT_EQ(WaveIOSeek(b.get(), 0), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), 4), 4);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  const std::string out = Bytes(dir.Path("img.wav"));
  EXPECT_EQ(out.substr(4, 4), LE32(uint32_t(out.size() - 8)));
  EXPECT_EQ(out.substr(40, 4), LE32(1200));
}

// A take whose finishing is cut short by a kill, after any of its writes or inside one, reads as
// its samples and nothing else: its count and lists are never heard as audio.
// The same with a title and a count behind the samples: a crash before the new samples have
// covered them must not read them as audio, and the finished take still has its title.
TEST(WaveIO, APunchInRunningPastTheEndLeavesNothingOfTheOldTailToBeReadAsAudio) {
  Scratch dir;
  PWaveIOBlock b;
  const std::string samples = Pattern(1000), more = Pattern(40, 5);
  const std::string title = Chunk("LIST", "INFO" + Chunk("INAM", std::string("A title long enough\0", 20)));
  ASSERT_EQ(OpenImage(dir, Wave(kFmt16S + Chunk("data", samples) + Chunk("fact", LE32(250)) + title), b), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 245), wioOk);  // byte 980: 20 bytes in, 20 past the end
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
  WaveIOClose(b);  // killed: no finish
  ASSERT_EQ(WaveIOOpen(b, dir.Path("img.wav"), FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->DataSize, 1020);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_TRUE(ReadAll(b.get()) == samples.substr(0, 980) + more) << "old count or title read as audio";
  WaveIOClose(b);

  // Finished in one session, the title is written again from what was read.
  ASSERT_EQ(OpenImage(dir, Wave(kFmt16S + Chunk("data", samples) + Chunk("fact", LE32(250)) + title), b), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 245), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  WaveIOClose(b);
  ASSERT_EQ(WaveIOOpen(b, dir.Path("img.wav"), FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->DataSize, 1020);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "A title long enough");
  WaveIOClose(b);

  // An unfinished take declares no sizes: all it holds is samples, and a punch-in keeps them.
  ASSERT_EQ(OpenImage(dir, Wave(kFmt16S + Chunk("data", samples, 0), 0), b), wioOk);
  ASSERT_EQ(b->DataSize, 1000);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOSeek(b.get(), 100), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
  WaveIOClose(b);
  ASSERT_EQ(WaveIOOpen(b, dir.Path("img.wav"), FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_TRUE(ReadAll(b.get()) == samples.substr(0, 400) + more + samples.substr(440)) << "samples cut";
}

TEST(WaveIO, ATakeKilledWhileItIsBeingFinishedReadsAsItsSamplesAtEveryStep) {
  Scratch dir;
  auto everyState = [&](const std::string& path, const std::string& before, const DiskWrites& writes,
                        const std::string& samples) {
    ASSERT_FALSE(writes.Changes().empty());
    const std::vector<std::string> states = writes.States(before);
    ASSERT_TRUE(states.back() == Bytes(path)) << "a change to the file was not seen";
    for (size_t i = 0; i < states.size(); ++i) {
      SCOPED_TRACE("state " + std::to_string(i) + " of " + std::to_string(states.size()));
      PWaveIOBlock b;
      ASSERT_EQ(OpenImage(dir, states[i], b), wioOk);
      EXPECT_EQ(b->DataSize, int64_t(samples.size()));
      ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
      EXPECT_TRUE(ReadAll(b.get()) == samples);
    }
  };

  {
    SCOPED_TRACE("a recording stopped");
    const std::string path = dir.Path("take.wav");
    // An odd count: the pad byte, and the count chunk behind it crosses a page boundary.
    const std::string samples = Pattern(4045);
    PWaveIOBlock b = NewPcm(8, 1, 8000);
    std::string name = "Morning news";
    SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM")), &name, isSet);
    b->DispList.push_back({kDispText, isRead, DispTextData(name), {}});
    ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
    ASSERT_EQ(b->DataOffset + int64_t(samples.size()) + 1, 4092);
    ASSERT_EQ(WaveIOWrite(b.get(), samples.data(), int64_t(samples.size())), int64_t(samples.size()));
    ASSERT_EQ(WaveIOFlush(b.get(), false), wioOk);  // as the recording left it before its stop
    const std::string before = Bytes(path);
    DiskWrites writes(path);
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
    everyState(path, before, writes, samples);
  }
  {
    SCOPED_TRACE("a take recovered at start");
    const std::string path = dir.Path("recovered.wav");
    const std::string samples = Pattern(1003);
    ASSERT_TRUE(plat::WriteWholeFile(path, "RIFF" + LE32(0) + "WAVE" + kFmt16S + "data" + LE32(0) + samples));
    const std::string before = Bytes(path);
    DiskWrites writes(path);
    ASSERT_EQ(WaveIOFinishFile(path), wioOk);
    everyState(path, before, writes, samples.substr(0, 1000));
  }
  {
    SCOPED_TRACE("a punch-in run past the end of a take whose list stands before its data");
    const std::string path = dir.Path("punched.wav");
    const std::string samples = Pattern(400), more = Pattern(600, 9);
    ASSERT_TRUE(plat::WriteWholeFile(
        path, Wave(kFmt16S + Chunk("LIST", "INFO" + Chunk("INAM", std::string("Old\0", 4))) + Chunk("data", samples))));
    PWaveIOBlock b;
    ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    ASSERT_EQ(WaveIOSeek(b.get(), 50), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), more.data(), int64_t(more.size())), int64_t(more.size()));
    ASSERT_EQ(WaveIOFlush(b.get(), false), wioOk);
    const std::string before = Bytes(path);
    DiskWrites writes(path);
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
    everyState(path, before, writes, samples.substr(0, 200) + more);
  }
}

// A take run on past the end of a cart whose title and picture lie behind its samples, killed
// after any write from its start to the end of its finish (or inside one), and finished at the next
// start with the lists kept beside it: the title and the picture are there, the sizes add up, and
// every sample is the cart's own or the take's, never a byte of what stood behind them.
TEST(WaveIO, ACartRecordedPastItsEndAndKilledAnywhereIsFinishedWithTheListsKept) {
  Scratch dir;
  const std::string path = dir.Path("cart.wav");
  const std::string old(6000, '\x11'), more(6000, '\x22'), picture(3000, '\x33');
  const std::string title = "Morning news";
  {
    PWaveIOBlock b = NewPcm(8, 1, 8000);
    std::string t = title;
    SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM")), &t, isSet);
    b->DispList.push_back({kDispBitmap, isRead, picture, {}});
    ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), old.data(), int64_t(old.size())), int64_t(old.size()));
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  }
  PWaveIOBlock kept;  // what the deck keeps: the lists as the take's wave read them
  ASSERT_EQ(WaveIOOpen(kept, path, FourCC("WAVE"), wioFile), wioOk);
  const std::string before = Bytes(path);
  const int64_t from = 5900;
  std::vector<std::string> states;
  {
    DiskWrites writes(path);
    PWaveIOBlock b;
    ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    ASSERT_EQ(WaveIOSeek(b.get(), from), wioOk);
    // In buffers, each handed to the system as the deck does.
    for (size_t at = 0; at < more.size(); at += 1500) {
      ASSERT_EQ(WaveIOWrite(b.get(), more.data() + at, 1500), 1500);
      ASSERT_EQ(WaveIOFlush(b.get(), false), wioOk);
    }
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
    states = writes.States(before);
  }
  ASSERT_TRUE(states.back() == Bytes(path)) << "a change to the file was not seen";
  const std::string recovered = dir.Path("recovered.wav");
  for (size_t i = 0; i < states.size(); ++i) {
    SCOPED_TRACE("state " + std::to_string(i) + " of " + std::to_string(states.size()));
    ASSERT_TRUE(plat::WriteWholeFile(recovered, states[i]));
    ASSERT_EQ(WaveIOFinishFile(recovered, kept.get()), wioOk);
    const std::string file = Bytes(recovered);
    EXPECT_EQ(plat::GetLE32(reinterpret_cast<const uint8_t*>(file.data()) + 4), file.size() - 8);
    PWaveIOBlock b;
    ASSERT_EQ(WaveIOOpen(b, recovered, FourCC("WAVE"), wioFile), wioOk);
    EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), title);
    ASSERT_EQ(b->DispList.size(), 1u);
    EXPECT_TRUE(b->DispList[0].Data == picture);
    ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
    const std::string samples = ReadAll(b.get());
    ASSERT_GE(samples.size(), old.size());
    EXPECT_TRUE(samples.compare(0, size_t(from), old, 0, size_t(from)) == 0);
    EXPECT_EQ(samples.find_first_not_of("\x11\x22", size_t(from)), std::string::npos) << "not a sample";
    EXPECT_EQ(samples.find('\x11', old.size()), std::string::npos) << "the cart's own past its end";
    if (i + 1 == states.size()) {
      EXPECT_TRUE(samples == old.substr(0, size_t(from)) + more);
    }
  }
}

TEST(WaveIO, DataEndsAtTheNextChunkHeaderWithoutItsPadByte) {
  Scratch dir;
  PWaveIOBlock b;
  std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "Take 1") + Chunk("ZZZZ", "x"));
  ASSERT_EQ(OpenImage(dir, Wave(kFmt8M + Chunk("data", "abcde") + list), b), wioOk);
  EXPECT_EQ(b->DataSize, 5) << "the pad byte after odd data is no sample";
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "Take 1");

  // A PCM header's block align and byte rate come from its bits, channels and rate.
  ASSERT_EQ(OpenImage(dir, Wave(Fmt(1, 2, 44100, 3, 7, 16) + Chunk("data", Pattern(16))), b), wioOk);
  EXPECT_EQ(b->Format->nBlockAlign, 4);
  EXPECT_EQ(b->Format->nAvgBytesPerSec, 176400u);
  EXPECT_EQ(b->TotalSamples, 4);
}

TEST(WaveIO, MalformedHeadersAreRefused) {
  Scratch dir;
  const std::string data = Chunk("data", Pattern(8));
  struct Case {
    const char* what;
    std::string img;
    int result;
  } cases[] = {
      {"not RIFF", "RIFX" + Wave(kFmt16S + data).substr(4), wioErrFile},
      {"another form", "RIFF" + LE32(4) + "AVI ", wioErrFile},
      {"ten bytes", std::string("RIFF\0\0\0\0WA", 10), wioErrFile},
      {"no format", Wave(data), wioErrFormat},
      {"zero rate", Wave(Fmt(1, 2, 0, 0, 4, 16) + data), wioErrFormat},
      {"zero channels", Wave(Fmt(1, 0, 44100, 0, 0, 16) + data), wioErrFormat},
      {"zero bits", Wave(Fmt(1, 2, 44100, 0, 0, 0) + data), wioErrFormat},
      {"zero block align", Wave(Fmt(0x11, 1, 8000, 4000, 0, 4, 18) + data), wioErrFormat},
      {"zero byte rate", Wave(Fmt(0x11, 1, 8000, 0, 256, 4, 18) + data), wioErrFormat},
      {"format of 12 bytes", Wave(Chunk("fmt ", Pattern(12)) + data), wioErrFormat},
      {"extra bytes past the chunk",
       Wave(Chunk("fmt ", LE16(2) + LE16(1) + LE32(8000) + LE32(4096) + LE16(256) + LE16(4) + LE16(32) + "ab") + data),
       wioErrFormat},
  };
  for (const Case& c : cases) {
    PWaveIOBlock b;
    EXPECT_EQ(OpenImage(dir, c.img, b), c.result) << c.what;
    EXPECT_FALSE(b) << c.what;
    EXPECT_EQ(WaveIOOpenMemory(b, c.img.data(), c.img.size()), c.result) << c.what;
  }
  EXPECT_FALSE(IsWaveFile(dir.Path("missing.wav"), wioFile));
  // The header alone needs no format.
  PWaveIOBlock b;
  std::string img = Wave(data + Chunk("LIST", "INFO" + Chunk("IART", "Someone")));
  ASSERT_EQ(WaveIOOpenMemory(b, img.data(), img.size(), wioHeaderOnly), wioOk);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("IART"))), "Someone");
}

// Headers that would load and then fail at Play are refused as they are read, with the reason.
TEST(WaveIO, HeadersNothingCouldPlayAreRefusedWithTheirReason) {
  Scratch dir;
  const std::string data = Chunk("data", Pattern(512));
  const std::string msCoefs = LE16(256) + LE16(0) + LE16(512) + LE16(uint16_t(-256)) + LE16(0) + LE16(0) + LE16(192) +
                              LE16(64) + LE16(240) + LE16(0) + LE16(460) + LE16(uint16_t(-208)) + LE16(392) +
                              LE16(uint16_t(-232));
  const std::string damagedAdpcm = "Its ADPCM format header is damaged.";
  auto extensibleOf = [](uint16_t sub) {
    return LE16(16) + LE32(3) + LE16(sub) + std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
  };
  const struct {
    const char* what;
    std::string img, why;
  } cases[] = {
      {"format chunk size 0xFFFFFFF0",
       Wave("fmt " + LE32(0xFFFFFFF0) + LE16(1) + LE16(1) + LE32(8000) + LE32(8000) + LE16(1) + LE16(8) + data),
       "Its format chunk claims more bytes than the file holds."},
      {"no data chunk", Wave(kFmt16S + Chunk("LIST", "INFO" + Chunk("INAM", "Nm"))), "It has no data chunk."},
      {"extensible header of garbage", Wave(Fmt(0xFFFE, 2, 44100, 176400, 4, 16, 18, Pattern(22, 9)) + data),
       "Its extensible format header is damaged."},
      {"MS ADPCM without coefficients", Wave(Fmt(2, 1, 8000, 4096, 256, 4, 18, LE16(500) + LE16(0)) + data),
       damagedAdpcm},
      {"MS ADPCM with a block of 2 bytes", Wave(Fmt(2, 1, 8000, 4096, 2, 4, 18, LE16(2) + LE16(7) + msCoefs) + data),
       damagedAdpcm},
      {"IMA ADPCM with a block of 2 bytes", Wave(Fmt(0x11, 1, 8000, 4055, 2, 4, 18, LE16(505)) + data), damagedAdpcm},
      {"float of 16 bits", Wave(Fmt(3, 1, 8000, 16000, 2, 16, 18) + data),
       "Its float samples have 16 bits; float samples have 32 or 64."},
      {"MS ADPCM with one coefficient pair",
       Wave(Fmt(2, 1, 8000, 4096, 256, 4, 18, LE16(500) + LE16(1) + LE16(256) + LE16(0)) + data),
       "Its ADPCM format header holds 1 coefficient pair(s); Microsoft ADPCM needs at least 7."},
      {"MS ADPCM whose first block names pair 200",
       Wave(Fmt(2, 2, 8000, 8192, 512, 4, 18, LE16(500) + LE16(7) + msCoefs) +
            Chunk("data", std::string(1, '\1') + '\xC8' + Pattern(510))),
       "Its first ADPCM block is damaged: it names coefficient pair 200, and the format has 7."},
      {"extensible header of itself",
       Wave(Fmt(0xFFFE, 2, 44100, 176400, 4, 16, 18, extensibleOf(0xFFFE)) + data),
       "Its extensible format header gives the extensible format itself as the format of its samples."},
      {"two format chunks before the data", Wave(kFmt16S + kFmt8M + data), "It has more than one format chunk."},
      {"a second format chunk behind the data", Wave(kFmt16S + data + kFmt8M), "It has more than one format chunk."},
  };
  for (const auto& c : cases) {
    PWaveIOBlock b;
    TWaveIOProblem why;
    const std::string path = dir.Path("broken.wav");
    ASSERT_TRUE(plat::WriteWholeFile(path, c.img));
    EXPECT_NE(WaveIOOpen(b, path, FourCC("WAVE"), wioFile, &why), wioOk) << c.what;
    EXPECT_EQ(why.text, c.why) << c.what;
    EXPECT_FALSE(why.notPermitted) << c.what;
    EXPECT_EQ(WaveRefusalMessage("Invalid WaveFile...", why), "Invalid WaveFile...\r\n" + c.why) << c.what;
  }
  // The same formats whole are read.
  PWaveIOBlock b;
  ASSERT_EQ(OpenImage(dir, Wave(Fmt(2, 1, 8000, 4096, 256, 4, 18, LE16(500) + LE16(7) + msCoefs) + data), b), wioOk);
  ASSERT_EQ(OpenImage(dir, Wave(Fmt(3, 1, 8000, 32000, 4, 32, 18) + data), b), wioOk);
  ASSERT_EQ(OpenImage(dir, Wave(Fmt(0xFFFE, 2, 44100, 176400, 4, 16, 18, extensibleOf(1)) + data), b), wioOk);
  // Its first block naming the last of the seven pairs.
  ASSERT_EQ(OpenImage(dir,
                      Wave(Fmt(2, 1, 8000, 4096, 256, 4, 18, LE16(500) + LE16(7) + msCoefs) +
                           Chunk("data", '\6' + Pattern(255))),
                      b),
            wioOk);
  // The header alone of a file with two formats: its lists, no format.
  const std::string lists = Chunk("LIST", "INFO" + Chunk("INAM", "Nm"));
  ASSERT_EQ(WaveIOOpen(b, (plat::WriteWholeFile(dir.Path("two.wav"), Wave(lists + kFmt16S + kFmt8M + data)),
                           dir.Path("two.wav")),
                       FourCC("WAVE"), wioFile | wioHeaderOnly),
            wioOk);
  EXPECT_EQ(b->PFormat(), nullptr);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "Nm");
}

TEST(WaveIO, InfoAndDispSizesAreBoundedByTheirChunks) {
  Scratch dir;
  PWaveIOBlock b;
  // The second subchunk claims far more than its list holds; the third text has no zero.
  std::string info = "INFO" + Chunk("IART", "Ann") + "ICMT" + LE32(100000) + "oops";
  std::string img = Wave(kFmt8M + Chunk("data", "ab") + Chunk("LIST", info) + Chunk("DISP", LE32(1) + "text"));
  ASSERT_EQ(WaveIOOpenMemory(b, img.data(), img.size()), wioOk);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("IART"))), "Ann");
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT"))), "");
  ASSERT_EQ(b->DispList.size(), 1u);
  EXPECT_EQ(b->DispList[0].Data, "text");

  std::string unterminated = Wave(kFmt8M + Chunk("data", "ab") + Chunk("LIST", "INFO" + Chunk("INAM", "abcd")));
  ASSERT_EQ(WaveIOOpenMemory(b, unterminated.data(), unterminated.size()), wioOk);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "abcd");

  // A DISP chunk cut short by the end of the file is read as far as it goes.
  std::string cut = Wave(kFmt8M + "DISP" + LE32(5000) + LE32(8) + "partial", 5000);
  ASSERT_EQ(WaveIOOpenMemory(b, cut.data(), cut.size(), wioHeaderOnly), wioOk);
  ASSERT_EQ(b->DispList.size(), 1u);
  EXPECT_EQ(b->DispList[0].Data, "partial");
}

TEST(WaveIO, FinishedFileHasTheLayoutByteForByte) {
  Scratch dir;
  std::string path = dir.Path("new.wav");
  PWaveIOBlock b = NewPcm(8, 1, 8000);
  std::string comment = "odd!";  // 5 bytes with its zero: a pad byte follows
  SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
  b->DispList.push_back({kDispText, isRead, DispTextData("Hi"), {}});
  b->DispList.push_back({77, isRead, "never written", {}});
  ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "\x80\x81\x82", 3), 3);
  EXPECT_EQ(b->TotalSamples, 3);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  EXPECT_FALSE(b->File);

  std::string body = Chunk("fmt ", LE16(1) + LE16(1) + LE32(8000) + LE32(8000) + LE16(1) + LE16(8) + LE16(0)) +
                     Chunk("data", "\x80\x81\x82") + Chunk("fact", LE32(3)) +
                     Chunk("DISP", LE32(1) + std::string("Hi\0", 3)) +
                     Chunk("LIST", "INFO" + Chunk("ICMT", std::string("odd!\0", 5)));
  EXPECT_EQ(Bytes(path), Wave(body));
  EXPECT_EQ(b->FileSize, int64_t(Wave(body).size()));
  // The room a recording keeps free for the lists is what they take.
  EXPECT_EQ(InfoChunkBytes(b->InfoList),
            int64_t(Chunk("LIST", "INFO" + Chunk("ICMT", std::string("odd!\0", 5))).size()));
  EXPECT_EQ(DispChunkBytes(b->DispList), int64_t(Chunk("DISP", LE32(1) + std::string("Hi\0", 3)).size()));
}

TEST(WaveIO, PunchInChangesOnlyThoseFramesAndExtendsTheFile) {
  Scratch dir;
  std::string path = dir.Path("take.wav");
  std::string original = Pattern(4000);
  {
    PWaveIOBlock b = NewPcm(16, 2, 44100);
    ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
    ASSERT_EQ(WaveIOWrite(b.get(), original.data(), 4000), 4000);
    ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  }
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(b->TotalSamples, 1000);
  b->Position = 100;
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  std::string punch(200, 'P');
  ASSERT_EQ(WaveIOWrite(b.get(), punch.data(), 200), 200);
  EXPECT_EQ(b->Position, 150);
  // Past the old end: the file grows.
  ASSERT_EQ(WaveIOSeek(b.get(), 990), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), punch.data(), 80), 80);
  EXPECT_EQ(b->TotalSamples, 1010);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);

  std::string expect = original;
  expect.replace(400, 200, punch);
  expect.replace(3960, 40, punch.substr(0, 40));
  expect += punch.substr(0, 40);
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->TotalSamples, 1010);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(ReadAll(b.get()), expect);
  WaveIOClose(b);
  std::string file = Bytes(path);
  EXPECT_EQ(plat::GetLE32(reinterpret_cast<const uint8_t*>(file.data()) + 4), file.size() - 8);
  EXPECT_EQ(file.substr(46 + 4040, 12), Chunk("fact", LE32(1010)));
}

TEST(WaveIO, RewriteKeepsForeignPicturesDropsUnknownInfoAndCutsTheStaleTail) {
  Scratch dir;
  std::string path = dir.Path("foreign.wav");
  // A picture whose image size and colour count are 0, as writers may legally leave them.
  std::string dib = LE32(40) + LE32(2) + LE32(2) + LE16(1) + LE16(8) + LE32(0) + LE32(0) + LE32(0) + LE32(0) + LE32(0) +
                    LE32(0) + Pattern(1024 + 8, 3);
  std::string longComment(3000, 'c');
  std::string info = "INFO" + Chunk("ICMT", longComment + '\0') + Chunk("IXYZ", "unknown") + Chunk("INAM", "Nm");
  plat::WriteWholeFile(
      path, Wave(kFmt16S + Chunk("data", Pattern(400)) + Chunk("DISP", LE32(8) + dib) + Chunk("LIST", info)));
  const int64_t oldSize = plat::FileSize(path);

  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  std::string none;
  SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("ICMT")), &none, isSet);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "ABCD", 4), 4);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);

  std::string file = Bytes(path);
  EXPECT_LT(int64_t(file.size()), oldSize);
  EXPECT_EQ(plat::GetLE32(reinterpret_cast<const uint8_t*>(file.data()) + 4), file.size() - 8)
      << "nothing of the older, longer file may remain behind the form";
  EXPECT_NE(file.find(Chunk("DISP", LE32(8) + dib)), std::string::npos) << "the picture is written back as read";
  EXPECT_EQ(file.find("IXYZ"), std::string::npos);
  EXPECT_EQ(file.find("ccc"), std::string::npos);
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "Nm");
  EXPECT_EQ(b->DataSize, 400);
}

TEST(WaveIO, SeekAndReadStayInsideTheRange) {
  Scratch dir;
  PWaveIOBlock b;
  std::string samples = Pattern(40);
  ASSERT_EQ(OpenImage(dir, Wave(kFmt16S + Chunk("data", samples)), b), wioOk);
  EXPECT_EQ(WaveIOSeek(b.get(), -1), wioErrFile);
  ASSERT_EQ(WaveIOSeek(b.get(), 3), wioOk) << "closed: only the position moves";
  EXPECT_EQ(b->Position, 3);
  EXPECT_EQ(WaveIORead(b.get(), &samples[0], 4), -1) << "no open file";
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(b->BytesLeft, 28);
  char buf[64];
  ASSERT_EQ(WaveIORead(b.get(), buf, 64), 28);
  EXPECT_EQ(std::string(buf, 28), samples.substr(12));
  EXPECT_EQ(b->Position, 10);
  EXPECT_EQ(WaveIORead(b.get(), buf, 64), 0);
  ASSERT_EQ(WaveIOSeek(b.get(), 1000), wioOk);
  EXPECT_EQ(b->Position, 10) << "the end of the range is as far as a seek goes";
  b->RangeStart = 2;
  b->RangeEnd = 5;
  ASSERT_EQ(WaveIOSeek(b.get(), 1), wioOk);
  ASSERT_EQ(WaveIORead(b.get(), buf, 64), 8);
  EXPECT_EQ(std::string(buf, 8), samples.substr(12, 8));
  b->RangeStart = b->RangeEnd = 4;
  ASSERT_EQ(WaveIOSeek(b.get(), 0), wioOk) << "an empty range";
  EXPECT_EQ(b->Position, 0);
  EXPECT_EQ(WaveIORead(b.get(), buf, 64), 0);
}

TEST(WaveIO, WritingAfterASeekBackStillFinishesAtTheFurthestByte) {
  Scratch dir;
  std::string path = dir.Path("seek.wav");
  PWaveIOBlock b = NewPcm(16, 1, 8000);
  ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
  std::string a = Pattern(200);
  ASSERT_EQ(WaveIOWrite(b.get(), a.data(), 200), 200);
  ASSERT_EQ(WaveIOSeek(b.get(), 10), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "zzzz", 4), 4);
  ASSERT_EQ(WaveIOSeek(b.get(), 0), wioOk);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->TotalSamples, 100);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  a.replace(20, 4, "zzzz");
  EXPECT_EQ(ReadAll(b.get()), a);
}

TEST(WaveIO, WritesOnlyWholeBlocksAndStopsBeforeFourGiB) {
  Scratch dir;
  std::string path = dir.Path("big.wav");
  // An unfinished 16-bit stereo recording just short of 4 GiB, sparse on disk.
  std::string head = "RIFF" + LE32(0) + "WAVE" + kFmt16S + "data" + LE32(0);
  ASSERT_TRUE(plat::WriteWholeFile(path, head));
  const int64_t almost = kMaxWaveFileBytes - 1000;
  ASSERT_EQ(truncate(path.c_str(), off_t(almost)), 0);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->DataSize, (almost - 44) / 4 * 4);
  EXPECT_GT(b->TotalSamples, int64_t(INT32_MAX) / 4) << "positions past 2 GiB stay exact";
  b->Position = b->TotalSamples;
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  std::string more = Pattern(4000);
  int64_t n = WaveIOWrite(b.get(), more.data(), 4000);
  EXPECT_GT(n, 900);
  EXPECT_LT(n, 1000);
  EXPECT_EQ(n % 4, 0);
  EXPECT_EQ(WaveIOWrite(b.get(), more.data(), 4000), 0);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  const int64_t size = plat::FileSize(path);
  EXPECT_LE(size, kMaxWaveFileBytes);
  char riff[8];
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_EQ(pread(fd, riff, 8, 0), 8);
  close(fd);
  EXPECT_EQ(plat::GetLE32(reinterpret_cast<uint8_t*>(riff) + 4), uint32_t(size - 8));
}

TEST(WaveIO, AWriteTheDiskRefusesIsAFailure) {
  Scratch dir;
  std::string path = dir.Path("full.wav");
  // A file size limit of nothing stands in for a disk that takes no byte more.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit was{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
  rlimit none = was;
  none.rlim_cur = 0;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  PWaveIOBlock b = NewPcm(16, 2, 44100);
  EXPECT_EQ(WaveIOCreate(b.get(), path), wioOk) << "the header is still buffered";
  EXPECT_NE(WaveIOSetBuffer(b.get(), 0), wioOk);
  std::string frames = Pattern(4096);
  EXPECT_EQ(WaveIOWrite(b.get(), frames.data(), 4096), -1);
  EXPECT_EQ(b->DataSize, 0);
  EXPECT_NE(WaveIOFinish(b.get()), wioOk);

  // Creating over a file that existed and failing must not remove it.
  TWaveFormatPtr big = AllocWaveFormat(20000);
  MakePCMFormat(*big, 16, 2, 44100);
  big->wFormatTag = 0x55;
  big->cbSize = 20000;
  PWaveIOBlock c;
  ASSERT_EQ(WaveIOAlloc(c, big.get()), wioOk);
  EXPECT_EQ(WaveIOCreate(c.get(), path), wioErrFile);
  setrlimit(RLIMIT_FSIZE, &was);
  sigaction(SIGXFSZ, &old, nullptr);
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0);
}

// A disk that fills while a recording is written: the file keeps every whole frame that reached
// it, and its RIFF and data sizes agree with what is there, also when nothing fits behind the
// samples any more. The file size limit stands in for the full disk.
TEST(WaveIO, AFullDiskLeavesAFileSizedForTheSamplesOnIt) {
  struct Case {
    int64_t limit, blocks;
  } cases[] = {{20000, 20}, {46 + 9 * 4096, 9}};  // the samples start at byte 46
  const std::string frames = Pattern(4096);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    Scratch dir;
    std::string path = dir.Path("rec.wav");
    PWaveIOBlock b = NewPcm(16, 2, 44100);
    ASSERT_EQ(WaveIOCreate(b.get(), path), wioOk);
    const int64_t at = b->DataOffset, onDisk = (c.limit - at) / 4 * 4;
    ASSERT_EQ(at, 46);
    struct sigaction ignore {
    }, old{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old), 0);
    rlimit was{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
    rlimit lim = was;
    lim.rlim_cur = rlim_t(c.limit);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
    int64_t last = 0, accepted = 0;
    for (int64_t i = 0; i < c.blocks && last >= 0; ++i) {
      last = WaveIOWrite(b.get(), frames.data(), 4096);
      if (last > 0) accepted += last;
    }
    const int finished = WaveIOFinish(b.get());
    setrlimit(RLIMIT_FSIZE, &was);
    sigaction(SIGXFSZ, &old, nullptr);
    if (c.blocks == 20) {
      EXPECT_EQ(last, -1) << "the disk filled during the recording";
      EXPECT_GT(accepted, onDisk) << "writes taken into the buffer never reached the disk";
    }
    EXPECT_NE(finished, wioOk) << "not everything reached the disk";

    const std::string bytes = Bytes(path);
    ASSERT_GE(bytes.size(), size_t(at));
    EXPECT_EQ(plat::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4), bytes.size() - 8);
    const uint32_t dataSize = plat::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + at - 4);
    EXPECT_EQ(int64_t(dataSize), std::min(accepted, onDisk));
    EXPECT_EQ(bytes.size(), size_t(at) + dataSize);
    std::string want;
    while (want.size() < dataSize) want += frames;
    want.resize(dataSize);
    EXPECT_TRUE(bytes.compare(size_t(at), std::string::npos, want) == 0) << "the samples are those written";
    PWaveIOBlock r;
    ASSERT_EQ(WaveIOOpen(r, path, FourCC("WAVE"), wioFile), wioOk);
    EXPECT_EQ(r->TotalSamples, int64_t(dataSize) / 4);
  }
}

TEST(WaveIO, TemporaryNamesNeverTouchAnExistingFile) {
  Scratch dir;
  // Every name the first pick can land on is taken.
  for (int i = 1; i <= 256; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "w%04X.tmp", i);
    plat::WriteWholeFile(dir.Path(name), "keep");
  }
  std::string a = dir.Path("target.wav"), b = a;
  ASSERT_TRUE(MakeTempWaveName(a));
  ASSERT_TRUE(MakeTempWaveName(b));
  EXPECT_NE(a, b);
  EXPECT_EQ(plat::ExtractFilePath(a), dir.Path(""));
  EXPECT_EQ(plat::FileSize(a), 0);
  for (int i = 1; i <= 256; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "w%04X.tmp", i);
    EXPECT_EQ(Bytes(dir.Path(name)), "keep");
  }
  std::string bad = dir.Path("no/such/folder/x.wav");
  EXPECT_FALSE(MakeTempWaveName(bad));
  EXPECT_EQ(bad, dir.Path("no/such/folder/x.wav"));
}

TEST(WaveIO, MemoryImagesAndResourcesAreReadOnly) {
  std::string img = Wave(kFmt16S + Chunk("data", Pattern(16)));
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpenMemory(b, img.data(), img.size()), wioOk);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(WaveIOSetBuffer(b.get(), 65536), wioOk);
  EXPECT_EQ(ReadAll(b.get()), Pattern(16));
  EXPECT_EQ(WaveIOWrite(b.get(), "abcd", 4), -1);
  EXPECT_EQ(WaveIOFinish(b.get()), wioOk);

  SetWaveResourceFinder([&](const std::string& name, std::string& bytes) {
    if (name != "3WAVE") return false;
    bytes = img;
    return true;
  });
  EXPECT_EQ(WaveIOOpen(b, "3WAVE", FourCC("WAVE"), wioResource), wioOk);
  EXPECT_EQ(b->TotalSamples, 4);
  EXPECT_EQ(WaveIOOpen(b, "4WAVE", FourCC("WAVE"), wioResource), wioErrFile);
  SetWaveResourceFinder(nullptr);
}

TEST(WaveIO, CopyInfoTakesCurrentTextsAndPictures) {
  PWaveIOBlock src = NewPcm(8, 1, 8000), dst = NewPcm(8, 1, 8000);
  std::string artist = "Band";
  SetInfoItemText(src->InfoList, FindInfoIdentifier(FourCC("IART")), &artist, isSet);
  src->DispList.push_back({kDispBitmap, isRead, "dib-bytes", {}});
  src->DispList.push_back({kDispText, isSet, "cleared", {}});
  ASSERT_EQ(WaveIOCopyInfo(dst.get(), src.get()), wioOk);
  EXPECT_EQ(InfoItemText(dst->InfoList, FindInfoIdentifier(FourCC("IART"))), "Band");
  ASSERT_EQ(dst->DispList.size(), 1u);
  EXPECT_EQ(*DispItemData(dst->DispList[0]), "dib-bytes");
}

TEST(MMRIFF, InfoEditRules) {
  std::string payload = Chunk("INAM", std::string("Old\0", 4));
  TInfoList list;
  list.Payload = payload;
  ParseInfoPayload(list);
  const int nam = FindInfoIdentifier(FourCC("INAM")), cmt = FindInfoIdentifier(FourCC("ICMT"));
  std::string same = "Old", empty, edit = "New";
  SetInfoItemText(list, nam, &same, isSet);
  EXPECT_FALSE(list.Items[size_t(nam)].Edited) << "the same text changes nothing";
  SetInfoItemText(list, nam, &empty, isSet);
  EXPECT_EQ(InfoItemText(list, nam), "") << "an empty edit hides the text as read";
  EXPECT_EQ(InfoChunkBytes(list), 0);
  SetInfoItemText(list, nam, &edit, isSet);
  EXPECT_EQ(InfoItemText(list, nam), "New");
  SetInfoItemText(list, nam, &empty, isSet);
  EXPECT_EQ(InfoItemText(list, nam), "Old") << "emptying an edit goes back to the text as read";
  EXPECT_EQ(list.Items[size_t(nam)].State, isDeleted);
  SetInfoItemText(list, cmt, &empty, isSet);
  EXPECT_EQ(list.Items[size_t(cmt)].State, isRead) << "nothing to empty";
  SetInfoItemText(list, nam, &edit, isSet);
  SetInfoItemText(list, nam, nullptr, isSet);
  EXPECT_EQ(InfoItemText(list, nam), "New");
  SetInfoItemText(list, nam, nullptr, isDeleted);
  EXPECT_EQ(InfoItemText(list, nam), "Old");

  TDispItem pic{kDispBitmap, isRead, "picture", {}};
  SetDispItemData(pic, nullptr, isSet);
  EXPECT_EQ(DispItemData(pic), nullptr) << "cleared: no picture is written";
  TDispList disp{pic};
  EXPECT_EQ(DispChunkBytes(disp), 0);
  SetDispItemData(pic, nullptr, isDeleted);
  ASSERT_NE(DispItemData(pic), nullptr);
  EXPECT_EQ(*DispItemData(pic), "picture");
}

TEST(WaveIO, AFormatWithFractionalBytesPerSampleReadsToItsLastByte) {
  // 7937 samples in 8000 bytes a second: three bytes are two samples, yet all three are data.
  std::string img = Wave(Fmt(0x22, 1, 7937, 8000, 1, 8, 18) + Chunk("data", "xyz"));
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpenMemory(b, img.data(), img.size()), wioOk);
  EXPECT_EQ(b->TotalSamples, 2);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(ReadAll(b.get()), "xyz");
}

TEST(WaveIO, ChunksBeforeTheDataAreNotDuplicatedByAPunchIn) {
  // Some writers put "fact", the lists and DISP in front of the data.
  Scratch dir;
  std::string path = dir.Path("front.wav");
  plat::WriteWholeFile(
      path, Wave(kFmt16S + Chunk("fact", LE32(4)) + Chunk("LIST", "INFO" + Chunk("INAM", "Old\0")) +
                 Chunk("DISP", LE32(1) + "Desc\0") + Chunk("DISP", LE32(5) + "other") + Chunk("data", Pattern(16))));
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  std::string name = "New";
  SetInfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM")), &name, isSet);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "ABCD", 4), 4);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);

  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "New")
      << "the list behind the data is read, past the one count chunk left";
  ASSERT_EQ(b->DispList.size(), 2u) << "the text once, and the entry of a type never written stays where it was";
  EXPECT_EQ(b->DispList[0].Type, 5u);
  EXPECT_EQ(DispDataText(b->DispList[1].Data), "Desc");
  EXPECT_EQ(b->DataSize, 16);

  // The same when an empty data chunk comes first and the samples follow in a second one.
  plat::WriteWholeFile(path, Wave(kFmt16S + Chunk("data", "") + Chunk("DISP", LE32(1) + "Desc\0") +
                                  Chunk("LIST", "INFO" + Chunk("INAM", "Old\0")) + Chunk("data", Pattern(16))));
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(b->DataSize, 16);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "ABCD", 4), 4);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(b->DispList.size(), 1u);
  EXPECT_EQ(DispDataText(b->DispList[0].Data), "Desc");
  EXPECT_EQ(InfoItemText(b->InfoList, FindInfoIdentifier(FourCC("INAM"))), "Old");
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(ReadAll(b.get()), "ABCD" + Pattern(16).substr(4));

  // A list that claims less than its own type still spans the type, as junk too.
  plat::WriteWholeFile(path, Wave(kFmt16S + "LIST" + LE32(2) + "INFO" + Chunk("data", Pattern(16))));
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(b->DataSize, 16);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  ASSERT_EQ(WaveIOWrite(b.get(), "ABCD", 4), 4);
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  ASSERT_EQ(b->DataSize, 16);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(ReadAll(b.get()), "ABCD" + Pattern(16).substr(4));
}

TEST(WaveIO, AFormatBehindTheDataIsReadButNeverOverwritten) {
  Scratch dir;
  std::string path = dir.Path("late.wav");
  std::string img = Wave(Chunk("data", Pattern(8)) + kFmt16S);
  plat::WriteWholeFile(path, img);
  PWaveIOBlock b;
  ASSERT_EQ(WaveIOOpen(b, path, FourCC("WAVE"), wioFile), wioOk);
  EXPECT_EQ(b->DataSize, 8);
  ASSERT_EQ(WaveIOReopen(b.get()), wioOk);
  EXPECT_EQ(WaveIOWrite(b.get(), "ABCD", 4), -1) << "finishing would write over the format";
  ASSERT_EQ(WaveIOFinish(b.get()), wioOk);
  EXPECT_EQ(Bytes(path), img);
}
