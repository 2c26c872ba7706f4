// User files, the settings file's templates, the address book and the Web/FTP list are text from
// outside: any bytes must read without a fault, the lists must keep their bounds, and no program
// or user name that a reader accepts may lead out of its folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/system/files.h"
#include "recorder/CartNames.h"
#include "recorder/Sending.h"
#include "recorder/UserDeck.h"
#include "recorder/Users.h"

namespace {

class FuzzDeck : public TUserDeck {
public:
  explicit FuzzDeck(const std::string& folder) { users_.programFolder = folder; }
  TUserFields& Users() override { return users_; }
  const TDeckSettings& Settings() const override { return settings_; }
  void Notify(TNoticeKind, const std::string&) override {}
  TAnswer Ask(TQuestionKind, const std::string&, bool) override { return TAnswer::No; }
  bool Busy() const override { return false; }
  std::string CartFileName() const override { return {}; }
  void EjectCart() override {}

private:
  TUserFields users_;
  TDeckSettings settings_;
};

// A program's name becomes a cart's file name in the temporary folder, a user's name a file name
// in the users folder: either must stay in its folder.
void MustStayIn(const std::string& folder, const std::string& file) {
  const std::string path = folder + file;
  const std::string name = plat::ExtractFileName(path);
  if (plat::ExtractFilePath(path) != folder || name.empty() || name == "." || name == "..") __builtin_trap();
}

void CheckProgramNames(const std::string& folder, const std::vector<std::string>& records) {
  if (records.size() > size_t(ProgramRows)) __builtin_trap();
  for (const std::string& r : records) {
    if (std::count(r.begin(), r.end(), '|') != ProgramFieldCount - 1) __builtin_trap();
    MustStayIn(folder, ProgramCartName(SplitProgramRecord(r)[pfName]));
  }
}

// The run's folder, emptied and removed when the run ends.
struct ScratchFolder {
  explicit ScratchFolder(const std::string& p) : path(p), made(plat::ForceDirectories(p)) {}
  ~ScratchFolder() {
    for (const std::string& f : plat::ListFiles(path, "*")) plat::DeleteFile(path + f);
    plat::RemoveDir(path);
  }
  std::string path;
  bool made;
};

void CheckTable(const std::string& folder, TUserDeck& deck) {
  for (const TProgramRow& r : deck.Users().programList)
    if (!r[pfName].empty()) MustStayIn(folder, ProgramCartName(r[pfName]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = plat::TempPath() + "fuzz_userfiles." + std::to_string(getpid()) + "/";
  static const ScratchFolder scratch(folder);
  if (!scratch.made) return 0;
  const std::string path = folder + "user.svu";
  std::string text(reinterpret_cast<const char*>(data), size);

  for (const TAddressEntry& e : ParseAddressBook(text)) {
    if (e.folders.size() > size_t(AddressBookFolders) || e.line.find('\n') != std::string::npos) __builtin_trap();
    EntryFolders(e);
  }
  if (ParseAddressBook(text).size() > size_t(AddressBookEntries)) __builtin_trap();
  WebDestinations(SplitLines(text));
  IsValidEmailAddress(text.substr(0, 64));

  TProgramRow row = SplitProgramRecord(text);
  if (row[pfDescription].empty()) __builtin_trap();
  int length = 0;
  LengthDigits(row[pfLength], length);

  // The manager's reader and the deck's table, from a user file.
  if (!plat::WriteWholeFile(path, text)) return 0;
  std::vector<std::string> records = ReadProgramRecords(path);
  CheckProgramNames(folder, records);
  SortProgramRecords(records, TProgramField(size % ProgramFieldCount));
  FuzzDeck deck(folder);
  LoadINITemplates(deck, "user", nullptr);
  CheckTable(folder, deck);

  // A deck's change merged into the file as it stands (250 sections written: one size in 32): the
  // file then reads back as the merge said, within its bounds.
  if (size % 32 == 1) {
    std::vector<std::string> now = records, saved;
    now.push_back("Added|00:10:00| |x|/carts/|1");
    if (!now.empty()) now.erase(now.begin());
    try {
      if (SaveProgramList(path, records, now, size % 64 == 1, saved) == TListSave::Saved) {
        CheckProgramNames(folder, saved);
        if (ReadProgramRecords(path) != saved) __builtin_trap();
      }
    } catch (const plat::Exception&) {
    }
  }

  // The library seeded from the settings file's templates: writing 250 sections takes long, so
  // only inputs that hold a template and one size in 32 do it.
  if (size % 32 == 0 && text.find("[Template") != std::string::npos &&
      plat::WriteWholeFile(folder + SettingsFileName, text)) {
    plat::DeleteFile(folder + "Default.svu");
    LoadINITemplates(deck, DefaultUserName, nullptr);
    CheckTable(folder, deck);
  }

  // A user file named by the input: a name listed must lead back into the folder.
  const std::string user = text.substr(0, text.find_first_of(std::string("/\0", 2))).substr(0, 40);
  const std::string userFile = folder + user + ".svu";
  if (!user.empty() && plat::WriteWholeFile(userFile, "")) {
    for (const std::string& name : UserNamesInFolder(folder)) {
      MustStayIn(folder, name + UserFileExt);
      MustStayIn(folder, plat::ExtractFileName(UserFilePath(folder, name)));
    }
    if (user + ".svu" != "user.svu") plat::DeleteFile(userFile);
  }
  return 0;
}
