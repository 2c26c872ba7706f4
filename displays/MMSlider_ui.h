#pragma once
// The slider: a focusable track bar with a groove, a rectangular thumb, an optional tick row, keys
// and mouse, a focus indication and an optional logarithmic mapping between the value the program
// sets and where the thumb stands. It paints through a bitmap shared by all sliders of its size.
#include <functional>
#include <memory>

#include "displays/MMScale_ui.h"
#include "displays/MMSlider.h"
#include "engine/MMObjUI.h"

using plat::TBitmap;

using TMMThumbDrawEvent =
    std::function<void(TObject* Sender, TCanvas* aCanvas, TRect aRect, bool Dragged, bool Focused)>;
using TMMGrooveDrawEvent = std::function<void(TObject* Sender, TCanvas* aCanvas, TRect& aRect)>;

// The library's hand cursor.
constexpr plat::TCursor crMMHand = 2005;

class TMMCustomSlider : public TMMCustomControl {
public:
  explicit TMMCustomSlider(TComponent* owner);
  ~TMMCustomSlider() override;

  void SetBounds(int l, int t, int w, int h) override;
  void SetEnabled(bool v) override;

  TMMBevel* Groove() const { return groove_; }
  void SetGroove(TMMBevel* b) { groove_->Assign(b); }
  TMMFocusAction FocusAction() const { return focusAction_; }
  void SetFocusAction(TMMFocusAction a) { Set(focusAction_, a); }
  TColor FocusColor() const { return focusColor_; }
  void SetFocusColor(TColor c) { Set(focusColor_, c); }
  TColor GrooveColor() const { return grooveColor_; }
  void SetGrooveColor(TColor c) { Set(grooveColor_, c); }
  TColor ThumbColor() const { return thumbColor_; }
  void SetThumbColor(TColor c) { Set(thumbColor_, c); }
  bool ThumbBorder() const { return thumbBorder_; }
  void SetThumbBorder(bool v) { Set(thumbBorder_, v); }
  TColor DisabledColor() const { return disabledColor_; }
  void SetDisabledColor(TColor c) { Set(disabledColor_, c); }
  bool HandCursor() const { return handCursor_; }
  void SetHandCursor(bool v) { handCursor_ = v; }
  plat::TCursor ThumbCursor() const { return thumbCursor_; }
  void SetThumbCursor(plat::TCursor c) { thumbCursor_ = c; }

  int32_t MinValue() const { return map_.minValue; }
  void SetMinValue(int32_t v) { SetRange(v, map_.maxValue); }
  int32_t MaxValue() const { return map_.maxValue; }
  void SetMaxValue(int32_t v) { SetRange(map_.minValue, v); }
  // Both ends at once: one change, one OnChange.
  void SetRange(int32_t minValue, int32_t maxValue);
  int LineSize() const { return lineSize_; }
  void SetLineSize(int v) { lineSize_ = v; }
  int PageSize() const { return pageSize_; }
  void SetPageSize(int v) { pageSize_ = v; }
  TMMOrientation Orientation() const { return orientation_; }
  void SetOrientation(TMMOrientation o);
  // The value the program sets, through the logarithmic mapping when that is on.
  int32_t Position() const { return map_.ToValue(p_); }
  void SetPosition(int32_t v) { SetPos(map_.ToStored(v)); }
  int GrooveSize() const { return grooveSize_; }
  void SetGrooveSize(int v) { Set(grooveSize_, std::clamp(v, 0, 255)); }
  int ThumbWidth() const { return thumbWidth_; }
  void SetThumbWidth(int v) { Set(thumbWidth_, std::clamp(v, 0, 255)); }
  int ThumbHeight() const { return thumbHeight_; }
  void SetThumbHeight(int v) { Set(thumbHeight_, std::clamp(v, 0, 255)); }
  TMMThumbStyle ThumbStyle() const { return thumbStyle_; }
  void SetThumbStyle(TMMThumbStyle s) { Set(thumbStyle_, s); }
  TMMGrooveStyle GrooveStyle() const { return grooveStyle_; }
  void SetGrooveStyle(TMMGrooveStyle s) { Set(grooveStyle_, s); }
  int ScaleDistance() const { return scaleDistance_; }
  void SetScaleDistance(int v) { Set(scaleDistance_, v); }
  TMMScalePos ScalePosition() const { return scalePosition_; }
  void SetScalePosition(TMMScalePos p) { Set(scalePosition_, p); }
  TMMScale* Scale() const { return scale_; }
  void SetScale(TMMCustomScale* s) { scale_->Assign(s); }
  TBitmap* PicLeft() const { return picLeft_.get(); }
  void SetPicLeft(TBitmap* b);
  TBitmap* PicRight() const { return picRight_.get(); }
  void SetPicRight(TBitmap* b);
  bool Logarithmic() const { return map_.logarithmic; }
  void SetLogarithmic(bool v);
  int Sensitivity() const { return map_.sensitivity; }
  void SetSensitivity(int v);

  // ---- state, for the deck and for tests ----
  int32_t StoredPosition() const { return p_; }
  TRect ThumbRect() const;
  TMMSliderParts Parts() const { return SliderParts(Layout()); }
  bool Dragging() const { return dragging_; }
  bool Tracking() const { return tracking_; }
  bool Flash() const { return flash_; }
  // One tick of the shared focus-flash timer.
  void FlashTick();
  TBitmap* CachedBitmap() const { return bitmap_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnTrack;
  TNotifyEvent OnTrackEnd;
  TNotifyEvent OnGetFocus;
  TNotifyEvent OnLostFocus;
  TMMThumbDrawEvent OnDrawThumb;
  TMMGrooveDrawEvent OnDrawGroove;

  bool WantsKey(uint16_t key, plat::TShiftState shift) const override;
  std::string ClassName() const override { return "TMMCustomSlider"; }

protected:
  void Paint() override;
  void Loaded() override;
  void WndProc(plat::TMessage& m) override;
  void KeyDown(uint16_t& key, plat::TShiftState shift) override;
  void KeyUp(uint16_t& key, plat::TShiftState shift) override;
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  virtual void Change();
  virtual void Track();
  virtual void TrackEnd();
  virtual void DrawThumb(TCanvas& c, const TRect& r);
  virtual void DrawGroove(TCanvas& c, TRect& r);

private:
  template <typename T>
  void Set(T& field, T v) {
    if (field == v) return;
    field = v;
    Invalidate();
  }
  // Every position change: false when nothing changed.
  bool SetPos(int32_t request);
  TMMSliderLayout Layout() const;
  void TakeBitmap();
  void FocusChanged(bool gained);
  void StopFlash();
  void ShowThumbCursor(bool overThumb);
  void PaintTo(TCanvas& c);

  TMMBevel* groove_;
  TMMScale* scale_;
  std::unique_ptr<TBitmap> picLeft_, picRight_;
  TMMFocusAction focusAction_ = faFocusRect;
  TColor focusColor_ = plat::clActiveCaption, grooveColor_ = plat::clBtnFace, thumbColor_ = plat::clBtnFace;
  bool thumbBorder_ = true;
  TColor disabledColor_ = plat::clWhite;
  bool handCursor_ = false;
  plat::TCursor thumbCursor_ = plat::crDefault;
  TMMSliderMapping map_;
  int32_t p_ = 0;
  bool force_ = false;
  int lineSize_ = 1, pageSize_ = 5;
  TMMOrientation orientation_ = orHorizontal;
  int grooveSize_ = 3, thumbWidth_ = 11, thumbHeight_ = 23;
  TMMThumbStyle thumbStyle_ = tsRect;
  TMMGrooveStyle grooveStyle_ = gsRect;
  int scaleDistance_ = 10;
  TMMScalePos scalePosition_ = spBelowOrRight;
  bool dragging_ = false, tracking_ = false, flash_ = false, focused_ = false;
  int dragStart_ = 0;
  int32_t dragStartPos_ = 0;
  bool overThumb_ = false;
  TBitmap* bitmap_ = nullptr;
};

class TMMSlider : public TMMCustomSlider {
public:
  explicit TMMSlider(TComponent* owner) : TMMCustomSlider(owner) {}
  std::string ClassName() const override { return "TMMSlider"; }
};
