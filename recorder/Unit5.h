#pragma once
// "Saving File": moves or copies the take in the deck to where it is saved, with up to three
// attempts under changing names, then runs the program the settings name for after a save.
#include <cstdint>
#include <string>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "recorder/CartFiles.h"
#include "recorder/DeckKit.h"
#include "recorder/FormParts.h"

class TDialogDeck;

class TForm5 : public TFileJobForm {
public:
  explicit TForm5(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm5"; }

  // How long the finished gauge stays before the after-save program runs.
  int SettleMs = 500;

  // 250 ms after showing: the save, its progress on Gauge1 (0..100 for a move, bytes for a copy).
  void Timer1Timer(plat::TObject* Sender) override;

  // The save itself (SaveTake): mrOk saved, mrCancel given up, mrRetry SaveAttempts copies failed
  // (the deck's cart is then "QUICK", so that the next pass asks for a name).
  int SaveFile();
  // One attempt: source copied to target (into it, when target is a folder); false when it failed
  // or was cancelled.
  bool CopyFile(const std::string& source, const std::string& target);
  // Runs [GUI] "Launch After Save" with the saved file as its argument.
  void DoAfterSave(const std::string& path);
  // Free kilobytes of the file system that holds path; -1 when that cannot be told.
  static int64_t DiskSize(const std::string& path);

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  // Where the take goes: "SAVE PATH" and its own name for a by-name cart, else the save dialog's.
  std::string SaveTarget(const std::string& source) const;
  TDialogDeck* deck_;
};

extern TForm5* Form5;
