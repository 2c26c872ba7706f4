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
  const std::string source = deck_->CartFileName();
  std::string target = ExpandFileName(SaveTarget(source));
  // The next Eject empties the temporary folder: a take saved there would go with it.
  if (const std::string temp = DeckTempFolder(); InDeckTemp(temp, CartCopyTarget(source, target))) {
    MessageDlg(SaveIntoTempText(temp), mtWarning, mbOKOnly);
    return mrCancel;
  }

  // The files themselves are compared: on a case-sensitive file system "a.wav" and "A.WAV" are two.
  if (!SameCartFile(source, CartCopyTarget(source, target))) {
    if (deck_->CartMadeHere()) {
      // Made in the temporary folder: it moves. The target is replaced in one step, never
      // deleted first, so a failed move leaves whatever was there.
      Gauge1->SetProgress(10);
      Gauge1->SetProgress(20);
      CancelOrError = false;
      target = CartCopyTarget(source, target);
      if (MoveCartFile(source, target, GaugeCopyProgress(Gauge1, &CancelOrError)) != TCopyOutcome::Done) {
        MessageDlg("File Copy Error!", mtError, mbOKOnly);
        return mrCancel;
      }
    } else {
      const std::string folder = ExtractFilePath(target);
      const std::string firstName = ExtractFileName(target);
      std::string name = firstName;
      // The first copy goes where the operator chose; a retry only ever makes a file of its own,
      // under a "Copy (n) of" name that nothing holds, so no earlier copy is lost.
      int k = 0, n = 0;
      for (;;) {
        const TCopyOutcome got = Copy(source, folder + name, k == 0);
        if (got == TCopyOutcome::Done) break;
        if (got != TCopyOutcome::Exists) {
          if (MessageDlg(
                  "Attempt " + std::to_string(k + 1) + "\r\n\r\nFile could NOT be saved. Do you want to try again?",
                  mtWarning, mbYesNo) != mrYes)
            return mrCancel;
          if (++k >= 3) {
            deck_->SaveGaveUp();
            return mrRetry;
          }
        }
        name = FreeCopyName(folder, firstName, n);
      }
      if (k >= 1)
        MessageDlg(
            "Please Note!!! Solvane had trouble saving your file. It was \r\nsuccessfully "
            "saved under a different name.\r\n\r\nThe saved name is: " +
                copiedTo_ + "\r\n\r\nPlease make a note of this.",
            mtInformation, mbOKOnly);
      target = copiedTo_;
    }
  }

  deck_->TakeSavedFile(target);
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
  return Copy(source, target, true) == TCopyOutcome::Done;
}

TCopyOutcome TForm5::Copy(const std::string& source, const std::string& target, bool replace) {
  CancelOrError = false;
  copiedTo_ = CartCopyTarget(source, target);
  const TCopyOutcome outcome = CopyCartFile(source, copiedTo_, GaugeCopyProgress(Gauge1, &CancelOrError), replace);
  if (outcome != TCopyOutcome::Done) CancelOrError = true;
  return outcome;
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
