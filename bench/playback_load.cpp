// Playback under CPU load, the deck beside aplay in one run: one private PipeWire server
// (scripts/pipewire-server.sh), busy threads, and everything (server, deck, aplay, listener, busy
// threads) pinned to the same two cores. The deck plays a cart through ALSA's default device while
// aplay plays through the same device with the deck's buffer (200 ms, periods of 20 ms), at the
// same time, to the same sink: the deck's cart holds a steady sine in its left channel and silence
// in its right, aplay's file the other way round, so the sink's monitor keeps them apart. A
// stretch of silence inside one player's sine while the other's goes on is audio the server did
// not get from that player in time; silence in both at once is the sink's own (the server or the
// listener missed a block). Prints each kind's stretches, the frames they cover and what that is in
// blocks of 256 frames (the server's block while the listener asks for 20 ms), and aplay's own
// count of underruns.
//
// usage: playback_load [--seconds S (30)] [--busy N (8)] [--runs R (3)]
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Studio.h"
#include "server/SoundServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int seconds = 30;
  int busy = 8;
  int runs = 3;
};

// Stretches of silence inside a signal.
struct Gaps {
  size_t stretches = 0;
  uint64_t frames = 0;
  void Add(const Gaps& g) {
    stretches += g.stretches;
    frames += g.frames;
  }
};

// A steady sine never rests at zero for more than a sample or two: a run of this many silent
// frames inside it is a gap.
constexpr size_t kGapFrames = 16;

// The players' gaps in one capture, over the time both played: a gap in one channel only is that
// player's own (the server did not get its audio in time); one in both at once is the sink's.
struct Verdict {
  Gaps deck, aplay, both;
  uint64_t frames = 0;  // both played
  void Add(const Verdict& v) {
    deck.Add(v.deck);
    aplay.Add(v.aplay);
    both.Add(v.both);
    frames += v.frames;
  }
};

Verdict Judge(const std::vector<int16_t>& stereo) {
  Verdict v;
  const size_t frames = stereo.size() / 2;
  auto silent = [&](size_t i, int channel) { return stereo[2 * i + size_t(channel)] == 0; };
  size_t first = 0, last = frames;
  while (first < frames && (silent(first, 0) || silent(first, 1))) ++first;
  while (last > first && (silent(last - 1, 0) || silent(last - 1, 1))) --last;
  v.frames = last - first;
  size_t runs[3] = {0, 0, 0};  // deck only, aplay only, both
  Gaps* kinds[3] = {&v.deck, &v.aplay, &v.both};
  for (size_t i = first; i <= last; ++i) {
    const bool d = i < last && silent(i, 0), a = i < last && silent(i, 1);
    const int kind = d && a ? 2 : d ? 0 : a ? 1 : -1;
    for (int k = 0; k < 3; ++k) {
      if (k == kind) {
        ++runs[k];
      } else if (runs[k] > 0) {
        if (runs[k] >= kGapFrames) {
          ++kinds[k]->stretches;
          kinds[k]->frames += runs[k];
        }
        runs[k] = 0;
      }
    }
  }
  return v;
}

// seconds of 44.1 kHz stereo 16-bit: a 440 Hz sine at half scale in one channel, silence in the
// other.
std::string SineWav(int seconds, int channel) {
  const size_t frames = size_t(kRate) * size_t(seconds);
  std::string data(frames * 4, '\0');
  for (size_t i = 0; i < frames; ++i) {
    const int16_t s = int16_t(std::lround(16383 * std::sin(2 * M_PI * 440.0 * double(i) / kRate)));
    data[4 * i + 2 * size_t(channel)] = char(s & 0xFF);
    data[4 * i + 2 * size_t(channel) + 1] = char((s >> 8) & 0xFF);
  }
  return MakeWav(PcmFormat(kRate, 2, 16), data);
}

pid_t SpawnAplay(const SoundServer& server, const std::string& wav, const std::string& log) {
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) vars.push_back(*e);
  for (const auto& [k, v] : server.Environment()) vars.push_back(k + "=" + v);
  std::vector<std::string> args = {"aplay", "-q", "-D", "default", "--buffer-time=200000", "--period-time=20000", wav};
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, "aplay", &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

void Print(const Verdict& v, size_t underruns) {
  const std::pair<const char*, const Gaps*> rows[] = {
      {"the deck's own", &v.deck}, {"aplay's own", &v.aplay}, {"both at once", &v.both}};
  std::printf("  %.1f s played side by side; gaps\n", double(v.frames) / kRate);
  for (const auto& [who, g] : rows)
    std::printf("    %-15s %4zu, %7llu frames (%5.1f blocks of 256)\n", who, g->stretches,
                (unsigned long long)g->frames, double(g->frames) / 256);
  std::printf("    aplay reported %zu underruns\n", underruns);
}

bool RunOnce(const Options& o, int run, Verdict& verdict, size_t& aplayUnderruns) {
  Studio studio;
  SoundServer server(studio.dir.Path("server"), PIPEWIRE_SERVER_SCRIPT);
  if (!server.Ok()) {
    std::fprintf(stderr, "the PipeWire server did not start\n");
    return false;
  }
  for (const auto& [k, v] : server.Environment()) studio.environment[k] = v;
  studio.environment["SOLVANE_AUDIO"] = "";
  studio.Settings({"[Standard Cart]", "FORMAT=31", "LENGTH=10000"});
  const std::string cart = studio.dir.Path("Left.wav"), other = studio.dir.Path("Right.wav");
  if (!Studio::Write(cart, SineWav(o.seconds, 0)) || !Studio::Write(other, SineWav(o.seconds, 1))) return false;
  studio.Answers({"file " + cart});
  Listener sink(server, "play.monitor");
  if (!sink.Ok() || !studio.Start()) return false;
  studio.Key("Ctrl+A");
  if (studio.Sync().kind != "PLAY") return false;

  std::atomic<bool> stop{false};
  std::vector<std::thread> busy;
  for (int i = 0; i < o.busy; ++i)
    busy.emplace_back([&] {
      volatile uint64_t x = 0;
      while (!stop.load(std::memory_order_relaxed)) x = x + 1;
    });
  const std::string log = studio.dir.Path("aplay.log");
  studio.Key("F3");
  const pid_t pid = SpawnAplay(server, other, log);
  const auto deadline = Clock::now() + std::chrono::seconds(o.seconds + 30);
  bool deckDone = false, aplayDone = pid <= 0;
  while (Clock::now() < deadline && !(deckDone && aplayDone)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    if (!deckDone) deckDone = studio.Sync().deck == "stopped";
    if (!aplayDone) aplayDone = ::waitpid(pid, nullptr, WNOHANG) == pid;
  }
  stop = true;
  for (std::thread& t : busy) t.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  if (!aplayDone) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  if (!deckDone || !aplayDone) {
    std::fprintf(stderr, "run %d: a player did not finish (deck %d, aplay %d)\n", run, deckDone, aplayDone);
    return false;
  }
  verdict = Judge(sink.Samples());
  aplayUnderruns = Count(Studio::Read(log), "underrun");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    const int v = std::atoi(argv[i + 1]);
    if (a == "--seconds") o.seconds = v;
    else if (a == "--busy") o.busy = v;
    else if (a == "--runs") o.runs = v;
  }
  // Two cores for everything, the machine's last two; the children (the server, the deck, aplay)
  // inherit them.
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(int(cores - 1), &set);
  if (cores > 1) CPU_SET(int(cores - 2), &set);
  if (::sched_setaffinity(0, sizeof set, &set) != 0) std::perror("sched_setaffinity");
  std::printf("playback under load: %d s of a 440 Hz sine each, %d busy threads, all on cores %ld-%ld\n", o.seconds,
              o.busy, std::max(0L, cores - 2), cores - 1);
  Verdict all;
  size_t underruns = 0;
  int ok = 0;
  for (int run = 1; run <= o.runs; ++run) {
    Verdict v;
    size_t u = 0;
    if (!RunOnce(o, run, v, u)) continue;
    ++ok;
    std::printf("run %d:\n", run);
    Print(v, u);
    all.Add(v);
    underruns += u;
  }
  if (ok == 0) return 1;
  std::printf("all %d runs:\n", ok);
  Print(all, underruns);
  std::printf("  frames lost by the deck alone against aplay alone: %llu against %llu\n",
              (unsigned long long)all.deck.frames, (unsigned long long)all.aplay.frames);
  return 0;
}
