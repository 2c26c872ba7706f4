#include "recorder/Sending.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/system/files.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

// ---- the two lists ------------------------------------------------------------------------------

std::vector<TAddressEntry> ParseAddressBook(const std::string& text) {
  std::vector<TAddressEntry> book;
  size_t from = 0;
  while (book.size() < size_t(AddressBookEntries)) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) break;  // a last line without its line end is not read
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    from = end + 1;

    TAddressEntry e;
    e.line = line;
    size_t semi = line.find(';');
    e.destination = line.substr(0, semi);
    if (semi != std::string::npos) {
      std::string rest = line.substr(semi + 1);
      size_t f = 0;
      while (e.folders.size() < size_t(AddressBookFolders)) {
        size_t comma = rest.find(',', f);
        e.folders.push_back(rest.substr(f, comma == std::string::npos ? comma : comma - f));
        if (comma == std::string::npos) break;
        f = comma + 1;
      }
    }
    book.push_back(std::move(e));
  }
  return book;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = text.find_first_of("\r\n", i);
    if (j == std::string::npos) j = text.size();
    lines.push_back(text.substr(i, j - i));
    if (j < text.size() && text[j] == '\r') ++j;
    if (j < text.size() && text[j] == '\n') ++j;
    i = j;
  }
  return lines;
}

std::vector<std::string> WebDestinations(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::string t = Trim(line);
    if (!t.empty() && t[0] == ';') continue;
    size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    out.push_back(line.substr(0, semi));
  }
  return out;
}

TSendLists LoadSendLists(const std::string& programFolder, const TNotify& notify) {
  TSendLists lists;
  const auto read = [&](const char* name) {
    const std::string path = programFolder + name;
    plat::SmallFile file = plat::ReadSmallFile(path);
    if (file.Refused() && notify) notify(TNoticeKind::Warning, plat::SmallFileRefusal(path, file));
    return std::move(file.data);
  };
  lists.addressBook = ParseAddressBook(read(AddressBookFile));
  lists.webList = SplitLines(read(WebListFile));
  return lists;
}

std::vector<std::string> AddressDestinations(const std::vector<TAddressEntry>& book) {
  std::vector<std::string> out;
  for (const TAddressEntry& e : book) {
    if (e.destination.empty()) break;
    out.push_back(e.destination);
  }
  return out;
}

std::vector<std::string> EntryFolders(const TAddressEntry& entry) {
  std::vector<std::string> out;
  for (const std::string& f : entry.folders) {
    if (f.empty()) break;
    out.push_back(f);
  }
  return out;
}

// ---- addresses, arguments and order files ---------------------------------------------------------

namespace {

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// A character of the part before the "@". Of the characters from "A" upward only letters and "_"
// are allowed; below "A", what addresses allow without quoting.
bool LocalChar(unsigned char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' ||
         std::string_view("!#$%&'*+-/=?.").find(char(c)) != std::string_view::npos;
}

// A host name: labels of letters, digits and "-", neither starting nor ending with "-", joined
// by single dots, at least two labels.
bool ValidDomain(const std::string& d) {
  size_t labels = 0, from = 0;
  for (;;) {
    const size_t dot = d.find('.', from);
    const std::string label = d.substr(from, dot == std::string::npos ? dot : dot - from);
    if (label.empty() || label.front() == '-' || label.back() == '-') return false;
    for (unsigned char c : label)
      if (!IsLetter(c) && !IsDigit(c) && c != '-') return false;
    ++labels;
    if (dot == std::string::npos) return labels >= 2;
    from = dot + 1;
  }
}

}  // namespace

bool IsValidEmailAddress(const std::string& a) {
  if (a.size() < 6 || a[0] == '.') return false;
  const size_t at = a.find('@');
  if (at == std::string::npos || a.find('@', at + 1) != std::string::npos) return false;
  if (at == 0 || at + 1 == a.size() || a[at - 1] == '.') return false;
  const std::string local = a.substr(0, at);
  if (local.find("..") != std::string::npos) return false;
  for (unsigned char c : local)
    if (!LocalChar(c)) return false;
  return ValidDomain(a.substr(at + 1));
}

std::vector<std::string> EmailArguments(const std::string& programFolder, const std::string& destination,
                                        const std::string& folder) {
  return {"To=" + Trim(destination), "File=" + programFolder + MailFileName, "Folder=" + Trim(folder),
          "Root=" + plat::ExcludeTrailingPathDelimiter(programFolder)};
}

std::vector<std::string> WebArguments() { return {"/x", "/PEXE"}; }

std::string OrderText(const std::string& path) { return "[" + path + "]"; }

namespace {

// One line of an order file, whatever line breaks the text holds.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

std::string WebOrderDat(const std::string& fileName, const std::string& destination) {
  std::string text;
  for (int line = 1; line <= WebOrderLines; ++line) {
    if (line == 3) text += OneLine(fileName);
    if (line == 6) text += OneLine(destination);
    text += "\r\n";
  }
  return text;
}

std::string WebOrderPath(const std::string& dropFolder, const std::string& file, const std::string& ext) {
  return plat::IncludeTrailingPathDelimiter(dropFolder) + plat::ChangeFileExt(plat::ExtractFileName(file), ext);
}

// ---- the two roads ------------------------------------------------------------------------------

namespace {

bool StillRunning(const plat::TRunning& program) { return program && program->load(); }

// The e-mail program keeps its order locked for as long as it runs (SendEmail), so one started by
// an earlier run of the deck is seen too.
bool MailProgramRunning(const TUserFields& users) {
  return StillRunning(users.emailProgram) || plat::FileLocked(users.programFolder + MailFileName);
}

}  // namespace

void DeleteMailFile(const TUserFields& users) {
  if (MailProgramRunning(users)) return;  // it may not have read its order yet
  if (plat::FileExists(users.programFolder + MailFileName)) plat::DeleteFile(users.programFolder + MailFileName);
}

namespace {

std::string WhyNotStarted(int error) {
  switch (error) {
    case EACCES:
      return "it may not be run (Permission denied): it is not marked executable, or its file system lets no "
             "program run";
    case ENOEXEC:
      return "it is not a program (Exec format error): neither a program for this computer nor a script that "
             "starts with #!";
    case ENOENT: return "it is not there, or the interpreter its #! line names is not (No such file or directory)";
    default: return std::strerror(error);
  }
}

}  // namespace

std::string ProgramNotStartedText(const std::string& kind, const std::string& path, int error) {
  return "Error calling " + kind + " program " + path + ": " + WhyNotStarted(error) + ".";
}

std::string ProgramEndedText(const std::string& kind, const std::string& path, const plat::ProcessEnd& end) {
  if (end.Ok()) return {};
  const std::string how = end.signal ? "was ended by signal " + std::to_string(end.signal) + " (" + end.signalName + ")"
                                     : "ended with an error (exit code " + std::to_string(end.exitCode) + ")";
  return "The " + kind + " program " + path + " " + how + ": the file may not have been sent.";
}

bool EmailProgramPresent(const std::string& programFolder) {
  return plat::FileExists(programFolder + EmailProgramName);
}

bool WebProgramPresent(const std::string& programFolder) { return plat::FileExists(programFolder + WebProgramName); }

namespace {

// The cart's file must still be there; otherwise the deck says so and ejects it.
bool CartFileAvailable(TUserDeck& deck) {
  const std::string path = deck.CartFileName();
  if (!path.empty() && plat::FileExists(path)) return true;
  deck.Notify(TNoticeKind::Information, FileGoneText(path));
  deck.EjectCart();
  return false;
}

// The programs are handed a file the operator may choose again at once: while the one started
// last runs, its order stays as it was, and the next send waits until it has ended.
bool ProgramFree(TUserDeck& deck, bool running, const char* busy) {
  if (!running) return true;
  deck.Notify(TNoticeKind::Error, busy);
  return false;
}

// Every order names the file on one line: a path with a line break in it would end that line
// early, and its first part would order another file.
bool NamedOnOneLine(TUserDeck& deck) {
  if (deck.CartFileName().find_first_of("\r\n") == std::string::npos) return true;
  deck.Notify(TNoticeKind::Error, UnsendableNameText);
  return false;
}

// Tells the operator when the program ends with an error: it may not have sent the file.
plat::TEnded TellBadEnd(TUserDeck& deck, const std::string& kind, const std::string& path) {
  return [kind, path, tell = deck.LaterNotifier()](const plat::ProcessEnd& end) {
    if (const std::string text = ProgramEndedText(kind, path, end); !text.empty()) tell(TNoticeKind::Error, text);
  };
}

// An order is a new file: whatever stood at its name, perhaps a second name another account gave
// one of the operator's files in a shared drop folder, keeps what it held.
bool WriteOrderFile(TUserDeck& deck, const std::string& path, const std::string& text) {
  if (plat::ReplaceWholeFile(path, text)) return true;
  deck.Notify(TNoticeKind::Error, "Cannot create file " + path);
  return false;
}

}  // namespace

bool PrepareEmail(TUserDeck& deck) {
  if (deck.Busy()) return false;
  const std::string& folder = deck.Users().programFolder;
  if (!EmailProgramPresent(folder)) {
    deck.Notify(TNoticeKind::Error, "Email program is not present. Please contact technical support.");
    return false;
  }
  if (!ProgramFree(deck, MailProgramRunning(deck.Users()), EmailProgramBusyText)) return false;
  if (!CartFileAvailable(deck) || !NamedOnOneLine(deck)) return false;
  return WriteOrderFile(deck, folder + MailFileName, OrderText(deck.CartFileName()));
}

bool SendEmail(TUserDeck& deck, const std::string& destination, const std::string& folder) {
  if (Trim(folder).empty()) {
    deck.Notify(TNoticeKind::Error, "No folder specified!");
    return false;
  }
  const std::string to = Trim(destination);
  std::vector<std::string> known = AddressDestinations(deck.Users().sendLists.addressBook);
  bool listed = std::any_of(known.begin(), known.end(), [&](const std::string& d) { return SameText(Trim(d), to); });
  if (!listed && !IsValidEmailAddress(to)) {
    deck.Notify(TNoticeKind::Error, "E-Mail address is not valid! ");
    return false;
  }
  const std::string& programFolder = deck.Users().programFolder;
  const std::string program = programFolder + EmailProgramName;
  if (!deck.StartProgram(program, EmailArguments(programFolder, to, folder), deck.Users().emailProgram,
                         programFolder + MailFileName, TellBadEnd(deck, "e-mail", program))) {
    const int error = errno;
    DeleteMailFile(deck.Users());  // nothing is going to read it
    deck.Notify(TNoticeKind::Error, ProgramNotStartedText("e-mail", program, error));
    return false;
  }
  return true;
}

bool PrepareWeb(TUserDeck& deck) {
  if (deck.Busy()) return false;
  if (!WebProgramPresent(deck.Users().programFolder)) {
    deck.Notify(TNoticeKind::Error, "Web\\FTP program is not present. Please contact technical support.");
    return false;
  }
  if (!ProgramFree(deck, StillRunning(deck.Users().webProgram), WebProgramBusyText)) return false;
  return CartFileAvailable(deck) && NamedOnOneLine(deck);
}

bool ChooseWebDestination(TUserDeck& deck, const std::string& choice) {
  if (Trim(choice).empty()) {
    deck.Notify(TNoticeKind::Error, "No folder specified!");
    return false;
  }
  deck.Users().webDestination = choice;
  return true;
}

bool SaveDat(TUserDeck& deck, const std::string& datPath, const std::string& filePath, const std::string& destination) {
  if (!WriteOrderFile(deck, datPath, WebOrderDat(plat::ExtractFileName(filePath), destination))) return false;
  if (!deck.Settings().postrelLaunch) return true;
  const std::string program = deck.Users().programFolder + WebProgramName;
  if (!deck.StartProgram(program, WebArguments(), deck.Users().webProgram, {}, TellBadEnd(deck, "Web\\FTP", program))) {
    const int error = errno;
    plat::DeleteFile(datPath);
    deck.Notify(TNoticeKind::Error, ProgramNotStartedText("Web\\FTP", program, error));
    return false;
  }
  return true;
}

bool SendWeb(TUserDeck& deck) {
  const std::string file = deck.CartFileName();
  const std::string& drop = deck.Settings().postrelInPath;
  plat::ForceDirectories(drop);
  // Both orders are in place before the program starts, so it never finds one without the other.
  const std::string txt = WebOrderPath(drop, file, ".txt");
  if (!WriteOrderFile(deck, txt, OrderText(file))) return false;
  if (SaveDat(deck, WebOrderPath(drop, file, ".dat"), file, deck.Users().webDestination)) return true;
  plat::DeleteFile(txt);
  return false;
}
