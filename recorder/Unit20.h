#pragma once
#include "recorder/Unit18.h"

// "Edit Program": the selected program, changed in place.
class TForm20 : public TProgramForm {
public:
  TForm20(plat::TComponent* owner, TUserDeck& deck);
  std::string ClassName() const override { return "TForm20"; }
};
