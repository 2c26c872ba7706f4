#pragma once
#include "recorder/Unit18.h"

// "Copy To New Program": a new program that starts as a copy of the selected one.
class TForm19 : public TProgramForm {
public:
  TForm19(plat::TComponent* owner, TUserDeck& deck);
  std::string ClassName() const override { return "TForm19"; }
};
