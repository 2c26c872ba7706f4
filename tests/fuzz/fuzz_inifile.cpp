// Settings and user files are text from outside: any bytes must read without a fault, and a
// write into such a file must leave it readable with the value written, exactly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unistd.h>

#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "platform/ui/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = plat::TempPath() + "fuzz_inifile." + std::to_string(getpid()) + ".ini";
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!plat::WriteWholeFile(path, text)) return 0;
  plat::TIniFile ini(path);
  plat::TStringList sections, values;
  ini.ReadSections(sections);
  for (int i = 0; i < sections.Count() && i < 8; ++i) {
    ini.ReadSectionValues(sections[i], values);
    for (int k = 0; k < values.Count() && k < 8; ++k) ini.ReadInteger(sections[i], values.Names(k), 0);
  }
  std::string section = size ? text.substr(0, size % 7) : "S";
  ini.WriteString(section, "Key", "Value");
  if (!section.empty() && section.find_first_of(std::string("[]=\r\n\0", 6)) == std::string::npos &&
      section.find_first_not_of(" \t") != std::string::npos && ini.ReadString(section, "Key", "") != "Value")
    __builtin_trap();
  // Every value without line breaks reads back as written, blanks and quotes at its ends too.
  std::string value = text.substr(size % 5, 24);
  auto lineBreak = [](char c) { return c == '\r' || c == '\n'; };
  value.erase(std::remove_if(value.begin(), value.end(), lineBreak), value.end());
  ini.WriteString("Values", "Typed", value);
  if (plat::TIniFile(path).ReadString("Values", "Typed", "?") != value) __builtin_trap();
  return 0;
}
