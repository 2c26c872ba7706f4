#pragma once
// INI files with the classic profile-file rules, which the program's settings and user files rely
// on (QSettings would escape, reorder and compare case-sensitively):
// - section and key names match case-insensitively (ASCII letters), surrounding blanks ignored;
//   the first of several equal sections or keys is the one used;
// - every write goes to the file at once; a key that exists gets its value replaced on its own line
//   and keeps its spelling; a new key goes to the end of its section, a new section to the end of
//   the file; comment lines (";") and blank lines stay where they are;
// - a read trims blanks and one pair of surrounding quotes; a missing key gives the default, an
//   empty value gives ""; a value that a read would change is written inside one more pair of
//   quotes, so every value written reads back as it was (line breaks aside, below);
// - ReadInteger of text that is not an integer (decimal, "$hex" or "0xhex") gives the default;
//   ReadBool is ReadInteger != 0; booleans are written as "1" and "0".
// Lines are written with CR LF; CR LF and LF are read. Line breaks inside a written name or value
// are turned into blanks, so a value can never add lines of its own to the file. The program's
// INI files hold passwords: a file is created and every rewrite leaves it with mode 0600, or, in a
// folder other accounts share (group-writable or setgid), 0660 with the folder's group, so that
// every account of that group may read and write it.
// A write goes through a link to the file it names, unless another account made the link.
// A file that is there but cannot be read (no permission, a FIFO, a device, a folder, too large: see
// plat::ReadSmallFile) is never taken as empty: every read and every write of it raises
// EIniReadError naming the file, so nothing is written over what could not be read.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system/component.h"

namespace plat {

class TStrings;

class EIniFileException : public Exception {
public:
  explicit EIniFileException(std::string m) : Exception(std::move(m)) {}
};

// The file is there but could not be read.
class EIniReadError : public Exception {
public:
  explicit EIniReadError(std::string m) : Exception(std::move(m)) {}
};

// A file that had to exist (see SetMustExist) is gone.
class EIniFileGone : public EIniFileException {
public:
  explicit EIniFileGone(std::string m) : EIniFileException(std::move(m)) {}
};

class TIniFile : public TObject {
public:
  // An empty name is a file of none: it reads as empty and every write raises EIniFileException.
  explicit TIniFile(std::string fileName);
  const std::string& FileName() const { return fileName_; }

  // Why the file could not be read ("Unable to read <file>: <why>."); empty when it was read or
  // is not there.
  std::string ReadFailure();
  // With mustExist a write replaces the file only while it is there: one removed meanwhile (by
  // another workstation) is never made again, and the write raises EIniFileGone.
  void SetMustExist(bool mustExist) { mustExist_ = mustExist; }

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def);
  // Raises EIniFileException "Unable to write to <file>" when the file cannot be written.
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def);
  void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
  bool ReadBool(const std::string& section, const std::string& ident, bool def);
  void WriteBool(const std::string& section, const std::string& ident, bool value);
  double ReadFloat(const std::string& section, const std::string& ident, double def);
  void WriteFloat(const std::string& section, const std::string& ident, double value);

  // Key names of a section as stored, in file order.
  void ReadSection(const std::string& section, TStrings& keys);
  void ReadSections(TStrings& sections);
  // "key=value" for every key of the section, values read as ReadString reads them.
  void ReadSectionValues(const std::string& section, TStrings& values);
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& ident);
  // A section with no keys does not exist, as for the framework.
  bool SectionExists(const std::string& section);
  bool ValueExists(const std::string& section, const std::string& ident);
  void UpdateFile() {}  // every write is already on disk

  // Writes between BeginUpdate and the matching EndUpdate reach the file once, at EndUpdate
  // (which raises EIniFileException when it cannot write); a writer of many keys then rewrites
  // the file once instead of once per key. Changes made by others meanwhile are not read.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

  std::string ClassName() const override { return "TIniFile"; }

  // Integer text as the framework's conversion reads it; false when it is not one.
  static bool ParseInteger(const std::string& text, int32_t& value);

private:
  struct Line {
    enum Kind { Other, Section, Key } kind = Other;
    std::string text;   // the whole line as stored, without its line end
    std::string name;   // section or key name, trimmed
    std::string value;  // raw value after "=" (keys only)
  };
  struct Stamp {
    bool exists = false;
    uint64_t dev = 0, ino = 0;
    int64_t size = 0, mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const std::string& path);
  void Load();
  void Save();
  static Line ParseLine(const std::string& text);
  // [first, end) line range of the section's body; first is -1 when absent.
  void FindSection(const std::string& section, int& header, int& end) const;
  int FindKey(int header, int end, const std::string& ident) const;

  std::string fileName_;
  std::vector<Line> lines_;
  Stamp stamp_;
  bool loaded_ = false;
  int updateCount_ = 0;
  bool pending_ = false;  // writes made during an update not yet in the file
  bool mustExist_ = false;
  bool missing_ = false;      // nothing was at the name when last loaded
  std::string readFailure_;   // why the file could not be read when last loaded
};

}  // namespace plat
