#include "recorder/Unit4.h"

#include "platform/system/files.h"
#include "recorder/CartFiles.h"
#include "recorder/FormParts.h"
#include "recorder/Unit1.h"

using namespace plat;

TForm4* Form4 = nullptr;

TForm4::TForm4(TComponent* owner) : TForm(owner), deck_(DeckOf(owner)) {
  const TFileJobParts parts = LayOutFileJob(this, "Form4", "Scanning File ...", 1000);
  Gauge1 = parts.gauge;
  Button1 = parts.cancel;
  Timer1 = parts.timer;
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
}

void TForm4::FormShow(TObject*) {
  CancelOrError = false;
  Gauge1->SetProgress(0);
  Timer1->SetEnabled(true);
}

void TForm4::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  const bool copied = CopyFile(deck_->CopySource, deck_->CopyPath);
  SetModalResult(copied && !CancelOrError ? mrOk : mrCancel);
}

void TForm4::Button1Click(TObject*) {
  CancelOrError = true;
  if (!copying_) {
    Timer1->SetEnabled(false);
    SetModalResult(mrCancel);
  }
}

void TForm4::FormCloseQuery(TObject*, bool& CanClose) {
  // Closing the window while copying cancels the copy, which then ends the dialog.
  if (copying_) {
    CancelOrError = true;
    CanClose = false;
  }
}

bool TForm4::CopyFile(const std::string& source, const std::string& target) {
  CancelOrError = false;
  if (GetFileSize(source) < 0) {
    CancelOrError = true;
    return false;
  }
  copying_ = true;
  const TCopyOutcome outcome = CopyCartFile(source, CartCopyTarget(source, target),
                                            GaugeCopyProgress(Gauge1, &CancelOrError));
  copying_ = false;
  if (outcome != TCopyOutcome::Done) CancelOrError = true;
  return !CancelOrError;
}

bool TForm4::HasAttr(const std::string& path, int attribute) {
  if (attribute & faDirectory) return DirectoryExists(path);
  if (attribute & faReadOnly) return (FileExists(path) || DirectoryExists(path)) && IsReadOnly(path);
  return FileExists(path) || DirectoryExists(path);
}

int64_t TForm4::GetFileSize(const std::string& path) { return FileSize(path); }
