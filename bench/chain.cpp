// The recording chain against a plain writer, side by side in one run:
//  1. Ten minutes of 48 kHz stereo 16-bit pushed in 4096-byte buffers through ring buffer (write
//     side, 50 slots of 4096 bytes, WaitIfFull) -> wave file, and the same bytes written in the
//     same buffers with write(2). Prints the CPU time per second of audio of both and the ratio.
//  2. Wave input on the virtual device at real-time pace -> ring buffer -> wave file while every
//     core runs a busy thread. Prints the buffers and stretches of audio that were lost.
//
// usage: chain [seconds of audio for 1 (600)] [seconds of real time for 2 (30)] [folder]
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWave.h"
#include "platform/audio/virtual_audio.h"
#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/system/threads.h"

namespace {

constexpr uint32_t kBuffer = 4096;

WAVEFORMATEX Format() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = 48000;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = 48000 * 4;
  return f;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double WallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Cost {
  double cpu = 1e9, wall = 1e9;
};

// The source both writers take their buffers from: 1 MiB of the virtual input's pattern.
struct Source {
  std::vector<uint8_t> bytes;
  Source() : bytes(256 * kBuffer) {
    const WAVEFORMATEX f = Format();
    plat::FillVirtualPattern(0, bytes.size() / 4, f, bytes.data());
  }
  const uint8_t* Buffer(int64_t i) const { return bytes.data() + (i % 256) * kBuffer; }
};

Cost PlainWrite(const Source& src, const std::string& path, int64_t buffers) {
  const double c0 = CpuSeconds(), w0 = WallSeconds();
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror("open");
    std::exit(1);
  }
  for (int64_t i = 0; i < buffers; ++i)
    if (::write(fd, src.Buffer(i), kBuffer) != ssize_t(kBuffer)) {
      std::perror("write");
      std::exit(1);
    }
  ::close(fd);
  return Cost{CpuSeconds() - c0, WallSeconds() - w0};
}

// Stands where the wave input stands: drives the chain walks and pushes the buffers.
class PushDevice : public TMMCustomSoundComponent {
public:
  void SetNumBuffers(int32_t) override {}
  int32_t GetNumBuffers() const override { return 10; }
  void SetDeviceID(TMMDeviceId) override {}
  TMMDeviceId GetDeviceID() const override { return 0; }
  void SetProductName(const std::string&) override {}
  std::string GetProductName() const override { return "push"; }
  void SetCallBackMode(TMMCBMode) override {}
  TMMCBMode GetCallBackMode() const override { return cmWindow; }
  bool PublishesLink(const std::string& p) const override { return p == "Output"; }
};

void SetUpRing(TMMRingBuffer& ring) {
  ring.SetQueueMode(qmWrite);
  ring.SetBufferSize(kBuffer);
  ring.SetNumBuffers(50);
  ring.SetWaitIfFull(true);
}

Cost ChainWrite(const Source& src, const std::string& path, int64_t buffers, uint64_t& dropped) {
  const WAVEFORMATEX f = Format();
  PushDevice dev;
  TMMRingBuffer ring;
  TMMWaveFile file;
  SetUpRing(ring);
  dev.SetBufferSize(kBuffer);
  dev.SetWaveFormat(&f);
  dev.SetOutput(&ring);
  ring.SetOutput(&file);
  file.Wave()->SetFileMustExist(false);
  file.Wave()->SetFileName(path);
  std::vector<uint8_t> block(kWaveHdrSize + kBuffer);
  PWaveHdr hdr = InitWaveHdr(block.data(), kBuffer);

  const double c0 = CpuSeconds(), w0 = WallSeconds();
  dev.ChainOpen();
  dev.ChainStart();
  for (int64_t i = 0; i < buffers; ++i) {
    // The device's buffer: the same bytes the plain writer writes, not copied again.
    hdr->lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(src.Buffer(i)));
    hdr->dwBytesRecorded = kBuffer;
    dev.TMMDSPComponent::BufferReady(hdr);
  }
  dev.ChainStop();
  dev.ChainClose();
  const Cost c{CpuSeconds() - c0, WallSeconds() - w0};
  dropped = ring.DroppedBuffers();
  if (file.WriteFailed() || plat::FileSize(path) < buffers * int64_t(kBuffer)) {
    std::fprintf(stderr, "the chain did not write everything\n");
    std::exit(1);
  }
  return c;
}

// Stretches of lost audio: places where the recorded pattern does not go on with the next frame.
// After one, the frame the recording went on with is looked up to a minute ahead.
int64_t PatternGaps(const std::string& path) {
  const WAVEFORMATEX f = Format();
  TMMWave w;
  w.SetFileName(path);
  w.OpenWaveFile(false);
  std::vector<uint8_t> data(size_t(w.BytesLeft()));
  data.resize(size_t(std::max<int64_t>(0, w.ReadData(data.data(), int64_t(data.size())))));
  const size_t frames = data.size() / f.nBlockAlign;
  auto at = [&](size_t i, uint64_t k) { return plat::MatchesVirtualPattern(&data[i * f.nBlockAlign], f.nBlockAlign, f, k); };
  int64_t gaps = 0;
  uint64_t next = 0;
  for (size_t i = 0; i < frames; ++i) {
    if (at(i, next)) {
      ++next;
      continue;
    }
    ++gaps;
    const size_t probe = std::min<size_t>(4, frames - i);
    for (uint64_t k = next + 1; k < next + 60 * f.nSamplesPerSec; ++k)
      if (plat::MatchesVirtualPattern(&data[i * f.nBlockAlign], probe * f.nBlockAlign, f, k)) {
        next = k + 1;
        break;
      }
  }
  return gaps;
}

void RealTimeRun(const std::string& path, int seconds) {
  plat::SelectWaveBackend(plat::WaveBackendKind::Virtual);
  plat::VirtualAudioConfig config;
  config.Clock = plat::VirtualClock::RealTime;
  plat::SetVirtualAudioConfig(config);

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<bool> quit{false};
  std::vector<std::thread> load;
  for (unsigned i = 0; i < cores; ++i)
    load.emplace_back([&quit] {
      volatile uint64_t x = 0;
      while (!quit.load(std::memory_order_relaxed)) x = x * 6364136223846793005ull + 1;
    });

  const WAVEFORMATEX f = Format();
  uint64_t ringDrops = 0;
  {
    TMMWaveIn in;
    TMMRingBuffer ring;
    TMMWaveFile file;
    SetUpRing(ring);
    in.SetBufferSize(kBuffer);
    in.SetNumBuffers(10);
    in.SetWaveFormat(&f);
    in.SetOutput(&ring);
    ring.SetOutput(&file);
    file.Wave()->SetFileMustExist(false);
    file.Wave()->SetFileName(path);
    in.Start();
    // The UI thread's part: the input's completions arrive at its window.
    const double end = WallSeconds() + seconds;
    while (WallSeconds() < end) {
      plat::ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    in.Stop();
    in.Close();
    ringDrops = ring.DroppedBuffers();
  }
  quit = true;
  for (auto& t : load) t.join();

  const int64_t gaps = PatternGaps(path);
  const double recorded = double(plat::FileSize(path)) / f.nAvgBytesPerSec;
  std::printf("real time, %u busy threads: %.1f s recorded in %d s; buffers dropped by the ring buffer %llu, "
              "stretches of input lost %lld (target: 0)\n",
              cores, recorded, seconds, static_cast<unsigned long long>(ringDrops), static_cast<long long>(gaps));
}

}  // namespace

int main(int argc, char** argv) {
  plat::MarkUiThread();
  const int64_t audioSeconds = argc > 1 ? std::atoll(argv[1]) : 600;
  const int realSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
  std::string folder = argc > 3 ? std::string(argv[3]) : plat::TempPath();
  folder = plat::IncludeTrailingPathDelimiter(folder);
  const std::string plainPath = folder + "bench-chain-plain.raw", chainPath = folder + "bench-chain.wav";
  const WAVEFORMATEX f = Format();
  const int64_t buffers = audioSeconds * f.nAvgBytesPerSec / kBuffer;

  Source src;
  Cost plain, chain;
  uint64_t dropped = 0;
  // Alternating rounds, the best of each: the page cache and other work on the machine hit both.
  for (int round = 0; round < 3; ++round) {
    Cost p = PlainWrite(src, plainPath, buffers);
    plat::DeleteFile(plainPath);
    Cost c = ChainWrite(src, chainPath, buffers, dropped);
    plat::DeleteFile(chainPath);
    if (p.cpu < plain.cpu) plain = p;
    if (c.cpu < chain.cpu) chain = c;
  }
  const double secs = double(buffers) * kBuffer / f.nAvgBytesPerSec;
  std::printf("%.0f s of 48 kHz stereo 16-bit in %u-byte buffers, best of 3 rounds\n", secs, kBuffer);
  std::printf("plain write():   CPU %.3f s = %.3f ms per second of audio (wall %.3f s)\n", plain.cpu,
              1000 * plain.cpu / secs, plain.wall);
  std::printf("recording chain: CPU %.3f s = %.3f ms per second of audio (wall %.3f s), %llu buffers dropped\n",
              chain.cpu, 1000 * chain.cpu / secs, chain.wall, static_cast<unsigned long long>(dropped));
  std::printf("chain / plain:   %.2f (target: at most 2)\n", chain.cpu / plain.cpu);

  if (realSeconds > 0) {
    RealTimeRun(chainPath, realSeconds);
    plat::DeleteFile(chainPath);
  }
  return 0;
}
