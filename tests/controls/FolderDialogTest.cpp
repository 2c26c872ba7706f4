#include <gtest/gtest.h>

#include <QListWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>

#include "KitTestSupport.h"
#include "common/scratch.h"
#include "controls/zeldlgs.h"
#include "controls/zelgraph.h"
#include "controls/zelprocs.h"
#include "platform/ui/native_qt.h"
#include "platform/ui/dialogs.h"

namespace fs = std::filesystem;

namespace {

// Runs the dialog; inside acts on the open window (and closes it) once it shows.
bool RunDialog(TZelDirDlg& d, std::function<void(TZelDirDlg&)> inside) {
  d.OnCustomize = [&d, inside](plat::TObject*) { QTimer::singleShot(0, [&d, inside] { inside(d); }); };
  return d.Execute();
}

plat::TButton* Button(TZelDirDlg& d, const std::string& name) {
  return dynamic_cast<plat::TButton*>(d.Window()->FindComponent(name));
}

void Press(TZelDirDlg& d, const std::string& name) {
  QTest::mouseClick(plat::WidgetOf(Button(d, name)), Qt::LeftButton);
}

// Answers the input query with name and records what it asked.
struct Asked {
  std::string caption, prompt;
};
void AnswerQuery(Asked& asked, const std::string& name, bool confirm = true) {
  ZelInputQueryHook = [&asked, name, confirm](const std::string& c, const std::string& p, std::string& v) {
    asked = {c, p};
    v = name;
    return confirm;
  };
}

}  // namespace

TEST(ZelDirDlg, CancelKeepsThePathAndOkKeepsItsCase) {
  Scratch scratch;
  const std::string mixed = scratch.Path("Carts/MiXeD Case");
  fs::create_directories(mixed + "/Sub");
  TZelDirDlg d(nullptr);
  d.SetPath(mixed);
  EXPECT_FALSE(RunDialog(d, [](TZelDirDlg& dlg) { Press(dlg, "CancelButton"); }));
  EXPECT_EQ(d.Path(), mixed);
  EXPECT_EQ(d.Window(), nullptr);  // the window is gone

  EXPECT_TRUE(RunDialog(d, [&](TZelDirDlg& dlg) {
    EXPECT_EQ(dlg.DirectoryList()->Directory(), mixed);
    Press(dlg, "OKButton");
  }));
  EXPECT_EQ(d.Path(), mixed);
  EXPECT_TRUE(fs::is_directory(d.Path()));

  // Opening a subfolder from the list, then OK.
  EXPECT_TRUE(RunDialog(d, [&](TZelDirDlg& dlg) {
    TZelDirectoryListBox* list = dlg.DirectoryList();
    const int last = list->Items()->Count() - 1;
    EXPECT_EQ(list->ItemPath(last), mixed + "/Sub");
    list->SetItemIndex(last);
    QTest::mouseDClick(plat::ListOf(list)->viewport(), Qt::LeftButton, {},
                       plat::ListOf(list)->visualItemRect(plat::ListOf(list)->item(last)).center());
    Press(dlg, "OKButton");
  }));
  EXPECT_EQ(d.Path(), mixed + "/Sub");

  // A folder that is gone: its nearest existing ancestor.
  d.SetPath(mixed + "/Gone/Deeper");
  EXPECT_TRUE(RunDialog(d, [](TZelDirDlg& dlg) { Press(dlg, "OKButton"); }));
  EXPECT_EQ(d.Path(), mixed);
}

TEST(ZelDirDlg, WindowTitleButtonsHintsAndPlace) {
  Scratch scratch;
  TZelDirDlg d(nullptr);
  d.SetPath(scratch.Root());
  d.Hints()->Add("Take this folder");
  d.Hints()->Add("Custom");
  d.Hints()->Add("Leave it");
  d.Hints()->Add("Folders");
  int customs = 0;
  d.SetCustomButton("&Home");
  d.OnCustomClick = [&](plat::TObject*) { ++customs; };
  RunDialog(d, [&](TZelDirDlg& dlg) {
    plat::TForm* w = dlg.Window();
    EXPECT_EQ(w->Caption(), "Select Path...");
    EXPECT_EQ(w->ClientWidth(), 395);
    EXPECT_EQ(w->ClientHeight(), 292);
    EXPECT_EQ(w->BorderStyle(), plat::bsDialog);
    EXPECT_EQ(Button(dlg, "OKButton")->Hint(), "Take this folder");
    EXPECT_EQ(Button(dlg, "CancelButton")->Hint(), "Leave it");
    EXPECT_EQ(dlg.DirectoryList()->Hint(), "Folders");
    EXPECT_EQ(dlg.DriveCombo()->Hint(), "");
    EXPECT_TRUE(Button(dlg, "CustomButton")->Visible());
    EXPECT_EQ(Button(dlg, "CustomButton")->Caption(), "&Home");
    EXPECT_FALSE(Button(dlg, "NewFolderButton")->Visible());
    EXPECT_EQ(dlg.DriveCombo()->Text(), "/");  // the volume that holds the folder
    Press(dlg, "CustomButton");
    // Centred on the screen by default (give or take the frame the window system reports).
    const plat::TRect screen = GetReferenceRect(0);
    EXPECT_NEAR(w->Left() + w->Width() / 2, screen.Left + screen.Width() / 2, 4);
    EXPECT_NEAR(w->Top() + w->Height() / 2, screen.Top + screen.Height() / 2, 30);
    Press(dlg, "CancelButton");
  });
  EXPECT_EQ(customs, 1);
  d.SetCaptionTitle("Save to");
  d.SetCustomButton("");
  RunDialog(d, [](TZelDirDlg& dlg) {
    EXPECT_EQ(dlg.Window()->Caption(), "Save to");
    EXPECT_FALSE(Button(dlg, "CustomButton")->Visible());
    Press(dlg, "CancelButton");
  });
}

TEST(ZelDirDlg, NewFolderIsMadeUnderTheCurrentOneOrRefused) {
  Scratch scratch;
  const std::string base = scratch.Path("Save");
  fs::create_directories(base);
  auto dialogs = std::make_shared<plat::QueuedDialogs>();
  auto saved = plat::SetDialogService(dialogs);
  TZelDirDlg d(nullptr);
  d.SetPath(base);
  d.SetAllowNewDir(true);
  Asked asked;

  AnswerQuery(asked, "");
  EXPECT_TRUE(RunDialog(d, [&](TZelDirDlg& dlg) {
    EXPECT_EQ(Button(dlg, "NewFolderButton")->Caption(), "&New Folder");
    Press(dlg, "NewFolderButton");
    Press(dlg, "OKButton");
  }));
  EXPECT_EQ(asked.caption, "New Folder");
  EXPECT_EQ(asked.prompt, "Name: (" + ShortenPath(base, 36) + ")");
  EXPECT_EQ(fs::directory_iterator(base), fs::directory_iterator());  // nothing made

  AnswerQuery(asked, "Morning Show");
  EXPECT_TRUE(RunDialog(d, [&](TZelDirDlg& dlg) {
    Press(dlg, "NewFolderButton");
    EXPECT_EQ(dlg.DirectoryList()->Directory(), base + "/Morning Show");
    Press(dlg, "OKButton");
  }));
  EXPECT_TRUE(fs::is_directory(base + "/Morning Show"));
  EXPECT_EQ(d.Path(), base + "/Morning Show");

  // A name that climbs out of the folder, or one that exists: refused with the message.
  for (const char* name : {"../Elsewhere", "Morning Show/.."}) {
    SCOPED_TRACE(name);
    AnswerQuery(asked, name);
    dialogs->AnswerMessage(plat::mrOk);
    d.SetPath(base);
    RunDialog(d, [&](TZelDirDlg& dlg) {
      Press(dlg, "NewFolderButton");
      EXPECT_EQ(dlg.DirectoryList()->Directory(), base);
      Press(dlg, "CancelButton");
    });
    ASSERT_FALSE(dialogs->Shown().empty());
    EXPECT_EQ(dialogs->Shown().back().text, "IO-Error!\rCould not create folder.");
    EXPECT_EQ(dialogs->Shown().back().type, plat::mtWarning);
  }
  EXPECT_FALSE(fs::exists(scratch.Path("Elsewhere")));
  const size_t messages = dialogs->Shown().size();
  int errors = 0;
  d.OnFolderError = [&](plat::TObject*) { ++errors; };
  AnswerQuery(asked, "Morning Show");  // exists already
  RunDialog(d, [&](TZelDirDlg& dlg) {
    Press(dlg, "NewFolderButton");
    Press(dlg, "CancelButton");
  });
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(dialogs->Shown().size(), messages);
  ZelInputQueryHook = nullptr;
  plat::SetDialogService(saved);
}

TEST(ZelDirDlg, VolumesFollowTheFolder) {
  TestForm form;
  auto* drives = new TZelDriveComboBox(form.Get());
  ASSERT_FALSE(drives->Volumes().empty());
  EXPECT_EQ(drives->Volumes().front(), "/");
  drives->SelectVolumeOf("/no/such/place");
  EXPECT_EQ(drives->Volume(), "/");
  for (const std::string& v : drives->Volumes()) {
    if (v == "/") continue;
    drives->SelectVolumeOf(v + "/x");
    EXPECT_EQ(drives->Volume(), v);
    drives->SelectVolumeOf(v + "x");  // a name that only starts the same is not under it
    EXPECT_NE(drives->Volume(), v);
  }
}
