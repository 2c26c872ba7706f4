#include "controls/ZelShapeFill.h"

#include "platform/ui/graphics.h"

TZelShapeFill::TZelShapeFill() : TZelShapeFill(sfBrush) {}

TZelShapeFill::TZelShapeFill(TZelFillStyle initial)
    : style_(initial),
      bitmap_(std::make_unique<plat::TBitmap>()),
      listBitmap_(std::make_unique<plat::TBitmap>()),
      gradient_(std::make_unique<TZelGradient>()) {
  bitmap_->OnChange = ChangeForwarder();
  gradient_->OnChange = ChangeForwarder();
}

TZelShapeFill::~TZelShapeFill() {
  // Nothing may reach a half-destroyed owner.
  bitmap_->OnChange = nullptr;
  gradient_->OnChange = nullptr;
}

void TZelShapeFill::SetBitmap(plat::TBitmap* v) {
  if (v) bitmap_->Assign(v);
  else bitmap_->SetSize(0, 0);
  Change();
}

void TZelShapeFill::SetGradient(TZelGradient* v) {
  if (v) gradient_->Assign(v);
}

void TZelShapeFill::CopyFrom(const TZelShapeFill& s) {
  style_ = s.style_;
  bitmap_->Assign(s.bitmap_.get());
  gradient_->Assign(s.gradient_.get());
  tileMode_ = s.tileMode_;
}

void TZelShapeFill::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelShapeFill*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] { CopyFrom(*s); });
}

std::string TZelShapeFill::Summary() const {
  switch (style_) {
    case sfNone: return "{Disabled}";
    case sfBrush: return "{Brush}";
    case sfBitmap: return "{Bitmap}";
    case sfBitmapList: return "{BitmapList}";
    case sfGradient: return "{Gradient}";
    default: return {};
  }
}
