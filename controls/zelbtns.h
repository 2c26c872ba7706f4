#pragma once
// The kit's buttons: TZelButton, an owner-drawn push button, and the windowless button line
// (speed buttons, office buttons and buttons painted from a face image list). All of them draw
// glyph and caption through one glyph object whose per-state images live in a process-wide cache,
// and all can repeat their click while the mouse button is held, ticked by the kit's timer pool.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/ZelButtonLayout.h"
#include "controls/ZelFXCaption.h"
#include "controls/zelctrls.h"
#include "controls/zelgraph.h"
#include "platform/ui/stdctrls.h"

namespace plat {
class TPopupMenu;
class TStream;
class TWindowHook;
}  // namespace plat

enum TZelNormalButtonStyle { nbsAutoDetect, nbsWin31, nbsWin40 };
enum TZelUserButtonStyle {
  ubsAutoDetect,
  ubsWin31,
  ubsWin40,
  ubsKorvex,
  ubsKorvexFlat,
  ubsFlat,
  ubsFlatUnColored,
  ubsNavigator,
  ubsExplorer,
  ubsExplorerColored,
  ubsIntegrated
};

// ---- glyphs -----------------------------------------------------------------------------------------
// One list of glyph images of one cell size, shared by every glyph of that size. Cells are reused:
// a new image takes the first free cell and the list grows by one only when all are in use.
class TZelGlyphList : public TZelImageListItem {
public:
  TZelGlyphList(int width, int height);
  // Adds image (one cell) with the pixels of transparent left out; returns its cell.
  int AddGlyph(plat::TBitmap& image, plat::TColor transparent);
  void RemoveGlyph(int index);
  int UsedCount() const { return used_; }
  std::string ClassName() const override { return "TZelGlyphList"; }

private:
  std::vector<bool> cells_;
  int used_ = 0;
};

// The lists of all glyphs, at most one per cell size. Made when the first glyph is made or draws
// and freed when the last glyph goes and no list is left.
class TZelGlyphCache {
public:
  TZelGlyphList* ListFor(int width, int height);
  // Frees list when it holds no image any more.
  void Release(TZelGlyphList* list);
  int Count() const { return int(lists_.size()); }
  ~TZelGlyphCache();

private:
  std::vector<TZelGlyphList*> lists_;
};
// The cache while it exists (tests look at it).
TZelGlyphCache* ZelGlyphCache();

class TZelGlyph : public plat::TObject {
public:
  TZelGlyph();
  ~TZelGlyph() override;
  TZelGlyph(const TZelGlyph&) = delete;
  TZelGlyph& operator=(const TZelGlyph&) = delete;

  // The strip of NumGlyphs equal cells, left to right; changing it re-reads the cell count.
  plat::TBitmap* Bitmap() const { return bitmap_.get(); }
  void SetBitmap(plat::TBitmap* v);  // copies; null clears
  // 1..5 (0 is ignored).
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int v);
  bool GrayMode() const { return gray_; }
  void SetGrayMode(bool v);
  plat::TColor TransparentColor() const { return transparent_; }

  // The image of a button state (0..7) in List(), made on first use; -1 without a picture.
  int StateImage(int state);
  TZelGlyphList* List() const { return list_; }
  // Draws the state's image and the caption into r through the kit's glyph-and-text layout.
  TZelGlyphTextPlacement Draw(plat::TCanvas& canvas, const plat::TRect& r, int state, const std::string& caption,
                              bool multiLine, bool enabled, const TZelGlyphTextLayout* layout,
                              const TZel3DCaption* caption3d);

  // Told whenever the picture or the way it is cut changes.
  plat::TNotifyEvent OnChange;
  std::string ClassName() const override { return "TZelGlyph"; }

private:
  void BitmapChanged();
  void ReleaseImages();
  void Notify();
  std::unique_ptr<plat::TBitmap> bitmap_;
  int numGlyphs_ = 1;
  bool gray_ = false;
  plat::TColor transparent_ = plat::clNone;
  std::array<int, 8> images_;
  TZelGlyphList* list_ = nullptr;
};

// ---- what the buttons share ----------------------------------------------------------------------------
// The push button's and the windowless buttons' look (layout, caption effects, glyph), their
// caption and hint options and their repeat settings. A changed option repaints, unless loading.
template <class Base>
class TZelButtonOptions : public Base {
public:
  TZelButtonLayout* ButtonLayout() const { return layout_.get(); }
  void SetButtonLayout(TZelButtonLayout* v) { layout_->Assign(v); }
  TZelFxCaption* FontFX() const { return fontFX_.get(); }
  void SetFontFX(TZelFxCaption* v) { fontFX_->Assign(v); }
  plat::TBitmap* Glyph() const { return glyph_->Bitmap(); }
  int NumGlyphs() const { return glyph_->NumGlyphs(); }
  void SetNumGlyphs(int v) { glyph_->SetNumGlyphs(v); }
  TZelGlyph* GlyphObject() const { return glyph_.get(); }
  bool HideHint() const { return hideHint_; }
  void SetHideHint(bool v) { hideHint_ = v; }
  bool UseCaption() const { return useCaption_; }
  void SetUseCaption(bool v) { SetOption(useCaption_, v); }
  bool MultiLine() const { return multiLine_; }
  void SetMultiLine(bool v) { SetOption(multiLine_, v); }

  // Repeating: while the left button is held on the button, a click RepeatingDelay ms after the
  // press and then every RepeatingInterval ms, while the cursor is on the button; the release
  // over the button gives the ordinary click.
  bool RepeatedClick() const { return repeatedClick_; }
  void SetRepeatedClick(bool v) { repeatedClick_ = v; }
  uint16_t RepeatingInterval() const { return repeatingInterval_; }
  void SetRepeatingInterval(uint16_t v) { repeatingInterval_ = v; }
  uint16_t RepeatingDelay() const { return repeatingDelay_; }
  void SetRepeatingDelay(uint16_t v) { repeatingDelay_ = v; }

protected:
  explicit TZelButtonOptions(plat::TComponent* owner)
      : Base(owner),
        layout_(std::make_unique<TZelButtonLayout>()),
        fontFX_(std::make_unique<TZelFxCaption>()),
        glyph_(std::make_unique<TZelGlyph>()) {
    layout_->OnChange = [this](plat::TObject*) { OptionChanged(false); };
    fontFX_->OnChange = [this](plat::TObject*) { OptionChanged(true); };
    glyph_->OnChange = [this](plat::TObject*) { OptionChanged(false); };
  }
  ~TZelButtonOptions() override {
    layout_->OnChange = nullptr;
    fontFX_->OnChange = nullptr;
    glyph_->OnChange = nullptr;
  }
  template <class T>
  void SetOption(T& field, T v) {
    if (field == v) return;
    field = v;
    OptionChanged(false);
  }
  void OptionChanged(bool fromFontFX) {
    if (this->IsLoading()) return;
    // Every font here is scalable, so a rotated caption never needs another face.
    if (fromFontFX) this->SetParentFont(false);
    this->Invalidate();
  }
  // The glyph becomes link's picture, or none.
  void GlyphFromLink(const TZelImageLink& link) {
    if (settingGlyph_) return;
    plat::TBitmap b;
    const bool have = link.Picture(b);
    settingGlyph_ = true;
    glyph_->SetBitmap(have ? &b : nullptr);
    settingGlyph_ = false;
  }

  std::unique_ptr<TZelButtonLayout> layout_;
  std::unique_ptr<TZelFxCaption> fontFX_;
  std::unique_ptr<TZelGlyph> glyph_;
  bool hideHint_ = true, useCaption_ = true, multiLine_ = false;
  bool repeatedClick_ = false;
  uint16_t repeatingInterval_ = 100, repeatingDelay_ = 500;
  bool settingGlyph_ = false;  // the glyph is being set from the image list, or the list cleared for a glyph
};

// ---- push button ------------------------------------------------------------------------------------
class TZelCustomButton : public TZelButtonOptions<TZelImageUser<plat::TButton>> {
public:
  explicit TZelCustomButton(plat::TComponent* owner);
  ~TZelCustomButton() override;

  // Clears ImageList (unless loading).
  void SetGlyph(plat::TBitmap* v);
  TZelNormalButtonStyle Style() const { return style_; }
  void SetStyle(TZelNormalButtonStyle v);

  plat::TNotifyEvent OnMouseExit;

  bool OwnerDraw() const override { return true; }
  // 0 normal, 1 disabled, 4 pushed.
  int DrawState() const;
  bool MouseInside() const { return mouseInside_; }
  // The pool timer of the repeat; 0 while none.
  uint16_t RepeatTimer() const { return repeatId_; }
  // Ends a press as the system does when the mouse is taken away: no release click follows.
  void CancelMode();
  std::string ClassName() const override { return "TZelCustomButton"; }

protected:
  void Paint() override;
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void EnabledChanged() override;
  void VisibleChanged() override;
  void FontChanged() override;
  void Loaded() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  // Shows the button pushed in or out, as the system button does while it is pressed.
  void SetPushed(bool v);
  bool Dropping() const { return dropping_; }
  void SetDropping(bool v) { dropping_ = v; }

private:
  void StartRepeat();
  void StopRepeat();
  void RepeatTick();

  void ImageListChanged() override { GlyphFromLink(image_); }

  std::unique_ptr<plat::TWindowHook> watch_;
  TZelNormalButtonStyle style_ = nbsAutoDetect;
  bool mouseInside_ = false, dropping_ = false, tracking_ = false;
  uint16_t repeatId_ = 0;
};

class TZelButton : public TZelCustomButton {
public:
  explicit TZelButton(plat::TComponent* owner);

  plat::TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
  void SetDropDownMenu(plat::TPopupMenu* v);
  int DropDownIndent() const { return dropDownIndent_; }
  void SetDropDownIndent(int v) { dropDownIndent_ = v; }
  bool DropDownRight() const { return dropDownRight_; }
  void SetDropDownRight(bool v) { dropDownRight_ = v; }
  plat::TNotifyEvent OnDropDown;

  // With a drop-down menu: OnClick, then the menu drops down.
  void Click() override;
  void DropDown();
  std::string ClassName() const override { return "TZelButton"; }

protected:
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  plat::TPopupMenu* dropDownMenu_ = nullptr;
  int dropDownIndent_ = 0;
  bool dropDownRight_ = false;
};

// ---- windowless buttons -------------------------------------------------------------------------------
class TZelBaseGraphicButton : public TZelButtonOptions<TZelBaseControl> {
public:
  explicit TZelBaseGraphicButton(plat::TComponent* owner);
  ~TZelBaseGraphicButton() override;

  // Clears ImageList (unless loading).
  void SetGlyph(plat::TBitmap* v);
  plat::TColor EnterColor() const { return enterColor_; }
  void SetEnterColor(plat::TColor v);
  bool EnterColorChange() const { return enterColorChange_; }
  void SetEnterColorChange(bool v);

  bool AllowMouseOver() const { return allowMouseOver_; }
  void SetAllowMouseOver(bool v);
  bool AllowTransparency() const { return allowTransparency_; }
  void SetAllowTransparency(bool v) { allowTransparency_ = v; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int v);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool v);
  // Latched down; only buttons of a group (GroupIndex not 0) latch.
  bool Pressed() const { return pressed_; }
  void SetPressed(bool v);
  bool DropDownCombo() const { return dropDownCombo_; }
  void SetDropDownCombo(bool v);
  int DropDownComboWidth() const { return dropDownComboWidth_; }
  void SetDropDownComboWidth(int v);
  plat::TPopupMenu* DropDownMenu() const { return dropDownMenu_; }
  void SetDropDownMenu(plat::TPopupMenu* v);
  int DropDownIndent() const { return dropDownIndent_; }
  void SetDropDownIndent(int v) { dropDownIndent_ = v; }
  bool DropDownRight() const { return dropDownRight_; }
  void SetDropDownRight(bool v) { dropDownRight_ = v; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);

  TZelButtonState State() const { return state_; }
  TZelButtonState PreviousState() const { return prevState_; }
  bool MouseInside() const { return mouseInside_; }
  bool Tracking() const { return tracking_; }
  // The pool timers: 0 the hover check, 1 the repeat; 0 while none.
  uint16_t TimerId(int which) const { return timers_[which & 1]; }
  bool HasComboPart() const { return dropDownCombo_ && dropDownMenu_; }

  plat::TNotifyEvent OnDropDown;

  void Click() override;
  void DropDown();
  // The group message: a button of group index was pressed (or changed its group settings).
  void ButtonPressed(int groupIndex, TZelBaseGraphicButton* sender);
  // Ends a press without a click, as when the mouse is taken away.
  void CancelMode();
  char Accelerator() const override;
  std::string ClassName() const override { return "TZelBaseGraphicButton"; }

protected:
  void SetState(TZelButtonState s);
  // Whether (x, y) counts as on the button.
  virtual bool IsInside(int x, int y) const;
  bool InsideForMouse(int x, int y) const;
  // The frame depth of the style (speed buttons), 1 elsewhere.
  virtual int FrameDepth() const { return 1; }
  // The look of Up and MouseOver differ (so a change between them repaints).
  virtual bool HoverChangesLook() const;
  void DrawGlyphAndCaption(plat::TCanvas& c, const plat::TRect& r);
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void DblClick() override;
  void EnabledChanged() override;
  void VisibleChanged() override;
  void FontChanged() override;
  bool DialogChar(char ch) override;
  void Loaded() override;
  void ImageListChanged() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  void WndProc(plat::TMessage& m) override;
  void StartTimer(int which, uint16_t interval);
  void StopTimer(int which);
  bool PixelOffsetEnabled() const { return offsetEnabled_; }
  void SetPixelOffset(uint8_t offset, bool enabled) {
    pixelOffset_ = offset;
    offsetEnabled_ = enabled;
  }

private:
  void HoverTick();
  void RepeatTick();
  void EnterOnce();
  void ExitOnce();
  void CheckCursor();
  void Broadcast();

  plat::TColor enterColor_ = plat::clCaptionText;
  bool enterColorChange_ = false;
  bool allowMouseOver_ = false, allowTransparency_ = true;
  int groupIndex_ = 0;
  bool allowAllUp_ = false, pressed_ = false, dropDownCombo_ = false;
  int dropDownComboWidth_ = 12;
  plat::TPopupMenu* dropDownMenu_ = nullptr;
  int dropDownIndent_ = 0;
  bool dropDownRight_ = false, transparent_ = false;
  TZelButtonState state_ = bsUp, prevState_ = bsUp;
  bool tracking_ = false, mouseInside_ = false, cursorCheck_ = false;
  uint8_t pixelOffset_ = 0;
  bool offsetEnabled_ = false;
  std::array<uint16_t, 2> timers_{};
  std::unique_ptr<plat::TWindowHook> watch_;
};

class TZelCustomSpeedButton : public TZelBaseGraphicButton {
public:
  explicit TZelCustomSpeedButton(plat::TComponent* owner);
  TZelUserButtonStyle Style() const { return style_; }
  void SetStyle(TZelUserButtonStyle v);
  // The frame depth of a style: 3, 2 or 1 pixels.
  static int StyleFrameDepth(TZelUserButtonStyle style);
  // Where the main and the combo part lie (the combo part is empty without one).
  void Parts(plat::TRect& main, plat::TRect& combo) const;
  std::string ClassName() const override { return "TZelCustomSpeedButton"; }

protected:
  int FrameDepth() const override { return StyleFrameDepth(style_); }
  bool HoverChangesLook() const override;
  void Paint() override;

private:
  TZelUserButtonStyle style_ = ubsAutoDetect;
};

class TZelSpeedButton : public TZelCustomSpeedButton {
public:
  explicit TZelSpeedButton(plat::TComponent* owner);
  std::string ClassName() const override { return "TZelSpeedButton"; }
};

class TZelOfficeButton : public TZelSpeedButton {
public:
  explicit TZelOfficeButton(plat::TComponent* owner);
  std::string ClassName() const override { return "TZelOfficeButton"; }
};

// ---- buttons painted from a face image list -----------------------------------------------------------
struct TZelButtonFace {
  int ListIndex = 0;
  int ImageIndex = 0;
  bool operator==(const TZelButtonFace&) const = default;
};

class TZelCustomMMButton : public TZelBaseGraphicButton {
public:
  explicit TZelCustomMMButton(plat::TComponent* owner);
  ~TZelCustomMMButton() override;

  // The face image of each state 0..7.
  TZelButtonFace ButtonFace(int state) const;
  void SetButtonFace(int state, TZelButtonFace face);
  TZelBitmapStyle ButtonFaceStyle() const { return faceStyle_; }
  void SetButtonFaceStyle(TZelBitmapStyle v);
  TZelCustomImageList* ButtonFaceImageList() const { return faceLink_.ImageList(); }
  void SetButtonFaceImageList(TZelCustomImageList* v) { faceLink_.SetImageList(v); }
  int CaptionDown() const { return captionDown_; }
  void SetCaptionDown(int v);
  bool ForceTransparent() const { return forceTransparent_; }
  void SetForceTransparent(bool v);
  bool QuickDraw() const { return quickDraw_; }
  void SetQuickDraw(bool v);
  plat::TColor FaceTransparentColor() const { return faceTransparentColor_; }
  void SetFaceTransparentColor(plat::TColor v);
  // Where the current face was drawn last.
  plat::TRect FaceRect() const { return faceRect_; }
  // The face of a state, or the one it falls back to; -1 image index when there is none.
  TZelButtonFace EffectiveFace(int state, bool* exists) const;

  // The stored forms of the faces: "ButtonFaceIndicesNew2" and "ButtonFaceTransColNew" are
  // written; the older "ButtonFaceIndices", "ButtonFaceIndicesNew" and "ButtonFaceTransCol" are
  // read too.
  void WriteFaceIndices(plat::TStream& s) const;
  void ReadFaceIndices(plat::TStream& s);     // "ButtonFaceIndicesNew2"
  void ReadFaceIndicesNew(plat::TStream& s);  // "ButtonFaceIndicesNew"
  void ReadFaceIndicesOld(plat::TStream& s);  // "ButtonFaceIndices"
  void WriteFaceTransparentColor(plat::TStream& s) const;
  void ReadFaceTransparentColor(plat::TStream& s);  // either name
  std::string ClassName() const override { return "TZelCustomMMButton"; }

protected:
  bool IsInside(int x, int y) const override;
  bool HoverChangesLook() const override { return true; }
  void Paint() override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;

private:
  uint16_t FaceFlags() const;
  std::array<TZelButtonFace, 8> faces_{};
  TZelBitmapStyle faceStyle_ = sbNone;
  TZelImageLink faceLink_;
  int captionDown_ = 1;
  bool forceTransparent_ = true, quickDraw_ = false;
  plat::TColor faceTransparentColor_ = plat::clWhite;
  plat::TRect faceRect_{};
};

class TZelMMButton : public TZelCustomMMButton {
public:
  explicit TZelMMButton(plat::TComponent* owner) : TZelCustomMMButton(owner) {}
  std::string ClassName() const override { return "TZelMMButton"; }
};
