#pragma once
// The base of the kit's components that see their form's events before the form does. The old
// window-procedure replacement becomes a window hook on the owner's window
// (platform/ui/hooks.h): several may be installed on one window and removed in any order.
#include <memory>

#include "controls/ZelObject.h"
#include "platform/ui/hooks.h"

class TZelWndProcComponent : public TZelCustomComponent {
public:
  explicit TZelWndProcComponent(plat::TComponent* owner = nullptr);
  ~TZelWndProcComponent() override;

  bool Enabled() const { return enabled_; }
  // Off unhooks; on hooks when the window exists.
  void SetEnabled(bool v);
  bool ActiveWhileDesigning() const { return activeWhileDesigning_; }
  void SetActiveWhileDesigning(bool v) { activeWhileDesigning_ = v; }
  // Also watch the application's events (every widget's); see ApplicationHook.
  bool HookApplication() const { return hookApplication_; }
  void SetHookApplication(bool v) { hookApplication_ = v; }
  // The kind of the owner form: 0 normal (this platform has no multiple-document forms).
  int FormKind() const { return 0; }

  virtual void Hook();
  virtual void Release() {}
  virtual void Unhook();
  bool Hooked() const { return hooked_ != nullptr; }
  // Hooked, and the window is still there.
  bool Watching() const { return hooked_ && hooked_->Watching(); }
  std::string ClassName() const override { return "TZelWndProcComponent"; }

  // What the hooks call (not for general use).
  bool DeliverWindowEvent(plat::TWindowEvent& e);
  bool DeliverApplicationEvent(plat::TWindowEvent& e);

protected:
  // Sees every event of the hooked window first; true keeps it from the window.
  virtual bool WindowProc(plat::TWindowEvent& e);
  // Sees every event of the application while HookApplication; true keeps it from its target.
  virtual bool ApplicationHook(plat::TWindowEvent& e) { return false; }
  void Loaded() override;

private:
  bool enabled_ = true;
  bool activeWhileDesigning_ = false;
  bool hookApplication_ = false;
  bool destroying_ = false;
  bool windowGone_ = false;
  std::unique_ptr<plat::TWindowHook> hooked_;
  std::unique_ptr<plat::TWindowHook> appHook_;
};
