#include "platform/ui/inifiles.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/files.h"
#include "platform/ui/strings.h"

namespace plat {

namespace {

// The program's INI files hold passwords: made for their owner alone until ProtectSecretFile
// gives them the folder's way.
constexpr mode_t OwnerOnly = 0600;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\0')) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string OneLine(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c == '\r' || c == '\n') c = ' ';
  return r;
}

// What a read makes of a stored value: blanks and one pair of surrounding quotes go.
std::string ReadValue(const std::string& stored) {
  std::string v = TrimBlanks(stored);
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
  return v;
}

// A value the read would change (a typed password " pw " or "\"q\"") is stored inside one more
// pair of quotes, which the read takes off again.
std::string StoredValue(const std::string& value) { return ReadValue(value) == value ? value : '"' + value + '"'; }

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

TIniFile::Stamp TIniFile::StampOf(const std::string& path) {
  Stamp s;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return s;
  s.exists = true;
  s.dev = uint64_t(st.st_dev);
  s.ino = uint64_t(st.st_ino);
  s.size = int64_t(st.st_size);
  s.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return s;
}

TIniFile::Line TIniFile::ParseLine(const std::string& text) {
  Line l;
  l.text = text;
  std::string t = TrimBlanks(text);
  if (t.empty() || t[0] == ';') return l;
  if (t[0] == '[') {
    size_t close = t.find(']');
    l.kind = Line::Section;
    l.name = TrimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return l;
  }
  size_t eq = text.find('=');
  if (eq == std::string::npos) return l;
  l.kind = Line::Key;
  l.name = TrimBlanks(text.substr(0, eq));
  l.value = text.substr(eq + 1);
  if (l.name.empty()) l.kind = Line::Other;
  return l;
}

void TIniFile::Load() {
  // Reread only when the file changed since we last saw it (someone else may write it too).
  if (loaded_ && updateCount_ > 0) return;
  Stamp now = StampOf(fileName_);
  if (loaded_ && now == stamp_) return;
  lines_.clear();
  // Nothing at the name reads as empty; something there that cannot be read is never taken as
  // empty, nor written over.
  const SmallFile file = ReadSmallFile(fileName_);
  readFailure_ = SmallFileRefusal(fileName_, file);
  if (!readFailure_.empty()) {
    loaded_ = false;
    throw EIniReadError(readFailure_);
  }
  missing_ = !file.Ok();
  const std::string& data = file.data;
  size_t i = 0;
  while (i < data.size()) {
    size_t j = data.find_first_of("\r\n", i);
    if (j == std::string::npos) j = data.size();
    lines_.push_back(ParseLine(data.substr(i, j - i)));
    if (j < data.size() && data[j] == '\r') ++j;
    if (j < data.size() && data[j] == '\n') ++j;
    i = j;
  }
  stamp_ = now;
  loaded_ = true;
}

std::string TIniFile::ReadFailure() {
  try {
    Load();
  } catch (const EIniReadError&) {}
  return readFailure_;
}

void TIniFile::EndUpdate() {
  if (updateCount_ == 0 || --updateCount_ > 0 || !pending_) return;
  pending_ = false;
  Save();
}

void TIniFile::Save() {
  if (updateCount_ > 0) {
    pending_ = true;
    return;
  }
  std::string data;
  for (const auto& l : lines_) {
    data += l.text;
    data += "\r\n";
  }
  // A new file beside the old one, renamed over it, so a crash mid-write never leaves half a
  // settings file. A file without a write bit stays as it is.
  auto fail = [this] {
    loaded_ = false;  // what is in memory was not stored
    throw EIniFileException("Unable to write to " + fileName_);
  };
  auto gone = [this] {
    loaded_ = false;
    throw EIniFileGone(fileName_ + " no longer exists.");
  };
  if (fileName_.empty()) fail();
  if (mustExist_ && missing_) gone();
  // A link is written through only when it may be followed (LinkStandingAt): one that another
  // account put in a folder it shares with us would have us replace whatever it points at.
  const LinkAt linkAt = LinkStandingAt(fileName_);
  if (linkAt == LinkAt::Untrusted) fail();
  const bool link = linkAt == LinkAt::Trusted;
  // Only the link judged above is resolved: a name that was none is written as a name, so a link
  // put there meanwhile is replaced, not followed.
  std::string target = fileName_;
  char resolved[PATH_MAX];
  if (link && ::realpath(fileName_.c_str(), resolved)) target = resolved;
  // Only a file is ever replaced: a link to a device, a pipe or a folder would have the new file
  // put in its place (as root, /dev/zero itself).
  struct stat ts;
  if (::lstat(target.c_str(), &ts) == 0 && !S_ISREG(ts.st_mode)) fail();
  if (IsReadOnly(target)) fail();
  std::string tmp = target + ".tmp-XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    // A folder we may not create files in: rewrite the file where it is.
    tmp.clear();
    fd = OpenFileForWriting(target, !mustExist_, OwnerOnly);
    if (fd < 0 && errno == ENOENT && mustExist_) gone();
    if (fd < 0) fail();
  }
  // Best effort: where the folder's group cannot be given, the file stays the owner's alone.
  ProtectSecretFile(fd, ExtractFilePath(target));
  const char* p = data.data();
  size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= size_t(n);
  }
  if (::close(fd) != 0) ok = false;
  if (!tmp.empty() && ok && mustExist_) {
    // Exchanged with the file only while it is there; the old one then goes.
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
      ::unlink(tmp.c_str());
      tmp.clear();
    } else if (errno == ENOENT || !FileExists(target)) {
      ::unlink(tmp.c_str());
      gone();
    }
    // A file system without the exchange: the plain rename below, just after the check.
  }
  if (!tmp.empty() && (!ok || ::rename(tmp.c_str(), target.c_str()) != 0)) {
    ::unlink(tmp.c_str());
    fail();
  }
  if (!ok) fail();
  stamp_ = StampOf(fileName_);
  loaded_ = true;
}

void TIniFile::FindSection(const std::string& section, int& header, int& end) const {
  std::string name = TrimBlanks(section);
  header = -1;
  end = -1;
  for (int i = 0; i < int(lines_.size()); ++i) {
    if (lines_[size_t(i)].kind != Line::Section) continue;
    if (header >= 0) {
      end = i;
      return;
    }
    if (SameName(lines_[size_t(i)].name, name)) header = i;
  }
  if (header >= 0) end = int(lines_.size());
}

int TIniFile::FindKey(int header, int end, const std::string& ident) const {
  std::string name = TrimBlanks(ident);
  for (int i = header + 1; i < end; ++i)
    if (lines_[size_t(i)].kind == Line::Key && SameName(lines_[size_t(i)].name, name)) return i;
  return -1;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  Load();
  int header, end;
  FindSection(section, header, end);
  if (header < 0) return def;
  int k = FindKey(header, end, ident);
  if (k < 0) return def;
  return ReadValue(lines_[size_t(k)].value);
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  Load();
  const std::string sec = OneLine(section), key = OneLine(ident), val = StoredValue(OneLine(value));
  int header, end;
  FindSection(sec, header, end);
  if (header < 0) {
    lines_.push_back(ParseLine("[" + sec + "]"));
    lines_.push_back(ParseLine(TrimBlanks(key) + "=" + val));
    Save();
    return;
  }
  int k = FindKey(header, end, key);
  if (k >= 0) {
    lines_[size_t(k)] = ParseLine(lines_[size_t(k)].name + "=" + val);
  } else {
    // After the section's last line that is not blank, so a blank line that separates it from
    // the next section stays where it is.
    int at = end;
    while (at > header + 1 && TrimBlanks(lines_[size_t(at - 1)].text).empty()) --at;
    lines_.insert(lines_.begin() + at, ParseLine(TrimBlanks(key) + "=" + val));
  }
  Save();
}

bool TIniFile::ParseInteger(const std::string& text, int32_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool neg = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
  bool hex = false;
  if (i < n && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  for (; i < n; ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * (hex ? 16 : 10) + uint64_t(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    // Hexadecimal text fills all 32 bits, so $FFFFFFFF is -1.
    int32_t r = int32_t(uint32_t(v));
    value = neg ? int32_t(0u - uint32_t(r)) : r;
    return true;
  }
  if (neg ? v > 2147483648ull : v > 2147483647ull) return false;
  value = neg ? int32_t(-int64_t(v)) : int32_t(v);
  return true;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& ident, int32_t def) {
  int32_t v;
  return ParseInteger(ReadString(section, ident, ""), v) ? v : def;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

double TIniFile::ReadFloat(const std::string& section, const std::string& ident, double def) {
  std::string s = ReadString(section, ident, "");
  if (s.empty()) return def;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s.c_str(), &end);
  if (*end || errno == ERANGE || !std::isfinite(v)) return def;
  return v;
}

void TIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  WriteString(section, ident, buf);
}

void TIniFile::ReadSection(const std::string& section, TStrings& keys) {
  Load();
  keys.BeginUpdate();
  keys.Clear();
  int header, end;
  FindSection(section, header, end);
  for (int i = header + 1; header >= 0 && i < end; ++i)
    if (lines_[size_t(i)].kind == Line::Key) keys.Add(lines_[size_t(i)].name);
  keys.EndUpdate();
}

void TIniFile::ReadSections(TStrings& sections) {
  Load();
  sections.BeginUpdate();
  sections.Clear();
  std::vector<std::string> seen;
  for (const auto& l : lines_) {
    if (l.kind != Line::Section) continue;
    bool dup = false;
    for (const auto& s : seen) dup = dup || SameName(s, l.name);
    if (dup) continue;
    seen.push_back(l.name);
    sections.Add(l.name);
  }
  sections.EndUpdate();
}

void TIniFile::ReadSectionValues(const std::string& section, TStrings& values) {
  TStringList keys;
  ReadSection(section, keys);
  values.BeginUpdate();
  values.Clear();
  for (int i = 0; i < keys.Count(); ++i) values.Add(keys[i] + "=" + ReadString(section, keys[i], ""));
  values.EndUpdate();
}

void TIniFile::EraseSection(const std::string& section) {
  Load();
  int header, end;
  FindSection(section, header, end);
  if (header < 0) return;
  lines_.erase(lines_.begin() + header, lines_.begin() + end);
  Save();
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  Load();
  int header, end;
  FindSection(section, header, end);
  if (header < 0) return;
  int k = FindKey(header, end, ident);
  if (k < 0) return;
  lines_.erase(lines_.begin() + k);
  Save();
}

bool TIniFile::SectionExists(const std::string& section) {
  Load();
  int header, end;
  FindSection(section, header, end);
  for (int i = header + 1; header >= 0 && i < end; ++i)
    if (lines_[size_t(i)].kind == Line::Key) return true;
  return false;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) {
  Load();
  int header, end;
  FindSection(section, header, end);
  return header >= 0 && FindKey(header, end, ident) >= 0;
}

}  // namespace plat
