#pragma once
// Program records drawn in six columns, one per field, each as wide as the matching entry field
// of the program dialogs: the lists of the blank-program dialog, the manager and the assignment
// dialog draw alike.
#include <array>
#include <string>

#include "platform/ui/stdctrls.h"
#include "recorder/Users.h"

// In field order: name, length, description, format, save folder, lockout.
constexpr std::array<int, ProgramFieldCount> ProgramColumnWidths = {150, 70, 220, 240, 220, 60};
constexpr int ProgramLineHeight = 18;
// The sum of the six widths and 100 pixels: how far the lists scroll sideways.
int ProgramListExtent();

// Draws one record: selected lines in the highlight colour, otherwise white and light grey
// columns in turn; each text on one line, centred in height, cut at its column's edge.
void DrawProgramLine(plat::TCanvas& canvas, const plat::TRect& rect, const std::string& record, bool selected);

// Makes a list box draw its lines as program records.
void ShowAsProgramList(plat::TCustomListBox* list, bool variableHeight);
