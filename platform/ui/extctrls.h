#pragma once
// Panels, bevels, paint boxes, images, radio groups, window timers, page controls, gauges and the
// mask edit.
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/stdctrls.h"

namespace plat {

class TimerObject;
class TabBarFilter;

// ---- panel, bevel, paint box, image -----------------------------------------------------------

class TCustomPanel : public TCustomControl {
public:
  explicit TCustomPanel(TComponent* owner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut b);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int w);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int w);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  std::string ClassName() const override { return "TCustomPanel"; }

protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) const override;
  void TextChanged() override { Invalidate(); }

private:
  TAlignment alignment_ = taCenter;
  TBevelCut bevelInner_ = bvNone, bevelOuter_ = bvRaised;
  int bevelWidth_ = 1, borderWidth_ = 0;
  TBorderStyle borderStyle_ = bsNone;
};

class TPanel : public TCustomPanel {
public:
  explicit TPanel(TComponent* owner) : TCustomPanel(owner) {}
  std::string ClassName() const override { return "TPanel"; }
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
  explicit TBevel(TComponent* owner);
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape s);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle s);
  std::string ClassName() const override { return "TBevel"; }

protected:
  void Paint() override;

private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

class TPaintBox : public TGraphicControl {
public:
  explicit TPaintBox(TComponent* owner);
  TNotifyEvent OnPaint;
  std::string ClassName() const override { return "TPaintBox"; }

protected:
  void Paint() override;
};

class TImage : public TGraphicControl {
public:
  explicit TImage(TComponent* owner);
  TBitmap* Picture() { return &picture_; }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  bool Transparent() const { return picture_.Transparent(); }
  void SetTransparent(bool v) { picture_.SetTransparent(v); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  std::string ClassName() const override { return "TImage"; }

protected:
  void Paint() override;

private:
  void PictureChanged();
  TBitmap picture_;
  bool stretch_ = false, center_ = false, autoSize_ = false;
};

// ---- radio group ------------------------------------------------------------------------------

class TCustomRadioGroup : public TCustomGroupBox {
public:
  explicit TCustomRadioGroup(TComponent* owner);
  ~TCustomRadioGroup() override;
  TStrings* Items() { return &items_; }
  void SetItems(TStrings* s) { items_.Assign(s); }
  int ItemIndex() const { return itemIndex_; }
  // Selecting an item (also by the program) fires OnClick, as the framework's group does.
  void SetItemIndex(int i);
  int Columns() const { return columns_; }
  void SetColumns(int n);
  int ButtonCount() const { return int(buttons_.size()); }
  TRadioButton* Buttons(int i) const { return buttons_.at(size_t(i)); }
  std::string ClassName() const override { return "TCustomRadioGroup"; }

protected:
  void Resize() override;
  void FontChanged() override;
  void EnabledChanged() override;

private:
  void UpdateButtons();
  void ArrangeButtons();
  void ButtonClicked(TRadioButton* b);
  TStringList items_;
  std::vector<TRadioButton*> buttons_;
  int itemIndex_ = -1, columns_ = 1;
  bool updating_ = false;
};

class TRadioGroup : public TCustomRadioGroup {
public:
  explicit TRadioGroup(TComponent* owner) : TCustomRadioGroup(owner) {}
  std::string ClassName() const override { return "TRadioGroup"; }
};

// ---- window timer -----------------------------------------------------------------------------

// Fires OnTimer on the UI thread every Interval milliseconds while it is enabled (Interval 0
// stops it); changing Interval or Enabled starts the count again.
class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned ms);
  bool Running() const;
  TNotifyEvent OnTimer;
  std::string ClassName() const override { return "TTimer"; }

protected:
  virtual void Timer();

private:
  void UpdateTimer();
  TimerObject* timer_;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

// ---- page control -----------------------------------------------------------------------------

class TPageControl;

class TTabSheet : public TWinControl {
public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* p);
  int PageIndex() const;
  void SetPageIndex(int i);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v);
  int TabIndex() const;
  bool PaintsItself() const override { return true; }
  char Accelerator() const override;
  std::string ClassName() const override { return "TTabSheet"; }

protected:
  void SetTextRaw(const std::string& s) override;

private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

class TPageControl : public TWinControl {
public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return int(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(size_t(i)); }
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* p);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  TRect ClientRect() const override;  // the page area under the tabs
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;
  std::string ClassName() const override { return "TPageControl"; }

protected:
  // Alt and a tab's accelerator select that tab, hidden pages included, as a click on it does
  // (OnChanging may refuse; OnChange is told).
  bool DialogChar(char ch) override;

private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* p);
  void RemovePage(TTabSheet* p);
  void UpdateTabs();
  std::vector<TTabSheet*> pages_;
  TabBarFilter* tabFilter_ = nullptr;
  bool changing_ = false;
  int lastIndex_ = -1;
};

// ---- scrolling surface ------------------------------------------------------------------------

// A scrolling client area for a windowed control that lays it out itself: from its making on, the
// control's children lie on a surface that moves under a viewport, beside a horizontal and a
// vertical scroll bar, both hidden at first.
class TScrollSurface {
public:
  explicit TScrollSurface(TWinControl* owner);
  ~TScrollSurface();
  TScrollSurface(const TScrollSurface&) = delete;
  TScrollSurface& operator=(const TScrollSurface&) = delete;

  int Position(bool vertical) const;
  // Moves the bars (and with them the surface): OnScroll for each that moves.
  void ScrollTo(int x, int y);
  bool BarVisible(bool vertical) const;
  TRect BarRect(bool vertical) const;
  // The viewport at view and the bars below and to the right of it, barSize wide, shown as asked;
  // the bars' ranges and pages follow the content and the view, and the surface, at least as large
  // as both, lies at the bars' positions.
  void Layout(const TRect& view, bool horzBar, bool vertBar, int barSize, TSize content);

  // A bar moved: ended when the user let go of its thumb.
  std::function<void(bool ended, bool vertical)> OnScroll;
  // A child of the surface came or went, moved, changed its size, showed or hid.
  TNotifyEvent OnChildrenChanged;

  struct Native;

private:
  std::unique_ptr<Native> native_;
};

// ---- gauge ------------------------------------------------------------------------------------

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

class TGauge : public TGraphicControl {
public:
  explicit TGauge(TComponent* owner);
  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind k);
  int MinValue() const { return minValue_; }
  void SetMinValue(int v);
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int v);
  int Progress() const { return progress_; }
  void SetProgress(int v);  // kept within MinValue..MaxValue
  void AddProgress(int v) { SetProgress(progress_ + v); }
  int PercentDone() const;
  TColor ForeColor() const { return foreColor_; }
  void SetForeColor(TColor c);
  TColor BackColor() const { return backColor_; }
  void SetBackColor(TColor c);
  bool ShowText() const { return showText_; }
  void SetShowText(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle s);
  std::string ClassName() const override { return "TGauge"; }

protected:
  void Paint() override;

private:
  TGaugeKind kind_ = gkHorizontalBar;
  int minValue_ = 0, maxValue_ = 100, progress_ = 0;
  TColor foreColor_ = clBlack, backColor_ = clWhite;
  bool showText_ = true;
  TBorderStyle borderStyle_ = bsSingle;
};

// ---- mask edit --------------------------------------------------------------------------------

// An edit mask in the framework's syntax: "<mask>;<save literals 0|1>;<blank character>".
// Mask characters: L letter, A letter or digit, C any character, 0 digit (each required);
// l, a, c, 9 the same but optional; # digit or sign (optional); > upper case and < lower case
// from here on, <> neither; \ makes the next character a literal; ! and the blank "_" are
// accepted; everything else (":" and "/" included) is a literal.
class TEditMask {
public:
  explicit TEditMask(const std::string& mask = std::string());
  bool Empty() const { return slots_.empty(); }
  bool SaveLiterals() const { return saveLiterals_; }
  char Blank() const { return blank_; }
  size_t Length() const { return slots_.size(); }
  // Whether c may stand at position i (literals only accept themselves).
  bool Accepts(size_t i, char c) const;
  bool IsLiteral(size_t i) const { return slots_.at(i).kind == Literal; }
  bool IsRequired(size_t i) const { return slots_.at(i).required; }
  // The text shown (blanks where nothing was typed) from a text in the mask's layout.
  std::string EditText(const std::string& text) const;
  // The text the program reads: unfilled positions as blanks, literals only when saved.
  std::string TextOf(const std::string& editText) const;
  // True when every required position holds a character it accepts.
  bool Valid(const std::string& editText) const;
  // The text shown, taken over position by position from a text shown under another mask.
  std::string FromShown(const std::string& shown) const;
  // Qt's input mask with the same meaning.
  std::string QtMask() const;

private:
  enum Kind { Literal, Letter, Alnum, Any, Digit, DigitOrSign };
  struct Slot {
    Kind kind = Literal;
    bool required = false;
    char literal = 0;
    int caseMode = 0;  // 1 upper, -1 lower
  };
  std::vector<Slot> slots_;
  bool saveLiterals_ = true;
  char blank_ = '_';
};

class EDBEditError : public Exception {
public:
  explicit EDBEditError(std::string m) : Exception(std::move(m)) {}
};

class TMaskEdit : public TCustomEdit {
public:
  explicit TMaskEdit(TComponent* owner);
  const std::string& EditMask() const { return mask_; }
  void SetEditMask(const std::string& m);
  bool IsMasked() const { return !parsed_.Empty(); }
  // The text with literals and blanks as shown.
  std::string EditText() const;
  void SetEditText(const std::string& s);
  // Raises EDBEditError "Invalid input value.  Use escape key to abandon changes" when a
  // required position is empty; leaving the edit checks it too and keeps the focus there.
  void ValidateEdit();
  std::string ClassName() const override { return "TMaskEdit"; }

protected:
  std::string GetText() const override;
  void SetTextRaw(const std::string& s) override;
  void WndProc(TMessage& m) override;

private:
  std::string mask_;
  TEditMask parsed_;
};

}  // namespace plat
