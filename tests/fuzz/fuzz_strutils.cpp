// Feeds arbitrary text and patterns through the string routines: none may read outside its
// input or loop for ever.
#include <cstddef>
#include <cstdint>
#include <string>

#include "recorder/StrUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int start = int(int8_t(data[0]));
  size_t split = data[1] % (size - 1);
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  std::string pattern = text.substr(0, split);
  StrScanForward(text, pattern, start);
  StrScanBackward(text, pattern, start);
  StrScanSet(text, pattern, start);
  int pos = start;
  for (int guard = 0; pos != 0 && guard <= int(text.size()) + 1; ++guard) NextToken(text, ";,\r\n", pos);
  pos = int(text.size());
  for (int guard = 0; pos != 0 && guard <= int(text.size()) + 1; ++guard) NextTokenBackward(text, ";,", pos);
  LengthWithoutLeading(text, ' ');
  LengthWithoutTrailing(text, ' ');
  MidStr(text, start, int(split));
  std::string p = text;
  ProperCaseInPlace(p);
  StrToIntDef(text, 0);
  return 0;
}
