#pragma once
// The connectors' pacing timer on the GUI: a precise Qt timer on the UI thread, which feeds in step
// with the frames of the installed frame clock (platform/ui/frames.h).
#include "engine/MMConect.h"

// The process's precise feed timer, made on first use; call on the UI thread once the
// application object exists.
TMMFeedTimer* PreciseFeedTimer();
// Installs it as the timer every connector is paced by.
void UsePreciseFeedTimer();
