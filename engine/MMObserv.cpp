#include "engine/MMObserv.h"

#include <algorithm>

TMMObserver::~TMMObserver() {
  if (observable_) observable_->RemoveObserver(this);
}

void TMMObserver::Update(void* data) {
  if (!locked_ && OnNotify) OnNotify(this, data);
}

TMMObservable::~TMMObservable() {
  for (auto* o : observers_) o->observable_ = nullptr;
  observers_.clear();
}

void TMMObservable::Notify(void* data) {
  if (locked_) return;
  // An observer may detach itself (or another) while being told: walk a copy, skip the gone.
  std::vector<TMMObserver*> snapshot = observers_;
  for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
    if ((*it)->observable_ == this) (*it)->Update(data);
}

void TMMObservable::AddObserver(TMMObserver* o) {
  if (!o) return;
  if (o->observable_) o->observable_->RemoveObserver(o);
  observers_.push_back(o);
  o->observable_ = this;
}

void TMMObservable::RemoveObserver(TMMObserver* o) {
  if (!o || o->observable_ != this) return;
  observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
  o->observable_ = nullptr;
}
