#pragma once
// The kit's windowed containers: a panel that can lend its background to transparent children, a
// panel with a kit bevel that lays its children out inside the bevel, and a scroll box whose
// border is a kit bevel.
#include <memory>
#include <string>

#include "controls/zelctrls.h"
#include "platform/ui/extctrls.h"

class TZelCustomPanel : public TZelCustomControl {
public:
  explicit TZelCustomPanel(plat::TComponent* owner);

  // The parent-background protocol: a transparent panel passes the question up its parents.
  bool SuppliesBackground() const override;
  plat::TBitmap* BackgroundBitmap() override;
  plat::TPoint ChildOffset(const plat::TControl* child) const override;
  bool PaintChildBackground(plat::TControl* child, plat::TCanvas& canvas) override;
  std::string ClassName() const override { return "TZelCustomPanel"; }

private:
  std::unique_ptr<plat::TBitmap> converted_;
};

class TZelCustomBevelPanel : public TZelCustomPanel {
public:
  explicit TZelCustomBevelPanel(plat::TComponent* owner);
  ~TZelCustomBevelPanel() override;

  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v);
  // No border at all: a zero extent outside bmWindows.
  bool HasNoBorder() const;
  std::string ClassName() const override { return "TZelCustomBevelPanel"; }

protected:
  void AdjustClientRect(plat::TRect& r) const override;
  void Paint() override;
  virtual void BevelChanged();

private:
  std::unique_ptr<TZelBevel> bevel_;
};

class TZelPanel : public TZelCustomBevelPanel {
public:
  explicit TZelPanel(plat::TComponent* owner) : TZelCustomBevelPanel(owner) {}
  std::string ClassName() const override { return "TZelPanel"; }
};

// A container whose children scroll: they lie on an inner surface that two scroll bars move.
// The border is the box's bevel; the box takes part in the background protocol like a panel.
class TZelCustomScrollBox : public TZelCustomControl {
public:
  explicit TZelCustomScrollBox(plat::TComponent* owner);
  ~TZelCustomScrollBox() override;

  TZelScrollBoxBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v);
  // Always bsNone: the bevel is the border.
  plat::TBorderStyle BorderStyle() const { return plat::bsNone; }
  // Repaint a transparent box after every Threshold scroll steps (with the throttle on) or only
  // when a scroll ends.
  bool RepaintThrottle() const { return throttle_; }
  void SetRepaintThrottle(bool v) { throttle_ = v; }
  int ScrollThreshold() const { return threshold_; }
  void SetScrollThreshold(int v) { threshold_ = v < 1 ? 1 : v; }

  int HorzPosition() const;
  int VertPosition() const;
  void ScrollTo(int x, int y);
  bool HorzScrollBarVisible() const;
  bool VertScrollBarVisible() const;
  // The area the children's bounds span.
  plat::TSize ContentSize() const;

  bool SuppliesBackground() const override;
  plat::TPoint ChildOffset(const plat::TControl* child) const override;
  std::string ClassName() const override { return "TZelCustomScrollBox"; }

protected:
  void AlignControls() override;
  void Paint() override;
  void Resize() override;
  void WndProc(plat::TMessage& m) override;

private:
  void UpdateScrollBars();
  void Scrolled(bool ended, bool vertical);
  std::unique_ptr<TZelScrollBoxBevel> bevel_;
  std::unique_ptr<plat::TScrollSurface> scroll_;
  bool throttle_ = true;
  int threshold_ = 1, scrollCount_ = 0;
  bool updating_ = false;
};

class TZelScrollBox : public TZelCustomScrollBox {
public:
  explicit TZelScrollBox(plat::TComponent* owner) : TZelCustomScrollBox(owner) {}
  std::string ClassName() const override { return "TZelScrollBox"; }
};
