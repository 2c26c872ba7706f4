#include "platform/system/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace plat {

namespace {

int stopSignalPipe[2] = {-1, -1};
// The same news for a thread that waits on nothing else: its read end blocks.
int awaitPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const int e = errno;
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(stopSignalPipe[1], &c, 1);
  n = ::write(awaitPipe[1], &c, 1);
  errno = e;
}

void OnFileSizeLimit(int) {}

void Catch(int sig, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(sig, &sa, nullptr);
}

}  // namespace

int CatchStopSignals() {
  if (stopSignalPipe[0] < 0 && ::pipe2(stopSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  if (awaitPipe[0] < 0 && ::pipe2(awaitPipe, O_CLOEXEC) == 0) ::fcntl(awaitPipe[1], F_SETFL, O_NONBLOCK);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) Catch(sig, OnStopSignal);
  return stopSignalPipe[0];
}

void DrainStopSignals() {
  char buf[16];
  while (stopSignalPipe[0] >= 0 && ::read(stopSignalPipe[0], buf, sizeof buf) > 0) {}
}

bool AwaitStopSignal() {
  if (awaitPipe[0] < 0) return false;
  char c;
  for (;;) {
    const ssize_t n = ::read(awaitPipe[0], &c, 1);
    if (n == 1) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

void CatchFileSizeLimit() { Catch(SIGXFSZ, OnFileSizeLimit); }

}  // namespace plat
