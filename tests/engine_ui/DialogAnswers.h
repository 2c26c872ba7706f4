#pragma once
// Queued answers for the dialogs of one test; the service before them comes back afterwards.
#include <memory>

#include "platform/ui/dialogs.h"

class Answers {
public:
  Answers() : q_(std::make_shared<plat::QueuedDialogs>()) { old_ = plat::SetDialogService(q_); }
  ~Answers() { plat::SetDialogService(old_); }
  plat::QueuedDialogs* operator->() { return q_.get(); }

private:
  std::shared_ptr<plat::QueuedDialogs> q_;
  std::shared_ptr<plat::DialogService> old_;
};
