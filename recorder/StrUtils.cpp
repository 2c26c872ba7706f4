#include "recorder/StrUtils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

namespace {

struct LocaleSeparators {
  char decimal = '.', time = ':', date = '/', thousand = ',';
  LocaleSeparators() {
    if (const lconv* lc = std::localeconv()) {
      if (lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1]) decimal = lc->decimal_point[0];
      if (lc->thousands_sep && lc->thousands_sep[0] && !lc->thousands_sep[1]) thousand = lc->thousands_sep[0];
    }
  }
};

const LocaleSeparators& Separators() {
  static const LocaleSeparators s;
  return s;
}

TCharSet MakeSet(char from, char to) {
  TCharSet s;
  for (int c = from; c <= to; ++c) s.set(size_t(c));
  return s;
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Flip(char c) { return IsAsciiLetter(uint8_t(c)) ? char(c ^ 0x20) : c; }

bool CharMatches(char p, char t, bool ignoreCase) { return p == '?' || p == t || (ignoreCase && Flip(p) == t); }

bool MatchAt(const std::string& text, const std::string& pattern, size_t at, bool ignoreCase) {
  for (size_t k = 0; k < pattern.size(); ++k)
    if (!CharMatches(pattern[k], text[at + k], ignoreCase)) return false;
  return true;
}

}  // namespace

const TCharSet UpperCaseLetters = MakeSet('A', 'Z');
const TCharSet LowerCaseLetters = MakeSet('a', 'z');
const TCharSet Letters = MakeSet('A', 'Z') | MakeSet('a', 'z');
char QuoteOpenChar = '"';
char QuoteCloseChar = '"';

char DecimalSeparator() { return Separators().decimal; }
char TimeSeparator() { return Separators().time; }
char DateSeparator() { return Separators().date; }
char ThousandSeparator() { return Separators().thousand; }

char UpCaseChar(char c) { return (c >= 'a' && c <= 'z') ? char(c ^ 0x20) : c; }
char LoCaseChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c ^ 0x20) : c; }

int StrScanForward(const std::string& text, const std::string& pattern, int start) {
  bool ignoreCase = start < 0;
  long from = std::labs(long(start));
  if (text.empty() || pattern.empty() || from < 1 || size_t(from) > text.size()) return 0;
  if (pattern.size() > text.size() - size_t(from - 1)) return 0;
  for (size_t at = size_t(from - 1); at + pattern.size() <= text.size(); ++at)
    if (MatchAt(text, pattern, at, ignoreCase)) return int(at + 1);
  return 0;
}

int StrScanBackward(const std::string& text, const std::string& pattern, int start) {
  bool ignoreCase = start < 0;
  long from = std::labs(long(start));
  if (text.empty() || pattern.empty() || from < 1 || size_t(from) > text.size()) return 0;
  if (pattern.size() > text.size()) return 0;
  size_t at = std::min(size_t(from - 1), text.size() - pattern.size());
  for (;; --at) {
    if (MatchAt(text, pattern, at, ignoreCase)) return int(at + 1);
    if (at == 0) break;
  }
  return 0;
}

TCharSet BuildCharSet(const std::string& chars, bool ignoreCase) {
  TCharSet set;
  for (size_t i = 0; i < chars.size() && i < 256; ++i) {
    set.set(uint8_t(chars[i]));
    if (ignoreCase) set.set(uint8_t(Flip(chars[i])));
  }
  return set;
}

int StrScanSet(const std::string& text, const std::string& chars, int start) {
  bool ignoreCase = start < 0;
  long from = std::labs(long(start));
  if (text.empty() || chars.empty() || from < 1 || size_t(from) > text.size()) return 0;
  TCharSet set = BuildCharSet(chars, ignoreCase);
  bool quoted = false;
  for (size_t i = size_t(from - 1); i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == QuoteCloseChar) quoted = false;
      continue;
    }
    if (c == QuoteOpenChar) {
      quoted = true;
      continue;
    }
    if (set.test(uint8_t(c))) return int(i + 1);
  }
  return 0;
}

void ProperCaseInPlace(std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    bool afterBreak = i == 0 || uint8_t(text[i - 1]) < uint8_t('0');
    text[i] = afterBreak ? UpCaseChar(text[i]) : LoCaseChar(text[i]);
  }
}

std::string NextToken(const std::string& text, const std::string& delimiters, int& position) {
  if (position < 1 || size_t(position) > text.size()) {
    position = 0;
    return {};
  }
  size_t from = size_t(position - 1);
  size_t end = text.find_first_of(delimiters, from);
  if (end == std::string::npos) {
    position = 0;
    return text.substr(from);
  }
  position = int(end + 2);
  if (size_t(position) > text.size()) position = 0;
  return text.substr(from, end - from);
}

std::string NextTokenBackward(const std::string& text, const std::string& delimiters, int& position) {
  if (position < 1 || size_t(position) > text.size()) {
    position = 0;
    return {};
  }
  size_t to = size_t(position - 1);  // last character of the token
  size_t begin = text.find_last_of(delimiters, to);
  if (begin == std::string::npos) {
    position = 0;
    return text.substr(0, to + 1);
  }
  position = int(begin);  // the character before the delimiter; 0 when it was the first
  return text.substr(begin + 1, to - begin);
}

int LengthWithoutLeading(const std::string& text, char c) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != c) return int(i + 1);
  return 0;
}

int LengthWithoutTrailing(const std::string& text, char c) {
  for (size_t i = text.size(); i > 0; --i)
    if (text[i - 1] != c) return int(i);
  return 0;
}

std::string LeftStr(const std::string& text, int n) {
  if (n <= 0) return {};
  return text.substr(0, size_t(n));
}

std::string RightStr(const std::string& text, int n) {
  if (n <= 0) return {};
  if (size_t(n) >= text.size()) return text;
  return text.substr(text.size() - size_t(n));
}

std::string MidStr(const std::string& text, int p, int n) {
  if (p < 1 || n <= 0 || size_t(p) > text.size()) return {};
  return text.substr(size_t(p - 1), size_t(n));
}

std::string StrFromPos(const std::string& text, int p) {
  if (p < 1 || size_t(p) > text.size()) return {};
  return text.substr(size_t(p - 1));
}

std::string TrimLeftChar(const std::string& text, char c) {
  size_t i = text.find_first_not_of(c);
  return i == std::string::npos ? std::string() : text.substr(i);
}

std::string TrimRightChar(const std::string& text, char c) {
  size_t i = text.find_last_not_of(c);
  return i == std::string::npos ? std::string() : text.substr(0, i + 1);
}

void ReplaceCharInPlace(std::string& text, char oldChar, char newChar) {
  for (char& c : text)
    if (c == oldChar) c = newChar;
}

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = UpCaseChar(c);
  return r;
}

std::string LowerCase(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = LoCaseChar(c);
  return r;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpCaseChar(a[i]) != UpCaseChar(b[i])) return false;
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && uint8_t(s[b]) <= ' ') ++b;
  while (e > b && uint8_t(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string IntToStr(long long v) { return std::to_string(v); }

bool TryStrToInt(const std::string& s, long long& v) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long r;
  if (t.size() > 1 && t[0] == '$') r = std::strtoll(t.c_str() + 1, &end, 16);
  else r = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || *end != 0) return false;
  v = r;
  return true;
}

long long StrToIntDef(const std::string& s, long long def) {
  long long v;
  return TryStrToInt(s, v) ? v : def;
}
