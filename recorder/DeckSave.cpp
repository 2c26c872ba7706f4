// The Save button: its checks, the save dialog with the lockout check, and the saving window.
#include <ctime>

#include "engine/MMWave.h"
#include "platform/system/files.h"
#include "recorder/Unit9.h"
#include "recorder/Unit1.h"
#include "recorder/Unit5.h"

using namespace plat;

bool TSVMain::SavesByName() const { return CartKind == KindByName && !Recovered; }

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
  if (BusySaving) return;
  for (;;) {
    if (PlayOnly) {
      Notify(TNoticeKind::Information,
             "You opened this file as \"Play Only.\" Saving is not allowed.");
      return;
    }
    TMMWave* w = PlayFile->Wave();
    if (!w->HasData()) {
      Notify(TNoticeKind::Information, "Nothing to save!");
      return;
    }
    if (!FileExists(w->FileName())) {
      Notify(TNoticeKind::Information, "Sorry, it appears this file has already been saved.");
      Eject();
      return;
    }
    SaveDialog1->FileName = ChangeFileExt(ExtractFileName(w->FileName()), "");
    SaveDialog1->InitialDir =
        UserData.cart.saveFolder.empty() ? Config.savePath : UserData.cart.saveFolder;
    const bool byName = SavesByName();
    if (!byName && !SaveDialog1->Execute()) return;
    int r = RunSaveWindow();
    if (r == mrOk) return;
    FileMustExist = false;
    if (r != mrRetry) return;
    // Three copies failed: the cart is a quick cart now, so the next pass asks for a name.
    if (!byName)
      Notify(TNoticeKind::Warning, "Can't save the file using that name or path. Try changing "
                                   "the \r\nname or save location.");
  }
}

void TSVMain::SaveDialogFileOK(TObject*, bool& CanClose) {
  CanClose = SaveTargetAllowed(*this, SaveDialog1->FileName, *Form9);
}
