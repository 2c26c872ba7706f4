#include "controls/MMHook.h"

#include <algorithm>

#include "platform/system/exceptions.h"
#include "platform/ui/forms.h"

namespace {
std::vector<TMMWndProcComponent*>& Hooks() {
  static std::vector<TMMWndProcComponent*> list;
  return list;
}
}  // namespace

TMMWndProcComponent::TMMWndProcComponent(plat::TComponent* owner)
    : plat::TComponent(owner), form_(dynamic_cast<plat::TCustomForm*>(owner)) {
  if (!form_) throw plat::Exception("Owner must be a Form");
}

TMMWndProcComponent::~TMMWndProcComponent() { TMMWndProcComponent::Unhook(); }

const std::vector<TMMWndProcComponent*>& TMMWndProcComponent::HookedComponents() { return Hooks(); }

void TMMWndProcComponent::Hook() {
  if (hooked_ || !form_->HandleAllocated()) return;
  hook_ = std::make_unique<plat::TWindowHook>(form_, plat::TWindowHook::hsWindow,
                                              [this](plat::TWindowEvent& e) { return Deliver(e); });
  Hooks().push_back(this);
  hooked_ = true;
}

void TMMWndProcComponent::Unhook() {
  if (!hooked_) return;
  auto& list = Hooks();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  hook_.reset();
  hooked_ = false;
}

bool TMMWndProcComponent::Deliver(plat::TWindowEvent& e) {
  if (!hooked_ || IsDestroying()) return false;
  return WndProc(e);
}

bool TMMWndProcComponent::WndProc(plat::TWindowEvent& e) { return DefaultHandler(e); }
