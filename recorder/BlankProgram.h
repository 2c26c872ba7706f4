#pragma once
// The choices of the blank-program list: line 0 is an automatically named quick cart in the
// standard format and length, the lines after it are the current user's programs.
#include <cstdint>
#include <string>
#include <vector>

class TUserDeck;

// The list's lines as program records: the quick-cart line, then every program of the deck's
// table whose name is not empty. The standard format and length are read again from the
// settings file.
std::vector<std::string> BlankProgramLines(TUserDeck& deck);
// n + " of 250" for the selected line (n = line + 1).
std::string SelectionCounter(int line);

// Loads line `line` of the list into the deck's cart program. A program line whose length,
// format or lockout cannot be used is refused with an error (false); the program's own files
// never hold one, since every writer takes these fields from fixed lists and a digit mask.
bool LoadBlankProgram(TUserDeck& deck, const std::vector<std::string>& lines, int line);
