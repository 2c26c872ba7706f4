#include "SoundServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

std::map<std::string, std::string> ReadEnv(const std::string& path) {
  std::map<std::string, std::string> vars;
  std::ifstream f(path);
  std::string line;
  while (std::getline(f, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) vars[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return vars;
}

std::vector<std::string> WithVars(const std::map<std::string, std::string>& ours) {
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    if (!ours.count(v.substr(0, v.find('=')))) vars.push_back(v);
  }
  for (const auto& [k, v] : ours) vars.push_back(k + "=" + v);
  return vars;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

// ---- the server ---------------------------------------------------------------------------------

SoundServer::SoundServer(std::string dir, std::string script, bool ownAlsaPlugin)
    : dir_(std::move(dir)), script_(std::move(script)), ownAlsaPlugin_(ownAlsaPlugin) {
  while (!dir_.empty() && dir_.back() == '/') dir_.pop_back();
  ok_ = Start();
}

SoundServer::~SoundServer() { Script("stop"); }

bool SoundServer::Script(const std::string& command, const std::string& arg) const {
  const std::string line = script_ + " " + command + " '" + dir_ + "' " + arg;
  return std::system(line.c_str()) == 0;
}

bool SoundServer::Start() { return ok_ = Script("start"); }

void SoundServer::Stop() {
  Script("stop");
  ok_ = false;
}

pid_t SoundServer::Pid(const std::string& pidFile) const {
  std::ifstream f(dir_ + "/" + pidFile);
  pid_t pid = 0;
  return f >> pid && pid > 0 ? pid : 0;
}

void SoundServer::Kill(const std::string& pidFile) {
  const pid_t pid = Pid(pidFile);
  if (pid > 0) ::kill(pid, SIGKILL);
  // The script started it: it is reaped there, so wait for its socket to go quiet instead.
  for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i) ::usleep(10000);
  if (pidFile == "pid") ok_ = false;
}

std::map<std::string, std::string> SoundServer::Environment() const {
  std::map<std::string, std::string> vars = ReadEnv(dir_ + "/env");
  if (ownAlsaPlugin_) vars.erase("PULSE_SERVER");
  return vars;
}

std::string SoundServer::PulseServer() const { return ReadEnv(dir_ + "/env")["PULSE_SERVER"]; }

bool SoundServer::Pactl(const std::string& args) const {
  std::string line = "env";
  for (const auto& [k, v] : Environment()) line += " '" + k + "=" + v + "'";
  line += " pactl '--server=" + PulseServer() + "' " + args + " >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

// ---- a listener ---------------------------------------------------------------------------------

Listener::Listener(const SoundServer& server, const std::string& source) {
  Spawn(server, {"parec", "--server=" + server.PulseServer(), "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                 "--latency-msec=20", "--device=" + source});
}

Listener::Listener(const SoundServer& server, unsigned bufferUs, unsigned periodUs) {
  Spawn(server, {"arecord", "-q", "-D", "default", "-t", "raw", "-f", "S16_LE", "-r", "44100", "-c", "2",
                 "--buffer-time=" + std::to_string(bufferUs), "--period-time=" + std::to_string(periodUs)});
}

void Listener::Spawn(const SoundServer& server, std::vector<std::string> args) {
  int pipes[2];
  if (::pipe2(pipes, O_CLOEXEC) != 0) return;
  std::vector<std::string> vars = WithVars(server.Environment());
  std::vector<char*> argv = Pointers(args), envp = Pointers(vars);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipes[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipes[1]);
  fd_ = pipes[0];
  pid_ = pid;
  if (pid_ > 0) reader_ = std::thread([this] { Read(); });
}

Listener::~Listener() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (reader_.joinable()) reader_.join();
  if (fd_ >= 0) ::close(fd_);
}

void Listener::Read() {
  char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return;
    std::lock_guard<std::mutex> l(m_);
    bytes_.append(buf, size_t(n));
  }
}

uint64_t Listener::Frames() {
  std::lock_guard<std::mutex> l(m_);
  return bytes_.size() / 4;
}

std::vector<int16_t> Listener::Samples() {
  std::lock_guard<std::mutex> l(m_);
  return Samples16(bytes_.substr(0, bytes_.size() / 4 * 4));
}

// ---- judging audio ------------------------------------------------------------------------------

std::vector<int16_t> Samples16(const std::string& data) {
  std::vector<int16_t> s(data.size() / 2);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = int16_t(uint16_t(uint8_t(data[2 * i])) | uint16_t(uint8_t(data[2 * i + 1])) << 8);
  return s;
}

std::vector<size_t> SineBreaks(const std::vector<int16_t>& stereo, double hz) {
  std::vector<size_t> breaks;
  const size_t frames = stereo.size() / 2;
  int peak = 0;
  for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::abs(int(stereo[2 * i])));
  // Two rounded samples predict the next within a few steps; a splice misses by a fair part of
  // the amplitude unless it happens to land in phase.
  const double c = 2 * std::cos(2 * M_PI * hz / kRate);
  const double tolerance = std::max(12.0, peak / 64.0);
  for (size_t i = 2; i < frames; ++i) {
    const double predicted = c * stereo[2 * (i - 1)] - stereo[2 * (i - 2)];
    if (std::abs(predicted - stereo[2 * i]) > tolerance) {
      breaks.push_back(i);
      i += 2;  // one break, not the three predictions it spoils
    }
  }
  return breaks;
}

std::string CounterPcm(size_t frames) {
  std::string s;
  s.reserve(frames * 4);
  for (size_t i = 0; i < frames; ++i) {
    const uint16_t l = uint16_t(1 + (i & 0x3FFF)), r = uint16_t(1 + (i >> 14));
    s += char(l & 0xFF);
    s += char(l >> 8);
    s += char(r & 0xFF);
    s += char(r >> 8);
  }
  return s;
}

int64_t CounterFrame(int16_t left, int16_t right) {
  if (left < 1 || left > 0x4000 || right < 1) return -1;
  return int64_t(right - 1) << 14 | int64_t(left - 1);
}
