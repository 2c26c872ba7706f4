#pragma once
// The deck's window routines: the task bar of full-screen mode, a list box's scroll extent, the
// simple beep.
#include <functional>

namespace plat {
class TCustomListBox;
}

// Shows or hides the desktop's task bar. Full-screen mode covers it with the main window here, so
// there is nothing to hide and the answer is always that it was found.
bool ShowTaskbar(bool show);
// Lets the list box's lines scroll sideways over width pixels.
void SetListBoxExtent(plat::TCustomListBox* listBox, int width);
// The simple system beep.
void SystemBeep();
// Tests count the beeps here; a null hook beeps again.
void SetSystemBeepHook(std::function<void()> hook);
