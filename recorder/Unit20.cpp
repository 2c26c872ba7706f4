#include "recorder/Unit20.h"

TForm20::TForm20(plat::TComponent* owner, TUserDeck& deck)
    : TProgramForm(owner, deck, TProgramDialogMode::Edit, "Edit Program") {
  OnShow = [this](plat::TObject*) { ShowSelectedProgram(); };
}
