#pragma once
// Alpha blending of a control's picture with a fill or a picture from an image list.
#include <memory>

#include "controls/ZelFillObject.h"
#include "controls/ZelObject.h"

class TZelCustomImageList;
class TZelChangeLink;

class TZelAlphaObject : public TZelObject {
public:
  TZelAlphaObject();
  ~TZelAlphaObject() override;

  // Followed through a change link; cleared when the list goes.
  TZelCustomImageList* ImageList() const;
  void SetImageList(TZelCustomImageList* v);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int v) { SetField(imageIndex_, v); }
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int v) { SetField(listIndex_, v); }
  // The weight of the unblended picture: 1 keeps it, 0 shows only the fill.
  float Strength() const { return strength_; }
  void SetStrength(float v) { SetField(strength_, v < 0 ? 0.0f : v > 1 ? 1.0f : v); }
  TZelFillObject* FillObject() const { return fill_.get(); }
  void SetFillObject(TZelFillObject* v);

  // On while the fill has a style.
  bool Active() const;
  // The image list as stored: a standard list goes by its tag in the property "Internal", any
  // other by reference (the owner resolves names).
  bool StoresListByTag() const;
  std::string ListTag() const;
  void ReadListByTag(const std::string& tag);

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelAlphaObject"; }

private:
  std::unique_ptr<TZelChangeLink> link_;
  int imageIndex_ = 0, listIndex_ = 0;
  float strength_ = 0.6f;
  std::unique_ptr<TZelFillObject> fill_;
};
