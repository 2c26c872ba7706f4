#pragma once
// What the deck's own dialogs read and write of the deck. The main form (TSVMain) implements it;
// each dialog finds it with DeckOf<TDialogDeck>(owner). The punch-in panel has its own,
// TPunchInDeck (Unit22.h); the users, programs and sending windows have TUserDeck (UserDeck.h).
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system/names.h"
#include "recorder/Notices.h"
#include "recorder/Settings.h"

class TDialogDeck {
public:
  virtual ~TDialogDeck() = default;

  // The program's folder, with a trailing "/": the settings file lives there.
  virtual const std::string& ProgramFolder() const = 0;
  virtual const TDeckSettings& Settings() const = 0;
  virtual void Notify(TNoticeKind kind, const std::string& text) = 0;
  // A time as the deck shows it.
  virtual std::string FormatTime(int64_t ms) const = 0;

  // "Standard Cart Settings" (TForm3). For a blank custom cart (kind "CUSTOM") it sets that cart's
  // format and length; otherwise the standard cart's, which it reads as the settings file has them.
  virtual bool SettingUpCustomCart() const = 0;
  virtual void StandardCart(int& format, int& length) = 0;
  virtual void SetCustomCart(int format, int length) = 0;

  // "Scanning File ..." (TForm4): the file chosen for a non-destructive edit, and its copy.
  virtual std::string CopySourceFile() const = 0;
  virtual std::string CopyTargetFile() const = 0;

  // "Saving File" (TForm5).
  virtual std::string CartFileName() const = 0;  // the take to save
  // The folder the deck holds for its takes, with a trailing "/": nothing is saved into it.
  virtual std::string DeckTempFolder() const = 0;
  // A by-name cart goes into the save folder under its own name; any other where the save dialog
  // chose.
  virtual bool SavesByName() const = 0;
  virtual std::string SaveDialogFileName() const = 0;
  // The file the save dialog asked about ("... already exists. Do you want to replace it?") and
  // the operator agreed to replace; none when it asked nothing.
  virtual plat::FileIdentity SaveReplaceAgreed() const = 0;
  // The cart's file was made in the temporary folder: saving moves it rather than copying it.
  virtual bool CartMadeHere() const = 0;
  // The take's file went while it was being moved (a clean-up emptied its folder): the deck writes
  // it out again from what it holds, telling the operator, and says whether the take stands at
  // CartFileName() once more, to be saved from there.
  virtual bool TakeBackForSave() = 0;
  // Three copies failed: the cart becomes "QUICK", so that the next save asks for a name.
  virtual void SaveGaveUp() = 0;
  // The deck plays and records the saved file from now on.
  virtual void TakeSavedFile(const std::string& path) = 0;
  // The take is saved: unchanged, no save running. Until WatchCartFile, Record does not check
  // that the cart's file still exists.
  virtual void SaveFinished() = 0;
  // The saved take cannot be opened where it was saved (its folder was moved): the deck empties.
  virtual void LetSavedTakeGo() = 0;
  virtual void WatchCartFile() = 0;
  virtual bool StartProgram(const std::string& path, const std::vector<std::string>& args) = 0;

  // "Load By Name" (TForm7): a name already checked and given ".wav" becomes the deck's by-name
  // entry, and the deck loads or makes that cart; false keeps the dialog open.
  virtual bool LoadByNameEntry(const std::string& name) = 0;

  // "Go To Time" (TForm23): the time typed, "HH:MM:SS".
  virtual void SetGoToText(const std::string& text) = 0;

  // "Recording Time Remaining Warning Settings" (TForm26) changes the deck's settings in place.
  virtual TDeckSettings& ChangeSettings() = 0;

  // "Quick Load" (TForm27): the prefix chosen, shown and as a length; both empty: none.
  virtual void ChoosePrefix(const std::string& display, const std::string& value) = 0;
};
