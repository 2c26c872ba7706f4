#pragma once
// The kit's global object and its timer pool. One periodic timer on the UI thread drives every
// software timer of the kit's controls; the timer itself comes from a backend (a Qt timer in the
// program, a hand-driven one in tests).
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelObject.h"
#include "controls/zelprocs.h"
#include "platform/system/exceptions.h"

namespace plat {
class TBitmap;
class TControl;
}  // namespace plat

// ---- exceptions -----------------------------------------------------------------------------------
class ZelEOneInstError : public plat::Exception {
public:
  // kind 0: not on a form or a second one on it; kind 1: a second one in the program.
  ZelEOneInstError(int kind, const std::string& className);
};
PLAT_EXCEPTION(EInvalidWave, plat::Exception, "")
PLAT_EXCEPTION(EErrorCheckingWave, plat::Exception, "")
PLAT_EXCEPTION(EZelWrongPixelFormat, plat::Exception, "")

// ---- timer backend --------------------------------------------------------------------------------
class TZelTimerBackend {
public:
  virtual ~TZelTimerBackend() = default;
  // (Re)arms a periodic timer of intervalMs; false when no timer can be had.
  virtual bool Start(unsigned intervalMs) = 0;
  virtual void Stop() = 0;
  // Set by the pool: what each expiry runs, on the UI thread.
  std::function<void()> OnTick;
};

// Ticks only when a test says so.
class TZelManualTimerBackend : public TZelTimerBackend {
public:
  bool Start(unsigned intervalMs) override;
  void Stop() override { running_ = false; }
  bool Running() const { return running_; }
  unsigned Interval() const { return interval_; }
  int Starts() const { return starts_; }
  // Makes the next starts fail, as when the system has no timer left.
  bool FailStarts = false;
  // Delivers n expiries while the timer runs; returns how many were delivered.
  int Fire(int n = 1);

private:
  bool running_ = false;
  unsigned interval_ = 0;
  int starts_ = 0;
};

// ---- timer pool -----------------------------------------------------------------------------------
class TZelTimerPool;
using TZelTimerPoolEvent = std::function<void(plat::TObject* Sender, uint16_t Ident, int Counter)>;

class TZelTimerItem : public plat::TObject {
public:
  // Both pool and list must be given.
  TZelTimerItem(TZelTimerPool* pool, std::vector<TZelTimerItem*>* list, uint16_t ident);
  ~TZelTimerItem() override;
  TZelTimerItem(const TZelTimerItem&) = delete;
  TZelTimerItem& operator=(const TZelTimerItem&) = delete;

  int Counter() const { return counter_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  uint16_t Ident() const { return ident_; }
  uint16_t Interval() const { return interval_; }
  // Ignored unless a whole multiple of the pool's MinInterval; 0 means MinInterval.
  void SetInterval(uint16_t v);
  int TicksPerFiring() const { return ticks_; }
  // The item's own event; the pool's OnTimer fires for items without one.
  plat::TNotifyEvent OnTimer;

  void Fire();
  std::string ClassName() const override { return "TZelTimerItem"; }

private:
  int counter_ = 0;
  bool enabled_ = true;
  uint16_t ident_;
  uint16_t interval_ = 1000;
  int ticks_ = 1;
  std::vector<TZelTimerItem*>* list_;
  TZelTimerPool* pool_;
};

class TZelTimerPool : public TZelCustomComponent {
public:
  explicit TZelTimerPool(plat::TComponent* owner = nullptr);
  TZelTimerPool(plat::TComponent* owner, uint16_t minInterval);
  ~TZelTimerPool() override;

  uint16_t MinInterval() const { return minInterval_; }
  // Takes effect only while loading or designing.
  void SetMinInterval(uint16_t v);
  TZelTimerPoolEvent OnTimer;
  // Where an exception escaping a timer's handler goes; without one, the application's handler.
  // Either way the pool goes on ticking.
  std::function<void(plat::TObject* Sender, const std::exception& E)> OnException;

  void SetBackend(std::unique_ptr<TZelTimerBackend> backend);
  TZelTimerBackend* Backend() const { return backend_.get(); }

  // Adds an enabled item and restarts the timer and the common tick phase; returns its index.
  int AddTimerItem(uint16_t ident, uint16_t interval, plat::TNotifyEvent event);
  void RemoveTimerItem(uint16_t ident);
  TZelTimerItem* ItemByIdent(uint16_t ident) const;
  int IndexOfIdent(uint16_t ident) const;
  int EnabledCount() const;
  int Count() const { return int(items_.size()); }
  TZelTimerItem* Items(int i) const;
  void Clear();
  // Stops the timer and, when start and an item is enabled, starts it anew with the phase at 1.
  void UpdateTimer(bool start);

  bool Running() const { return running_; }
  int TickCounter() const { return tickCounter_; }
  // One expiry of the timer, as the backend delivers it.
  void TimerMessage();
  std::string ClassName() const override { return "TZelTimerPool"; }

private:
  void Dispatch();
  void Report(const std::exception_ptr& e);
  uint16_t minInterval_ = 1000;
  bool running_ = false;
  bool dispatching_ = false;
  bool removing_ = false;
  bool restarted_ = false;
  bool walking_ = false;
  int walkIndex_ = 0;
  int walkEnd_ = 0;
  int32_t tickCounter_ = 0;
  std::vector<TZelTimerItem*> items_;
  std::unique_ptr<TZelTimerBackend> backend_;
};

// ---- settings component ---------------------------------------------------------------------------
enum TZelRegRootKey { rpClassesRoot, rpCurrentUser, rpLocalMachine, rpUsers, rpCurrentConfig, rpDynData };
enum TZelIniTarget { itIniFile, itRegistry, itAuto };

class TZelIniCtrl : public TZelCustomComponent {
public:
  explicit TZelIniCtrl(plat::TComponent* owner = nullptr) : TZelCustomComponent(owner) {}
  bool AlphaCounter() const { return alphaCounter_; }
  void SetAlphaCounter(bool v);
  bool Common() const { return common_; }
  void SetCommon(bool v) { common_ = v; }
  const std::string& IniFile() const { return iniFile_; }
  void SetIniFile(const std::string& v);  // a blank extension becomes ".INI"
  TZelPathPrefix IniPrefix() const { return iniPrefix_; }
  void SetIniPrefix(TZelPathPrefix v) { iniPrefix_ = v; }
  uint8_t MaxEntries() const { return maxEntries_; }
  void SetMaxEntries(uint8_t v);
  bool NetUser() const { return netUser_; }
  void SetNetUser(bool v);  // on: User becomes the logged-on user's name
  const std::string& User() const { return user_; }
  void SetUser(const std::string& v) { user_ = v; }
  const std::string& RegPath() const { return regPath_; }
  void SetRegPath(const std::string& v) { regPath_ = v; }
  TZelRegRootKey RegRoot() const { return regRoot_; }
  void SetRegRoot(TZelRegRootKey v) { regRoot_ = v; }
  TZelIniTarget Target() const { return target_; }
  void SetTarget(TZelIniTarget v);
  TZelIniTarget EffectiveTarget() const { return effectiveTarget_; }
  std::string ClassName() const override { return "TZelIniCtrl"; }

private:
  bool alphaCounter_ = false;
  bool common_ = true;
  std::string iniFile_;
  TZelPathPrefix iniPrefix_ = ppWindows;
  uint8_t maxEntries_ = 16;
  bool netUser_ = false;
  std::string user_;
  std::string regPath_;
  TZelRegRootKey regRoot_ = rpCurrentUser;
  TZelIniTarget target_ = itAuto;
  TZelIniTarget effectiveTarget_ = itRegistry;
};

// The logged-on user's name, or "(Unknown)".
std::string ZelUserName();

// ---- the application object -----------------------------------------------------------------------
constexpr uint16_t kZelTimerIdBase = 0xFD00;
constexpr int kZelTimerSlots = 250;

class TZelApplication : public plat::TComponent {
public:
  // backend: the pool's timer (without one no timer can be had; the GUI layer's TZelKit passes
  // the UI thread's). instanceName: what the previous-instance check is named after (empty: the
  // program's file name).
  explicit TZelApplication(std::unique_ptr<TZelTimerBackend> backend = nullptr, const std::string& instanceName = {});
  ~TZelApplication() override;

  // Takes the lowest free slot and adds an enabled pool timer 0xFD00 + slot; 0 when all 250 are
  // in use. The pool's exceptions pass through and leave the slot free.
  uint16_t AddTimer(uint16_t interval, plat::TNotifyEvent event);
  // Identifiers outside the pool's own range are ignored.
  void RemoveTimer(uint16_t ident);
  TZelTimerItem* TimerById(uint16_t ident) const;
  TZelTimerPool* TimerPool() const { return pool_; }

  // The 8 x 8 checker pattern in colour (other pixels white), kept by the application.
  plat::TBitmap* GetPatternBitmap(uint32_t color);

  uint8_t OptionFlags() const { return optionFlags_; }
  void SetOptionFlags(uint8_t v) { optionFlags_ = v; }
  uint8_t AnimationDelay() const { return animationDelay_; }
  bool PreviousInstance() const { return previousInstance_; }
  const std::string& LogFileName() const { return logFileName_; }
  TZelPathPrefix LogPathKind() const { return logPathKind_; }
  int64_t CounterFrequency() const { return counterFrequency_; }
  TZelIniCtrl* IniCtrl() const { return iniCtrl_; }
  std::string ClassName() const override { return "TZelApplication"; }

private:
  uint8_t optionFlags_ = 0x36;
  TZelIniCtrl* iniCtrl_ = nullptr;
  uint8_t animationDelay_ = 3;
  std::shared_ptr<plat::TBitmap> pattern_;
  uint32_t patternColor_ = 0x1FFFFFFF;
  TZelTimerPool* pool_ = nullptr;
  TZelPathPrefix logPathKind_ = ppProgram;
  std::string logFileName_;
  int64_t counterFrequency_ = 1000000;
  int instanceFd_ = -1;
  bool previousInstance_ = false;
  std::array<bool, kZelTimerSlots + 1> slotUsed_{};
};

// The kit's one application object (null outside its lifetime). The program makes it after the
// Qt application object and frees it before; tests make their own.
extern TZelApplication* ZelApplication;

// The checker pattern of a colour: the application's when there is one, else one of this
// module's own (GUI part).
plat::TBitmap* ZelPatternBitmap(uint32_t color);
// The program's main form (mainForm) or the screen's active form, or null (GUI part).
plat::TControl* ZelReferenceForm(bool mainForm);

// Makes the kit's globals for a program: the application object with the UI thread's timer and
// the global container. Made after the Qt application object and freed before it (GUI part).
class TZelKit {
public:
  TZelKit();
  ~TZelKit();
  TZelKit(const TZelKit&) = delete;
  TZelKit& operator=(const TZelKit&) = delete;
};

// The one-per-form check: true (not allowed) when owner is not a form (or, with dataModuleOk, a
// data module) or holds more than one component for which isOfClass answers true (GUI part).
bool CheckOneInstance(plat::TComponent* owner, const std::function<bool(plat::TComponent*)>& isOfClass,
                      bool dataModuleOk);
