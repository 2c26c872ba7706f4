#pragma once
// A 3D caption that can be rotated and moved.
#include <cstdint>

#include "controls/Zel3DCaption.h"

class TZelFxCaption : public TZel3DCaption {
public:
  TZelFxCaption() = default;

  // Degrees 0..360, counter-clockwise; 360 is stored as 0 and larger values are ignored.
  int Angle() const { return angle_; }
  void SetAngle(int v);
  uint16_t PosX() const { return posX_; }
  void SetPosX(uint16_t v) { SetField(posX_, v); }
  uint16_t PosY() const { return posY_; }
  void SetPosY(uint16_t v) { SetField(posY_, v); }
  // Sets both without telling anyone (the rotated-text drawing places the caption with it).
  void SetPositionSilently(uint16_t x, uint16_t y);

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelFxCaption"; }

private:
  int angle_ = 0;
  uint16_t posX_ = 0, posY_ = 0;
};
