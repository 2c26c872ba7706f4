#include "recorder/Unit19.h"

TForm19::TForm19(plat::TComponent* owner, TUserDeck& deck)
    : TProgramForm(owner, deck, TProgramDialogMode::Copy, "Copy To New Program") {
  OnShow = [this](plat::TObject*) { ShowSelectedProgram(); };
}
