#include "displays/MMScale_ui.h"

#include <algorithm>

using namespace plat;

void TMMCustomScale::Changed() {
  if (OnChange) OnChange(this);
}

void TMMCustomScale::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void TMMCustomScale::SetColor(TColor c) {
  if (c == look_.color && c == look_.zone2 && c == look_.zone3) return;
  look_.color = look_.zone2 = look_.zone3 = c;
  Changed();
}

void TMMCustomScale::SetStyle(TMMScaleStyle s) {
  if (s == look_.style) return;
  look_.style = s;
  Changed();
}

void TMMCustomScale::SetTickCount(int v) {
  v = std::max(v, 2);
  if (v == look_.tickCount) return;
  look_.tickCount = v;
  Changed();
}

void TMMCustomScale::SetEnlargeEvery(int v) {
  v = std::max(v, 1);
  if (v == look_.enlargeEvery) return;
  look_.enlargeEvery = v;
  Changed();
}

void TMMCustomScale::SetSize(int v) {
  v = std::max(v, 1);
  if (v == look_.size) return;
  look_.size = v;
  Changed();
}

void TMMCustomScale::SetOrigin(TMMScaleOrigin o) {
  if (o == look_.origin) return;
  look_.origin = o;
  Changed();
}

void TMMCustomScale::SetConnect(bool v) {
  if (v == look_.connect) return;
  look_.connect = v;
  Changed();
}

void TMMCustomScale::SetZones(TColor base, TColor zone2, TColor zone3, int b1, int b2) {
  look_.color = base;
  look_.zone2 = zone2;
  look_.zone3 = zone3;
  look_.b1 = b1;
  look_.b2 = b2;
}

void TMMCustomScale::DrawScale(const TRect& r, bool firstSide) {
  if (!canvas_) throw EMMScaleError("Canvas needed for this operation");
  DrawScaleLines(*canvas_, ScaleRowLines(look_, {r.Left, r.Top, r.Right, r.Bottom}, firstSide));
}

void TMMCustomScale::Assign(TPersistent* src) {
  auto* s = dynamic_cast<TMMCustomScale*>(src);
  if (!s) {
    TPersistent::Assign(src);
    return;
  }
  if (s == this) return;
  visible_ = s->visible_;
  // The zones too: without them the ticks keep the colours of the scale assigned over.
  look_ = s->look_;
  Changed();
}

void DrawScaleLines(TCanvas& c, const std::vector<TMMScaleLine>& lines) {
  TPen* pen = c.Pen();
  const TColor oldColor = pen->Color();
  const int oldWidth = pen->Width();
  const TPenStyle oldStyle = pen->Style();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  for (const TMMScaleLine& l : lines) {
    pen->SetColor(l.color);
    // LineTo leaves out its last pixel: go one further along the line.
    const int dx = l.x2 > l.x1 ? 1 : l.x2 < l.x1 ? -1 : 0, dy = l.y2 > l.y1 ? 1 : l.y2 < l.y1 ? -1 : 0;
    if (dx == 0 && dy == 0) {
      c.SetPixel(l.x1, l.y1, l.color);
      continue;
    }
    c.MoveTo(l.x1, l.y1);
    if (dx != 0 && dy != 0) c.LineTo(l.x2, l.y2), c.SetPixel(l.x2, l.y2, l.color);
    else c.LineTo(l.x2 + dx, l.y2 + dy);
  }
  pen->SetColor(oldColor);
  pen->SetWidth(oldWidth);
  pen->SetStyle(oldStyle);
}
