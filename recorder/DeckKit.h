#pragma once
// The controls the deck is built from. Each name stands for the kit's or the displays' control of
// that role; where one is not available yet, the framework's plain control (or a small stand-in
// of our own) takes its place, so changing a line here is all it takes to swap it.
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"

class TDeckSlider;
class TDeckLevel;
class TDeckMeter;
class TDeckLevelScale;

using TDeckButton = plat::TButton;        // transport buttons, with auto-repeat for wind
using TDeckSpeedButton = plat::TButton;   // small flat buttons
using TDeckLabel = plat::TLabel;          // time and name displays
using TDeckPanel = plat::TPanel;
using TDeckStatus = plat::TPanel;         // the status line under the transport
using TDeckGauge = plat::TGauge;
