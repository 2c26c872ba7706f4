#include "recorder/TestControl.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "engine/MMWave.h"
#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/system/threads.h"
#include "platform/ui/forms.h"
#include "recorder/Unit1.h"

namespace {

std::mutex g_mutex;
bool g_running = false;

std::string LogPath() {
  const char* p = std::getenv("SOLVANE_TEST_CONTROL_LOG");
  return p ? p : "";
}

void Reply(const std::string& line) {
  const std::string path = LogPath();
  if (path.empty()) return;
  plat::AppendToOwnFile(path, line + "\n");
}

struct Stall {
  std::mutex m;
  std::condition_variable cv;
  bool on = false;
};
Stall& DiskStall() {
  static Stall s;
  return s;
}

// Holds the writer in the free-space check that comes before each write of the recording file.
void StallDisk(bool on) {
  Stall& s = DiskStall();
  {
    std::lock_guard<std::mutex> l(s.m);
    s.on = on;
  }
  s.cv.notify_all();
  if (!on) {
    SetDiskFreeQuery(nullptr);
    return;
  }
  SetDiskFreeQuery([&s](const std::string& path, int64_t& freeBytes) {
    if (!plat::IsUiThread()) {
      std::unique_lock<std::mutex> l(s.m);
      s.cv.wait(l, [&s] { return !s.on; });
    }
    int64_t total = 0;
    return plat::GetDiskFree(path, freeBytes, total);
  });
}

// As the window's close box: refused while a modal window is in front, else the deck's close
// rules decide.
void CloseMainWindow() {
  if (SVMain) SVMain->ClickCloseBox();
}

bool AtRest() {
  if (plat::PendingMessages() > 0) return false;
  // A modal window that has its answer is about to close.
  if (plat::Screen)
    for (int i = 0; i < plat::Screen->FormCount(); ++i) {
      plat::TCustomForm* f = plat::Screen->Forms(i);
      if (f->Modal() && f->ModalResult() != plat::mrNone) return false;
    }
  return !SVMain || !SVMain->Snapshot().working;
}

std::string DeckState() {
  if (!SVMain) return "deck=- kind=- pos=- file=";
  const TSVMain::TDeckSnapshot d = SVMain->Snapshot();
  return std::string("deck=") + d.state + " kind=" + (d.kind.empty() ? "-" : d.kind) +
         " pos=" + (d.position.empty() ? "-" : d.position) + " file=" + d.file;
}

void Sync(const std::string& tag) {
  if (!AtRest()) {
    plat::CallLater(2, [tag] { Sync(tag); });
    return;
  }
  std::string modal = "-";
  if (plat::TCustomForm* form = plat::Screen ? plat::Screen->ModalForm() : nullptr) modal = form->ClassName();
  else if (std::string box = plat::Screen ? plat::Screen->OpenBox() : std::string(); !box.empty()) modal = box;
  Reply("synced " + tag + " modal=" + modal + " " + DeckState());
}

void Run(const std::string& line) {
  {
    std::lock_guard<std::mutex> l(g_mutex);
    if (!g_running) return;
  }
  const size_t space = line.find(' ');
  const std::string word = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  plat::CallGuarded([&] {
    if (word == "key") {
      if (!plat::SendKeyPress(rest)) Reply("unknown key " + rest);
    } else if (word == "type") plat::SendText(rest);
    else if (word == "close") CloseMainWindow();
    else if (word == "sync") Sync(rest);
    else if (word == "stall" || word == "release") StallDisk(word == "stall");
    else if (!word.empty()) Reply("unknown command " + line);
  });
}

void ReadLoop(std::string fifo) {
  const bool opened = plat::ReadFifoLines(fifo, [](const std::string& line) {
    std::lock_guard<std::mutex> l(g_mutex);
    if (!g_running) return false;
    // An event of its own, as a key press would be, so that modal windows' loops take it too.
    plat::PostToEventLoop([line] { Run(line); });
    return true;
  });
  if (!opened) std::fprintf(stderr, "test control: cannot open %s: %s\n", fifo.c_str(), std::strerror(errno));
}

}  // namespace

void StartTestControl() {
  const char* fifo = std::getenv("SOLVANE_TEST_CONTROL");
  if (!fifo || !*fifo) return;
  {
    std::lock_guard<std::mutex> l(g_mutex);
    if (g_running) return;
    g_running = true;
  }
  std::thread(ReadLoop, std::string(fifo)).detach();
}

void StopTestControl() {
  std::lock_guard<std::mutex> l(g_mutex);
  g_running = false;
}
