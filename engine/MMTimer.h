#pragma once
// The shared 25 ms multimedia timer and the processing-load meter.
//
// One periodic timer serves every client in the process that needs a slow tick (peak hold of the
// level displays, a paused connector, the load meter). It runs while at least one registered
// client is neither suspended nor asleep (a client with nothing to count down sleeps until woken),
// so an idle process is not woken 40 times a second. Client procedures run on the timer's thread
// while the client list is locked: they may only count down, set flags or take short locks of
// their own, and must not add or remove other clients (removing themselves is allowed).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

struct TMMTimerClient;
using PMMTimerClient = TMMTimerClient*;
using TMMTimerProc = std::function<void(PMMTimerClient client, void* data)>;

struct TMMTimerClient {
  int32_t Interval = 25;  // milliseconds, at least 25
  void* Data = nullptr;   // the owning object
  TMMTimerProc Proc;
  int32_t SuspendCount = 0;  // 0 = running
  bool Asleep = false;       // nothing to do until woken (TimerSleepClient)
  int32_t Tick = 0;          // milliseconds since the last call
  PMMTimerClient Next = nullptr;
};

constexpr uint32_t kSharedTimerPeriod = 25;

// Registers a client (interval below 25 counts as 25) with the given suspend count; the first
// client starts the timer. nullptr when no timer can be had.
PMMTimerClient TimerAddClient(int32_t interval, int32_t suspendCount, TMMTimerProc proc, void* data);
// Suspends a client and restarts its count; once this returns the client is not called until
// enabled again. nullptr or an unknown client: nothing.
void TimerDisableClient(PMMTimerClient client);
// Lowers the suspend count, not below 0.
void TimerEnableClient(PMMTimerClient client);
// A client with nothing to count down sleeps: it is not called until woken, and while every
// client sleeps or is suspended the timer stops (SharedTimerRunning is false) instead of waking
// the process for nothing; waking a client, or enabling or adding one, starts it again. Neither
// touches the suspend count. nullptr or an unknown client: nothing.
void TimerSleepClient(PMMTimerClient client);
void TimerWakeClient(PMMTimerClient client);
// Unregisters and frees a client; the last removal stops the timer (waiting for a tick that is
// running). A client not in the list changes nothing.
void TimerRemoveClient(PMMTimerClient client);

// A client that one object owns, calling tick: registered once, running, by Add; switched on and
// off only through Run, so that its suspend count never piles up; gone once Remove (or the
// destructor) returns.
class TMMOwnedTimerClient {
public:
  explicit TMMOwnedTimerClient(std::function<void()> tick) : tick_(std::move(tick)) {}
  ~TMMOwnedTimerClient() { Remove(); }
  TMMOwnedTimerClient(const TMMOwnedTimerClient&) = delete;
  TMMOwnedTimerClient& operator=(const TMMOwnedTimerClient&) = delete;

  void Add();
  bool Added() const { return client_ != nullptr; }
  void Run(bool on);
  bool Running() const { return running_; }
  // Keeps a running client from being called for a while, without changing whether it runs.
  void Hold();
  void Release();
  void Remove();
  // Called from the tick: when busy() finds nothing left to count down, the client sleeps. Wake,
  // called by whoever may have given the tick work again (after giving it), brings it back; it
  // costs one atomic load while the client is awake. busy() is asked again once the sleep is
  // marked, so work given meanwhile is never left waiting.
  void SleepUnless(const std::function<bool()>& busy);
  void Wake();

private:
  std::function<void()> tick_;
  PMMTimerClient client_ = nullptr;
  bool running_ = false;
  std::atomic<bool> asleep_{false};
};

// For tests and diagnostics.
int TimerClientCount();
bool SharedTimerRunning();

// ---- processing-load meter ----------------------------------------------------------------------
// Measures the share of time the engine spends handling buffers, once installed. Without one every
// entry below is a cheap no-op.
class TMMLoadMeter {
public:
  TMMLoadMeter() = default;
  ~TMMLoadMeter();
  TMMLoadMeter(const TMMLoadMeter&) = delete;
  TMMLoadMeter& operator=(const TMMLoadMeter&) = delete;

  float Load() const;  // smoothed, in percent
  int Percent() const;

private:
  friend void LoadMeterStart();
  friend void LoadMeterStop();
  friend void LoadMeterBeginBusy();
  friend void LoadMeterEndBusy();
  friend void LoadMeterTick(TMMLoadMeter& meter);

  std::mutex startStop_;  // orders starts and stops; held while the tick client comes and goes
  mutable std::mutex m_;  // the counters; taken by the tick under the client-list lock
  int active_ = 0;        // starts not yet matched by stops
  int nesting_ = 0;       // open busy brackets
  uint32_t busyStart_ = 0;
  uint32_t busyMs_ = 0;  // in the current 100 ms window
  float load_ = 0.0f;
  int percent_ = 0;
  PMMTimerClient client_ = nullptr;
};

// Installs the process-wide meter (nullptr removes it). Do it while no device runs.
void InstallLoadMeter(TMMLoadMeter* meter);
TMMLoadMeter* InstalledLoadMeter();

// The first start clears the counters and starts the meter's 100 ms tick; the last stop ends it.
void LoadMeterStart();
void LoadMeterStop();
// Brackets buffer handling; nested and concurrent brackets count once.
void LoadMeterBeginBusy();
void LoadMeterEndBusy();
