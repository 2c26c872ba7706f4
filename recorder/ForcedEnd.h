#pragma once
// A stop signal (the session ending, a service stop, Ctrl+C) ends the program within seconds
// whatever its disks do. The window's thread ends it in order (recorder/Entry_qt.cpp). When that
// thread has not done so a few seconds after the signal, because it waits on a disk that does not
// answer (a playback, a save or a load on a hung share), a thread of its own ends the process: the
// GPI strings the studio is still owed go out, and what a take left on its disk is offered at the
// next start, as after a power cut.
#include <functional>

// How long the window's thread has to end the program itself.
constexpr int kForcedEndAfterMs = 3000;

// Starts the thread that waits for the stop signals, which must be caught already.
void StartForcedEnd();
// What that thread does just before it ends the process (null: nothing). The deck sets it, and
// clears it before what it uses goes.
void SetForcedEndWords(std::function<void()> words);

// A step that must not be cut short (a take written out anew from the file the deck holds, its
// only whole copy) holds the forced end off while it runs.
class TForcedEndHold {
public:
  TForcedEndHold();
  ~TForcedEndHold();
  TForcedEndHold(const TForcedEndHold&) = delete;
  TForcedEndHold& operator=(const TForcedEndHold&) = delete;
};
