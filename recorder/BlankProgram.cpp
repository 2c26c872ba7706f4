#include "recorder/BlankProgram.h"

#include <climits>
#include <ctime>

#include "platform/ui/inifiles.h"
#include "recorder/CartNames.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

namespace {

// The quick cart's automatic name at the deck's present time.
std::string QuickCartNow(TUserDeck& deck) {
  std::time_t t = std::time_t(deck.Now());
  std::tm local{};
  localtime_r(&t, &local);
  return QuickCart(local);
}

// The standard cart as the settings file holds it now.
void StandardCart(TUserDeck& deck, int& format, int& length) {
  plat::TIniFile ini(deck.Users().programFolder + SettingsFileName);
  try {
    ReadStandardCart(ini, format, length);
  } catch (const plat::EIniFileException&) {
    // A settings file we may not complete: its missing keys stand for their defaults.
    format = DefaultStandardFormat;
    length = DefaultStandardLength;
  }
}

// Row n of the table that holds the list's line n + 1.
const TProgramRow* ProgramOfLine(const TProgramTable& table, int line) {
  int seen = 0;
  for (const TProgramRow& row : table)
    if (!row[pfName].empty() && ++seen == line) return &row;
  return nullptr;
}

bool Hours(const std::string& text, int& hours) {
  if (Trim(text).empty()) {
    hours = 0;
    return true;
  }
  long long v = 0;
  if (!TryStrToInt(Trim(text), v) || v < 0 || v > INT_MAX) return false;
  hours = int(v);
  return true;
}

}  // namespace

std::vector<std::string> BlankProgramLines(TUserDeck& deck) {
  int format = DefaultStandardFormat, length = DefaultStandardLength;
  StandardCart(deck, format, length);
  const TUserFields& users = deck.Users();
  std::vector<std::string> lines;
  lines.push_back(ProgramRecord(
      {QuickCartNow(deck), LengthText(length), "QuickCart", FormatText(format), deck.Settings().savePath, "0"}));
  for (const TProgramRow& row : users.programList) {
    if (row[pfName].empty()) continue;
    lines.push_back(ProgramRecord(row));
    deck.ProcessMessages();
  }
  return lines;
}

std::string SelectionCounter(int line) { return std::to_string(line + 1) + " of 250"; }

bool LoadBlankProgram(TUserDeck& deck, const std::vector<std::string>& lines, int line) {
  if (line < 0 || size_t(line) >= lines.size()) return false;
  TProgramRow row;
  if (line == 0) {
    row = SplitProgramRecord(lines[0]);
    row[pfSavePath] = deck.Settings().savePath;  // a folder may hold the "|" of the record text
    row[pfLockout].clear();                      // the quick cart has no lockout
  } else {
    const TProgramRow* p = ProgramOfLine(deck.Users().programList, line);
    if (!p) return false;
    row = *p;
  }
  // The name becomes the cart's file name in the temporary folder.
  if (HasIllegalFileChars(row[pfName])) {
    deck.Notify(TNoticeKind::Error, "The program " + row[pfName] +
                                        " cannot be loaded: its name contains illegal "
                                        "character(s): \\/:*?\"<>|. Correct it in the User and "
                                        "Program Manager.");
    return false;
  }
  int length = 0, hours = 0;
  const int format = FormatNumber(row[pfFormat]);
  if (!LengthDigits(row[pfLength], length) || format < 0 || !Hours(row[pfLockout], hours)) {
    std::string text = "The program ";
    text += row[pfName];
    text +=
        " cannot be loaded: its length, format or lockout is not valid. Correct it in the "
        "User and Program Manager.";
    deck.Notify(TNoticeKind::Error, text);
    return false;
  }
  TCartProgram& cart = deck.Users().cart;
  cart.programName = row[pfName];
  cart.customLength = length;
  cart.customFormat = format;
  cart.saveFolder = row[pfSavePath];
  cart.lockoutHours = hours;
  return true;
}
