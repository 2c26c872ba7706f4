// The wave-device contract, run against every backend that can be had here: the virtual device
// always, ALSA's null device where it opens (through a configuration of the test's own).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <thread>
#include <vector>

#include "common/eventually.h"
#include "common/wave_format.h"
#include "platform/audio/virtual_audio.h"
#include "platform/audio/wave_device.h"

using namespace plat;

namespace {

// A buffer as the engine lays it out: the header, words of the owner's own behind it, then data.
struct Buffer {
  WAVEHDR hdr;
  uintptr_t ownerWords[7];
  std::vector<char> data;

  explicit Buffer(size_t bytes, uintptr_t user = 0) : data(bytes) {
    hdr.lpData = data.data();
    hdr.dwBufferLength = uint32_t(bytes);
    hdr.dwUser = user;
    for (int i = 0; i < 7; ++i) ownerWords[i] = 0xA5A5A5A5u + uintptr_t(i);
  }
  // The device may write only the flags and the recorded count.
  bool Untouched(size_t bytes, uintptr_t user) const {
    for (int i = 0; i < 7; ++i)
      if (ownerWords[i] != 0xA5A5A5A5u + uintptr_t(i)) return false;
    return hdr.lpData == data.data() && hdr.dwBufferLength == bytes && hdr.dwUser == user && hdr.dwLoops == 0 &&
           hdr.lpNext == nullptr;
  }
};

// Records the notices of one device, and whether any broke the rules.
struct Recorder {
  struct Notice {
    WaveMsg msg;
    WAVEHDR* hdr;
    uint32_t flags;
    uint32_t bytes;
    std::vector<char> data;
  };
  std::mutex m;
  std::vector<Notice> notices;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> closeReturned{false};
  std::atomic<bool> lateNotice{false};
  std::atomic<uint64_t> handleSeen{0};
  std::vector<WAVEHDR*> returned;

  std::vector<WAVEHDR*> TakeReturned() {
    std::lock_guard<std::mutex> l(m);
    return std::exchange(returned, {});
  }

  WaveCallback Callback() {
    return [this](uint64_t h, WaveMsg msg, WAVEHDR* hdr) {
      if (inside.fetch_add(1) != 0) overlapped = true;
      if (closeReturned) lateNotice = true;
      handleSeen = h;
      Notice n{msg, hdr, hdr ? LoadWaveHdrFlags(*hdr) : 0u, hdr ? hdr->dwBytesRecorded : 0u, {}};
      if (hdr && msg == WaveMsg::Data) n.data.assign(hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
      {
        std::lock_guard<std::mutex> l(m);
        notices.push_back(std::move(n));
        if (hdr) returned.push_back(hdr);
      }
      inside.fetch_sub(1);
    };
  }
  size_t Count(WaveMsg msg) {
    std::lock_guard<std::mutex> l(m);
    size_t c = 0;
    for (auto& n : notices) c += n.msg == msg;
    return c;
  }
  std::vector<Notice> Of(WaveMsg msg) {
    std::lock_guard<std::mutex> l(m);
    std::vector<Notice> out;
    for (auto& n : notices)
      if (n.msg == msg) out.push_back(n);
    return out;
  }
};

// ---- the backends --------------------------------------------------------------------------------

struct VirtualKit {
  static constexpr const char* kName = "Virtual";
  static constexpr bool kPaced = true;  // time moves only when the test steps it
  static bool SetUp() {
    if (!SelectWaveBackend(WaveBackendKind::Virtual)) return false;
    VirtualAudioConfig c;
    c.Clock = VirtualClock::Manual;
    c.CaptureToMemory = true;
    ClearVirtualCaptures();
    return SetVirtualAudioConfig(c);
  }
  static void Advance(uint32_t ms) { StepVirtualAudio(ms); }
};

struct AlsaNullKit {
  static constexpr const char* kName = "AlsaNull";
  static constexpr bool kPaced = false;  // the null device takes and gives audio at once
  static bool SetUp() {
    if (!SelectWaveBackend(WaveBackendKind::Alsa)) return false;
    if (!UseAlsaConfig("pcm.!default { type null }")) return false;
    WAVEFORMATEX f = PcmFormat(44100, 2, 16);
    return WaveOutGetNumDevs() > 0 && WaveInGetNumDevs() > 0 &&
           WaveOutOpen(nullptr, WAVE_MAPPER, &f, nullptr, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
  }
  static void Advance(uint32_t) {}
};

template <class Kit>
class WaveDevContract : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Kit::SetUp()) GTEST_SKIP() << Kit::kName << " backend is not available here";
  }
  void TearDown() override {
    EXPECT_EQ(OpenWaveDevices(), 0) << "a test left a device open";
    SelectWaveBackend(WaveBackendKind::Virtual);
    UseAlsaConfig("");
  }
  const WAVEFORMATEX fmt_ = PcmFormat(44100, 2, 16);
};

struct KitNames {
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};
using Kits = ::testing::Types<VirtualKit, AlsaNullKit>;
TYPED_TEST_SUITE(WaveDevContract, Kits, KitNames);

}  // namespace

// ---- devices, capabilities, texts --------------------------------------------------------------

TYPED_TEST(WaveDevContract, DevicesCapabilitiesAndErrorTexts) {
  for (bool input : {true, false}) {
    uint32_t n = input ? WaveInGetNumDevs() : WaveOutGetNumDevs();
    ASSERT_GT(n, 0u);
    for (int32_t id = -1; id < int32_t(n); ++id) {
      WaveCaps caps;
      ASSERT_EQ(input ? WaveInGetDevCaps(id, caps) : WaveOutGetDevCaps(id, caps), MMSYSERR_NOERROR);
      EXPECT_FALSE(caps.ProductName.empty());
      EXPECT_LE(caps.ProductName.size(), 31u);
      EXPECT_EQ(caps.Formats & ~kAllStandardFormats, 0u);
      EXPECT_NE(caps.Formats & WAVE_FORMAT_4S16, 0u) << "44.1 kHz stereo 16 bit is everywhere";
    }
    WaveCaps caps;
    EXPECT_EQ(input ? WaveInGetDevCaps(int32_t(n), caps) : WaveOutGetDevCaps(int32_t(n), caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(input ? WaveInGetDevCaps(-2, caps) : WaveOutGetDevCaps(-2, caps), MMSYSERR_BADDEVICEID);
  }
  // Every code the layer returns has a text; others say so.
  for (MMRESULT code : {MMSYSERR_NOERROR, MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED, MMSYSERR_ALLOCATED,
                        MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER, MMSYSERR_NOMEM, MMSYSERR_NOTSUPPORTED,
                        MMSYSERR_BADERRNUM, MMSYSERR_INVALFLAG, MMSYSERR_INVALPARAM, MMSYSERR_HANDLEBUSY,
                        WAVERR_BADFORMAT, WAVERR_STILLPLAYING, WAVERR_UNPREPARED}) {
    std::string a, b;
    EXPECT_EQ(WaveInGetErrorText(code, a), MMSYSERR_NOERROR) << code;
    EXPECT_EQ(WaveOutGetErrorText(code, b), MMSYSERR_NOERROR) << code;
    EXPECT_FALSE(a.empty());
    EXPECT_LE(a.size(), 255u);
    EXPECT_EQ(a, b);
  }
  std::string t = "x";
  EXPECT_EQ(WaveOutGetErrorText(999, t), MMSYSERR_BADERRNUM);
  EXPECT_TRUE(t.empty());
}

TYPED_TEST(WaveDevContract, FormatQueryOnlyValidates) {
  Recorder rec;
  HWAVEOUT h = 77;
  EXPECT_EQ(WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(h, 77u) << "a query leaves the handle alone";
  EXPECT_EQ(OpenWaveDevices(), 0);
  EXPECT_EQ(rec.notices.size(), 0u);

  WAVEFORMATEX bad = this->fmt_;
  bad.wFormatTag = 2;  // not PCM
  EXPECT_EQ(WaveOutOpen(nullptr, WAVE_MAPPER, &bad, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  bad = this->fmt_;
  bad.nBlockAlign = 3;  // does not match channels and bits
  EXPECT_EQ(WaveInOpen(nullptr, WAVE_MAPPER, &bad, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  bad = PcmFormat(44100, 2, 12);
  EXPECT_EQ(WaveInOpen(nullptr, 0, &bad, nullptr, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  EXPECT_EQ(WaveInOpen(nullptr, 0, nullptr, nullptr, WAVE_FORMAT_QUERY), MMSYSERR_INVALPARAM);
  EXPECT_EQ(WaveInOpen(nullptr, int32_t(WaveInGetNumDevs()), &this->fmt_, nullptr, WAVE_FORMAT_QUERY),
            MMSYSERR_BADDEVICEID);
  EXPECT_EQ(WaveInOpen(nullptr, 0, &this->fmt_, nullptr, 0x80000), MMSYSERR_INVALFLAG);
  // A real open needs somewhere to put the handle and a callback.
  EXPECT_EQ(WaveInOpen(nullptr, 0, &this->fmt_, rec.Callback(), 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(OpenWaveDevices(), 0);
}

TYPED_TEST(WaveDevContract, OpenAndCloseNoticesHandlesNeverReused) {
  std::set<uint64_t> seen;
  for (int round = 0; round < 3; ++round) {
    for (bool input : {true, false}) {
      Recorder rec;
      uint64_t h = 0;
      MMRESULT r = input ? WaveInOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0)
                         : WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0);
      ASSERT_EQ(r, MMSYSERR_NOERROR);
      EXPECT_NE(h, 0u);
      EXPECT_TRUE(seen.insert(h).second) << "handle " << h << " came back";
      EXPECT_EQ(rec.Count(WaveMsg::Open), 1u) << "the open notice comes before Open returns";
      EXPECT_EQ(rec.handleSeen.load(), h);
      int32_t id = 5;
      EXPECT_EQ(input ? WaveInGetID(h, id) : WaveOutGetID(h, id), MMSYSERR_NOERROR);
      EXPECT_EQ(id, WAVE_MAPPER);
      // The other direction's calls do not take this handle.
      MMTIME t;
      EXPECT_EQ(input ? WaveOutGetPosition(h, t) : WaveInGetPosition(h, t), MMSYSERR_INVALHANDLE);
      EXPECT_EQ(input ? WaveInClose(h) : WaveOutClose(h), MMSYSERR_NOERROR);
      rec.closeReturned = true;
      EXPECT_EQ(rec.Count(WaveMsg::Close), 1u) << "the close notice comes before Close returns";
      EXPECT_EQ(input ? WaveInClose(h) : WaveOutClose(h), MMSYSERR_INVALHANDLE);
      EXPECT_EQ(input ? WaveInGetPosition(h, t) : WaveOutGetPosition(h, t), MMSYSERR_INVALHANDLE);
    }
  }
}

// ---- buffers -------------------------------------------------------------------------------------

TYPED_TEST(WaveDevContract, HeadersArePreparedQueuedOnceAndHeldUntilReturned) {
  Recorder rec;
  HWAVEOUT h = 0;
  ASSERT_EQ(WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveOutPause(h), MMSYSERR_NOERROR);  // nothing plays: the device keeps what it gets
  Buffer b(4096, 42);
  EXPECT_EQ(WaveOutWrite(h, &b.hdr), WAVERR_UNPREPARED);
  EXPECT_EQ(WaveOutPrepareHeader(h, &b.hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveOutPrepareHeader(h, &b.hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveOutPrepareHeader(h, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(WaveOutWrite(h, &b.hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveOutWrite(h, &b.hdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveOutUnprepareHeader(h, &b.hdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveOutClose(h), WAVERR_STILLPLAYING);
  EXPECT_EQ(LoadWaveHdrFlags(b.hdr) & WHDR_DONE, 0u);
  ASSERT_EQ(WaveOutReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(rec.Count(WaveMsg::Done), 1u);
  EXPECT_NE(LoadWaveHdrFlags(b.hdr) & WHDR_DONE, 0u);
  EXPECT_EQ(WaveOutUnprepareHeader(h, &b.hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(LoadWaveHdrFlags(b.hdr) & WHDR_PREPARED, 0u);
  EXPECT_TRUE(b.Untouched(4096, 42));
  EXPECT_EQ(WaveOutClose(h), MMSYSERR_NOERROR);
}

TYPED_TEST(WaveDevContract, OutputPlaysInOrderMarksDoneFirstAndTouchesNothingElse) {
  Recorder rec;
  HWAVEOUT h = 0;
  ASSERT_EQ(WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  // Odd sizes, a zero-length buffer among them, distinct user words.
  const size_t sizes[] = {4096, 100, 0, 7, 8192, 4};
  std::vector<std::unique_ptr<Buffer>> bufs;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    bufs.push_back(std::make_unique<Buffer>(sizes[i], 1000 + i));
    for (size_t k = 0; k < sizes[i]; ++k) bufs.back()->data[k] = char(i * 31 + k);
    ASSERT_EQ(WaveOutPrepareHeader(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveOutWrite(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
  }
  TypeParam::Advance(1000);
  ASSERT_TRUE(Eventually([&] { return rec.Count(WaveMsg::Done) == std::size(sizes); }));
  auto done = rec.Of(WaveMsg::Done);
  for (size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i].hdr, &bufs[i]->hdr) << "returned out of order at " << i;
    EXPECT_NE(done[i].flags & WHDR_DONE, 0u) << "done flag not set before the callback";
    EXPECT_EQ(done[i].flags & WHDR_INQUEUE, 0u);
    EXPECT_TRUE(bufs[i]->Untouched(sizes[i], 1000 + i));
  }
  EXPECT_FALSE(rec.overlapped.load());
  for (auto& b : bufs) EXPECT_EQ(WaveOutUnprepareHeader(h, &b->hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveOutClose(h), MMSYSERR_NOERROR);
}

TYPED_TEST(WaveDevContract, OutputResetReturnsEverythingBeforeReturningAndZeroesThePosition) {
  Recorder rec;
  HWAVEOUT h = 0;
  ASSERT_EQ(WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  std::vector<std::unique_ptr<Buffer>> bufs;
  for (int i = 0; i < 8; ++i) {
    bufs.push_back(std::make_unique<Buffer>(44100));  // a quarter second each
    ASSERT_EQ(WaveOutPrepareHeader(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveOutWrite(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
  }
  TypeParam::Advance(300);
  ASSERT_EQ(WaveOutReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(rec.Count(WaveMsg::Done), 8u);
  auto done = rec.Of(WaveMsg::Done);
  for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].hdr, &bufs[i]->hdr);
  MMTIME t;
  ASSERT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.wType, MMTimeType::Samples);
  EXPECT_EQ(t.value, 0u);
  EXPECT_EQ(WaveOutClose(h), MMSYSERR_NOERROR);
}

TYPED_TEST(WaveDevContract, InputFillsInQueueOrderStopReturnsThePartialBufferResetTheRest) {
  Recorder rec;
  HWAVEIN h = 0;
  ASSERT_EQ(WaveInOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  Buffer empty(0);
  ASSERT_EQ(WaveInPrepareHeader(h, &empty.hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveInAddBuffer(h, &empty.hdr), MMSYSERR_INVALPARAM) << "an empty buffer can hold nothing";
  std::vector<std::unique_ptr<Buffer>> bufs;
  for (int i = 0; i < 4; ++i) {
    bufs.push_back(std::make_unique<Buffer>(8000, 7 + i));
    ASSERT_EQ(WaveInPrepareHeader(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveInAddBuffer(h, &bufs.back()->hdr), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(WaveInUnprepareHeader(h, &bufs[0]->hdr), WAVERR_STILLPLAYING);
  EXPECT_EQ(WaveInClose(h), WAVERR_STILLPLAYING);
  ASSERT_EQ(WaveInStart(h), MMSYSERR_NOERROR);
  if (TypeParam::kPaced) {
    // 100 ms is 17640 bytes: two buffers come back full, the third is partly filled.
    TypeParam::Advance(100);
    EXPECT_EQ(rec.Count(WaveMsg::Data), 2u);
  } else {
    ASSERT_TRUE(Eventually([&] { return rec.Count(WaveMsg::Data) == 4; }));
  }
  ASSERT_EQ(WaveInStop(h), MMSYSERR_NOERROR);
  auto data = rec.Of(WaveMsg::Data);
  MMTIME t;
  ASSERT_EQ(WaveInGetPosition(h, t), MMSYSERR_NOERROR);
  uint64_t recorded = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(data[i].hdr, &bufs[i]->hdr);
    EXPECT_NE(data[i].flags & WHDR_DONE, 0u);
    EXPECT_TRUE(bufs[i]->Untouched(8000, 7 + i));
    recorded += data[i].bytes;
  }
  EXPECT_EQ(t.value, recorded / 4) << "the position is what reached the buffers";
  if (TypeParam::kPaced) {
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0].bytes, 8000u);
    EXPECT_EQ(data[1].bytes, 8000u);
    EXPECT_EQ(data[2].bytes, 17640u - 16000u) << "Stop returns the partly filled buffer";
    std::vector<uint8_t> joined;
    for (auto& d : data) joined.insert(joined.end(), d.data.begin(), d.data.end());
    EXPECT_TRUE(MatchesVirtualPattern(joined.data(), joined.size(), this->fmt_, 0)) << "byte-exact";
    // The stop keeps the position and the rest of the queue; nothing moves while stopped.
    TypeParam::Advance(1000);
    EXPECT_EQ(rec.Count(WaveMsg::Data), 3u);
    ASSERT_EQ(WaveInStart(h), MMSYSERR_NOERROR);
    TypeParam::Advance(1);
    ASSERT_EQ(WaveInReset(h), MMSYSERR_NOERROR);
    auto all = rec.Of(WaveMsg::Data);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3].hdr, &bufs[3]->hdr);
    EXPECT_EQ(all[3].bytes, 44u * 4) << "a reset returns what the buffer holds";
  } else {
    ASSERT_EQ(WaveInReset(h), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(WaveInGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 0u);
  for (auto& b : bufs) EXPECT_EQ(WaveInUnprepareHeader(h, &b->hdr), MMSYSERR_NOERROR);
  EXPECT_EQ(WaveInClose(h), MMSYSERR_NOERROR);
  rec.closeReturned = true;
  EXPECT_FALSE(rec.overlapped.load());
}

TYPED_TEST(WaveDevContract, NoNoticeAfterCloseUnderConstantTraffic) {
  // An input and an output kept busy by a helper thread while the test closes them.
  for (bool input : {true, false}) {
    Recorder rec;
    uint64_t h = 0;
    ASSERT_EQ(input ? WaveInOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0)
                    : WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0),
              MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> bufs;
    for (int i = 0; i < 4; ++i) {
      bufs.push_back(std::make_unique<Buffer>(256));
      ASSERT_EQ(input ? WaveInPrepareHeader(h, &bufs.back()->hdr) : WaveOutPrepareHeader(h, &bufs.back()->hdr),
                MMSYSERR_NOERROR);
    }
    for (auto& b : bufs) ASSERT_EQ(input ? WaveInAddBuffer(h, &b->hdr) : WaveOutWrite(h, &b->hdr), MMSYSERR_NOERROR);
    if (input) {
      ASSERT_EQ(WaveInStart(h), MMSYSERR_NOERROR);
    }
    std::atomic<bool> stop{false};
    std::thread traffic([&] {
      // Each buffer goes back once its notice has been handled, as the engine does it.
      while (!stop) {
        for (WAVEHDR* hdr : rec.TakeReturned()) input ? WaveInAddBuffer(h, hdr) : WaveOutWrite(h, hdr);
        TypeParam::Advance(5);
        std::this_thread::yield();
      }
    });
    EXPECT_TRUE(Eventually([&] { return rec.Count(input ? WaveMsg::Data : WaveMsg::Done) >= 20; }));
    stop = true;
    traffic.join();
    ASSERT_EQ(input ? WaveInReset(h) : WaveOutReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(input ? WaveInClose(h) : WaveOutClose(h), MMSYSERR_NOERROR);
    rec.closeReturned = true;
    EXPECT_FALSE(rec.overlapped.load());
    EXPECT_FALSE(rec.lateNotice.load());
    size_t n = rec.Count(input ? WaveMsg::Data : WaveMsg::Done);
    TypeParam::Advance(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(rec.Count(input ? WaveMsg::Data : WaveMsg::Done), n);
  }
}

// ---- what needs a clock the test controls ---------------------------------------------------------

TYPED_TEST(WaveDevContract, PauseBeforeWriteHoldsPauseFreezesRestartResumes) {
  if (!TypeParam::kPaced) {
    GTEST_SKIP() << "needs a paced device";
  }
  Recorder rec;
  HWAVEOUT h = 0;
  ASSERT_EQ(WaveOutOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveOutPause(h), MMSYSERR_NOERROR);
  Buffer a(17640), b(17640);  // 100 ms each
  for (Buffer* x : {&a, &b}) {
    ASSERT_EQ(WaveOutPrepareHeader(h, &x->hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(WaveOutWrite(h, &x->hdr), MMSYSERR_NOERROR);
  }
  TypeParam::Advance(500);
  MMTIME t;
  ASSERT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 0u) << "a pause before the first write holds playback";
  EXPECT_EQ(rec.Count(WaveMsg::Done), 0u);
  ASSERT_EQ(WaveOutRestart(h), MMSYSERR_NOERROR);
  TypeParam::Advance(150);
  ASSERT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 6615u);
  EXPECT_EQ(rec.Count(WaveMsg::Done), 1u) << "done means played: only the first";
  ASSERT_EQ(WaveOutPause(h), MMSYSERR_NOERROR);
  TypeParam::Advance(1000);
  ASSERT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 6615u) << "a pause freezes the position";
  EXPECT_EQ(rec.Count(WaveMsg::Done), 1u) << "and keeps the buffers";
  ASSERT_EQ(WaveOutRestart(h), MMSYSERR_NOERROR);
  TypeParam::Advance(50);
  EXPECT_EQ(rec.Count(WaveMsg::Done), 2u);
  TypeParam::Advance(500);  // nothing queued: an underrun holds the position
  ASSERT_EQ(WaveOutGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 8820u);
  ASSERT_EQ(WaveOutGetPosition(h, t = MMTIME{MMTimeType::Bytes, 0}), MMSYSERR_NOERROR);
  EXPECT_EQ(t.wType, MMTimeType::Bytes);
  EXPECT_EQ(t.value, 35280u);
  EXPECT_EQ(WaveOutClose(h), MMSYSERR_NOERROR);
}

TYPED_TEST(WaveDevContract, InputWithoutABufferDropsAudio) {
  if (!TypeParam::kPaced) {
    GTEST_SKIP() << "needs a paced device";
  }
  Recorder rec;
  HWAVEIN h = 0;
  ASSERT_EQ(WaveInOpen(&h, WAVE_MAPPER, &this->fmt_, rec.Callback(), 0), MMSYSERR_NOERROR);
  Buffer a(4000), b(4000);
  for (Buffer* x : {&a, &b}) ASSERT_EQ(WaveInPrepareHeader(h, &x->hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInAddBuffer(h, &a.hdr), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInStart(h), MMSYSERR_NOERROR);
  TypeParam::Advance(100);  // 4410 frames: 1000 reach a, the rest is lost
  ASSERT_EQ(rec.Count(WaveMsg::Data), 1u);
  ASSERT_EQ(WaveInAddBuffer(h, &b.hdr), MMSYSERR_NOERROR);
  TypeParam::Advance(100);
  ASSERT_EQ(rec.Count(WaveMsg::Data), 2u);
  auto data = rec.Of(WaveMsg::Data);
  auto* a0 = reinterpret_cast<const uint8_t*>(data[0].data.data());
  auto* b0 = reinterpret_cast<const uint8_t*>(data[1].data.data());
  EXPECT_TRUE(MatchesVirtualPattern(a0, 4000, this->fmt_, 0));
  EXPECT_TRUE(MatchesVirtualPattern(b0, 4000, this->fmt_, 4410)) << "the lost stretch shows as a gap";
  MMTIME t;
  ASSERT_EQ(WaveInGetPosition(h, t), MMSYSERR_NOERROR);
  EXPECT_EQ(t.value, 2000u) << "lost audio does not count";
  // The loss is told: where in the recording, and how long.
  std::vector<WaveGap> gaps;
  ASSERT_EQ(WaveInGetGaps(h, gaps), MMSYSERR_NOERROR);
  ASSERT_EQ(2u, gaps.size()) << "each buffer took 1000 frames of the 4410 of its step";
  EXPECT_EQ(1000u, gaps[0].at);
  EXPECT_EQ(3410u, gaps[0].samples);
  EXPECT_EQ(2000u, gaps[1].at);
  EXPECT_EQ(3410u, gaps[1].samples);
  ASSERT_EQ(WaveInReset(h), MMSYSERR_NOERROR);
  ASSERT_EQ(WaveInGetGaps(h, gaps), MMSYSERR_NOERROR);
  EXPECT_TRUE(gaps.empty()) << "a reset begins a new recording";
  EXPECT_EQ(WaveInClose(h), MMSYSERR_NOERROR);
}
