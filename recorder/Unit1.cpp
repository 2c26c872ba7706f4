#include "recorder/Unit1.h"

#include "platform/system/files.h"
#include "recorder/FileUtils.h"

TSVMain* SVMain = nullptr;

TSVMain::TSVMain(TComponent* owner) : plat::TForm(owner) {
  SetName("SVMain");
  UserData.programFolder = AppFolder();
}

TSVMain::~TSVMain() {
  if (SVMain == this) SVMain = nullptr;
}

std::string TSVMain::DeckTempFolder() const { return TempFolder() + "Solvane/"; }

void TSVMain::UserCaptionUpdate() {
  SetCaption("Solvane  [ User: " + UserData.currentUser + " ]");
}

void TSVMain::Notify(TNoticeKind kind, const std::string& text) {
  plat::TMsgDlgType type = kind == TNoticeKind::Warning ? plat::mtWarning
                           : kind == TNoticeKind::Error ? plat::mtError
                                                        : plat::mtInformation;
  plat::MessageDlg(text, type, plat::mbOKOnly);
}

TAnswer TSVMain::Ask(TQuestionKind kind, const std::string& text, bool withCancel) {
  plat::TMsgDlgType type = kind == TQuestionKind::Warning ? plat::mtWarning : plat::mtConfirmation;
  int r = plat::MessageDlg(text, type, withCancel ? plat::mbYesNoCancel : plat::mbYesNo);
  if (r == plat::mrYes) return TAnswer::Yes;
  return r == plat::mrNo ? TAnswer::No : TAnswer::Cancel;
}

void TSVMain::SetLoadStatus(const std::string& caption) {
  if (StatusGroup) StatusGroup->SetCaption(caption);
}

void TSVMain::ProcessMessages() {
  if (plat::Application) plat::Application->ProcessMessages();
}

std::string TSVMain::CartFileName() const { return RecordFileName; }
