#pragma once
// Users and their programs. Every user has a file <user>.svu in the users folder, in INI form:
// [USER] holds the full name and the password, sections "Template 0" to "Template 249" one
// program each. A program is a template for a recording: name (the cart's file name), maximum
// length, description, format, save folder and lockout hours. The file of the user "Default" is
// the program library from which programs are assigned to the other users.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "recorder/Notices.h"

constexpr const char* DefaultUserName = "Default";
constexpr const char* UserFileExt = ".svu";
constexpr int ProgramRows = 250;
constexpr int ProgramFieldCount = 6;

// The six fields of a program, in the order of the record text and of the table's columns.
enum TProgramField { pfName, pfLength, pfDescription, pfFormat, pfSavePath, pfLockout };
using TProgramRow = std::array<std::string, ProgramFieldCount>;
// The main form's table of the current user's programs; row n holds section "Template " + n,
// and a row with an empty name ends the list.
using TProgramTable = std::array<TProgramRow, ProgramRows>;

// The program's keys as its section holds them.
extern const std::array<const char*, ProgramFieldCount> ProgramKeys;
std::string TemplateSection(int n);  // "Template " + n

// ---- program records: "Name|Length|Description|Format|Save Path|Lockout" ----------------------
std::string ProgramRecord(const TProgramRow& row);
// The six fields back. An empty description comes back as one blank. No field holds a "|": the
// program dialogs refuse one and the readers below refuse programs that have one.
TProgramRow SplitProgramRecord(const std::string& record);
std::string RecordField(const std::string& record, TProgramField field);

// "HHMMSS" digits (as an integer) as "HH:MM:SS", two digits each at least.
std::string LengthText(int hhmmss);
// A length text with every ":" removed, as an integer; false when what is left is not a number.
bool LengthDigits(const std::string& text, int& hhmmss);

// Sorts records by one field (the key field and the name change places, then whole texts are
// compared without regard to case), so equal keys are ordered by the rest of the record.
void SortProgramRecords(std::vector<std::string>& records, TProgramField key);

// ---- what the files bring --------------------------------------------------------------------
// A name that cannot be a file name: refused with the message the by-name dialog uses.
bool HasIllegalFileChars(const std::string& name);
std::string IllegalNameMessage(const std::string& name);

// A program of a user file or of the settings file that is not taken: its name becomes a file
// name in the temporary folder, and its fields are joined with "|" in lists.
struct TRefusedProgram {
  std::string section;  // "Template n"
  std::string name;
  std::string reason;
};
using TRefusedPrograms = std::vector<TRefusedProgram>;
// Why a program read from a file cannot be taken; empty when it can.
std::string ProgramFault(const TProgramRow& row);
// One message that names the refused programs of a file.
std::string RefusedProgramsMessage(const std::string& file, const TRefusedPrograms& refused);
// One message that names the user files left out of a list of users.
std::string RefusedUsersMessage(const std::vector<std::string>& files);

// ---- user files -----------------------------------------------------------------------------
bool IsDefaultUser(const std::string& name);
// folder + user + ".svu"; an existing file whose name differs only in letter case is found too.
std::string UserFilePath(const std::string& folder, const std::string& user);
// The user names of the folder's "*.svu" files (without their ".svu"), "Default" left out, in
// the order of the folder listing. A file whose name could not have been typed as a user name
// is left out and its name added to refused, when given.
std::vector<std::string> UserNamesInFolder(const std::string& folder, std::vector<std::string>* refused = nullptr);
// "Default" first, then the others in folder order (the login list).
std::vector<std::string> LoginUserList(const std::string& folder, std::vector<std::string>* refused = nullptr);
// "Default" first, then the others sorted without regard to case (the manager's list).
std::vector<std::string> ManagerUserList(const std::string& folder, std::vector<std::string>* refused = nullptr);

// Every program of a user's file whose name is not empty, as records, skipping unused sections
// (the manager's reader). An empty lockout reads as "0". A program with a fault is left out and
// added to refused, when given. A missing file gives no programs; one that is there but cannot be
// read raises plat::EIniReadError, which names it.
std::vector<std::string> ReadProgramRecords(const std::string& path, TRefusedPrograms* refused = nullptr);
// Writes a whole program list: sections "Template 0" to "Template 249", filled from 0 without
// gaps, the sections past the last record with all six keys empty. The file is rewritten once.
// A list longer than 250 programs is refused (false) and nothing is written. With mustExist a
// file removed meanwhile is not made again (plat::EIniFileGone): a user's list, whose user is gone.
bool WriteProgramRecords(const std::string& path, const std::vector<std::string>& records, bool mustExist = false);
// ---- program lists shared by decks -------------------------------------------------------------
// A deck writes only what it changed in a list, applied to the list as its file holds it at that
// moment, under the folder's list lock (plat::ListLock), never the copy it read earlier: two decks
// saving one list keep each other's programs.
enum class TListSave {
  Saved,
  Busy,  // another deck kept the lock for all of the patience: nothing was written
  Full,  // the changes would take the list past 250 programs: nothing was written
};
// Brings the list at path from what the deck read (read) to what it holds now (now): a program it
// removed goes, unless the file no longer holds it as read (another deck changed it meanwhile, and
// that stays); a program it added or edited is added, and in the library (library), whose names
// are its programs' keys, replaces a program of its name: the last save of a program wins. How
// often the file holds a program is moved towards how often the deck holds it, by no more than
// the deck changed it, so two decks assigning one program leave it once. Programs the deck did
// not change stay as the file holds them, also those the readers refuse; the list is written
// sorted by its records' texts. A library that is not there is made from now; a user's list that
// is not there is not made again (plat::EIniFileGone). saved: the list as the file then holds it,
// as ReadProgramRecords gives it (for Full, every program the list would have held). A file that cannot be
// read raises plat::EIniReadError, one that cannot be written plat::EIniFileException.
TListSave SaveProgramList(const std::string& path, const std::vector<std::string>& read,
                          const std::vector<std::string>& now, bool library, std::vector<std::string>& saved);
// Whether now differs from read by more than its order.
bool ProgramListChanged(const std::vector<std::string>& read, const std::vector<std::string>& now);
// What a deck says when another deck kept the list's lock (TListSave::Busy).
std::string ListBusyText(const std::string& path);
// What the manager and the assignment dialog say when a list that could not be read is to be
// saved: it is not, since that would replace the programs the file holds.
std::string UnreadListText(const std::string& path);
// What the user dialogs and the assignment dialog say about a user whose file was removed
// meanwhile (on another workstation): nothing is made again.
std::string UserGoneText(const std::string& user);

// ---- the main form's program table ----------------------------------------------------------
// A progress gauge that LoadINITemplates resets and advances one step per row.
class TLoadProgress {
public:
  virtual ~TLoadProgress() = default;
  virtual void Reset() = 0;
  virtual void Step() = 0;
};

class TUserDeck;
// Fills the deck's program table from the user's file and makes that user the current user.
// For "Default" without a file the library is first made from the settings file's templates,
// leaving out (with a message) the templates that have a fault. A program of the user's file
// that has a fault takes no row: it is added to refused when given, else named in a message.
// A user file (or settings file) that is there but cannot be read raises plat::EIniReadError and
// changes nothing.
void LoadINITemplates(TUserDeck& deck, const std::string& user, TLoadProgress* gauge,
                      TRefusedPrograms* refused = nullptr);
// The library as the manager and the assignment dialog show it: loaded as above for "Default",
// then every program of its file, unused sections skipped, so a gap loses none. The programs
// with a fault are added to refused when given, else named in one message.
std::vector<std::string> LoadLibrary(TUserDeck& deck, TRefusedPrograms* refused = nullptr);

// ---- the manager's dialogs, without their windows ------------------------------------------

enum class TUserDialogMode { Add, Edit, Copy };
// Gone: the user edited was removed meanwhile; told, nothing written, and the dialog closes.
enum class TUserDialogField { None, FullName, UserName, Password, Confirm, Gone };
struct TUserDialogInput {
  std::string fullName, userName, password, confirm;
  std::string shownName;  // Edit: the user being edited; Copy: the user copied from
  // Edit: the full name and password as the dialog showed them from the file. A key left as shown
  // keeps whatever the file holds by then (another workstation may have changed it meanwhile).
  std::optional<std::pair<std::string, std::string>> shownKeys = std::nullopt;
};
// "&OK" of the add, edit and copy user dialogs: every check in order, then the file is written
// (renamed for a changed name in Edit, copied from the shown user in Copy). Returns the field
// that takes the focus after a refusal, or None when the dialog may close with modal result 1.
TUserDialogField UserDialogOk(TUserDialogMode mode, const TUserDialogInput& in, const std::string& usersFolder,
                              const std::vector<std::string>& listedUsers, const TNotify& notify, const TAsk& ask);

// Removing a user from the manager's list: refuses "Default", asks, deletes the file. True when
// the user was removed.
bool RemoveUser(const std::string& name, const std::string& usersFolder, const TNotify& notify, const TAsk& ask);

enum class TProgramDialogMode { Add, Copy, Edit };
struct TProgramDialogInput {
  std::string name, description;
  std::string lengthDigits;  // the six digits of the masked length field
  std::string formatText, savePath, lockout;
};
enum class TProgramDialogField { None, Name, Description, Length, SavePath };
// "&OK" of the add, copy and edit program dialogs. On success the record is appended to the
// library (Add, Copy) or replaces line `selected` (Edit) and None is returned.
TProgramDialogField ProgramDialogOk(TProgramDialogMode mode, const TProgramDialogInput& in,
                                    std::vector<std::string>& library, int selected, const TNotify& notify,
                                    const TAsk& ask);

// The assignment dialog's duplicate check: true when some record occurs twice.
bool HasDuplicateRecords(const std::vector<std::string>& records);
