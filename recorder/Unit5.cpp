#include "recorder/Unit5.h"

#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/ui/dialogs.h"
#include "recorder/CartFiles.h"
#include "recorder/DeckTemp.h"
#include "recorder/FileUtils.h"
#include "recorder/FormParts.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm5* Form5 = nullptr;

namespace {
const char* const kSaveTrouble =
    "There was an error saving this file. It still might be \r\npossible to save it. Do not close "
    "the program. Call Tolmark \r\ntechinical support at (800) 555-0134 ";
}

std::string NameTakenText(const std::string& chosen, const std::string& saved) {
  return "A file that nobody chose to replace holds the name\r\n" + chosen +
         "\r\nso it was left as it is, and this take was saved under a different name.\r\n\r\nThe saved name "
         "is: " +
         saved + "\r\n\r\nPlease make a note of this.";
}

std::string NotAFileText(const std::string& chosen, const std::string& saved) {
  return "What stands at the name\r\n" + chosen +
         "\r\nis not a regular file but a FIFO, a socket or a device, which Solvane never replaces, so it was left "
         "as it is, and this take was saved under a different name.\r\n\r\nThe saved name is: " +
         saved + "\r\n\r\nPlease make a note of this.";
}

std::string SavedButMovedText(const std::string& where) {
  return "The take was saved, but its folder was moved or renamed meanwhile, so the deck cannot open "
         "it.\r\n\r\nThe saved take is now: " +
         where + "\r\n\r\nThe deck has been emptied.";
}

TForm5::TForm5(TComponent* owner)
    : TFileJobForm(owner, "Form5", "Saving File", 250), deck_(DeckOf<TDialogDeck>(owner)) {}

void TForm5::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  int result = mrCancel;
  working_ = true;
  try {
    result = SaveFile();
  } catch (const std::exception&) {
    working_ = false;
    MessageDlg(kSaveTrouble, mtError, mbOKOnly);
    result = mrCancel;
  }
  working_ = false;
  SetModalResult(result);
}

std::string TForm5::SaveTarget(const std::string& source) const {
  if (deck_->SavesByName()) return IncludeTrailingPathDelimiter(deck_->Settings().savePath) + ExtractFileName(source);
  return deck_->SaveDialogFileName();
}

int TForm5::SaveFile() {
  Gauge1->SetMinValue(0);
  Gauge1->SetMaxValue(100);
  Gauge1->SetProgress(0);
  std::string source = deck_->CartFileName();
  std::string target = ExpandFileName(SaveTarget(source));
  // The next Eject empties the temporary folder: a take saved there would go with it.
  if (const std::string temp = deck_->DeckTempFolder(); InDeckTemp(temp, CartCopyTarget(source, target))) {
    MessageDlg(SaveIntoTempText(temp), mtWarning, mbOKOnly);
    return mrCancel;
  }

  // The files themselves are compared: on a case-sensitive file system "a.wav" and "A.WAV" are two.
  std::shared_ptr<FolderHandle> folder;
  if (!SameCartFile(source, CartCopyTarget(source, target))) {
    TSaveRequest request;
    request.source = source;
    request.target = target;
    request.move = deck_->CartMadeHere();
    // What the save dialog asked about and the operator agreed to replace; at a by-name cart's
    // name nothing was asked.
    if (!deck_->SavesByName()) request.agreed = deck_->SaveReplaceAgreed();
    // A take the deck keeps for its owner alone (in the temporary folder, or rescued) is saved as a
    // new file there; a cart copied to be edited, as the cart was.
    if (InDeckTemp(deck_->DeckTempFolder(), source) || InDeckPrivateFolder(source))
      request.mode = int(SavedTakeMode(source == deck_->CopyTargetFile() ? deck_->CopySourceFile() : std::string()));
    if (request.move) {
      Gauge1->SetProgress(10);
      Gauge1->SetProgress(20);
    }
    CancelOrError = false;
    const auto save = [&] {
      return SaveTake(request, GaugeCopyProgress(Gauge1, &CancelOrError), [this](int attempt) {
        const bool again = MessageDlg("Attempt " + std::to_string(attempt) +
                                          "\r\n\r\nFile could NOT be saved. Do you want to try again?",
                                      mtWarning, mbYesNo) == mrYes;
        CancelOrError = false;  // a Cancel pressed during the failed copy stops no other
        return again;
      });
    };
    TSaveResult saved = save();
    // A move goes by the take's name, which a clean-up may have taken since the save began: the take
    // the deck holds is written out again and moved from there.
    if (saved.end == TSaveEnd::MoveFailed && deck_->TakeBackForSave()) {
      source = request.source = deck_->CartFileName();
      saved = save();
    }
    switch (saved.end) {
      case TSaveEnd::MoveFailed:
        // The reason matters most where the folder cannot hold the name (too long, a character
        // its file system refuses): the operator then knows what to change.
        MessageDlg("File Copy Error!\r\n\r\n" + saved.failedPath + "\r\n" + SaveErrorReason(saved.error), mtError,
                   mbOKOnly);
        return mrCancel;
      case TSaveEnd::Cancelled: return mrCancel;
      case TSaveEnd::GaveUp: deck_->SaveGaveUp(); return mrRetry;
      case TSaveEnd::Saved: break;
    }
    if (saved.failedCopies >= 1)
      MessageDlg(
          "Please Note!!! Solvane had trouble saving your file. It was \r\nsuccessfully "
          "saved under a different name.\r\n\r\nThe saved name is: " +
              saved.savedAs + "\r\n\r\nPlease make a note of this.",
          mtInformation, mbOKOnly);
    else if (saved.nameNotAFile)
      MessageDlg(NotAFileText(CartCopyTarget(source, target), saved.savedAs), mtInformation, mbOKOnly);
    else if (saved.nameTaken)
      MessageDlg(NameTakenText(CartCopyTarget(source, target), saved.savedAs), mtInformation, mbOKOnly);
    target = saved.savedAs;
    folder = saved.folder;
  }

  try {
    deck_->TakeSavedFile(target);
  } catch (const std::exception&) {
    // The take is whole where it went, but its folder was moved or renamed meanwhile, so the deck
    // cannot open it: the operator hears where it is now, and the deck lets it go.
    const std::string now = folder ? folder->Path() + ExtractFileName(target) : target;
    deck_->SaveFinished();
    MessageDlg(SavedButMovedText(now), mtWarning, mbOKOnly);
    deck_->LetSavedTakeGo();
    return mrOk;
  }
  Gauge1->SetMinValue(0);
  Gauge1->SetMaxValue(100);
  Gauge1->SetProgress(100);
  deck_->SaveFinished();
  if (SettleMs > 0) DelayWithMessages(SettleMs, true);
  DoAfterSave(target);
  deck_->WatchCartFile();
  return mrOk;
}

bool TForm5::CopyFile(const std::string& source, const std::string& target) {
  CancelOrError = false;
  const TCopyOutcome outcome =
      CopyCartFile(source, CartCopyTarget(source, target), GaugeCopyProgress(Gauge1, &CancelOrError));
  if (outcome != TCopyOutcome::Done) CancelOrError = true;
  return outcome == TCopyOutcome::Done;
}

void TForm5::DoAfterSave(const std::string& path) {
  const std::string setting = deck_->Settings().launchAfterSave;
  if (setting.empty()) return;
  std::string program = setting;
  if (program.find('/') == std::string::npos) program = deck_->ProgramFolder() + program;
  if (!FileExists(program)) {
    MessageDlg(
        "You have specified in the Solvane.INI file that you would like \r\nto run an external "
        "application after the file is saved. Solvane \r\ncan not find the application "
        "specified. Check the Solvane.INI \r\nto see if the application is listed correctly.",
        mtWarning, mbOKOnly);
    return;
  }
  if (!deck_->StartProgram(program, {path}))
    MessageDlg("Error calling " + setting + " " + "\r\n" + "Look in Solvane.INI for setting", mtError, mbOKOnly);
}

int64_t TForm5::DiskSize(const std::string& path) {
  int64_t bytes = 0;
  return DiskFreeBytes(path, bytes) ? bytes / 1024 : -1;
}
