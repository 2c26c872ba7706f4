#include "recorder/Unit27.h"

#include <algorithm>

#include "controls/FormResizer.h"
#include "platform/system/files.h"
#include "platform/ui/strings.h"
#include "recorder/FormParts.h"
#include "recorder/DialogDeck.h"
#include "recorder/Users.h"

using namespace plat;

TForm27* Form27 = nullptr;

TForm27::TForm27(TComponent* owner) : TForm(owner), deck_(DeckOf<TDialogDeck>(owner)) {
  SetName("Form27");
  SetCaption("Quick Load");
  SetBorderStyle(bsSizeable);
  SetPosition(poScreenCenter);
  SetClientWidth(300);
  SetClientHeight(320 + 19);

  ListBox1 = PlaceControl<TListBox>(this, this, 8, 8, 284, 264);
  ListBox1->OnDblClick = [this](TObject* s) { ListBox1DblClick(s); };
  ListBox1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { ListBox1KeyDown(s, k, sh); };
  Button1 = PlaceControl<TDeckButton>(this, this, 60, 282, 85, 28, "&Load ");
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = PlaceControl<TDeckButton>(this, this, 155, 282, 85, 28, "&Cancel");
  Button2->SetCancel(true);
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };

  StatusBar1 = PlaceStatusBar(this);

  FormResizer1 = new TFormResizer(this);
  FormResizer1->SetEnforceMinSize(true);

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnResize = [this](TObject* s) { FormResize(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
}

void TForm27::FormCreate(TObject*) {
  FormResizer1->RecordLayout();
  LoadPrefixes();
}

void TForm27::LoadPrefixes() {
  entries_.clear();
  ListBox1->Clear();
  if (!deck_) return;
  const TDeckSettings& c = deck_->Settings();
  if (c.prefixFile.empty()) return;
  // Read without waiting on what stands at the name: a FIFO there would hold the deck for good.
  const SmallFile file = ReadSmallFile(c.prefixFile);
  if (file.Refused()) deck_->Notify(TNoticeKind::Warning, SmallFileRefusal(c.prefixFile, file));
  if (!file.Ok()) return;
  TStringList lines;
  lines.SetText(file.data);
  std::vector<std::string> text;
  for (int i = 0; i < lines.Count(); ++i) text.push_back(lines.Strings(i));
  entries_ = ParsePrefixLines(text, c.standardLength);
  // Sorted by what the list shows, so that each entry keeps its own value (sorting the whole
  // lines instead could pair a name with its neighbour's length).
  if (c.prefixSort)
    std::stable_sort(entries_.begin(), entries_.end(), [&](const TPrefixEntry& a, const TPrefixEntry& b) {
      return lines.CompareStrings(a.display, b.display) < 0;
    });
  ListBox1->Items()->BeginUpdate();
  for (const TPrefixEntry& e : entries_) ListBox1->Items()->Add(e.display);
  ListBox1->Items()->EndUpdate();
}

void TForm27::FormShow(TObject*) {
  if (ListBox1->Items()->Count() == 0) return;
  ListBox1->SetItemIndex(0);
  SetActiveControl(ListBox1);
  FocusControl(ListBox1);
}

void TForm27::FormResize(TObject*) { FormResizer1->ResizeControls(); }

void TForm27::Button1Click(TObject*) {
  const int i = ListBox1->ItemIndex();
  if (i < 0 || i >= int(entries_.size())) return;  // nothing chosen yet: the list stays open
  // The prefix starts the cart's file name in the temporary folder.
  const std::string& prefix = entries_[size_t(i)].display;
  if (HasIllegalFileChars(prefix)) {
    deck_->Notify(TNoticeKind::Warning, "The prefix " + prefix +
                                            " cannot start a file name: it contains illegal "
                                            "character(s): \\/:*?\"<>|. Correct it in the prefix file.");
    return;
  }
  deck_->ChoosePrefix(entries_[size_t(i)].display, entries_[size_t(i)].value);
  SetModalResult(mrOk);
}

void TForm27::Button2Click(TObject*) {
  deck_->ChoosePrefix("", "");
  SetModalResult(mrCancel);
}

void TForm27::ListBox1DblClick(TObject* Sender) { Button1Click(Sender); }

void TForm27::ListBox1KeyDown(TObject* Sender, uint16_t& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  Key = 0;
  Button1Click(Sender);
}

void TForm27::FormDestroy(TObject*) { entries_.clear(); }
