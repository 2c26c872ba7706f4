#pragma once
// "Assign\Unassign Programs": copies programs of the library into a user's own list.
#include <string>
#include <vector>

#include "controls/zelstatus.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

class TUserDeck;

class TForm21 : public plat::TForm {
public:
  TForm21(plat::TComponent* owner, TUserDeck& deck);
  plat::TComboBox* ComboBox1;  // the users other than "Default"
  plat::TListBox* ListBox1;    // the chosen user's programs
  plat::TListBox* ListBox2;    // the library
  plat::TButton* Button1;      // "&Assign"
  plat::TButton* Button2;      // "&Unassign"
  plat::TButton* Button3;      // "&Save"
  plat::TButton* Button4;      // "&Close"
  TZelStatusBar* StatusBar1;   // one simple panel
  plat::TTimer* Timer1;        // loads the lists once the dialog shows

  void FormShow(plat::TObject* Sender);
  void Timer1Timer(plat::TObject* Sender);
  void ComboBox1Change(plat::TObject* Sender);
  void AssignClick(plat::TObject* Sender);
  void UnassignClick(plat::TObject* Sender);
  void SaveClick(plat::TObject* Sender);
  void FormCloseQuery(plat::TObject* Sender, bool& CanClose);
  bool Modified() const { return modified_; }
  const std::string& ChosenUser() const { return user_; }
  std::string ClassName() const override { return "TForm21"; }

private:
  void LoadUser(const std::string& user);
  void ShowAssigned(const std::vector<std::string>& records);  // as the user's file holds them
  TUserDeck& deck_;
  bool modified_ = false;
  std::string user_;  // whose programs the assigned list holds
  bool userRead_ = false;  // the assigned list is what the user's file held
  std::vector<std::string> read_;  // the user's programs as read: what this deck changed is the rest
};
