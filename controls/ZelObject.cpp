#include "controls/ZelObject.h"

void TZelObject::EndUpdate(bool notify) {
  updating_ = false;
  if (notify) Change();
}

void TZelObject::Change() {
  if (updating_ || !OnChange) return;
  auto handler = OnChange;  // the handler may replace OnChange while it runs
  handler(this);
}

void TZelCustomComponent::EndUpdate(bool notify) {
  updating_ = false;
  if (notify) Change();
}

void TZelCustomComponent::Change() {
  if (updating_ || !OnChange) return;
  auto handler = OnChange;  // the handler may replace OnChange while it runs
  handler(this);
}
