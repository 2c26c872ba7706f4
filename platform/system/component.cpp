#include "platform/system/component.h"

#include <algorithm>
#include <strings.h>

namespace plat {

void TPersistent::Assign(TPersistent* src) {
  if (!src) throw EConvertError("Cannot assign a nil to a " + ClassName());
  src->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + (dest ? dest->ClassName() : std::string("nil")));
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Everyone that asked to be told of our end learns of it before anything else goes.
  while (!freeNotifies_.empty()) {
    TComponent* c = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& back = c->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::Destroying() { state_ |= csDestroying; }

void TComponent::SetName(const std::string& name) { name_ = name; }

TComponent* TComponent::Components(int i) const {
  if (i < 0 || i >= int(components_.size())) throw EListError();
  return components_[size_t(i)];
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (auto* c : components_)
    if (strcasecmp(c->name_.c_str(), name.c_str()) == 0) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
  if (!c || c->owner_ == this) return;
  if (c->owner_) c->owner_->RemoveComponent(c);
  components_.push_back(c);
  c->owner_ = this;
  Notification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it == components_.end()) return;
  Notification(c, opRemove);
  // The notification may have changed the list; look the component up again.
  it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
  c->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    // Detach first so the child's destructor does not search us again.
    RemoveComponent(c);
    c->Free();
  }
}

void TComponent::Free() {
  BeforeDestruction();
  delete this;
}

void TComponent::FreeNotification(TComponent* c) {
  if (!c || c == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), c) == freeNotifies_.end()) freeNotifies_.push_back(c);
  auto& back = c->freeNotifies_;
  if (std::find(back.begin(), back.end(), this) == back.end()) back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* c) {
  if (!c) return;
  RemoveNotification(c);
  c->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* c) {
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), c), freeNotifies_.end());
}

void TComponent::Notification(TComponent* c, TOperation op) {
  if (op == opRemove && c) RemoveFreeNotification(c);
  // Copy: a child may remove itself while being told.
  std::vector<TComponent*> children = components_;
  for (auto* child : children)
    if (std::find(components_.begin(), components_.end(), child) != components_.end()) child->Notification(c, op);
}

void TComponent::BeginLoading() { state_ |= csLoading; }

void TComponent::EndLoading() {
  state_ &= ~uint32_t(csLoading);
  Loaded();
}

}  // namespace plat
