#pragma once
// The user dialogs of the manager: add (TForm15), edit (TForm16) and copy (TForm17) a user.
// They share one layout: full name, user name, password and its confirmation.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/Users.h"

class TUserDeck;

class TUserForm : public plat::TForm {
public:
  plat::TEdit* Edit1;      // "Full Name"
  plat::TEdit* Edit2;      // "User Name"
  plat::TEdit* Edit3;      // "Password"
  plat::TEdit* Edit4;      // "Confirm Password"
  plat::TButton* Button1;  // "&OK"
  plat::TButton* Button2;  // "&Cancel"

  // The manager's users and the user selected there, before the dialog is shown.
  void Prepare(const std::vector<std::string>& listedUsers, const std::string& selectedUser);
  void Button1Click(plat::TObject* Sender);

protected:
  TUserForm(plat::TComponent* owner, TUserDeck& deck, TUserDialogMode mode, const std::string& caption);
  std::string UserFile() const;
  void ClearFields();
  TUserDeck& deck_;
  TUserDialogMode mode_;
  std::vector<std::string> listed_;
  std::string selected_;
  std::optional<std::pair<std::string, std::string>> shownKeys_;  // see TUserDialogInput
};

class TForm15 : public TUserForm {
public:
  TForm15(plat::TComponent* owner, TUserDeck& deck);
  void FormShow(plat::TObject* Sender);
  std::string ClassName() const override { return "TForm15"; }
};
