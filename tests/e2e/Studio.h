#pragma once
// The whole program in a studio of its own: its program folder and temporary folder in a scratch
// folder, the virtual sound device recording the frame-counter pattern without loss on a clock the
// test moves, the GPI port on a pseudo-terminal, every dialog answered from a script, and the keys
// pressed through the program's test control FIFO. Nothing here waits on the wall clock to decide
// a result: every wait is for a reply, a file or bytes, with a deadline that only a failure reaches.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/pty.h"
#include "common/scratch.h"
#include "common/wave_format.h"
#include "platform/audio/wave_types.h"

using plat::WAVEFORMATEX;

// What the deck reported when it was at rest.
struct DeckView {
  std::string modal;  // class of the modal form in front, else PopupMenu, MessageBox or FileDialog; "-" for none
  std::string deck;   // empty, loaded, stopped, recording, playing, paused; stopping: the take waits for its disk
  std::string kind;   // cart kind, "-" for none
  std::string pos;    // the Current Position display
  std::string file;   // the record file name
};

class Studio {
public:
  // GPI strings as the settings give them and as they arrive on the line.
  static constexpr const char* kLoad = "LOAD\r\n";
  static constexpr const char* kRecord = "REC\r\n";
  static constexpr const char* kStop = "STOP\r\n";
  static constexpr const char* kExit = "EXIT\r\n";

  Studio();
  ~Studio();

  // ---- before a start ----
  // Writes Solvane.ini: the GPI section that sends the four strings above, then these lines.
  void Settings(const std::vector<std::string>& lines);
  // Writes the file of dialog answers (the format of the program's dialog script).
  void Answers(const std::vector<std::string>& lines);

  // ---- the program ----
  // From the next start on, the program runs as another account (only root can ask this): user
  // uid with its own group gid and the further group shared, as setpriv sets them. The studio's
  // folders become that account's at each start; the program is started from a copy of its own,
  // so no folder on the way to the build needs to let the account in.
  void RunAs(uid_t uid, gid_t gid, gid_t shared);
  // From the next start on, the program runs under this umask. The files of the studio's that it
  // appends to are made first, so that it still reaches them under one that takes its own rights.
  void Umask(mode_t mask);
  bool Start(const std::vector<std::string>& args = {});
  // Another start beside the one the studio drives; its process id, or -1.
  pid_t Spawn(const std::vector<std::string>& args = {});
  // The exit code once the program has ended, -1 when it has not ended within the patience.
  int WaitExit();
  static int WaitExit(pid_t pid);
  // The exit code when the program ends within ms, else -1 (it is left running).
  int WaitExitWithin(int ms);
  bool Running();
  void Kill();  // SIGKILL, as a power cut would
  pid_t Pid() const { return pid_; }

  // ---- the operator ----
  void Key(const std::string& keys);
  void Type(const std::string& text);
  void CloseWindow();
  // Waits until the program is at rest and returns what the deck shows.
  DeckView Sync();
  // Syncs until pred holds for the deck.
  DeckView SyncUntil(const std::function<bool(const DeckView&)>& pred, const std::string& what);
  // Moves the sound devices' clock on by ms, 100 ms at a time with the program at rest between
  // steps, so a lossless input never has more owed to it than its buffers hold.
  void Run(uint32_t ms);
  // Loads a blank standard cart (Ctrl+S), records ms of it and stops; the take's bytes.
  std::string RecordTake(uint32_t ms);
  // The same without waiting for the program to come to rest: its disk may be stalled.
  void RunUnrested(uint32_t ms);
  // Moves the clock on by ms in one step, as when the program was held up that long: an input
  // that may lose audio (SOLVANE_AUDIO_LOSSLESS emptied) keeps what its buffers hold.
  void Jump(uint32_t ms) { StepClock(ms); }
  // From now on the program's writes of a recording wait, as on a disk that answers nothing.
  void StallDisk();
  void ReleaseDisk();

  // ---- what the studio sees ----
  // The GPI bytes that arrived, reading until want bytes are there (or the patience runs out).
  std::string Gpi(size_t want);
  // The dialogs shown so far, one log line each.
  std::vector<std::string> DialogLog() const;
  // The text of the program's stdout and stderr.
  std::string Output() const;

  // ---- paths ----
  // state is the account's state folder (XDG_STATE_HOME), which the program makes when it needs it.
  std::string home, temp, deckTemp, capture, state;
  // The program's environment beyond the studio's own: each entry replaces the studio's variable
  // of that name, and an empty value removes it (a real sound device instead of the virtual one).
  std::map<std::string, std::string> environment;
  // When set, the program's stdout and stderr go to this descriptor instead of Output()'s file.
  int outputFd = -1;
  Scratch dir;

  // How long a reply, a file or a byte may take before the test counts it as lost. Only a failure
  // waits this long; a loaded two-core machine answers within a second.
  static constexpr int kPatienceMs = 60000;
  // Waits for pred; false when the patience ran out.
  static bool WaitFor(const std::function<bool()>& pred, int patienceMs = kPatienceMs);
  static std::string Read(const std::string& path);
  static bool Write(const std::string& path, const std::string& data);

private:
  static int WaitExit(pid_t pid, int patienceMs);
  void Command(const std::string& line);
  void StepClock(uint32_t ms);
  PtyPair pty_;
  std::string script_, dialogLog_, pace_, paceAck_, control_, controlLog_, output_;
  int paceFd_ = -1, controlFd_ = -1;
  pid_t pid_ = -1;
  int syncs_ = 0;
  std::vector<std::string> runAs_;  // the setpriv command line before the program's
  int umask_ = -1;                   // the program's umask when set, else the studio's own
};

// ---- WAV files ----

struct RiffChunk {
  std::string id;
  uint32_t size = 0;
  size_t offset = 0;  // of the chunk's data
};

struct WavFile {
  bool ok = false;
  std::string bytes;              // the whole file
  std::vector<RiffChunk> chunks;  // top-level chunks after "WAVE", as laid out
  uint32_t riffSize = 0;
  const RiffChunk* Find(const std::string& id) const;
  std::string Data() const;  // the data chunk's bytes
};
// Walks the file's chunks itself; ok is false when the layout is broken.
WavFile ReadWav(const std::string& path);

// What the engine's own reader makes of a file.
struct EngineView {
  bool ok = false;
  WAVEFORMATEX format{};
  int64_t dataOffset = 0, dataSize = 0, samples = 0;
};
EngineView ReadWithEngine(const std::string& path);

// The output of sndfile-info on the file (empty when it is not installed).
std::string SndfileInfo(const std::string& path);
// The value after "key :" in sndfile-info's summary.
std::string InfoField(const std::string& info, const std::string& key);

// True when data is the virtual input's pattern from firstFrame on, in whole frames.
bool IsPattern(const std::string& data, const WAVEFORMATEX& f, uint64_t firstFrame = 0);
// A PCM WAV file as another program writes it: 16-byte "fmt ", then "data".
std::string MakeWav(const WAVEFORMATEX& f, const std::string& data);
