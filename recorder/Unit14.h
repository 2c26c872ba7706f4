#pragma once
// The user and program manager: its "&Users" page adds, edits, copies and removes users and
// assigns programs to them; its "&Programs" page keeps the program library, the program list of
// the user "Default".
#include <functional>
#include <string>
#include <vector>

#include "controls/zelbtns.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "recorder/Users.h"

class TUserDeck;
class TForm15;
class TForm16;
class TForm17;
class TForm18;
class TForm19;
class TForm20;
class TForm21;

class TForm14 : public plat::TForm {
public:
  TForm14(plat::TComponent* owner, TUserDeck& deck);
  plat::TPageControl* PageControl1;
  plat::TTabSheet* TabSheet1;  // "&Users"
  plat::TTabSheet* TabSheet2;  // "&Programs"
  plat::TListBox* ListBox1;    // users
  plat::TListBox* ListBox2;    // the library
  plat::TButton *AddUser, *EditUser, *CopyUser, *RemoveUserButton, *AssignPrograms, *CloseUsers;
  plat::TButton *AddProgram, *EditProgram, *CopyProgram, *RemoveProgram, *ClosePrograms;
  TZelSpeedButton* SortButton;  // sorts by name; its arrow part opens SortMenu
  plat::TPopupMenu* SortMenu;   // "By Name" .. "By Lockout"
  TForm15* Form15;
  TForm16* Form16;
  TForm17* Form17;
  TForm18* Form18;
  TForm19* Form19;
  TForm20* Form20;
  TForm21* Form21;

  void FormShow(plat::TObject* Sender);
  void FormClose(plat::TObject* Sender, plat::TCloseAction& Action);
  void RemoveUserClick(plat::TObject* Sender);
  void RemoveProgramClick(plat::TObject* Sender);
  void SortLibrary(TProgramField key);
  bool SaveLibrary();
  const std::vector<std::string>& Library() const { return library_; }
  bool Modified() const { return modified_; }
  std::string ClassName() const override { return "TForm14"; }

private:
  void LoadUsers(bool report = false);  // report: name the user files left out
  std::string LibraryFile() const;
  // The library from read; one that cannot be read is told, shown empty and never saved.
  void ReadLibrary(const std::function<std::vector<std::string>()>& read);
  void ShowLibrary(int select);
  std::vector<std::string> ListedUsers() const;
  // "Save Changes?": false when the changes were to be saved and could not be.
  bool AskToSave();
  void UserDialog(class TUserForm* form, bool needsSelection);
  void ProgramDialog(class TProgramForm* form, bool edit);

  TUserDeck& deck_;
  std::vector<std::string> library_;
  std::vector<std::string> read_;  // the library as its file held it: what this deck changed is the rest
  bool modified_ = false;
  bool libraryRead_ = false;  // the library shown is what its file held
  plat::TTabSheet* lastPage_ = nullptr;
};
