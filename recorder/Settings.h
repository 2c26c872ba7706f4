#pragma once
// The machine-wide settings of the deck, kept in Solvane.ini in the program folder. The file is
// read once at start-up and completes itself: a key that is missing or empty gets its default
// written back, so after the first start every key is present.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/inifiles.h"
#include "recorder/Gpi.h"
#include "recorder/Notices.h"

// ---- formats --------------------------------------------------------------------------------
// The 36 formats, one per format number: nine rates, each as 8-bit mono, 8-bit stereo, 16-bit
// mono and 16-bit stereo. The texts are stored in program records and matched again by exact
// text, so they never change.
constexpr int FormatCount = 36;
constexpr int DefaultStandardFormat = 26;     // 32 kHz, 16 bit, mono
constexpr int DefaultStandardLength = 10000;  // HHMMSS: one hour
extern const std::array<const char*, FormatCount> FormatTexts;
std::string FormatText(int format);         // empty outside 0..35
int FormatNumber(const std::string& text);  // exact text; -1 when none

// "HH:MM:SS.mmm" (any ":" and "." removed, exactly nine digits must remain) to milliseconds.
// Raises plat::EConvertError on any other text.
int64_t TimeStrToMilSec(const std::string& text);

// ---- the settings ---------------------------------------------------------------------------
constexpr int LoadMenuItems = 7;

struct TDeckSettings {
  // [Standard Cart]
  int standardFormat = DefaultStandardFormat;
  int standardLength = DefaultStandardLength;  // HHMMSS digits as an integer
  bool useLengthForAllWav = false;
  // [GUI]
  bool analogMeters = false;
  bool displaySensitivity = true;
  bool displayPunchInWarning = true;
  bool shortTimers = false;
  bool fullScreen = false;
  std::string exitPassword;
  std::string launchAfterSave;
  bool editButtonEnabled = true;
  // [FILES], [PREFIX FILE]
  std::string savePath, loadPath;
  std::string prefixFile;
  bool prefixSort = false;
  // [RECORDING OPTIONS]
  bool timeRemainingWarning = false;  // the warning dialog's check box only
  int64_t warningTimeMs = 0;
  std::string warningWav;
  // [GPI]
  TGpiSettings gpi;
  // [LOAD MENU], in menu order
  std::array<bool, LoadMenuItems> loadMenuEnabled{true, true, true, true, true, true, true};
  // [ARROWS], [LOAD BY NAME], [FILES], [METER GAIN], [DISPLAY], [POSTREL IN]
  int arrowsSensitivity = 1000;  // FF/Rew step in milliseconds
  bool loadByNameHeadStart = true;
  bool safetySave = true;
  std::string supervisorPassword;
  int meterGainOffset = 0;
  bool desktopFullScreen = false;
  std::string postrelInPath;
  bool postrelLaunch = true;
};

// How one key is read and what is written back when it is missing or empty.
enum class TKeyRule {
  StandardFormat,     // 3300, text that is no number, or no format number: message, 26 written
  StandardLength,     // missing or 0: 10000 written
  Bool,               // empty: the default written; then read as a boolean
  AnalogMeters,       // "TRUE" in any case keeps it; anything else writes "False"
  Text,               // empty: "" written so the key is present
  GpiText,            // as Text, then every "{{CRLF}}" becomes CR LF
  EditButton,         // empty: "1" written; "0" disables the Edit button
  Folder,             // missing: the program folder written; a folder that does not exist: warning
  PrefixFile,         // missing: "" written; a named file that does not exist: warning, no prefixes
  PrefixSort,         // missing: "0" written
  WarningFlag,        // never written; on only for "TRUE" in any case
  WarningTime,        // never written; "HH:MM:SS", 0 when it does not convert
  WarningWav,         // never written
  Integer,            // empty: the default written as text; then read as an integer
  Parity,             // empty: "N" written; then read as text
  MeterGain,          // missing or no number: 0 written (as "Offset")
  DesktopFullScreen,  // never written; "1" is on
  PostrelPath,        // empty: the program folder + "postrel/in" written
};

struct TSettingsKey {
  const char* section;
  const char* key;
  TKeyRule rule;
  int intDefault = 0;  // Bool: 0 or 1; Integer: the default; Folder and Text: unused
  // The field the key fills; exactly one is set, according to the rule.
  bool& (*boolField)(TDeckSettings&) = nullptr;
  int& (*intField)(TDeckSettings&) = nullptr;
  std::string& (*textField)(TDeckSettings&) = nullptr;
};

// Every key of the settings file in the order it is read (and so, on a first start, written).
const std::vector<TSettingsKey>& SettingsKeys();

constexpr const char* SettingsFileName = "Solvane.ini";

// Creates the settings file with its comment line when it does not exist.
bool CreateSettingsFile(const std::string& path);

// Reads the standard cart's format and length, writing 26 for a missing (or unusable) format and
// 10000 for a missing or zero length. Returns true when the format was missing. Where the file
// cannot be written, the defaults are the result all the same. Where it cannot be read (told at
// start), format and length keep the values given: those in force.
bool ReadStandardCart(plat::TIniFile& ini, int& format, int& length);

// Reads every key in order into settings, writing defaults back. programFolder ends in "/". A
// default that cannot be written back holds in memory; the result is false when one could not.
bool ReadSettings(plat::TIniFile& ini, TDeckSettings& settings, const std::string& programFolder,
                  const TNotify& notify);

// What the operator is told, once, when the settings file cannot take the defaults.
std::string SettingsNotSavedText(const std::string& path);

// Reads programFolder + "Solvane.ini" into settings, creating the file with its comment line
// when it is missing and completing it with the defaults of missing keys. Where it cannot be
// written the defaults hold for this run, and the operator is told so once. Always true.
bool LoadConfig(TDeckSettings& settings, const std::string& programFolder, const TNotify& notify);

// ---- the settings dialogs and the deck's sensitivity caption ------------------------------------
// The FF/Rew steps the sensitivity dialog offers, in the order of its items.
constexpr std::array<int, 6> SensitivitySteps = {1, 10, 100, 1000, 10000, 100000};
// The item of a step; any other value gives the "1 Second" item.
int SensitivityItem(int ms);
// A step as seconds: ".001", ".01", ".1", "1", "10", "100"; any other value gives "1000".
std::string SensitivitySeconds(int ms);

// The standard cart dialog's Save: the format number and the integer of the six HHMMSS digits.
void WriteStandardCart(plat::TIniFile& ini, int format, int length);

// OK of the time-left warning dialog. With the warning on, a time that is "00:00:00" or does not
// convert is refused with a warning and false (the dialog stays open). Otherwise the three keys
// are written, the deck's fields set, and the result is true.
bool ApplyTimeLeftWarning(plat::TIniFile& ini, TDeckSettings& settings, bool enabled, const std::string& time,
                          const std::string& wav, const TNotify& notify);
