#include "recorder/DeckDisplays.h"

using namespace plat;

namespace {
void LoweredInnerAndOuter(TMMBevel& b) {
  b.SetBevelOuter(bvLowered);
  b.SetBevelOuterWidth(1);
  b.SetBevelInner(bvLowered);
  b.SetBevelInnerWidth(1);
}

template <class T>
T* PlaceOn(TComponent* owner, TWinControl* parent, int left, int top) {
  T* c = new T(owner);
  c->SetParent(parent);
  c->SetLeft(left);
  c->SetTop(top);
  return c;
}
}  // namespace

void SetUpDeckLevel(TMMLevel& level, TMMChannel channel) {
  level.SetChannel(channel);
  level.SetBounds(level.Left(), level.Top(), 377, 41);
  level.SetKind(lkHorizontal);
  level.SetBar2Color(clYellow);
  level.SetInactive2Color(clOlive);
  level.SetActiveDoted(true);
  LoweredInnerAndOuter(*level.Bevel());
}

void SetUpDeckLevelScale(TMMLevelScale& scale) {
  scale.SetBounds(scale.Left(), scale.Top(), 377, 23);
  scale.Font()->SetName("Arial");
  scale.Font()->SetHeight(-12);
  scale.SetScale1Color(clAqua);
  scale.SetScale2Color(clYellow);
  scale.Scale()->SetTickCount(11);
  scale.Scale()->SetEnlargeEvery(5);
  scale.Scale()->SetSize(7);
  scale.Scale()->SetOrigin(soInner);
  scale.Scale()->SetConnect(false);
}

void SetUpDeckMeter(TMMMeter& meter, TMMChannel channel) {
  meter.SetChannel(channel);
  meter.SetBounds(meter.Left(), meter.Top(), 177, 97);
  LoweredInnerAndOuter(*meter.Bevel());
  meter.SetCaption("dB");
  meter.Font()->SetName("MS Sans Serif");
  meter.Font()->SetHeight(-12);
  meter.Font()->SetStyle(fsBold);
  meter.Font()->SetColor(clSilver);
}

void SetUpDeckSlider(TMMSlider& slider) {
  slider.SetBounds(slider.Left(), slider.Top(), 377, 41);
  slider.SetCursor(crHandPoint);
  slider.SetThumbCursor(crHandPoint);
  slider.Bevel()->SetBevelOuter(bvLowered);
  slider.Bevel()->SetBorderWidth(5);
  slider.Groove()->SetBevelOuter(bvLowered);
  slider.SetFocusColor(clNavy);
  slider.SetDisabledColor(clInactiveCaption);
  slider.SetMaxValue(100);
  slider.SetScaleDistance(5);
  TMMScale* s = slider.Scale();
  s->SetVisible(true);
  s->SetColor(clBlack);
  s->SetStyle(stColor);
  s->SetTickCount(101);
  s->SetEnlargeEvery(10);
  s->SetSize(7);
  s->SetOrigin(soOuter);
  s->SetConnect(true);
}

void SetUpDeckGauge(TMMGauge& gauge) {
  gauge.SetBounds(gauge.Left(), gauge.Top(), 193, 18);
  gauge.SetShowText(false);
  gauge.SetForeColor(clBtnFace);
  gauge.SetBackColor(clTeal);
  gauge.SetCaption("Punch In Time Used");
  gauge.Bevel()->SetBevelOuter(bvLowered);
}

TPanel* MakeDeckMeterPanel(TComponent* owner, TWinControl* parent, int left, int top) {
  auto* p = new TPanel(owner);
  p->SetParent(parent);
  p->SetBounds(left, top, kDeckMeterPanelWidth, kDeckMeterPanelHeight);
  p->SetBevelOuter(bvLowered);
  p->SetParentColor(false);
  p->SetColor(clBlack);
  return p;
}

TDeckLevels PlaceDeckLevels(TComponent* owner, TWinControl* panel) {
  TDeckLevels l;
  l.left = PlaceOn<TMMLevel>(owner, panel, kDeckDisplaysLeft, 6);
  SetUpDeckLevel(*l.left, chLeft);
  l.scale = PlaceOn<TMMLevelScale>(owner, panel, kDeckDisplaysLeft, l.left->Top() + l.left->Height());
  SetUpDeckLevelScale(*l.scale);
  l.right = PlaceOn<TMMLevel>(owner, panel, kDeckDisplaysLeft, l.scale->Top() + l.scale->Height());
  SetUpDeckLevel(*l.right, chRight);
  return l;
}

TDeckMeters PlaceDeckMeters(TComponent* owner, TWinControl* panel) {
  TDeckMeters m;
  m.left = PlaceOn<TMMMeter>(owner, panel, kDeckDisplaysLeft, 10);
  SetUpDeckMeter(*m.left, chLeft);
  m.right = PlaceOn<TMMMeter>(owner, panel, kDeckRightMeterLeft, 10);
  SetUpDeckMeter(*m.right, chRight);
  return m;
}

TMMSlider* PlaceDeckSlider(TComponent* owner, TWinControl* parent, int left, int top) {
  auto* s = PlaceOn<TMMSlider>(owner, parent, left, top);
  SetUpDeckSlider(*s);
  return s;
}

TMMGauge* PlaceDeckGauge(TComponent* owner, TWinControl* parent, int left, int top) {
  auto* g = PlaceOn<TMMGauge>(owner, parent, left, top);
  SetUpDeckGauge(*g);
  return g;
}

TDeckDisplays MakeDeckDisplays(TComponent* owner) {
  TDeckDisplays d;
  d.form = NewForm<TForm>(owner);
  d.form->SetCaption("Deck displays");
  d.form->SetColor(clBtnFace);
  const int gap = 8;
  TPanel* levels = MakeDeckMeterPanel(d.form, d.form, gap, gap);
  TPanel* meters = MakeDeckMeterPanel(d.form, d.form, gap, levels->Top() + levels->Height() + gap);
  const TDeckLevels l = PlaceDeckLevels(d.form, levels);
  const TDeckMeters m = PlaceDeckMeters(d.form, meters);
  d.level1 = l.left;
  d.scale = l.scale;
  d.level2 = l.right;
  d.meter1 = m.left;
  d.meter2 = m.right;
  d.slider = PlaceDeckSlider(d.form, d.form, gap + kDeckDisplaysLeft, meters->Top() + meters->Height() + gap);
  d.gauge = PlaceDeckGauge(d.form, d.form, gap, d.slider->Top() + d.slider->Height() + gap);
  d.form->SetClientWidth(kDeckMeterPanelWidth + 2 * gap);
  d.form->SetClientHeight(d.gauge->Top() + d.gauge->Height() + gap);
  return d;
}
