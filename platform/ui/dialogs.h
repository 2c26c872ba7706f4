#pragma once
// Message dialogs and the open and save file dialogs, shown through one replaceable service:
// Qt's dialogs in the program, a queue of answers in tests, or a script for whole-program runs.
//
// Scripted runs: when SOLVANE_DIALOG_SCRIPT names a file, the application answers every dialog
// from it instead of showing one, and appends a record of each dialog to the file named by
// SOLVANE_DIALOG_LOG (when set). The script is read line by line, in order:
//   # a comment; blank lines are skipped
//   Yes | No | OK | Cancel | Abort | Retry | Ignore | All | NoToAll | YesToAll
//                      answers the next message dialog with that button
//   file <path>        answers the next file dialog with that path
//   file Cancel        cancels the next file dialog
// A dialog whose next line is of the other kind, or that finds the script used up, is answered
// with its default (a message dialog's default button, Cancel for a file dialog), the line is kept
// for the next dialog, and the record says "(unscripted)". A line naming a button the dialog does
// not offer is used up; the default answers and the record names the line. A file the dialog refuses (its file-OK
// check, or No to the overwrite question, which is itself a scripted message) makes it read the
// next line, as a person would choose again. The log has one line per dialog:
//   message <Type> [<buttons>] "<text>" -> <answer>
//   file open|save "<title>" -> <path or Cancel>
// with the text's backslashes, quotes and line breaks written as \\, \", \r and \n.
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/component.h"
#include "platform/system/names.h"
#include "platform/ui/forms.h"
#include "platform/ui/strings.h"

namespace plat {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = uint32_t;
constexpr TMsgDlgButtons Btn(TMsgDlgBtn b) { return 1u << b; }
constexpr TMsgDlgButtons operator|(TMsgDlgBtn a, TMsgDlgBtn b) { return Btn(a) | Btn(b); }
constexpr TMsgDlgButtons operator|(TMsgDlgButtons a, TMsgDlgBtn b) { return a | Btn(b); }
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;
constexpr TMsgDlgButtons mbAbortRetryIgnore = mbAbort | mbRetry | mbIgnore;
constexpr TMsgDlgButtons mbOKOnly = Btn(mbOK);

// Shows a message dialog; returns the modal result of the button chosen (mrYes, mrOk, ...).
// The caption is the type's ("Warning", "Error", "Information", "Confirm"; the application's
// title for mtCustom).
int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
void ShowMessage(const std::string& msg);

struct MessageRequest {
  std::string text;
  std::string caption;
  TMsgDlgType type = mtInformation;
  TMsgDlgButtons buttons = Btn(mbOK);
  TMsgDlgBtn defaultButton = mbOK;
  TMsgDlgBtn cancelButton = mbOK;
};

struct FileRequest {
  bool save = false;
  std::string title, filter, initialDir, fileName, defaultExt;
  int filterIndex = 1;
  bool multiSelect = false;
  // Decides whether a chosen path may close the dialog (existence, overwrite question, the
  // caller's own check). The path has the default extension added already.
  std::function<bool(const std::string& path)> accept;
  // Completes a chosen name: the default extension, the folder.
  std::function<std::string(const std::string& path)> complete;
  // Told of the file under the cursor while the dialog is open.
  std::function<void(const std::string& path)> selectionChanged;
  // A panel of the caller's that the dialog shows below its file list (beside it with
  // panelBeside) while it is open; the caller owns it. Null for none.
  TWinControl* panel = nullptr;
  bool panelBeside = false;
  // Where the dialog goes when it first shows, given its size; its own choice when empty.
  std::function<TPoint(int width, int height)> place;
  // Called once the dialog stands, before the first choice can be made.
  std::function<void()> shown;
};

class DialogService {
public:
  virtual ~DialogService() = default;
  // Returns the modal result of the button chosen.
  virtual int Message(const MessageRequest& r) = 0;
  // True with files (and filterIndex) set when a choice was accepted.
  virtual bool File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) = 0;
};

// The service in force (Qt's dialogs unless replaced).
DialogService& Dialogs();
// Replaces the service; null returns to Qt's dialogs. Returns the one it replaced.
std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> s);
// The service SOLVANE_DIALOG_SCRIPT asks for, or null when it is not set.
std::shared_ptr<DialogService> ScriptedServiceFromEnvironment();

std::string ButtonName(TMsgDlgBtn b);  // "Yes", "No", "OK", ...
std::string ModalResultName(int mr);   // "Yes", "OK", "Cancel", ...
int ModalResultOf(TMsgDlgBtn b);
std::string DialogTypeName(TMsgDlgType t);  // "Warning", "Error", "Information", "Confirm"

// A record of one dialog shown.
struct ShownDialog {
  bool file = false;
  TMsgDlgType type = mtInformation;
  TMsgDlgButtons buttons = 0;
  std::string text;  // message text, or the file dialog's title
  std::string caption;
  int answer = 0;        // modal result of a message dialog
  std::string path;      // the file dialog's answer, empty when cancelled
  bool scripted = true;  // false when the default answered it
};

// For tests: answers queued in order; everything shown is kept.
class QueuedDialogs : public DialogService {
public:
  void AnswerMessage(int modalResult) { messages_.push_back(modalResult); }
  void AnswerFile(const std::string& path) { files_.push_back(path); }
  void CancelFile() { files_.push_back(std::string()); }
  const std::vector<ShownDialog>& Shown() const { return shown_; }
  std::vector<std::string> Texts() const;
  int Unanswered() const;  // dialogs that found no answer queued
  size_t PendingAnswers() const { return messages_.size() + files_.size(); }
  void Clear();
  // Called for every file dialog once it stands, before it takes its answer: a test can select
  // files and use the dialog's panel here.
  std::function<void(FileRequest& r)> OnFileShown;

  int Message(const MessageRequest& r) override;
  bool File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) override;

private:
  std::deque<int> messages_;
  std::deque<std::string> files_;
  std::vector<ShownDialog> shown_;
};

// For whole-program runs: answers from a script file, a record of each dialog in a log file.
class ScriptedDialogs : public DialogService {
public:
  ScriptedDialogs(const std::string& scriptPath, const std::string& logPath);
  int Message(const MessageRequest& r) override;
  bool File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) override;

private:
  void Log(const std::string& line);
  std::deque<std::string> lines_;
  std::string logPath_;
};

// Escapes a text as the dialog log writes it.
std::string EscapeDialogText(const std::string& s);

// ---- file dialogs -----------------------------------------------------------------------------

using TOpenOptions = uint32_t;
enum : uint32_t {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4,
  ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
  ofExtensionDifferent = 1u << 7,
  ofPathMustExist = 1u << 8,
  ofFileMustExist = 1u << 9,
  ofCreatePrompt = 1u << 10,
  ofShareAware = 1u << 11,
  ofNoReadOnlyReturn = 1u << 12,
  ofNoTestFileCreate = 1u << 13,
  ofNoNetworkButton = 1u << 14,
  ofNoLongNames = 1u << 15,
  ofOldStyleDialog = 1u << 16,
  ofNoDereferenceLinks = 1u << 17,
  ofEnableIncludeNotify = 1u << 18,
  ofEnableSizing = 1u << 19
};

using TCloseQueryHook = std::function<void(TObject* Sender, bool& CanClose)>;

class TOpenDialog : public TComponent {
public:
  explicit TOpenDialog(TComponent* owner);
  ~TOpenDialog() override;

  // Shows the dialog; true when a file was chosen (FileName, Files and FilterIndex then hold it).
  virtual bool Execute();

  std::string FileName;
  // A save dialog with ofOverwritePrompt: the file at FileName it asked about and the user agreed
  // to replace, as it was when asked; none when it asked nothing.
  FileIdentity ReplaceAgreed;
  std::string Filter;  // "Wave-Files(*.wav)|*.wav|All files|*.*"
  int FilterIndex = 1;
  std::string InitialDir;
  std::string Title;
  std::string DefaultExt;  // without the dot
  TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
  TStringList* Files() { return &files_; }

  // The file-OK check: set CanClose to false to keep the dialog open.
  TCloseQueryHook OnCanClose;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  std::string ClassName() const override { return "TOpenDialog"; }

protected:
  virtual bool IsSave() const { return false; }
  // The check made when the user confirms a path (FileName holds it); the base runs the
  // existence and overwrite rules of Options and then OnCanClose.
  virtual bool CanClose(const std::string& path);
  virtual void SelectionChanged(const std::string& path);
  // Last word on the request before the dialog is shown (a panel, a placement).
  virtual void PrepareRequest(FileRequest& r) {}

private:
  std::string Complete(const std::string& path) const;
  TStringList files_;
};

class TSaveDialog : public TOpenDialog {
public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
  std::string ClassName() const override { return "TSaveDialog"; }

protected:
  bool IsSave() const override { return true; }
};

// Turns a "description|pattern;pattern|..." filter into Qt's name filters (matching letters
// in either case, so that "*.wav" also lists the ".WAV" files carts from other machines have).
std::vector<std::string> QtNameFilters(const std::string& filter);

}  // namespace plat
