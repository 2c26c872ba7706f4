#pragma once
// The kit's status bar: one simple text, or a row of panels (text, owner-drawn, or hosting a
// child panel), each with its own bevel, font and 3D text, and a size grip.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/Zel3DCaption.h"
#include "controls/zelpanel.h"
#include "platform/ui/graphics.h"

class TZelStatusBar;
class TZelStatusPanels;

enum TZelStatusPanelStyle { spText, spOwnerDraw, spPanel };

// A panel placed inside a status-bar panel.
class TZelStatusCustomPanel : public TZelCustomPanel {
public:
  explicit TZelStatusCustomPanel(plat::TComponent* owner) : TZelCustomPanel(owner) {}
  // Ties the panel to the bar item of the same id (stored as "BarPanelId").
  int PanelId() const { return panelId_; }
  void SetPanelId(int v) { panelId_ = v; }
  std::string ClassName() const override { return "TZelStatusCustomPanel"; }

private:
  int panelId_ = 0;
};

class TZelStatusPanel : public plat::TPersistent {
public:
  explicit TZelStatusPanel(TZelStatusPanels* collection);
  ~TZelStatusPanel() override;

  TZelAlignment Alignment() const { return alignment_; }
  void SetAlignment(TZelAlignment v);
  TZelBevel* Bevel() const { return bevel_.get(); }
  void SetBevel(TZelBevel* v) { bevel_->Assign(v); }
  TZelStatusPanelStyle Style() const { return style_; }
  void SetStyle(TZelStatusPanelStyle v);
  const std::string& Text() const { return text_; }
  void SetText(const std::string& v);
  // The panel's width in pixels.
  int Size() const { return size_; }
  void SetSize(int v);
  // The gap in pixels before the panel.
  int Left() const { return left_; }
  void SetLeft(int v);
  plat::TFont* Font() const { return font_.get(); }
  void SetFont(plat::TFont* v) { font_->Assign(v); }
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  void SetFont3D(TZel3DCaption* v) { font3D_->Assign(v); }
  int Index() const;
  std::string DisplayName() const { return text_; }
  int PanelId() const { return panelId_; }
  void SetPanelId(int v) { panelId_ = v; }
  // The hosted panel (spPanel only).
  TZelStatusCustomPanel* HostedPanel() const { return hosted_; }

  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelStatusPanel"; }

private:
  friend class TZelStatusBar;
  void Changed(bool all);
  TZelStatusPanels* collection_;
  TZelAlignment alignment_ = agTopLeft;
  std::unique_ptr<TZelBevel> bevel_;
  TZelStatusPanelStyle style_ = spText;
  std::string text_;
  int size_ = 50, left_ = 3;
  std::unique_ptr<plat::TFont> font_;
  std::unique_ptr<TZel3DCaption> font3D_;
  int panelId_ = 0;
  TZelStatusCustomPanel* hosted_ = nullptr;
};

class TZelStatusPanels : public plat::TPersistent {
public:
  explicit TZelStatusPanels(TZelStatusBar* bar) : bar_(bar) {}
  ~TZelStatusPanels() override;
  TZelStatusPanel* Add();
  int Count() const { return int(items_.size()); }
  TZelStatusPanel* Items(int i) const;  // null outside
  int IndexOf(const TZelStatusPanel* p) const;
  void Delete(int i);
  void Clear();
  TZelStatusBar* Bar() const { return bar_; }
  void Assign(plat::TPersistent* src) override;
  std::string ClassName() const override { return "TZelStatusPanels"; }

private:
  friend class TZelStatusPanel;
  void Update(TZelStatusPanel* p);  // null: all of them
  TZelStatusBar* bar_;
  std::vector<std::unique_ptr<TZelStatusPanel>> items_;
};

using TZelDrawPanelEvent =
    std::function<void(plat::TObject* Sender, int Index, plat::TCanvas& Canvas, plat::TRect Rect)>;
using TZelPanelClickEvent = std::function<void(plat::TObject* Sender, int Index)>;

class TZelCustomStatusBar : public TZelCustomBevelPanel {
public:
  explicit TZelCustomStatusBar(plat::TComponent* owner) : TZelCustomBevelPanel(owner) {}
  int ChildGap() const override { return 0; }
  std::string ClassName() const override { return "TZelCustomStatusBar"; }
};

class TZelStatusBar : public TZelCustomStatusBar {
public:
  explicit TZelStatusBar(plat::TComponent* owner);
  ~TZelStatusBar() override;

  // Placement of the simple text.
  TZelAlignment Alignment() const { return alignment_; }
  void SetAlignment(TZelAlignment v);
  TZel3DCaption* Font3D() const { return font3D_.get(); }
  void SetFont3D(TZel3DCaption* v) { font3D_->Assign(v); }
  const std::string& SimpleText() const { return simpleText_; }
  // Repaints only when the text differs.
  void SetSimpleText(const std::string& v);
  bool SimplePanel() const { return simplePanel_; }
  void SetSimplePanel(bool v);
  bool SizeGrip() const { return sizeGrip_; }
  void SetSizeGrip(bool v);
  // On: only the simple text is drawn (the panels never are).
  bool OldStyle() const { return oldStyle_; }
  void SetOldStyle(bool v);
  bool AutoSizeLastPanel() const { return autoSizeLastPanel_; }
  void SetAutoSizeLastPanel(bool v);
  // The gap sizing labels on the bar leave beside their text.
  int ControlGap() const { return controlGap_; }
  void SetControlGap(int v);
  int ChildGap() const override { return controlGap_; }
  TZelStatusPanels* Panels() const { return panels_.get(); }
  void SetPanels(TZelStatusPanels* v);

  TZelDrawPanelEvent OnOwnerDrawPanel;
  TZelPanelClickEvent OnPanelClick;

  // Where the panels lie: the client rectangle inside the bevel, as at the last paint.
  plat::TRect PanelArea() const { return panelArea_; }
  // The rectangle of panel i (with its gap before it) in the area; empty for none.
  plat::TRect PanelRect(int i, bool stretchLast) const;
  // The panel a click at x falls on, or -1.
  int PanelAt(int x) const;
  // Draws the size grip in the 13 x 13 square above and left of (r.Right, r.Bottom).
  void DrawSizeGrip(plat::TCanvas& c, const plat::TRect& r);
  // True when (x, y) lies on the grip and dragging it would resize the bar's window: one with a
  // sizing border, shown at its normal size.
  bool OnSizeGrip(int x, int y) const;
  std::string ClassName() const override { return "TZelStatusBar"; }

  // From the panels collection.
  void PanelChanged(TZelStatusPanel* p);
  void PanelStyleChanged(TZelStatusPanel* p, TZelStatusPanelStyle old);

protected:
  void AdjustClientRect(plat::TRect& r) const override;
  void Paint() override;
  void MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void MouseMove(plat::TShiftState s, int x, int y) override;
  void MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) override;
  void Notification(plat::TComponent* c, plat::TOperation op) override;
  void Resize() override;

private:
  void ComputeArea();
  void DrawPanel(plat::TCanvas& c, int i, const plat::TRect& r);
  void PlaceHostedPanels();
  void Relayout();
  TZelAlignment alignment_ = agTopLeft;
  std::unique_ptr<TZel3DCaption> font3D_;
  std::string simpleText_;
  bool simplePanel_ = false, sizeGrip_ = true, oldStyle_ = true, autoSizeLastPanel_ = true;
  int controlGap_ = 3;
  std::unique_ptr<TZelStatusPanels> panels_;
  plat::TRect panelArea_{};
  // A drag of the grip: where it started on the screen and the window's size then.
  bool gripDrag_ = false, gripCursor_ = false;
  plat::TPoint gripStart_{};
  int gripWidth_ = 0, gripHeight_ = 0;
};
