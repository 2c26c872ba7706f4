#include "recorder/Settings.h"

#include "platform/system/exceptions.h"
#include "platform/system/files.h"
#include "recorder/StrUtils.h"

const std::array<const char*, FormatCount> FormatTexts = {
    "8.000 kHz, 8 bit, Mono, 7 kb/sec",    "8.000 kHz, 8 bit, Stereo, 15 kb/sec",
    "8.000 kHz, 16 bit, Mono, 15 kb/sec",  "8.000 kHz, 16 bit, Stereo, 31 kb/sec",
    "11.025 kHz, 8 bit, Mono, 10 kb/sec",  "11.025 kHz, 8 bit, Stereo, 21 kb/sec",
    "11.025 kHz, 16 bit, Mono, 21 kb/sec", "11.025 kHz, 16 bit, Stereo, 43 kb/sec",
    "12.000 kHz, 8 bit, Mono, 11 kb/sec",  "12.000 kHz, 8 bit, Stereo, 23 kb/sec",
    "12.000 kHz, 16 bit, Mono, 23 kb/sec", "12.000 kHz, 16 bit, Stereo, 46 kb/sec",
    "16.000 kHz, 8 bit, Mono, 15 kb/sec",  "16.000 kHz, 8 bit, Stereo, 31 kb/sec",
    "16.000 kHz, 16 bit, Mono, 31 kb/sec", "16.000 kHz, 16 bit, Stereo, 62 kb/sec",
    "22.050 kHz, 8 bit, Mono, 21 kb/sec",  "22.050 kHz, 8 bit, Stereo, 43 kb/sec",
    "22.050 kHz, 16 bit, Mono, 43 kb/sec", "22.050 kHz, 16 bit, Stereo, 86 kb/sec",
    "24.000 kHz, 8 bit, Mono, 23 kb/sec",  "24.000 kHz, 8 bit, Stereo, 46 kb/sec",
    "24.000 kHz, 16 bit, Mono, 46 kb/sec", "24.000 kHz, 16 bit, Stereo, 93 kb/sec",
    "32.000 kHz, 8 bit, Mono, 31 kb/sec",  "32.000 kHz, 8 bit, Stereo, 62 kb/sec",
    "32.000 kHz, 16 bit, Mono, 62 kb/sec", "32.000 kHz, 16 bit, Stereo, 125 kb/sec",
    "44.100 kHz, 8 bit, Mono, 43 kb/sec",  "44.100 kHz, 8 bit, Stereo, 86 kb/sec",
    "44.100 kHz, 16 bit, Mono, 86 kb/sec", "44.100 kHz, 16 bit, Stereo, 172 kb/sec",
    "48.000 kHz, 8 bit, Mono, 31 kb/sec",  "48.000 kHz, 8 bit, Stereo, 62 kb/sec",
    "48.000 kHz, 16 bit, Mono, 62 kb/sec", "48.000 kHz, 16 bit, Stereo, 125 kb/sec",
};

std::string FormatText(int format) {
  return format >= 0 && format < FormatCount ? FormatTexts[size_t(format)] : std::string();
}

int FormatNumber(const std::string& text) {
  for (int i = 0; i < FormatCount; ++i)
    if (text == FormatTexts[size_t(i)]) return i;
  return -1;
}

int64_t TimeStrToMilSec(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c != ':' && c != '.') digits += c;
  // Nine digits or nothing: a shorter text would shift its fields, "12:00" becoming hours.
  bool ok = digits.size() == 9;
  for (char c : digits) ok = ok && c >= '0' && c <= '9';
  if (!ok) throw plat::EConvertError("'" + text + "' is not a valid time");
  auto two = [&](size_t at) { return int64_t(digits[at] - '0') * 10 + (digits[at + 1] - '0'); };
  int64_t seconds = two(0) * 3600 + two(2) * 60 + two(4);
  int64_t ms = int64_t(digits[6] - '0') * 100 + (digits[7] - '0') * 10 + (digits[8] - '0');
  return seconds * 1000 + ms;
}

// ---- the key table ------------------------------------------------------------------------------

namespace {

using B = bool& (*)(TDeckSettings&);
using I = int& (*)(TDeckSettings&);
using T = std::string& (*)(TDeckSettings&);

TSettingsKey Key(const char* s, const char* k, TKeyRule r, int def, B f) { return {s, k, r, def, f, nullptr, nullptr}; }
TSettingsKey Key(const char* s, const char* k, TKeyRule r, int def, I f) { return {s, k, r, def, nullptr, f, nullptr}; }
TSettingsKey Key(const char* s, const char* k, TKeyRule r, T f) { return {s, k, r, 0, nullptr, nullptr, f}; }
TSettingsKey Key(const char* s, const char* k, TKeyRule r) { return {s, k, r, 0, nullptr, nullptr, nullptr}; }

#define FIELD(x)                    \
  +[](TDeckSettings & d) -> auto& { \
    return d.x;                     \
  }

std::vector<TSettingsKey> MakeKeys() {
  using R = TKeyRule;
  return {
      Key("Standard Cart", "FORMAT", R::StandardFormat, DefaultStandardFormat, FIELD(standardFormat)),
      Key("Standard Cart", "LENGTH", R::StandardLength, DefaultStandardLength, FIELD(standardLength)),
      Key("Standard Cart", "Use Length For All WAV", R::Bool, 0, FIELD(useLengthForAllWav)),
      Key("GUI", "Analog Meters", R::AnalogMeters, 0, FIELD(analogMeters)),
      Key("GUI", "Display Sensitivity", R::Bool, 1, FIELD(displaySensitivity)),
      Key("GUI", "Display Punch In Warning", R::Bool, 1, FIELD(displayPunchInWarning)),
      Key("GUI", "Short Timers", R::Bool, 0, FIELD(shortTimers)),
      Key("GUI", "Full Screen", R::Bool, 0, FIELD(fullScreen)),
      Key("GUI", "Password To Exit", R::Text, FIELD(exitPassword)),
      Key("GUI", "Launch After Save", R::Text, FIELD(launchAfterSave)),
      Key("GUI", "EDIT BUTTON", R::EditButton, 1, FIELD(editButtonEnabled)),
      Key("FILES", "SAVE PATH", R::Folder, FIELD(savePath)),
      Key("FILES", "LOAD PATH", R::Folder, FIELD(loadPath)),
      Key("PREFIX FILE", "LOAD PATH", R::PrefixFile, FIELD(prefixFile)),
      Key("PREFIX FILE", "SORT", R::PrefixSort, 0, FIELD(prefixSort)),
      Key("RECORDING OPTIONS", "Time Remaining Warning", R::WarningFlag, 0, FIELD(timeRemainingWarning)),
      Key("RECORDING OPTIONS", "Time", R::WarningTime),
      Key("RECORDING OPTIONS", "Warning Wav", R::WarningWav, FIELD(warningWav)),
      Key("GPI", "ENABLE", R::Bool, 0, FIELD(gpi.enabled)),
      Key("GPI", "COM PORT", R::Integer, 1, FIELD(gpi.comPort)),
      Key("GPI", "BAUD", R::Integer, 2400, FIELD(gpi.baud)),
      Key("GPI", "PARITY", R::Parity, FIELD(gpi.parity)),
      Key("GPI", "DATA", R::Integer, 8, FIELD(gpi.dataBits)),
      Key("GPI", "STOP", R::Integer, 1, FIELD(gpi.stopBits)),
      Key("GPI", "ON RECORD", R::GpiText, FIELD(gpi.onRecord)),
      Key("GPI", "ON STOP", R::GpiText, FIELD(gpi.onStop)),
      Key("GPI", "ON LOAD", R::GpiText, FIELD(gpi.onLoad)),
      Key("GPI", "ON EXIT", R::GpiText, FIELD(gpi.onExit)),
      Key("LOAD MENU", "ITEM1", R::Bool, 1, FIELD(loadMenuEnabled[0])),
      Key("LOAD MENU", "ITEM2", R::Bool, 1, FIELD(loadMenuEnabled[1])),
      Key("LOAD MENU", "ITEM3", R::Bool, 1, FIELD(loadMenuEnabled[2])),
      Key("LOAD MENU", "ITEM4", R::Bool, 1, FIELD(loadMenuEnabled[3])),
      Key("LOAD MENU", "ITEM5", R::Bool, 1, FIELD(loadMenuEnabled[4])),
      Key("LOAD MENU", "ITEM6", R::Bool, 1, FIELD(loadMenuEnabled[5])),
      Key("LOAD MENU", "ITEM7", R::Bool, 1, FIELD(loadMenuEnabled[6])),
      Key("ARROWS", "SENSITIVITY", R::Integer, 1000, FIELD(arrowsSensitivity)),
      Key("LOAD BY NAME", "HEADSTART", R::Bool, 1, FIELD(loadByNameHeadStart)),
      Key("FILES", "SAFETY SAVE", R::Bool, 1, FIELD(safetySave)),
      Key("FILES", "PASSWORD", R::Text, FIELD(supervisorPassword)),
      Key("METER GAIN", "Offset", R::MeterGain, 0, FIELD(meterGainOffset)),
      Key("DISPLAY", "FULL SCREEN", R::DesktopFullScreen, 0, FIELD(desktopFullScreen)),
      Key("POSTREL IN", "PATH", R::PostrelPath, FIELD(postrelInPath)),
      Key("POSTREL IN", "LAUNCH", R::Bool, 1, FIELD(postrelLaunch)),
  };
}

#undef FIELD

// A format that is no format number counts as missing, like the marker value.
constexpr int kMissingMarker = 3300;

const char* const kFormatCreated =
    "A one-hour 32 kHz, 16 bit, mono file has been chosen as the Standard Cart.\r\n\r\n"
    "You can change it with Ctrl+F, or with the F10 \"Other\" button and \"Setup Standard Cart\".";

bool FormatMissing(int v) { return v == kMissingMarker || FormatText(v).empty(); }

// Writes a default back into the file. A file that cannot be written (a read-only folder, a
// folder at its name) leaves the default in force for this run: false, and the caller reads on.
template <class Write>
bool WriteBack(Write&& write) {
  try {
    write();
    return true;
  } catch (const plat::EIniFileException&) {
    return false;
  }
}

bool ReadFormatKey(plat::TIniFile& ini, int& format, bool& saved) {
  format = ini.ReadInteger("Standard Cart", "FORMAT", kMissingMarker);
  if (!FormatMissing(format)) return false;
  saved = WriteBack([&] { ini.WriteInteger("Standard Cart", "FORMAT", DefaultStandardFormat); }) && saved;
  format = DefaultStandardFormat;
  return true;
}

void ReadLengthKey(plat::TIniFile& ini, int& length, bool& saved) {
  if (ini.ReadInteger("Standard Cart", "LENGTH", 0) == 0)
    saved = WriteBack([&] { ini.WriteInteger("Standard Cart", "LENGTH", DefaultStandardLength); }) && saved;
  length = ini.ReadInteger("Standard Cart", "LENGTH", 0);
  if (length == 0) length = DefaultStandardLength;  // not stored: the default holds in memory
}

class TKeyReader {
public:
  TKeyReader(plat::TIniFile& ini, TDeckSettings& s, const std::string& folder, const TNotify& notify)
      : ini_(ini), s_(s), folder_(folder), notify_(notify) {}

  void Read(const TSettingsKey& k) {
    const std::string sec = k.section, key = k.key;
    switch (k.rule) {
      case TKeyRule::StandardFormat:
        if (FormatMissing(ini_.ReadInteger(sec, key, kMissingMarker))) Tell(TNoticeKind::Information, kFormatCreated);
        ReadFormatKey(ini_, k.intField(s_), saved_);
        break;
      case TKeyRule::StandardLength: ReadLengthKey(ini_, k.intField(s_), saved_); break;
      case TKeyRule::Bool:
        if (Empty(sec, key)) Put([&] { ini_.WriteBool(sec, key, k.intDefault != 0); });
        k.boolField(s_) = ini_.ReadBool(sec, key, k.intDefault != 0);
        break;
      case TKeyRule::AnalogMeters: {
        bool on = UpperCase(ini_.ReadString(sec, key, {})) == "TRUE";
        if (!on) Put([&] { ini_.WriteString(sec, key, "False"); });
        k.boolField(s_) = on;
        break;
      }
      case TKeyRule::Text:
      case TKeyRule::GpiText: {
        std::string v = ini_.ReadString(sec, key, {});
        if (v.empty()) Put([&] { ini_.WriteString(sec, key, {}); });
        k.textField(s_) = k.rule == TKeyRule::GpiText && !v.empty() ? ParseTheGPIString(v) : v;
        break;
      }
      case TKeyRule::EditButton:
        if (Empty(sec, key)) Put([&] { ini_.WriteString(sec, key, "1"); });
        k.boolField(s_) = ini_.ReadString(sec, key, "1") != "0";
        break;
      case TKeyRule::Folder: {
        std::string& field = k.textField(s_);
        if (!ini_.ValueExists(sec, key)) {
          Put([&] { ini_.WriteString(sec, key, folder_); });
          field = folder_;
          break;
        }
        field = ini_.ReadString(sec, key, {});
        if (field.empty() || !plat::DirectoryExists(field)) {
          const char* what = SameText(key, "SAVE PATH") ? "Save Path" : "Load Path";
          Tell(TNoticeKind::Warning,
               std::string("Could not find your \"") + what + "\" from  Solvane.ini. Solvane will use " + folder_);
          field = folder_;
        }
        break;
      }
      case TKeyRule::PrefixFile: {
        std::string& field = k.textField(s_);
        field.clear();
        if (!ini_.ValueExists(sec, key)) {
          Put([&] { ini_.WriteString(sec, key, {}); });
          break;
        }
        std::string v = ini_.ReadString(sec, key, {});
        if (!v.empty() && !plat::FileExists(v))
          Tell(TNoticeKind::Warning, "Could not find your Prefix File. Prefixes will not be used.");
        else field = v;
        break;
      }
      case TKeyRule::PrefixSort:
        k.boolField(s_) = false;
        if (!ini_.ValueExists(sec, key)) Put([&] { ini_.WriteString(sec, key, "0"); });
        else k.boolField(s_) = ini_.ReadBool(sec, key, false);
        break;
      case TKeyRule::WarningFlag: k.boolField(s_) = UpperCase(ini_.ReadString(sec, key, {})) == "TRUE"; break;
      case TKeyRule::WarningTime: {
        std::string v = ini_.ReadString(sec, key, "00:00:00");
        s_.warningTimeMs = 0;
        if (UpperCase(v) != "00:00:00") {
          try {
            s_.warningTimeMs = TimeStrToMilSec(v + ".000");
          } catch (const plat::EConvertError&) {}
        }
        break;
      }
      case TKeyRule::WarningWav: k.textField(s_) = ini_.ReadString(sec, key, {}); break;
      case TKeyRule::Integer:
        if (Empty(sec, key)) Put([&] { ini_.WriteString(sec, key, IntToStr(k.intDefault)); });
        k.intField(s_) = ini_.ReadInteger(sec, key, k.intDefault);
        break;
      case TKeyRule::Parity:
        if (Empty(sec, key)) Put([&] { ini_.WriteString(sec, key, "N"); });
        k.textField(s_) = ini_.ReadString(sec, key, "N");
        break;
      case TKeyRule::MeterGain: {
        int v = ini_.ReadInteger(sec, key, kMissingMarker);
        if (v == kMissingMarker) {
          Put([&] { ini_.WriteInteger(sec, key, 0); });
          v = 0;
        }
        k.intField(s_) = v;
        break;
      }
      case TKeyRule::DesktopFullScreen: k.boolField(s_) = ini_.ReadString(sec, key, "0") == "1"; break;
      case TKeyRule::PostrelPath: {
        // Kept as stored: upper-casing a path breaks it on a case-sensitive file system.
        const std::string def = folder_ + "postrel/in";
        if (Empty(sec, key)) Put([&] { ini_.WriteString(sec, key, def); });
        k.textField(s_) = ini_.ReadString(sec, key, def);
        break;
      }
    }
  }

  // False when a default could not be written back.
  bool Saved() const { return saved_; }

private:
  template <class Write>
  void Put(Write&& write) {
    saved_ = WriteBack(write) && saved_;
  }
  bool Empty(const std::string& sec, const std::string& key) { return ini_.ReadString(sec, key, {}).empty(); }
  void Tell(TNoticeKind kind, const std::string& text) {
    if (notify_) notify_(kind, text);
  }

  plat::TIniFile& ini_;
  TDeckSettings& s_;
  const std::string& folder_;
  const TNotify& notify_;
  bool saved_ = true;
};

}  // namespace

const std::vector<TSettingsKey>& SettingsKeys() {
  static const std::vector<TSettingsKey> keys = MakeKeys();
  return keys;
}

bool CreateSettingsFile(const std::string& path) {
  if (plat::FileExists(path)) return true;
  // Owner-only from the start, whatever the umask: the file will hold the supervisor and exit
  // passwords, and one the umask left without a write bit could never be saved into.
  return plat::WriteSecretFile(path, "; Settings File for Solvane\r\n");
}

bool ReadStandardCart(plat::TIniFile& ini, int& format, int& length) {
  // A settings file that cannot be read was named at start, and the values in force hold.
  if (!ini.ReadFailure().empty()) return false;
  bool saved = true;
  bool missing = ReadFormatKey(ini, format, saved);
  ReadLengthKey(ini, length, saved);
  return missing;
}

bool ReadSettings(plat::TIniFile& ini, TDeckSettings& settings, const std::string& programFolder,
                  const TNotify& notify) {
  TKeyReader reader(ini, settings, programFolder, notify);
  for (const TSettingsKey& k : SettingsKeys()) reader.Read(k);
  return reader.Saved();
}

std::string SettingsNotSavedText(const std::string& path) {
  return "The settings cannot be saved: " + path +
         " cannot be written. \r\nUntil it can, Solvane uses the default of every setting the file does not hold.";
}

bool LoadConfig(TDeckSettings& settings, const std::string& programFolder, const TNotify& notify) {
  const std::string path = programFolder + SettingsFileName;
  CreateSettingsFile(path);
  plat::TIniFile ini(path);
  // A file there that cannot be read is left as it is, never completed as if it were empty: the
  // defaults hold for this run, as an empty settings file would give them, and nothing is written.
  if (const std::string failure = ini.ReadFailure(); !failure.empty()) {
    if (notify) notify(TNoticeKind::Warning, failure + " \r\nSolvane uses the default settings until it can be read.");
    plat::TIniFile none({});
    ReadSettings(none, settings, programFolder, nullptr);
    return true;
  }
  if (!ReadSettings(ini, settings, programFolder, notify) && notify)
    notify(TNoticeKind::Warning, SettingsNotSavedText(path));
  return true;
}

int SensitivityItem(int ms) {
  for (size_t i = 0; i < SensitivitySteps.size(); ++i)
    if (SensitivitySteps[i] == ms) return int(i);
  return 3;
}

std::string SensitivitySeconds(int ms) {
  static const char* const texts[] = {".001", ".01", ".1", "1", "10", "100"};
  for (size_t i = 0; i < SensitivitySteps.size(); ++i)
    if (SensitivitySteps[i] == ms) return texts[i];
  return "1000";
}

void WriteStandardCart(plat::TIniFile& ini, int format, int length) {
  ini.WriteInteger("Standard Cart", "FORMAT", format);
  ini.WriteInteger("Standard Cart", "LENGTH", length);
}

bool ApplyTimeLeftWarning(plat::TIniFile& ini, TDeckSettings& s, bool enabled, const std::string& time,
                          const std::string& wav, const TNotify& notify) {
  const char* const section = "RECORDING OPTIONS";
  if (!enabled) {
    ini.WriteString(section, "Time Remaining Warning", "False");
    ini.WriteString(section, "Time", "00:00:00");
    ini.WriteString(section, "Warning Wav", "");
    s.timeRemainingWarning = false;
    s.warningWav.clear();
    s.warningTimeMs = 0;
    return true;
  }
  int64_t ms = 0;
  bool valid = time != "00:00:00";
  if (valid) {
    try {
      ms = TimeStrToMilSec(time + ".000");
    } catch (const plat::EConvertError&) {
      valid = false;  // a half-typed time would otherwise escape the dialog as an exception
    }
  }
  if (!valid) {
    if (notify)
      notify(TNoticeKind::Warning,
             "You have selected to enable the warning, but you did not enter \r\n"
             "a valid time. Please enter a valid time and then click OK");
    return false;
  }
  ini.WriteString(section, "Time Remaining Warning", "True");
  ini.WriteString(section, "Time", time);
  ini.WriteString(section, "Warning Wav", wav);
  s.timeRemainingWarning = true;
  s.warningWav = wav;
  s.warningTimeMs = ms;
  return true;
}
