// What the running deck costs the machine: starts the program on a virtual X server of its own,
// with the virtual sound device in real time and music-like audio, puts the deck in each of its
// states as an operator would (idle with a cart loaded, recording, playing; with the level bars
// or the needle meters; recording a steady 1 kHz tone or silence instead of the music, which
// changes nothing on the screen and must cost no more than the music does), and measures over a window of wall time the
// CPU the program and the X server used (per-thread scheduler time), the program's wakeups (voluntary context switches
// of all its threads, involuntary ones apart) and the pictures it flushed to the X server (through a preloaded
// counter). Each scene runs in a fresh program several times; the summary gives the medians and the machine's load
// meanwhile.
//
//   deck_cost [--binary PATH] [--seconds S] [--runs N] [--scenes idle,record,record-tone,...]
//             [--threads] [--picture FILE]
//
// The "floor" scene runs toolkit_floor instead of the program: the toolkit alone painting two bars
// at the screen's rate, which no deck painting at that rate can undercut on the same machine.
//
// --threads lists each run's threads; --picture saves the screen of the idle deck (after its
// window) as FILE, to compare the deck's picture at rest between two builds.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/deck/paint_counter.h"
#include "bench/music.h"
#include "tests/common/scratch.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr const char* kStandardFormat = "31";  // 44.1 kHz, 16 bit, stereo

struct Options {
  std::string binary = SOLVANE_BINARY;
  std::string counter = PAINT_COUNTER;
  std::string floor = TOOLKIT_FLOOR;
  double seconds = 10;
  int runs = 3;
  std::vector<std::string> scenes = {"idle",
                                     "record",
                                     "play",
                                     "record-needles",
                                     "play-needles",
                                     "record-tone",
                                     "record-silence",
                                     "record-needles-tone",
                                     "record-needles-silence",
                                     "floor"};
  bool threads = false;
  std::string picture;
};

// ---- files ----

bool WriteFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary);
  f << data;
  return bool(f);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void Le(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
}

std::string MusicWav(double seconds) {
  const std::vector<int16_t> audio = MusicLikeStereo(kRate, int(seconds * kRate));
  const uint32_t bytes = uint32_t(audio.size() * 2);
  std::string w = "RIFF";
  Le(w, 36 + bytes, 4);
  w += "WAVEfmt ";
  Le(w, 16, 4);
  Le(w, 1, 2);
  Le(w, 2, 2);
  Le(w, kRate, 4);
  Le(w, kRate * 4, 4);
  Le(w, 4, 2);
  Le(w, 16, 2);
  w += "data";
  Le(w, bytes, 4);
  for (int16_t v : audio) Le(w, uint16_t(v), 2);
  return w;
}

// ---- processes ----

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& output,
            int keepFd = -1) {
  std::vector<char*> argv, envp;
  std::vector<std::string> a = args, e = env;
  for (std::string& s : a) argv.push_back(s.data());
  argv.push_back(nullptr);
  for (std::string& s : e) envp.push_back(s.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (keepFd >= 0) posix_spawn_file_actions_adddup2(&actions, keepFd, keepFd);  // clears close-on-exec
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

void Stop(pid_t& pid, int sig) {
  if (pid <= 0) return;
  ::kill(pid, sig);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

// A virtual X server of our own: its display number comes back through a pipe.
struct XServer {
  pid_t pid = -1;
  std::string display;
  bool Start(const std::string& log) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                {"PATH=/usr/bin:/bin"}, log, fds[1]);
    ::close(fds[1]);
    std::string n;
    char c;
    while (pid > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') n += c;
    ::close(fds[0]);
    if (n.empty()) return false;
    display = ":" + n;
    return true;
  }
  ~XServer() { Stop(pid, SIGTERM); }
};

// ---- what the kernel counts ----

struct ThreadCount {
  double cpu = 0;  // seconds
  uint64_t voluntary = 0, involuntary = 0;
};

struct ProcessSample {
  double cpu = 0;
  uint64_t voluntary = 0, involuntary = 0;
  std::map<std::string, ThreadCount> byThread;  // by name and id
};

uint64_t StatusField(const std::string& status, const std::string& key) {
  const size_t at = status.find(key + ":");
  return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + key.size() + 1, nullptr, 10);
}

ProcessSample Sample(pid_t pid) {
  ProcessSample s;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return s;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string t = dir + "/" + e->d_name;
    ThreadCount c;
    c.cpu = double(std::strtoull(ReadFile(t + "/schedstat").c_str(), nullptr, 10)) / 1e9;
    const std::string status = ReadFile(t + "/status");
    c.voluntary = StatusField(status, "voluntary_ctxt_switches");
    c.involuntary = StatusField(status, "nonvoluntary_ctxt_switches");
    std::string name = ReadFile(t + "/comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    ThreadCount& n = s.byThread[name + "/" + e->d_name];
    n.cpu += c.cpu;
    n.voluntary += c.voluntary;
    n.involuntary += c.involuntary;
    s.cpu += c.cpu;
    s.voluntary += c.voluntary;
    s.involuntary += c.involuntary;
  }
  ::closedir(d);
  return s;
}

double LoadAverage() {
  double l = 0;
  std::sscanf(ReadFile("/proc/loadavg").c_str(), "%lf", &l);
  return l;
}

// ---- the program, driven through its test control ----

class Deck {
public:
  explicit Deck(const Options& o) : o_(o) {}
  ~Deck() { Stop(pid_, SIGKILL); }

  // The toolkit's floor in the deck's place: no test control, measured the same way.
  bool StartFloor(const std::string& display, double seconds) {
    if (!MapCounters()) return false;
    const std::string run = dir_.Path("run");
    ::mkdir(run.c_str(), 0700);
    std::vector<std::string> env = OwnEnvironment();
    for (const std::string& v :
         {"DISPLAY=" + display, std::string("QT_QPA_PLATFORM=xcb"), std::string("QT_XCB_NO_MITSHM=1"),
          "XDG_RUNTIME_DIR=" + run, "LD_PRELOAD=" + o_.counter, "DECK_PAINTS=" + counterPath_})
      env.push_back(v);
    pid_ = Spawn({o_.floor, std::to_string(int(seconds) + 10)}, env, dir_.Path("output.txt"));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return pid_ > 0;
  }

  // input: what the virtual device records (SOLVANE_AUDIO_INPUT); wav: what the play scenes load.
  bool Start(const std::string& display, const std::string& wav, const std::string& input) {
    home_ = dir_.Path("home");
    ::mkdir(home_.c_str(), 0700);
    const std::string tmp = dir_.Path("tmp"), run = dir_.Path("run");
    ::mkdir(tmp.c_str(), 0700);
    ::mkdir(run.c_str(), 0700);
    WriteFile(home_ + "/Solvane.ini",
              std::string("[Standard Cart]\r\nFORMAT=") + kStandardFormat + "\r\nLENGTH=1000\r\n");
    WriteFile(dir_.Path("answers"), "file " + wav + "\nYes\nYes\n");
    control_ = dir_.Path("control");
    log_ = dir_.Path("control.log");
    ::mkfifo(control_.c_str(), 0600);
    controlFd_ = ::open(control_.c_str(), O_RDWR | O_CLOEXEC);
    if (!MapCounters()) return false;
    std::vector<std::string> env = OwnEnvironment();
    for (const std::string& v :
         {"DISPLAY=" + display, std::string("QT_QPA_PLATFORM=xcb"), "SOLVANE_HOME=" + home_, "TMPDIR=" + tmp,
          "XDG_RUNTIME_DIR=" + run, std::string("SOLVANE_AUDIO=virtual"), "SOLVANE_AUDIO_INPUT=" + input,
          "SOLVANE_DIALOG_SCRIPT=" + dir_.Path("answers"), "SOLVANE_DIALOG_LOG=" + dir_.Path("dialogs.log"),
          "SOLVANE_TEST_CONTROL=" + control_, "SOLVANE_TEST_CONTROL_LOG=" + log_, "LD_PRELOAD=" + o_.counter,
          "DECK_PAINTS=" + counterPath_})
      env.push_back(v);
    pid_ = Spawn({o_.binary}, env, dir_.Path("output.txt"));
    return pid_ > 0 && Sync();
  }

  void Key(const std::string& k) { Command("key " + k); }

  // Waits until the program is at rest and returns its deck line.
  bool Sync(std::string* line = nullptr) {
    const std::string tag = "t" + std::to_string(++syncs_);
    Command("sync " + tag);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
      const std::string log = ReadFile(log_);
      const size_t at = log.find("synced " + tag + " ");
      if (at != std::string::npos) {
        if (line) *line = log.substr(at, log.find('\n', at) - at);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Waits for one of the deck's states (empty, loaded, stopped, recording, playing, paused).
  bool SyncUntil(const std::vector<std::string>& states) {
    for (int i = 0; i < 50; ++i) {
      std::string& line = last_;
      if (!Sync(&line)) return false;
      for (const std::string& state : states)
        if (line.find("deck=" + state + " ") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  pid_t Pid() const { return pid_; }
  uint64_t Puts() const { return counters_ ? counters_->puts.load() : 0; }
  uint64_t Flushes() const { return counters_ ? counters_->flushes.load() : 0; }
  std::string Trouble() {
    return last_ + "\n" + ReadFile(dir_.Path("output.txt")) + ReadFile(dir_.Path("dialogs.log"));
  }

private:
  // The paint counters the preloaded library writes into.
  bool MapCounters() {
    counterPath_ = dir_.Path("paints");
    const int fd = ::open(counterPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, sizeof(DeckPaintCounters)) != 0) return false;
    void* p = ::mmap(nullptr, sizeof(DeckPaintCounters), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return false;
    counters_ = static_cast<DeckPaintCounters*>(p);
    return true;
  }
  // This environment without what the measured program is given by us.
  static std::vector<std::string> OwnEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string v = *e;
      if (v.rfind("SOLVANE_", 0) != 0 && v.rfind("QT_", 0) != 0 && v.rfind("DISPLAY=", 0) != 0 &&
          v.rfind("LD_PRELOAD=", 0) != 0 && v.rfind("TMPDIR=", 0) != 0 && v.rfind("XDG_RUNTIME_DIR=", 0) != 0)
        env.push_back(v);
    }
    return env;
  }

  void Command(const std::string& line) {
    const std::string l = line + "\n";
    if (::write(controlFd_, l.data(), l.size()) != ssize_t(l.size())) std::perror("control");
  }

  const Options& o_;
  Scratch dir_;
  std::string home_, control_, log_, counterPath_, last_;
  int controlFd_ = -1;
  pid_t pid_ = -1;
  int syncs_ = 0;
  DeckPaintCounters* counters_ = nullptr;
};

// ---- one scene ----

struct Result {
  double programCpu = 0, xCpu = 0;                            // percent of one core
  double wakeups = 0, involuntary = 0, paints = 0, puts = 0;  // per second
  double load = 0;
  std::map<std::string, ThreadCount> threads;  // per second
  bool ok = false;
};

bool Prepare(Deck& d, const std::string& scene) {
  const bool needles = scene.find("needles") != std::string::npos;
  if (needles) d.Key("Ctrl+M");
  if (scene.rfind("play", 0) == 0) {
    d.Key("Ctrl+A");
    if (!d.SyncUntil({"loaded", "stopped"})) return false;
    d.Key("F3");
    return d.SyncUntil({"playing"});
  }
  d.Key("Ctrl+S");
  if (!d.SyncUntil({"loaded", "stopped"})) return false;
  if (scene.rfind("record", 0) == 0) {
    d.Key("F5");
    return d.SyncUntil({"recording"});
  }
  return true;
}

// What the virtual device records in a scene: the music unless the scene names a steady input.
std::string SceneInput(const std::string& scene, const std::string& wav) {
  if (scene.find("-tone") != std::string::npos) return "tone:1000";
  if (scene.find("-silence") != std::string::npos) return "silence";
  return "wav:" + wav;
}

Result RunScene(const Options& o, const std::string& scene, const std::string& wav, const std::string& xlog) {
  Result r;
  XServer x;
  if (!x.Start(xlog)) {
    std::fprintf(stderr, "cannot start Xvfb\n");
    return r;
  }
  Deck d(o);
  const bool started = scene == "floor" ? d.StartFloor(x.display, o.seconds)
                                        : d.Start(x.display, wav, SceneInput(scene, wav)) && Prepare(d, scene);
  if (!started) {
    std::fprintf(stderr, "%s: the deck did not get there\n%s\n", scene.c_str(), d.Trouble().c_str());
    return r;
  }
  // Let start-up work and the first paints settle.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double load0 = LoadAverage();
  const ProcessSample p0 = Sample(d.Pid()), x0 = Sample(x.pid);
  const uint64_t puts0 = d.Puts(), flushes0 = d.Flushes();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(o.seconds));
  const ProcessSample p1 = Sample(d.Pid()), x1 = Sample(x.pid);
  const uint64_t puts1 = d.Puts(), flushes1 = d.Flushes();
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  if (scene == "idle" && !o.picture.empty()) {
    pid_t shot = Spawn({"import", "-window", "root", o.picture}, {"PATH=/usr/bin:/bin", "DISPLAY=" + x.display}, xlog);
    int status = 0;
    if (shot <= 0 || ::waitpid(shot, &status, 0) != shot || status != 0)
      std::fprintf(stderr, "cannot save the picture (import, from ImageMagick, is needed)\n");
  }
  r.load = (load0 + LoadAverage()) / 2;
  r.programCpu = 100 * (p1.cpu - p0.cpu) / secs;
  r.xCpu = 100 * (x1.cpu - x0.cpu) / secs;
  r.wakeups = double(p1.voluntary - p0.voluntary) / secs;
  r.involuntary = double(p1.involuntary - p0.involuntary) / secs;
  r.paints = double(flushes1 - flushes0) / secs;
  r.puts = double(puts1 - puts0) / secs;
  for (const auto& [name, c1] : p1.byThread) {
    const auto it = p0.byThread.find(name);
    const ThreadCount c0 = it == p0.byThread.end() ? ThreadCount{} : it->second;
    r.threads[name] = {100 * (c1.cpu - c0.cpu) / secs, uint64_t((c1.voluntary - c0.voluntary) / secs),
                       uint64_t((c1.involuntary - c0.involuntary) / secs)};
  }
  r.ok = true;
  return r;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, ','))
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--binary") o.binary = next();
    else if (a == "--seconds") o.seconds = std::atof(next().c_str());
    else if (a == "--runs") o.runs = std::max(1, std::atoi(next().c_str()));
    else if (a == "--scenes") o.scenes = Split(next());
    else if (a == "--threads") o.threads = true;
    else if (a == "--picture") o.picture = next();
    else {
      std::fprintf(stderr,
                   "usage: %s [--binary PATH] [--seconds S] [--runs N] [--scenes idle,record,play,"
                   "record-needles,play-needles,record-tone,record-silence,record-needles-tone,"
                   "record-needles-silence,floor] [--threads] [--picture FILE]\n",
                   argv[0]);
      return 2;
    }
  }
  Scratch work;
  const std::string wav = work.Path("music.wav");
  if (!WriteFile(wav, MusicWav(30))) return 1;

  std::printf("%s, %u cores; %.0f s windows, %d runs a scene\n", o.binary.c_str(), std::thread::hardware_concurrency(),
              o.seconds, o.runs);
  std::printf("%-22s %4s %9s %9s %9s %10s %8s %9s %8s %6s\n", "scene", "run", "program%", "X%", "sum%", "wakeups/s",
              "invol/s", "paints/s", "puts/s", "load");
  std::map<std::string, std::vector<Result>> all;
  for (int run = 1; run <= o.runs; ++run)
    for (const std::string& scene : o.scenes) {
      const Result r = RunScene(o, scene, wav, work.Path("xvfb.log"));
      if (!r.ok) return 1;
      all[scene].push_back(r);
      std::printf("%-22s %4d %9.2f %9.2f %9.2f %10.0f %8.0f %9.1f %8.1f %6.2f\n", scene.c_str(), run, r.programCpu,
                  r.xCpu, r.programCpu + r.xCpu, r.wakeups, r.involuntary, r.paints, r.puts, r.load);
      if (o.threads)
        for (const auto& [name, c] : r.threads)
          if (c.cpu >= 0.01 || c.voluntary > 0)
            std::printf("    %-24s %6.2f %% %6llu wakeups/s %5llu invol/s\n", name.c_str(), c.cpu,
                        (unsigned long long)c.voluntary, (unsigned long long)c.involuntary);
      std::fflush(stdout);
    }

  std::printf("\nmedians\n%-22s %9s %9s %9s %10s %8s %9s %8s %6s\n", "scene", "program%", "X%", "sum%", "wakeups/s",
              "invol/s", "paints/s", "puts/s", "load");
  for (const std::string& scene : o.scenes) {
    const auto& rs = all[scene];
    auto med = [&](double Result::*f) {
      std::vector<double> v;
      for (const Result& r : rs) v.push_back(r.*f);
      return Median(v);
    };
    std::vector<double> sums;
    for (const Result& r : rs) sums.push_back(r.programCpu + r.xCpu);
    std::printf("%-22s %9.2f %9.2f %9.2f %10.0f %8.0f %9.1f %8.1f %6.2f\n", scene.c_str(), med(&Result::programCpu),
                med(&Result::xCpu), Median(sums), med(&Result::wakeups), med(&Result::involuntary),
                med(&Result::paints), med(&Result::puts), med(&Result::load));
  }
  return 0;
}
