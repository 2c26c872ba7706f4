// The Save button: its checks, the save dialog with the lockout check, and the saving window.
#include <ctime>

#include "engine/MMWave.h"
#include "platform/system/files.h"
#include "recorder/Unit9.h"
#include "recorder/Unit1.h"
#include "recorder/Unit5.h"

using namespace plat;

bool TSVMain::SavesByName() const { return CartKind == KindByName && !Recovered; }

void TSVMain::TakeSavedFile(const std::string& path) {
  takeFile_.Release();
  // Saved where it was rescued to, it is a cart like any other: Eject leaves it.
  if (path == rescuedTake_) rescuedTake_.clear();
  CartOrigin = OriginExisting;
  CartNowAt(path);
}

bool TSVMain::TakeBackForSave() {
  if (!takeFile_.IsHeld() || takeFile_.At(RecordFileName)) return false;
  KeepHeldTake(false, TTell::Now);
  return takeFile_.IsHeld() && takeFile_.At(RecordFileName);
}

void TSVMain::CartNowAt(const std::string& path) {
  PlayFile->Wave()->FreeWave();
  RecordFileName = path;
  PlayFile->Wave()->SetFileName(path);
  Label12Caption(path);
  if (!RecFile->Wave()->FileName().empty()) {
    RecFile->Wave()->FreeWave();
    RecFile->Wave()->SetFileName(path);
  }
}

void TSVMain::SaveFinished() {
  ChangedSinceSave = false;
  BusySaving = false;
  FileMustExist = false;
}

void TSVMain::LetSavedTakeGo() {
  ChangedSinceSave = false;
  EmptyDeck();
}

int TSVMain::RunSaveWindow() {
  BusySaving = true;
  int r = mrCancel;
  try {
    r = Form5->ShowModal();
  } catch (...) {
    BusySaving = false;
    throw;
  }
  BusySaving = false;
  return r;
}

void TSVMain::SaveButtonClick(TObject*) {
  if (BusySaving || DiskStillHoldsTake()) return;
  KeepHeldTake(false, TTell::Now);
  for (;;) {
    if (PlayOnly) {
      Notify(TNoticeKind::Information, "You opened this file as \"Play Only.\" Saving is not allowed.");
      return;
    }
    TMMWave* w = PlayFile->Wave();
    if (!w->HasData()) {
      Notify(TNoticeKind::Information, "Nothing to save!");
      return;
    }
    if (!FileExists(w->FileName())) {
      TakeGone(w->FileName());
      return;
    }
    SaveDialog1->FileName = ChangeFileExt(ExtractFileName(w->FileName()), "");
    const bool byName = SavesByName();
    if (!byName) {
      SaveDialog1->InitialDir = SaveDialogFolder();
      if (!SaveDialog1->Execute()) return;
      // A clean-up may have come while the dialog was open.
      KeepHeldTake(false, TTell::Now);
    }
    int r = RunSaveWindow();
    if (r == mrOk) return;
    FileMustExist = false;
    if (r != mrRetry) return;
    // Three copies failed: the cart is a quick cart now, so the next pass asks for a name.
    if (!byName)
      Notify(TNoticeKind::Warning,
             "Can't save the file using that name or path. Try changing "
             "the \r\nname or save location.");
  }
}

// A take not yet saved whose file went (a cleaner emptied the temporary folder) was not saved
// anywhere: the operator hears that it is gone, and the deck lets it go without asking about
// changes that no longer exist.
void TSVMain::TakeGone(const std::string& path) {
  if (ChangedSinceSave || CartOrigin == OriginOriginate) {
    Notify(TNoticeKind::Information, FileGoneText(path));
    ChangedSinceSave = false;
  } else {
    Notify(TNoticeKind::Information, "Sorry, it appears this file has already been saved.");
  }
  Eject();
}

// The save dialog starts in the save folder of the cart's program, or in the one of the
// settings. A program's folder that is not there (a share not mounted) is told, so that the
// cart does not land elsewhere unnoticed.
std::string TSVMain::SaveDialogFolder() {
  const std::string& folder = UserData.cart.saveFolder;
  if (folder.empty()) return Config.savePath;
  if (DirectoryExists(folder)) return folder;
  Notify(TNoticeKind::Warning, "The save folder of this cart's program does not exist:\r\n" + folder +
                                   "\r\n\r\nCheck that its drive or network share is "
                                   "connected, or choose another folder to save into.");
  return Config.savePath;
}

void TSVMain::SaveDialogFileOK(TObject*, bool& CanClose) {
  CanClose = SaveTargetAllowed(*this, SaveDialog1->FileName, *Form9);
}
