// The saving window's moves and copies, its "Copy (n) of" names, the program run after a save, and
// the copy window of the non-destructive edit.
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "DeckHarness.h"
#include "recorder/DeckTemp.h"

using namespace plat;

namespace {
class Saving : public DeckHarness {
protected:
  void SetUp() override {
    DeckHarness::SetUp();
    StartDeck(false);
    ASSERT_TRUE(CreateDir(dir.Path("save")));
    deck->Config.savePath = dir.Path("save/");
    dialogs->Clear();
  }
  // A take in the deck as the save starts, bound for target.
  std::string Load(const std::string& source, const char* origin, const std::string& target) {
    std::string data = WriteTake(source, 300);
    deck->CartOrigin = origin;
    deck->CartKind = KindPlay;
    deck->RecordFileName = source;
    deck->PlayFile->Wave()->SetFileName(source);
    deck->ChangedSinceSave = true;
    deck->SaveDialog1->FileName = target;
    // The save dialog asked about what stands at target, and the operator agreed to replace it.
    deck->SaveDialog1->ReplaceAgreed = IdentifyFile(target);
    return data;
  }
};
}  // namespace

TEST_F(Saving, ASecondAttemptSavesUnderACopyName) {
  // The first name is a folder, so the copy goes inside it under the take's name, and that is a
  // folder with something in it, which no copy may replace. "Copy (1) of Morning.wav" is free.
  ASSERT_TRUE(ForceDirectories(dir.Path("save/Morning.wav/take.wav")));
  ASSERT_TRUE(WriteWholeFile(dir.Path("save/Morning.wav/take.wav/keep"), "k"));
  const std::string data = Load(dir.Path("take.wav"), OriginExisting, dir.Path("save/Morning.wav"));
  dialogs->AnswerMessage(mrYes);
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  const std::string saved = dir.Path("save/Copy (1) of Morning.wav");
  EXPECT_EQ(Read(saved), data);
  EXPECT_EQ(dialogs->Texts(), (std::vector<std::string>{
                                  "Attempt 1\r\n\r\nFile could NOT be saved. Do you want to try again?",
                                  "Please Note!!! Solvane had trouble saving your file. It was \r\nsuccessfully saved "
                                  "under a different name.\r\n\r\nThe saved name is: " +
                                      saved + "\r\n\r\nPlease make a note of this."}));
  // The deck plays the saved file from now on; the original stays where it was.
  EXPECT_EQ(deck->RecordFileName, saved);
  EXPECT_EQ(deck->PlayFile->Wave()->FileName(), saved);
  EXPECT_FALSE(deck->ChangedSinceSave);
  EXPECT_EQ(Read(dir.Path("take.wav")), data);
  EXPECT_EQ(Read(dir.Path("save/Morning.wav/take.wav/keep")), "k");
}

TEST_F(Saving, ANewTakeMovesOverTheTargetWithoutDeletingItFirst) {
  const std::string source = DeckTemp() + "Untitled.wav", target = dir.Path("save/News.wav");
  ASSERT_TRUE(WriteWholeFile(target, "yesterday"));
  // Whoever still holds the old file keeps it whole: it was replaced, never rewritten.
  ASSERT_EQ(::link(target.c_str(), dir.Path("kept").c_str()), 0);
  const std::string data = Load(source, OriginOriginate, target);
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  EXPECT_EQ(Read(target), data);
  EXPECT_FALSE(FileExists(source));
  EXPECT_EQ(Read(dir.Path("kept")), "yesterday");
  EXPECT_EQ(deck->CartOrigin, OriginExisting);

  // A take that cannot move (here it went missing) leaves the file at the target alone.
  ASSERT_TRUE(WriteWholeFile(target, "yesterday"));
  Load(source, OriginOriginate, target);
  ASSERT_EQ(::unlink(source.c_str()), 0);
  EXPECT_EQ(Form5->SaveFile(), mrCancel);
  EXPECT_EQ(dialogs->Texts(),
            std::vector<std::string>{"File Copy Error!\r\n\r\n" + source + "\r\nThat file or folder does not exist."});
  EXPECT_EQ(Read(target), "yesterday");
  EXPECT_EQ(deck->CartOrigin, OriginOriginate);
}

TEST_F(Saving, OntoItselfTheAfterSaveProgramStillRuns) {
  const std::string source = dir.Path("save/News.wav");
  Load(source, OriginExisting, dir.Path("save/../save/News.wav"));
  // The program named for after a save gets the saved path as its only argument.
  const std::string script = home + "after.sh";
  ASSERT_TRUE(WriteWholeFile(script, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"" + dir.Path("ran.tmp") +
                                         "\"\nmv \"" + dir.Path("ran.tmp") + "\" \"" + dir.Path("ran") + "\"\n"));
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
  deck->Config.launchAfterSave = "after.sh";  // no "/": taken from the program folder
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  for (int i = 0; i < 500 && !FileExists(dir.Path("ran")); ++i) SleepMs(10);  // a program of its own
  EXPECT_EQ(Read(dir.Path("ran")), "1|" + source);

  // One that cannot be started says so, naming the setting as written; the save stands.
  ASSERT_TRUE(WriteWholeFile(home + "noexec.sh", "#!/bin/sh\n"));
  ASSERT_EQ(::chmod((home + "noexec.sh").c_str(), 0644), 0);
  deck->Config.launchAfterSave = "noexec.sh";
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{"Error calling noexec.sh \r\nLook in Solvane.INI for setting"});
}

// The next Eject would delete it: a by-name take (here one left in the temporary folder, which
// would be saved onto itself) is not saved into the temporary folder however it is spelled.
TEST_F(Saving, NothingIsSavedIntoTheTemporaryFolder) {
  const std::string source = DeckTemp() + "Untitled.wav";
  const std::string data = Load(source, OriginExisting, "");
  deck->CartKind = KindByName;
  ASSERT_EQ(::symlink(DeckTemp().c_str(), dir.Path("temp link").c_str()), 0);
  deck->Config.savePath = dir.Path("temp link/");
  ASSERT_TRUE(deck->SavesByName());
  EXPECT_EQ(Form5->SaveFile(), mrCancel);
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{SaveIntoTempText(DeckTemp())});
  EXPECT_EQ(Read(source), data);
  EXPECT_EQ(deck->CartOrigin, OriginExisting);
  EXPECT_TRUE(deck->ChangedSinceSave);
}

TEST_F(Saving, NamesDifferingOnlyInCaseAreTwoFiles) {
  ASSERT_TRUE(WriteWholeFile(dir.Path("save/NEWS.WAV"), "another take"));
  const std::string data = Load(dir.Path("save/News.wav"), OriginExisting, dir.Path("save/NEWS.WAV"));
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  EXPECT_EQ(Read(dir.Path("save/NEWS.WAV")), data);
  EXPECT_EQ(deck->RecordFileName, dir.Path("save/NEWS.WAV"));
}

TEST_F(Saving, TheCopyWindowCopiesWholeOrNotAtAll) {
  const std::string data = WriteTake(dir.Path("take.wav"), 700);
  deck->CopySource = dir.Path("take.wav");
  deck->CopyPath = DeckTemp() + "take.WAV";
  EXPECT_EQ(Form4->ShowModal(), mrOk);  // the window's timer runs the copy
  EXPECT_EQ(Read(deck->CopyPath), data);
  // Cancel pressed while the copy runs (it handles the click between two blocks): the copy stops
  // and no half file is left where the deck would open it.
  Form4->SetModalResult(mrNone);
  QMetaObject::invokeMethod(
      qApp, [] { Form4->Button1Click(Form4->Button1); }, Qt::QueuedConnection);
  EXPECT_FALSE(Form4->CopyFile(deck->CopySource, DeckTemp() + "other.WAV"));
  EXPECT_FALSE(FileExists(DeckTemp() + "other.WAV"));
  EXPECT_EQ(Form4->ModalResult(), mrNone);  // the copy, not the click, ends the window
}

// A name that another file took after the save dialog's question, or one the folder cannot hold:
// the file there stays, and the operator hears where the take went, or why it could not go.
TEST_F(Saving, ATakenNameIsKeptAndARefusedNameIsExplained) {
  const std::string source = DeckTemp() + "Untitled.wav", target = dir.Path("save/News.wav");
  std::string data = Load(source, OriginOriginate, target);  // free when the dialog asked
  ASSERT_TRUE(WriteWholeFile(target, "written meanwhile"));
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  const std::string copy = dir.Path("save/Copy (1) of News.wav");
  EXPECT_EQ(Read(target), "written meanwhile");
  EXPECT_EQ(Read(copy), data);
  EXPECT_EQ(deck->RecordFileName, copy);
  EXPECT_EQ(dialogs->Texts(),
            std::vector<std::string>{"A file that nobody chose to replace holds the name\r\n" + target +
                                     "\r\nso it was left as it is, and this take was saved under a different "
                                     "name.\r\n\r\nThe saved name is: " +
                                     copy + "\r\n\r\nPlease make a note of this."});

  // What the operator agreed to replace is a FIFO: it stays, and the message says why.
  dialogs->Clear();
  const std::string fifo = dir.Path("save/Pipe.wav");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  data = Load(source, OriginOriginate, fifo);
  ASSERT_TRUE(deck->SaveDialog1->ReplaceAgreed.exists);
  ASSERT_EQ(Form5->SaveFile(), mrOk);
  const std::string pipeCopy = dir.Path("save/Copy (1) of Pipe.wav");
  EXPECT_EQ(Read(pipeCopy), data);
  struct stat st {};
  EXPECT_TRUE(::lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_EQ(dialogs->Texts(),
            std::vector<std::string>{"What stands at the name\r\n" + fifo +
                                     "\r\nis not a regular file but a FIFO, a socket or a device, which Solvane "
                                     "never replaces, so it was left as it is, and this take was saved under a "
                                     "different name.\r\n\r\nThe saved name is: " +
                                     pipeCopy + "\r\n\r\nPlease make a note of this."});

  dialogs->Clear();
  const std::string tooLong = dir.Path("save/" + std::string(300, 'N') + ".wav");
  data = Load(source, OriginOriginate, tooLong);
  EXPECT_EQ(Form5->SaveFile(), mrCancel);
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{"File Copy Error!\r\n\r\n" + tooLong +
                                                       "\r\nThe name is too long for that folder."});
  EXPECT_EQ(Read(source), data) << "the take stays in the deck";
  EXPECT_EQ(deck->CartOrigin, OriginOriginate);
}

// The destination folder moved while the take was copied into it: the take is whole in the folder
// wherever it went, and the operator is told that place instead of a call to technical support.
TEST_F(Saving, ATakeWhoseFolderMovedIsFoundWhereItWent) {
  const std::string source = dir.Path("take.wav");
  ASSERT_TRUE(CreateDir(dir.Path("save/carts")));
  const std::string data = Load(source, OriginExisting, dir.Path("save/carts/News.wav"));
  // The copy lets the window handle its messages before its first block: the folder moves then.
  QMetaObject::invokeMethod(
      qApp, [&] { ASSERT_EQ(::rename(dir.Path("save/carts").c_str(), dir.Path("save/moved").c_str()), 0); },
      Qt::QueuedConnection);
  EXPECT_EQ(Form5->SaveFile(), mrOk);
  const std::string now = dir.Path("save/moved/News.wav");
  EXPECT_EQ(Read(now), data);
  EXPECT_EQ(dialogs->Texts(),
            std::vector<std::string>{"The take was saved, but its folder was moved or renamed meanwhile, so the deck "
                                     "cannot open it.\r\n\r\nThe saved take is now: " +
                                     now + "\r\n\r\nThe deck has been emptied."});
  EXPECT_TRUE(deck->DeckEmpty);
  EXPECT_FALSE(deck->ChangedSinceSave);
  EXPECT_EQ(Read(source), data) << "an opened take is copied, never moved";
  EXPECT_TRUE(ListFiles(dir.Path("save/moved"), ".*").empty()) << "no hidden copy is left";
}
