#include "recorder/Unit4.h"

#include "platform/system/files.h"
#include "recorder/CartFiles.h"
#include "recorder/FormParts.h"
#include "recorder/DialogDeck.h"

using namespace plat;

TForm4* Form4 = nullptr;

TForm4::TForm4(TComponent* owner)
    : TFileJobForm(owner, "Form4", "Scanning File ...", 1000), deck_(DeckOf<TDialogDeck>(owner)) {}

void TForm4::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  const bool copied = CopyFile(deck_->CopySourceFile(), deck_->CopyTargetFile());
  SetModalResult(copied && !CancelOrError ? mrOk : mrCancel);
}

bool TForm4::CopyFile(const std::string& source, const std::string& target) {
  CancelOrError = false;
  if (GetFileSize(source) < 0) {
    CancelOrError = true;
    return false;
  }
  working_ = true;
  const TCopyOutcome outcome =
      CopyCartFile(source, CartCopyTarget(source, target), GaugeCopyProgress(Gauge1, &CancelOrError));
  working_ = false;
  if (outcome != TCopyOutcome::Done) CancelOrError = true;
  return !CancelOrError;
}

bool TForm4::HasAttr(const std::string& path, int attribute) {
  if (attribute & faDirectory) return DirectoryExists(path);
  if (attribute & faReadOnly) return (FileExists(path) || DirectoryExists(path)) && IsReadOnly(path);
  return FileExists(path) || DirectoryExists(path);
}

int64_t TForm4::GetFileSize(const std::string& path) { return FileSize(path); }
