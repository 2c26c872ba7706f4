#pragma once
// The multimedia timer: periodic or one-shot events on the steady clock, each with a thread of its
// own, and a manual backend through which tests step time by hand.
#include <cstdint>
#include <functional>

namespace plat {

using MMTimerCallback = std::function<void(uint32_t timerId)>;
enum class MMTimerKind { Periodic, OneShot };

// Starts an event that calls cb after delayMs and, when periodic, every delayMs after that. Ticks
// missed while a callback overran are skipped, never bunched up. The callback runs on the event's
// own thread (the caller's thread in manual mode). resolutionMs is accepted for form's sake: the
// steady clock is always as fine as we need. Returns the event's id, 0 on failure (no callback,
// delay 0 or above 1000000 ms).
uint32_t TimeSetEvent(uint32_t delayMs, uint32_t resolutionMs, MMTimerCallback cb, MMTimerKind kind);
// Stops an event. Waits for a callback that is running at that moment, unless called from the
// event's own callback. False for an id that is not alive (killed, or a one-shot that has fired).
bool TimeKillEvent(uint32_t id);
// Milliseconds on the monotonic clock (the manual clock while the manual backend is on); wraps at
// 2^32.
uint32_t TimeGetTime();
// The periods an event may have: 1 ms to 1000000 ms.
void TimeGetDevCaps(uint32_t& minPeriodMs, uint32_t& maxPeriodMs);
// Requests a timer resolution; every successful begin needs an end with the same value.
bool TimeBeginPeriod(uint32_t ms);
bool TimeEndPeriod(uint32_t ms);
// Periods requested and not yet ended, for tests.
int TimePeriodRequests();

// Manual backend for tests: while on, new events get no thread; StepManualMMTimer(ms) advances
// the manual clock and fires the due callbacks on the caller's thread, every tick in order (none
// is skipped). Switching the mode leaves existing events in the backend they were made in.
void UseManualMMTimer(bool manual);
bool ManualMMTimer();
void StepManualMMTimer(uint32_t ms);
// Events alive in either backend, for tests.
int LiveMMTimerEvents();

}  // namespace plat
