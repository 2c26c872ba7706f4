#pragma once
#include <string>

namespace plat {
class TCanvas;
}
// A line of black Arial text with a clear background; height as the font takes it.
void Label(plat::TCanvas& c, int x, int y, const std::string& text, int height = -11, bool bold = false);
// Draws the region shapes from y down; returns where the next section starts.
int RegionShapes(plat::TCanvas& c, int y);
// Draws image controls on a form and its picture from y down.
int ImageControls(plat::TCanvas& c, int y);
