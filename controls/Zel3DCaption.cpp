#include "controls/Zel3DCaption.h"

void TZel3DCaption::CopyFrom(const TZel3DCaption& s) {
  style_ = s.style_;
  disabledStyle_ = s.disabledStyle_;
  lightDepth_ = s.lightDepth_;
  shadowDepth_ = s.shadowDepth_;
  lightColor_ = s.lightColor_;
  shadowColor_ = s.shadowColor_;
  orientation_ = s.orientation_;
  tracing_ = s.tracing_;
}

void TZel3DCaption::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZel3DCaption*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] { CopyFrom(*s); });
}

std::string TZel3DCaption::Summary() const {
  static const char* const names[] = {"Disabled",      "sunken",        "raised",     "sunken shadow",
                                      "raised shadow", "PColor sunken", "",           "shadow",
                                      "outline",       "extrude",       "extrude enh"};
  std::string name = names[style_];
  return name.empty() ? std::string() : "{" + name + "}";
}
