#pragma once
// The standard controls: labels, edits, memos, buttons, check boxes, radio buttons, list boxes,
// combo boxes and group boxes. Labels and group boxes are painted through the canvas with the
// framework's text rules; the others are Qt's widgets with the framework's events: OnChange on
// every change of an edit's text, OnClick of a check box or radio button also when the program
// checks it, OnClick of a list or combo box only when the user changes the selection.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/strings.h"

namespace plat {

enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

using TOwnerDrawState = uint32_t;
enum : uint32_t {
  odSelected = 1,
  odGrayed = 2,
  odDisabled = 4,
  odChecked = 8,
  odFocused = 16,
  odDefault = 32,
  odComboBoxEdit = 4096
};
using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, TRect Rect, TOwnerDrawState State)>;
using TMeasureItemEvent = std::function<void(TWinControl* Control, int Index, int& Height)>;

// ---- label ------------------------------------------------------------------------------------

class TCustomLabel : public TGraphicControl {
public:
  explicit TCustomLabel(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout l);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* c);
  // The text flags the label draws with (DT_...).
  uint32_t TextFlags() const;
  char Accelerator() const override;
  std::string ClassName() const override { return "TCustomLabel"; }

protected:
  void Paint() override;
  void TextChanged() override;
  void FontChanged() override;
  bool DialogChar(char ch) override;
  void Notification(TComponent* c, TOperation op) override;
  // Draws the caption (in the disabled look when disabled); with DT_CALCRECT only measures.
  virtual void DoDrawText(TRect& r, uint32_t flags);
  void AdjustBounds();

private:
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool autoSize_ = true, wordWrap_ = false, transparent_ = false, showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
public:
  explicit TLabel(TComponent* owner) : TCustomLabel(owner) {}
  std::string ClassName() const override { return "TLabel"; }
};

// ---- edits ------------------------------------------------------------------------------------

class TCustomEdit : public TWinControl {
public:
  explicit TCustomEdit(TComponent* owner);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c);
  TEditCharCase CharCase() const { return charCase_; }
  void SetCharCase(TEditCharCase c);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool v) { autoSelect_ = v; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  int SelStart() const;
  void SetSelStart(int v);
  int SelLength() const;
  void SetSelLength(int v);
  std::string SelText() const;
  void SetSelText(const std::string& s);
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(""); }
  bool Modified() const;
  void SetModified(bool v);

  TNotifyEvent OnChange;
  std::string ClassName() const override { return "TCustomEdit"; }

protected:
  std::string GetText() const override;
  void SetTextRaw(const std::string& s) override;
  void TextChanged() override {}
  virtual void Change();
  void ApplyStyleToWidget() override;
  void WndProc(TMessage& m) override;

private:
  void Init();
  int maxLength_ = 0;
  char passwordChar_ = 0;
  TEditCharCase charCase_ = ecNormal;
  bool autoSelect_ = true;
  TBorderStyle borderStyle_ = bsSingle;
};

class TEdit : public TCustomEdit {
public:
  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
  std::string ClassName() const override { return "TEdit"; }
};

class TMemo : public TWinControl {
public:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  TStrings* Lines() { return lines_.get(); }
  bool ReadOnly() const;
  void SetReadOnly(bool v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool v) { wantReturns_ = v; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool v);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n) { maxLength_ = n; }
  void Clear() { SetText(""); }
  bool Modified() const;
  void SetModified(bool v);
  TNotifyEvent OnChange;
  bool WantsKey(uint16_t key, TShiftState shift) const override;
  std::string ClassName() const override { return "TMemo"; }

protected:
  std::string GetText() const override;
  void SetTextRaw(const std::string& s) override;
  void TextChanged() override {}
  void ApplyStyleToWidget() override;

private:
  std::unique_ptr<TStrings> lines_;
  bool wordWrap_ = true, wantReturns_ = true, wantTabs_ = false;
  TScrollStyle scrollBars_ = ssNone;
  int maxLength_ = 0;
};

// ---- buttons ----------------------------------------------------------------------------------

class TButton : public TWinControl {
public:
  explicit TButton(TComponent* owner);
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  // Sets the form's ModalResult to this button's, then fires OnClick.
  void Click() override;
  // The button shows pressed, as while the mouse holds it.
  bool Down() const;
  void SetDown(bool v);
  bool DialogKey(uint16_t key, TControl* focused) override;
  bool IsPushButton() const override { return true; }
  bool AcceptsPlainAccelerators() const override { return true; }
  // A descendant that draws the button itself returns true and paints in Paint.
  bool PaintsItself() const override { return OwnerDraw(); }
  bool FocusesOnClick() const override { return true; }
  virtual bool OwnerDraw() const { return false; }
  TCanvas* Canvas() { return ControlCanvas(); }
  char Accelerator() const override;
  std::string ClassName() const override { return "TButton"; }

protected:
  void SetTextRaw(const std::string& s) override;
  bool DialogChar(char ch) override;
  void PaintBackground(TCanvas& c) override;

private:
  bool default_ = false, cancel_ = false;
  int modalResult_ = 0;
};

class TCheckBox : public TWinControl {
public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState s);  // fires OnClick when it changes
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool AcceptsPlainAccelerators() const override { return true; }
  char Accelerator() const override;
  std::string ClassName() const override { return "TCheckBox"; }

protected:
  void SetTextRaw(const std::string& s) override;
  bool DialogChar(char ch) override;

private:
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
};

class TRadioButton : public TWinControl {
public:
  explicit TRadioButton(TComponent* owner);
  bool Checked() const;
  void SetChecked(bool v);  // checking fires OnClick and clears the siblings
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool AcceptsPlainAccelerators() const override { return true; }
  char Accelerator() const override;
  std::string ClassName() const override { return "TRadioButton"; }

protected:
  void SetTextRaw(const std::string& s) override;
  bool DialogChar(char ch) override;

private:
  TAlignment alignment_ = taRightJustify;
};

// ---- lists ------------------------------------------------------------------------------------

class ControlStrings;

class TCustomListBox : public TWinControl {
public:
  explicit TCustomListBox(TComponent* owner);
  ~TCustomListBox() override;
  TStrings* Items();
  void SetItems(TStrings* s) { Items()->Assign(s); }
  int ItemIndex() const;
  void SetItemIndex(int i);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool ExtendedSelect() const { return extendedSelect_; }
  void SetExtendedSelect(bool v);
  bool Selected(int i) const;
  void SetSelected(int i, bool v);
  int SelCount() const;
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle s);
  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int h);
  bool IntegralHeight() const { return integralHeight_; }
  void SetIntegralHeight(bool v) { integralHeight_ = v; }
  int TopIndex() const;
  void SetTopIndex(int i);
  // The width the horizontal scroll bar scrolls over (0: the visible width).
  int ScrollWidth() const { return scrollWidth_; }
  void SetScrollWidth(int w);
  int ItemAtPos(TPoint p, bool existing) const;
  TRect ItemRect(int index) const;
  void Clear();
  // The canvas items are drawn on while OnDrawItem runs.
  TCanvas* Canvas() { return &itemCanvas_; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);

  TDrawItemEvent OnDrawItem;
  TMeasureItemEvent OnMeasureItem;
  std::string ClassName() const override { return "TCustomListBox"; }

  // Called by the item painter, with Canvas on the item's picture.
  void PaintItem(int index, const TRect& r, TOwnerDrawState state);
  int MeasureItem(int index);

protected:
  virtual void DrawItem(int index, TRect r, TOwnerDrawState state);
  void ApplyStyleToWidget() override;

private:
  friend class ControlStrings;
  void ApplySelectionMode();
  std::unique_ptr<ControlStrings> items_;
  bool sorted_ = false, multiSelect_ = false, extendedSelect_ = true, integralHeight_ = false;
  TListBoxStyle style_ = lbStandard;
  int itemHeight_ = 13, scrollWidth_ = 0;
  TBorderStyle borderStyle_ = bsSingle;
  TCanvas itemCanvas_;
  bool updating_ = false;
};

class TListBox : public TCustomListBox {
public:
  explicit TListBox(TComponent* owner) : TCustomListBox(owner) {}
  std::string ClassName() const override { return "TListBox"; }
};

class TCustomComboBox : public TWinControl {
public:
  explicit TCustomComboBox(TComponent* owner);
  ~TCustomComboBox() override;
  TStrings* Items();
  void SetItems(TStrings* s) { Items()->Assign(s); }
  int ItemIndex() const;
  void SetItemIndex(int i);
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle s);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int n);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  void SelectAll();
  void Clear();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;
  bool WantsKey(uint16_t key, TShiftState shift) const override;
  std::string ClassName() const override { return "TCustomComboBox"; }

  // Called by the widget glue.
  void DroppingDown(bool down);

protected:
  std::string GetText() const override;
  void SetTextRaw(const std::string& s) override;
  void TextChanged() override {}
  virtual void Change();
  virtual void Select();
  void ApplyStyleToWidget() override;

private:
  friend class ControlStrings;
  std::unique_ptr<ControlStrings> items_;
  TComboBoxStyle style_ = csDropDown;
  bool sorted_ = false, updating_ = false;
  int dropDownCount_ = 8, maxLength_ = 0;
};

class TComboBox : public TCustomComboBox {
public:
  explicit TComboBox(TComponent* owner) : TCustomComboBox(owner) {}
  std::string ClassName() const override { return "TComboBox"; }
};

// ---- group box --------------------------------------------------------------------------------

class TCustomGroupBox : public TCustomControl {
public:
  explicit TCustomGroupBox(TComponent* owner);
  char Accelerator() const override;
  std::string ClassName() const override { return "TCustomGroupBox"; }

protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) const override;
  bool DialogChar(char ch) override;
  void TextChanged() override { Invalidate(); }
};

class TGroupBox : public TCustomGroupBox {
public:
  explicit TGroupBox(TComponent* owner) : TCustomGroupBox(owner) {}
  std::string ClassName() const override { return "TGroupBox"; }
};

}  // namespace plat
