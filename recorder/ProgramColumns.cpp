#include "recorder/ProgramColumns.h"

#include "platform/ui/colors.h"
#include "recorder/WinUtils.h"

int ProgramListExtent() {
  int sum = 0;
  for (int w : ProgramColumnWidths) sum += w;
  return sum + 100;
}

void DrawProgramLine(plat::TCanvas& canvas, const plat::TRect& rect, const std::string& record, bool selected) {
  const TProgramRow fields = SplitProgramRecord(record);
  int left = rect.Left;
  for (int i = 0; i < ProgramFieldCount; ++i) {
    plat::TRect cell{left, rect.Top, left + ProgramColumnWidths[size_t(i)], rect.Bottom};
    left = cell.Right;
    canvas.Brush()->SetStyle(plat::bsSolid);
    canvas.Brush()->SetColor(selected     ? plat::clHighlight
                             : i % 2 == 0 ? plat::clWhite
                                          : plat::TColor(plat::RGB(223, 223, 223)));
    canvas.Font()->SetColor(selected ? plat::clHighlightText : plat::clWindowText);
    canvas.FillRect(cell);
    plat::TRect text = cell;
    text.Left += 2;
    canvas.Brush()->SetStyle(plat::bsClear);
    canvas.DrawText(fields[size_t(i)], text,
                    plat::DT_SINGLELINE | plat::DT_VCENTER | plat::DT_LEFT | plat::DT_NOPREFIX);
  }
  if (left < rect.Right) {
    canvas.Brush()->SetStyle(plat::bsSolid);
    canvas.Brush()->SetColor(selected ? plat::clHighlight : plat::clWhite);
    canvas.FillRect({left, rect.Top, rect.Right, rect.Bottom});
  }
}

void ShowAsProgramList(plat::TCustomListBox* list, bool variableHeight) {
  list->SetStyle(variableHeight ? plat::lbOwnerDrawVariable : plat::lbOwnerDrawFixed);
  list->SetItemHeight(ProgramLineHeight);
  list->OnMeasureItem = [](plat::TWinControl*, int, int& height) { height = ProgramLineHeight; };
  list->OnDrawItem = [list](plat::TWinControl*, int index, plat::TRect r, plat::TOwnerDrawState s) {
    DrawProgramLine(*list->Canvas(), r, list->Items()->Get(index), (s & plat::odSelected) != 0);
  };
  SetListBoxExtent(list, ProgramListExtent());
}
