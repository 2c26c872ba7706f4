#include "Studio.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "engine/MMWaveIO.h"
#include "platform/audio/virtual_audio.h"
#include "platform/system/clock.h"
#include "platform/system/files.h"

extern char** environ;

namespace {

void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(s[at + size_t(i)]);
  return v;
}

std::string Field(const std::string& line, const std::string& key) {
  const std::string k = " " + key + "=";
  size_t at = line.find(k);
  if (at == std::string::npos) return {};
  at += k.size();
  if (key == "file") return line.substr(at);
  return line.substr(at, line.find(' ', at) - at);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// The lines the program has finished writing to a file it appends to: one it is still writing
// (read part-way, without its line end) does not count yet.
std::vector<std::string> WrittenLines(const std::string& text) {
  const size_t end = text.rfind('\n');
  return end == std::string::npos ? std::vector<std::string>{} : Lines(text.substr(0, end + 1));
}

}  // namespace

// ---- the studio -------------------------------------------------------------------------------

Studio::Studio() {
  home = dir.Path("home/");
  temp = dir.Path("tmp/");
  deckTemp = temp + "Solvane/";
  capture = dir.Path("capture/");
  state = dir.Path("state/");
  for (const std::string& d : {home, temp, capture, dir.Path("run/")}) plat::ForceDirectories(d);
  ::chmod(dir.Path("run").c_str(), 0700);
  script_ = dir.Path("answers");
  dialogLog_ = dir.Path("dialogs.log");
  pace_ = dir.Path("pace");
  paceAck_ = dir.Path("pace.ack");
  control_ = dir.Path("control");
  controlLog_ = dir.Path("control.log");
  output_ = dir.Path("output.txt");
  ::mkfifo(pace_.c_str(), 0600);
  ::mkfifo(control_.c_str(), 0600);
  // Read-write: opening never blocks, and lines wait in the pipe until the program reads them.
  paceFd_ = ::open(pace_.c_str(), O_RDWR | O_CLOEXEC);
  controlFd_ = ::open(control_.c_str(), O_RDWR | O_CLOEXEC);
  Answers({});
  EXPECT_TRUE(pty_.Ok());
}

Studio::~Studio() {
  Kill();
  if (paceFd_ >= 0) ::close(paceFd_);
  if (controlFd_ >= 0) ::close(controlFd_);
}

void Studio::Settings(const std::vector<std::string>& lines) {
  std::string text =
      "; Settings File for Solvane\r\n[GPI]\r\nENABLE=1\r\nON LOAD=LOAD{{CRLF}}\r\n"
      "ON RECORD=REC{{CRLF}}\r\nON STOP=STOP{{crlf}}\r\nON EXIT=EXIT{{CrLf}}\r\n";
  for (const std::string& l : lines) text += l + "\r\n";
  EXPECT_TRUE(Write(home + "Solvane.ini", text));
}

void Studio::Answers(const std::vector<std::string>& lines) {
  std::string text = "# answers of this test\n";
  for (const std::string& l : lines) text += l + "\n";
  EXPECT_TRUE(Write(script_, text));
}

void Studio::RunAs(uid_t uid, gid_t gid, gid_t shared) {
  const std::string program = dir.Path("solvane");
  EXPECT_TRUE(plat::CopyFile(SOLVANE_BINARY, program));
  // The sanitizers' suppressions, wherever the build lies, are read by the account from here.
  if (const char* lsan = std::getenv("LSAN_OPTIONS")) {
    std::string options = lsan;
    const size_t at = options.find("suppressions=");
    if (at != std::string::npos) {
      const size_t from = at + 13, end = options.find(':', from);
      const std::string copy = dir.Path("lsan.supp");
      EXPECT_TRUE(plat::CopyFile(options.substr(from, end == std::string::npos ? end : end - from), copy));
      options.replace(from, end == std::string::npos ? std::string::npos : end - from, copy);
      environment["LSAN_OPTIONS"] = options;
    }
  }
  runAs_ = {"/usr/bin/setpriv",
            "--reuid=" + std::to_string(uid),
            "--regid=" + std::to_string(gid),
            "--groups=" + std::to_string(shared),
            "--",
            program};
}

void Studio::Umask(mode_t mask) {
  for (const std::string& log : {dialogLog_, paceAck_, controlLog_, output_, dir.Path("activate.log")})
    if (!plat::FileExists(log)) {
      EXPECT_TRUE(Write(log, ""));
    }
  umask_ = int(mask);
}

bool Studio::Start(const std::vector<std::string>& args) {
  Kill();
  pid_ = Spawn(args);
  return pid_ > 0;
}

pid_t Studio::Spawn(const std::vector<std::string>& args) {
  std::map<std::string, std::string> ours = {{"SOLVANE_HOME", home},
                                             {"TMPDIR", temp},
                                             {"XDG_STATE_HOME", state},
                                             {"XDG_RUNTIME_DIR", dir.Path("run")},
                                             {"QT_QPA_PLATFORM", "offscreen"},
                                             {"SOLVANE_COM1", pty_.SlavePath()},
                                             {"SOLVANE_AUDIO", "virtual"},
                                             {"SOLVANE_AUDIO_CLOCK", "manual"},
                                             {"SOLVANE_AUDIO_LOSSLESS", "1"},
                                             {"SOLVANE_AUDIO_INPUT", "pattern"},
                                             {"SOLVANE_AUDIO_CAPTURE", capture},
                                             {"SOLVANE_AUDIO_PACE", pace_},
                                             {"SOLVANE_AUDIO_PACE_ACK", paceAck_},
                                             {"SOLVANE_DIALOG_SCRIPT", script_},
                                             {"SOLVANE_DIALOG_LOG", dialogLog_},
                                             {"SOLVANE_TEST_CONTROL", control_},
                                             {"SOLVANE_TEST_CONTROL_LOG", controlLog_},
                                             {"SOLVANE_ACTIVATE_LOG", dir.Path("activate.log")}};
  for (const auto& [name, value] : environment) ours[name] = value;
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    std::string name = v.substr(0, v.find('='));
    if (!ours.count(name) && name.rfind("SOLVANE_", 0) != 0) vars.push_back(v);
  }
  for (const auto& [name, value] : ours)
    if (!value.empty()) vars.push_back(name + "=" + value);
  std::vector<char*> envp, argv;
  for (std::string& v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore = {SOLVANE_BINARY};
  if (!runAs_.empty()) {
    // Everything the studio made so far, answers and settings included, is the account's.
    const std::string uid = runAs_[1].substr(8), gid = runAs_[2].substr(8);
    const std::string chown = "chown -R " + uid + ":" + gid + " '" + dir.Root() + "'";
    EXPECT_EQ(0, std::system(chown.c_str()));
    EXPECT_EQ(0, ::chown(pty_.SlavePath().c_str(), uid_t(std::stoul(uid)), gid_t(-1)));
    argStore = runAs_;
  }
  argStore.insert(argStore.end(), args.begin(), args.end());
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outputFd >= 0) posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
  else posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclose(&actions, 0);
  pid_t pid = -1;
  const mode_t own = umask_ >= 0 ? ::umask(mode_t(umask_)) : 0;
  int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  if (umask_ >= 0) ::umask(own);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

int Studio::WaitExit() {
  const int code = WaitExit(pid_);
  if (code != -1) pid_ = -1;
  return code;
}

int Studio::WaitExit(pid_t pid) { return WaitExit(pid, kPatienceMs); }

int Studio::WaitExitWithin(int ms) {
  const int code = WaitExit(pid_, ms);
  if (code != -1) pid_ = -1;
  return code;
}

int Studio::WaitExit(pid_t pid, int patienceMs) {
  if (pid <= 0) return -1;
  int code = -1;
  WaitFor(
      [&] {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) != pid) return false;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
      },
      patienceMs);
  return code;
}

bool Studio::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void Studio::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void Studio::Command(const std::string& line) {
  std::string l = line + "\n";
  ASSERT_EQ(::write(controlFd_, l.data(), l.size()), ssize_t(l.size()));
}

void Studio::Key(const std::string& keys) { Command("key " + keys); }
void Studio::Type(const std::string& text) { Command("type " + text); }
void Studio::CloseWindow() { Command("close"); }

DeckView Studio::Sync() {
  const std::string tag = std::to_string(++syncs_);
  Command("sync " + tag);
  const std::string want = "synced " + tag + " ";
  std::string line;
  const bool got = WaitFor([&] {
    for (const std::string& l : WrittenLines(Read(controlLog_)))
      if (l.rfind(want, 0) == 0) {
        line = l;
        return true;
      }
    return !Running();
  });
  DeckView v;
  if (!got || line.empty()) {
    ADD_FAILURE() << "the program did not come to rest (sync " << tag << ")" << (Running() ? "" : ": it has ended")
                  << "\n"
                  << Output();
    return v;
  }
  v.modal = Field(line, "modal");
  v.deck = Field(line, "deck");
  v.kind = Field(line, "kind");
  v.pos = Field(line, "pos");
  v.file = Field(line, "file");
  return v;
}

DeckView Studio::SyncUntil(const std::function<bool(const DeckView&)>& pred, const std::string& what) {
  DeckView v;
  const bool ok = WaitFor([&] {
    v = Sync();
    return pred(v) || v.deck.empty();
  });
  EXPECT_TRUE(ok && pred(v)) << "the deck never came to: " << what << " (deck=" << v.deck << " modal=" << v.modal
                             << ")";
  return v;
}

void Studio::Run(uint32_t ms) {
  // What was pressed before has been handled when the clock moves.
  Sync();
  for (uint32_t done = 0; done < ms; done += 100) {
    StepClock(std::min<uint32_t>(100, ms - done));
    Sync();
  }
}

std::string Studio::RecordTake(uint32_t ms) {
  Key("Ctrl+S");
  Key("F5");
  Run(ms);
  Key("F4");
  const DeckView v = Sync();
  EXPECT_EQ("stopped", v.deck);
  return Read(v.file);
}

void Studio::RunUnrested(uint32_t ms) {
  for (uint32_t done = 0; done < ms; done += 100) StepClock(std::min<uint32_t>(100, ms - done));
}

void Studio::StepClock(uint32_t ms) {
  const size_t acks = WrittenLines(Read(paceAck_)).size();
  std::string l = "step " + std::to_string(ms) + "\n";
  ASSERT_EQ(::write(paceFd_, l.data(), l.size()), ssize_t(l.size()));
  ASSERT_TRUE(WaitFor([&] { return WrittenLines(Read(paceAck_)).size() > acks || !Running(); }))
      << "the sound device's clock did not move";
  ASSERT_TRUE(Running()) << Output();
}

void Studio::StallDisk() { Command("stall"); }
void Studio::ReleaseDisk() { Command("release"); }

std::string Studio::Gpi(size_t want) {
  std::string got;
  WaitFor([&] {
    got += pty_.Arrived();
    return got.size() >= want;
  });
  return got;
}

std::vector<std::string> Studio::DialogLog() const { return WrittenLines(Read(dialogLog_)); }
std::string Studio::Output() const { return Read(output_); }

bool Studio::WaitFor(const std::function<bool()>& pred, int patienceMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    plat::SleepMs(2);
  }
  return true;
}

std::string Studio::Read(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

bool Studio::Write(const std::string& path, const std::string& data) { return plat::WriteWholeFile(path, data); }

// ---- WAV files --------------------------------------------------------------------------------

const RiffChunk* WavFile::Find(const std::string& id) const {
  for (const RiffChunk& c : chunks)
    if (c.id == id) return &c;
  return nullptr;
}

std::string WavFile::Data() const {
  const RiffChunk* d = Find("data");
  return d ? bytes.substr(d->offset, d->size) : std::string();
}

WavFile ReadWav(const std::string& path) {
  WavFile w;
  if (!plat::ReadWholeFile(path, w.bytes) || w.bytes.size() < 12) return w;
  if (w.bytes.compare(0, 4, "RIFF") != 0 || w.bytes.compare(8, 4, "WAVE") != 0) return w;
  w.riffSize = Get32(w.bytes, 4);
  size_t at = 12;
  while (at + 8 <= w.bytes.size()) {
    RiffChunk c{w.bytes.substr(at, 4), Get32(w.bytes, at + 4), at + 8};
    if (c.offset + c.size > w.bytes.size()) return w;
    w.chunks.push_back(c);
    at = c.offset + c.size + (c.size & 1);
  }
  w.ok = at == w.bytes.size();
  return w;
}

EngineView ReadWithEngine(const std::string& path) {
  EngineView v;
  PWaveIOBlock b;
  if (WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile) != wioOk || !b->PFormat()) return v;
  v.ok = true;
  v.format = *b->PFormat();
  v.dataOffset = b->DataOffset;
  v.dataSize = b->DataSize;
  v.samples = b->TotalSamples;
  return v;
}

std::string SndfileInfo(const std::string& path) {
  if (plat::FindProgram("sndfile-info").empty()) return {};
  std::string out;
  if (FILE* p = ::popen(("sndfile-info '" + path + "' 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

std::string InfoField(const std::string& info, const std::string& key) {
  for (const std::string& line : Lines(info)) {
    if (line.rfind(key, 0) != 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || line.find_first_not_of(' ', key.size()) != colon) continue;
    std::string v = line.substr(colon + 1);
    v.erase(0, v.find_first_not_of(' '));
    return v;
  }
  return {};
}

bool IsPattern(const std::string& data, const WAVEFORMATEX& f, uint64_t firstFrame) {
  return plat::MatchesVirtualPattern(reinterpret_cast<const uint8_t*>(data.data()), data.size(), f, firstFrame);
}

std::string MakeWav(const WAVEFORMATEX& f, const std::string& data) {
  std::string s = "RIFF";
  Put32(s, uint32_t(36 + data.size() + (data.size() & 1)));
  s += "WAVEfmt ";
  Put32(s, 16);
  Put16(s, f.wFormatTag);
  Put16(s, f.nChannels);
  Put32(s, f.nSamplesPerSec);
  Put32(s, f.nAvgBytesPerSec);
  Put16(s, f.nBlockAlign);
  Put16(s, f.wBitsPerSample);
  s += "data";
  Put32(s, uint32_t(data.size()));
  s += data;
  if (data.size() & 1) s += '\0';
  return s;
}
