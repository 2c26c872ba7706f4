#include "controls/ZelFXCaption.h"

void TZelFxCaption::SetAngle(int v) {
  if (v < 0 || v > 360) return;
  SetField(angle_, v == 360 ? 0 : v);
}

void TZelFxCaption::SetPositionSilently(uint16_t x, uint16_t y) {
  bool was = Updating();
  BeginUpdate();
  posX_ = x;
  posY_ = y;
  if (!was) EndUpdate(false);
}

void TZelFxCaption::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelFxCaption*>(src);
  if (!s) return TZel3DCaption::Assign(src);
  AssignNotifyingOnce([&] {
    CopyFrom(*s);
    angle_ = s->angle_;
    posX_ = s->posX_;
    posY_ = s->posY_;
  });
}

std::string TZelFxCaption::Summary() const {
  std::string text = TZel3DCaption::Summary();
  if (angle_ == 0) return text;
  if (text.empty() || text == "{Disabled}") text = "{";
  else text.back() = ',';
  return text + " rot: " + std::to_string(angle_) + "\u00B0}";
}
