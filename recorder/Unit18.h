#pragma once
// The program dialogs of the manager: add (TForm18), copy (TForm19) and edit (TForm20) a
// program of the library. They share one layout; the six-column program lists take their column
// widths from its entry fields.
#include <string>
#include <vector>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/Users.h"

class TUserDeck;

class TProgramForm : public plat::TForm {
public:
  plat::TEdit* Edit1;          // "Name"
  plat::TEdit* Edit2;          // "Description"
  plat::TMaskEdit* MaskEdit1;  // "Maximum Recording Length (HH:MM:SS)"
  plat::TComboBox* ComboBox1;  // the 36 formats
  plat::TCheckBox* CheckBox1;  // "Use Standard Cart Format"
  plat::TEdit* Edit3;          // save path
  plat::TButton* Button3;      // "&Browse"
  plat::TButton* Button4;      // "&UNC"
  plat::TComboBox* ComboBox2;  // "Lockout in Hours", "1" .. "100"
  plat::TButton* Button1;      // "&OK"
  plat::TButton* Button2;      // "&Cancel"

  // The library the dialog adds to or edits, and its selected line, before the dialog is shown.
  void Prepare(std::vector<std::string>* library, int selected);
  void Button1Click(plat::TObject* Sender);
  void CheckBox1Click(plat::TObject* Sender);
  void BrowseClick(plat::TObject* Sender);
  void UNCClick(plat::TObject* Sender);

protected:
  TProgramForm(plat::TComponent* owner, TUserDeck& deck, TProgramDialogMode mode, const std::string& caption);
  void StandardCart(int& format, int& length);
  void ShowSelectedProgram();  // TForm19 and TForm20
  TUserDeck& deck_;
  TProgramDialogMode mode_;
  std::vector<std::string>* library_ = nullptr;
  int selected_ = -1;
};

class TForm18 : public TProgramForm {
public:
  TForm18(plat::TComponent* owner, TUserDeck& deck);
  void FormShow(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm18"; }
};
