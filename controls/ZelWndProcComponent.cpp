#include "controls/ZelWndProcComponent.h"

#include "platform/ui/controls.h"

TZelWndProcComponent::TZelWndProcComponent(plat::TComponent* owner) : TZelCustomComponent(owner) {}

TZelWndProcComponent::~TZelWndProcComponent() {
  destroying_ = true;
  Unhook();
}

void TZelWndProcComponent::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (!v) Unhook();
  else if (!IsLoading()) Hook();
}

void TZelWndProcComponent::Hook() {
  if (!enabled_ || destroying_ || IsLoading() || IsDestroying()) return;
  if (IsDesigning() && !activeWhileDesigning_) return;
  if (hooked_ && hooked_->Watching()) return;
  auto* control = dynamic_cast<plat::TControl*>(Owner());
  if (!control || !control->HandleAllocated()) return;
  windowGone_ = false;
  if (hookApplication_ && !appHook_)
    appHook_ =
        std::make_unique<plat::TWindowHook>(nullptr, plat::TWindowHook::hsApplication,
                                            [this](plat::TWindowEvent& e) { return DeliverApplicationEvent(e); });
  hooked_ = std::make_unique<plat::TWindowHook>(control, plat::TWindowHook::hsWindow,
                                                [this](plat::TWindowEvent& e) { return DeliverWindowEvent(e); });
}

void TZelWndProcComponent::Unhook() {
  hooked_.reset();
  appHook_.reset();
}

bool TZelWndProcComponent::DeliverWindowEvent(plat::TWindowEvent& e) {
  if (destroying_ || windowGone_) return false;
  if (e.Kind == plat::weDestroy) {
    // The window goes: nothing more is passed to us from it.
    windowGone_ = true;
    return false;
  }
  return WindowProc(e);
}

bool TZelWndProcComponent::DeliverApplicationEvent(plat::TWindowEvent& e) {
  if (destroying_) return false;
  return ApplicationHook(e);
}

bool TZelWndProcComponent::WindowProc(plat::TWindowEvent&) { return false; }

void TZelWndProcComponent::Loaded() {
  TZelCustomComponent::Loaded();
  if (!IsDesigning()) Hook();
}
