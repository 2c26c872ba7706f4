#include "controls/ZelWndProcComponent.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include "platform/ui/native_qt.h"
#include "platform/messages/app_hooks.h"
#include "platform/ui/controls.h"

class TZelWndProcComponent::Filter : public QObject {
public:
  Filter(TZelWndProcComponent* owner, QObject* watched, bool application)
      : owner_(owner), watched_(watched), application_(application) {
    watched->installEventFilter(this);
  }
  ~Filter() override {
    if (watched_) watched_->removeEventFilter(this);
  }
  QWidget* Widget() const { return qobject_cast<QWidget*>(watched_.data()); }
  bool Alive() const { return !watched_.isNull(); }

  bool eventFilter(QObject* target, QEvent* e) override {
    // Exceptions never cross a Qt event: they go to the application's handler.
    try {
      return application_ ? owner_->DeliverApplicationEvent(target, e) : owner_->DeliverWindowEvent(e);
    } catch (...) {
      plat::HandleException(std::current_exception());
      return false;
    }
  }

private:
  TZelWndProcComponent* owner_;
  QPointer<QObject> watched_;
  bool application_;
};

TZelWndProcComponent::TZelWndProcComponent(plat::TComponent* owner) : TZelCustomComponent(owner) {}

TZelWndProcComponent::~TZelWndProcComponent() {
  destroying_ = true;
  Unhook();
}

void TZelWndProcComponent::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (!v)
    Unhook();
  else if (!IsLoading())
    Hook();
}

QWidget* TZelWndProcComponent::Window() const {
  auto* control = dynamic_cast<plat::TControl*>(Owner());
  if (!control || !plat::WidgetOf(control)) return nullptr;
  return plat::WidgetOf(control)->window();
}

QWidget* TZelWndProcComponent::HookedWidget() const {
  return hooked_ && hooked_->Alive() ? hooked_->Widget() : nullptr;
}

void TZelWndProcComponent::Hook() {
  if (!enabled_ || destroying_ || IsLoading() || IsDestroying()) return;
  if (IsDesigning() && !activeWhileDesigning_) return;
  if (hooked_ && hooked_->Alive()) return;
  QWidget* w = Window();
  if (!w) return;
  windowGone_ = false;
  if (hookApplication_ && qApp && !appHook_) appHook_ = std::make_unique<Filter>(this, qApp, true);
  hooked_ = std::make_unique<Filter>(this, w, false);
}

void TZelWndProcComponent::Unhook() {
  hooked_.reset();
  appHook_.reset();
}

bool TZelWndProcComponent::DeliverWindowEvent(QEvent* e) {
  if (destroying_ || windowGone_) return false;
  if (e->type() == QEvent::Destroy) {
    // The window goes: nothing more is passed to us from it.
    windowGone_ = true;
    return false;
  }
  return WindowProc(e);
}

bool TZelWndProcComponent::DeliverApplicationEvent(QObject* target, QEvent* e) {
  if (destroying_) return false;
  return ApplicationHook(target, e);
}

bool TZelWndProcComponent::WindowProc(QEvent*) { return false; }

void TZelWndProcComponent::Loaded() {
  TZelCustomComponent::Loaded();
  if (!IsDesigning()) Hook();
}
