#include "tools/render-displays/DeckDisplays.h"

#include <QCoreApplication>
#include <QWidget>

using namespace plat;

namespace {
void LoweredInnerAndOuter(TMMBevel& b) {
  b.SetBevelOuter(bvLowered);
  b.SetBevelOuterWidth(1);
  b.SetBevelInner(bvLowered);
  b.SetBevelInnerWidth(1);
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

TDeckDisplays MakeDeckDisplays(TComponent* owner) {
  TDeckDisplays d;
  d.form = NewForm<TForm>(owner);
  d.form->SetCaption("Deck displays");
  d.form->SetColor(clBtnFace);
  d.form->SetClientWidth(393);
  d.form->SetClientHeight(305);
  auto place = [&](TControl* c, int x, int y) {
    c->SetParent(d.form);
    c->SetLeft(x);
    c->SetTop(y);
  };
  d.level1 = new TMMLevel(d.form);
  SetUpDeckLevel(*d.level1, chLeft);
  place(d.level1, 8, 8);
  d.scale = new TMMLevelScale(d.form);
  SetUpDeckLevelScale(*d.scale);
  place(d.scale, 8, 49);
  d.level2 = new TMMLevel(d.form);
  SetUpDeckLevel(*d.level2, chRight);
  place(d.level2, 8, 72);
  d.meter1 = new TMMMeter(d.form);
  SetUpDeckMeter(*d.meter1, chLeft);
  place(d.meter1, 8, 121);
  d.meter2 = new TMMMeter(d.form);
  SetUpDeckMeter(*d.meter2, chRight);
  place(d.meter2, 208, 121);
  d.slider = new TMMSlider(d.form);
  SetUpDeckSlider(*d.slider);
  place(d.slider, 8, 226);
  d.gauge = new TMMGauge(d.form);
  SetUpDeckGauge(*d.gauge);
  place(d.gauge, 8, 279);
  return d;
}

QImage RenderDeckDisplays(const TDeckDisplays& d) {
  d.form->Show();
  QCoreApplication::processEvents();
  QWidget* window = d.form->Widget();
  QImage img(window->size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  window->render(&img);
  return img;
}
