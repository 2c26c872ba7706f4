#include "recorder/Unit8.h"

#include "controls/FormResizer.h"
#include "recorder/BlankProgram.h"
#include "recorder/FormParts.h"
#include "recorder/UserFormParts.h"
#include "recorder/ProgramColumns.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm8::TForm8(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Load Blank Program", 620, 330);
  SetBorderStyle(bsSizeable);
  if (Application) SetIcon(Application->Icon());
  ListBox1 = Place<TListBox>(this, 8, 8, 604, 254);
  ShowAsProgramList(ListBox1, true);
  ListBox1->SetIntegralHeight(true);
  ListBox1->SetTabStop(true);
  ListBox1->SetHint(
      "Use Arrow Keys or Mouse to Select a Program. Then Press Enter, the Load Button or Double "
      "Click Your Selection to Load");
  ListBox1->SetShowHint(true);
  Label1 = Place<TLabel>(this, 8, 272, 120, 13, "1 of 250");
  Button1 = PlaceButton(this, 456, 268, "&Load ");
  Button2 = PlaceButton(this, 537, 268, "&Cancel", mrCancel);
  StatusBar1 = PlaceStatusBar(this);

  FormResizer1 = new TFormResizer(this);
  FormResizer1->SetResizeFonts(true);
  FormResizer1->SetMinFontSize(8);
  FormResizer1->SetMaxFontSize(14);
  FormResizer1->SetEnforceMinSize(true);
  FormResizer1->RecordLayout();

  OnShow = [this](TObject* s) { FormShow(s); };
  OnResize = [this](TObject*) { FormResizer1->ResizeControls(); };
  ListBox1->OnClick = [this](TObject* s) { ListBox1Click(s); };
  ListBox1->OnDblClick = [this](TObject*) { LoadSelected(); };
  ListBox1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { ListBox1KeyDown(s, k, sh); };
  Button1->OnClick = [this](TObject*) { LoadSelected(); };
}

void TForm8::FormShow(TObject*) {
  const std::string user = deck_.Users().currentUser;
  SetCaption("Load Blank Program  [User: " + user + " ]");
  StatusBar1->SetSimpleText("Loading Program List..." + user);
  ListBox1->Items()->Clear();
  lines_ = BlankProgramLines(deck_);
  ListBox1->Items()->BeginUpdate();
  for (const std::string& line : lines_) ListBox1->Items()->Add(line);
  ListBox1->Items()->EndUpdate();
  Label1->SetCaption(SelectionCounter(0));
  ListBox1->SetItemIndex(0);
  StatusBar1->SetSimpleText("User: " + user);
  SetActiveControl(ListBox1);
}

void TForm8::ListBox1Click(TObject*) { Label1->SetCaption(SelectionCounter(std::max(ListBox1->ItemIndex(), 0))); }

void TForm8::ListBox1KeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key == VK_RETURN) {
    Key = 0;
    LoadSelected();
  }
}

void TForm8::LoadSelected() {
  if (LoadBlankProgram(deck_, lines_, ListBox1->ItemIndex())) SetModalResult(mrOk);
}
