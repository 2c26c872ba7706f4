#include "controls/ZelGlyphTextLayout.h"

void TZelGlyphTextLayout::CopyFrom(const TZelGlyphTextLayout& s) {
  alignment_ = s.alignment_;
  alignText2Glyph_ = s.alignText2Glyph_;
  offsetX_ = s.offsetX_;
  offsetY_ = s.offsetY_;
  spacing_ = s.spacing_;
}

void TZelGlyphTextLayout::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelGlyphTextLayout*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] { CopyFrom(*s); });
}
