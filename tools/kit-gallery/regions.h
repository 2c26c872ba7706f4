#pragma once
namespace plat {
class TCanvas;
}
// Draws the region shapes from y down; returns where the next section starts.
int RegionShapes(plat::TCanvas& c, int y);
// Draws image controls on a form and its picture from y down.
int ImageControls(plat::TCanvas& c, int y);
