// wav_io: writes and reads the same audio (48 kHz stereo 16-bit, 1 GiB by default) through our
// WAV layer, through plain write/read on a file descriptor, and through libsndfile, side by side,
// and prints the throughput of each and the ratios. Target: our layer at least 0.9 of plain I/O
// and not slower than libsndfile. With --picture, our layer writes once more into a file that
// carries a DISP picture of that size (the editor takes up to 64 MiB): writing audio must cost the
// same with it.
//   wav_io [--mib N] [--chunk BYTES] [--rounds N] [--dir FOLDER] [--picture MIB]
// Like with like: every way ends its file the same way, closed and made durable by one fdatasync
// (our layer's finish makes it; the plain and libsndfile ways make it on their descriptor once
// they have closed the file), so "write" is the cost of a finished file on the disk. "loop" times
// the writes alone, before the file is finished or synced, on the page cache: the cost of each
// layer without the disk. Reads come from the page cache for all three. Rounds interleave the
// three ways and the median round counts.
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/MMWaveIO.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Config {
  int64_t bytes = int64_t(1024) << 20;
  size_t chunk = 65536;
  int rounds = 3;
  std::string dir;
  int64_t pictureBytes = 0;
};

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "wav_io: %s\n", why.c_str());
  std::exit(1);
}

// Sums every 64-bit word, so each way of reading proves it saw the same bytes. One routine that
// every way calls, never inlined into each: the sum is most of a read's time, and an inlined copy
// runs at half speed wherever its loop happens to straddle a 64-byte line of code, which alone
// made one way's reads look 10-35 % slower than another's.
[[gnu::noinline]] uint64_t Sum(const char* p, size_t n) {
  uint64_t s = 0, w;
  for (size_t i = 0; i + 8 <= n; i += 8) {
    std::memcpy(&w, p + i, 8);
    s += w;
  }
  return s;
}

struct Result {
  double writeSec = 0, readSec = 0;
  double loopSec = 0;  // the writes alone, without creating and finishing the file
  uint64_t sum = 0;
};

// The sync our layer's finish makes.
void MakeDurable(int fd) {
  if (fdatasync(fd) != 0 && errno != EINVAL) Fail("fdatasync");
}

double Seconds(Clock::time_point a) { return std::chrono::duration<double>(Clock::now() - a).count(); }

Result Plain(const Config& c, const std::vector<char>& block, const std::string& path) {
  Result r;
  auto t = Clock::now();
  int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  // The same 44-byte header room a WAV file has, so every way moves the same samples.
  char header[44] = {};
  if (write(fd, header, sizeof header) != ssize_t(sizeof header)) Fail("write");
  const auto loop = Clock::now();
  for (int64_t done = 0; done < c.bytes; done += int64_t(c.chunk))
    if (write(fd, block.data(), c.chunk) != ssize_t(c.chunk)) Fail("plain write");
  r.loopSec = Seconds(loop);
  MakeDurable(fd);
  close(fd);
  r.writeSec = Seconds(t);

  std::vector<char> buf(c.chunk);
  t = Clock::now();
  fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (read(fd, header, sizeof header) != ssize_t(sizeof header)) Fail("read");
  for (ssize_t n; (n = read(fd, buf.data(), c.chunk)) > 0;) r.sum += Sum(buf.data(), size_t(n));
  close(fd);
  r.readSec = Seconds(t);
  return r;
}

Result Ours(const Config& c, const std::vector<char>& block, const std::string& path, int64_t pictureBytes = 0) {
  Result r;
  WAVEFORMATEX f;
  MakePCMFormat(f, 16, 2, 48000);
  // The wave object's default I/O buffer.
  const int64_t ioBuffer = 32768;
  PWaveIOBlock b;
  if (WaveIOAlloc(b, &f)) Fail("alloc");
  if (pictureBytes > 0) b->DispList.push_back({kDispBitmap, isRead, std::string(size_t(pictureBytes), 'p'), {}});
  auto t = Clock::now();
  if (WaveIOCreate(b.get(), path) || WaveIOSetBuffer(b.get(), ioBuffer)) Fail("create");
  const auto loop = Clock::now();
  for (int64_t done = 0; done < c.bytes; done += int64_t(c.chunk))
    if (WaveIOWrite(b.get(), block.data(), int64_t(c.chunk)) != int64_t(c.chunk)) Fail("our write");
  r.loopSec = Seconds(loop);
  if (WaveIOFinish(b.get())) Fail("finish");
  r.writeSec = Seconds(t);

  std::vector<char> buf(c.chunk);
  t = Clock::now();
  PWaveIOBlock rd;
  if (WaveIOOpen(rd, path, plat::FourCC("WAVE"), wioFile) || WaveIOReopen(rd.get()) ||
      WaveIOSetBuffer(rd.get(), ioBuffer))
    Fail("open");
  for (int64_t n; (n = WaveIORead(rd.get(), buf.data(), int64_t(c.chunk))) > 0;) r.sum += Sum(buf.data(), size_t(n));
  WaveIOClose(rd);
  r.readSec = Seconds(t);
  return r;
}

Result Sndfile(const Config& c, const std::vector<char>& block, const std::string& path) {
  Result r;
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  const sf_count_t frames = sf_count_t(c.chunk / 4);
  auto t = Clock::now();
  const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot create " + path);
  SNDFILE* sf = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (!sf) Fail(std::string("libsndfile: ") + sf_strerror(nullptr));
  const auto loop = Clock::now();
  for (int64_t done = 0; done < c.bytes; done += int64_t(c.chunk))
    if (sf_writef_short(sf, reinterpret_cast<const short*>(block.data()), frames) != frames) Fail("sndfile write");
  r.loopSec = Seconds(loop);
  sf_close(sf);  // writes the header, leaves the descriptor open
  MakeDurable(fd);
  close(fd);
  r.writeSec = Seconds(t);

  std::vector<char> buf(c.chunk);
  t = Clock::now();
  SF_INFO in{};
  sf = sf_open(path.c_str(), SFM_READ, &in);
  if (!sf) Fail("libsndfile cannot read its own file");
  for (sf_count_t n; (n = sf_readf_short(sf, reinterpret_cast<short*>(buf.data()), frames)) > 0;)
    r.sum += Sum(buf.data(), size_t(n) * 4);
  sf_close(sf);
  r.readSec = Seconds(t);
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  Config c;
  const char* tmp = std::getenv("TMPDIR");
  c.dir = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) Fail("missing value for " + a);
    const char* v = argv[++i];
    if (a == "--mib") c.bytes = std::atoll(v) << 20;
    else if (a == "--chunk") c.chunk = size_t(std::atoll(v));
    else if (a == "--rounds") c.rounds = std::max(1, std::atoi(v));
    else if (a == "--dir") c.dir = v;
    else if (a == "--picture") c.pictureBytes = std::atoll(v) << 20;
    else Fail("unknown option " + a);
  }
  if (c.chunk < 8 || c.chunk % 8 || c.bytes <= 0 || c.bytes % int64_t(c.chunk))
    Fail("the size must be whole chunks of whole frames");

  std::vector<char> block(c.chunk);
  uint32_t x = 12345;
  for (char& ch : block) {
    x = x * 1664525u + 1013904223u;
    ch = char(x >> 24);
  }
  const std::string base = c.dir + "/wav_io_" + std::to_string(getpid());
  struct Way {
    const char* name;
    std::function<Result(const Config&, const std::vector<char>&, const std::string&)> run;
    std::vector<double> w, r, loop;
    uint64_t sum = 0;
  } ways[] = {{"plain write/read", Plain, {}, {}, {}},
              {"our WAV layer", [](auto& c, auto& b, auto& p) { return Ours(c, b, p); }, {}, {}, {}},
              {"libsndfile", Sndfile, {}, {}, {}},
              {"ours + picture", [](auto& c, auto& b, auto& p) { return Ours(c, b, p, c.pictureBytes); }, {}, {}, {}}};
  const size_t wayCount = c.pictureBytes > 0 ? 4 : 3;

  for (int round = 0; round < c.rounds; ++round)
    for (size_t i = 0; i < wayCount; ++i) {
      Way& way = ways[i];
      std::string path = base + ".wav";
      Result r = way.run(c, block, path);
      unlink(path.c_str());
      way.w.push_back(r.writeSec);
      way.r.push_back(r.readSec);
      way.loop.push_back(r.loopSec);
      if (round == 0) way.sum = r.sum;
      if (r.sum != ways[0].sum || r.sum != way.sum) Fail(std::string(way.name) + " read other bytes");
    }

  const double mib = double(c.bytes) / (1 << 20);
  std::printf("%.0f MiB of 48 kHz stereo 16-bit in %zu-byte chunks, median of %d rounds\n", mib, c.chunk, c.rounds);
  std::printf("write: created, written, finished and synced; loop: the writes alone, on the page cache\n");
  std::printf("%-18s %12s %12s %12s\n", "", "write MiB/s", "loop MiB/s", "read MiB/s");
  for (size_t i = 0; i < wayCount; ++i)
    std::printf("%-18s %12.0f %12.0f %12.0f\n", ways[i].name, mib / Median(ways[i].w), mib / Median(ways[i].loop),
                mib / Median(ways[i].r));
  const Way &plain = ways[0], &ours = ways[1], &snd = ways[2];
  auto ratios = [](const char* what, const Way& base, const Way& ours, const char* target) {
    std::printf("%-19s write %.3f  loop %.3f  read %.3f   (target %s)\n", what, Median(base.w) / Median(ours.w),
                Median(base.loop) / Median(ours.loop), Median(base.r) / Median(ours.r), target);
  };
  ratios("ours / plain:", plain, ours, ">= 0.9");
  ratios("ours / libsndfile:", snd, ours, ">= 1.0");
  if (wayCount == 4) {
    const double writes = double(c.bytes) / double(c.chunk), us = 1e6 / writes;
    std::printf("per %zu-byte write: ours %.1f us, with a %lld MiB picture %.1f us   (target: the same)\n", c.chunk,
                Median(ours.loop) * us, (long long)(c.pictureBytes >> 20), Median(ways[3].loop) * us);
  }
  return 0;
}
