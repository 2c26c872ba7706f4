#include "controls/MMHook.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>

#include "platform/ui/native_qt.h"
#include "platform/messages/app_hooks.h"
#include "platform/system/exceptions.h"
#include "platform/ui/forms.h"

namespace {
std::vector<TMMWndProcComponent*>& Hooks() {
  static std::vector<TMMWndProcComponent*> list;
  return list;
}
}  // namespace

class TMMWndProcComponent::Filter : public QObject {
public:
  Filter(TMMWndProcComponent* owner, QWidget* w) : owner_(owner), watched_(w) { w->installEventFilter(this); }
  ~Filter() override {
    if (watched_) watched_->removeEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* e) override {
    try {
      return owner_->Deliver(e);
    } catch (...) {
      plat::HandleException(std::current_exception());
      return false;
    }
  }

private:
  TMMWndProcComponent* owner_;
  QPointer<QWidget> watched_;
};

TMMWndProcComponent::TMMWndProcComponent(plat::TComponent* owner)
    : plat::TComponent(owner), form_(dynamic_cast<plat::TCustomForm*>(owner)) {
  if (!form_) throw plat::Exception("Owner must be a Form");
}

TMMWndProcComponent::~TMMWndProcComponent() { TMMWndProcComponent::Unhook(); }

const std::vector<TMMWndProcComponent*>& TMMWndProcComponent::HookedComponents() { return Hooks(); }

QWidget* TMMWndProcComponent::Window() const {
  return form_ && plat::WidgetOf(form_) ? plat::WidgetOf(form_)->window() : nullptr;
}

void TMMWndProcComponent::Hook() {
  if (hooked_) return;
  QWidget* w = Window();
  if (!w) return;
  filter_ = std::make_unique<Filter>(this, w);
  Hooks().push_back(this);
  hooked_ = true;
}

void TMMWndProcComponent::Unhook() {
  if (!hooked_) return;
  auto& list = Hooks();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  filter_.reset();
  hooked_ = false;
}

bool TMMWndProcComponent::Deliver(QEvent* e) {
  if (!hooked_ || IsDestroying()) return false;
  return WndProc(e);
}

bool TMMWndProcComponent::WndProc(QEvent* e) { return DefaultHandler(e); }
