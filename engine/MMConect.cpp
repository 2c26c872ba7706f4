#include "engine/MMConect.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/MMACM.h"
#include "engine/MMPCMSup.h"
#include "engine/MMTimer.h"
#include "engine/MMUtils.h"
#include "platform/audio/mmtimer.h"
#include "platform/audio/wave_device.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/clock.h"

namespace {

// ---- the built-in pacing timer -------------------------------------------------------------------
// A multimedia-timer event whose ticks are posted to the UI thread, at most one waiting at a time,
// so a busy UI thread is never flooded.
class SystemFeedTimer : public TMMFeedTimer {
public:
  ~SystemFeedTimer() override { Stop(); }
  int64_t NowMicroseconds() override { return plat::MicroSeconds(); }

  void Start(int64_t intervalUs, bool periodic, std::function<void()> tick) override {
    Stop();
    auto run = std::make_shared<Run>();
    run->tick = std::move(tick);
    const uint32_t ms = uint32_t(std::clamp<int64_t>((intervalUs + 999) / 1000, 1, 1000000));
    run->id = plat::TimeSetEvent(
        ms, 1,
        [run](uint32_t) {
          if (run->posted.exchange(true)) return;
          plat::RunOnUiThread([run] {
            run->posted = false;
            if (run->live && run->tick) run->tick();
          });
        },
        periodic ? plat::MMTimerKind::Periodic : plat::MMTimerKind::OneShot);
    if (run->id) run_ = run;
  }

  void Stop() override {
    if (!run_) return;
    run_->live = false;
    plat::TimeKillEvent(run_->id);
    run_.reset();
  }

private:
  struct Run {
    std::function<void()> tick;
    uint32_t id = 0;
    std::atomic<bool> live{true};
    std::atomic<bool> posted{false};
  };
  std::shared_ptr<Run> run_;
};

// ---- what all connectors share -------------------------------------------------------------------
struct Shared {
  std::recursive_mutex m;
  std::vector<TMMConnector*> list;  // in creation order
  // Made with the first connector and kept for the process: a handler that destroys the last
  // connector must not destroy the window it runs in.
  std::unique_ptr<plat::HiddenWindow> window;
  int32_t maxSpeed = 0;
  int queued = 0;  // connectors in the queue that are fed automatically
  std::atomic<bool> enterIdle{false};
  TMMFeedTimer* installed = nullptr;
  TMMFeedTimer* running = nullptr;  // the timer that was started, until it fires or stops
  int64_t armedAt = 0;              // when it fires, on its clock
  int64_t lastStep = INT64_MIN / 4;
  std::atomic<bool> updatePosted{false};
};

Shared& S() {
  static Shared* s = new Shared;  // posted ticks may look it up during exit
  return *s;
}

TMMFeedTimer& BuiltInTimer() {
  static SystemFeedTimer* t = new SystemFeedTimer;
  return *t;
}

int64_t NowUs() { return ConnectorFeedTimer()->NowMicroseconds(); }

constexpr int64_t kNever = INT64_MAX;

// The connectors' largest Speed (1 to 5000) sets how far apart the feed steps are: 1 ms at full
// speed, up to 5 ms at the lowest. The event loop runs freely between steps: they are timed, never
// paced by pumping messages.
int64_t StepInterval(int32_t maxSpeed) { return 1000 * (1 + (5000 - std::clamp<int32_t>(maxSpeed, 1, 5000)) / 1000); }

TMMConnector* FindLocked(Shared& s, uint64_t serial) {
  for (TMMConnector* c : s.list)
    if (c->Serial() == serial) return c;
  return nullptr;
}

// Arms the step timer for the next block due in the queue, or stops it when none is. UI thread.
void UpdateTimer() {
  if (!plat::IsUiThread()) {
    // One request in flight is enough: a device handing over buffers as fast as it can must not
    // flood the UI thread.
    if (!S().updatePosted.exchange(true))
      plat::RunOnUiThread([] {
        S().updatePosted = false;
        UpdateTimer();
      });
    return;
  }
  Shared& s = S();
  std::vector<TMMConnector*> queue;
  {
    std::lock_guard<std::recursive_mutex> l(s.m);
    if (s.queued > 0 && !plat::Terminating()) queue = s.list;
  }
  // Asked outside the list's lock: a connector takes that lock under its own. Connectors go on
  // this thread only, so none goes meanwhile.
  int64_t due = kNever;
  for (const TMMConnector* c : queue) due = std::min(due, c->NextDue());
  TMMFeedTimer* stop = nullptr;
  TMMFeedTimer* start = nullptr;
  int64_t wait = 0;
  {
    std::lock_guard<std::recursive_mutex> l(s.m);
    TMMFeedTimer* t = ConnectorFeedTimer();
    if (due == kNever) {
      stop = s.running;
      s.running = nullptr;
    } else {
      // Not sooner than a frame after the last step, even when it showed nothing new: a signal
      // that changes nothing on the screen would otherwise wake the feed for every block.
      const int64_t gap = std::max(StepInterval(s.maxSpeed), t->FrameMicroseconds());
      const int64_t at = t->NextFrameAt(std::max(due, s.lastStep + gap));
      if (s.running != t || s.armedAt != at) {
        if (s.running != t) stop = s.running;
        start = t;
        s.running = t;
        s.armedAt = at;
        wait = std::max<int64_t>(at - t->NowMicroseconds(), 0);
      }
    }
  }
  if (stop) stop->Stop();
  if (start) start->Start(wait, false, [] { TMMConnector::Step(); });
}

void RefreshLargestSpeed(Shared& s) {
  std::lock_guard<std::recursive_mutex> l(s.m);
  int32_t v = 0;
  for (TMMConnector* c : s.list) v = std::max(v, c->Speed());
  s.maxSpeed = v;
}

// The formats the displays can show.
bool Displayable(const WAVEFORMATEX* f) { return IsValidPCMFormat(f) && f->nChannels <= 2 && f->nAvgBytesPerSec > 0; }

uint8_t* ConverterOutput(TMMACMConverter* c, int32_t& capacity) {
  if (c->Stages.empty()) {
    capacity = c->BlockSize;
    return c->Input;
  }
  auto& dest = c->Stages.back()->Dest;
  capacity = int32_t(dest.size());
  return dest.data();
}

}  // namespace

void SetConnectorFeedTimer(TMMFeedTimer* timer) {
  {
    std::lock_guard<std::recursive_mutex> l(S().m);
    S().installed = timer;
    S().lastStep = INT64_MIN / 4;  // a time on the clock of the timer before
  }
  UpdateTimer();
}

TMMFeedTimer* ConnectorFeedTimer() {
  Shared& s = S();
  std::lock_guard<std::recursive_mutex> l(s.m);
  return s.installed ? s.installed : &BuiltInTimer();
}

// ---- TMMConnector --------------------------------------------------------------------------------

bool TMMConnector::Kind::Assigned() const {
  return std::any_of(displays.begin(), displays.end(), [](TMMDisplayFeed* d) { return d != nullptr; });
}

TMMConnector::TMMConnector(TComponent* owner) : TMMDSPComponent(owner) { JoinList(); }

TMMConnector::~TMMConnector() {
  Destroying();
  ChainStop();
  LeaveList();
}

bool TMMConnector::EnterIdle() { return S().enterIdle; }
void TMMConnector::SetEnterIdle(bool v) { S().enterIdle = v; }

void TMMConnector::JoinList() {
  if (listed_ || IsDesigning()) return;
  Shared& s = S();
  {
    std::lock_guard<std::recursive_mutex> l(s.m);
    if (!s.window) {
      s.window = std::make_unique<plat::HiddenWindow>();
      s.window->OnMessage = [](plat::Message& m) { TMMConnector::WindowMessage(m.Msg, m.WParam); };
    }
    s.list.push_back(this);
    listed_ = true;
  }
  plat::TimeBeginPeriod(1);
  RefreshLargestSpeed(s);
  UpdateTimer();
}

void TMMConnector::LeaveList() {
  if (!listed_) return;
  Leave();
  Shared& s = S();
  {
    std::lock_guard<std::recursive_mutex> l(s.m);
    // Only our own messages: another connector's entry must survive our end.
    const uint64_t serial = Serial();
    s.window->RemovePendingIf([serial](const plat::Message& m) { return m.WParam == serial; });
    s.list.erase(std::remove(s.list.begin(), s.list.end(), this), s.list.end());
    listed_ = false;
  }
  plat::TimeEndPeriod(1);
  RefreshLargestSpeed(s);
  UpdateTimer();
}

void TMMConnector::SetDesigning(bool designing) {
  TMMDSPComponent::SetDesigning(designing);
  if (designing) {
    ChainStop();
    LeaveList();
  } else {
    JoinList();
  }
}

void TMMConnector::PostEnter() {
  Shared& s = S();
  std::lock_guard<std::recursive_mutex> l(s.m);
  if (listed_ && s.window) s.window->Post(kConnectorEnter, Serial(), 0);
}

void TMMConnector::Enter() {
  if (!running_ || !enabled_) return;
  inFlight_ = 0;
  {
    std::lock_guard<std::recursive_mutex> l(S().m);
    queued_ = true;
    if (autoTrigger_ && !counted_) {
      counted_ = true;
      ++S().queued;
    }
  }
  UpdateTimer();
}

void TMMConnector::Leave() {
  {
    std::lock_guard<std::recursive_mutex> l(S().m);
    queued_ = false;
    if (counted_) {
      counted_ = false;
      --S().queued;
    }
  }
  UpdateTimer();
}

void TMMConnector::WindowMessage(uint32_t msg, uint64_t serial) {
  SOLVANE_ASSERT_UI_THREAD();
  TMMConnector* c;
  {
    std::lock_guard<std::recursive_mutex> l(S().m);
    c = FindLocked(S(), serial);
  }
  if (!c) return;
  try {
    if (msg == kConnectorEnter) c->Enter();
    else if (msg == kConnectorFeedOnce) c->FeedOnceMessage();
  } catch (...) {
    plat::HandleException(std::current_exception());
  }
}

void TMMConnector::Step() {
  SOLVANE_ASSERT_UI_THREAD();
  Shared& s = S();
  std::vector<uint64_t> serials;
  {
    std::lock_guard<std::recursive_mutex> l(s.m);
    s.running = nullptr;  // a one-shot that has fired
    s.lastStep = ConnectorFeedTimer()->NowMicroseconds();
    if (s.queued > 0 && !plat::Terminating())
      for (TMMConnector* c : s.list) serials.push_back(c->Serial());
  }
  // Looked up again before every pass: a handler of OnTrigger may destroy connectors.
  for (uint64_t serial : serials) {
    for (;;) {
      TMMConnector* c;
      {
        std::lock_guard<std::recursive_mutex> l(s.m);
        c = FindLocked(s, serial);
      }
      if (!c || !c->autoTrigger_ || !c->enabled_ || !c->queued_) break;
      bool fed = false;
      try {
        fed = c->FeedAndNotify();
      } catch (...) {
        plat::HandleException(std::current_exception());
      }
      if (!fed) break;
    }
  }
  UpdateTimer();
}

void TMMConnector::FeedOnceMessage() {
  // The message was the one in flight, whatever it finds.
  int n = inFlight_.load();
  while (n > 0 && !inFlight_.compare_exchange_weak(n, n - 1)) {}
  if (!enabled_ || !(queued_ || (!realTime_ && running_))) return;
  FeedAndNotify();
}

void TMMConnector::Trigger() {
  if (!enabled_ || autoTrigger_ || inFlight_ > 0) return;
  if (!(queued_ || (!realTime_ && running_))) return;
  if (plat::IsUiThread()) {
    FeedAndNotify();
    return;
  }
  int expected = 0;
  if (!inFlight_.compare_exchange_strong(expected, 1)) return;
  Shared& s = S();
  std::lock_guard<std::recursive_mutex> l(s.m);
  if (listed_ && s.window) s.window->Post(kConnectorFeedOnce, Serial(), 0);
}

bool TMMConnector::FeedAndNotify() {
  SOLVANE_ASSERT_UI_THREAD();
  bool fed = false, ran;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    ran = FeedLocked(fed);
  }
  if (ran && OnTrigger) OnTrigger(this);  // may destroy us
  return fed;
}

// ---- properties ----------------------------------------------------------------------------------

void TMMConnector::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  if (!v) {
    Leave();
    {
      // What was left of the last buffer is not shown after the displays were cleared.
      std::lock_guard<std::recursive_mutex> l(lock_);
      for (Kind& k : kinds_) k.pending = false;
    }
    ResetDisplays();
  } else if (running_ && realTime_) {
    PostEnter();
  }
}

void TMMConnector::SetAutoTrigger(bool v) {
  if (autoTrigger_ == v) return;
  autoTrigger_ = v;
  bool enter = false;
  {
    std::lock_guard<std::recursive_mutex> l(S().m);
    if (queued_) {
      // Staying in the queue keeps Trigger working; only the automatic feeding changes.
      if (v && !counted_) {
        counted_ = true;
        ++S().queued;
      } else if (!v && counted_) {
        counted_ = false;
        --S().queued;
      }
    } else {
      enter = v && running_ && enabled_ && realTime_;
    }
  }
  if (enter) PostEnter();
  UpdateTimer();
}

void TMMConnector::SetSynchronize(bool v) {
  if (synchronize_ == v) return;
  synchronize_ = v;
  if (listed_) UpdateTimer();
}

void TMMConnector::SetSpeed(int32_t v) {
  v = std::clamp<int32_t>(v, 1, 5000);
  if (speed_ == v) return;
  speed_ = v;
  if (listed_) {
    RefreshLargestSpeed(S());
    UpdateTimer();
  }
}

void TMMConnector::SetRealTime(bool v) {
  if (realTime_ == v) return;
  if (Opened()) throw EMMConnectorError(LoadLibraryMessage(60));
  realTime_ = v;
}

// ---- displays ------------------------------------------------------------------------------------

TMMDisplayFeed* TMMConnector::Display(TMMDisplayKind kind, int slot) const {
  if (kind < 0 || kind >= kDisplayKinds || slot < 0 || slot >= kDisplaySlots[kind]) return nullptr;
  std::lock_guard<std::recursive_mutex> l(lock_);
  return kinds_[kind].displays[size_t(slot)];
}

void TMMConnector::SetDisplay(TMMDisplayKind kind, int slot, TMMDisplayFeed* display) {
  if (kind < 0 || kind >= kDisplayKinds || slot < 0 || slot >= kDisplaySlots[kind]) return;
  if (display && dynamic_cast<const void*>(display) == dynamic_cast<const void*>(this)) return;
  TComponent* old = nullptr;
  TComponent* watch = nullptr;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    Kind& k = kinds_[kind];
    if (display && kind != dkSpectrum && k.displays[size_t(slot ^ 1)] == display) return;
    if (k.displays[size_t(slot)] == display) return;
    old = k.watched[size_t(slot)];
    watch = display ? dynamic_cast<TComponent*>(display) : nullptr;
    k.displays[size_t(slot)] = display;
    k.watched[size_t(slot)] = watch;
    k.pending = false;
    k.slotOffset[size_t(slot)] = 0;
    k.slotDone[size_t(slot)] = false;
  }
  Unwatch(old);
  if (watch && watch != this) FreeNotification(watch);
  if (display) {
    WAVEFORMATEX f;
    if (DisplayableFormat(f)) GiveFormat(&f);
  }
}

void TMMConnector::Unwatch(TComponent* c) {
  if (!c) return;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    for (const Kind& k : kinds_)
      for (TComponent* w : k.watched)
        if (w == c) return;
  }
  // A display that is also our Input or Output stays watched by the chain base.
  if (c != Input() && c != Output()) RemoveFreeNotification(c);
}

void TMMConnector::Notification(TComponent* c, TOperation op) {
  if (op == plat::opRemove && c) {
    std::lock_guard<std::recursive_mutex> l(lock_);
    for (Kind& k : kinds_)
      for (size_t i = 0; i < k.displays.size(); ++i)
        if (k.watched[i] == c) {
          k.displays[i] = nullptr;
          k.watched[i] = nullptr;
          k.pending = false;
        }
  }
  TMMDSPComponent::Notification(c, op);
}

std::vector<TMMDisplayFeed*> TMMConnector::AssignedDisplays() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  std::vector<TMMDisplayFeed*> v;
  for (const Kind& k : kinds_)
    for (TMMDisplayFeed* d : k.displays)
      if (d && std::find(v.begin(), v.end(), d) == v.end()) v.push_back(d);
  return v;
}

void TMMConnector::GiveFormat(const WAVEFORMATEX* format) {
  for (TMMDisplayFeed* d : AssignedDisplays()) d->SetWaveFormat(format);
}

void TMMConnector::ResetDisplays() {
  for (TMMDisplayFeed* d : AssignedDisplays()) d->ResetData();
}

bool TMMConnector::DisplayFormat(WAVEFORMATEX& format) const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!running_) return false;
  format = displayFormat_;
  return true;
}

int64_t TMMConnector::BlocksFed(TMMDisplayKind kind) const {
  if (kind < 0 || kind >= kDisplayKinds) return 0;
  std::lock_guard<std::recursive_mutex> l(lock_);
  return kinds_[kind].blocks;
}

// The format the displays get: the one in use while running; else the chain's when the displays
// can show it, or the PCM format a conversion reaches.
bool TMMConnector::DisplayableFormat(WAVEFORMATEX& out) const {
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (running_) {
      out = displayFormat_;
      return true;
    }
  }
  const WAVEFORMATEX* chain = GetWaveFormat();
  if (!chain) return false;
  if (chain->wFormatTag == WAVE_FORMAT_PCM) {
    if (!Displayable(chain)) return false;
    out = *chain;
    out.cbSize = 0;
    return true;
  }
  if (!autoConvert_) return false;
  WAVEFORMATEX pcm{};
  SuggestPCMFormat(chain, pcm);
  if (!Displayable(&pcm) || !CanConvertFormat(chain, &pcm, true)) return false;
  out = pcm;
  return true;
}

void TMMConnector::SetWaveFormat(const WAVEFORMATEX* format) {
  TMMDSPComponent::SetWaveFormat(format);
  WAVEFORMATEX f;
  if (!DisplayableFormat(f)) return;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    silence_ = f.wBitsPerSample == 8 ? 128 : 0;
  }
  GiveFormat(&f);
}

// ---- chain operations ----------------------------------------------------------------------------

void TMMConnector::ChainStart() {
  TMMDSPComponent::ChainStart();
  if (IsDesigning() || running_) return;
  const WAVEFORMATEX* chain = GetWaveFormat();
  const int32_t size = BufferSize();
  if (!chain || size <= 0) return;
  WAVEFORMATEX display;
  const bool pcm = chain->wFormatTag == WAVE_FORMAT_PCM;
  if (pcm) {
    if (!Displayable(chain)) return;
    display = *chain;
    display.cbSize = 0;
  } else {
    if (!autoConvert_) return;
    display = {};
    SuggestPCMFormat(chain, display);
    if (!Displayable(&display)) return;
  }
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    displayBuffer_.assign(size_t(size), 0);
    if (pcm) {
      feedData_ = displayBuffer_.data();
      feedCapacity_ = size;
    } else {
      converter_ = CreateConverter(chain, &display, displayBuffer_.data(), true, size);
      if (!converter_) {
        displayBuffer_ = {};
        return;
      }
      feedData_ = ConverterOutput(converter_, feedCapacity_);
    }
    displayFormat_ = display;
    silence_ = display.wBitsPerSample == 8 ? 128 : 0;
    dataBytes_ = 0;
    paused_ = false;
    for (Kind& k : kinds_) k.pending = false;
    running_ = true;
  }
  if (listed_) {
    RefreshLargestSpeed(S());
    UpdateTimer();
  }
  GiveFormat(&display);
  if (enabled_ && realTime_) PostEnter();
}

void TMMConnector::ChainPause() {
  TMMDSPComponent::ChainPause();
  bool addClient;
  int32_t interval = int32_t(kSharedTimerPeriod);
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!running_ || paused_) return;
    paused_ = true;
    FillSilenceLocked(true);
    addClient = realTime_;
    const WAVEFORMATEX* chain = GetWaveFormat();
    const int32_t size = BufferSize();
    if (size < 8192 && chain && chain->nAvgBytesPerSec > 0)
      interval = MulDiv32(size, 1000, int32_t(chain->nAvgBytesPerSec));
  }
  if (!addClient) return;
  // Never under our lock: the timer's tick holds its list lock while it waits for ours.
  RemovePauseClient();
  pauseClient_ = TimerAddClient(interval, 0, &TMMConnector::PauseTick, this);
  if (!pauseClient_) throw plat::EOutOfResources();
}

void TMMConnector::PauseTick(TMMTimerClient*, void* data) {
  auto* self = static_cast<TMMConnector*>(data);
  {
    std::lock_guard<std::recursive_mutex> l(self->lock_);
    if (!self->running_ || !self->paused_) return;
    self->arrivalUs_ = NowUs();
    self->MarkPendingLocked();
  }
  UpdateTimer();
}

void TMMConnector::RemovePauseClient() {
  TMMTimerClient* c = pauseClient_;
  pauseClient_ = nullptr;
  TimerRemoveClient(c);
}

void TMMConnector::ChainRestart() {
  TMMDSPComponent::ChainRestart();
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    paused_ = false;
  }
  RemovePauseClient();
}

void TMMConnector::ChainStop() {
  TMMDSPComponent::ChainStop();
  if (!running_) return;
  Leave();
  RemovePauseClient();
  TMMACMConverter* converter;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    running_ = false;
    paused_ = false;
    converter = converter_;
    converter_ = nullptr;
    feedData_ = nullptr;
    feedCapacity_ = 0;
    dataBytes_ = 0;
    displayBuffer_ = {};
    displayFormat_ = {};
    for (Kind& k : kinds_) k.pending = false;
  }
  DestroyConverter(converter);
  if (refreshOnStop_) ResetDisplays();
}

void TMMConnector::ChainReset() {
  TMMDSPComponent::ChainReset();
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (running_) FillSilenceLocked(false);
}

void TMMConnector::FillSilenceLocked(bool wholeBuffer) {
  if (!feedData_ || feedCapacity_ <= 0) return;
  std::memset(feedData_, silence_, size_t(feedCapacity_));
  if (wholeBuffer) dataBytes_ = feedCapacity_;
}

// ---- buffers -------------------------------------------------------------------------------------

void TMMConnector::BufferReady(PWaveHdr lpWaveHdr) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnDeviceCompletionWorker());
  if (lpWaveHdr) {
    PWaveHdr take = lpWaveHdr;
    PWaveHdr next = lpWaveHdr->NextHdr;
    if (synchronize_ && next && next != lpWaveHdr) {
      // The buffer that plays now, when it is still at the device; a buffer that has come back
      // and was not written again holds audio that has already been shown.
      const bool queued = !(plat::LoadWaveHdrFlags(*next) & plat::WHDR_DONE);
      take = next->dwBytesRecorded > 0 && queued ? next : nullptr;
    }
    if (take) Take(take->lpData, int32_t(std::min<uint32_t>(take->dwBytesRecorded, INT32_MAX)));
  }
  TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMConnector::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  SOLVANE_ASSERT_UI_THREAD_OR(OnDeviceCompletionWorker());
  TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
  if (lpWaveHdr) Take(lpWaveHdr->lpData, int32_t(std::min<uint32_t>(lpWaveHdr->dwBytesRecorded, INT32_MAX)));
}

void TMMConnector::Take(const char* data, int32_t bytes) {
  if (!enabled_ || !running_ || paused_ || !data || bytes <= 0) return;
  bool ran = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    // Stopping frees the buffer: look again under the lock.
    if (!running_ || paused_ || !feedData_) return;
    if (realTime_ && autoTrigger_ && plat::IsUiThread()) {
      // What has come due of the last buffer is handed over before this one replaces it: the paced
      // feed waits for the screen's next frame and may not have woken since.
      const int64_t now = NowUs();
      bool fed = true;
      while (fed && NextDueLocked() <= now && FeedLocked(fed)) ran = true;
    }
    const int32_t n = std::min(bytes, int32_t(displayBuffer_.size()));
    std::memcpy(displayBuffer_.data(), data, size_t(n));
    if (converter_) {
      const int32_t out = ConvertBlock(converter_, n);
      if (out <= 0) return;
      feedData_ = ConverterOutput(converter_, feedCapacity_);
      dataBytes_ = std::min(out, feedCapacity_);
    } else {
      dataBytes_ = n;
    }
    arrivalUs_ = NowUs();
    MarkPendingLocked();
    if (!realTime_ && autoTrigger_) {
      // Nothing comes back later to feed the rest of this buffer: hand over every block due now.
      bool fed = true;
      while (fed && FeedLocked(fed)) ran = true;
    }
  }
  if (ran && OnTrigger) OnTrigger(this);
  if (realTime_) UpdateTimer();
}

void TMMConnector::MarkPendingLocked() {
  for (Kind& k : kinds_) {
    if (!k.Assigned()) continue;
    k.pending = true;
    k.offset = 0;
    k.slotOffset.fill(0);
    k.slotDone.fill(false);
  }
}

// ---- feeding -------------------------------------------------------------------------------------

bool TMMConnector::FeedLocked(bool& fed) {
  fed = false;
  if (!enabled_ || !feedData_ || !(queued_ || (!realTime_ && running_))) return false;
  const int64_t elapsed = NowUs() - arrivalUs_;
  for (int i = 0; i < kDisplayKinds; ++i) {
    Kind& k = kinds_[size_t(i)];
    if (!k.pending) continue;
    const auto kind = TMMDisplayKind(i);
    if (kind == dkSpectrogram ? FeedSpectrogramsLocked(k, elapsed) : FeedKindLocked(k, kind, elapsed)) fed = true;
  }
  return true;
}

bool TMMConnector::DueLocked(int32_t offset, int64_t elapsedUs) const {
  return arrivalUs_ + elapsedUs >= DueAtLocked(offset);
}

int64_t TMMConnector::DueAtLocked(int32_t offset) const {
  if (!synchronize_) return arrivalUs_;
  return arrivalUs_ + MulDiv64(offset, 1000000, int64_t(displayFormat_.nAvgBytesPerSec));
}

int32_t TMMConnector::KindBlock(const Kind& k, TMMDisplayFeed*& chosen) {
  int32_t block = 0;
  chosen = nullptr;
  for (TMMDisplayFeed* d : k.displays)
    if (d) {
      const int32_t b = d->BlockBytes();
      if (b > block) {
        block = b;
        chosen = d;
      }
    }
  return block;
}

int64_t TMMConnector::NextDue() const {
  std::lock_guard<std::recursive_mutex> l(lock_);
  return NextDueLocked();
}

// The earliest due time of a block that still fits in the data; kinds whose buffer is used up wait
// for the next one.
int64_t TMMConnector::NextDueLocked() const {
  if (!queued_ || !autoTrigger_ || !enabled_ || !feedData_) return kNever;
  int64_t due = kNever;
  auto fits = [this](int32_t offset, int32_t block) { return block > 0 && int64_t(offset) + block <= dataBytes_; };
  for (int i = 0; i < kDisplayKinds; ++i) {
    const Kind& k = kinds_[size_t(i)];
    if (!k.pending) continue;
    if (i == dkSpectrogram) {
      for (size_t j = 0; j < k.displays.size(); ++j)
        if (k.displays[j] && !k.slotDone[j] && fits(k.slotOffset[j], k.displays[j]->BlockBytes()))
          due = std::min(due, DueAtLocked(k.slotOffset[j]));
      continue;
    }
    TMMDisplayFeed* chosen;
    if (fits(k.offset, KindBlock(k, chosen))) due = std::min(due, DueAtLocked(k.offset));
  }
  return due;
}

namespace {

int32_t Advance(int32_t offset, int32_t step) { return int32_t(std::min<int64_t>(int64_t(offset) + step, INT32_MAX)); }

}  // namespace

bool TMMConnector::FeedKindLocked(Kind& k, TMMDisplayKind kind, int64_t elapsedUs) {
  TMMDisplayFeed* chosen;
  const int32_t block = KindBlock(k, chosen);
  if (!chosen) {
    k.pending = false;
    return false;
  }
  if (!DueLocked(k.offset, elapsedUs)) return false;
  int32_t step = chosen->AdvanceBytes();
  if (step <= 0) step = block;
  int32_t offset = k.offset;
  if (kind == dkOscope && triggerMode_ != TMMTriggerMode::tmNone && !paused_ && offset < dataBytes_) {
    const int32_t found =
        FindTriggerPoint(&displayFormat_, feedData_ + offset, dataBytes_ - offset, triggerLevel_,
                         triggerMode_ == TMMTriggerMode::tmUpFlank ? 1 : 2, int(chosen->TriggerChannel()));
    // The search may stop on the second channel of a frame; a block always starts a frame.
    if (found > 0) offset += found - found % std::max<int32_t>(displayFormat_.nBlockAlign, 1);
  }
  k.offset = Advance(offset, step);
  if (int64_t(offset) + block > dataBytes_) {
    k.pending = false;
    return false;
  }
  for (TMMDisplayFeed* d : k.displays)
    if (d && d->BlockBytes() > 0) d->FeedPCM(feedData_ + offset);
  ++k.blocks;
  return true;
}

bool TMMConnector::FeedSpectrogramsLocked(Kind& k, int64_t elapsedUs) {
  bool fed = false, more = false;
  for (size_t i = 0; i < k.displays.size(); ++i) {
    TMMDisplayFeed* d = k.displays[i];
    if (!d || k.slotDone[i]) continue;
    const int32_t block = d->BlockBytes();
    if (block <= 0) {
      k.slotDone[i] = true;
      continue;
    }
    const int32_t offset = k.slotOffset[i];
    if (!DueLocked(offset, elapsedUs)) {
      more = true;
      continue;
    }
    const int32_t step = d->AdvanceBytes() > 0 ? d->AdvanceBytes() : block;
    k.slotOffset[i] = Advance(offset, step);
    if (int64_t(offset) + block > dataBytes_) {
      k.slotDone[i] = true;
      continue;
    }
    d->FeedPCM(feedData_ + offset);
    ++k.blocks;
    fed = more = true;
  }
  if (!more) k.pending = false;
  return fed;
}
