#pragma once
// "Web/FTP": one destination of the Web/FTP list for the Web/FTP program.
#include "controls/zelstatus.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm6 : public plat::TForm {
public:
  TForm6(plat::TComponent* owner, TUserDeck& deck);
  plat::TComboBox* ComboBox1;
  plat::TButton* Button1;  // "&Send"
  plat::TButton* Button2;  // "&Cancel"
  TZelStatusBar* StatusBar1;
  void FormCreate(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm6"; }

private:
  TUserDeck& deck_;
};

// The Web/FTP button: checks the program and the file, asks for the destination, then writes
// the order files and starts the program.
void SendToWeb(TUserDeck& deck, TForm6& dialog);
