#include "controls/ZelButtonLayout.h"

void TZelButtonLayout::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelButtonLayout*>(src);
  if (!s) return TZelGlyphTextLayout::Assign(src);
  AssignNotifyingOnce([&] {
    CopyFrom(*s);
    arrow_ = s->arrow_;
    arrowColor_ = s->arrowColor_;
    arrowIndent_ = s->arrowIndent_;
    arrowPosition_ = s->arrowPosition_;
    arrowSize_ = s->arrowSize_;
  });
}
