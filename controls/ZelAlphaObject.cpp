#include "controls/ZelAlphaObject.h"

#include <cstdio>

#include "controls/zelcont.h"

TZelAlphaObject::TZelAlphaObject()
    : link_(std::make_unique<TZelChangeLink>()), fill_(std::make_unique<TZelFillObject>()) {
  fill_->OnChange = ChangeForwarder();
  link_->OnChange = ChangeForwarder();
}

TZelAlphaObject::~TZelAlphaObject() {
  fill_->OnChange = nullptr;
  link_->OnChange = nullptr;
}

TZelCustomImageList* TZelAlphaObject::ImageList() const {
  // The link is cut when the list goes, so a freed list is never handed out.
  return dynamic_cast<TZelCustomImageList*>(link_->List());
}

void TZelAlphaObject::SetImageList(TZelCustomImageList* v) {
  if (v == ImageList()) return;
  if (link_->List()) link_->List()->UnRegisterChanges(link_.get());
  if (v) v->RegisterChanges(link_.get());
  Change();
}

void TZelAlphaObject::SetFillObject(TZelFillObject* v) {
  if (v) fill_->Assign(v);
}

bool TZelAlphaObject::Active() const { return fill_->Style() != sfNone; }

bool TZelAlphaObject::StoresListByTag() const { return IsStandardList(ImageList()); }

std::string TZelAlphaObject::ListTag() const { return WriteListTag(ImageList()); }

void TZelAlphaObject::ReadListByTag(const std::string& tag) { SetImageList(ReadListTag(tag)); }

void TZelAlphaObject::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelAlphaObject*>(src);
  if (!s) return TZelObject::Assign(src);
  AssignNotifyingOnce([&] {
    SetImageList(s->ImageList());
    imageIndex_ = s->imageIndex_;
    listIndex_ = s->listIndex_;
    strength_ = s->strength_;
    fill_->Assign(s->fill_.get());
  });
}

std::string TZelAlphaObject::Summary() const {
  const char* kind;
  switch (fill_->Style()) {
    case sfNone: return "{Disabled}";
    case sfBrush: kind = "brush"; break;
    case sfBitmap:
    case sfBitmapList: kind = "bmp"; break;
    case sfGradient: kind = "grad"; break;
    default: kind = ""; break;
  }
  char strength[32];
  std::snprintf(strength, sizeof strength, "%.3f", double(strength_));
  return std::string("{Enabled (") + kind + "), strength: " + strength + "}";
}
