#include "recorder/Unit18.h"

#include <cstdio>

#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "recorder/FolderDialogs.h"
#include "recorder/UserFormParts.h"
#include "recorder/ProgramColumns.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

using namespace plat;

namespace {

// A folder as the path field shows it: with its trailing separator, but an empty one stays
// empty (a program without a save folder has no lockout; "/" would be the root folder).
std::string FolderField(const std::string& folder) {
  return Trim(folder).empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
}

std::string SixDigits(int hhmmss) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", hhmmss < 0 ? 0 : hhmmss);
  return text;
}

}  // namespace

TProgramForm::TProgramForm(TComponent* owner, TUserDeck& deck, TProgramDialogMode mode, const std::string& caption)
    : TForm(owner), deck_(deck), mode_(mode) {
  const auto& w = ProgramColumnWidths;
  SetupDialog(this, caption, 520, 330);
  Place<TLabel>(this, 12, 10, 100, 13, "Name");
  Edit1 = Place<TEdit>(this, 12, 25, w[pfName], 21);
  Place<TLabel>(this, 176, 10, 230, 13, "Maximum Recording Length (HH:MM:SS)");
  MaskEdit1 = Place<TMaskEdit>(this, 176, 25, w[pfLength], 21);
  MaskEdit1->SetEditMask("!00:00:00;0;_");
  Place<TLabel>(this, 12, 52, 100, 13, "Description");
  Edit2 = Place<TEdit>(this, 12, 67, w[pfDescription], 21);

  auto* format = Place<TGroupBox>(this, 12, 96, 496, 74, "Format");
  ComboBox1 = Place<TComboBox>(format, 10, 18, w[pfFormat], 21);
  ComboBox1->SetStyle(csDropDownList);
  for (const char* text : FormatTexts) ComboBox1->Items()->Add(text);
  CheckBox1 = Place<TCheckBox>(format, 10, 46, 200, 17, "Use Standard Cart Format");

  auto* path = Place<TGroupBox>(this, 12, 176, 496, 56, "Save Path\\Folder");
  Edit3 = Place<TEdit>(path, 10, 20, w[pfSavePath], 21);
  Button3 = PlaceButton(path, 240, 18, "&Browse");
  Button4 = PlaceButton(path, 321, 18, "&UNC");

  auto* lockout = Place<TGroupBox>(this, 12, 238, 496, 50, "Safety Lockout");
  Place<TLabel>(lockout, 10, 22, 100, 13, "Lockout in Hours");
  ComboBox2 = Place<TComboBox>(lockout, 120, 18, w[pfLockout], 21);
  ComboBox2->SetStyle(csDropDownList);
  for (int h = 1; h <= 100; ++h) ComboBox2->Items()->Add(std::to_string(h));

  Button1 = PlaceButton(this, 352, 298, "&OK");
  Button1->SetDefault(true);
  Button2 = PlaceButton(this, 433, 298, "&Cancel", mrCancel);
  for (TWinControl* c :
       std::initializer_list<TWinControl*>{Edit1, MaskEdit1, Edit2, ComboBox1, CheckBox1, Edit3, ComboBox2})
    c->SetTabStop(true);

  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  CheckBox1->OnClick = [this](TObject* s) { CheckBox1Click(s); };
  Button3->OnClick = [this](TObject* s) { BrowseClick(s); };
  Button4->OnClick = [this](TObject* s) { UNCClick(s); };
}

void TProgramForm::Prepare(std::vector<std::string>* library, int selected) {
  library_ = library;
  selected_ = selected;
}

void TProgramForm::StandardCart(int& format, int& length) {
  format = DefaultStandardFormat;
  length = DefaultStandardLength;
  TIniFile ini(deck_.Users().programFolder + SettingsFileName);
  try {
    ReadStandardCart(ini, format, length);
  } catch (const EIniFileException&) {}
}

void TProgramForm::ShowSelectedProgram() {
  TProgramRow row;
  if (library_ && selected_ >= 0 && size_t(selected_) < library_->size())
    row = SplitProgramRecord((*library_)[size_t(selected_)]);
  Edit1->SetText(row[pfName]);
  Edit2->SetText(row[pfDescription]);
  Edit3->SetText(FolderField(row[pfSavePath]));
  int length = 0;
  MaskEdit1->SetText(LengthDigits(row[pfLength], length) ? SixDigits(length) : std::string());
  int format = -1;
  for (int i = 0; i < FormatCount; ++i)
    if (SameText(FormatTexts[size_t(i)], row[pfFormat])) format = i;
  int standardFormat, standardLength;
  StandardCart(standardFormat, standardLength);
  ComboBox1->SetItemIndex(format);
  CheckBox1->SetChecked(format >= 0 && format == standardFormat);
  ComboBox1->SetEnabled(!CheckBox1->Checked());
  ComboBox2->SetItemIndex(ComboBox2->Items()->IndexOf(Trim(row[pfLockout])));
  SetActiveControl(Edit1);
}

void TProgramForm::CheckBox1Click(TObject*) {
  if (CheckBox1->Checked()) {
    int format, length;
    StandardCart(format, length);
    ComboBox1->SetItemIndex(format);
  }
  ComboBox1->SetEnabled(!CheckBox1->Checked());
}

void TProgramForm::BrowseClick(TObject*) {
  std::string chosen;
  if (BrowseForFolder(Edit3->Text(), chosen)) Edit3->SetText(IncludeTrailingPathDelimiter(chosen));
}

void TProgramForm::UNCClick(TObject*) { Edit3->SetText(ExpandUNCFileName(Edit3->Text())); }

void TProgramForm::Button1Click(TObject*) {
  if (!library_) return;
  TProgramDialogInput in{Edit1->Text(),     Edit2->Text(), MaskEdit1->Text(),
                         ComboBox1->Text(), Edit3->Text(), ComboBox2->Text()};
  switch (ProgramDialogOk(mode_, in, *library_, selected_, deck_.Notifier(), deck_.Asker())) {
    case TProgramDialogField::None: SetModalResult(mrOk); break;
    case TProgramDialogField::Name: Edit1->SetFocus(); break;
    case TProgramDialogField::Description: Edit2->SetFocus(); break;
    case TProgramDialogField::Length: MaskEdit1->SetFocus(); break;
    case TProgramDialogField::SavePath: Edit3->SetFocus(); break;
  }
}

TForm18::TForm18(TComponent* owner, TUserDeck& deck)
    : TProgramForm(owner, deck, TProgramDialogMode::Add, "Add Programs") {
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TForm18::FormShow(TObject*) {
  int format, length;
  StandardCart(format, length);
  Edit1->Clear();
  Edit2->Clear();
  MaskEdit1->SetText(SixDigits(length));
  ComboBox1->SetItemIndex(format);
  CheckBox1->SetChecked(true);
  ComboBox1->SetEnabled(false);
  ComboBox2->SetItemIndex(ComboBox2->Items()->IndexOf("3"));
  Edit3->SetText(FolderField(deck_.Settings().savePath));
  SetActiveControl(Edit1);
}
