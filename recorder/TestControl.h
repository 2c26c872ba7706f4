#pragma once
// A remote keyboard for whole-program tests, with a disk that can stall, and nothing else: when
// SOLVANE_TEST_CONTROL names a FIFO, each line written there acts on the running program. The
// program's normal path never reads it. Commands, handled in order on the UI thread as Qt events,
// as a keyboard's would be:
//   key <keys>     presses and releases a key, written as a key sequence ("F5", "Ctrl+S",
//                  "Alt+B", "Shift+B", "Num++", "Return"), at the focused control of the window in
//                  front (a modal window first, else the main window)
//   type <text>    types the characters of text the same way
//   close          asks the main window to close, as the window's close box does
//   sync <tag>     waits until the program is at rest (every posted message handled, the ring
//                  buffers' threads idle, no save running), then appends one line to the file
//                  SOLVANE_TEST_CONTROL_LOG names:
//                    synced <tag> modal=<class|-> deck=<empty|stopped|recording|playing|paused|loaded|
//                    stopping> kind=<kind|-> pos=<Current Position> file=<record file name>
//   stall          from now on a recording's writes to its file wait, as on a disk that answers
//                  nothing, until release (the program is not at rest meanwhile, except while the
//                  deck is "stopping": a take whose stop waits for the disk)
//   release        lets the writes go on
// A modal window waiting for its operator counts as at rest.

// Starts the reader when SOLVANE_TEST_CONTROL is set; the main window must exist.
void StartTestControl();
// Stops handing commands to the application (before it goes away).
void StopTestControl();
