#pragma once
// How new carts are named: the automatic quick-cart name, the ".wav" rules of program and by-name
// carts, the HHMMSS lengths, and the prefix list of the quick load.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Day of the month, hour, minute and second, two digits each: "06090503" on the 6th at 09:05:03.
std::string QuickCart(const std::tm& local);
std::string QuickCart();  // from the current local time

// The file name of a quick cart: "<prefix> - DDHHMMSS.wav", or "DDHHMMSS.wav" without a prefix.
std::string QuickCartFileName(const std::string& prefixDisplay, const std::tm& local);

// A program's name as a file name: ".wav" appended unless it ends in ".WAV" in any case.
std::string ProgramCartName(const std::string& name);
// A typed by-name cart: ".wav" appended unless ".WAV" appears anywhere in it, in any case.
std::string ByNameCartName(const std::string& name);
// The name of a non-destructive copy: the file's name without its extension, then ".WAV"
// unless that already ends in ".WAV" in any case.
std::string NonDestructiveCopyName(const std::string& path);

// HHMMSS digits to seconds: padded to six digits with "0" on the left; the first two digits are
// hours, the third and fourth minutes, the last two seconds (so 10000 is 3600). A longer number
// uses its first two, third and fourth, and last two digits. A negative number is no length: 0.
int64_t TimeIntToSec(int64_t hhmmss);

// One entry of the quick-load prefix list: what the list shows and the cart length it gives.
struct TPrefixEntry {
  std::string display;
  std::string value;  // HHMMSS digits
};
// The lines of the prefix file: the text before the first ";" is shown and the text after it is
// the value; a line without ";" is shown whole and takes the standard length.
std::vector<TPrefixEntry> ParsePrefixLines(const std::vector<std::string>& lines, int standardLength);
