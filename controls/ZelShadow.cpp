#include "controls/ZelShadow.h"

void TZelShadow::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelShadow*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    color_ = s->color_;
    depth_ = s->depth_;
    style_ = s->style_;
  });
}

std::string TZelShadow::Summary() const {
  if (style_ == hssNone) return "{Disabled}";
  return std::string("{") + (style_ == hssSolid ? "solid" : "tracing") + ", " + std::to_string(depth_) + "}";
}
