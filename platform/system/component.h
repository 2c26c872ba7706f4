#pragma once
// The roots of the object model every component of the program shares: persistent objects that
// can be assigned, and components with an owner, a name, owned components and free notification.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/system/exceptions.h"

namespace plat {

class TObject {
public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject {
public:
  // Copies src into this object; raises EConvertError when neither side knows the other.
  virtual void Assign(TPersistent* src);
  std::string ClassName() const override { return "TPersistent"; }

protected:
  virtual void AssignTo(TPersistent* dest);
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag : uint32_t {
  csLoading = 1,
  csReading = 2,
  csWriting = 4,
  csDestroying = 8,
  csDesigning = 16,
  csUpdating = 32,
};

class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name);
  int ComponentCount() const { return int(components_.size()); }
  TComponent* Components(int i) const;
  TComponent* FindComponent(const std::string& name) const;  // case-insensitive
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);
  void DestroyComponents();
  // Destroys the component, first calling BeforeDestruction while the whole object still
  // exists (owners destroy what they own the same way).
  void Free();

  // Asks c to tell this component, through Notification(c, opRemove), when it is destroyed.
  void FreeNotification(TComponent* c);
  void RemoveFreeNotification(TComponent* c);

  uint32_t ComponentState() const { return state_; }
  bool IsLoading() const { return state_ & csLoading; }
  bool IsDestroying() const { return state_ & csDestroying; }
  bool IsDesigning() const { return state_ & csDesigning; }
  // Loading brackets the setting of stored properties, as when a form is created from its layout.
  void BeginLoading();
  void EndLoading();  // clears the flag and calls Loaded()
  void SetDesigningState(bool designing) { SetState(csDesigning, designing); }

  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t t) { tag_ = t; }

  std::string ClassName() const override { return "TComponent"; }

protected:
  // Told of every component inserted into or removed from the owner, and of the destruction of
  // every component this one asked for free notification.
  virtual void Notification(TComponent* c, TOperation op);
  virtual void Loaded() {}
  // Last call before destruction through Free or the owner; the derived parts are still intact.
  virtual void BeforeDestruction() { state_ |= csDestroying; }
  // Called first thing when destruction starts, while the derived object is still whole.
  void Destroying();
  void SetState(uint32_t flag, bool on) { state_ = on ? (state_ | flag) : (state_ & ~flag); }

private:
  void RemoveNotification(TComponent* c);
  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  uint32_t state_ = 0;
  intptr_t tag_ = 0;
};

}  // namespace plat
