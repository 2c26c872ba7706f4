#pragma once
// The signals that must not end the program where they land.
namespace plat {

// From now on SIGTERM, SIGINT and SIGHUP (the session ending, a service stop, Ctrl+C) only write a
// byte to a pipe, so that the program can end on its own thread: the pipe's read end, which turns
// readable when one came; -1 when the pipe could not be made (the signals then keep their default).
int CatchStopSignals();
// Reads away what the stop signals wrote into the pipe.
void DrainStopSignals();
// Blocks the calling thread until a stop signal has come since CatchStopSignals, whatever the
// thread reading the pipe above is doing; false at once when the signals are not caught.
bool AwaitStopSignal();
// A write past the file-size limit (ulimit -f) then fails with EFBIG, as on a full disk, instead of
// ending the program. Caught rather than ignored, so that the programs we start get the default back.
void CatchFileSizeLimit();

}  // namespace plat
