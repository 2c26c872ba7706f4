// Message and file dialogs through the service: queued answers, scripts and their log, and the
// file dialogs' checks.
#include <gtest/gtest.h>

#include <cstdlib>

#include "UiTest.h"
#include "common/scratch.h"
#include "platform/system/files.h"

using namespace plat;

TEST(MessageDlg, AnswersComeFromTheQueueAndTextsAreKept) {
  ScopedDialogs d;
  d->AnswerMessage(mrNo);
  d->AnswerMessage(mrYes);
  EXPECT_EQ(
      MessageDlg("There is still a file loaded in the deck. Are you sure you want to exit?", mtConfirmation, mbYesNo),
      mrNo);
  EXPECT_EQ(MessageDlg("Save Changes?", mtConfirmation, mbYesNoCancel), mrYes);
  // Nothing queued: the default button answers, and the test can tell.
  EXPECT_EQ(MessageDlg("Password Incorrect", mtError, mbOKOnly), mrOk);
  EXPECT_EQ(MessageDlg("Really?", mtWarning, mbYesNo), mrYes);
  ASSERT_EQ(d->Shown().size(), 4u);
  EXPECT_EQ(d->Shown()[0].caption, "Confirm");
  EXPECT_EQ(d->Shown()[0].buttons, mbYesNo);
  EXPECT_EQ(d->Shown()[2].caption, "Error");
  EXPECT_EQ(d->Shown()[3].caption, "Warning");
  EXPECT_EQ(d->Unanswered(), 2);
  EXPECT_EQ(d->Texts()[1], "Save Changes?");
  // A message box with no buttons still has its OK.
  MessageDlg("Error Creating Temp Directory", mtInformation, 0);
  EXPECT_EQ(d->Shown().back().buttons, mbOKOnly);
  EXPECT_EQ(d->Shown().back().caption, "Information");
}

TEST(MessageDlg, ApplicationMessageBoxMapsFlagsToButtonsAndIcons) {
  ScopedDialogs d;
  d->AnswerMessage(mrRetry);
  EXPECT_EQ(Application->MessageBox("Couldn't execute the application", "Error", MB_RETRYCANCEL | MB_ICONEXCLAMATION),
            IDRETRY);
  EXPECT_EQ(d->Shown()[0].type, mtWarning);
  EXPECT_EQ(d->Shown()[0].caption, "Error");
  EXPECT_EQ(d->Shown()[0].buttons, mbRetry | mbCancel);
  EXPECT_EQ(Application->MessageBox("?", "t", MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(d->Shown()[1].type, mtConfirmation);
  // The notice hook of the code below the GUI lands here too.
  ShowMessage("No advanced settings at this time");
  EXPECT_EQ(d->Shown()[2].caption, Application->Title());
}

TEST(ScriptedDialogs, AnswersInOrderAndLogsEveryDialog) {
  Scratch dir;
  ASSERT_TRUE(WriteWholeFile(dir.Path("script"),
                             "# exit, then the file dialogs\r\nNo\r\n\r\n  yes\nfile cut.wav\nfile "
                             "Cancel\nRetry\n"));
  ScriptedDialogs s(dir.Path("script"), dir.Path("log"));
  MessageRequest r;
  r.text = "Sure?\r\nReally \"sure\" \\ ok";
  r.type = mtConfirmation;
  r.buttons = mbYesNo;
  r.defaultButton = mbYes;
  EXPECT_EQ(s.Message(r), mrNo);
  EXPECT_EQ(s.Message(r), mrYes);
  // A file dialog's line is not a message answer: the default answers and the line waits.
  EXPECT_EQ(s.Message(r), mrYes);
  FileRequest f;
  f.title = "Save Wave File";
  f.save = true;
  f.complete = [&](const std::string& p) { return dir.Path(p); };
  std::vector<std::string> files;
  int fi = 0;
  ASSERT_TRUE(s.File(f, files, fi));
  EXPECT_EQ(files, std::vector<std::string>{dir.Path("cut.wav")});
  EXPECT_FALSE(s.File(f, files, fi));
  // Retry is not offered by an OK box: the default answers, and the log says so.
  r.buttons = mbOKOnly;
  r.defaultButton = mbOK;
  EXPECT_EQ(s.Message(r), mrOk);
  EXPECT_FALSE(s.File(f, files, fi));  // used up
  std::string log;
  ASSERT_TRUE(ReadWholeFile(dir.Path("log"), log));
  EXPECT_EQ(log,
            "message Confirm [Yes,No] \"Sure?\\r\\nReally \\\"sure\\\" \\\\ ok\" -> No\n"
            "message Confirm [Yes,No] \"Sure?\\r\\nReally \\\"sure\\\" \\\\ ok\" -> Yes\n"
            "message Confirm [Yes,No] \"Sure?\\r\\nReally \\\"sure\\\" \\\\ ok\" -> Yes (unscripted)\n"
            "file save \"Save Wave File\" -> " +
                dir.Path("cut.wav") +
                "\n"
                "file save \"Save Wave File\" -> Cancel\n"
                "message Confirm [OK] \"Sure?\\r\\nReally \\\"sure\\\" \\\\ ok\" -> OK (\"Retry\" not offered)\n"
                "file save \"Save Wave File\" -> Cancel (unscripted)\n");
}

TEST(ScriptedDialogs, TheEnvironmentSwitchesTheApplicationToTheScript) {
  Scratch dir;
  ASSERT_TRUE(WriteWholeFile(dir.Path("s"), "Cancel\n"));
  setenv("SOLVANE_DIALOG_SCRIPT", dir.Path("s").c_str(), 1);
  setenv("SOLVANE_DIALOG_LOG", dir.Path("l").c_str(), 1);
  auto service = ScriptedServiceFromEnvironment();
  unsetenv("SOLVANE_DIALOG_SCRIPT");
  unsetenv("SOLVANE_DIALOG_LOG");
  ASSERT_TRUE(service);
  auto old = SetDialogService(service);
  const int answer = MessageDlg("Save Changes?", mtConfirmation, mbYesNoCancel);
  SetDialogService(old);
  EXPECT_EQ(answer, mrCancel);
  std::string log;
  ReadWholeFile(dir.Path("l"), log);
  EXPECT_EQ(log, "message Confirm [Yes,No,Cancel] \"Save Changes?\" -> Cancel\n");
  EXPECT_FALSE(ScriptedServiceFromEnvironment());
}

TEST(FileDialog, CompletesNamesAndAsksItsChecksBeforeClosing) {
  ScopedDialogs d;
  Scratch dir;
  ASSERT_TRUE(WriteWholeFile(dir.Path("taken.wav"), "x"));
  TSaveDialog save(nullptr);
  save.InitialDir = dir.Root();
  save.DefaultExt = "wav";
  save.Filter = "Wave-Files(*.wav)|*.wav";
  save.Options |= ofOverwritePrompt;
  std::vector<std::string> vetoed;
  save.OnCanClose = [&](TObject* sender, bool& can) {
    auto* dlg = static_cast<TSaveDialog*>(sender);
    if (dlg->FileName.find("locked") != std::string::npos) {
      vetoed.push_back(dlg->FileName);
      can = false;
    }
  };
  // "taken" exists: the overwrite question is answered No, so the next name is tried; "locked"
  // is refused by the program; "fresh" gets its extension and closes the dialog.
  d->AnswerFile("taken");
  d->AnswerMessage(mrNo);
  d->AnswerFile("locked");
  d->AnswerFile("fresh");
  ASSERT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, dir.Path("fresh.wav"));
  EXPECT_EQ(save.Files()->Count(), 1);
  EXPECT_EQ(vetoed, std::vector<std::string>{dir.Path("locked.wav")});
  EXPECT_EQ(d->Texts(),
            std::vector<std::string>{dir.Path("taken.wav") + " already exists.\r\nDo you want to replace it?"});
  EXPECT_FALSE(save.Options & ofExtensionDifferent);
  // Cancel leaves FileName as it was.
  d->CancelFile();
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, dir.Path("fresh.wav"));
  // An open dialog that wants an existing file says so and waits for another choice.
  TOpenDialog open(nullptr);
  open.InitialDir = dir.Root();
  open.Options |= ofFileMustExist;
  d->AnswerFile("missing.wav");
  d->AnswerFile(dir.Path("taken.wav"));
  ASSERT_TRUE(open.Execute());
  EXPECT_EQ(open.FileName, dir.Path("taken.wav"));
  EXPECT_EQ(d->Texts().back(), dir.Path("missing.wav") + "\r\nFile not found.\r\nCheck the file name and try again.");
}

TEST(FileDialog, FiltersMatchNamesInEitherCase) {
  EXPECT_EQ(QtNameFilters("Wave-Files(*.wav)|*.wav"), std::vector<std::string>{"Wave-Files(*.wav) (*.wav *.WAV)"});
  EXPECT_EQ(QtNameFilters("Users|*.svu;*.ini|All|*.*"),
            (std::vector<std::string>{"Users (*.svu *.SVU *.ini *.INI)", "All (*.*)"}));
  EXPECT_TRUE(QtNameFilters("").empty());
}
