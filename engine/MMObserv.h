#pragma once
// A minimal change-notification pair: an observable tells its observers of a change.
#include <functional>
#include <vector>

#include "engine/MMObj.h"

class TMMObservable;

class TMMObserver : public TObject {
public:
  ~TMMObserver() override;
  // Unless locked, fires OnNotify(this, data).
  virtual void Update(void* data);
  TMMObservable* Observable() const { return observable_; }
  bool Locked() const { return locked_; }
  void SetLocked(bool l) { locked_ = l; }
  std::function<void(TObject* Sender, void* Data)> OnNotify;

private:
  friend class TMMObservable;
  TMMObservable* observable_ = nullptr;
  bool locked_ = false;
};

class TMMObservable : public TObject {
public:
  ~TMMObservable() override;
  // Unless locked, tells every observer, from the last attached to the first.
  void Notify(void* data);
  // Moves the observer here from any other observable; nil is ignored.
  void AddObserver(TMMObserver* o);
  void RemoveObserver(TMMObserver* o);
  int ObserverCount() const { return int(observers_.size()); }
  bool Locked() const { return locked_; }
  void SetLocked(bool l) { locked_ = l; }

private:
  std::vector<TMMObserver*> observers_;
  bool locked_ = false;
};
