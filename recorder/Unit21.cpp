#include "recorder/Unit21.h"

#include "recorder/FormParts.h"
#include "recorder/UserFormParts.h"
#include "recorder/ProgramColumns.h"
#include "recorder/UserDeck.h"

using namespace plat;

TForm21::TForm21(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "Assign\\Unassign Programs", 720, 470);
  Place<TLabel>(this, 8, 10, 60, 13, "User:");
  ComboBox1 = Place<TComboBox>(this, 60, 6, 240, 21);
  ComboBox1->SetStyle(csDropDownList);
  ComboBox1->SetSorted(true);
  ComboBox1->SetTabStop(true);
  Place<TLabel>(this, 8, 36, 300, 13, "Assigned Programs");
  ListBox1 = Place<TListBox>(this, 8, 52, 704, 160);
  Place<TLabel>(this, 8, 246, 300, 13, "Available Programs");
  ListBox2 = Place<TListBox>(this, 8, 262, 704, 150);
  for (TListBox* l : {ListBox1, ListBox2}) {
    ShowAsProgramList(l, false);
    l->SetSorted(true);
    l->SetMultiSelect(true);
    l->SetTabStop(true);
  }
  ListBox2->SetDragMode(dmAutomatic);
  Button1 = PlaceButton(this, 8, 218, "&Assign");
  Button2 = PlaceButton(this, 89, 218, "&Unassign");
  Button3 = PlaceButton(this, 556, 419, "&Save");
  Button4 = PlaceButton(this, 637, 419, "&Close");
  StatusBar1 = PlaceStatusBar(this);
  Timer1 = new TTimer(this);
  Timer1->SetEnabled(false);
  Timer1->SetInterval(350);

  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
  ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
  Button1->OnClick = [this](TObject* s) { AssignClick(s); };
  Button2->OnClick = [this](TObject* s) { UnassignClick(s); };
  Button3->OnClick = [this](TObject* s) { SaveClick(s); };
  Button4->OnClick = [this](TObject*) { Close(); };
  ListBox2->OnKeyDown = [this](TObject* s, uint16_t& key, TShiftState shift) {
    if (key == VK_LEFT && shift == 0) {
      key = 0;
      AssignClick(s);
    }
  };
  ListBox1->OnKeyDown = [this](TObject* s, uint16_t& key, TShiftState shift) {
    if (key == VK_DELETE && shift == 0) {
      key = 0;
      UnassignClick(s);
    }
  };
  ListBox1->OnDragOver = [this](TObject*, TObject* source, int, int, TDragState, bool& accept) {
    accept = source == ListBox2;
    if (accept) modified_ = true;
  };
  ListBox1->OnDragDrop = [this](TObject* s, TObject* source, int, int) {
    if (source == ListBox2) AssignClick(s);
  };
}

void TForm21::FormShow(TObject*) {
  modified_ = false;
  SetActiveControl(ComboBox1);
  Timer1->SetEnabled(true);
}

void TForm21::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  ComboBox1->Items()->Clear();
  ListBox1->Items()->Clear();
  ListBox2->Items()->Clear();
  user_.clear();
  // What the files hold that cannot be taken was named when the manager showed.
  std::vector<std::string> leftOut;
  std::vector<std::string> users = ManagerUserList(deck_.Users().UsersFolder(), &leftOut);
  for (size_t i = 1; i < users.size(); ++i) ComboBox1->Items()->Add(users[i]);
  TRefusedPrograms refused;
  std::vector<std::string> library;
  try {
    library = LoadLibrary(deck_, &refused);
  } catch (const EIniReadError& e) {
    deck_.Notify(TNoticeKind::Error, e.Message());
  }
  ListBox2->Items()->BeginUpdate();
  for (const std::string& r : library) ListBox2->Items()->Add(r);
  ListBox2->Items()->EndUpdate();
  // The assigned list always shows the user the choice shows, so a save never writes another
  // user's list over the one chosen.
  if (ComboBox1->Items()->Count() > 0) {
    ComboBox1->SetItemIndex(0);
    LoadUser(ComboBox1->Text());
  }
}

void TForm21::LoadUser(const std::string& user) {
  StatusBar1->SetSimpleText("Loading User's List");
  const std::string path = UserFilePath(deck_.Users().UsersFolder(), user);
  TRefusedPrograms refused;
  std::vector<std::string> records;
  userRead_ = true;
  try {
    records = ReadProgramRecords(path, &refused);
  } catch (const EIniReadError& e) {
    // Shown empty, but never saved: that would replace the programs the file holds.
    userRead_ = false;
    deck_.Notify(TNoticeKind::Error, e.Message());
  }
  ShowAssigned(records);
  user_ = user;
  modified_ = false;
  StatusBar1->SetSimpleText("User: " + user);
  if (!refused.empty()) deck_.Notify(TNoticeKind::Warning, RefusedProgramsMessage(path, refused));
}

void TForm21::ShowAssigned(const std::vector<std::string>& records) {
  read_ = records;
  ListBox1->Items()->BeginUpdate();
  ListBox1->Items()->Clear();
  for (const std::string& r : records) ListBox1->Items()->Add(r);
  ListBox1->Items()->EndUpdate();
}

void TForm21::ComboBox1Change(TObject*) {
  const std::string chosen = ComboBox1->Text();
  if (chosen == user_) return;
  if (modified_ && !user_.empty() &&
      deck_.Ask(TQuestionKind::Warning, "You have made changes to " + user_ + ". Do you want to save them?", true) ==
          TAnswer::Yes) {
    ComboBox1->SetItemIndex(ComboBox1->Items()->IndexOf(user_));
    SaveClick(nullptr);
    return;
  }
  LoadUser(chosen);
}

void TForm21::AssignClick(TObject*) {
  TStrings* available = ListBox2->Items();
  std::vector<std::string> chosen;
  for (int i = 0; i < available->Count(); ++i)
    if (ListBox2->Selected(i)) {
      chosen.push_back(available->Get(i));
      ListBox2->SetSelected(i, false);
    }
  if (chosen.empty()) return;
  for (const std::string& r : chosen) ListBox1->Items()->Add(r);
  modified_ = true;
}

void TForm21::UnassignClick(TObject*) {
  bool removed = false;
  for (int i = ListBox1->Items()->Count() - 1; i >= 0; --i)
    if (ListBox1->Selected(i)) {
      ListBox1->Items()->Delete(i);
      removed = true;
    }
  if (removed) modified_ = true;
}

void TForm21::SaveClick(TObject*) {
  if (user_.empty()) return;
  std::vector<std::string> records;
  for (int i = 0; i < ListBox1->Items()->Count(); ++i) records.push_back(ListBox1->Items()->Get(i));
  if (HasDuplicateRecords(records) &&
      deck_.Ask(TQuestionKind::Warning,
                "You have duplicates in your assigned programs list. Do you \r\nwant to save "
                "these anyway?",
                true) != TAnswer::Yes)
    return;
  const std::string path = UserFilePath(deck_.Users().UsersFolder(), user_);
  if (!userRead_) {
    deck_.Notify(TNoticeKind::Error, UnreadListText(path));
    return;
  }
  StatusBar1->SetSimpleText("Saving User's List");
  std::vector<std::string> saved;
  try {
    // What this deck changed goes into the list as the file holds it now, which must still be
    // there: a user removed meanwhile is not made again.
    const TListSave result = SaveProgramList(path, read_, records, false, saved);
    if (result != TListSave::Saved) StatusBar1->SetSimpleText("User: " + user_);
    if (result == TListSave::Busy) {
      deck_.Notify(TNoticeKind::Error, ListBusyText(path));
      return;
    }
    if (result == TListSave::Full) {
      deck_.Notify(TNoticeKind::Error, "A user's list holds at most 250 programs. Unassign " +
                                           std::to_string(saved.size() - ProgramRows) + " of them and save again.");
      return;
    }
  } catch (const EIniFileGone&) {
    StatusBar1->SetSimpleText("User: " + user_);
    deck_.Notify(TNoticeKind::Error, UserGoneText(user_));
    return;
  } catch (const Exception& e) {
    deck_.Notify(TNoticeKind::Error, e.Message());
    return;
  }
  ShowAssigned(saved);
  modified_ = false;
  StatusBar1->SetSimpleText("User: " + user_);
}

void TForm21::FormCloseQuery(TObject*, bool& CanClose) {
  // Yes keeps the dialog open so that the changes can be saved with "&Save".
  CanClose = !modified_ || deck_.Ask(TQuestionKind::Warning, "You have made changes. Do you want to save them?",
                                     true) != TAnswer::Yes;
}
