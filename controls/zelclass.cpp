#include "controls/zelclass.h"

#include <climits>

#include "platform/messages/app_hooks.h"
#include "platform/system/files.h"

TZelApplication* ZelApplication = nullptr;

ZelEOneInstError::ZelEOneInstError(int kind, const std::string& className)
    : plat::Exception(kind == 0 ? className + ":\rInvalid owner (<>TForm) or second instance on a form"
                                : className + ":\rAlready one " + className + " control in this project!") {}

// ---- manual backend -------------------------------------------------------------------------------

bool TZelManualTimerBackend::Start(unsigned intervalMs) {
  if (FailStarts) return false;
  running_ = true;
  interval_ = intervalMs;
  ++starts_;
  return true;
}

int TZelManualTimerBackend::Fire(int n) {
  int delivered = 0;
  for (int i = 0; i < n && running_; ++i, ++delivered)
    if (OnTick) OnTick();
  return delivered;
}

// ---- timer item -----------------------------------------------------------------------------------

TZelTimerItem::TZelTimerItem(TZelTimerPool* pool, std::vector<TZelTimerItem*>* list, uint16_t ident)
    : ident_(ident), list_(list), pool_(pool) {
  if (!pool || !list) throw plat::EInvalidOperation(ClassName() + ": Invalid Owner or List");
  ticks_ = std::max(1, 1000 / int(pool->MinInterval()));
}

TZelTimerItem::~TZelTimerItem() {
  enabled_ = false;
  OnTimer = nullptr;
  for (auto it = list_->begin(); it != list_->end(); ++it)
    if (*it == this) {
      list_->erase(it);
      break;
    }
}

void TZelTimerItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  counter_ = 0;
}

void TZelTimerItem::SetInterval(uint16_t v) {
  if (v == interval_) return;
  uint16_t minInterval = pool_->MinInterval();
  if (v % minInterval != 0) return;
  if (v == 0) v = minInterval;
  ticks_ = v / minInterval;
  interval_ = v;
  counter_ = 0;
}

void TZelTimerItem::Fire() {
  if (enabled_) counter_ = counter_ == INT_MAX ? 0 : counter_ + 1;
  // The handler may remove this item (and so destroy it): work on copies from here on.
  TZelTimerPool* pool = pool_;
  if (OnTimer) {
    auto handler = OnTimer;
    handler(pool);
  } else if (pool->OnTimer) {
    auto handler = pool->OnTimer;
    handler(pool, ident_, counter_);
  }
}

// ---- timer pool -----------------------------------------------------------------------------------

TZelTimerPool::TZelTimerPool(plat::TComponent* owner) : TZelCustomComponent(owner) {}

TZelTimerPool::TZelTimerPool(plat::TComponent* owner, uint16_t minInterval) : TZelCustomComponent(owner) {
  if (minInterval) minInterval_ = minInterval;
}

TZelTimerPool::~TZelTimerPool() {
  Clear();
  if (backend_) backend_->OnTick = nullptr;
}

void TZelTimerPool::SetMinInterval(uint16_t v) {
  if (v == 0 || !(IsLoading() || IsDesigning())) return;
  minInterval_ = v;
}

void TZelTimerPool::SetBackend(std::unique_ptr<TZelTimerBackend> backend) {
  if (backend_) {
    backend_->Stop();
    backend_->OnTick = nullptr;
  }
  running_ = false;
  backend_ = std::move(backend);
  if (backend_) backend_->OnTick = [this] { TimerMessage(); };
}

int TZelTimerPool::AddTimerItem(uint16_t ident, uint16_t interval, plat::TNotifyEvent event) {
  if (!items_.empty() && IndexOfIdent(ident) >= 0) throw plat::Exception("List index out of bounds (%d)");
  if (interval % minInterval_ != 0 || interval < minInterval_)
    throw plat::Exception("Interval not compatible with MinInterval property!");
  auto* item = new TZelTimerItem(this, &items_, ident);
  items_.push_back(item);
  item->SetInterval(interval);
  item->OnTimer = std::move(event);
  try {
    UpdateTimer(true);
  } catch (...) {
    // An item without a timer would hold its identifier for ever: it goes, and the others get
    // their timer back if one can be had.
    delete item;
    try {
      UpdateTimer(true);
    } catch (const plat::EOutOfResources&) {}
    throw;
  }
  return IndexOfIdent(ident);
}

void TZelTimerPool::RemoveTimerItem(uint16_t ident) {
  int index = IndexOfIdent(ident);
  if (index < 0) return;
  removing_ = true;
  if (walking_) {
    if (index < walkEnd_) --walkEnd_;
    if (index <= walkIndex_) --walkIndex_;
  }
  TZelTimerItem* item = items_[size_t(index)];
  item->SetEnabled(false);
  item->OnTimer = nullptr;
  delete item;
  removing_ = false;
  if (items_.empty()) UpdateTimer(false);
}

TZelTimerItem* TZelTimerPool::ItemByIdent(uint16_t ident) const {
  int i = IndexOfIdent(ident);
  return i < 0 ? nullptr : items_[size_t(i)];
}

int TZelTimerPool::IndexOfIdent(uint16_t ident) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Ident() == ident) return int(i);
  return -1;
}

int TZelTimerPool::EnabledCount() const {
  int n = 0;
  for (auto* item : items_)
    if (item->Enabled()) ++n;
  return n;
}

TZelTimerItem* TZelTimerPool::Items(int i) const {
  if (i < 0 || i >= int(items_.size())) throw plat::EListError();
  return items_[size_t(i)];
}

void TZelTimerPool::Clear() {
  UpdateTimer(false);
  while (!items_.empty()) delete items_.back();
}

void TZelTimerPool::UpdateTimer(bool start) {
  if (IsDesigning()) return;
  running_ = false;
  if (backend_) backend_->Stop();
  if (!start || EnabledCount() == 0) return;
  if (!backend_ || !backend_->Start(minInterval_)) throw plat::EOutOfResources("Not enough timers available");
  tickCounter_ = 1;
  running_ = true;
  restarted_ = true;
}

void TZelTimerPool::TimerMessage() {
  if (dispatching_) return;
  dispatching_ = true;
  try {
    Dispatch();
  } catch (...) {
    Report(std::current_exception());
  }
  walking_ = false;
  dispatching_ = false;
}

void TZelTimerPool::Dispatch() {
  if (removing_) return;
  // Every item of this walk is tested against the tick that arrived, even when a handler
  // restarts the phase by adding a timer; items added meanwhile wait for the next tick, and an
  // item removed meanwhile makes none of the others miss theirs.
  const int32_t tick = tickCounter_;
  restarted_ = false;
  walking_ = true;
  walkEnd_ = int(items_.size());
  for (walkIndex_ = 0; walkIndex_ < walkEnd_ && walkIndex_ < int(items_.size()); ++walkIndex_) {
    TZelTimerItem* item = items_[size_t(walkIndex_)];
    if (!item->Enabled() || tick % item->TicksPerFiring() != 0) continue;
    try {
      item->Fire();
    } catch (...) {
      Report(std::current_exception());
    }
  }
  walking_ = false;
  // A restart during the walk has set the phase for the next tick already.
  if (!restarted_) tickCounter_ = tickCounter_ == INT32_MAX ? 0 : tickCounter_ + 1;
}

void TZelTimerPool::Report(const std::exception_ptr& e) {
  if (!OnException) return plat::HandleException(e);
  auto handler = OnException;
  try {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      handler(this, ex);
    } catch (...) {
      handler(this, plat::Exception("Unknown exception in a kit timer"));
    }
  } catch (...) {
    // A failing handler must not stop the pool.
  }
}

// ---- settings component ---------------------------------------------------------------------------

std::string ZelUserName() {
  std::string name = plat::UserName();
  if (name.empty()) return "(Unknown)";
  return name.substr(0, 63);
}

void TZelIniCtrl::SetAlphaCounter(bool v) {
  if (v == alphaCounter_) return;
  alphaCounter_ = v;
  if (maxEntries_ > 26) maxEntries_ = 26;
}

void TZelIniCtrl::SetMaxEntries(uint8_t v) {
  if (alphaCounter_ && v > 26) return;
  maxEntries_ = v;
}

void TZelIniCtrl::SetIniFile(const std::string& v) {
  iniFile_ = v;
  if (iniFile_.empty()) return;
  size_t sep = iniFile_.find_last_of("/\\");
  size_t dot = iniFile_.rfind('.');
  bool noExt = dot == std::string::npos || (sep != std::string::npos && dot < sep) || dot + 1 == iniFile_.size();
  if (noExt) {
    if (iniFile_.back() == '.') iniFile_.pop_back();
    iniFile_ += ".INI";
  }
}

void TZelIniCtrl::SetNetUser(bool v) {
  netUser_ = v;
  if (v) user_ = ZelUserName();
}

void TZelIniCtrl::SetTarget(TZelIniTarget v) {
  target_ = v;
  effectiveTarget_ = v == itAuto ? itRegistry : v;
}

// ---- application object ---------------------------------------------------------------------------

namespace {
std::string ProgramPath() {
  const std::string path = plat::ExecutablePath();
  return path.empty() ? "solvane" : path;
}
}  // namespace

TZelApplication::TZelApplication(std::unique_ptr<TZelTimerBackend> backend, const std::string& instanceName)
    : plat::TComponent(nullptr) {
  iniCtrl_ = new TZelIniCtrl(nullptr);
  std::string programPath = ProgramPath();
  // The old named mutex: a lock on a file named after the program, held while we live.
  std::string name = instanceName.empty() ? plat::ExtractFileName(programPath) : instanceName;
  std::string lockPath = plat::RuntimePath() + name + ".kit.lock";
  // Without a runtime folder this is the temporary path, which another account may share: a link
  // at the name is never followed, so it cannot make or open a file elsewhere in our name.
  instanceFd_ = plat::OpenLockFile(lockPath);
  if (instanceFd_ >= 0 && !plat::LockRange(instanceFd_, 0, 1)) previousInstance_ = true;
  pool_ = new TZelTimerPool(nullptr, 50);
  pool_->SetBackend(std::move(backend));
  logFileName_ = ZelLogFileName("", logPathKind_, programPath);
  if (!ZelApplication) ZelApplication = this;
}

TZelApplication::~TZelApplication() {
  if (ZelApplication == this) ZelApplication = nullptr;
  delete iniCtrl_;
  pattern_.reset();
  delete pool_;
  plat::CloseDescriptor(instanceFd_);
}

uint16_t TZelApplication::AddTimer(uint16_t interval, plat::TNotifyEvent event) {
  for (int slot = 1; slot <= kZelTimerSlots; ++slot) {
    if (slotUsed_[size_t(slot)]) continue;
    uint16_t ident = uint16_t(kZelTimerIdBase + slot);
    pool_->AddTimerItem(ident, interval, std::move(event));
    slotUsed_[size_t(slot)] = true;
    return ident;
  }
  return 0;
}

void TZelApplication::RemoveTimer(uint16_t ident) {
  if (ident <= kZelTimerIdBase || ident > kZelTimerIdBase + kZelTimerSlots) return;
  pool_->RemoveTimerItem(ident);
  slotUsed_[size_t(ident - kZelTimerIdBase)] = false;
}

TZelTimerItem* TZelApplication::TimerById(uint16_t ident) const { return pool_->ItemByIdent(ident); }
