#include <gtest/gtest.h>

#include <cstddef>
#include <thread>

#include "ChainMocks.h"
#include "platform/messages/messages.h"

namespace {

void Pump() {
  while (plat::ProcessMessages()) {}
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

  // Another format keeps its extra bytes, which follow the fixed part.
  struct {
    WAVEFORMATEX f;
    uint8_t extra[4] = {1, 2, 3, 4};
  } adpcm;
  adpcm.f.wFormatTag = 2;
  adpcm.f.cbSize = 4;
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
  WAVEFORMATEX fmt = PcmFormat(44100, 2, 16);
  a.SetWaveFormat(&fmt);
  auto openedSize = [&](int32_t n) {
    a.SetBufferSize(n);
    a.ChainOpen();
    int32_t real = a.BufferSize();
    a.ChainClose();
    return real;
  };
  EXPECT_EQ(openedSize(4097), 4096);
  EXPECT_EQ(a.BufferSize(), 4097);  // closed: as set
  EXPECT_EQ(openedSize(2), 4);
  fmt.nBlockAlign = 0;  // a broken format must not divide by zero
  a.SetWaveFormat(&fmt);
  EXPECT_EQ(openedSize(1000), 1000);
  a.SetWaveFormat(nullptr);
  EXPECT_EQ(openedSize(4097), 4097);
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
  EXPECT_EQ(static_cast<uint8_t*>(exact)[0], 0x5A);    // reused as it was
  EXPECT_EQ(al2.AllocBuffer(amMovable, 4000), large);
  EXPECT_EQ(al2.AllocBuffer(amMovable, 4000), small);
  EXPECT_EQ(al2.BlockCount(), 3);
  void* stranger = &al2;
  al2.FreeBuffer(stranger);  // not ours: ignored
  EXPECT_EQ(al2.UsedCount(), 3);
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
  EXPECT_EQ(log, (CallLog{"conn.Open",    "ring.Open",    "file.Open",    "in.Open",   //
                          "conn.Start",   "ring.Start",   "file.Start",   "in.Start",  //
                          "conn.Pause",   "ring.Pause",   "file.Pause",   "in.Pause",  //
                          "conn.Restart", "ring.Restart", "file.Restart", "in.Restart",
                          "conn.Reset",   "ring.Reset",   "file.Reset",   "in.Reset",  //
                          "conn.Stop",    "ring.Stop",    "file.Stop",    "in.Stop",   //
                          "conn.Close",   "ring.Close",   "file.Close",   "in.Close"}));
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
  EXPECT_EQ(log, (CallLog{"file.Open",  "ring.Open",  "conn.Open",  "out.Open",   //
                          "file.Start", "ring.Start", "conn.Start", "out.Start",  //
                          "file.Loop",  "ring.Loop",  "conn.Loop",  "out.Loop",   //
                          "file.Stop",  "ring.Stop",  "conn.Stop",  "out.Stop",   //
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

namespace {
class ChainThread : public TMMDSPThread {
public:
  ChainThread(TMMDSPComponent* owner, std::function<void()> body) : TMMDSPThread(owner), body_(std::move(body)) {}
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

TEST(MMDSPObj, ChainThreadEventsArePostedAndDroppedWhenTheSenderIsGone) {
  LoggedLink file("file", nullptr);
  int fired = 0;
  TNotifyEvent onClose = [&](TObject*) { ++fired; };
  SynchronizeChainThread(&file, onClose);  // on the UI thread: at once
  EXPECT_EQ(fired, 1);
  {
    ChainThread t(&file, [&] { SynchronizeChainThread(&file, onClose); });
    ASSERT_TRUE(t.Resume());
    t.WaitFor();  // the chain thread never waits for the UI thread
  }
  EXPECT_EQ(fired, 1);
  Pump();
  EXPECT_EQ(fired, 2);

  auto* doomed = new LoggedLink("doomed", nullptr);
  {
    ChainThread t(doomed, [&] { SynchronizeChainThread(doomed, onClose); });
    t.Resume();
  }
  delete doomed;
  Pump();  // would call into freed memory
  EXPECT_EQ(fired, 2);
}
