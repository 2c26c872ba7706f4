#include "recorder/ForcedEnd.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/system/clock.h"
#include "platform/system/signals.h"

namespace {

std::mutex wordsLock;
std::function<void()> lastWords;
std::atomic<int> holds{0};

}  // namespace

void StartForcedEnd() {
  std::thread([] {
    if (!plat::AwaitStopSignal()) return;
    plat::SleepMs(kForcedEndAfterMs);
    while (holds.load() > 0) plat::SleepMs(20);
    {
      std::lock_guard<std::mutex> l(wordsLock);
      if (lastWords) lastWords();
    }
    std::fprintf(stderr, "solvane: a stop signal ended the program: its window, waiting on a disk, did not end it\n");
    std::fflush(nullptr);
    std::_Exit(0);
  }).detach();
}

void SetForcedEndWords(std::function<void()> words) {
  std::lock_guard<std::mutex> l(wordsLock);
  lastWords = std::move(words);
}

TForcedEndHold::TForcedEndHold() { holds.fetch_add(1); }
TForcedEndHold::~TForcedEndHold() { holds.fetch_sub(1); }
