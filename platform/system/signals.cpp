#include "platform/system/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace plat {

namespace {

int stopSignalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(stopSignalPipe[1], &c, 1);
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
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) Catch(sig, OnStopSignal);
  return stopSignalPipe[0];
}

void DrainStopSignals() {
  char buf[16];
  while (stopSignalPipe[0] >= 0 && ::read(stopSignalPipe[0], buf, sizeof buf) > 0) {}
}

void CatchFileSizeLimit() { Catch(SIGXFSZ, OnFileSizeLimit); }

}  // namespace plat
