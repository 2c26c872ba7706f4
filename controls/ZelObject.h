#pragma once
// The roots of the kit's option objects and non-visual components: one change protocol. Every
// effective change calls Change, which tells OnChange unless an update bracket is open.
#include <string>
#include <utility>

#include "platform/system/component.h"

template <class Base>
class TZelChangeProtocol : public Base {
public:
  template <class... A>
  explicit TZelChangeProtocol(A&&... args) : Base(std::forward<A>(args)...) {}

  plat::TNotifyEvent OnChange;

  // A bracket is a flag, not a counter: brackets do not nest.
  void BeginUpdate() { updating_ = true; }
  void EndUpdate(bool notify) {
    updating_ = false;
    if (notify) Change();
  }
  bool Updating() const { return updating_; }
  virtual void Change() {
    if (updating_ || !OnChange) return;
    auto handler = OnChange;  // the handler may replace OnChange while it runs
    handler(this);
  }
  // A handler that calls Change, for the graphic objects and nested option objects this one owns.
  plat::TNotifyEvent ChangeForwarder() {
    return [this](plat::TObject*) { Change(); };
  }

protected:
  // Stores v in field and notifies, when it differs.
  template <class T, class U>
  bool SetField(T& field, const U& v) {
    if (field == v) return false;
    field = v;
    Change();
    return true;
  }
  // Runs copy with notification held back, then notifies once (unless a bracket of the
  // caller's is open, which then notifies when it closes).
  template <class F>
  void AssignNotifyingOnce(F&& copy) {
    bool was = updating_;
    updating_ = true;
    copy();
    updating_ = was;
    if (!was) Change();
  }

private:
  bool updating_ = false;
};

class TZelObject : public TZelChangeProtocol<plat::TPersistent> {
public:
  TZelObject() = default;
  TZelObject(const TZelObject&) = delete;
  TZelObject& operator=(const TZelObject&) = delete;

  // A short text for a designer; empty in the base.
  virtual std::string Summary() const { return {}; }
  std::string ClassName() const override { return "TZelObject"; }
};

class TZelCustomComponent : public TZelChangeProtocol<plat::TComponent> {
public:
  explicit TZelCustomComponent(plat::TComponent* owner = nullptr) : TZelChangeProtocol(owner) {}

  const std::string& About() const { return about_; }
  void SetAbout(const std::string&) {}  // a designer's text; not settable
  std::string ClassName() const override { return "TZelCustomComponent"; }

private:
  std::string about_;
};
