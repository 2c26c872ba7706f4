#pragma once
// A form that holds one of each standard control and a paint box with the canvas primitives, for
// a reviewer to look at and for the tests that check what each control paints.
#include <QImage>
#include <vector>

#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

class TGalleryForm : public plat::TForm {
public:
  explicit TGalleryForm(plat::TComponent* owner);

  plat::TMainMenu* MainMenu;
  plat::TLabel* NameLabel;
  plat::TEdit* NameEdit;
  plat::TLabel* TimeLabel;
  plat::TMaskEdit* TimeEdit;
  plat::TButton* OkButton;
  plat::TButton* CancelButton;
  plat::TCheckBox* WarnCheck;
  plat::TRadioGroup* SpeedGroup;
  plat::TGroupBox* SaveGroup;
  plat::TRadioButton* CopyRadio;
  plat::TRadioButton* MoveRadio;
  plat::TComboBox* FormatCombo;
  plat::TListBox* UserList;
  plat::TListBox* ProgramList;
  plat::TMemo* NotesMemo;
  plat::TPageControl* Pages;
  plat::TTabSheet* UsersSheet;
  plat::TTabSheet* ProgramsSheet;
  plat::TLabel* SheetLabel;
  plat::TGauge* BarGauge;
  plat::TGauge* PieGauge;
  plat::TPanel* StatusPanel;
  plat::TBevel* Divider;
  plat::TPaintBox* Canvas;

  // Every control above, in the order they were made.
  std::vector<plat::TControl*> All;

private:
  void PaintCanvas();
  void DrawProgramLine(plat::TWinControl* control, int index, plat::TRect r, plat::TOwnerDrawState state);
};

// Shows the form (offscreen when the platform says so) and returns the picture of its window:
// the menu and the client area.
QImage RenderGallery(TGalleryForm* form);
// The picture of a window's client area as it stands.
QImage RenderClient(plat::TCustomForm* form);
