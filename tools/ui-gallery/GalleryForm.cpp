#include "tools/ui-gallery/GalleryForm.h"

#include <QCoreApplication>
#include <QWidget>

#include "engine/MMObjUI.h"
#include "engine/MMUtilsUI.h"
#include "platform/ui/native_qt.h"

using namespace plat;

namespace {
const int kColumnWidths[6] = {90, 58, 100, 150, 90, 30};
}

TGalleryForm::TGalleryForm(TComponent* owner) : TForm(owner) {
  SetCaption("Control gallery");
  SetBorderStyle(bsSingle);
  SetClientWidth(820);
  SetClientHeight(580);
  auto keep = [this](auto* c) {
    All.push_back(c);
    return c;
  };

  MainMenu = new TMainMenu(this);
  for (const char* top : {"&File", "&Edit", "&Help"}) {
    auto* item = new TMenuItem(this);
    item->SetCaption(top);
    MainMenu->Items()->Add(item);
    auto* sub = new TMenuItem(this);
    sub->SetCaption(std::string(top) == "&File" ? "E&xit" : "&About");
    sub->SetShortCut(TextToShortCut(std::string(top) == "&File" ? "Alt+F4" : "F1"));
    item->Add(sub);
  }
  SetMenu(MainMenu);

  NameLabel = keep(new TLabel(this));
  NameLabel->SetParent(this);
  NameLabel->SetBounds(12, 12, 0, 0);
  NameLabel->SetCaption("&Name:");
  NameEdit = keep(new TEdit(this));
  NameEdit->SetParent(this);
  NameEdit->SetBounds(80, 8, 160, 21);
  NameEdit->SetText("Morning Show");
  NameLabel->SetFocusControl(NameEdit);

  TimeLabel = keep(new TLabel(this));
  TimeLabel->SetParent(this);
  TimeLabel->SetBounds(12, 40, 0, 0);
  TimeLabel->SetCaption("&Length:");
  TimeEdit = keep(new TMaskEdit(this));
  TimeEdit->SetParent(this);
  TimeEdit->SetBounds(80, 36, 80, 21);
  TimeEdit->SetEditMask("!90:00:00;1;_");
  TimeEdit->SetText("01:30:00");
  TimeLabel->SetFocusControl(TimeEdit);

  WarnCheck = keep(new TCheckBox(this));
  WarnCheck->SetParent(this);
  WarnCheck->SetBounds(12, 66, 228, 17);
  WarnCheck->SetCaption("Enable &warning before the end");
  WarnCheck->SetChecked(true);

  OkButton = keep(new TButton(this));
  OkButton->SetParent(this);
  OkButton->SetBounds(12, 92, 75, 25);
  OkButton->SetCaption("&OK");
  OkButton->SetDefault(true);
  OkButton->SetModalResult(mrOk);
  CancelButton = keep(new TButton(this));
  CancelButton->SetParent(this);
  CancelButton->SetBounds(96, 92, 100, 25);
  CancelButton->SetCaption("&Cancel - Esc");
  CancelButton->SetCancel(true);
  CancelButton->SetModalResult(mrCancel);

  SpeedGroup = keep(new TRadioGroup(this));
  SpeedGroup->SetParent(this);
  SpeedGroup->SetBounds(12, 126, 228, 96);
  SpeedGroup->SetCaption("L\\R Arrows Sensitivity");
  SpeedGroup->SetColumns(2);
  for (const char* s : {".001 Seconds", ".01 Seconds", ".1 Seconds", "1 Second", "10 Seconds", "100 Seconds"})
    SpeedGroup->Items()->Add(s);
  SpeedGroup->SetItemIndex(3);

  SaveGroup = keep(new TGroupBox(this));
  SaveGroup->SetParent(this);
  SaveGroup->SetBounds(12, 228, 228, 64);
  SaveGroup->SetCaption("&Save");
  CopyRadio = keep(new TRadioButton(this));
  CopyRadio->SetParent(SaveGroup);
  CopyRadio->SetBounds(10, 18, 200, 17);
  CopyRadio->SetCaption("Co&py the recording");
  CopyRadio->SetChecked(true);
  MoveRadio = keep(new TRadioButton(this));
  MoveRadio->SetParent(SaveGroup);
  MoveRadio->SetBounds(10, 38, 200, 17);
  MoveRadio->SetCaption("&Move the recording");

  FormatCombo = keep(new TComboBox(this));
  FormatCombo->SetParent(this);
  FormatCombo->SetBounds(12, 300, 228, 21);
  FormatCombo->SetStyle(csDropDownList);
  for (const char* s : {"32.000 kHz, 16 bit, Mono, 62 kb/sec", "44.100 kHz, 16 bit, Stereo, 172 kb/sec",
                        "48.000 kHz, 16 bit, Stereo, 125 kb/sec"})
    FormatCombo->Items()->Add(s);
  FormatCombo->SetItemIndex(1);

  UserList = keep(new TListBox(this));
  UserList->SetParent(this);
  UserList->SetBounds(12, 330, 228, 80);
  UserList->SetSorted(true);
  for (const char* s : {"Default", "morning", "Evening", "news"}) UserList->Items()->Add(s);
  UserList->SetItemIndex(1);

  NotesMemo = keep(new TMemo(this));
  NotesMemo->SetParent(this);
  NotesMemo->SetBounds(12, 418, 228, 60);
  NotesMemo->SetText("First line of notes\r\nSecond line");

  ProgramList = keep(new TListBox(this));
  ProgramList->SetParent(this);
  ProgramList->SetBounds(252, 8, 556, 92);
  ProgramList->SetStyle(lbOwnerDrawFixed);
  ProgramList->SetItemHeight(16);
  ProgramList->OnDrawItem = [this](TWinControl* c, int i, TRect r, TOwnerDrawState s) { DrawProgramLine(c, i, r, s); };
  ProgramList->Items()->Add("140101|01:00:00|QuickCart|32.000 kHz, 16 bit, Mono, 62 kb/sec|/srv/carts/|0");
  ProgramList->Items()->Add("Morning|00:30:00|Breakfast show|44.100 kHz, 16 bit, Stereo, 172 kb/sec|/srv/am/|3");
  ProgramList->Items()->Add("News|00:05:00|Top of the hour|22.050 kHz, 16 bit, Mono, 43 kb/sec|/srv/news/|1");
  ProgramList->SetItemIndex(1);
  int extent = 100;
  for (int w : kColumnWidths) extent += w;
  ProgramList->SetScrollWidth(extent);

  Pages = keep(new TPageControl(this));
  Pages->SetParent(this);
  Pages->SetBounds(252, 108, 270, 110);
  UsersSheet = keep(new TTabSheet(this));
  UsersSheet->SetPageControl(Pages);
  UsersSheet->SetCaption("&Users");
  ProgramsSheet = keep(new TTabSheet(this));
  ProgramsSheet->SetPageControl(Pages);
  ProgramsSheet->SetCaption("&Programs");
  SheetLabel = keep(new TLabel(this));
  SheetLabel->SetParent(UsersSheet);
  SheetLabel->SetBounds(8, 8, 240, 40);
  SheetLabel->SetAutoSize(false);
  SheetLabel->SetWordWrap(true);
  SheetLabel->SetCaption("Users are kept one file each in the users folder.");
  Pages->SetActivePage(UsersSheet);

  BarGauge = keep(new TGauge(this));
  BarGauge->SetParent(this);
  BarGauge->SetBounds(532, 112, 193, 18);
  BarGauge->SetForeColor(clTeal);
  BarGauge->SetProgress(60);
  PieGauge = keep(new TGauge(this));
  PieGauge->SetParent(this);
  PieGauge->SetBounds(740, 108, 64, 64);
  PieGauge->SetKind(gkPie);
  PieGauge->SetForeColor(clNavy);
  PieGauge->SetProgress(35);

  StatusPanel = keep(new TPanel(this));
  StatusPanel->SetParent(this);
  StatusPanel->SetBounds(532, 140, 193, 32);
  StatusPanel->SetCaption("Audio File Status Area");
  StatusPanel->SetBevelInner(bvLowered);

  Divider = keep(new TBevel(this));
  Divider->SetParent(this);
  Divider->SetBounds(532, 184, 276, 2);
  Divider->SetShape(bsTopLine);

  Canvas = keep(new TPaintBox(this));
  Canvas->SetParent(this);
  Canvas->SetBounds(252, 226, 556, 344);
  Canvas->OnPaint = [this](TObject*) { PaintCanvas(); };
}

void TGalleryForm::DrawProgramLine(TWinControl*, int index, TRect r, TOwnerDrawState state) {
  TCanvas& c = *ProgramList->Canvas();
  std::string line = ProgramList->Items()->Get(index);
  int x = r.Left;
  for (int col = 0; col < 6; ++col) {
    size_t bar = line.find('|');
    std::string field = line.substr(0, bar);
    line = bar == std::string::npos ? std::string() : line.substr(bar + 1);
    TRect cell = Rect(x, r.Top, x + kColumnWidths[col], r.Bottom);
    c.Brush()->SetColor((state & odSelected) ? clHighlight : (col % 2 ? TColor(RGB(223, 223, 223)) : clWhite));
    c.FillRect(cell);
    c.Font()->SetColor((state & odSelected) ? clHighlightText : clWindowText);
    TRect text = cell;
    text.Left += 2;
    c.DrawText(field, text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    x += kColumnWidths[col];
  }
}

void TGalleryForm::PaintCanvas() {
  TCanvas& c = *Canvas->Canvas();
  const int w = Canvas->Width(), h = Canvas->Height();
  c.Brush()->SetColor(clWhite);
  c.Brush()->SetStyle(bsSolid);
  c.FillRect(Rect(0, 0, w, h));
  c.Font()->SetName("Arial");
  c.Font()->SetHeight(-11);
  c.Font()->SetColor(clBlack);

  // Rectangles: a pen and a brush, a hollow brush, no pen (one pixel smaller), a wide pen.
  c.Pen()->SetColor(clBlack);
  c.Brush()->SetColor(clYellow);
  c.Rectangle(8, 8, 48, 38);
  c.Brush()->SetStyle(bsClear);
  c.Rectangle(56, 8, 96, 38);
  c.Brush()->SetColor(clRed);
  c.Pen()->SetStyle(psClear);
  c.Rectangle(104, 8, 144, 38);
  c.Pen()->SetStyle(psSolid);
  c.Pen()->SetWidth(3);
  c.Pen()->SetColor(clNavy);
  c.Brush()->SetColor(clAqua);
  c.Rectangle(152, 8, 192, 38);
  c.Pen()->SetWidth(1);

  // Shapes.
  c.Pen()->SetColor(clBlack);
  c.Brush()->SetColor(clLime);
  c.Ellipse(200, 8, 240, 38);
  c.Brush()->SetColor(clFuchsia);
  c.RoundRect(248, 8, 288, 38, 12, 12);
  c.Brush()->SetColor(clSkyBlue);
  c.Pie(296, 8, 336, 48, 336, 28, 316, 8);
  c.Brush()->SetColor(clMoneyGreen);
  c.Polygon({{352, 38}, {372, 8}, {392, 38}});
  c.Brush()->SetStyle(bsDiagCross);
  c.Brush()->SetColor(clBlue);
  c.Rectangle(400, 8, 440, 38);
  c.Brush()->SetStyle(bsSolid);

  // Pen styles and the XOR pen, drawn twice over the middle line to take it away again.
  const TPenStyle styles[] = {psSolid, psDash, psDot, psDashDot, psDashDotDot};
  c.Brush()->SetColor(clWhite);
  for (int i = 0; i < 5; ++i) {
    c.Pen()->SetStyle(styles[i]);
    c.MoveTo(452, 10 + i * 6);
    c.LineTo(548, 10 + i * 6);
  }
  c.Pen()->SetStyle(psSolid);

  // Edges.
  const uint32_t edges[] = {EDGE_RAISED, EDGE_SUNKEN, EDGE_ETCHED, EDGE_BUMP, BDR_RAISEDINNER, BDR_SUNKENOUTER};
  c.Brush()->SetColor(clBtnFace);
  c.FillRect(Rect(8, 48, 288, 84));
  for (int i = 0; i < 6; ++i) {
    TRect r = Rect(14 + i * 45, 54, 52 + i * 45, 78);
    c.DrawEdge(r, edges[i], BF_RECT);
  }
  TRect focus = Rect(296, 56, 380, 76);
  c.Brush()->SetColor(clWhite);
  c.FrameRect(focus);
  c.DrawFocusRect(Rect(300, 60, 376, 72));

  // Text: word break with an ellipsis on the last line that fits, a path cut in the middle, an
  // accelerator, and text turned a quarter.
  c.Brush()->SetColor(clSilver);
  TRect frame = Rect(8, 92, 188, 126);
  c.FrameRect(frame);
  InflateRect(frame, -2, -1);
  c.Brush()->SetStyle(bsClear);
  c.DrawText("A long description of the program that will not fit in two short lines of this box, so its end is cut",
             frame, DT_WORDBREAK | DT_END_ELLIPSIS | DT_EDITCONTROL);
  TRect path = Rect(196, 92, 380, 108);
  c.DrawText("/srv/carts/morning/2024/the longest cart name.wav", path, DT_SINGLELINE | DT_PATH_ELLIPSIS);
  TRect accel = Rect(196, 110, 380, 126);
  c.DrawText("&Record\tF5", accel, DT_SINGLELINE | DT_EXPANDTABS);
  DrawRotatedText(c, 394, 180, 2, -13, "Arial", "Turned text");
  c.Brush()->SetStyle(bsSolid);

  // The engine's fills: bands from navy to white, one solid rectangle.
  FillGradientBands(c, clNavy, clWhite, Rect(8, 134, 380, 158), 16);
  FillSolidRect(c, clOlive, Rect(8, 162, 60, 186));

  // A clip region: text and lines only inside an ellipse.
  TRegion clip = TRegion::FromEllipse(Rect(70, 162, 230, 226));
  c.SelectClipRgn(&clip);
  c.Brush()->SetColor(clTeal);
  c.FillRect(Rect(70, 162, 230, 226));
  c.Font()->SetColor(clWhite);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(78, 186, "Clipped to an ellipse");
  c.SelectClipRgn(nullptr);
  c.Brush()->SetStyle(bsSolid);

  // Raster operations: XOR pen, inverted rectangle, a transparent picture.
  c.Pen()->SetMode(pmXor);
  c.Pen()->SetColor(clWhite);
  c.Brush()->SetStyle(bsClear);
  c.Rectangle(240, 166, 300, 222);
  c.Pen()->SetMode(pmCopy);
  c.Brush()->SetStyle(bsSolid);
  c.InvertRect(Rect(250, 176, 290, 212));
  TBitmap glyph(24, 24);
  glyph.Canvas()->Brush()->SetColor(clFuchsia);
  glyph.Canvas()->FillRect(Rect(0, 0, 24, 24));
  glyph.Canvas()->Brush()->SetColor(clRed);
  glyph.Canvas()->Pen()->SetColor(clMaroon);
  glyph.Canvas()->Ellipse(2, 2, 22, 22);
  c.Brush()->SetColor(clYellow);
  c.FillRect(Rect(310, 166, 370, 222));
  DrawTransparentBitmap(c, 328, 182, glyph);

  // Every system colour of the classic table.
  for (int i = 0; i <= COLOR_ENDCOLORS; ++i) {
    c.Brush()->SetColor(SysColor(i));
    c.FillRect(Bounds(8 + (i % 16) * 22, 236 + (i / 16) * 22, 20, 20));
  }
  c.Font()->SetColor(clBlack);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(8, 284, "The system colours, clScrollBar to clMenuBar");
  c.Brush()->SetStyle(bsSolid);
}

QImage RenderClient(TCustomForm* form) {
  QWidget* client = plat::ClientWidgetOf(form);
  QImage img(client->size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  client->render(&img);
  return img;
}

QImage RenderGallery(TGalleryForm* form) {
  form->Show();
  QCoreApplication::processEvents();
  QWidget* window = plat::WidgetOf(form);
  QImage img(window->size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  window->render(&img);
  return img;
}
