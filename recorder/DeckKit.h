#pragma once
// The controls the deck is built from. Each name stands for the kit's or the displays' control of
// that role; where one is not available yet, the framework's plain control takes its place, so
// changing a line here is all it takes to swap it.
#include "controls/zelbtns.h"
#include "controls/zellabel.h"
#include "displays/MMLevel_qt.h"
#include "displays/MMMeter_qt.h"
#include "displays/MMSlider_qt.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

using TDeckButton = TZelButton;            // transport buttons, with auto-repeat for wind
using TDeckSpeedButton = TZelSpeedButton;  // small flat buttons
using TDeckLabel = TZelSimpleLabel;        // time and name displays
using TDeckPanel = plat::TPanel;
using TDeckStatus = plat::TPanel;          // the status line under the transport
using TDeckGauge = plat::TGauge;
using TDeckSlider = TMMSlider;             // play position, milliseconds
using TDeckLevel = TMMLevel;
using TDeckLevelScale = TMMLevelScale;
using TDeckMeter = TMMMeter;
