#pragma once
// The recorder test program's one application object.

// Replaces an application that a test ended (the deck's exit terminates it) with a fresh one,
// as the next start of the program would have; the default dialog service stays as it was.
void RenewTestApplication();
