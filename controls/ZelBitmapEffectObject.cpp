#include "controls/ZelBitmapEffectObject.h"

#include "platform/ui/graphics.h"

TZelBitmapEffectObject::TZelBitmapEffectObject() : alpha_(std::make_unique<TZelAlphaObject>()) {
  alpha_->OnChange = ChangeForwarder();
}

TZelBitmapEffectObject::~TZelBitmapEffectObject() { alpha_->OnChange = nullptr; }

void TZelBitmapEffectObject::SetAlphaBlend(TZelAlphaObject* v) {
  if (v) alpha_->Assign(v);
}

void TZelBitmapEffectObject::SetBuffered(bool v) {
  if (v == Buffered()) return;
  if (v) buffer_ = std::make_unique<plat::TBitmap>();
  else buffer_.reset();
  bufferValid_ = false;
  Change();
}

bool TZelBitmapEffectObject::Active() const {
  return alpha_->Active() || flipVertical_ || flipHorizontal_ || grayScale_ || invert_ || brightness_ != 0 ||
         monochrome_;
}

void TZelBitmapEffectObject::Change() {
  // A kept result no longer matches the options.
  bufferValid_ = false;
  TZelObject::Change();
}

void TZelBitmapEffectObject::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelBitmapEffectObject*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    alpha_->Assign(s->alpha_.get());
    flipVertical_ = s->flipVertical_;
    flipHorizontal_ = s->flipHorizontal_;
    grayScale_ = s->grayScale_;
    invert_ = s->invert_;
    brightness_ = s->brightness_;
    monochrome_ = s->monochrome_;
    if (s->Buffered() != Buffered()) buffer_ = s->Buffered() ? std::make_unique<plat::TBitmap>() : nullptr;
  });
}

std::string TZelBitmapEffectObject::Summary() const {
  std::string s;
  auto add = [&](bool on, const char* word) {
    if (!on) return;
    if (!s.empty()) s += ",";
    s += word;
  };
  add(alpha_->Active(), "alpha");
  add(flipVertical_, "FV");
  add(flipHorizontal_, "FH");
  add(grayScale_, "GS");
  add(invert_, "INV");
  add(brightness_ != 0, "B");
  return "{" + (s.empty() ? std::string("Disabled") : s) + "}";
}
