#include "recorder/Users.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "platform/ui/strings.h"
#include "recorder/Settings.h"
#include "recorder/StrUtils.h"
#include "recorder/UserDeck.h"

const std::array<const char*, ProgramFieldCount> ProgramKeys = {
    "Name", "Length", "Description", "Format", "Save Path", "Lockout"};

std::string TemplateSection(int n) { return "Template " + std::to_string(n); }

// ---- records ----------------------------------------------------------------------------------

namespace {

std::vector<std::string> SplitAll(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (;;) {
    size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

std::string Join(std::vector<std::string>::const_iterator first,
                 std::vector<std::string>::const_iterator last) {
  std::string out;
  for (auto it = first; it != last; ++it) {
    if (it != first) out += '|';
    out += *it;
  }
  return out;
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
  std::vector<std::string> parts = SplitAll(record, '|');
  TProgramRow row;
  if (parts.size() <= size_t(ProgramFieldCount)) {
    for (size_t i = 0; i < parts.size(); ++i) row[i] = parts[i];
  } else {
    // More separators than fields: the name and length come first and the lockout last, so the
    // extra ones were typed into the description or the save folder. The format text, which
    // holds no "|", sits between the two.
    row[pfName] = parts[0];
    row[pfLength] = parts[1];
    row[pfLockout] = parts.back();
    std::vector<std::string> middle(parts.begin() + 2, parts.end() - 1);
    size_t format = 1;
    for (size_t j = 1; j + 1 < middle.size(); ++j)
      if (FormatNumber(middle[j]) >= 0) {
        format = j;
        break;
      }
    row[pfDescription] = Join(middle.begin(), middle.begin() + long(format));
    row[pfFormat] = middle[format];
    row[pfSavePath] = Join(middle.begin() + long(format) + 1, middle.end());
  }
  if (row[pfDescription].empty()) row[pfDescription] = " ";
  return row;
}

std::string RecordField(const std::string& record, TProgramField field) {
  return SplitProgramRecord(record)[size_t(field)];
}

std::string LengthText(int hhmmss) {
  if (hhmmss < 0) hhmmss = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hhmmss / 10000, hhmmss / 100 % 100,
                hhmmss % 100);
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
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return plat::CompareText(a.first, b.first) < 0;
  });
  for (size_t i = 0; i < keyed.size(); ++i) records[i] = std::move(keyed[i].second);
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

std::vector<std::string> UserNamesInFolder(const std::string& folder) {
  std::vector<std::string> names;
  const size_t ext = std::string(UserFileExt).size();
  for (const std::string& file : plat::ListFiles(folder, "*.svu")) {
    // Only the extension goes, so that every name listed leads back to its own file.
    std::string name = file.substr(0, file.size() - ext);
    if (name.empty() || UpperCase(name) == "DEFAULT") continue;
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> LoginUserList(const std::string& folder) {
  std::vector<std::string> names{DefaultUserName};
  for (std::string& n : UserNamesInFolder(folder)) names.push_back(std::move(n));
  return names;
}

std::vector<std::string> ManagerUserList(const std::string& folder) {
  std::vector<std::string> others = UserNamesInFolder(folder);
  std::stable_sort(others.begin(), others.end(), [](const std::string& a, const std::string& b) {
    return plat::CompareText(a, b) < 0;
  });
  others.insert(others.begin(), DefaultUserName);
  return others;
}

std::vector<std::string> ReadProgramRecords(const std::string& path) {
  std::vector<std::string> records;
  if (!plat::FileExists(path)) return records;
  plat::TIniFile ini(path);
  for (int n = 0; n < ProgramRows; ++n) {
    const std::string section = TemplateSection(n);
    TProgramRow row;
    row[pfName] = ini.ReadString(section, ProgramKeys[pfName], "");
    if (row[pfName].empty()) continue;
    for (int k = pfLength; k < ProgramFieldCount; ++k)
      row[size_t(k)] = ini.ReadString(section, ProgramKeys[size_t(k)], "");
    if (row[pfLockout].empty()) row[pfLockout] = "0";
    records.push_back(ProgramRecord(row));
  }
  return records;
}

bool WriteProgramRecords(const std::string& path, const std::vector<std::string>& records) {
  if (records.size() > size_t(ProgramRows)) return false;
  plat::TIniFile ini(path);
  ini.BeginUpdate();
  for (int n = 0; n < ProgramRows; ++n) {
    TProgramRow row;
    if (size_t(n) < records.size()) row = SplitProgramRecord(records[size_t(n)]);
    for (int k = 0; k < ProgramFieldCount; ++k)
      ini.WriteString(TemplateSection(n), ProgramKeys[size_t(k)], row[size_t(k)]);
  }
  ini.EndUpdate();
  return true;
}

// ---- the program table ------------------------------------------------------------------------

namespace {

// The library made from the settings file's templates. It is written beside its final name and
// renamed into place only when complete, so a failed write never leaves a short library that
// later starts would take for the whole one.
void CreateLibrary(TUserDeck& deck, const std::string& path, TLoadProgress* gauge) {
  if (gauge) gauge->Reset();
  plat::TIniFile settings(deck.Users().programFolder + SettingsFileName);
  const std::string part = path + ".new";
  plat::DeleteFile(part);
  plat::TIniFile library(part);
  library.BeginUpdate();
  for (int n = 0; n < ProgramRows; ++n) {
    deck.SetLoadStatus("Creating Default User...");
    if (gauge) gauge->Step();
    const std::string section = TemplateSection(n);
    for (int k = 0; k < ProgramFieldCount; ++k) {
      std::string value = settings.ReadString(section, ProgramKeys[size_t(k)], "");
      library.WriteString(section, k == pfSavePath ? "Save path" : ProgramKeys[size_t(k)], value);
    }
    deck.ProcessMessages();
  }
  try {
    library.EndUpdate();
  } catch (...) {
    plat::DeleteFile(part);
    throw;
  }
  if (!plat::RenameFile(part, path)) {
    plat::DeleteFile(part);
    throw plat::EIniFileException("Unable to write to " + path);
  }
}

}  // namespace

void LoadINITemplates(TUserDeck& deck, const std::string& user, TLoadProgress* gauge) {
  TUserFields& fields = deck.Users();
  const std::string path = UserFilePath(fields.UsersFolder(), user);
  if (IsDefaultUser(user) && !plat::FileExists(path)) CreateLibrary(deck, path, gauge);

  plat::TIniFile ini(path);
  ini.BeginUpdate();  // the completions below reach the file in one write
  if (gauge) gauge->Reset();
  int n = 0;
  for (; n < ProgramRows; ++n) {
    deck.SetLoadStatus("Loading Program List... Please wait.");
    if (gauge) gauge->Step();
    const std::string section = TemplateSection(n);
    TProgramRow& row = fields.programList[size_t(n)];
    row[pfName] = ini.ReadString(section, ProgramKeys[pfName], "");
    if (row[pfName].empty()) break;
    for (int k = pfLength; k <= pfSavePath; ++k) {
      const char* key = ProgramKeys[size_t(k)];
      row[size_t(k)] = ini.ReadString(section, key, "");
      if (row[size_t(k)].empty() && !ini.ValueExists(section, key)) ini.WriteString(section, key, "");
    }
    row[pfLockout] = ini.ReadString(section, ProgramKeys[pfLockout], "");
    if (row[pfLockout].empty()) {
      ini.WriteString(section, ProgramKeys[pfLockout], "0");
      row[pfLockout] = "0";
    }
  }
  for (; n < ProgramRows; ++n) fields.programList[size_t(n)] = TProgramRow{};
  try {
    ini.EndUpdate();
  } catch (const plat::EIniFileException&) {
    // A user file we may not write (a shared, read-only users folder) still gives its programs;
    // only the completion of its empty keys is lost.
  }
  if (gauge) gauge->Reset();
  fields.currentUser = user;
  deck.UserCaptionUpdate();
}

// ---- the manager's dialogs ----------------------------------------------------------------------

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

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return SameText(n, name); });
}

}  // namespace

TUserDialogField UserDialogOk(TUserDialogMode mode, const TUserDialogInput& in,
                              const std::string& usersFolder,
                              const std::vector<std::string>& listedUsers, const TNotify& notify,
                              const TAsk& ask) {
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
    if (ask(TQuestionKind::Confirmation,
            "You have changed the user name. Are you sure you want to do \r\nthis?",
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
  std::string path = folder + name + UserFileExt;
  if (mode == TUserDialogMode::Copy) {
    plat::CopyFile(UserFilePath(folder, in.shownName), path);
    if (!plat::FileExists(path)) {
      notify(TNoticeKind::Error, "Copy user error. The new user could not be created");
      return F::UserName;
    }
  } else if (mode == TUserDialogMode::Edit) {
    const std::string old = UserFilePath(folder, in.shownName);
    if (renaming && !plat::RenameFile(old, path)) {
      notify(TNoticeKind::Error, "The user file " + old + " could not be renamed.");
      return F::UserName;
    }
    if (!renaming) path = old;
  }
  try {
    plat::TIniFile ini(path);
    ini.BeginUpdate();
    ini.WriteString("USER", "FULL NAME", in.fullName);
    ini.WriteString("USER", "PASSWORD", in.password);
    ini.EndUpdate();
  } catch (const plat::EIniFileException& e) {
    notify(TNoticeKind::Error, e.Message());
    return F::UserName;
  }
  return F::None;
}

bool RemoveUser(const std::string& name, const std::string& usersFolder, const TNotify& notify,
                const TAsk& ask) {
  if (IsDefaultUser(name)) {
    notify(TNoticeKind::Error, "Sorry, You Can Not Delete the Default User!");
    return false;
  }
  if (ask(TQuestionKind::Warning, "Are you sure you want to delete: " + name, true) !=
      TAnswer::Yes)
    return false;
  const std::string path = UserFilePath(usersFolder, name);
  if (plat::FileExists(path)) plat::DeleteFile(path);
  return true;
}

TProgramDialogField ProgramDialogOk(TProgramDialogMode mode, const TProgramDialogInput& in,
                                    std::vector<std::string>& library, int selected,
                                    const TNotify& notify, const TAsk& ask) {
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
  if (in.description.empty() &&
      ask(TQuestionKind::Confirmation,
          "Are you sure you do not want to give this program a \r\ndescription?",
          false) != TAnswer::Yes)
    return F::Description;
  for (size_t i = 0; i < library.size(); ++i) {
    if (editing && int(i) == selected) continue;
    if (SameText(Trim(RecordField(library[i], pfName)), name)) {
      notify(TNoticeKind::Error,
             "A program with this name already exists! Check the list and try again.");
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
  TProgramRow row{name, d.substr(0, 2) + ":" + d.substr(2, 2) + ":" + d.substr(4, 2),
                  in.description, in.formatText, in.savePath, in.lockout};
  if (editing)
    library[size_t(selected)] = ProgramRecord(row);
  else
    library.push_back(ProgramRecord(row));
  return F::None;
}

bool HasDuplicateRecords(const std::vector<std::string>& records) {
  std::set<std::string> seen;
  for (const std::string& r : records)
    if (!seen.insert(r).second) return true;
  return false;
}
