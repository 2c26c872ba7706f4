#pragma once
// Sending a cart's file by e-mail and to a Web/FTP destination. The recorder sends nothing itself:
// it writes small order files naming the file and the destination and starts an external
// program from the program folder.
#include <string>
#include <vector>

#include "platform/system/files.h"
#include "recorder/Notices.h"

// Where the two programs and their files live, relative to the program folder. The address book
// and the destination list keep their folders "email/" and "postrel/"; a file cannot share a
// folder's name, so the programs are "email-send" and "postrel-send".
constexpr const char* EmailProgramName = "email-send";
constexpr const char* WebProgramName = "postrel-send";
constexpr const char* AddressBookFile = "email/address.dat";
constexpr const char* WebListFile = "postrel/dbfolder.dat";
constexpr const char* MailFileName = "mail.txt";

constexpr int AddressBookEntries = 49;
constexpr int AddressBookFolders = 49;
constexpr int WebOrderLines = 22;

struct TAddressEntry {
  std::string destination;           // alias or e-mail address: the text before the first ";"
  std::vector<std::string> folders;  // the texts between the commas after the ";"
  std::string line;                  // the whole line
};

struct TSendLists {
  std::vector<TAddressEntry> addressBook;  // at most 49 entries, in file order
  std::vector<std::string> webList;        // the destination list's lines
};

// One address-book entry per line ended by a line end (CR LF or LF); a last line without one is
// not read, nor anything after the 49th line.
std::vector<TAddressEntry> ParseAddressBook(const std::string& text);
// The destinations the Web/FTP list offers: the text before the first ";" of every line that
// holds one, comment lines (";" after blanks) left out.
std::vector<std::string> WebDestinations(const std::vector<std::string>& lines);
std::vector<std::string> SplitLines(const std::string& text);

// Reads both lists from the program folder; a missing file gives an empty list. One that is there
// but cannot be read (see plat::ReadSmallFile) gives an empty list too, and notify names it.
TSendLists LoadSendLists(const std::string& programFolder, const TNotify& notify = nullptr);

// The destinations of the address book in order, up to the first empty one.
std::vector<std::string> AddressDestinations(const std::vector<TAddressEntry>& book);
// The folders of one entry, up to the first empty one.
std::vector<std::string> EntryFolders(const TAddressEntry& entry);

// At least 6 characters, one "@" that is neither first nor last nor right after a ".", a "."
// somewhere, no blank, not starting with "."; letters, digits, "_", "-", "+", "." and "@" only;
// no ".."; the part after the "@" holds a "." that is neither its first nor its last character.
bool IsValidEmailAddress(const std::string& address);

// The e-mail program's arguments: To=, File=, Folder=, Root= (the program folder without its
// trailing separator). Each is one argument, whatever blanks or quotes it holds.
std::vector<std::string> EmailArguments(const std::string& programFolder, const std::string& destination,
                                        const std::string& folder);
std::vector<std::string> WebArguments();  // "/x", "/PEXE"

// "[" + path + "]", no line end.
std::string OrderText(const std::string& path);
// The 22 lines of the Web/FTP order, each ended by CR LF: line 3 the file's name, line 6 the
// destination, every other line empty.
std::string WebOrderDat(const std::string& fileName, const std::string& destination);
// The drop folder's order files for a file: <drop>/<name>.dat and <drop>/<name>.txt.
std::string WebOrderPath(const std::string& dropFolder, const std::string& file, const std::string& ext);

class TUserDeck;
struct TUserFields;

// Every start, and an exit with a cart loaded, removes the mail file of an earlier send, unless
// the e-mail program it was written for still runs (started by this run of the deck or an
// earlier one: it keeps the file locked while it runs).
void DeleteMailFile(const TUserFields& users);

// Why a send is refused while the program started for the last one still runs.
constexpr const char* EmailProgramBusyText =
    "The e-mail program is still running with the last file sent. Send again when it has finished.";
constexpr const char* WebProgramBusyText =
    "The Web\\FTP program is still running with the last file sent. Send again when it has finished.";
// Why a file whose path holds a line break is not sent.
constexpr const char* UnsendableNameText =
    "This file cannot be sent: its name or folder holds a line break, and the order that names it to "
    "the sending program must be one line. \r\nSave it under a name without a line break and send that.";

// Why the e-mail or the Web/FTP program (kind "e-mail" or "Web\\FTP") at path could not be
// started, from errno: named, with the reason.
std::string ProgramNotStartedText(const std::string& kind, const std::string& path, int error);
// How that program ended; empty when it ended well.
std::string ProgramEndedText(const std::string& kind, const std::string& path, const plat::ProcessEnd& end);

// EnableSendButtons: whether each program is present in the program folder.
bool EmailProgramPresent(const std::string& programFolder);
bool WebProgramPresent(const std::string& programFolder);

// The Send button: checks the program (present, not still running), the cart's file (there, its
// path one line), writes "mail.txt". True when the e-mail dialog is to be shown.
bool PrepareEmail(TUserDeck& deck);
// The e-mail dialog's "&Send": checks the folder and the destination and starts the program.
// True when the program was started (the dialog closes). A program that could not start leaves no
// "mail.txt" behind; one that ends with an error is told when it ends.
bool SendEmail(TUserDeck& deck, const std::string& destination, const std::string& folder);
// The Web/FTP button before its dialog, with the checks of the Send button; true when the dialog
// is to be shown.
bool PrepareWeb(TUserDeck& deck);
// The Web/FTP dialog's "&Send": an empty choice is refused; otherwise it becomes the deck's
// destination and the result is true.
bool ChooseWebDestination(TUserDeck& deck, const std::string& choice);
// Writes the .dat order file and, when the settings say so, starts the Web/FTP program; the .dat
// file goes again when the program could not start.
bool SaveDat(TUserDeck& deck, const std::string& datPath, const std::string& filePath, const std::string& destination);
// After the Web/FTP dialog: writes both order files for the cart's file and then, when the
// settings say so, starts the Web/FTP program. True when everything that was asked was done;
// otherwise no order is left for it.
bool SendWeb(TUserDeck& deck);
