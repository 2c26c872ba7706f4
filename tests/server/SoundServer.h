#pragma once
// A private sound server for whole-program tests (scripts/sound-server.sh for PulseAudio,
// scripts/pipewire-server.sh for PipeWire), and a listener on one of its sources that counts what
// arrives there: the tests' clock, in frames, and their record of what a sink received.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SoundServer {
public:
  // Starts the server of the script with everything under dir. ALSA programs reach a PipeWire
  // server through PulseAudio's ALSA plugin, or with ownAlsaPlugin through PipeWire's own (see
  // scripts/pipewire-server.sh).
  explicit SoundServer(std::string dir, std::string script = SOUND_SERVER_SCRIPT, bool ownAlsaPlugin = false);
  ~SoundServer();
  SoundServer(const SoundServer&) = delete;
  SoundServer& operator=(const SoundServer&) = delete;

  bool Start();
  bool Ok() const { return ok_; }
  // Ends the server at once, as a crash would; or another of the script's processes, by the name
  // of its pid file (PipeWire's session manager: "wireplumber.pid").
  void Kill(const std::string& pidFile = "pid");
  // The pid of one of the script's processes (see Kill), or 0.
  pid_t Pid(const std::string& pidFile = "pid") const;
  // Ends the server in order, leaving its folder (and the program's way to it) as it was.
  void Stop();
  // What a program needs in its environment to reach the server through ALSA's default device.
  std::map<std::string, std::string> Environment() const;
  // The address at which PulseAudio's clients (pactl, parec) reach the server.
  std::string PulseServer() const;
  // Runs pactl with these arguments; true when it succeeded.
  bool Pactl(const std::string& args) const;
  // PipeWire: moves audio in blocks of this many frames from now on.
  bool Quantum(int frames) const { return Script("quantum", std::to_string(frames)); }
  const std::string& Dir() const { return dir_; }

private:
  bool Script(const std::string& command, const std::string& arg = "") const;
  std::string dir_, script_;
  bool ownAlsaPlugin_ = false;
  bool ok_ = false;
};

// Everything one source of the server delivers from now on, as 16-bit stereo at 44.1 kHz.
class Listener {
public:
  Listener(const SoundServer& server, const std::string& source);
  // The same through ALSA's default device as a program records it, with a buffer and period of
  // these many microseconds (arecord).
  Listener(const SoundServer& server, unsigned bufferUs, unsigned periodUs);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool Ok() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  uint64_t Frames();
  std::vector<int16_t> Samples();  // interleaved, left then right

private:
  void Spawn(const SoundServer& server, std::vector<std::string> args);
  void Read();
  pid_t pid_ = -1;
  int fd_ = -1;
  std::mutex m_;
  std::string bytes_;
  std::thread reader_;
};

// ---- judging audio ----

constexpr uint32_t kRate = 44100;

// Frames of interleaved stereo samples at which a steady sine of this frequency breaks its phase
// (a splice, a gap, a repeat). The first two frames start the prediction.
std::vector<size_t> SineBreaks(const std::vector<int16_t>& stereo, double hz);
// The samples of a PCM data chunk.
std::vector<int16_t> Samples16(const std::string& data);
// A test signal that names its own frame: left 1 + low 14 bits, right 1 + the rest.
std::string CounterPcm(size_t frames);
// The frame a counter frame names, or -1 for anything else (silence).
int64_t CounterFrame(int16_t left, int16_t right);
