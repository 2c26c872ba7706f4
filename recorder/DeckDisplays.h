#pragma once
// The deck's displays, made, set up and placed as the deck shows them: two level bars with their
// dB strip in one black panel, two needle meters in another of the same size in the same place,
// the position slider below them, and the punch-in panel's gauge. The deck, the render tool, the
// display tests and the benchmark all build them here.
#include "displays/MMGauge_ui.h"
#include "displays/MMLevel_ui.h"
#include "displays/MMMeter_ui.h"
#include "displays/MMSlider_ui.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"

void SetUpDeckLevel(TMMLevel& level, TMMChannel channel);
void SetUpDeckLevelScale(TMMLevelScale& scale);
void SetUpDeckMeter(TMMMeter& meter, TMMChannel channel);
void SetUpDeckSlider(TMMSlider& slider);
void SetUpDeckGauge(TMMGauge& gauge);

// The panel that holds the level bars or the needle meters (both are this size).
constexpr int kDeckMeterPanelWidth = 415, kDeckMeterPanelHeight = 117;
// Left of the bars and of the left meter; the channel letters go in the room before it.
constexpr int kDeckDisplaysLeft = 30;
// Left of the right meter.
constexpr int kDeckRightMeterLeft = kDeckDisplaysLeft + 177 + 8;

struct TDeckLevels {
  TMMLevel* left = nullptr;
  TMMLevelScale* scale = nullptr;
  TMMLevel* right = nullptr;
};
struct TDeckMeters {
  TMMMeter* left = nullptr;
  TMMMeter* right = nullptr;
};

plat::TPanel* MakeDeckMeterPanel(plat::TComponent* owner, plat::TWinControl* parent, int left, int top);
// The left bar, the strip under it and the right bar, one above the other in panel.
TDeckLevels PlaceDeckLevels(plat::TComponent* owner, plat::TWinControl* panel);
// The two meters side by side in panel.
TDeckMeters PlaceDeckMeters(plat::TComponent* owner, plat::TWinControl* panel);
TMMSlider* PlaceDeckSlider(plat::TComponent* owner, plat::TWinControl* parent, int left, int top);
TMMGauge* PlaceDeckGauge(plat::TComponent* owner, plat::TWinControl* parent, int left, int top);

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

// A form holding all of them, the two meter panels one above the other; the form is owned by
// owner (or by the caller with no owner).
TDeckDisplays MakeDeckDisplays(plat::TComponent* owner);
