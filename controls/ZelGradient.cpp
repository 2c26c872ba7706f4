#include "controls/ZelGradient.h"

#include "platform/ui/streams.h"

namespace {
// Value kinds of the component-stream encoding.
constexpr uint8_t vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4;
}  // namespace

TZelGradient::TZelGradient() { Rebuild(); }

void TZelGradient::Rebuild() {
  palette_.reset();
  table_.clear();
  if (twoColors_) {
    ColorRamp(color_, endColor_, colorCount_, true, &table_);
  } else if (colorList_.size() >= 2) {
    int n = int(colorList_.size());
    int steps = colorCount_ / n;
    ColorRamp(colorList_[0], colorList_[1], steps, true, &table_);
    for (int i = 1; i <= n - 2; ++i) ColorRamp(colorList_[size_t(i)], colorList_[size_t(i) + 1], steps, false, &table_);
  }
  if (paletteRealize_) palette_ = MakeGradientPalette(table_);
}

void TZelGradient::Change() {
  Rebuild();
  TZelObject::Change();
}

void TZelGradient::SetColorList(const std::vector<plat::TColor>& colors) {
  if (colors == colorList_) return;
  colorList_ = colors;
  Change();
}

void TZelGradient::AddColor(plat::TColor c) {
  colorList_.push_back(c);
  Change();
}

void TZelGradient::WriteColorList(plat::TStream& s) const {
  s.WriteU8(vaList);
  for (plat::TColor c : colorList_) {
    if (c >= -128 && c <= 127) {
      s.WriteU8(vaInt8);
      s.WriteU8(uint8_t(int8_t(c)));
    } else if (c >= -32768 && c <= 32767) {
      s.WriteU8(vaInt16);
      s.WriteU16(uint16_t(int16_t(c)));
    } else {
      s.WriteU8(vaInt32);
      s.WriteU32(uint32_t(c));
    }
  }
  s.WriteU8(vaNull);
}

void TZelGradient::ReadColorList(plat::TStream& s) {
  if (s.ReadU8() != vaList) throw plat::EReadError("Invalid property value");
  std::vector<plat::TColor> colors;
  for (;;) {
    uint8_t kind = s.ReadU8();
    if (kind == vaNull) break;
    switch (kind) {
      case vaInt8: colors.push_back(int8_t(s.ReadU8())); break;
      case vaInt16: colors.push_back(int16_t(s.ReadU16())); break;
      case vaInt32: colors.push_back(plat::TColor(s.ReadU32())); break;
      default: throw plat::EReadError("Invalid property value");
    }
  }
  bool was = Updating();
  BeginUpdate();
  colorList_.insert(colorList_.end(), colors.begin(), colors.end());
  if (!was) EndUpdate(true);
}

void TZelGradient::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelGradient*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    color_ = s->color_;
    endColor_ = s->endColor_;
    colorCount_ = s->colorCount_;
    style_ = s->style_;
    paletteRealize_ = s->paletteRealize_;
    twoColors_ = s->twoColors_;
    colorList_ = s->colorList_;
  });
  Rebuild();  // also when a bracket of the caller's holds the notification back
}

std::string TZelGradient::Summary() const {
  static const char* const names[] = {"horizontal", "vertical",    "square",       "elliptic",      "top left",
                                      "top right",  "bottom left", "bottom right", "top left diag", "top right diag"};
  return std::string("{") + names[style_] + ", Col: " + std::to_string(colorCount_) +
         (twoColors_ ? ", 2 col mode" : ", mult. col mode") + "}";
}
