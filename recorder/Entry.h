#pragma once
// The program's entry: one running deck per temporary folder, the application, the windows, the
// message loop.
#include <string>

// Runs the program; returns its exit code. A second start with the same temporary folder asks the
// first to show its window and returns 0 at once; when the first runs in another session, out of
// its reach, it says so and returns 1.
int SolvaneMain(int argc, char** argv);

// Shows the deck, restored and in front (what a second start asks for).
void ActivateMainWindow();
