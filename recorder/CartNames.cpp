#include "recorder/CartNames.h"

#include <cstdio>

#include "platform/system/files.h"
#include "recorder/StrUtils.h"

namespace {
std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

bool EndsWithWav(const std::string& name) {
  return name.size() >= 4 && UpperCase(name.substr(name.size() - 4)) == ".WAV";
}
}  // namespace

std::string QuickCart(const std::tm& t) {
  return TwoDigits(t.tm_mday) + TwoDigits(t.tm_hour) + TwoDigits(t.tm_min) + TwoDigits(t.tm_sec);
}

std::string QuickCart() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return QuickCart(local);
}

std::string QuickCartFileName(const std::string& prefixDisplay, const std::tm& local) {
  const std::string digits = QuickCart(local) + ".wav";
  return prefixDisplay.empty() ? digits : prefixDisplay + " - " + digits;
}

std::string ProgramCartName(const std::string& name) { return EndsWithWav(name) ? name : name + ".wav"; }

std::string ByNameCartName(const std::string& name) {
  return UpperCase(name).find(".WAV") != std::string::npos ? name : name + ".wav";
}

std::string NonDestructiveCopyName(const std::string& path) {
  const std::string stem = plat::ChangeFileExt(plat::ExtractFileName(path), "");
  return EndsWithWav(stem) ? stem : stem + ".WAV";
}

int64_t TimeIntToSec(int64_t hhmmss) {
  if (hhmmss < 0) return 0;
  std::string d = std::to_string(hhmmss);
  if (d.size() < 6) d.insert(0, 6 - d.size(), '0');
  const int64_t hours = std::stoll(d.substr(0, 2));
  const int64_t minutes = std::stoll(d.substr(2, 2));
  const int64_t seconds = std::stoll(d.substr(d.size() - 2));
  return hours * 3600 + minutes * 60 + seconds;
}

std::vector<TPrefixEntry> ParsePrefixLines(const std::vector<std::string>& lines, int standardLength) {
  std::vector<TPrefixEntry> entries;
  for (const std::string& line : lines) {
    const size_t semi = line.find(';');
    if (semi == std::string::npos) entries.push_back({line, std::to_string(standardLength)});
    else entries.push_back({line.substr(0, semi), line.substr(semi + 1)});
  }
  return entries;
}
