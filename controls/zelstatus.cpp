#include "controls/zelstatus.h"

#include <algorithm>

#include "controls/zelgraph.h"
#include "controls/zellabel.h"
#include "platform/ui/forms.h"

using plat::TCanvas;
using plat::TColor;
using plat::TRect;

namespace {

uint32_t PlacementFlags(TZelAlignment a) {
  uint32_t f = plat::DT_SINGLELINE | plat::DT_EXPANDTABS | plat::DT_NOPREFIX;
  switch (int(a) % 3) {
    case 1: f |= plat::DT_CENTER; break;
    case 2: f |= plat::DT_RIGHT; break;
    default: break;
  }
  switch (int(a) / 3) {
    case 1: f |= plat::DT_VCENTER; break;
    case 2: f |= plat::DT_BOTTOM; break;
    default: break;
  }
  return f;
}

void Line(TCanvas& c, int x1, int y1, int x2, int y2, TColor color) {
  c.Pen()->SetStyle(plat::psSolid);
  c.Pen()->SetWidth(1);
  c.Pen()->SetColor(color);
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

}  // namespace

// ---- panels -----------------------------------------------------------------------------------------

TZelStatusPanel::TZelStatusPanel(TZelStatusPanels* collection)
    : collection_(collection),
      bevel_(std::make_unique<TZelBevel>(bmStandard)),
      font_(std::make_unique<plat::TFont>()),
      font3D_(std::make_unique<TZel3DCaption>()) {
  bevel_->OnChange = [this](plat::TObject*) { Changed(false); };
  font_->OnChange = [this](plat::TObject*) { Changed(false); };
  font3D_->OnChange = [this](plat::TObject*) { Changed(false); };
}

TZelStatusPanel::~TZelStatusPanel() {
  bevel_->OnChange = nullptr;
  font_->OnChange = nullptr;
  font3D_->OnChange = nullptr;
  if (hosted_) {
    TZelStatusCustomPanel* h = hosted_;
    hosted_ = nullptr;
    h->Free();
  }
}

void TZelStatusPanel::Changed(bool all) {
  if (collection_) collection_->Update(all ? nullptr : this);
}

void TZelStatusPanel::SetAlignment(TZelAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Changed(false);
}

void TZelStatusPanel::SetStyle(TZelStatusPanelStyle v) {
  if (v == style_) return;
  const TZelStatusPanelStyle old = style_;
  style_ = v;
  if (collection_ && collection_->Bar()) collection_->Bar()->PanelStyleChanged(this, old);
  Changed(false);
}

void TZelStatusPanel::SetText(const std::string& v) {
  if (v == text_) return;
  text_ = v;
  Changed(false);
}

void TZelStatusPanel::SetSize(int v) {
  if (v == size_) return;
  size_ = v;
  Changed(true);
}

void TZelStatusPanel::SetLeft(int v) {
  if (v == left_) return;
  left_ = v;
  Changed(true);
}

int TZelStatusPanel::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TZelStatusPanel::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelStatusPanel*>(src);
  if (!s) {
    plat::TPersistent::Assign(src);
    return;
  }
  TZelStatusPanels* c = collection_;
  collection_ = nullptr;  // one notice for the lot
  bevel_->Assign(s->bevel_.get());
  size_ = s->size_;
  left_ = s->left_;
  if (s->style_ != style_) {
    const TZelStatusPanelStyle old = style_;
    style_ = s->style_;
    if (c && c->Bar()) c->Bar()->PanelStyleChanged(this, old);
  }
  text_ = s->text_;
  alignment_ = s->alignment_;
  font_->Assign(s->font_.get());
  font3D_->Assign(s->font3D_.get());
  collection_ = c;
  Changed(true);
}

TZelStatusPanels::~TZelStatusPanels() { Clear(); }

TZelStatusPanel* TZelStatusPanels::Add() {
  items_.push_back(std::make_unique<TZelStatusPanel>(this));
  Update(nullptr);
  return items_.back().get();
}

TZelStatusPanel* TZelStatusPanels::Items(int i) const {
  return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr;
}

int TZelStatusPanels::IndexOf(const TZelStatusPanel* p) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[size_t(i)].get() == p) return i;
  return -1;
}

void TZelStatusPanels::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  items_.erase(items_.begin() + i);
  Update(nullptr);
}

void TZelStatusPanels::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Update(nullptr);
}

void TZelStatusPanels::Assign(plat::TPersistent* src) {
  auto* s = dynamic_cast<TZelStatusPanels*>(src);
  if (!s) {
    plat::TPersistent::Assign(src);
    return;
  }
  if (s == this) return;
  items_.clear();
  for (int i = 0; i < s->Count(); ++i) {
    items_.push_back(std::make_unique<TZelStatusPanel>(this));
    items_.back()->Assign(s->Items(i));
  }
  Update(nullptr);
}

void TZelStatusPanels::Update(TZelStatusPanel* p) {
  if (bar_) bar_->PanelChanged(p);
}

// ---- bar --------------------------------------------------------------------------------------------

TZelStatusBar::TZelStatusBar(plat::TComponent* owner)
    : TZelCustomStatusBar(owner),
      font3D_(std::make_unique<TZel3DCaption>()),
      panels_(std::make_unique<TZelStatusPanels>(this)) {
  font3D_->OnChange = [this](plat::TObject*) { Invalidate(); };
  SetControlStyle(
      (ControlStyle() | plat::csCaptureMouse | plat::csClickEvents | plat::csOpaque | plat::csDoubleClicks) &
      ~uint32_t(plat::csAcceptsControls));
  SetColor(plat::clBtnFace);
  SetParentColor(false);
  SetBounds(Left(), Top(), Width(), 19);
  SetAlign(plat::alBottom);
}

TZelStatusBar::~TZelStatusBar() {
  font3D_->OnChange = nullptr;
  panels_.reset();
}

void TZelStatusBar::Relayout() {
  Realign();
  ComputeArea();
  PlaceHostedPanels();
  Invalidate();
}

void TZelStatusBar::SetAlignment(TZelAlignment v) {
  if (v == alignment_) return;
  alignment_ = v;
  Relayout();
}

void TZelStatusBar::SetSimpleText(const std::string& v) {
  if (v == simpleText_) return;
  simpleText_ = v;
  Invalidate();
}

void TZelStatusBar::SetSimplePanel(bool v) {
  if (v == simplePanel_) return;
  simplePanel_ = v;
  Relayout();
}

void TZelStatusBar::SetSizeGrip(bool v) {
  if (v == sizeGrip_) return;
  sizeGrip_ = v;
  Relayout();
}

void TZelStatusBar::SetOldStyle(bool v) {
  if (v == oldStyle_) return;
  oldStyle_ = v;
  Relayout();
}

void TZelStatusBar::SetAutoSizeLastPanel(bool v) {
  if (v == autoSizeLastPanel_) return;
  autoSizeLastPanel_ = v;
  Relayout();
}

void TZelStatusBar::SetControlGap(int v) {
  controlGap_ = v;
  for (int i = 0; i < ControlCount(); ++i) {
    plat::TControl* c = Controls(i);
    if (auto* l = dynamic_cast<TZelCustomLabel*>(c)) l->AdjustBounds();
    else if (auto* g = dynamic_cast<TZelCustomGlyphLabel*>(c)) g->AdjustBounds();
    else if (auto* n = dynamic_cast<TZelInformationLabel*>(c)) n->AdjustBounds();
  }
  Relayout();
}

void TZelStatusBar::SetPanels(TZelStatusPanels* v) {
  panels_->Assign(v);
  Invalidate();
}

void TZelStatusBar::AdjustClientRect(TRect& r) const {
  if (sizeGrip_) r.Right -= 12;
  TZelCustomStatusBar::AdjustClientRect(r);
}

void TZelStatusBar::ComputeArea() {
  TRect r = Bevel()->ClientRect(ClientRect());
  if (oldStyle_) {
    if (sizeGrip_) r.Right -= 13;
    plat::InflateRect(r, -1, -1);
  }
  panelArea_ = r;
}

TRect TZelStatusBar::PanelRect(int i, bool stretchLast) const {
  if (i < 0 || i >= panels_->Count()) return {};
  int x = panelArea_.Left;
  for (int j = 0; j < i; ++j) x += panels_->Items(j)->Left() + panels_->Items(j)->Size();
  const TZelStatusPanel* p = panels_->Items(i);
  x += p->Left();
  int right = x + p->Size();
  if (stretchLast && autoSizeLastPanel_ && i == panels_->Count() - 1 && right < panelArea_.Right)
    right = panelArea_.Right;
  return plat::Rect(x, panelArea_.Top, right, panelArea_.Bottom);
}

int TZelStatusBar::PanelAt(int x) const {
  int total = 0;
  for (int i = 0; i < panels_->Count(); ++i) {
    total += panels_->Items(i)->Size();
    if (total >= x) return i;
  }
  return -1;
}

void TZelStatusBar::DrawSizeGrip(TCanvas& c, const TRect& r) {
  const int R = r.Right, B = r.Bottom;
  c.Brush()->SetStyle(plat::bsSolid);
  c.Brush()->SetColor(Color());
  c.FillRect(plat::Rect(R - 13, B - 13, R, B));
  for (int k = 0; k < 3; ++k) {
    // The two-pixel stroke as two thin diagonals, so its pixels are exact.
    Line(c, R - 2, B - 12 + 4 * k, R - 12 + 4 * k, B - 2, plat::clBtnShadow);
    Line(c, R - 1, B - 12 + 4 * k, R - 11 + 4 * k, B - 2, plat::clBtnShadow);
    Line(c, R - 2, B - 13 + 4 * k, R - 14 + 4 * k, B - 1, plat::clWhite);
    Line(c, R - 1, B - 11 + 4 * k, R - 11 + 4 * k, B - 1, Color());
  }
  if (Bevel()->Extent() != 0) {
    Line(c, R - 1, B - 13, R - 1, B - 1, plat::clBtnFace);
    Line(c, R - 1, B - 1, R - 14, B - 1, plat::clBtnFace);
    c.SetPixel(R - 1, B - 1, plat::clBtnFace);
  }
}

void TZelStatusBar::DrawPanel(TCanvas& c, int i, const TRect& rect) {
  TZelStatusPanel* p = panels_->Items(i);
  if (!p) return;
  TRect r = rect;
  p->Bevel()->Draw(c, r, false);
  c.Font()->Assign(p->Font());
  switch (p->Style()) {
    case spText: {
      c.Brush()->SetStyle(plat::bsSolid);
      c.Brush()->SetColor(Color());
      c.FillRect(r);
      TRect t = r;
      Draw3DText(c, p->Text(), p->Font3D(), nullptr, Enabled() ? d3Enabled : 0u, PlacementFlags(p->Alignment()), t);
      break;
    }
    case spOwnerDraw:
      if (OnOwnerDrawPanel) OnOwnerDrawPanel(this, i, c, r);
      break;
    case spPanel: break;  // the hosted panel lies there
  }
}

void TZelStatusBar::PlaceHostedPanels() {
  if (oldStyle_ || simplePanel_) {
    for (int i = 0; i < panels_->Count(); ++i)
      if (TZelStatusCustomPanel* h = panels_->Items(i)->HostedPanel()) h->Hide();
    return;
  }
  for (int i = 0; i < panels_->Count(); ++i) {
    TZelStatusPanel* p = panels_->Items(i);
    if (!p->HostedPanel()) continue;
    TRect r = PanelRect(i, true);
    r = p->Bevel()->ClientRect(r);
    p->HostedPanel()->SetBoundsRect(r);
    p->HostedPanel()->Show();
  }
}

void TZelStatusBar::Paint() {
  if (IsLoading()) return;
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  Bevel()->Draw(c, r, Transparent());
  if (oldStyle_) {
    if (sizeGrip_) {
      DrawSizeGrip(c, r);
      r.Right -= 13;
    }
    plat::InflateRect(r, -1, -1);
  }
  panelArea_ = r;
  if (simplePanel_) {
    c.Font()->Assign(Font());
    TRect t = r;
    Draw3DText(c, simpleText_, font3D_.get(), nullptr, Enabled() ? d3Enabled : 0u, PlacementFlags(alignment_), t);
  } else if (!oldStyle_) {
    for (int i = 0; i < panels_->Count(); ++i) DrawPanel(c, i, PanelRect(i, true));
  }
  if (!oldStyle_ && sizeGrip_) {
    auto* form = dynamic_cast<plat::TCustomForm*>(Owner());
    if (form && form->WindowState() != plat::wsMaximized) DrawSizeGrip(c, ClientRect());
  }
}

void TZelStatusBar::PanelChanged(TZelStatusPanel* p) {
  if (IsDestroying() || !panels_) return;
  PlaceHostedPanels();
  if (oldStyle_) return;
  const int i = p ? panels_->IndexOf(p) : -1;
  if (i < 0 || i == panels_->Count() - 1) {
    Invalidate();
    return;
  }
  // Only this panel's part of the bar.
  const TRect r = PanelRect(i, false);
  InvalidateRect(r);
}

void TZelStatusBar::PanelStyleChanged(TZelStatusPanel* p, TZelStatusPanelStyle old) {
  if (IsLoading() || IsDestroying()) return;
  if (p->style_ == spPanel && !p->hosted_) {
    const int id = ControlCount() + 1;
    auto* h = new TZelStatusCustomPanel(Owner() ? Owner() : this);
    h->Hide();
    h->SetParent(this);
    h->SetPanelId(id);
    p->panelId_ = id;
    p->hosted_ = h;
    h->FreeNotification(this);
  } else if (old == spPanel && p->style_ != spPanel && p->hosted_) {
    TZelStatusCustomPanel* h = p->hosted_;
    p->hosted_ = nullptr;
    h->Free();
  }
}

void TZelStatusBar::Notification(plat::TComponent* c, plat::TOperation op) {
  TZelCustomStatusBar::Notification(c, op);
  if (op != plat::opRemove || !panels_) return;
  for (int i = 0; i < panels_->Count(); ++i) {
    TZelStatusPanel* p = panels_->Items(i);
    if (p->hosted_ == c) {
      p->hosted_ = nullptr;
      p->style_ = spText;
    }
  }
}

bool TZelStatusBar::OnSizeGrip(int x, int y) const {
  if (!sizeGrip_ || !Showing()) return false;
  const plat::TCustomForm* form = plat::GetParentForm(this);
  if (!form || form->FullScreen() || form->WindowState() != plat::wsNormal) return false;
  if (form->BorderStyle() != plat::bsSizeable && form->BorderStyle() != plat::bsSizeToolWin) return false;
  const TRect inner = Bevel()->ClientRect(ClientRect());
  return x >= inner.Right - 13 && x < Width() && y >= inner.Bottom - 13 && y < Height();
}

void TZelStatusBar::MouseDown(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelCustomStatusBar::MouseDown(b, s, x, y);
  if (b != plat::mbLeft || !OnSizeGrip(x, y)) return;
  plat::TCustomForm* form = plat::GetParentForm(this);
  gripDrag_ = true;
  gripStart_ = ClientToScreen({x, y});
  gripWidth_ = form->Width();
  gripHeight_ = form->Height();
}

void TZelStatusBar::MouseMove(plat::TShiftState s, int x, int y) {
  TZelCustomStatusBar::MouseMove(s, x, y);
  if (gripDrag_ && (s & plat::ssLeft)) {
    plat::TCustomForm* form = plat::GetParentForm(this);
    if (!form) return;
    const plat::TPoint now = ClientToScreen({x, y});
    form->SetBounds(form->Left(), form->Top(), std::max(0, gripWidth_ + now.X - gripStart_.X),
                    std::max(0, gripHeight_ + now.Y - gripStart_.Y));
    return;
  }
  gripDrag_ = false;
  // The diagonal cursor over the grip, the bar's own elsewhere.
  const bool over = OnSizeGrip(x, y);
  if (over == gripCursor_ || !HandleAllocated()) return;
  gripCursor_ = over;
  if (over) ShowCursorOver(plat::crSizeNWSE);
  else ShowOwnCursor();
}

void TZelStatusBar::MouseUp(plat::TMouseButton b, plat::TShiftState s, int x, int y) {
  TZelCustomStatusBar::MouseUp(b, s, x, y);
  if (b == plat::mbLeft && gripDrag_) {
    gripDrag_ = false;
    return;
  }
  if (b != plat::mbLeft || oldStyle_) return;
  const int i = PanelAt(x);
  if (i >= 0 && OnPanelClick) OnPanelClick(this, i);
}

void TZelStatusBar::Resize() {
  TZelCustomStatusBar::Resize();
  if (!panels_) return;
  ComputeArea();
  PlaceHostedPanels();
}
