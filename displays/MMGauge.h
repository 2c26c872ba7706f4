#pragma once
// The gauge's arithmetic: the whole percent of a progress in its range, the lengths and points it
// draws, and its text. Qt-free; the control is in MMGauge_ui.h. Ranges may be cart lengths in
// milliseconds, so differences and products are taken in 64 bits.
#include <cstdint>
#include <string>

#include "displays/MMMeter.h"

enum TMMGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

// Trunc((progress - min) x 100 / (max - min)), 0 for an empty range. Outside 0..100 when the range
// was narrowed after progress was set.
int GaugePercent(int32_t progress, int32_t minValue, int32_t maxValue);
// Trunc(length x pct / 100).
int GaugeLength(int length, int pct);
// The second radial of a pie slice of pct % from the top centre, clockwise, in a w x h box.
TMMPoint GaugePiePoint(int w, int h, int pct);
// The tip of the needle of a half-dial in a w x h box (0 % left, 50 % up, 100 % right).
TMMPoint GaugeNeedlePoint(int w, int h, int pct);
// "<caption> <pct>%", or "<pct>%" without a caption.
std::string GaugeText(const std::string& caption, int pct);
