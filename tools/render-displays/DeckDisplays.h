#pragma once
// The displays of the deck, set up and placed on a form as the deck's main window sets them up: two
// level bars with their dB strip, two needle meters, the position slider and the punch-in gauge.
// The render tool draws them; tests and the benchmark use the same set-up.
#include "displays/MMGauge_qt.h"
#include "displays/MMLevel_qt.h"
#include "displays/MMMeter_qt.h"
#include "displays/MMSlider_qt.h"
#include "platform/ui/forms.h"

struct TDeckDisplays {
  plat::TForm* form = nullptr;
  TMMLevel* level1 = nullptr;
  TMMLevel* level2 = nullptr;
  TMMLevelScale* scale = nullptr;
  TMMMeter* meter1 = nullptr;
  TMMMeter* meter2 = nullptr;
  TMMSlider* slider = nullptr;
  TMMGauge* gauge = nullptr;
};

void SetUpDeckLevel(TMMLevel& level, TMMChannel channel);
void SetUpDeckLevelScale(TMMLevelScale& scale);
void SetUpDeckMeter(TMMMeter& meter, TMMChannel channel);
void SetUpDeckSlider(TMMSlider& slider);
void SetUpDeckGauge(TMMGauge& gauge);

// A form holding all of them; the form is owned by owner (or by the caller with no owner).
TDeckDisplays MakeDeckDisplays(plat::TComponent* owner);
// The form drawn as the screen would show it.
QImage RenderDeckDisplays(const TDeckDisplays& d);
