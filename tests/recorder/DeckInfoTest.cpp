// The deck's INFO editor and its wave file dialogs: Info edits the cart's file once and only on a
// deck at rest, a punch-in keeps the edit; the save dialog's file-OK asks for the supervisor while
// the chosen target is locked out.
#include <memory>

#include "DeckHarness.h"
#include "engine/MMRIFF.h"
#include "engine/MMWInfo.h"
#include "recorder/Unit9.h"

using namespace plat;

namespace {

TMMRiffInfoEditorDlg* ShownEditor() {
  for (int i = 0; i < Screen->FormCount(); ++i)
    if (auto* d = dynamic_cast<TMMRiffInfoEditorDlg*>(Screen->Forms(i)); d && d->Modal()) return d;
  return nullptr;
}

std::string Comment(const std::string& path) {
  TMMWave w;
  w.SetFileName(path);
  return w.IOBlock() ? InfoItemText(w.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))) : "";
}

class DeckInfo : public DeckHarness {
protected:
  // Every editor that shows is counted; the first gets comment as its ICMT text and OK, any
  // other is closed untouched.
  void AnswerEditors(const std::string& comment) {
    WhenModal([editors = editors_, comment] {
      TMMRiffInfoEditorDlg* d = ShownEditor();
      if (!d) return;
      if (++*editors == 1) {
        for (int i = 0; i < d->INFOComboBox->Items()->Count(); ++i)
          if (d->INFOComboBox->Items()->Strings(i).compare(0, 4, "ICMT") == 0) d->INFOComboBox->SetItemIndex(i);
        d->INFOComboBoxChange(d->INFOComboBox);
        d->InfoTextMemo->SetText(comment);
        d->InfoTextMemoExit(d->InfoTextMemo);
        d->OKBtn->Click();
      } else {
        d->Close();
      }
    });
  }
  void RecordTake(uint32_t ms) {
    Key('S', ssCtrl);
    Key(VK_F5);
    Step(ms);
    Key(VK_F4);
  }
  int Editors() const { return *editors_; }
  std::shared_ptr<int> editors_ = std::make_shared<int>(0);
};

}  // namespace

TEST_F(DeckInfo, EditsTheCartsFileOnceOnADeckAtRestAndAPunchInKeepsTheEdit) {
  StartDeck();
  EXPECT_FALSE(deck->Infobutton->Enabled()) << "nothing to edit";
  RecordTake(600);
  EXPECT_TRUE(deck->Infobutton->Enabled());
  const std::string take = deck->RecordFileName;
  ASSERT_TRUE(deck->PlayFile->Wave()->HasData());
  ASSERT_TRUE(deck->RecFile->Wave()->HasData()) << "both sides hold the take";

  Key(VK_HOME);
  Key(VK_F3);
  ASSERT_TRUE(deck->Playing);
  EXPECT_FALSE(deck->Infobutton->Enabled());
  AnswerEditors("Too soon");
  Key('I', ssAlt);
  EXPECT_EQ(0, Editors()) << "no editor while the take plays";
  Key(VK_F2);  // paused: the play file is still loaded again at its stop
  AnswerEditors("Too soon");
  deck->InfobuttonClick(deck->Infobutton);
  EXPECT_EQ(0, Editors());
  Key(VK_F2);
  Step(700);
  ASSERT_FALSE(deck->Playing);
  EXPECT_TRUE(deck->Infobutton->Enabled());

  AnswerEditors("Morning news");
  Key('I', ssAlt);
  EXPECT_EQ(1, Editors()) << "one editor for the one file";
  EXPECT_EQ("Morning news", Comment(take));

  // Recording over the start writes the recording side's lists at its finish, also after an edit
  // that leaves the file as long as it was.
  auto punchIn = [this] {
    Key(VK_HOME);
    Key(VK_F5);
    ASSERT_TRUE(deck->Recording);
    Step(200);
    Key(VK_F4);
  };
  punchIn();
  EXPECT_EQ("Morning news", Comment(take));
  const int64_t size = FileSize(take);
  *editors_ = 0;
  AnswerEditors("Evening news");
  Key('I', ssAlt);
  ASSERT_EQ(size, FileSize(take));
  punchIn();
  EXPECT_EQ("Evening news", Comment(take));
  EXPECT_NEAR(600, deck->WaveLength(), 60);
}

TEST_F(DeckInfo, AnEditTheCartsFileCannotTakeIsKeptAndTheOperatorToldWhy) {
  StartDeck();
  // Cue points another program put behind the samples: rewriting the tail would lose them.
  const std::string cued = dir.Path("cued.wav");
  std::string bytes = WriteTake(cued, 500) + "cue " + std::string{4, 0, 0, 0} + std::string(4, '\0');
  const uint32_t riff = uint32_t(bytes.size() - 8);
  for (int i = 0; i < 4; ++i) bytes[size_t(4 + i)] = char(riff >> (8 * i));
  ASSERT_TRUE(WriteWholeFile(cued, bytes));
  dialogs->AnswerFile(cued);
  deck->LoadCart1Click(deck);
  Pump();
  AnswerEditors("Morning news");
  Key('I', ssAlt);
  ASSERT_EQ(1, Editors());
  EXPECT_TRUE(Shown("The file did not take the edit: rewriting it would lose the \"cue \" chunk"))
      << Joined(dialogs->Texts());
  EXPECT_EQ(bytes, Read(cued));
  Key(VK_F7);

  // A read-only file is loaded play only; its edit stays with the cart.
  const std::string locked = dir.Path("locked.wav");
  const std::string take = WriteTake(locked, 500);
  ASSERT_TRUE(SetReadOnly(locked, true));
  dialogs->Clear();
  dialogs->AnswerFile(locked);
  deck->LoadCart1Click(deck);
  Pump();
  ASSERT_TRUE(deck->PlayOnly);
  *editors_ = 0;
  AnswerEditors("Evening news");
  Key('I', ssAlt);
  ASSERT_EQ(1, Editors());
  EXPECT_TRUE(Shown("The file did not take the edit: it is read-only.")) << Joined(dialogs->Texts());
  EXPECT_EQ(take, Read(locked));
  EXPECT_EQ("Evening news",
            InfoItemText(deck->PlayFile->Wave()->IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))));
}

TEST_F(DeckInfo, TheSaveDialogAsksForTheSupervisorWhileTheTargetIsLockedOut) {
  StartDeck();
  RecordTake(300);
  const std::string take = Read(deck->RecordFileName);
  ASSERT_TRUE(ForceDirectories(dir.Path("out/")));
  const std::string target = dir.Path("out/News.wav");
  ASSERT_TRUE(WriteWholeFile(target, "written a moment ago"));
  deck->UserData.cart.saveFolder = dir.Path("out/");
  deck->UserData.cart.lockoutHours = 1;
  deck->Config.safetySave = true;
  deck->Config.supervisorPassword = "boss";

  // Cancel in the lockout window refuses the file; the dialog is then cancelled.
  dialogs->AnswerFile(target);
  dialogs->AnswerMessage(mrYes);  // replace it?
  dialogs->CancelFile();
  bool asked = false;
  WhenModal([this, &asked] {
    if (!deck->Form9->Modal()) return;
    asked = true;
    deck->Form9->Button2->Click();
  });
  Key(VK_F9);
  EXPECT_TRUE(asked);
  EXPECT_EQ(deck->UserData.lockoutFileName, target);
  EXPECT_EQ("written a moment ago", Read(target));
  const ShownDialog& first = dialogs->Shown().front();
  EXPECT_TRUE(first.file);
  EXPECT_EQ("Solvane Save Wave File", first.text);

  // The supervisor's password lets the save go on.
  dialogs->AnswerFile(target);
  dialogs->AnswerMessage(mrYes);
  WhenModal([this] {
    if (!deck->Form9->Modal()) return;
    deck->Form9->Edit1->SetText("boss");
    deck->Form9->Button1->Click();
  });
  Key(VK_F9);
  EXPECT_EQ(take, Read(target));
}
