#pragma once
// A component that sees every event of its owner form's window before the form does. What was a
// replaced window procedure is a window hook (platform/ui/hooks.h): several components may hook
// one window and unhook in any order.
#include <memory>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/ui/hooks.h"

namespace plat {
class TCustomForm;
}

class TMMWndProcComponent : public plat::TComponent {
public:
  // Raises "Owner must be a Form" unless owner is a form.
  explicit TMMWndProcComponent(plat::TComponent* owner);
  ~TMMWndProcComponent() override;

  plat::TCustomForm* Form() const { return form_; }
  bool Hooked() const { return hooked_; }
  // Starts seeing the form's events (once its window exists).
  virtual void Hook();
  virtual void Unhook();
  // Every hooked component, in the order they hooked.
  static const std::vector<TMMWndProcComponent*>& HookedComponents();
  std::string ClassName() const override { return "TMMWndProcComponent"; }

  // Called by the hook: true keeps the event from the form.
  bool Deliver(plat::TWindowEvent& e);

protected:
  // Sees each event first; the default passes it on (DefaultHandler).
  virtual bool WndProc(plat::TWindowEvent& e);
  // What the form does with it: false lets the event go on to the form.
  virtual bool DefaultHandler(plat::TWindowEvent& e) { return false; }

private:
  plat::TCustomForm* form_;
  std::unique_ptr<plat::TWindowHook> hook_;
  bool hooked_ = false;
};
