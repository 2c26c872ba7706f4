#pragma once
// The roots of the kit's visual controls and the bevel that describes a control's border.
// Windowless controls derive from TZelControl, windowed ones from TZelCustomControl; both lines add
// mouse enter and exit events, an image-list link, a bitmap effect object and transparency over
// the parent. Every control here is a widget; "transparent" means the control does not fill its
// background, so what Qt painted of the parent shows through.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/ZelBitmapEffectObject.h"
#include "controls/ZelObject.h"
#include "controls/ZelTypes.h"
#include "controls/zelcont.h"
#include "platform/ui/controls.h"

namespace plat {
class TCustomForm;
}

enum TZelBevelMode { bmCustom, bmStandard, bmEdge, bmWindows };
enum TZelEdgeStyle { etRaisedInner, etRaisedOuter, etSunkenInner, etSunkenOuter, etBump, etEtched, etRaised, etSunken };
enum TZelFrameSide { fsBottom, fsLeft, fsRight, fsTop };
using TZelFrameSides = uint8_t;
constexpr TZelFrameSides ZelSide(TZelFrameSide s) { return TZelFrameSides(1u << s); }
constexpr TZelFrameSides kZelAllSides = 0x0F;

// Messages the kit's controls send each other.
enum : uint32_t {
  CM_ZELTRANSPARENTCHANGED = plat::CM_BASE + 0xCD,
  CM_ZELPARENTBKGNDCHANGED = plat::CM_BASE + 0xCE,
  CM_ZELFOCUSGAINED = plat::CM_BASE + 0xCF,
  CM_ZELFOCUSLOST = plat::CM_BASE + 0xD0,
  CM_ZELBEVELCHANGED = plat::CM_BASE + 0xD1,
  CM_ZELPASSBKGND = plat::CM_BASE + 0xD4
};

// ---- bevel ----------------------------------------------------------------------------------------
class TZelBevel : public TZelObject {
public:
  explicit TZelBevel(TZelBevelMode mode = bmCustom) : mode_(mode) {}

  TZelBevelStyle StyleInner() const { return styleInner_; }
  void SetStyleInner(TZelBevelStyle v) { SetField(styleInner_, v); }
  TZelBevelStyle StyleOuter() const { return styleOuter_; }
  void SetStyleOuter(TZelBevelStyle v) { SetField(styleOuter_, v); }
  // 0..50; values outside are taken to the nearer end.
  int WidthInner() const { return widthInner_; }
  void SetWidthInner(int v) { SetField(widthInner_, Clamp(v, 50)); }
  int WidthOuter() const { return widthOuter_; }
  void SetWidthOuter(int v) { SetField(widthOuter_, Clamp(v, 50)); }
  plat::TColor BorderColor() const { return colors_[0]; }
  void SetBorderColor(plat::TColor v) { SetColor(0, v); }
  plat::TColor LightColor() const { return colors_[1]; }
  void SetLightColor(plat::TColor v) { SetColor(1, v); }
  plat::TColor ShadowColor() const { return colors_[2]; }
  void SetShadowColor(plat::TColor v) { SetColor(2, v); }
  // 0 border, 1 light, 2 shadow.
  void SetColor(int index, plat::TColor v);
  TZelFrameSides BorderSides() const { return borderSides_; }
  void SetBorderSides(TZelFrameSides v) { SetField(borderSides_, TZelFrameSides(v & kZelAllSides)); }
  // 0..255.
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int v) { SetField(borderWidth_, Clamp(v, 255)); }
  int BorderInnerWidth() const { return borderInnerWidth_; }
  void SetBorderInnerWidth(int v) { SetField(borderInnerWidth_, Clamp(v, 255)); }
  TZelEdgeStyle EdgeStyle() const { return edgeStyle_; }
  void SetEdgeStyle(TZelEdgeStyle v) { SetField(edgeStyle_, v); }
  TZelBevelMode Mode() const { return mode_; }
  void SetMode(TZelBevelMode v);
  TZelBorderStyle StandardStyle() const { return standardStyle_; }
  void SetStandardStyle(TZelBorderStyle v) { SetField(standardStyle_, v); }

  // Set by a windowed owner whose window draws its own client edge in bmWindows.
  bool OwnerUsesSystemEdge() const { return systemEdge_; }
  void SetOwnerUsesSystemEdge(bool v) { systemEdge_ = v; }
  // True when the owner's window must be made anew for the mode (cleared by the owner).
  bool MustRecreate() const { return recreate_ || (mode_ == bmWindows && systemEdge_); }
  void ClearRecreate() { recreate_ = false; }

  // Pixels the border takes from the left and top, and from the right and bottom.
  int Extent() const;
  int FarExtent() const;
  // r less the border.
  plat::TRect ClientRect(const plat::TRect& r) const;
  // Draws the border inside r; r becomes what lies inside it. Transparent leaves the solid rings
  // unpainted (only skipped).
  void Draw(plat::TCanvas& canvas, plat::TRect& r, bool transparent) const;

  void Assign(plat::TPersistent* src) override;
  std::string Summary() const override;
  std::string ClassName() const override { return "TZelBevel"; }

private:
  static int Clamp(int v, int hi) { return v < 0 ? 0 : v > hi ? hi : v; }
  TZelBevelStyle styleInner_ = bvNone, styleOuter_ = bvNone;
  int widthInner_ = 1, widthOuter_ = 1;
  plat::TColor colors_[3] = {plat::clBtnFace, plat::clBtnHighlight, plat::clBtnShadow};
  TZelFrameSides borderSides_ = kZelAllSides;
  int borderWidth_ = 0, borderInnerWidth_ = 0;
  TZelEdgeStyle edgeStyle_ = etEtched;
  TZelBevelMode mode_;
  TZelBorderStyle standardStyle_ = lsSingleLowered;
  bool systemEdge_ = false, recreate_ = false;
};

// The scroll box's bevel: the window's own edge by default.
class TZelScrollBoxBevel : public TZelBevel {
public:
  TZelScrollBoxBevel() : TZelBevel(bmWindows) { SetOwnerUsesSystemEdge(true); }
  std::string ClassName() const override { return "TZelScrollBoxBevel"; }
};

// A control's tie to an image list: the list, which of its lists and which image; the owner is
// told of every change of the selection or of the list.
class TZelImageLink {
public:
  // owner asks the lists to tell it when they go (it then calls ListRemoved).
  TZelImageLink(plat::TComponent* owner, std::function<void()> changed);
  TZelCustomImageList* ImageList() const { return link_.List() ? list_ : nullptr; }
  void SetImageList(TZelCustomImageList* v);
  int ImageIndex() const { return imageIndex_; }
  // Negative indexes are refused; an unchanged one does nothing.
  void SetImageIndex(int v);
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int v);
  bool Valid() const;  // a list with an image at the pair
  // Copies the selected image into bitmap; false (bitmap untouched) when there is none.
  bool GetImage(plat::TBitmap& bitmap) const;
  // A picture of the selected image drawn on fuchsia, which it takes as its transparent colour;
  // false when there is none.
  bool Picture(plat::TBitmap& b) const;
  // The list's name as stored with the form under "Internal".
  std::string StoredName() const;
  // From the owner's Notification: forgets the list when c is it.
  void ListRemoved(plat::TComponent* c);

private:
  plat::TComponent* owner_;
  TZelCustomImageList* list_ = nullptr;
  TZelChangeLink link_;
  int imageIndex_ = 0, listIndex_ = 0;
  std::function<void()> changed_;
};

// A class that shows an image of a list: ImageList, ImageIndex and ListIndex, kept in a link that
// calls ImageListChanged whenever what is shown changes. The class's Notification passes
// removals on to the link.
template <class Base>
class TZelImageUser : public Base {
public:
  TZelCustomImageList* ImageList() const { return image_.ImageList(); }
  void SetImageList(TZelCustomImageList* v) { image_.SetImageList(v); }
  int ImageIndex() const { return image_.ImageIndex(); }
  void SetImageIndex(int v) { image_.SetImageIndex(v); }
  int ListIndex() const { return image_.ListIndex(); }
  void SetListIndex(int v) { image_.SetListIndex(v); }

protected:
  explicit TZelImageUser(plat::TComponent* owner) : Base(owner), image_(this, [this] { ImageListChanged(); }) {}
  virtual void ImageListChanged() {}
  const TZelImageLink& ImageLink() const { return image_; }

  TZelImageLink image_;
};

// ---- windowless line ------------------------------------------------------------------------------
class TZelControl : public plat::TGraphicControl {
public:
  explicit TZelControl(plat::TComponent* owner);

  // OnMouseEnter is the framework's event; the kit fires it by its own rules.
  plat::TNotifyEvent OnMouseExit;
  // Told after the bounds changed: flag 1 size, 2 position.
  std::function<void(plat::TObject* Sender, uint8_t Flags)> OnBoundsChange;

  void SetBounds(int l, int t, int w, int h) override;
  std::string ClassName() const override { return "TZelControl"; }

protected:
  virtual void BoundsChanged(uint8_t flags);
  // Fire only while the control is enabled.
  virtual void DoMouseEnter();
  virtual void DoMouseExit();
  void InvalidateUnlessLoading();
  virtual bool DrawsBevel() const { return true; }
  void MouseEnter() override;
  void MouseLeave() override;
};

class TZelBaseControl : public TZelImageUser<TZelControl> {
public:
  explicit TZelBaseControl(plat::TComponent* owner);
  ~TZelBaseControl() override;

  TZelBitmapEffectObject* BitmapEffect() const { return effect_.get(); }
  std::string ClassName() const override { return "TZelBaseControl"; }

protected:
  virtual bool ParentSuppliesBackground() const { return false; }
  void ImageListChanged() override { InvalidateUnlessLoading(); }
  // A transparent control leaves its parent showing under it: not opaque, and told so.
  void TransparencyChanged(bool transparent);
  void Loaded() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  std::unique_ptr<TZelBitmapEffectObject> effect_;
};

class TZelBaseGraphicControl : public TZelBaseControl {
public:
  explicit TZelBaseGraphicControl(plat::TComponent* owner);

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  // Transparent, and the parent is a kit control that supplies the background for its children.
  bool TransparentOverParent() const;
  std::string ClassName() const override { return "TZelBaseGraphicControl"; }

protected:
  void WndProc(plat::TMessage& m) override;

private:
  bool transparent_ = true;
};

class TZelGraphicControl : public TZelBaseGraphicControl {
public:
  explicit TZelGraphicControl(plat::TComponent* owner);
  ~TZelGraphicControl() override;

  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v);
  std::string ClassName() const override { return "TZelGraphicControl"; }

protected:
  void Paint() override;

private:
  std::unique_ptr<TZelBevel> bevel_;
};

// ---- windowed line --------------------------------------------------------------------------------
class TZelCustomControl : public TZelImageUser<plat::TCustomControl> {
public:
  explicit TZelCustomControl(plat::TComponent* owner);
  ~TZelCustomControl() override;

  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  // 1: the parent is painted under the control first (as any transparent control here).
  uint8_t TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(uint8_t v) { transparentMode_ = v; }
  bool RepaintOnChange() const { return repaintOnChange_; }
  void SetRepaintOnChange(bool v) { repaintOnChange_ = v; }
  bool FlatBorder() const { return flatBorder_; }
  void SetFlatBorder(bool v);
  bool MouseInside() const { return mouseInside_; }
  bool FocusedFlag() const { return focused_; }

  TZelBitmapEffectObject* BitmapEffect() const { return effect_.get(); }

  plat::TNotifyEvent OnMouseExit;
  // Fired after the control gained or lost the focus (posted, so after the framework's handling).
  plat::TNotifyEvent OnFocusGained;
  plat::TNotifyEvent OnFocusLost;

  // The parent-background protocol between kit containers and their transparent children.
  virtual bool TransparentOverParent() const;
  virtual bool SuppliesBackground() const { return false; }
  // The parent's background picture, if a container keeps one.
  virtual plat::TBitmap* BackgroundBitmap() { return nullptr; }
  // Paints the part of the background under child into canvas; false when there is none.
  virtual bool PaintChildBackground(plat::TControl* child, plat::TCanvas& canvas) { return false; }
  // Where a child's client origin lies in the background picture.
  virtual plat::TPoint ChildOffset(const plat::TControl* child) const;
  // Where this control's own origin lies in the picture its children's offsets count from: as a
  // kit parent's child, or its place in a parent of another kind.
  plat::TPoint OffsetInParent() const;
  // Pixels a sizing label child leaves beside its text (a status bar's gap).
  virtual int ChildGap() const { return 0; }

  void SetBounds(int l, int t, int w, int h) override;
  std::string ClassName() const override { return "TZelCustomControl"; }

protected:
  // Flag 1 size, 2 position.
  virtual void BoundsChanged(uint8_t flags) {}
  // Fills the background unless transparent (then what lies under the control shows).
  void PaintBackground(plat::TCanvas& c) override;
  virtual void ObjectChanged(plat::TObject* sender);
  plat::TNotifyEvent ObjectChangeForwarder() {
    return [this](plat::TObject* s) { ObjectChanged(s); };
  }
  virtual void DoMouseEnter();
  virtual void DoMouseExit();
  void ImageListChanged() override;
  void DrawFlatBorder(plat::TCanvas& c, bool focused);
  void Paint() override;
  void MouseEnter() override;
  void MouseLeave() override;
  void Resize() override;
  void WndProc(plat::TMessage& m) override;
  void Loaded() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  // Passes a kit message on to the child controls.
  void BroadcastToChildren(uint32_t msg);

private:
  bool transparent_ = false;
  uint8_t transparentMode_ = 0;
  bool repaintOnChange_ = true, flatBorder_ = false, mouseInside_ = false, focused_ = false;
  bool inSetBounds_ = false;
  std::unique_ptr<TZelBitmapEffectObject> effect_;
};

// The index of the first component of the class among a form's components; -1 when owner is not
// a form or holds none.
int IndexOfComponentClass(plat::TComponent* owner, const std::function<bool(plat::TComponent*)>& isOfClass);
