#include "recorder/Users.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "platform/system/files.h"
#include "platform/system/list_lock.h"
#include "platform/ui/inifiles.h"
#include "platform/ui/strings.h"
#include "recorder/Settings.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

const std::array<const char*, ProgramFieldCount> ProgramKeys = {"Name",   "Length",    "Description",
                                                                "Format", "Save Path", "Lockout"};

std::string TemplateSection(int n) { return "Template " + std::to_string(n); }

// ---- records ----------------------------------------------------------------------------------

namespace {

// The fields as the record holds them. No field holds a "|" (the dialogs refuse one and the
// readers refuse programs that have one), so the first five are the separators; anything behind
// a sixth stays in the lockout, where it fails as a number instead of shifting other fields.
TProgramRow RecordFields(const std::string& record) {
  TProgramRow row;
  size_t from = 0;
  for (int i = 0; i < ProgramFieldCount; ++i) {
    const size_t at = i + 1 < ProgramFieldCount ? record.find('|', from) : std::string::npos;
    row[size_t(i)] = record.substr(from, at == std::string::npos ? std::string::npos : at - from);
    if (at == std::string::npos) break;
    from = at + 1;
  }
  return row;
}

}  // namespace

std::string ProgramRecord(const TProgramRow& row) {
  std::string out;
  for (int i = 0; i < ProgramFieldCount; ++i) {
    if (i) out += '|';
    out += row[size_t(i)];
  }
  return out;
}

TProgramRow SplitProgramRecord(const std::string& record) {
  TProgramRow row = RecordFields(record);
  if (row[pfDescription].empty()) row[pfDescription] = " ";
  return row;
}

std::string RecordField(const std::string& record, TProgramField field) {
  return SplitProgramRecord(record)[size_t(field)];
}

std::string LengthText(int hhmmss) {
  if (hhmmss < 0) hhmmss = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hhmmss / 10000, hhmmss / 100 % 100, hhmmss % 100);
  return text;
}

bool LengthDigits(const std::string& text, int& hhmmss) {
  std::string digits;
  for (char c : text)
    if (c != ':') digits += c;
  if (digits.empty() || digits.size() > 9) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  hhmmss = std::stoi(digits);
  return true;
}

void SortProgramRecords(std::vector<std::string>& records, TProgramField key) {
  if (records.size() < 2) return;
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(records.size());
  for (const std::string& r : records) {
    TProgramRow row = SplitProgramRecord(r);
    std::swap(row[pfName], row[size_t(key)]);
    keyed.emplace_back(ProgramRecord(row), r);
  }
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return plat::CompareText(a.first, b.first) < 0; });
  for (size_t i = 0; i < keyed.size(); ++i) records[i] = std::move(keyed[i].second);
}

// ---- what the files bring ----------------------------------------------------------------------

bool HasIllegalFileChars(const std::string& name) {
  for (unsigned char c : name)
    if (c < 32 || std::string("\\/:*?\"<>|").find(char(c)) != std::string::npos) return true;
  return false;
}

std::string IllegalNameMessage(const std::string& name) {
  return "The file name you entered: " + name + "\r\ncontains illegal character(s): \\/:*?\"<>|" +
         "\r\n\r\nPlease correct it and try again.";
}

namespace {

const char* const FieldNames[ProgramFieldCount] = {"name", "length", "description", "format", "save path", "lockout"};

// A message box lists ten lines at most; the rest are counted.
std::string Listed(std::string text, const std::vector<std::string>& lines) {
  constexpr size_t most = 10;
  for (size_t i = 0; i < lines.size() && i < most; ++i) text += "\r\n" + lines[i];
  if (lines.size() > most) text += "\r\nand " + std::to_string(lines.size() - most) + " more.";
  return text;
}

}  // namespace

std::string ProgramFault(const TProgramRow& row) {
  if (HasIllegalFileChars(row[pfName])) return "its name contains illegal character(s): \\/:*?\"<>|";
  for (int k = pfLength; k < ProgramFieldCount; ++k)
    if (row[size_t(k)].find('|') != std::string::npos) return std::string("its ") + FieldNames[k] + " contains \"|\"";
  return {};
}

std::string RefusedProgramsMessage(const std::string& file, const TRefusedPrograms& refused) {
  std::vector<std::string> lines;
  for (const TRefusedProgram& r : refused) lines.push_back("[" + r.section + "] \"" + r.name + "\": " + r.reason);
  return Listed("These programs of " + file + " were not loaded:", lines) + "\r\n\r\nCorrect them in the file.";
}

std::string RefusedUsersMessage(const std::vector<std::string>& files) {
  return Listed(
      "These user files were left out, since a user name cannot contain any of "
      "\\/:*?\"<>|:",
      files);
}

// ---- user files -------------------------------------------------------------------------------

bool IsDefaultUser(const std::string& name) { return SameText(name, DefaultUserName); }

std::string UserFilePath(const std::string& folder, const std::string& user) {
  const std::string dir = folder.empty() ? folder : plat::IncludeTrailingPathDelimiter(folder);
  const std::string wanted = user + UserFileExt;
  if (plat::FileExists(dir + wanted)) return dir + wanted;
  for (const std::string& name : plat::ListFiles(dir, "*.svu"))
    if (SameText(name, wanted)) return dir + name;
  return dir + wanted;
}

std::vector<std::string> UserNamesInFolder(const std::string& folder, std::vector<std::string>* refused) {
  std::vector<std::string> names;
  const size_t ext = std::string(UserFileExt).size();
  for (const std::string& file : plat::ListFiles(folder, "*.svu")) {
    // Only the extension goes, so that every name listed leads back to its own file.
    std::string name = file.substr(0, file.size() - ext);
    if (name.empty() || UpperCase(name) == "DEFAULT") continue;
    if (HasIllegalFileChars(name)) {
      if (refused) refused->push_back(file);
      continue;
    }
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> LoginUserList(const std::string& folder, std::vector<std::string>* refused) {
  std::vector<std::string> names{DefaultUserName};
  for (std::string& n : UserNamesInFolder(folder, refused)) names.push_back(std::move(n));
  return names;
}

std::vector<std::string> ManagerUserList(const std::string& folder, std::vector<std::string>* refused) {
  std::vector<std::string> others = UserNamesInFolder(folder, refused);
  std::stable_sort(others.begin(), others.end(),
                   [](const std::string& a, const std::string& b) { return plat::CompareText(a, b) < 0; });
  others.insert(others.begin(), DefaultUserName);
  return others;
}

namespace {

// Section n's six keys as the file holds them.
TProgramRow ReadRow(plat::TIniFile& ini, int n) {
  TProgramRow row;
  const std::string section = TemplateSection(n);
  for (int k = 0; k < ProgramFieldCount; ++k) row[size_t(k)] = ini.ReadString(section, ProgramKeys[size_t(k)], "");
  return row;
}

// Section n's program; false when it has no name (an unused section) or a fault.
bool ReadProgram(plat::TIniFile& ini, int n, TProgramRow& row, TRefusedPrograms* refused) {
  row = ReadRow(ini, n);
  if (row[pfName].empty()) return false;
  if (std::string fault = ProgramFault(row); !fault.empty()) {
    if (refused) refused->push_back({TemplateSection(n), row[pfName], std::move(fault)});
    return false;
  }
  return true;
}

// A program as the manager's reader gives it: an empty lockout reads as "0".
std::string ReadRecord(TProgramRow row) {
  if (row[pfLockout].empty()) row[pfLockout] = "0";
  return ProgramRecord(row);
}

// Sections "Template 0" to "Template 249" from rows, filled from 0 without gaps, the sections past
// the last row with all six keys empty.
void WriteRows(plat::TIniFile& ini, const std::vector<TProgramRow>& rows) {
  for (int n = 0; n < ProgramRows; ++n) {
    const TProgramRow row = size_t(n) < rows.size() ? rows[size_t(n)] : TProgramRow{};
    for (int k = 0; k < ProgramFieldCount; ++k)
      ini.WriteString(TemplateSection(n), ProgramKeys[size_t(k)], row[size_t(k)]);
  }
}

std::map<std::string, int> Counted(const std::vector<std::string>& records) {
  std::map<std::string, int> counts;
  for (const std::string& r : records) ++counts[r];
  return counts;
}

int CountOf(const std::map<std::string, int>& counts, const std::string& record) {
  const auto it = counts.find(record);
  return it == counts.end() ? 0 : it->second;
}

}  // namespace

std::vector<std::string> ReadProgramRecords(const std::string& path, TRefusedPrograms* refused) {
  std::vector<std::string> records;
  // Nothing at the name reads as no programs; anything else there that is no file is named.
  plat::TIniFile ini(path);
  for (int n = 0; n < ProgramRows; ++n) {
    TProgramRow row;
    if (ReadProgram(ini, n, row, refused)) records.push_back(ReadRecord(row));
  }
  return records;
}

bool WriteProgramRecords(const std::string& path, const std::vector<std::string>& records, bool mustExist) {
  if (records.size() > size_t(ProgramRows)) return false;
  // The fields as they are: the blank of an empty description in lists is not the program's.
  std::vector<TProgramRow> rows;
  for (const std::string& r : records) rows.push_back(RecordFields(r));
  plat::TIniFile ini(path);
  ini.SetMustExist(mustExist);
  ini.BeginUpdate();
  WriteRows(ini, rows);
  ini.EndUpdate();
  return true;
}

bool ProgramListChanged(const std::vector<std::string>& read, const std::vector<std::string>& now) {
  return Counted(read) != Counted(now);
}

TListSave SaveProgramList(const std::string& path, const std::vector<std::string>& read,
                          const std::vector<std::string>& now, bool library, std::vector<std::string>& saved) {
  saved.clear();
  // Where no lock can be had the changes still meet the file as it is now, not as it was read.
  const plat::ListLock lock(path);
  if (lock.Result() == plat::ListLock::Busy) return TListSave::Busy;
  plat::TIniFile ini(path);
  ini.SetMustExist(!library);
  ini.BeginUpdate();
  std::vector<TProgramRow> rows;
  for (int n = 0; n < ProgramRows; ++n)
    if (TProgramRow row = ReadRow(ini, n); !row[pfName].empty()) rows.push_back(std::move(row));
  const std::map<std::string, int> had = Counted(read), has = Counted(now);
  if (library && !plat::FileExists(path)) {
    rows.clear();
    for (const std::string& r : now) rows.push_back(RecordFields(r));
  } else {
    const auto held = [&](const std::string& record) {
      return std::count_if(rows.begin(), rows.end(), [&](const TProgramRow& r) { return ReadRecord(r) == record; });
    };
    // Plain names, not structured bindings: the lambdas below capture them, which clang 14 refuses.
    for (const auto& entry : had) {
      const std::string& record = entry.first;
      for (int drop = entry.second - CountOf(has, record); drop > 0 && held(record) > CountOf(has, record); --drop)
        rows.erase(std::find_if(rows.begin(), rows.end(), [&](const TProgramRow& r) { return ReadRecord(r) == record; }));
    }
    for (const auto& entry : has) {
      const std::string& record = entry.first;
      const int count = entry.second;
      int add = count - CountOf(had, record);
      if (add <= 0) continue;
      if (library) {
        const std::string name = Trim(RecordField(record, pfName));
        std::erase_if(rows, [&](const TProgramRow& r) {
          return SameText(Trim(r[pfName]), name) && ReadRecord(r) != record;
        });
      }
      for (; add > 0 && held(record) < count; --add) rows.push_back(RecordFields(record));
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const TProgramRow& a, const TProgramRow& b) {
    return plat::CompareText(ReadRecord(a), ReadRecord(b)) < 0;
  });
  const bool full = rows.size() > size_t(ProgramRows);
  for (const TProgramRow& r : rows)
    if (full || ProgramFault(r).empty()) saved.push_back(ReadRecord(r));
  if (full) return TListSave::Full;
  WriteRows(ini, rows);
  ini.EndUpdate();
  return TListSave::Saved;
}

std::string ListBusyText(const std::string& path) {
  return "Nothing was saved: another deck has been saving " + path + " for more than a second. Save again in a moment.";
}

std::string UnreadListText(const std::string& path) {
  return "The list was not saved: " + path +
         " could not be read, and saving would replace the programs it holds. \r\nClose without saving, "
         "make the file readable for this account, and open the list again.";
}

std::string UserGoneText(const std::string& user) {
  return "The user " + user + " no longer exists: it was removed, perhaps on another workstation. Nothing was saved.";
}

// ---- the program table ------------------------------------------------------------------------

namespace {

// The programs of a file refused while reading it go to refused when given, else into a message.
void HandOver(TUserDeck& deck, const std::string& file, const TRefusedPrograms& faults, TRefusedPrograms* refused) {
  if (refused) refused->insert(refused->end(), faults.begin(), faults.end());
  else if (!faults.empty()) deck.Notify(TNoticeKind::Warning, RefusedProgramsMessage(file, faults));
}

// The library made from the settings file's templates. It is written beside its final name and
// renamed into place only when complete, so a failed write never leaves a short library that
// later starts would take for the whole one. A template with a fault is left out and those behind
// it move up, so it leaves no gap that would end the list early.
void CreateLibrary(TUserDeck& deck, const std::string& path, TLoadProgress* gauge) {
  if (gauge) gauge->Reset();
  const std::string settingsPath = deck.Users().programFolder + SettingsFileName;
  plat::TIniFile settings(settingsPath);
  std::vector<TProgramRow> rows;
  TRefusedPrograms refused;
  for (int n = 0; n < ProgramRows; ++n) {
    deck.SetLoadStatus("Creating Default User...");
    if (gauge) gauge->Step();
    TProgramRow row;
    if (ReadProgram(settings, n, row, &refused) || row[pfName].empty()) rows.push_back(row);
    deck.ProcessMessages();
  }
  HandOver(deck, settingsPath, refused, nullptr);
  rows.resize(size_t(ProgramRows));
  const std::string part =
      plat::CreateUniqueFile(plat::ExtractFilePath(path), "." + plat::ExtractFileName(path) + ".new-");
  if (part.empty()) throw plat::EIniFileException("Unable to write to " + path);
  plat::TIniFile library(part);
  library.BeginUpdate();
  for (int n = 0; n < ProgramRows; ++n)
    for (int k = 0; k < ProgramFieldCount; ++k)
      library.WriteString(TemplateSection(n), k == pfSavePath ? "Save path" : ProgramKeys[size_t(k)],
                          rows[size_t(n)][size_t(k)]);
  try {
    library.EndUpdate();
  } catch (...) {
    plat::DeleteFile(part);
    throw;
  }
  // Another workstation sharing the folder may have made the library meanwhile: it stays.
  if (!plat::RenameNoReplace(part, path)) {
    const bool made = errno == EEXIST;
    plat::DeleteFile(part);
    if (!made) throw plat::EIniFileException("Unable to write to " + path);
  }
}

// A key a hand-made user file lacks, as the loader fills it in: section n, the program's name there.
struct TKeyCompletion {
  int n;
  std::string name;
  int key;
  std::string value;
};

// The completions go into the file as it is when they are written, under the list lock, and only
// where section n still holds the program read and still lacks the key: another deck may have
// saved the list while it was being loaded.
void CompleteKeys(const std::string& path, const std::vector<TKeyCompletion>& completions) {
  if (completions.empty()) return;
  const plat::ListLock lock(path);
  if (lock.Result() == plat::ListLock::Busy) return;  // a later load completes them
  try {
    plat::TIniFile ini(path);
    ini.SetMustExist(true);
    ini.BeginUpdate();
    for (const TKeyCompletion& c : completions) {
      const std::string section = TemplateSection(c.n);
      const char* key = ProgramKeys[size_t(c.key)];
      if (ini.ReadString(section, ProgramKeys[pfName], "") != c.name) continue;
      if (c.key == pfLockout ? !ini.ReadString(section, key, "").empty() : ini.ValueExists(section, key)) continue;
      ini.WriteString(section, key, c.value);
    }
    ini.EndUpdate();
  } catch (const plat::Exception&) {
    // A user file we may not write (a shared, read-only users folder) still gives its programs;
    // only the completion of its empty keys is lost.
  }
}

}  // namespace

void LoadINITemplates(TUserDeck& deck, const std::string& user, TLoadProgress* gauge, TRefusedPrograms* refused) {
  TUserFields& fields = deck.Users();
  const std::string path = UserFilePath(fields.UsersFolder(), user);
  if (IsDefaultUser(user) && !plat::PathTaken(path)) CreateLibrary(deck, path, gauge);

  plat::TIniFile ini(path);
  ini.BeginUpdate();  // one reading of the file, however long the loop takes
  if (gauge) gauge->Reset();
  TRefusedPrograms faults;
  std::vector<TKeyCompletion> completions;
  size_t taken = 0;  // a program with a fault takes no row, so the rows stay without gaps
  for (int n = 0; n < ProgramRows; ++n) {
    deck.SetLoadStatus("Loading Program List... Please wait.");
    if (gauge) gauge->Step();
    const std::string section = TemplateSection(n);
    TProgramRow row;
    if (!ReadProgram(ini, n, row, &faults)) {
      if (row[pfName].empty()) break;
      continue;
    }
    for (int k = pfLength; k <= pfSavePath; ++k)
      if (row[size_t(k)].empty() && !ini.ValueExists(section, ProgramKeys[size_t(k)]))
        completions.push_back({n, row[pfName], k, ""});
    if (row[pfLockout].empty()) {
      completions.push_back({n, row[pfName], pfLockout, "0"});
      row[pfLockout] = "0";
    }
    fields.programList[taken++] = row;
  }
  for (; taken < size_t(ProgramRows); ++taken) fields.programList[taken] = TProgramRow{};
  CompleteKeys(path, completions);
  if (gauge) gauge->Reset();
  fields.currentUser = user;
  deck.UserCaptionUpdate();
  HandOver(deck, path, faults, refused);
}

std::vector<std::string> LoadLibrary(TUserDeck& deck, TRefusedPrograms* refused) {
  TRefusedPrograms named;  // named again below, with those behind a gap
  LoadINITemplates(deck, DefaultUserName, nullptr, &named);
  const std::string path = UserFilePath(deck.Users().UsersFolder(), DefaultUserName);
  TRefusedPrograms faults;
  std::vector<std::string> records = ReadProgramRecords(path, &faults);
  HandOver(deck, path, faults, refused);
  return records;
}

// ---- the manager's dialogs ----------------------------------------------------------------------

namespace {

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); });
}

// "USER" "FULL NAME" and "PASSWORD" into the file at path, each unless it was left as shown.
// An edited user's file must still be there: one removed meanwhile is not made again. A failure
// is told naming userFile, the user's own file (path may be the hidden new file beside it).
TUserDialogField WriteUserKeys(const std::string& path, const std::string& userFile, const TUserDialogInput& in,
                               bool mustExist, const TNotify& notify) {
  const bool fullName = !in.shownKeys || in.fullName != in.shownKeys->first;
  const bool password = !in.shownKeys || in.password != in.shownKeys->second;
  // A user's own file: another deck's save of its programs must not meet this write midway.
  std::optional<plat::ListLock> lock;
  if (mustExist && lock.emplace(path).Result() == plat::ListLock::Busy) {
    notify(TNoticeKind::Error, ListBusyText(userFile));
    return TUserDialogField::UserName;
  }
  try {
    plat::TIniFile ini(path);
    ini.SetMustExist(mustExist);
    ini.BeginUpdate();
    if (fullName) ini.WriteString("USER", "FULL NAME", in.fullName);
    if (password) ini.WriteString("USER", "PASSWORD", in.password);
    ini.EndUpdate();
  } catch (const plat::EIniFileGone&) {
    notify(TNoticeKind::Error, UserGoneText(in.shownName));
    return TUserDialogField::Gone;
  } catch (const plat::EIniReadError& e) {
    notify(TNoticeKind::Error, e.Message());
    return TUserDialogField::UserName;
  } catch (const plat::EIniFileException&) {
    notify(TNoticeKind::Error, "Unable to write to " + userFile);
    return TUserDialogField::UserName;
  }
  return TUserDialogField::None;
}

}  // namespace

TUserDialogField UserDialogOk(TUserDialogMode mode, const TUserDialogInput& in, const std::string& usersFolder,
                              const std::vector<std::string>& listedUsers, const TNotify& notify, const TAsk& ask) {
  using F = TUserDialogField;
  const std::string name = Trim(in.userName);
  if (Trim(in.fullName).empty() &&
      ask(TQuestionKind::Warning,
          "It is not recommended to leave the \"Full Name\" blank. Are you \r\nsure you want to "
          "leave it blank?",
          false) != TAnswer::Yes)
    return F::FullName;
  if (name.empty()) {
    notify(TNoticeKind::Error, "User name can not be blank");
    return F::UserName;
  }
  if (HasIllegalFileChars(name)) {
    notify(TNoticeKind::Warning, IllegalNameMessage(name));
    return F::UserName;
  }
  const bool renaming = mode == TUserDialogMode::Edit && name != in.shownName;
  if (renaming) {
    if (ask(TQuestionKind::Confirmation, "You have changed the user name. Are you sure you want to do \r\nthis?",
            false) != TAnswer::Yes)
      return F::UserName;
    if (Listed(listedUsers, name)) {
      notify(TNoticeKind::Error, "User name already exists. Choose another name.");
      return F::UserName;
    }
  }
  // The passwords are checked before the file is renamed, so a refusal leaves the user as it was.
  if (in.password.empty() && in.confirm.empty()) {
    notify(TNoticeKind::Error, "Passwords can not be blank");
    return F::Password;
  }
  if (in.password != in.confirm) {
    notify(TNoticeKind::Error, "Passwords do not match");
    return F::Password;
  }
  if (mode != TUserDialogMode::Edit && Listed(listedUsers, name)) {
    notify(TNoticeKind::Error, "User name already exists. Choose another name.");
    return F::UserName;
  }
  const std::string folder = plat::IncludeTrailingPathDelimiter(usersFolder);
  const std::string path = folder + name + UserFileExt;
  // Another workstation sharing the folder, or a hand, may have made the user since the list was
  // read: the folder decides, and a new name is only ever created, never written over.
  const auto taken = [&] {
    notify(TNoticeKind::Error, "User name already exists. Choose another name.");
    return F::UserName;
  };
  if ((renaming || mode != TUserDialogMode::Edit) && plat::FileExists(UserFilePath(folder, name))) return taken();
  if (mode == TUserDialogMode::Edit) {
    const std::string old = UserFilePath(folder, in.shownName);
    if (!renaming) return WriteUserKeys(old, old, in, true, notify);
    if (!plat::RenameNoReplace(old, path)) {
      if (errno == EEXIST) return taken();
      if (errno == ENOENT) {
        notify(TNoticeKind::Error, UserGoneText(in.shownName));
        return F::Gone;
      }
      notify(TNoticeKind::Error, "The user file " + old + " could not be renamed.");
      return F::UserName;
    }
    // What the rename took is judged as every user file is read: a link another account put at the
    // user's name since the dialog read it gets its name back, and is named; no user holds it.
    if (const plat::SmallFile renamed = plat::ReadSmallFile(path); renamed.Refused()) {
      plat::RenameNoReplace(path, old);
      notify(TNoticeKind::Error, plat::SmallFileRefusal(old, renamed));
      return F::UserName;
    }
    return WriteUserKeys(path, path, in, true, notify);
  }
  // A copy is of what the user's file holds now, read as every user file is read: never through a
  // link another account put at its name since the dialog showed it.
  std::string copied;
  if (mode == TUserDialogMode::Copy) {
    const std::string source = UserFilePath(folder, in.shownName);
    const plat::SmallFile file = plat::ReadSmallFile(source);
    if (!file.Ok()) {
      notify(TNoticeKind::Error, file.Refused() ? plat::SmallFileRefusal(source, file)
                                                : "Copy user error. The new user could not be created");
      return F::UserName;
    }
    copied = file.data;
  }
  // The new file is made whole beside its name and then takes the name, if nothing holds it.
  const std::string part = plat::CreateUniqueFile(folder, "." + name + ".svu.new-", copied);
  if (part.empty()) {
    notify(TNoticeKind::Error, "Unable to write to " + path);
    return F::UserName;
  }
  if (const F written = WriteUserKeys(part, path, in, false, notify); written != F::None) {
    plat::DeleteFile(part);
    return written;
  }
  if (plat::RenameNoReplace(part, path)) return F::None;
  const bool exists = errno == EEXIST;
  plat::DeleteFile(part);
  if (exists) return taken();
  notify(TNoticeKind::Error, "Unable to write to " + path);
  return F::UserName;
}

bool RemoveUser(const std::string& name, const std::string& usersFolder, const TNotify& notify, const TAsk& ask) {
  if (IsDefaultUser(name)) {
    notify(TNoticeKind::Error, "Sorry, You Can Not Delete the Default User!");
    return false;
  }
  if (ask(TQuestionKind::Warning, "Are you sure you want to delete: " + name, true) != TAnswer::Yes) return false;
  const std::string path = UserFilePath(usersFolder, name);
  if (plat::FileExists(path)) plat::DeleteFile(path);
  return true;
}

TProgramDialogField ProgramDialogOk(TProgramDialogMode mode, const TProgramDialogInput& in,
                                    std::vector<std::string>& library, int selected, const TNotify& notify,
                                    const TAsk& ask) {
  using F = TProgramDialogField;
  const std::string name = Trim(in.name);
  const bool editing = mode == TProgramDialogMode::Edit;
  if (name.empty()) {
    notify(TNoticeKind::Error, "You must supply a name for this program");
    return F::Name;
  }
  // The name becomes the cart's file name in the temporary folder.
  if (HasIllegalFileChars(name)) {
    notify(TNoticeKind::Warning, IllegalNameMessage(name));
    return F::Name;
  }
  // Lists join a program's fields with "|".
  if (in.description.find('|') != std::string::npos) {
    notify(TNoticeKind::Warning, "A description can not contain \"|\". Please correct it and try again.");
    return F::Description;
  }
  if (in.savePath.find('|') != std::string::npos) {
    notify(TNoticeKind::Warning, "A save folder can not contain \"|\". Please choose another folder and try again.");
    return F::SavePath;
  }
  if (in.description.empty() &&
      ask(TQuestionKind::Confirmation, "Are you sure you do not want to give this program a \r\ndescription?", false) !=
          TAnswer::Yes)
    return F::Description;
  for (size_t i = 0; i < library.size(); ++i) {
    if (editing && int(i) == selected) continue;
    if (SameText(Trim(RecordField(library[i], pfName)), name)) {
      notify(TNoticeKind::Error, "A program with this name already exists! Check the list and try again.");
      return F::Name;
    }
  }
  // The user files hold 250 programs; a longer list would lose its last programs when saved.
  if (!editing && library.size() >= size_t(ProgramRows)) {
    notify(TNoticeKind::Error, "The program list is full: it holds at most 250 programs.");
    return F::Name;
  }
  int length = 0;
  if (in.lengthDigits.size() != 6 || !LengthDigits(in.lengthDigits, length)) {
    notify(TNoticeKind::Error, "Invalid input value.  Use escape key to abandon changes");
    return F::Length;
  }
  if (editing && (selected < 0 || size_t(selected) >= library.size())) return F::Name;
  const std::string& d = in.lengthDigits;
  TProgramRow row{name,           d.substr(0, 2) + ":" + d.substr(2, 2) + ":" + d.substr(4, 2),
                  in.description, in.formatText,
                  in.savePath,    in.lockout};
  if (editing) library[size_t(selected)] = ProgramRecord(row);
  else library.push_back(ProgramRecord(row));
  return F::None;
}

bool HasDuplicateRecords(const std::vector<std::string>& records) {
  std::set<std::string> seen;
  for (const std::string& r : records)
    if (!seen.insert(r).second) return true;
  return false;
}
