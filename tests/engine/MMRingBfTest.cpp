#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <string>
#include <stdexcept>
#include <thread>

#include "ChainMocks.h"
#include "common/handled_texts.h"
#include "engine/MMRingBf.h"
#include "platform/audio/mmtimer.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"

namespace {

template <class Pred>
void WaitUntil(Pred pred) {
  while (!pred()) std::this_thread::yield();
}

void Pump() {
  while (plat::ProcessMessages()) {}
}

// A source whose pull number `gatedPull` (from 1) waits at a gate.
class GatedSource : public PatternSource {
public:
  GatedSource(uint64_t total, int gatedPull) : PatternSource(total, true), gatedPull_(gatedPull) {}
  void BufferLoad(PWaveHdr h, bool& more) override {
    if (pulls + 1 == gatedPull_) gate.Arrive();
    PatternSource::BufferLoad(h, more);
  }
  Gate gate;

private:
  int gatedPull_;
};

class Buffer {
public:
  explicit Buffer(uint32_t size) : block_(kWaveHdrSize + size) { hdr = InitWaveHdr(block_.data(), size); }
  // Fills n bytes of the pattern from stream position pos.
  PWaveHdr Pattern(uint64_t pos, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) hdr->lpData[i] = char(PatternByte(pos + i));
    hdr->dwBytesRecorded = n;
    return hdr;
  }
  PWaveHdr hdr;

private:
  std::vector<uint8_t> block_;
};

std::vector<uint8_t> PatternBytes(uint64_t from, uint64_t n) {
  std::vector<uint8_t> v(n);
  for (uint64_t i = 0; i < n; ++i) v[i] = PatternByte(from + i);
  return v;
}

void Configure(TMMRingBuffer& ring, TMMQueueMode mode, int32_t slots, int32_t slotSize) {
  ring.SetQueueMode(mode);
  ring.SetNumBuffers(slots);
  ring.SetBufferSize(slotSize);
}

// Pulls from the ring until it reports the end, at most maxReads times; returns the bytes. Like a
// device slower than the disk, it lets every fill finish before the next pull.
std::vector<uint8_t> ReadToEnd(TMMRingBuffer& ring, uint32_t size, int maxReads, bool* ended,
                               std::vector<uint32_t>* sizes = nullptr) {
  Buffer b(size);
  std::vector<uint8_t> got;
  *ended = false;
  for (int i = 0; i < maxReads && !*ended; ++i) {
    bool more = true;
    b.hdr->dwBufferLength = size;
    ring.BufferLoad(b.hdr, more);
    got.insert(got.end(), b.hdr->lpData, b.hdr->lpData + b.hdr->dwBytesRecorded);
    if (sizes) sizes->push_back(b.hdr->dwBytesRecorded);
    *ended = !more;
    WaitUntil([&] { return !ring.WorkPending(); });
  }
  return got;
}

}  // namespace

TEST(MMRingBf, PropertiesRefusedWhileOpen) {
  TMMRingBuffer ring;
  ring.SetBufferSize(8);
  EXPECT_EQ(ring.BufferSize(), 32);
  ring.SetNumBuffers(1);
  EXPECT_EQ(ring.NumBuffers(), 20);
  ring.SetQueueMode(qmWrite);
  ring.ChainOpen();
  try {
    ring.SetBufferSize(4096);
    FAIL() << "no refusal";
  } catch (const EMMBufferError& e) {
    EXPECT_STREQ(e.what(), "Change to property while device was open");
  }
  EXPECT_THROW(ring.SetNumBuffers(50), EMMBufferError);
  EXPECT_THROW(ring.SetQueueMode(qmRead), EMMBufferError);
  ring.ChainClose();
  ring.SetNumBuffers(50);
  EXPECT_EQ(ring.NumBuffers(), 50);
}

TEST(MMRingBf, FlushStartsAtTheHalfMark) {
  TMMRingBuffer ring;
  ByteSink sink;
  Configure(ring, qmWrite, 50, 4096);
  ring.SetOutput(&sink);
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(4096);
  for (int i = 0; i < 24; ++i) ring.BufferReady(b.Pattern(uint64_t(i) * 4096, 4096));
  EXPECT_FALSE(ring.WorkPending());
  EXPECT_EQ(ring.QueuedBuffers(), 24);
  EXPECT_EQ(sink.Size(), 0u);
  ring.BufferReady(b.Pattern(24 * 4096, 4096));  // the 25th slot asks the thread to flush
  WaitUntil([&] { return sink.Size() == 25 * 4096u; });
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(ring.QueuedBuffers(), 0);
  EXPECT_EQ(sink.Bytes(), PatternBytes(0, 25 * 4096));
  EXPECT_EQ(sink.WriteSizes().front(), 65536u);  // 64 KB at a time
  ring.ChainStop();
  ring.ChainClose();
}

TEST(MMRingBf, FullQueueDropsCountsAndRecovers) {
  TMMRingBuffer ring;
  GatedSink sink;
  Configure(ring, qmWrite, 10, 4096);
  ring.SetOutput(&sink);
  int overflows = 0;
  ring.OnOverlow = [&](TObject* s) { overflows += s == &ring; };
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(4096);
  uint64_t pushed = 0;
  std::vector<uint8_t> expect;
  auto push = [&](bool kept) {
    ring.BufferReady(b.Pattern(pushed * 4096, 4096));
    if (kept) {
      auto p = PatternBytes(pushed * 4096, 4096);
      expect.insert(expect.end(), p.begin(), p.end());
    }
    ++pushed;
  };
  for (int i = 0; i < 5; ++i) push(true);
  WaitUntil([&] { return sink.gate.Arrived() == 1; });  // the thread writes, the disk is slow
  EXPECT_LE(ring.QueuedBuffers(), 1);
  while (ring.QueuedBuffers() < 10) push(true);
  push(false);  // no room: lost
  EXPECT_EQ(overflows, 1);
  EXPECT_EQ(ring.DroppedBuffers(), 1u);
  EXPECT_EQ(ring.QueuedBuffers(), 10);

  sink.gate.Open();
  WaitUntil([&] { return sink.Size() == expect.size(); });
  WaitUntil([&] { return !ring.WorkPending(); });
  push(true);  // the next buffer after the flush is queued normally
  EXPECT_EQ(ring.QueuedBuffers(), 1);
  ring.ChainStop();
  EXPECT_EQ(sink.Bytes(), expect);
  EXPECT_EQ(ring.DroppedBuffers(), 1u);
  ring.ChainClose();
}

TEST(MMRingBf, StopWritesEverythingBeforeTheFileCloses) {
  CallLog log;
  LoggedDevice in("in", &log, false);
  LoggedLink conn("conn", &log);
  TMMRingBuffer ring;
  ByteSink file(&log);
  Configure(ring, qmWrite, 50, 4096);
  in.SetOutput(&conn);
  conn.SetOutput(&ring);
  ring.SetOutput(&file);
  WAVEFORMATEX fmt = PcmFormat(44100, 2, 16);
  in.SetWaveFormat(&fmt);
  in.SetBufferSize(4096);
  log.clear();

  in.ChainOpen();
  in.ChainStart();
  Buffer b(4096);
  const int n = 37;  // one flush by the thread, and the rest queued when the stop comes
  for (int i = 0; i < n; ++i) in.BufferReady(b.Pattern(uint64_t(i) * 4096, 4096));
  in.ChainStop();
  in.ChainClose();
  const std::string all = std::to_string(n * 4096);
  EXPECT_EQ(log, (CallLog{"conn.Open", "in.Open", "conn.Start", "in.Start", "conn.Stop", "sink.Stop@" + all, "in.Stop",
                          "conn.Close", "sink.Close@" + all, "in.Close"}));
  EXPECT_EQ(file.Bytes(), PatternBytes(0, uint64_t(n) * 4096));
}

TEST(MMRingBf, StressWithWaitIfFullIsByteExact) {
  TMMRingBuffer ring;
  ByteSink sink;
  Configure(ring, qmWrite, 8, 512);
  ring.SetWaitIfFull(true);
  ring.SetOutput(&sink);
  ring.ChainOpen();
  ring.ChainStart();
  uint64_t total = 0;
  // The device side on the UI thread, as the program's chain runs it.
  Buffer b(512);
  for (int i = 0; i < 10000; ++i) {
    const uint32_t n = 1 + uint32_t(i * 37 % 512);
    ring.BufferReady(b.Pattern(total, n));
    total += n;
  }
  ring.ChainStop();
  ring.ChainClose();
  EXPECT_EQ(ring.DroppedBuffers(), 0u);
  ASSERT_EQ(sink.Size(), total);
  EXPECT_TRUE(sink.Bytes() == PatternBytes(0, total));
}

TEST(MMRingBf, ReadSideDeliversTheEnd) {
  for (bool knowsEnd : {true, false}) {
    SCOPED_TRACE(knowsEnd ? "source says end with its last bytes" : "source says end by giving nothing");
    // 8 slots of 4096: one fill pass takes exactly the whole source, so a source that does not
    // know its end reports it only on the next pull.
    const uint64_t size = 8 * 4096;
    PatternSource src(size, knowsEnd);
    TMMRingBuffer ring;
    Configure(ring, qmRead, 8, 4096);
    ring.SetWaitIfFull(true);
    src.SetOutput(&ring);
    ring.ChainOpen();
    ring.ChainStart();
    bool ended = false;
    // Reading starts with a wait for the first fill, which must be able to take the queue lock.
    std::vector<uint8_t> got = ReadToEnd(ring, 4096, 40, &ended);
    EXPECT_TRUE(ended);
    EXPECT_EQ(got, PatternBytes(0, size));
    ring.ChainStop();
    ring.ChainClose();
  }

  // A short source: the slot with its last bytes carries the end.
  PatternSource src(3 * 4096 + 2048);
  TMMRingBuffer ring;
  Configure(ring, qmRead, 8, 4096);
  src.SetOutput(&ring);
  ring.ChainOpen();
  ring.ChainStart();
  bool ended = false;
  std::vector<uint32_t> sizes;
  std::vector<uint8_t> got = ReadToEnd(ring, 4096, 40, &ended, &sizes);
  EXPECT_TRUE(ended);
  EXPECT_EQ(sizes, (std::vector<uint32_t>{4096, 4096, 4096, 2048}));
  EXPECT_EQ(got, PatternBytes(0, 3 * 4096 + 2048));
  ring.ChainClose();

  // An empty source: the first read waits for the fill and gets nothing.
  PatternSource none(0);
  TMMRingBuffer empty;
  Configure(empty, qmRead, 8, 4096);
  none.SetOutput(&empty);
  empty.ChainOpen();
  empty.ChainStart();
  got = ReadToEnd(empty, 4096, 1, &ended);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(none.pulls, 1);
  empty.ChainClose();
}

TEST(MMRingBf, EmptyQueueServesSilenceOrRepeats) {
  GatedSource src(100000, 2);
  TMMRingBuffer ring;
  Configure(ring, qmRead, 4, 32);
  WAVEFORMATEX fmt = PcmFormat(8000, 1, 8);
  src.SetWaveFormat(&fmt);
  src.SetOutput(&ring);
  int empties = 0;
  ring.OnEmpty = [&](TObject*) { ++empties; };
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(32);
  bool more = true;
  for (int i = 0; i < 4; ++i) {  // the first fill took 4 slots; the fourth read asks for more
    ring.BufferLoad(b.hdr, more);
    ASSERT_EQ(b.hdr->dwBytesRecorded, 32u);
    EXPECT_EQ(uint8_t(b.hdr->lpData[0]), PatternByte(uint64_t(i) * 32));
  }
  WaitUntil([&] { return src.gate.Arrived() == 1; });  // and that fill is stuck on the disk
  ring.BufferLoad(b.hdr, more);
  EXPECT_TRUE(more);
  EXPECT_EQ(empties, 1);
  ASSERT_EQ(b.hdr->dwBytesRecorded, 32u);
  EXPECT_EQ(std::vector<uint8_t>(b.hdr->lpData, b.hdr->lpData + 32), std::vector<uint8_t>(32, 128));

  ring.SetLoopIfEmpty(true);
  ring.BufferLoad(b.hdr, more);
  EXPECT_EQ(empties, 2);
  ASSERT_EQ(b.hdr->dwBytesRecorded, 32u);
  EXPECT_EQ(std::vector<uint8_t>(b.hdr->lpData, b.hdr->lpData + 32), PatternBytes(3 * 32, 32));

  src.gate.Open();
  ring.ChainStop();
  ring.ChainClose();
}

namespace {

// A format with extra bytes behind its fixed part, kept in words so the fixed part is aligned.
std::vector<uint32_t> FormatWithExtra(const WAVEFORMATEX& fixed, const std::vector<uint8_t>& extra) {
  std::vector<uint32_t> words((sizeof(WAVEFORMATEX) + extra.size() + 3) / 4);
  auto* f = reinterpret_cast<WAVEFORMATEX*>(words.data());
  *f = fixed;
  f->cbSize = uint16_t(extra.size());
  if (!extra.empty()) std::memcpy(f + 1, extra.data(), extra.size());
  return words;
}

// WAVE_FORMAT_EXTENSIBLE carrying PCM (1) or IEEE float (3), `valid` bits of each container used.
std::vector<uint32_t> Extensible(uint16_t subFormat, uint32_t rate, uint16_t channels, uint16_t bits, uint16_t valid) {
  WAVEFORMATEX f = PcmFormat(rate, channels, bits);
  f.wFormatTag = 0xFFFE;
  return FormatWithExtra(f,
                         {uint8_t(valid), 0, 3,    0,    0,   0, uint8_t(subFormat), 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0,
                          0xAA,           0, 0x38, 0x9B, 0x71});
}

}  // namespace

TEST(MMRingBf, AnUnderrunIsSilenceInEveryFormatThatHasOneAndRepeatsACodedOne) {
  WAVEFORMATEX float32 = PcmFormat(48000, 2, 32);
  float32.wFormatTag = 3;
  // Blocks that divide the ring's 32-byte slots.
  WAVEFORMATEX ima = PcmFormat(22050, 1, 4);
  ima.wFormatTag = 0x11;
  ima.nBlockAlign = 32;
  ima.nAvgBytesPerSec = 12378;
  const struct {
    const char* name;
    std::vector<uint32_t> format;
    int silence;  // the byte heard, or -1 for the last buffer again
  } cases[] = {
      {"8-bit PCM", FormatWithExtra(PcmFormat(8000, 1, 8), {}), 0x80},
      {"16-bit PCM", FormatWithExtra(PcmFormat(44100, 2, 16), {}), 0},
      {"32-bit float", FormatWithExtra(float32, {}), 0},
      {"extensible 24 bits in 32", Extensible(1, 48000, 2, 32, 24), 0},
      {"extensible 8-bit PCM", Extensible(1, 8000, 1, 8, 8), 0x80},
      {"extensible 32-bit float", Extensible(3, 48000, 2, 32, 32), 0},
      {"IMA ADPCM", FormatWithExtra(ima, {57, 0}), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    GatedSource src(100000, 2);
    TMMRingBuffer ring;
    Configure(ring, qmRead, 4, 32);
    src.SetWaveFormat(reinterpret_cast<const WAVEFORMATEX*>(c.format.data()));
    src.SetOutput(&ring);
    ring.ChainOpen();
    ring.ChainStart();
    Buffer b(32);
    bool more = true;
    for (int i = 0; i < 4; ++i) ring.BufferLoad(b.hdr, more);
    WaitUntil([&] { return src.gate.Arrived() == 1; });  // the next fill is stuck on the disk
    ring.BufferLoad(b.hdr, more);
    EXPECT_TRUE(more);
    ASSERT_EQ(b.hdr->dwBytesRecorded, 32u);
    const std::vector<uint8_t> heard(b.hdr->lpData, b.hdr->lpData + 32);
    if (c.silence < 0) EXPECT_EQ(heard, PatternBytes(3 * 32, 32));
    else EXPECT_EQ(heard, std::vector<uint8_t>(32, uint8_t(c.silence)));
    src.gate.Open();
    ring.ChainStop();
    ring.ChainClose();
  }
}

TEST(MMRingBf, DisabledQueuePassesReadsThroughAndTakesNoWrites) {
  PatternSource src(1000);
  TMMRingBuffer reader, writer;
  ByteSink sink;
  Configure(reader, qmRead, 4, 256);
  Configure(writer, qmWrite, 4, 256);
  src.SetOutput(&reader);
  writer.SetOutput(&sink);
  for (TMMRingBuffer* r : {&reader, &writer}) {
    r->SetEnabled(false);
    r->ChainOpen();
    r->ChainStart();
  }
  Buffer b(256);
  bool more = false;
  reader.BufferLoad(b.hdr, more);
  EXPECT_EQ(src.pulls, 1);
  EXPECT_EQ(b.hdr->dwBytesRecorded, 256u);
  EXPECT_TRUE(more);
  for (int i = 0; i < 10; ++i) writer.BufferReady(b.Pattern(0, 256));
  writer.ChainStop();
  EXPECT_EQ(writer.QueuedBuffers(), 0);
  EXPECT_EQ(sink.Size(), 0u);
}

TEST(MMRingBf, FailingSourceEndsTheThreadNotTheProgram) {
  struct Failing : TMMDSPComponent {
    void BufferLoad(PWaveHdr, bool&) override { throw std::runtime_error("disk gone"); }
  } src;
  HandledTexts handled;
  TMMRingBuffer ring;
  Configure(ring, qmRead, 4, 256);
  src.SetOutput(&ring);
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(256);
  bool more = true;
  ring.BufferLoad(b.hdr, more);
  EXPECT_EQ(b.hdr->dwBytesRecorded, 0u);
  EXPECT_TRUE(ring.ThreadFailed());
  EXPECT_FALSE(ring.QueueOpen());
  Pump();
  EXPECT_EQ(handled.texts, (std::vector<std::string>{"disk gone"}));
  ring.ChainStop();
  ring.ChainClose();
  ring.SetNumBuffers(8);  // closed for real
}

TEST(MMRingBf, StopWhileTheFileReportsFromTheThread) {
  // The file, written on the queue thread, fires an event for the UI thread (as a full disk
  // closes it) while the UI thread is stopping the chain and waits for that thread.
  TMMRingBuffer ring;
  GatedSink sink;
  Configure(ring, qmWrite, 10, 1024);
  ring.SetOutput(&sink);
  int closes = 0;
  std::thread::id closedOn;
  TNotifyEvent onClose = [&](TObject*) {
    ++closes;
    closedOn = std::this_thread::get_id();
  };
  sink.afterFirstWrite = [&] { SynchronizeChainThread(&sink, onClose); };
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(1024);
  for (int i = 0; i < 5; ++i) ring.BufferReady(b.Pattern(uint64_t(i) * 1024, 1024));
  WaitUntil([&] { return sink.gate.Arrived() == 1; });
  std::thread opener([&] { sink.gate.Open(); });
  ring.ChainStop();  // no messages are handled during the stop
  opener.join();
  EXPECT_EQ(sink.Bytes(), PatternBytes(0, 5 * 1024));
  EXPECT_EQ(closes, 0);
  Pump();
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(closedOn, std::this_thread::get_id());
  ring.ChainClose();
}

TEST(MMRingBf, BuffersQueuedAsAFlushEndsAreNotStranded) {
  // Buffers that arrive after the thread's last look at the queue but before it reports the work
  // done find the work still pending, so they ask for nothing: they must be flushed all the same.
  TMMRingBuffer ring;
  ByteSink sink;
  Configure(ring, qmWrite, 10, 256);
  ring.SetOutput(&sink);
  Buffer late(256);
  std::atomic<bool> atFlushEnd{false}, lateDone{false};
  // The thread waits at the end of its flush while the device side (the UI thread) queues more.
  ring.OnFlushQueueEnd = [&](TObject*) {
    if (lateDone) return;
    atFlushEnd = true;
    WaitUntil([&] { return lateDone.load(); });
  };
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(256);
  for (uint64_t i = 0; i < 5; ++i) ring.BufferReady(b.Pattern(i * 256, 256));
  WaitUntil([&] { return atFlushEnd.load(); });
  for (uint64_t i = 5; i < 11; ++i) ring.BufferReady(late.Pattern(i * 256, 256));
  lateDone = true;
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(ring.QueuedBuffers(), 0);
  EXPECT_EQ(sink.Bytes(), PatternBytes(0, 11 * 256));
  ring.ChainStop();
  ring.ChainClose();
}

namespace {

// A recording's file as the ring sees it: keeps the bytes and counts the syncs asked of it, with
// the byte count at each.
class SyncedSink : public ByteSink {
public:
  void BufferSync() override {
    std::lock_guard<std::mutex> l(m_);
    syncedAt_.push_back(Size());
    if (std::this_thread::get_id() == caller) onCaller = true;
  }
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> onCaller{false};
  std::vector<size_t> SyncedAt() const {
    std::lock_guard<std::mutex> l(m_);
    return syncedAt_;
  }

private:
  mutable std::mutex m_;
  std::vector<size_t> syncedAt_;
};

struct ManualTimer {
  ManualTimer() { plat::UseManualMMTimer(true); }
  ~ManualTimer() { plat::UseManualMMTimer(false); }
};

}  // namespace

TEST(MMRingBf, ARecordingIsWrittenOutByTimeAndMadeDurableOnItsThread) {
  ManualTimer timer;
  // 8 kHz, 8 bit, mono: 8000 bytes a second, 1600 in 200 ms, 32000 in 4 s.
  TMMRingBuffer ring;
  SyncedSink sink;
  Configure(ring, qmWrite, 128, 400);
  WAVEFORMATEX f = PcmFormat(8000, 1, 8);
  ring.SetWaveFormat(&f);
  ring.SetOutput(&sink);
  ring.ChainOpen();
  ring.ChainStart();
  Buffer b(400);
  uint64_t pushed = 0;
  auto push = [&](int n) {
    for (int i = 0; i < n; ++i, pushed += 400) ring.BufferReady(b.Pattern(pushed, 400));
    WaitUntil([&] { return !ring.WorkPending(); });
  };
  // Far below the half mark, 200 ms of audio are written out at once.
  push(3);
  EXPECT_EQ(sink.Size(), 0u);
  push(1);
  EXPECT_EQ(sink.Size(), 1600u);
  // A queue that gets nothing more (a paused take) is written out once it has waited 200 ms.
  push(1);
  plat::StepManualMMTimer(150);
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.Size(), 1600u);
  plat::StepManualMMTimer(100);
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.Size(), 2000u);
  EXPECT_TRUE(sink.SyncedAt().empty());
  // What was written is made durable within 4 s, by time when the take stands still...
  plat::StepManualMMTimer(4000);
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.SyncedAt(), std::vector<size_t>{2000});
  // ... and after every 4 s of audio when it runs faster than the clock (here 4 s in 500 ms, a
  // flush of 200 ms of audio at a time)...
  for (int i = 0; i < 20; ++i) {
    push(4);
    plat::StepManualMMTimer(25);
  }
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.SyncedAt(), (std::vector<size_t>{2000, 34000}));
  // ... but a backlog handed over at once (4.4 s within one tick) only once it is over; what the
  // burst left queued is written out first.
  push(88);
  EXPECT_EQ(sink.SyncedAt(), (std::vector<size_t>{2000, 34000}));
  plat::StepManualMMTimer(uint32_t(TMMRingBuffer::kBurstTicks) * 25);
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.SyncedAt(), (std::vector<size_t>{2000, 34000}));
  plat::StepManualMMTimer(25);
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_EQ(sink.SyncedAt(), (std::vector<size_t>{2000, 34000, 69200}));
  // A stop writes the rest and makes it durable.
  push(2);
  ring.ChainStop();
  EXPECT_EQ(sink.SyncedAt(), (std::vector<size_t>{2000, 34000, 69200, 70000}));
  EXPECT_TRUE(sink.Bytes() == PatternBytes(0, pushed));
  ring.ChainClose();
  EXPECT_EQ(sink.SyncedAt().size(), 4u) << "nothing new to sync at the close";
  EXPECT_FALSE(sink.onCaller) << "the disk work, the stop's included, is the queue thread's";
}

namespace {

// The voluntary context switches of the calling thread: each wait in the kernel (a sleep, a lock
// it had to wait for) adds one.
long VoluntarySwitches() {
  std::ifstream f("/proc/thread-self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

// A recording's file whose write number `gatedWrite` (from 0) waits at a gate, and which notes at
// each write how many slots the ring still held and how often its thread had waited in the kernel
// so far, and at each sync how many slots the ring held.
class PacedSink : public SyncedSink {
public:
  PacedSink(TMMRingBuffer& ring, int gatedWrite) : ring_(ring), gatedWrite_(gatedWrite) {}
  void BufferReady(PWaveHdr h) override {
    if (writes_++ == gatedWrite_) gate.Arrive();
    const int i = noted;
    if (i < kMost) {
      queued[size_t(i)] = ring_.QueuedBuffers();
      switches[size_t(i)] = VoluntarySwitches();
    }
    ByteSink::BufferReady(h);
    written += h->dwBytesRecorded;
    ++noted;
  }
  void BufferSync() override {
    syncedWith.push_back(ring_.QueuedBuffers());
    SyncedSink::BufferSync();
  }
  static constexpr int kMost = 64;
  Gate gate;
  std::atomic<int> noted{0};
  std::atomic<uint64_t> written{0};
  std::array<int32_t, kMost> queued{};
  std::array<long, kMost> switches{};
  std::vector<int32_t> syncedWith;  // the thread's alone until the test has seen all written

private:
  TMMRingBuffer& ring_;
  int gatedWrite_;
  std::atomic<int> writes_{0};
};

// A recording ring of 128 slots of 4096 bytes (16 to a write) at 8000 bytes a second, so a sync
// is due after every 32000 bytes written, whose file waits at its write number `gatedWrite`
// while the queue fills up.
struct Backlog {
  explicit Backlog(int gatedWrite) : sink(ring, gatedWrite) {
    Configure(ring, qmWrite, 128, 4096);
    ring.SetWaveFormat(&format);
    ring.SetOutput(&sink);
    ring.ChainOpen();
    ring.ChainStart();
  }
  ~Backlog() {
    ring.ChainStop();
    ring.ChainClose();
  }
  void Push() { ring.BufferReady(b.Pattern(pushed++ * 4096, 4096)); }
  // The thread has reached the gated write; the queue is then filled to the last slot, at a
  // pace (a slot a tick) that is no burst, so only how full the queue is counts.
  void FillWhileTheFileWaits() {
    while (sink.gate.Arrived() == 0) {
      Push();
      WaitUntil([&] { return sink.gate.Arrived() == 1 || !ring.WorkPending(); });
    }
    while (ring.QueuedBuffers() < 128) {
      Push();
      plat::StepManualMMTimer(25);
    }
  }
  // Lets the file go on and waits, touching neither the ring's nor the file's locks, until it
  // holds everything.
  void WriteAll() {
    sink.gate.Open();
    WaitUntil([&] { return sink.written.load() == pushed * 4096; });
    WaitUntil([&] { return !ring.WorkPending(); });
  }

  ManualTimer timer;
  WAVEFORMATEX format = PcmFormat(8000, 1, 8);
  TMMRingBuffer ring;
  PacedSink sink;
  Buffer b{4096};
  uint64_t pushed = 0;
};

}  // namespace

// A backlog that arrives at once (the program or the machine held up for seconds, then the
// input's held audio handed over in a burst) is written out without a pause or a sync between
// the writes while more than a quarter of the queue is full, so a burst the file could take is not
// dropped for want of a slot; from there on the thread lets the device in between its writes and
// makes the file durable again.
TEST(MMRingBf, ABacklogIsWrittenOutWithoutPausingOrSyncing) {
  Backlog t(0);
  t.FillWhileTheFileWaits();
  t.WriteAll();
  const int writes = t.sink.noted;
  ASSERT_LE(writes, PacedSink::kMost);
  int firstLow = -1;
  for (int i = 0; i + 1 < writes; ++i) {
    const size_t at = size_t(i);
    ASSERT_GE(t.sink.switches[at], 0);
    if (t.sink.queued[at] > 32) {
      EXPECT_EQ(t.sink.switches[at + 1], t.sink.switches[at])
          << "the thread paused after write " << i << " with " << t.sink.queued[at] << " of 128 slots queued";
    } else if (firstLow < 0) {
      firstLow = i;
    }
  }
  // From a quarter down it pauses between writes again, and syncs what had come due.
  ASSERT_GE(firstLow, 0);
  ASSERT_LT(firstLow + 1, writes);
  EXPECT_GT(t.sink.switches[size_t(firstLow) + 1], t.sink.switches[size_t(firstLow)]);
  ASSERT_FALSE(t.sink.syncedWith.empty());
  for (int32_t q : t.sink.syncedWith) EXPECT_LE(q, 32) << "a sync while the backlog was written";
  EXPECT_EQ(t.ring.DroppedBuffers(), 0u);
  EXPECT_EQ(t.sink.Bytes(), PatternBytes(0, t.pushed * 4096));
}

// A backlog handed over faster than the clock runs (more than a second of audio within one tick)
// is written out without a sync in the middle, however little of the queue it fills: the sync
// comes once ticks have passed without such a burst.
TEST(MMRingBf, AFileIsNotSyncedInTheMiddleOfABurst) {
  Backlog t(-1);
  for (int i = 0; i < 20; ++i) t.Push();  // 80 KB in no time, ten seconds of audio
  WaitUntil([&] { return t.sink.written.load() == t.pushed * 4096; });
  WaitUntil([&] { return !t.ring.WorkPending(); });
  EXPECT_TRUE(t.sink.syncedWith.empty()) << "a sync while the burst came in";
  plat::StepManualMMTimer(uint32_t(TMMRingBuffer::kBurstTicks + 1) * 25);
  WaitUntil([&] { return !t.ring.WorkPending(); });
  EXPECT_EQ(t.sink.SyncedAt(), std::vector<size_t>{20 * 4096});
  EXPECT_EQ(t.ring.DroppedBuffers(), 0u);
}

// A disk that never catches up keeps the queue full, but the file is still made durable once it
// has gone unsynced for the overdue limit while the program ran.
TEST(MMRingBf, ABacklogThatIsNeverWorkedOffIsStillMadeDurableWhenThatIsOverdue) {
  Backlog t(2);  // the first writes went through unsynced; the next waits while time passes
  t.FillWhileTheFileWaits();
  plat::StepManualMMTimer(uint32_t(TMMRingBuffer::kSyncOverdueMs));
  t.WriteAll();
  ASSERT_FALSE(t.sink.syncedWith.empty());
  EXPECT_GT(t.sink.syncedWith.front(), 96) << "the overdue sync waited for the backlog";
  EXPECT_EQ(t.ring.DroppedBuffers(), 0u);
}

// The thread that fills a playback queue sleeps while the queue is more than half full: a read
// that takes a slot does not wake it.
TEST(MMRingBf, ReadingAboveTheHalfMarkLeavesTheFillingThreadAsleep) {
  PatternSource src(100 * 4096);
  TMMRingBuffer ring;
  Configure(ring, qmRead, 64, 4096);
  src.SetOutput(&ring);
  std::atomic<pid_t> thread{0};
  ring.OnFillQueue = [&](TObject*) { thread = pid_t(::syscall(SYS_gettid)); };
  ring.ChainOpen();
  ring.ChainStart();
  // Its voluntary context switches: each wake of a thread waiting in the kernel adds one.
  auto switches = [&] {
    std::ifstream f("/proc/self/task/" + std::to_string(thread.load()) + "/status");
    std::string line;
    while (std::getline(f, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    return -1L;
  };
  Buffer b(4096);
  uint64_t read = 0;
  auto take = [&] {
    bool more = true;
    b.hdr->dwBufferLength = 4096;
    ring.BufferLoad(b.hdr, more);
    ASSERT_EQ(b.hdr->dwBytesRecorded, 4096u);
    ASSERT_EQ(std::memcmp(b.hdr->lpData, PatternBytes(read, 4096).data(), 4096), 0);
    read += 4096;
  };
  take();  // waits for the first fill
  WaitUntil([&] { return !ring.WorkPending(); });
  ASSERT_NE(thread.load(), 0);
  const long before = switches();
  ASSERT_GE(before, 0);
  for (int i = 0; i < 30; ++i) {  // the queue stays above 32 of its 64 slots
    take();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_LE(switches() - before, 2) << "the filling thread woke for reads that needed no fill";
  // Below the half mark it wakes and fills again.
  const int pulls = src.pulls;
  for (int i = 0; i < 4; ++i) take();
  WaitUntil([&] { return !ring.WorkPending(); });
  EXPECT_GT(src.pulls, pulls);
  ring.ChainStop();
  ring.ChainClose();
}
