#include <gtest/gtest.h>

#include <thread>

#include "ChainMocks.h"
#include "platform/messages/messages.h"

namespace {

void Pump() {
  while (plat::ProcessMessages()) {
  }
}

}  // namespace

TEST(MMDSPObj, RefusedLinksChangeNothing) {
  LoggedLink a("a", nullptr), b("b", nullptr), c("c", nullptr);
  LoggedDevice in("in", nullptr, /*hasInput=*/false);
  a.SetOutput(&b);
  b.SetOutput(&c);

  a.SetInput(&a);  // itself
  a.SetInput(&c);  // c lies below a: a loop
  c.SetOutput(&a);
  b.SetOutput(&b);
  EXPECT_EQ(a.Input(), nullptr);
  EXPECT_EQ(a.Output(), &b);
  EXPECT_EQ(b.Input(), &a);
  EXPECT_EQ(b.Output(), &c);
  EXPECT_EQ(c.Input(), &b);
  EXPECT_EQ(c.Output(), nullptr);

  // A wave input has no Input: nothing can be linked above it.
  c.SetOutput(&in);
  in.SetInput(&c);
  EXPECT_EQ(c.Output(), nullptr);
  EXPECT_EQ(in.Input(), nullptr);
  in.SetOutput(&a);
  EXPECT_EQ(a.Input(), &in);
}

TEST(MMDSPObj, RelinkingMovesTheLinkAndTheFormat) {
  LoggedLink a("a", nullptr), b("b", nullptr), c("c", nullptr), d("d", nullptr);
  WAVEFORMATEX fmt = PcmFormat(22050, 2, 16);
  a.SetWaveFormat(&fmt);
  a.SetOutput(&b);
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  EXPECT_EQ(b.GetWaveFormat()->nSamplesPerSec, 22050u);
  EXPECT_NE(b.GetWaveFormat(), a.GetWaveFormat());  // each keeps its own copy

  a.SetOutput(&c);
  EXPECT_EQ(b.Input(), nullptr);
  EXPECT_EQ(b.GetWaveFormat(), nullptr);
  EXPECT_EQ(c.Input(), &a);
  ASSERT_NE(c.GetWaveFormat(), nullptr);
  EXPECT_EQ(c.GetWaveFormat()->nBlockAlign, 4);

  // Taking a's output from the other side: c loses its source but keeps its format.
  d.SetInput(&a);
  EXPECT_EQ(a.Output(), &d);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_NE(c.GetWaveFormat(), nullptr);
  EXPECT_NE(d.GetWaveFormat(), nullptr);

  // A new format at the head reaches the end of the chain.
  d.SetOutput(&b);
  WAVEFORMATEX mono = PcmFormat(8000, 1, 8);
  a.SetWaveFormat(&mono);
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  EXPECT_EQ(b.GetWaveFormat()->nSamplesPerSec, 8000u);
  EXPECT_EQ(b.GetWaveFormat()->nChannels, 1);
  EXPECT_EQ(c.GetWaveFormat()->nSamplesPerSec, 22050u);  // no longer linked
}

TEST(MMDSPObj, FreedComponentLeavesNilLinks) {
  LoggedLink a("a", nullptr), c("c", nullptr);
  WAVEFORMATEX fmt = PcmFormat(44100, 2, 16);
  a.SetWaveFormat(&fmt);
  auto* b = new LoggedLink("b", nullptr);
  a.SetOutput(b);
  b->SetOutput(&c);
  ASSERT_NE(c.GetWaveFormat(), nullptr);
  const int live = TMMDSPComponent::LiveCount();
  delete b;
  EXPECT_EQ(a.Output(), nullptr);
  EXPECT_EQ(c.Input(), nullptr);
  EXPECT_EQ(c.GetWaveFormat(), nullptr);
  EXPECT_EQ(TMMDSPComponent::LiveCount(), live - 1);
  // The survivors link to each other again without touching the freed one.
  a.SetOutput(&c);
  EXPECT_EQ(c.Input(), &a);

  // An owned component goes when its owner goes.
  auto* owner = new TMMComponent(nullptr);
  auto* owned = new LoggedLink("owned", nullptr);
  owner->InsertComponent(owned);
  c.SetOutput(owned);
  delete owner;
  EXPECT_EQ(c.Output(), nullptr);
}

TEST(MMDSPObj, FormatCopies) {
  LoggedLink a("a", nullptr), b("b", nullptr);
  a.SetOutput(&b);

  // A PCM format carries no extra bytes whatever cbSize says; none are read behind it.
  auto* pcm = static_cast<WAVEFORMATEX*>(std::calloc(1, sizeof(WAVEFORMATEX)));
  *pcm = PcmFormat(11025, 1, 8);
  pcm->cbSize = 500;
  a.SetWaveFormat(pcm);
  std::free(pcm);
  ASSERT_NE(b.GetWaveFormat(), nullptr);
  EXPECT_EQ(b.GetWaveFormat()->cbSize, 0);
  EXPECT_EQ(b.GetWaveFormat()->nSamplesPerSec, 11025u);

  // Another format keeps its extra bytes.
  struct {
    WAVEFORMATEX f;
    uint8_t extra[4];
  } adpcm{};
  adpcm.f.wFormatTag = 2;
  adpcm.f.nChannels = 1;
  adpcm.f.nSamplesPerSec = 22050;
  adpcm.f.nBlockAlign = 512;
  adpcm.f.wBitsPerSample = 4;
  adpcm.f.cbSize = 4;
  std::memcpy(adpcm.extra, "\x01\x02\x03\x04", 4);
  static_assert(offsetof(decltype(adpcm), extra) == sizeof(WAVEFORMATEX));
  a.SetWaveFormat(&adpcm.f);
  const WAVEFORMATEX* got = b.GetWaveFormat();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->cbSize, 4);
  EXPECT_EQ(std::memcmp(got + 1, "\x01\x02\x03\x04", 4), 0);

  a.SetWaveFormat(nullptr);
  EXPECT_EQ(b.GetWaveFormat(), nullptr);
}

TEST(MMDSPObj, OpenRoundsTheBufferSizeToWholeBlocks) {
  LoggedLink a("a", nullptr);
  EXPECT_EQ(a.BufferSize(), 2048);
  a.SetBufferSize(4097);
  a.ChainOpen();  // no format: as set
  EXPECT_EQ(a.BufferSize(), 4097);
  a.ChainClose();

  WAVEFORMATEX fmt = PcmFormat(44100, 2, 16);
  a.SetWaveFormat(&fmt);
  a.ChainOpen();
  EXPECT_EQ(a.BufferSize(), 4096);
  EXPECT_EQ(a.RealBufferSize(), 4096);
  a.ChainClose();
  EXPECT_EQ(a.BufferSize(), 4097);

  a.SetBufferSize(2);
  a.ChainOpen();
  EXPECT_EQ(a.BufferSize(), 4);
  a.ChainClose();

  WAVEFORMATEX broken = fmt;
  broken.nBlockAlign = 0;
  a.SetWaveFormat(&broken);
  a.SetBufferSize(1000);
  a.ChainOpen();
  EXPECT_EQ(a.BufferSize(), 1000);
  a.ChainClose();
}

TEST(MMDSPObj, ChangesStopAStartedComponent) {
  CallLog log;
  LoggedLink a("a", &log);
  a.ChainOpen();
  a.ChainStart();
  ASSERT_TRUE(a.Started());
  a.SetBufferSize(a.BufferSize());  // unchanged: nothing
  EXPECT_TRUE(a.Started());
  a.SetBufferSize(1024);
  EXPECT_FALSE(a.Started());
  a.ChainStart();
  WAVEFORMATEX fmt = PcmFormat(8000, 1, 16);
  a.SetWaveFormat(&fmt);
  EXPECT_FALSE(a.Started());
  EXPECT_EQ(log, (CallLog{"a.Open", "a.Start", "a.Stop", "a.Start", "a.Stop"}));
}

TEST(MMDSPObj, AllocatorReuseOrder) {
  TMMAllocator al;
  void* small = al.AllocBuffer(amFixed, 4096);
  void* large = al.AllocBuffer(amFixed, 8192);
  ASSERT_TRUE(small && large);
  EXPECT_EQ(static_cast<uint8_t*>(large)[8191], 0);
  void* s = small;
  void* l = large;
  al.FreeBuffer(s);
  al.FreeBuffer(l);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(al.UsedCount(), 0);
  EXPECT_EQ(al.AllocBuffer(amFixed, 4000), small);  // first large enough, in allocation order
  void* big = al.AllocBuffer(amFixed, 10000);
  EXPECT_NE(big, small);
  EXPECT_NE(big, large);
  EXPECT_EQ(al.BlockCount(), 3);
  EXPECT_EQ(al.AllocBuffer(amFixed, 8192), large);
  al.FreeAll();
  EXPECT_EQ(al.BlockCount(), 0);

  TMMAllocator al2;
  large = al2.AllocBuffer(amMovable, 8192);
  small = al2.AllocBuffer(amMovable, 4096);
  void* exact = al2.AllocBuffer(amMovable, 4000);
  static_cast<uint8_t*>(exact)[0] = 0x5A;
  for (void* p : {large, small, exact}) al2.FreeBuffer(p);
  EXPECT_EQ(al2.AllocBuffer(amMovable, 4000), exact);  // an exact fit wins
  EXPECT_EQ(static_cast<uint8_t*>(exact)[0], 0x5A);  // reused as it was
  EXPECT_EQ(al2.AllocBuffer(amMovable, 4000), large);
  EXPECT_EQ(al2.AllocBuffer(amMovable, 4000), small);
  EXPECT_EQ(al2.BlockCount(), 3);
  void* stranger = &al2;
  al2.FreeBuffer(stranger);  // not ours: ignored
  EXPECT_EQ(al2.UsedCount(), 3);
}

TEST(MMDSPObj, AllocatorSharedBetweenThreads) {
  TMMAllocator al;
  auto churn = [&al](size_t size) {
    for (int i = 0; i < 2000; ++i) {
      void* p = al.AllocBuffer(amFixed, size + size_t(i % 3) * 16);
      ASSERT_NE(p, nullptr);
      static_cast<uint8_t*>(p)[0] = uint8_t(i);
      al.FreeBuffer(p);
    }
  };
  std::thread t1(churn, 1024), t2(churn, 2048);
  t1.join();
  t2.join();
  EXPECT_EQ(al.UsedCount(), 0);
  EXPECT_LE(al.BlockCount(), 12);  // freed blocks were reused, not piled up
}

TEST(MMDSPObj, RecordingChainWalks) {
  CallLog log;
  LoggedDevice in("in", &log, false);
  LoggedLink conn("conn", &log), ring("ring", &log), file("file", &log);
  in.SetOutput(&conn);
  conn.SetOutput(&ring);
  ring.SetOutput(&file);
  WAVEFORMATEX fmt = PcmFormat(22050, 2, 16);
  in.SetWaveFormat(&fmt);
  in.SetBufferSize(4098);
  log.clear();

  in.ChainOpen();
  in.ChainStart();
  in.ChainPause();
  in.ChainRestart();
  in.ChainReset();
  in.ChainStop();
  in.ChainClose();
  EXPECT_EQ(log, (CallLog{"conn.Open", "ring.Open", "file.Open", "in.Open",       //
                          "conn.Start", "ring.Start", "file.Start", "in.Start",    //
                          "conn.Pause", "ring.Pause", "file.Pause", "in.Pause",    //
                          "conn.Restart", "ring.Restart", "file.Restart", "in.Restart",
                          "conn.Reset", "ring.Reset", "file.Reset", "in.Reset",    //
                          "conn.Stop", "ring.Stop", "file.Stop", "in.Stop",        //
                          "conn.Close", "ring.Close", "file.Close", "in.Close"}));
  EXPECT_FALSE(in.DeviceUpstream());
}

TEST(MMDSPObj, PlaybackChainWalksFromTheHead) {
  CallLog log;
  LoggedLink file("file", &log), ring("ring", &log), conn("conn", &log);
  LoggedDevice out("out", &log);
  file.SetOutput(&ring);
  ring.SetOutput(&out);
  out.SetOutput(&conn);
  WAVEFORMATEX fmt = PcmFormat(44100, 2, 16);
  file.SetWaveFormat(&fmt);
  out.SetBufferSize(4097);
  file.SetBufferSize(100);
  log.clear();

  out.ChainOpen();
  // Every plain component runs at the device's buffer size, rounded to whole blocks.
  EXPECT_EQ(file.BufferSize(), 4096);
  EXPECT_EQ(ring.BufferSize(), 4096);
  EXPECT_EQ(conn.BufferSize(), 4096);
  EXPECT_EQ(out.BufferSize(), 4096);
  out.ChainStart();
  out.ChainLoop();
  out.ChainStop();
  out.ChainClose();
  EXPECT_EQ(log, (CallLog{"file.Open", "ring.Open", "conn.Open", "out.Open",    //
                          "file.Start", "ring.Start", "conn.Start", "out.Start",  //
                          "file.Loop", "ring.Loop", "conn.Loop", "out.Loop",      //
                          "file.Stop", "ring.Stop", "conn.Stop", "out.Stop",      //
                          "file.Close", "ring.Close", "conn.Close", "out.Close"}));
}

TEST(MMDSPObj, DeviceBelowADevice) {
  CallLog log;
  LoggedDevice in("in", &log, false), out("out", &log);
  LoggedLink conn("conn", &log), tap("tap", &log);
  in.SetOutput(&conn);
  conn.SetOutput(&out);
  out.SetOutput(&tap);
  log.clear();

  in.ChainOpen();
  EXPECT_EQ(log, (CallLog{"conn.Open", "tap.Open", "out.Open", "in.Open"}));
  EXPECT_TRUE(out.DeviceUpstream());
  EXPECT_FALSE(in.DeviceUpstream());
  log.clear();
  in.ChainStart();
  EXPECT_EQ(log, (CallLog{"conn.Start", "tap.Start", "out.Start", "in.Start"}));
  log.clear();
  // Stopping reaches the device below first, and each component only once.
  in.ChainStop();
  EXPECT_EQ(log, (CallLog{"tap.Stop", "out.Stop", "conn.Stop", "in.Stop"}));
  log.clear();
  in.ChainClose();
  EXPECT_EQ(log, (CallLog{"tap.Close", "out.Close", "conn.Close", "in.Close"}));
}

TEST(MMDSPObj, BuffersArePushedAndPulled) {
  LoggedLink a("a", nullptr), b("b", nullptr);
  PatternSource src(6);
  ByteSink sink;
  a.SetOutput(&b);
  b.SetOutput(&sink);
  int ready = 0;
  a.OnBufferReady = [&](TObject* s, PWaveHdr) { ready += s == &a; };
  std::vector<uint8_t> block(kWaveHdrSize + 8);
  PWaveHdr h = InitWaveHdr(block.data(), 8);
  EXPECT_EQ(h->lpData, reinterpret_cast<char*>(block.data()) + kWaveHdrSize);
  std::memcpy(h->lpData, "abcd", 4);
  h->dwBytesRecorded = 4;
  a.BufferReady(h);
  EXPECT_EQ(ready, 1);
  EXPECT_EQ(sink.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));

  src.SetOutput(&a);
  int filled = 0;
  b.OnBufferFilled = [&](TObject*, PWaveHdr hdr) { filled += int(hdr->dwBytesRecorded); };
  bool more = false;
  h->dwBytesRecorded = 0;
  b.BufferLoad(h, more);  // b pulls through a from the source
  EXPECT_EQ(h->dwBytesRecorded, 6u);
  EXPECT_FALSE(more);
  EXPECT_EQ(filled, 6);
  EXPECT_EQ(uint8_t(h->lpData[5]), PatternByte(5));
  b.BufferLoad(h, more);  // nothing left: no filled event
  EXPECT_EQ(h->dwBytesRecorded, 0u);
  EXPECT_EQ(filled, 6);
}

namespace {
class ChainThread : public TMMDSPThread {
public:
  ChainThread(TMMDSPComponent* owner, std::function<void()> body)
      : TMMDSPThread(owner), body_(std::move(body)) {}
  ~ChainThread() override {
    Terminate();
    WaitFor();
  }

protected:
  void Execute() override { body_(); }

private:
  std::function<void()> body_;
};
}  // namespace

TEST(MMDSPObj, ChainThreadEventsNeverWaitForTheUiThread) {
  LoggedLink file("file", nullptr);
  std::thread::id firedOn;
  int fired = 0;
  TNotifyEvent onClose = [&](TObject* s) {
    EXPECT_EQ(s, &file);
    firedOn = std::this_thread::get_id();
    ++fired;
  };
  // On the UI thread: at once.
  SynchronizeChainThread(&file, onClose);
  EXPECT_EQ(fired, 1);
  SynchronizeChainThread(&file, nullptr);

  // The UI thread waits for the chain thread (as a stop drains a ring buffer) while the chain
  // thread fires an event: both go on, and the event runs later on the UI thread.
  bool wasChainThread = false;
  {
    ChainThread t(&file, [&] {
      wasChainThread = TMMDSPThread::Current() != nullptr;
      SynchronizeChainThread(&file, onClose);
    });
    ASSERT_TRUE(t.Resume());
    t.WaitFor();
  }
  EXPECT_TRUE(wasChainThread);
  EXPECT_EQ(fired, 1);
  Pump();
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(firedOn, std::this_thread::get_id());

  // An event posted for a component that is gone by then is dropped.
  auto* doomed = new LoggedLink("doomed", nullptr);
  {
    ChainThread t(doomed, [&] { SynchronizeChainThread(doomed, onClose); });
    t.Resume();
    t.WaitFor();
  }
  delete doomed;
  Pump();
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(TMMDSPThread::LiveCount(), 0);
}

TEST(MMDSPObj, SynchronizeGivesWayToTerminate) {
  LoggedLink owner("owner", nullptr);
  int ran = 0;
  std::atomic<bool> inSync{false};
  ChainThread t(&owner, [&] {
    inSync = true;
    // The UI thread is not pumping: without Terminate this would wait for ever.
    static_cast<TMMThreadEx*>(TMMDSPThread::Current())->Synchronize([&] { ++ran; });
  });
  ASSERT_TRUE(t.Resume());
  while (!inSync || plat::PendingMessages() == 0) std::this_thread::yield();
  t.Terminate();
  t.WaitFor();
  Pump();  // the dropped call does not run late
  EXPECT_EQ(ran, 0);

  // Pumped in time, it runs on the UI thread and the thread carries on.
  std::thread::id ranOn;
  ChainThread t2(&owner, [&] {
    static_cast<TMMThreadEx*>(TMMDSPThread::Current())->Synchronize([&] {
      ranOn = std::this_thread::get_id();
      ++ran;
    });
  });
  t2.Resume();
  while (ran == 0) Pump();
  t2.WaitFor();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}
