#include "engine/MMTimer.h"

#include <cmath>
#include <mutex>

#include "platform/audio/mmtimer.h"

namespace {

struct SharedTimer {
  // Lives as long as the process: a tick may be waiting on it while the last client goes.
  std::recursive_mutex lock;
  PMMTimerClient head = nullptr;
  int count = 0;
  uint32_t timerId = 0;
  std::atomic<int> busy{0};
};

SharedTimer& Shared() {
  static SharedTimer* s = new SharedTimer;
  return *s;
}

void SharedTick(uint32_t id);

bool Awake(const TMMTimerClient& c) { return c.SuspendCount == 0 && !c.Asleep; }

bool AnyAwakeLocked(const SharedTimer& s) {
  for (PMMTimerClient c = s.head; c; c = c->Next)
    if (Awake(*c)) return true;
  return false;
}

// False when no timer can be had.
bool StartLocked(SharedTimer& s) {
  plat::TimeBeginPeriod(kSharedTimerPeriod);
  s.timerId = plat::TimeSetEvent(kSharedTimerPeriod, kSharedTimerPeriod, SharedTick, plat::MMTimerKind::Periodic);
  if (s.timerId != 0) return true;
  plat::TimeEndPeriod(kSharedTimerPeriod);
  return false;
}

// Starts the timer again for clients that came back to work after it stopped for lack of any.
void RestartIfNeededLocked(SharedTimer& s) {
  if (s.timerId == 0 && s.count > 0 && AnyAwakeLocked(s)) StartLocked(s);
}

void SharedTick(uint32_t id) {
  SharedTimer& s = Shared();
  if (s.busy.fetch_add(1) == 0) {
    std::lock_guard<std::recursive_mutex> l(s.lock);
    // A tick of a timer that is being killed finds nothing more to do.
    if (id == s.timerId) {
      for (PMMTimerClient c = s.head; c;) {
        PMMTimerClient next = c->Next;  // a client may remove itself
        if (Awake(*c)) {
          c->Tick += int32_t(kSharedTimerPeriod);
          if (c->Tick >= c->Interval) {
            c->Tick = 0;
            if (c->Proc) c->Proc(c, c->Data);
          }
        }
        c = next;
      }
      // Nobody left to tick (every client asleep or suspended): the timer stops rather than
      // waking the process 40 times a second for nothing. Killed from its own tick, it does not
      // wait for itself.
      if (id == s.timerId && !AnyAwakeLocked(s)) {
        s.timerId = 0;
        plat::TimeKillEvent(id);
        plat::TimeEndPeriod(kSharedTimerPeriod);
      }
    }
  }
  s.busy.fetch_sub(1);
}

bool InListLocked(const SharedTimer& s, PMMTimerClient client) {
  for (PMMTimerClient c = s.head; c; c = c->Next)
    if (c == client) return true;
  return false;
}

// Kills the timer when process ends with clients left.
struct ExitGuard {
  ~ExitGuard() {
    SharedTimer& s = Shared();
    uint32_t id;
    {
      std::lock_guard<std::recursive_mutex> l(s.lock);
      id = s.timerId;
      s.timerId = 0;
    }
    if (id) {
      plat::TimeKillEvent(id);
      plat::TimeEndPeriod(kSharedTimerPeriod);
    }
  }
} g_exitGuard;

}  // namespace

PMMTimerClient TimerAddClient(int32_t interval, int32_t suspendCount, TMMTimerProc proc, void* data) {
  SharedTimer& s = Shared();
  std::lock_guard<std::recursive_mutex> l(s.lock);
  if (s.timerId == 0 && !StartLocked(s)) return nullptr;
  auto* c = new TMMTimerClient;
  c->Interval = interval < int32_t(kSharedTimerPeriod) ? int32_t(kSharedTimerPeriod) : interval;
  c->Data = data;
  c->Proc = std::move(proc);
  c->SuspendCount = suspendCount;
  c->Tick = 0;
  PMMTimerClient* tail = &s.head;
  while (*tail) tail = &(*tail)->Next;
  *tail = c;
  ++s.count;
  return c;
}

namespace {

// Changes a registered client under the list lock; nullptr or an unknown client: nothing.
template <typename Change>
void ChangeClient(PMMTimerClient client, Change change) {
  if (!client) return;
  SharedTimer& s = Shared();
  std::lock_guard<std::recursive_mutex> l(s.lock);
  if (InListLocked(s, client)) change(s, *client);
}

}  // namespace

void TimerDisableClient(PMMTimerClient client) {
  ChangeClient(client, [](SharedTimer&, TMMTimerClient& c) {
    ++c.SuspendCount;
    c.Tick = 0;
  });
}

void TimerEnableClient(PMMTimerClient client) {
  ChangeClient(client, [](SharedTimer& s, TMMTimerClient& c) {
    if (c.SuspendCount > 0) --c.SuspendCount;
    RestartIfNeededLocked(s);
  });
}

void TimerSleepClient(PMMTimerClient client) {
  ChangeClient(client, [](SharedTimer&, TMMTimerClient& c) {
    c.Asleep = true;
    c.Tick = 0;
  });
}

void TimerWakeClient(PMMTimerClient client) {
  ChangeClient(client, [](SharedTimer& s, TMMTimerClient& c) {
    c.Asleep = false;
    RestartIfNeededLocked(s);
  });
}

void TimerRemoveClient(PMMTimerClient client) {
  if (!client) return;
  SharedTimer& s = Shared();
  uint32_t kill = 0;
  {
    std::lock_guard<std::recursive_mutex> l(s.lock);
    PMMTimerClient* link = &s.head;
    while (*link && *link != client) link = &(*link)->Next;
    if (!*link) return;
    *link = client->Next;
    delete client;
    if (--s.count == 0) {
      kill = s.timerId;
      s.timerId = 0;
    }
  }
  // Outside the lock: the kill waits for a running tick, and that tick may be waiting for the lock.
  if (kill) {
    plat::TimeKillEvent(kill);
    plat::TimeEndPeriod(kSharedTimerPeriod);
  }
}

void TMMOwnedTimerClient::Add() {
  if (client_) return;
  const auto proc = [](PMMTimerClient, void* self) { static_cast<TMMOwnedTimerClient*>(self)->tick_(); };
  client_ = TimerAddClient(int32_t(kSharedTimerPeriod), 0, proc, this);
  running_ = client_ != nullptr;
}

void TMMOwnedTimerClient::Run(bool on) {
  if (!client_ || on == running_) return;
  if (on) TimerEnableClient(client_);
  else TimerDisableClient(client_);
  running_ = on;
}

void TMMOwnedTimerClient::Hold() {
  if (running_) TimerDisableClient(client_);
}

void TMMOwnedTimerClient::Release() {
  if (running_) TimerEnableClient(client_);
}

void TMMOwnedTimerClient::Remove() {
  TimerRemoveClient(client_);
  client_ = nullptr;
  asleep_.store(false);
}

void TMMOwnedTimerClient::SleepUnless(const std::function<bool()>& busy) {
  if (!client_ || busy()) return;
  asleep_.store(true);
  if (busy()) {
    asleep_.store(false);
    return;
  }
  TimerSleepClient(client_);
}

void TMMOwnedTimerClient::Wake() {
  if (client_ && asleep_.load() && asleep_.exchange(false)) TimerWakeClient(client_);
}

int TimerClientCount() {
  SharedTimer& s = Shared();
  std::lock_guard<std::recursive_mutex> l(s.lock);
  return s.count;
}

bool SharedTimerRunning() {
  SharedTimer& s = Shared();
  std::lock_guard<std::recursive_mutex> l(s.lock);
  return s.timerId != 0;
}

// ---- processing-load meter ----------------------------------------------------------------------

namespace {
std::atomic<TMMLoadMeter*> g_meter{nullptr};
constexpr int32_t kMeterInterval = 100;
}  // namespace

void LoadMeterTick(TMMLoadMeter& m) {
  std::lock_guard<std::mutex> l(m.m_);
  if (m.active_ <= 0) return;
  if (m.nesting_ > 0) {
    uint32_t now = plat::TimeGetTime();
    m.busyMs_ += now - m.busyStart_;
    m.busyStart_ = now;
  }
  m.load_ = 0.1f * float(m.busyMs_) + 0.9f * m.load_ + 0.05f;
  m.percent_ = int(std::lround(m.load_));
  m.busyMs_ = 0;
}

TMMLoadMeter::~TMMLoadMeter() {
  if (g_meter.load() == this) g_meter.store(nullptr);
  std::lock_guard<std::mutex> order(startStop_);
  PMMTimerClient c;
  {
    std::lock_guard<std::mutex> l(m_);
    c = client_;
    client_ = nullptr;
  }
  TimerRemoveClient(c);
}

float TMMLoadMeter::Load() const {
  std::lock_guard<std::mutex> l(m_);
  return load_;
}

int TMMLoadMeter::Percent() const {
  std::lock_guard<std::mutex> l(m_);
  return percent_;
}

void InstallLoadMeter(TMMLoadMeter* meter) { g_meter.store(meter); }
TMMLoadMeter* InstalledLoadMeter() { return g_meter.load(); }

void LoadMeterStart() {
  TMMLoadMeter* m = g_meter.load();
  if (!m) return;
  std::lock_guard<std::mutex> order(m->startStop_);
  {
    std::lock_guard<std::mutex> l(m->m_);
    if (m->active_++ > 0) return;
    m->nesting_ = 0;
    m->busyMs_ = 0;
    m->load_ = 0.0f;
    m->percent_ = 0;
  }
  // Registered outside the counters' lock: a tick holds the list lock and then takes that one.
  PMMTimerClient c = TimerAddClient(
      kMeterInterval, 0, [](PMMTimerClient, void* data) { LoadMeterTick(*static_cast<TMMLoadMeter*>(data)); }, m);
  std::lock_guard<std::mutex> l(m->m_);
  m->client_ = c;
}

void LoadMeterStop() {
  TMMLoadMeter* m = g_meter.load();
  if (!m) return;
  std::lock_guard<std::mutex> order(m->startStop_);
  PMMTimerClient c;
  {
    std::lock_guard<std::mutex> l(m->m_);
    if (m->active_ <= 0 || --m->active_ > 0) return;
    c = m->client_;
    m->client_ = nullptr;
  }
  TimerRemoveClient(c);
}

void LoadMeterBeginBusy() {
  TMMLoadMeter* m = g_meter.load();
  if (!m) return;
  std::lock_guard<std::mutex> l(m->m_);
  if (m->nesting_++ == 0) m->busyStart_ = plat::TimeGetTime();
}

void LoadMeterEndBusy() {
  TMMLoadMeter* m = g_meter.load();
  if (!m) return;
  std::lock_guard<std::mutex> l(m->m_);
  if (m->nesting_ <= 0) return;
  if (--m->nesting_ == 0) m->busyMs_ += plat::TimeGetTime() - m->busyStart_;
}
