#include "controls/ZelFillObject.h"

#include "platform/ui/graphics.h"

TZelFillObject::TZelFillObject() : TZelShapeFill(sfNone), brush_(std::make_unique<plat::TBrush>()) {
  brush_->OnChange = ChangeForwarder();
}

TZelFillObject::~TZelFillObject() { brush_->OnChange = nullptr; }

void TZelFillObject::SetBrush(plat::TBrush* v) {
  if (v) brush_->Assign(v);
}

void TZelFillObject::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelFillObject*>(src);
  if (!s) return TZelShapeFill::Assign(src);
  AssignNotifyingOnce([&] {
    CopyFrom(*s);
    alignment_ = s->alignment_;
    offsetX_ = s->offsetX_;
    offsetY_ = s->offsetY_;
    brush_->Assign(s->brush_.get());
    options_ = s->options_;
  });
}
