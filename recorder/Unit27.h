#pragma once
// "Quick Load": a name prefix and a cart length picked from the prefix file before a quick cart
// is made.
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"
#include "recorder/CartNames.h"
#include "recorder/DeckKit.h"

class TDialogDeck;
class TFormResizer;

class TForm27 : public plat::TForm {
public:
  explicit TForm27(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm27"; }

  plat::TListBox* ListBox1 = nullptr;
  TDeckButton* Button1 = nullptr;  // "&Load "
  TDeckButton* Button2 = nullptr;  // "&Cancel"
  TDeckStatusBar* StatusBar1 = nullptr;
  TFormResizer* FormResizer1 = nullptr;

  void FormCreate(plat::TObject* Sender);
  void FormShow(plat::TObject* Sender);
  void FormResize(plat::TObject* Sender);
  void Button1Click(plat::TObject* Sender);
  void Button2Click(plat::TObject* Sender);
  void ListBox1DblClick(plat::TObject* Sender);
  void ListBox1KeyDown(plat::TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void FormDestroy(plat::TObject* Sender);

  // Reads the prefix file named in the deck's settings into the list (empty without one).
  void LoadPrefixes();
  // The entries in the order the list shows them.
  const std::vector<TPrefixEntry>& Entries() const { return entries_; }

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
  std::vector<TPrefixEntry> entries_;
};

extern TForm27* Form27;
