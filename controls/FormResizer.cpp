#include "controls/FormResizer.h"

#include <cmath>

#include "platform/ui/controls.h"
#include "platform/ui/stdctrls.h"

namespace {

// Halves go to the even neighbour; a result outside 32 bits is a range error.
int RoundToInt(double v) {
  double r = std::nearbyint(v);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw plat::ERangeError();
  return int(r);
}

plat::TCustomLabel* AsLabel(plat::TControl* c) { return dynamic_cast<plat::TCustomLabel*>(c); }

}  // namespace

TSingleResizer::TSingleResizer(plat::TControl* control, plat::TControl* owner, bool resizeFonts, int minFontSize,
                               int maxFontSize)
    : control_(control),
      owner_(owner),
      resizeFonts_(resizeFonts),
      minFontSize_(minFontSize),
      maxFontSize_(maxFontSize) {
  if (!control) throw EResizerException("TSingleResizer created without a component link");
  if (!owner) throw EResizerException("TSingleResizer created without a parent form link");
  left_ = control->Left();
  top_ = control->Top();
  width_ = control->Width();
  height_ = control->Height();
  ownerHeight_ = owner->Height();
  ownerWidth_ = owner->Width();
  hasFont_ = control->Font() != nullptr;
  fontSize_ = hasFont_ ? control->Font()->Size() : 0;
  // A label keeps its own width: it sizes itself to its text.
  if (AsLabel(control)) setWidth_ = false;
}

void TSingleResizer::Resize(double heightRatio, double widthRatio) {
  plat::TControl* c = control_;
  if (!c || c->Align() == plat::alClient) return;
  int l = c->Left(), t = c->Top(), w = c->Width(), h = c->Height();
  if (owner_->Height() == ownerHeight_ && owner_->Width() == ownerWidth_) {
    // Back at the recorded size: the recorded bounds exactly, without rounding drift.
    if (setHeight_) h = height_;
    if (setLeft_) l = left_;
    if (setTop_) t = top_;
    if (setWidth_) w = width_;
    if (hasFont_ && resizeFonts_) c->Font()->SetSize(fontSize_);
    c->SetBounds(l, t, w, h);
    return;
  }
  if (setHeight_) h = RoundToInt(height_ * heightRatio);
  if (setLeft_) l = RoundToInt(left_ * widthRatio);
  if (setTop_) t = RoundToInt(top_ * heightRatio);
  if (setWidth_) w = RoundToInt(width_ * widthRatio);
  if (hasFont_ && resizeFonts_) {
    int size = RoundToInt(fontSize_ * heightRatio);
    if (size > maxFontSize_) size = maxFontSize_;
    if (size < minFontSize_) size = minFontSize_;
    c->Font()->SetSize(size);
  }
  plat::TCustomLabel* label = AsLabel(c);
  const bool autoSize = label && label->AutoSize();
  if (label) label->SetAutoSize(false);
  c->SetBounds(l, t, w, h);
  if (label) {
    label->SetAutoSize(true);
    label->SetAutoSize(autoSize);
  }
}

TFormResizer::TFormResizer(plat::TComponent* owner) : plat::TComponent(owner) {
  if (!owner) throw EResizerException("TFormResizer created without an owner");
  if (!dynamic_cast<plat::TControl*>(owner)) throw EResizerException("TFormResizer owner must be a panel or form");
}

TFormResizer::~TFormResizer() {
  for (auto* r : records_) delete r;
}

plat::TControl* TFormResizer::OwnerControl() const { return dynamic_cast<plat::TControl*>(Owner()); }

void TFormResizer::RecordLayout() {
  if (recorded_) return;
  plat::TControl* owner = OwnerControl();
  if (!owner) return;
  recorded_ = true;
  recordedHeight_ = owner->Height();
  recordedWidth_ = owner->Width();
  for (int i = 0; i < owner->ComponentCount(); ++i)
    if (auto* c = dynamic_cast<plat::TControl*>(owner->Components(i))) {
      records_.push_back(new TSingleResizer(c, owner, resizeFonts_, minFontSize_, maxFontSize_));
      c->FreeNotification(this);
    }
}

void TFormResizer::ResizeControls() {
  plat::TControl* owner = OwnerControl();
  if (!owner || !recorded_) return;
  if (enforceMinSize_) {
    if (owner->Height() < recordedHeight_) owner->SetHeight(recordedHeight_);
    if (owner->Width() < recordedWidth_) owner->SetWidth(recordedWidth_);
  }
  // A recorded size of 0 gives a ratio of 1 rather than a division by zero.
  const double heightRatio = recordedHeight_ ? double(owner->Height()) / recordedHeight_ : 1.0;
  const double widthRatio = recordedWidth_ ? double(owner->Width()) / recordedWidth_ : 1.0;
  for (auto* r : records_) {
    // A record whose control is gone is skipped, and its handler call with it.
    if (!r->Control()) continue;
    r->Resize(heightRatio, widthRatio);
    DoPostResize(this, r->Control(), heightRatio, widthRatio);
  }
}

void TFormResizer::DoPostResize(plat::TObject* sender, plat::TControl* comp, double heightRatio, double widthRatio) {
  if (OnPostResize) OnPostResize(sender, comp, heightRatio, widthRatio);
}

void TFormResizer::Notification(plat::TComponent* c, plat::TOperation op) {
  plat::TComponent::Notification(c, op);
  if (op != plat::opRemove) return;
  for (auto* r : records_)
    if (r->Control() == c) r->Forget();
}
