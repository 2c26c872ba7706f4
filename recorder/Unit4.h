#pragma once
// "Scanning File ...": copies the file chosen for a non-destructive edit into the temporary
// folder, with a gauge and a Cancel button.
#include <cstdint>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "recorder/DeckKit.h"
#include "recorder/FormParts.h"

class TDialogDeck;

class TForm4 : public TFileJobForm {
public:
  explicit TForm4(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm4"; }

  // 1000 ms after showing: the copy.
  void Timer1Timer(plat::TObject* Sender) override;

  // Copies the deck's chosen source to its copy path; the copy is whole or not there at all.
  bool CopyFile(const std::string& source, const std::string& target);
  // Whether path exists with the attribute: faDirectory or faReadOnly.
  static bool HasAttr(const std::string& path, int attribute);
  // The file's size in bytes, -1 when there is no such file.
  static int64_t GetFileSize(const std::string& path);
  static constexpr int faReadOnly = 0x01;
  static constexpr int faDirectory = 0x10;

  void SetDeck(TDialogDeck* deck) { deck_ = deck; }

private:
  TDialogDeck* deck_;
};

extern TForm4* Form4;
