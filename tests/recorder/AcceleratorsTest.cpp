// Every menu and window of the program gives each accelerator letter to one item only: with two,
// an open menu runs neither and a window only the first it finds.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <map>
#include <set>

#include "DeckHarness.h"
#include "engine/MMCstDlg.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/menus.h"
#include "platform/ui/native_qt.h"
#include "recorder/FolderDialogs.h"
#include "recorder/Unit13.h"

using namespace plat;

namespace {

using Letters = std::vector<std::pair<char, std::string>>;  // letter, caption

class Accelerators : public DeckHarness {
protected:
  std::vector<std::string> clashes;
  std::set<std::string> walked;  // the windows' titles

  void Check(const std::string& where, const Letters& letters) {
    std::map<char, std::string> first;
    for (const auto& [letter, caption] : letters)
      if (auto [at, fresh] = first.emplace(letter, caption); !fresh)
        clashes.push_back(where + ": \"" + at->second + "\" and \"" + caption + "\" share " + letter);
  }

  void Menu(const std::string& where, TMenuItem* parent) {
    Letters letters;
    for (int i = 0; i < parent->Count(); ++i) {
      TMenuItem* item = parent->Items(i);
      if (item->IsLine()) continue;
      if (char a = GetHotkey(item->Caption())) letters.push_back({a, item->Caption()});
      if (item->Count()) Menu(where + " > " + StripHotkey(item->Caption()), item);
    }
    Check(where, letters);
  }

  void Menus(const std::string& where, TComponent* owner) {
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      TComponent* c = owner->Components(i);
      if (auto* m = dynamic_cast<TMenu*>(c); m && m->Items()->Count())
        Menu(where + " menu \"" + StripHotkey(m->Items()->Items(0)->Caption()) + "...\"", m->Items());
      Menus(where, c);
    }
  }

  // A page's controls answer only while it shows; its tab answers whichever page shows.
  static void Collect(TControl* c, Letters& into, std::vector<Letters>& pages) {
    if (char a = c->Accelerator()) into.push_back({a, c->Caption()});
    auto* w = dynamic_cast<TWinControl*>(c);
    for (int i = 0; w && i < w->ControlCount(); ++i) {
      if (dynamic_cast<TTabSheet*>(w->Controls(i))) {
        if (char a = w->Controls(i)->Accelerator()) into.push_back({a, w->Controls(i)->Caption()});
        Letters page;
        auto* sheet = static_cast<TWinControl*>(w->Controls(i));
        for (int k = 0; k < sheet->ControlCount(); ++k) Collect(sheet->Controls(k), page, pages);
        pages.push_back(page);
      } else {
        Collect(w->Controls(i), into, pages);
      }
    }
  }

  void Form(TCustomForm* f) {
    const std::string where = f->ClassName() + " \"" + f->Caption() + "\"";
    walked.insert(f->Caption());
    Letters common;
    std::vector<Letters> pages;
    for (int i = 0; i < f->ControlCount(); ++i) Collect(f->Controls(i), common, pages);
    Check(where, common);
    for (const Letters& page : pages) {
      Letters all = common;
      all.insert(all.end(), page.begin(), page.end());
      Check(where, all);
    }
    Menus(where, f);
  }

  // A window of Qt's own (file dialogs, message boxes), with any panel of ours inside it.
  void QtWindow(QWidget* window) {
    walked.insert(window->windowTitle().toStdString());
    Letters letters;
    for (QWidget* w : window->findChildren<QWidget*>()) {
      if (!w->isVisible()) continue;
      if (TControl* c = ControlOf(w)) {
        if (WidgetOf(c) == w)
          if (char a = c->Accelerator()) letters.push_back({a, c->Caption()});
        continue;
      }
      QString text;
      if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
      if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy()) text = l->text();
      if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title();
      if (auto* t = qobject_cast<QTabBar*>(w))
        for (int i = 0; i < t->count(); ++i)
          if (char a = GetHotkey(t->tabText(i).toStdString())) letters.push_back({a, t->tabText(i).toStdString()});
      if (char a = GetHotkey(text.toStdString())) letters.push_back({a, text.toStdString()});
    }
    Check(window->windowTitle().toStdString(), letters);
  }

  // Walks the modal window that open shows, then closes it.
  void WhileShown(const std::function<void()>& open) {
    WhenModal([this] {
      QWidget* w = QApplication::activeModalWidget();
      ASSERT_NE(w, nullptr);
      if (auto* f = dynamic_cast<TCustomForm*>(ControlOf(w))) {
        Form(f);
        f->SetModalResult(mrCancel);
      } else {
        QtWindow(w);
        if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
      }
    });
    open();
    Pump();
  }
};

}  // namespace

TEST_F(Accelerators, NoMenuOrWindowGivesOneLetterToTwoItems) {
  StartDeck();
  auto* form13 = NewForm<TForm13>(deck);  // made at start, never shown
  for (int i = 0; i < Screen->FormCount(); ++i) Form(Screen->Forms(i));

  WhileShown([&] { deck->LoadByName1Click(deck); });
  LoadTake(2000);
  WhileShown([&] { deck->InfobuttonClick(deck->Infobutton); });
  std::string chosen;
  WhileShown([&] { BrowseForFolder(home, chosen); });

  auto own = SetDialogService(nullptr);  // Qt's own dialogs
  WhileShown([&] { deck->OpenDialog1->Execute(); });
  WhileShown([&] { deck->SaveDialog1->Execute(); });
  TMMPictureOpenDialog picture(deck);
  picture.Title = "Open File";
  WhileShown([&] { picture.Execute(); });
  WhileShown([] { MessageDlg("Save?", mtConfirmation, Btn(mbYes) | Btn(mbNo) | Btn(mbCancel), 0); });
  SetDialogService(own);
  form13->Free();

  for (const char* title : {"Load By Name", "Wave-Info Editor", "Save Path\\Folder", "Solvane - Open Wave File",
                            "Solvane Save Wave File", "Open File", "User and Program Manager", "Edit Program"})
    EXPECT_TRUE(walked.count(title)) << title << " was not walked";
  EXPECT_TRUE(clashes.empty()) << Joined(clashes);
}
