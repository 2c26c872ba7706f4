#pragma once
// "Send Information": the e-mail destination (an address-book entry or an address) and its
// folder, handed to the e-mail program.
#include "controls/zelstatus.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm2 : public plat::TForm {
public:
  TForm2(plat::TComponent* owner, TUserDeck& deck);
  plat::TGroupBox* GroupBox1;  // "Send To:"
  plat::TComboBox* ComboBox1;  // destination
  plat::TComboBox* ComboBox2;  // destination folder
  plat::TButton* Button1;      // "&Send"
  plat::TButton* Button2;      // "&Cancel"
  TZelStatusBar* StatusBar1;
  void FormCreate(plat::TObject* Sender);
  void ComboBox1Select(plat::TObject* Sender);
  void ComboBox1Exit(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm2"; }

private:
  void ShowFolders(int entry);
  TUserDeck& deck_;
};

// The Send button: checks the program and the file, writes the mail file, shows the dialog.
void SendByEmail(TUserDeck& deck, TForm2& dialog);
