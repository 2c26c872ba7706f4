#include "recorder/Unit14.h"

#include <algorithm>

#include "recorder/UserFormParts.h"
#include "recorder/ProgramColumns.h"
#include "recorder/Unit15.h"
#include "recorder/Unit16.h"
#include "recorder/Unit17.h"
#include "recorder/Unit18.h"
#include "recorder/Unit19.h"
#include "recorder/Unit20.h"
#include "recorder/Unit21.h"
#include "recorder/UserDeck.h"

using namespace plat;

namespace {
template <class T>
T* MakeForm(TComponent* owner, TUserDeck& deck) {
  T* f = new T(owner, deck);
  f->DoCreate();
  return f;
}
}  // namespace

TForm14::TForm14(TComponent* owner, TUserDeck& deck) : TForm(owner), deck_(deck) {
  SetupDialog(this, "User and Program Manager", 700, 420);
  PageControl1 = Place<TPageControl>(this, 8, 8, 684, 404);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetPageControl(PageControl1);
  TabSheet1->SetCaption("&Users");
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetPageControl(PageControl1);
  TabSheet2->SetCaption("&Programs");

  ListBox1 = Place<TListBox>(TabSheet1, 8, 8, 300, 340);
  ListBox1->SetTabStop(true);
  const int bx = 320, bw = 190;
  AddUser = PlaceButton(TabSheet1, bx, 8, "&Add User", mrNone, bw);
  EditUser = PlaceButton(TabSheet1, bx, 40, "&Edit User", mrNone, bw);
  CopyUser = PlaceButton(TabSheet1, bx, 72, "C&opy User", mrNone, bw);
  RemoveUserButton = PlaceButton(TabSheet1, bx, 104, "&Remove User", mrNone, bw);
  AssignPrograms = PlaceButton(TabSheet1, bx, 136, "A&ssign/Unassign Programs", mrNone, bw);
  CloseUsers = PlaceButton(TabSheet1, bx, 323, "&Close", mrOk, bw);

  ListBox2 = Place<TListBox>(TabSheet2, 8, 8, 664, 300);
  ShowAsProgramList(ListBox2, false);
  ListBox2->SetTabStop(true);
  AddProgram = PlaceButton(TabSheet2, 8, 318, "&Add Program", mrNone, 100);
  EditProgram = PlaceButton(TabSheet2, 114, 318, "&Edit Program", mrNone, 100);
  CopyProgram = PlaceButton(TabSheet2, 220, 318, "C&opy Program", mrNone, 100);
  RemoveProgram = PlaceButton(TabSheet2, 326, 318, "&Remove Program", mrNone, 110);
  SortButton = Place<TZelSpeedButton>(TabSheet2, 442, 318, 66, 25, "&Sort");
  ClosePrograms = PlaceButton(TabSheet2, 572, 318, "&Close", mrNone, 100);

  SortMenu = new TPopupMenu(this);
  const char* keys[] = {"By Name", "By Time", "By Description", "By Format", "By Save Location", "By Lockout"};
  for (int k = 0; k < ProgramFieldCount; ++k) {
    auto* item = new TMenuItem(this);
    item->SetCaption(keys[k]);
    if (k == pfName) item->SetDefault(true);
    if (k == pfLockout) item->SetShortCut(ShortCut(VK_F6, ssShift));
    item->OnClick = [this, k](TObject*) { SortLibrary(TProgramField(k)); };
    SortMenu->Items()->Add(item);
  }
  SortButton->SetDropDownMenu(SortMenu);
  SortButton->SetDropDownCombo(true);  // widens it by the arrow part
  SortButton->ButtonLayout()->SetArrowPosition(apLeftText);
  SortButton->SetHideHint(false);
  SetKeyPreview(true);

  Form15 = MakeForm<TForm15>(this, deck);
  Form16 = MakeForm<TForm16>(this, deck);
  Form17 = MakeForm<TForm17>(this, deck);
  Form18 = MakeForm<TForm18>(this, deck);
  Form19 = MakeForm<TForm19>(this, deck);
  Form20 = MakeForm<TForm20>(this, deck);
  Form21 = MakeForm<TForm21>(this, deck);

  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnKeyDown = [this](TObject*, uint16_t& key, TShiftState shift) {
    if (key == VK_F6 && shift == ssShift && PageControl1->ActivePage() == TabSheet2) {
      key = 0;
      SortLibrary(pfLockout);
    }
  };
  // Told after any change of page (a click, a key or the program), so every way off the
  // programs page asks about unsaved changes.
  PageControl1->OnChange = [this](TObject*) {
    TTabSheet* now = PageControl1->ActivePage();
    if (lastPage_ == TabSheet2 && now != TabSheet2 && modified_) AskToSave();
    lastPage_ = now;
    if (now == TabSheet2 && ListBox2->Items()->Count() > 0) ListBox2->SetItemIndex(0);
  };

  AddUser->OnClick = [this](TObject*) { UserDialog(Form15, false); };
  EditUser->OnClick = [this](TObject*) { UserDialog(Form16, true); };
  ListBox1->OnDblClick = [this](TObject*) { UserDialog(Form16, true); };
  CopyUser->OnClick = [this](TObject*) { UserDialog(Form17, true); };
  RemoveUserButton->OnClick = [this](TObject* s) { RemoveUserClick(s); };
  ListBox1->OnKeyDown = [this](TObject* s, uint16_t& key, TShiftState shift) {
    if (key == VK_DELETE && shift == 0) RemoveUserClick(s);
  };
  AssignPrograms->OnClick = [this](TObject*) { Form21->ShowModal(); };

  AddProgram->OnClick = [this](TObject*) { ProgramDialog(Form18, false); };
  EditProgram->OnClick = [this](TObject*) { ProgramDialog(Form20, true); };
  ListBox2->OnDblClick = [this](TObject*) { ProgramDialog(Form20, true); };
  CopyProgram->OnClick = [this](TObject*) { ProgramDialog(Form19, false); };
  RemoveProgram->OnClick = [this](TObject* s) { RemoveProgramClick(s); };
  ListBox2->OnKeyDown = [this](TObject* s, uint16_t& key, TShiftState shift) {
    if (key == VK_DELETE && shift == 0) RemoveProgramClick(s);
  };
  SortButton->OnClick = [this](TObject*) { SortLibrary(pfName); };
  ClosePrograms->OnClick = [this](TObject*) {
    if (SaveLibrary()) SetModalResult(mrOk);
  };
}

void TForm14::FormShow(TObject*) {
  ReadLibrary([&] { return LoadLibrary(deck_); });
  ShowLibrary(0);
  LoadUsers(true);
  modified_ = false;
  PageControl1->SetActivePage(TabSheet1);
  lastPage_ = TabSheet1;
}

void TForm14::FormClose(TObject*, TCloseAction& Action) {
  // Changes that were to be saved and could not be (another deck saving the library, a file that
  // cannot be written) keep the manager open with them: closing would lose them unsaved.
  if (modified_ && !AskToSave()) Action = caNone;
}

bool TForm14::AskToSave() {
  if (deck_.Ask(TQuestionKind::Confirmation, "Save Changes?", true) == TAnswer::Yes) return SaveLibrary();
  // Declined changes go with the answer: a later save must not write them after all.
  ReadLibrary([&] { return ReadProgramRecords(LibraryFile()); });
  ShowLibrary(0);
  modified_ = false;
  return true;
}

std::string TForm14::LibraryFile() const { return UserFilePath(deck_.Users().UsersFolder(), DefaultUserName); }

void TForm14::ReadLibrary(const std::function<std::vector<std::string>()>& read) {
  try {
    library_ = read();
    libraryRead_ = true;
  } catch (const EIniReadError& e) {
    // Shown empty, but never saved: that would replace the programs the file holds.
    library_.clear();
    libraryRead_ = false;
    deck_.Notify(TNoticeKind::Error, e.Message());
  }
  SortProgramRecords(library_, pfName);
  read_ = library_;
}

bool TForm14::SaveLibrary() {
  SortProgramRecords(library_, pfName);
  ShowLibrary(std::max(ListBox2->ItemIndex(), 0));
  if (!libraryRead_) {
    if (!modified_) return true;  // nothing of ours to keep
    deck_.Notify(TNoticeKind::Error, UnreadListText(LibraryFile()));
    return false;
  }
  // Only what this deck changed is written, into the library as it is now: other decks sharing
  // the users folder may have saved programs of theirs since it was read.
  if (!ProgramListChanged(read_, library_)) {
    modified_ = false;
    return true;
  }
  const std::string path = LibraryFile();
  std::vector<std::string> saved;
  try {
    switch (SaveProgramList(path, read_, library_, true, saved)) {
      case TListSave::Saved: break;
      case TListSave::Busy: deck_.Notify(TNoticeKind::Error, ListBusyText(path)); return false;
      case TListSave::Full:
        deck_.Notify(TNoticeKind::Error, "The library was not saved: with the programs other decks saved meanwhile it "
                                         "would hold " + std::to_string(saved.size()) +
                                             " programs, and it holds at most 250. \r\nRemove some and save again.");
        return false;
    }
  } catch (const Exception& e) {
    deck_.Notify(TNoticeKind::Error, e.Message());
    return false;
  }
  const int at = ListBox2->ItemIndex();
  const std::string selected = at >= 0 && size_t(at) < library_.size() ? library_[size_t(at)] : std::string();
  library_ = read_ = saved;
  const auto kept = std::find(library_.begin(), library_.end(), selected);
  ShowLibrary(kept == library_.end() ? 0 : int(kept - library_.begin()));
  modified_ = false;
  return true;
}

void TForm14::LoadUsers(bool report) {
  std::vector<std::string> refused;
  ListBox1->Items()->BeginUpdate();
  ListBox1->Items()->Clear();
  for (const std::string& name : ManagerUserList(deck_.Users().UsersFolder(), &refused)) ListBox1->Items()->Add(name);
  ListBox1->Items()->EndUpdate();
  ListBox1->SetItemIndex(0);
  if (report && !refused.empty()) deck_.Notify(TNoticeKind::Warning, RefusedUsersMessage(refused));
}

std::vector<std::string> TForm14::ListedUsers() const {
  std::vector<std::string> names;
  for (int i = 0; i < ListBox1->Items()->Count(); ++i) names.push_back(ListBox1->Items()->Get(i));
  return names;
}

void TForm14::ShowLibrary(int select) {
  ListBox2->Items()->BeginUpdate();
  ListBox2->Items()->Clear();
  for (const std::string& r : library_) ListBox2->Items()->Add(r);
  ListBox2->Items()->EndUpdate();
  if (!library_.empty()) ListBox2->SetItemIndex(std::min(select, int(library_.size()) - 1));
}

void TForm14::UserDialog(TUserForm* form, bool needsSelection) {
  const int at = ListBox1->ItemIndex();
  if (needsSelection && at < 0) return;
  form->Prepare(ListedUsers(), at >= 0 ? ListBox1->Items()->Get(at) : std::string());
  // mrAbort: the user was found removed meanwhile, and the list shows what the folder holds now.
  const int result = form->ShowModal();
  if (result == mrOk || result == mrAbort) LoadUsers();
}

void TForm14::RemoveUserClick(TObject*) {
  const int at = ListBox1->ItemIndex();
  if (at < 0) return;
  if (!RemoveUser(ListBox1->Items()->Get(at), deck_.Users().UsersFolder(), deck_.Notifier(), deck_.Asker())) return;
  ListBox1->Items()->Delete(at);
  ListBox1->SetItemIndex(0);
}

void TForm14::ProgramDialog(TProgramForm* form, bool edit) {
  const int at = ListBox2->ItemIndex();
  if (form != Form18 && at < 0) return;
  form->Prepare(&library_, at);
  if (form->ShowModal() == mrOk) {
    modified_ = true;
    ShowLibrary(edit ? at : int(library_.size()) - 1);
  }
  if (edit) SortLibrary(pfName);
}

void TForm14::RemoveProgramClick(TObject*) {
  const int at = ListBox2->ItemIndex();
  if (library_.empty() || at < 0) return;
  if (deck_.Ask(TQuestionKind::Warning, "Are you sure you want to delete: " + RecordField(library_[size_t(at)], pfName),
                true) != TAnswer::Yes)
    return;
  library_.erase(library_.begin() + at);
  ShowLibrary(0);
  modified_ = true;
}

void TForm14::SortLibrary(TProgramField key) {
  if (library_.size() < 2) return;
  SortProgramRecords(library_, key);
  ShowLibrary(0);
}
