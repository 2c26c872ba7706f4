#pragma once
// The program's entry: one running copy per user, the application, the windows, the message loop.
#include <string>

// Runs the program; returns its exit code. A second start asks the first to show its window
// and returns at once.
int SolvaneMain(int argc, char** argv);

// Shows the deck, restored and in front (what a second start asks for).
void ActivateMainWindow();
