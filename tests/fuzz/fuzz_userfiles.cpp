// User files, the address book and the Web/FTP list are text from outside: any bytes must read
// without a fault, and the lists must keep their bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>

#include "platform/system/files.h"
#include "recorder/Sending.h"
#include "recorder/Users.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      plat::TempPath() + "fuzz_userfiles." + std::to_string(getpid()) + ".svu";
  std::string text(reinterpret_cast<const char*>(data), size);

  for (const TAddressEntry& e : ParseAddressBook(text)) {
    if (e.folders.size() > size_t(AddressBookFolders) || e.line.find('\n') != std::string::npos)
      __builtin_trap();
    EntryFolders(e);
  }
  if (ParseAddressBook(text).size() > size_t(AddressBookEntries)) __builtin_trap();
  WebDestinations(SplitLines(text));
  IsValidEmailAddress(text.substr(0, 64));

  TProgramRow row = SplitProgramRecord(text);
  if (row[pfDescription].empty()) __builtin_trap();
  int length = 0;
  LengthDigits(row[pfLength], length);

  if (!plat::WriteWholeFile(path, text)) return 0;
  std::vector<std::string> records = ReadProgramRecords(path);
  if (records.size() > size_t(ProgramRows)) __builtin_trap();
  SortProgramRecords(records, TProgramField(size % ProgramFieldCount));
  return 0;
}
