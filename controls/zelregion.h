#pragma once
// Region shapes of the kit and the form shape. TZelRegion describes one of eighteen shapes and
// builds its region for a rectangle, with the shadow it casts; TZelBorderRegion also paints a
// border along the outline. TZelFormShape gives its form that shape: the form's window is masked
// to the region, its background is painted inside it, and it can be dragged by its background.
//
// On this platform the window manager draws every window's title bar and frame: the shape masks
// the form's client area, and a shape that does not show the form's caption asks for a window
// without decoration.
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelObject.h"
#include "controls/ZelPointList.h"
#include "controls/ZelRegionMask.h"
#include "controls/ZelShadow.h"
#include "controls/ZelWndProcComponent.h"
#include "controls/zelcont.h"
#include "controls/zeloutline.h"
#include "controls/zelshape.h"

namespace plat {
class TBitmap;
class TCanvas;
class TCustomForm;
class TStream;
}  // namespace plat
class TZelFillObject;
class TZelFormShape;

plat::TRegion ZelRgnToRegion(const TZelRgn& r);
TZelRgn ZelRgnFromRegion(const plat::TRegion& r);

// The outline routines drawing on a framework canvas. A straight line of an even pen width puts
// its extra pixel above and left of its coordinates, as the old platform did, so the edges that
// lie on a shape's right and bottom boundary stay inside the shape's window.
class TZelCanvasOutline : public TZelOutlineCanvas {
public:
  explicit TZelCanvasOutline(plat::TCanvas& c) : c_(c) {}
  void SetPenColor(plat::TColor c) override;
  void SetPenWidth(int w) override;
  void SetPenSolid() override;
  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Polygon(const std::vector<plat::TPoint>& pts) override;
  void Ellipse(int l, int t, int r, int b) override;
  void RoundRect(int l, int t, int r, int b, int rx, int ry) override;
  void Arc(int l, int t, int r, int b, int x3, int y3, int x4, int y4) override;
  void ExcludeClipRect(const plat::TRect& r) override;

private:
  int Shift() const;
  plat::TCanvas& c_;
};

class TZelRegion : public TZelObject {
public:
  TZelRegion();
  ~TZelRegion() override;

  TZelPointList* Points() const { return points_.get(); }
  void SetPoints(const TZelPointList& v);
  TZelRegionShape Shape() const { return shape_; }
  void SetShape(TZelRegionShape v);
  TZelExtPos ExtPos() const { return extPos_; }
  void SetExtPos(TZelExtPos v) { SetField(extPos_, v); }
  TZelRegionMask* Mask() const { return mask_.get(); }
  void SetMask(TZelRegionMask* v) { mask_->Assign(v); }
  // Rebuild only the shapes that round their corners.
  int RoundX() const { return roundX_; }
  void SetRoundX(int v) { SetRound(roundX_, v); }
  int RoundY() const { return roundY_; }
  void SetRoundY(int v) { SetRound(roundY_, v); }
  TZelRgnShadow* Shadow() const { return shadow_.get(); }
  void SetShadow(TZelShadow* v) { shadow_->Assign(v); }

  // Bubbles of the think-bubble shapes (at least 1).
  int Bubbles() const { return bubbles_; }
  void SetBubbles(int v) { SetField(bubbles_, v < 1 ? 1 : v); }
  // Where the border painting starts: the left and top of its rectangle move by it.
  plat::TPoint OriginOffset() const { return origin_; }
  void SetOriginOffset(plat::TPoint v) { SetField(origin_, v); }
  bool NoShadow() const { return noShadow_; }
  void SetNoShadow(bool v) { SetField(noShadow_, v); }
  TZelFormShape* OwnerShape() const { return owner_; }
  void SetOwnerShape(TZelFormShape* v) { owner_ = v; }

  // The region of rsUserRegion, in the stored layout of region masks.
  const std::string& UserRegionData() const { return userData_; }
  void SetUserRegionData(const std::string& bytes);
  void SetUserRegion(const TZelRgn& r) { SetUserRegionData(r.RegionData()); }
  // The polygon through Points, as last built for rsPointList.
  const TZelRgn& PointListRegion() const { return pointListRgn_; }

  // A shadow is cast: a style, the flag off and some depth.
  bool CastsShadow() const;
  int ShadowDepth() const { return CastsShadow() ? shadow_->Depth() : 0; }
  TZelShapeSpec Spec() const;  // valid while this region lives and is unchanged
  std::vector<plat::TPoint> PointVector() const;
  // The shape and its shadow for r; the result of the last build is kept.
  TZelShapeRegions Build(const plat::TRect& r) const;
  const TZelRgn& BuildRegion(const plat::TRect& r);
  const TZelShapeRegions& LastBuild() const { return last_; }
  // The shadow of the shape built in r, on canvas.
  void PaintShadow(plat::TCanvas& canvas, const plat::TRect& r) const;

  // The stored property "PointList", present while the list has points.
  bool HasPointListData() const { return points_->Count() > 0; }
  void WritePointList(plat::TStream& s) const;
  void ReadPointList(plat::TStream& s);

  // Copies shape, place, round sizes, points, mask and shadow (and a border region's border).
  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelRegion"; }

protected:
  void CopyRegion(const TZelRegion& src);

private:
  void SetRound(int& field, int v);
  void PointsChanged();
  void BuildPointList();
  bool Designing() const;

  std::unique_ptr<TZelPointList> points_;
  std::unique_ptr<TZelRegionMask> mask_;
  std::unique_ptr<TZelRgnShadow> shadow_;
  TZelRegionShape shape_ = rsRoundRect;
  TZelExtPos extPos_ = epLeftTop;
  int roundX_ = 20, roundY_ = 20, bubbles_ = 4;
  plat::TPoint origin_;
  bool noShadow_ = false;
  TZelFormShape* owner_ = nullptr;
  std::string userData_;
  TZelRgn userRgn_, pointListRgn_, maskRgn_;
  TZelShapeRegions last_;
};

class TZelRegionBorder : public TZelObject {
public:
  TZelRegionBorderStyle Style() const { return style_; }
  void SetStyle(TZelRegionBorderStyle v) { SetField(style_, v); }
  plat::TColor LightColor() const { return colors_.Light; }
  void SetLightColor(plat::TColor v) { SetField(colors_.Light, v); }
  plat::TColor ShadowColor() const { return colors_.Shadow; }
  void SetShadowColor(plat::TColor v) { SetField(colors_.Shadow, v); }
  plat::TColor SingleColor() const { return colors_.Single; }
  void SetSingleColor(plat::TColor v) { SetField(colors_.Single, v); }
  const TZelBorderColors& Colors() const { return colors_; }

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelRegionBorder"; }

private:
  TZelRegionBorderStyle style_ = rbSingle;
  TZelBorderColors colors_;
};

class TZelBorderRegion : public TZelRegion {
public:
  TZelBorderRegion();
  ~TZelBorderRegion() override;

  TZelRegionBorder* Border() const { return border_.get(); }
  void SetBorder(TZelRegionBorder* v) { border_->Assign(v); }
  // The shadow, then the outline in the border's style, inside r whose left and top move by the
  // origin offset; with a 2-pixel pen and an empty brush. The canvas's clipping is put back
  // (as its bounding rectangle) afterwards.
  void PaintBorder(plat::TCanvas& canvas, const plat::TRect& r) const;

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelBorderRegion"; }

private:
  std::unique_ptr<TZelRegionBorder> border_;
};

// Gives its owner form (one per form) the shape of its region.
class TZelFormShape : public TZelWndProcComponent {
public:
  // Raises ZelEOneInstError when owner is not a form or already has a form shape.
  explicit TZelFormShape(plat::TComponent* owner);
  ~TZelFormShape() override;

  TZelBorderRegion* Region() const { return region_.get(); }
  void SetRegion(TZelRegion* v) { region_->Assign(v); }
  bool ShowFormCaption() const { return showCaption_; }
  void SetShowFormCaption(bool v);
  bool FormDragable() const { return dragable_; }
  void SetFormDragable(bool v) { dragable_ = v; }
  bool UseRgnBitmap() const { return useRgnBitmap_; }
  void SetUseRgnBitmap(bool v);
  TZelFillObject* FillObject() const { return fill_.get(); }
  void SetFillObject(TZelFillObject* v);
  TZelCustomImageList* ImageList() const { return imageList_; }
  void SetImageList(TZelCustomImageList* v);
  // Negative indexes are refused.
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int v);
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int v);

  // Builds the region for the form's client area and, while hooked, masks the form's window with
  // it. A rbBitmap shape first sizes the client area to the mask's picture (plus the shadow).
  void UpdateRegion();
  // The region as built last: in the form's client coordinates, and moved by the frame width and
  // caption height of the form's border style (the window's own coordinates).
  const TZelRgn& ClientRegion() const { return clientRgn_; }
  const TZelRgn& WindowRegion() const { return windowRgn_; }
  int FrameWidth() const { return frameWidth_; }
  int CaptionHeight() const { return captionHeight_; }

  // What erasing the form's background paints: the mask's picture (rsBitmap with UseRgnBitmap),
  // else the form's colour and the fill; then the region's shadow and border.
  void PaintBackground(plat::TCanvas& canvas);
  // The picture child controls may take as their background, when there is one.
  bool BackgroundAvailable() const;
  plat::TBitmap* BackgroundBitmap();

  std::string ClassName() const override { return "TZelFormShape"; }

  void Hook() override;
  void Unhook() override;

protected:
  bool WindowProc(plat::TWindowEvent& e) override;
  void Loaded() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  plat::TCustomForm* Form() const;
  // The form's client area: its size, and presses on its background that drag the form.
  bool ClientEvent(plat::TWindowEvent& e);
  bool OnBackground(plat::TPoint p) const;
  void ApplyMask();
  void ApplyDecoration(bool frameless);
  void Invalidate();
  void TakeListImage();
  void FillBackground(int w, int h);
  plat::TRect ClientArea() const;

  std::unique_ptr<TZelBorderRegion> region_;
  std::unique_ptr<TZelFillObject> fill_;
  std::unique_ptr<plat::TBitmap> background_;
  std::unique_ptr<plat::TWindowHook> clientHook_;
  TZelChangeLink listLink_;
  TZelCustomImageList* imageList_ = nullptr;
  int listIndex_ = 0, imageIndex_ = 0;
  bool showCaption_ = true, dragable_ = true, useRgnBitmap_ = true;
  bool updating_ = false, painting_ = false, destroying_ = false;
  TZelRgn clientRgn_, windowRgn_;
  int frameWidth_ = 0, captionHeight_ = 0;
  // A drag of the window done here where the window system cannot move it.
  bool dragging_ = false;
  plat::TPoint dragStart_, dragOrigin_;
};
