#pragma once
// The controls the deck is built from. Each name stands for the kit's or the displays' control of
// that role, so changing a line here is all it takes to swap one.
#include "controls/zelbtns.h"
#include "controls/zellabel.h"
#include "controls/zelpanel.h"
#include "controls/zelstatus.h"
#include "displays/MMGauge_ui.h"
#include "displays/MMLevel_ui.h"
#include "displays/MMMeter_ui.h"
#include "displays/MMSlider_ui.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

using TDeckButton = TZelButton;            // transport buttons, with auto-repeat for wind
using TDeckSpeedButton = TZelSpeedButton;  // small flat buttons
using TDeckLabel = TZelSimpleLabel;        // time and name displays
using TDeckPanel = plat::TPanel;           // the display window, the meters, the transport
using TDeckGroup = TZelPanel;              // a bevelled group shown over the transport
using TDeckStatusBar = TZelStatusBar;      // the line at the bottom of a window
using TDeckGauge = TMMGauge;               // progress: punch-in time used, loading, copying
using TDeckSlider = TMMSlider;             // play position, milliseconds
using TDeckLevel = TMMLevel;
using TDeckLevelScale = TMMLevelScale;
using TDeckMeter = TMMMeter;
