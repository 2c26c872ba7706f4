#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QFileInfo>
#include <QShowEvent>
#include <QMessageBox>
#include <QPushButton>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "platform/system/files.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/file_dialog_panel_qt.h"
#include "platform/ui/widgets_qt.h"

namespace plat {

// ---- names ------------------------------------------------------------------------------------

namespace {
constexpr TMsgDlgBtn kAllButtons[] = {mbYes,    mbNo,  mbOK,      mbCancel,   mbAbort, mbRetry,
                                      mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};
}

std::string ButtonName(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return "Yes";
    case mbNo: return "No";
    case mbOK: return "OK";
    case mbCancel: return "Cancel";
    case mbAbort: return "Abort";
    case mbRetry: return "Retry";
    case mbIgnore: return "Ignore";
    case mbAll: return "All";
    case mbNoToAll: return "NoToAll";
    case mbYesToAll: return "YesToAll";
    case mbHelp: return "Help";
  }
  return "?";
}

int ModalResultOf(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    default: return mrNone;
  }
}

std::string ModalResultName(int mr) {
  for (TMsgDlgBtn b : kAllButtons)
    if (ModalResultOf(b) == mr) return ButtonName(b);
  return mr == mrNone ? "None" : std::to_string(mr);
}

std::string DialogTypeName(TMsgDlgType t) {
  switch (t) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return "";
  }
}

std::string EscapeDialogText(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '\\': r += "\\\\"; break;
      case '"': r += "\\\""; break;
      case '\r': r += "\\r"; break;
      case '\n': r += "\\n"; break;
      default: r += c; break;
    }
  }
  return r;
}

namespace {

std::string ButtonList(TMsgDlgButtons b) {
  std::string r;
  for (TMsgDlgBtn x : kAllButtons)
    if (b & Btn(x)) r += (r.empty() ? "" : ",") + ButtonName(x);
  return "[" + r + "]";
}

std::string TypeLabel(TMsgDlgType t) { return t == mtCustom ? "Custom" : DialogTypeName(t); }

// ---- Qt's dialogs -----------------------------------------------------------------------------

QString QtButtonText(TMsgDlgBtn b) {
  switch (b) {
    case mbYes: return QStringLiteral("&Yes");
    case mbNo: return QStringLiteral("&No");
    case mbOK: return QStringLiteral("OK");
    case mbCancel: return QStringLiteral("Cancel");
    case mbAbort: return QStringLiteral("&Abort");
    case mbRetry: return QStringLiteral("&Retry");
    case mbIgnore: return QStringLiteral("&Ignore");
    case mbAll: return QStringLiteral("&All");
    case mbNoToAll: return QStringLiteral("N&o to All");
    case mbYesToAll: return QStringLiteral("Yes to &All");
    case mbHelp: return QStringLiteral("&Help");
  }
  return {};
}

// A file dialog that asks its request before it lets a choice close it.
class HookedFileDialog : public QFileDialog {
public:
  explicit HookedFileDialog(FileRequest& r) : r_(r) {}
  std::vector<std::string> chosen;

  void accept() override {
    const QStringList sel = selectedFiles();
    if (sel.isEmpty() || QFileInfo(sel.front()).isDir()) {
      QFileDialog::accept();  // opens the folder
      return;
    }
    std::vector<std::string> paths;
    for (const QString& s : sel) paths.push_back(r_.complete ? r_.complete(s.toStdString()) : s.toStdString());
    bool ok = true;
    CallGuarded([&] {
      for (const auto& p : paths)
        if (r_.accept && !r_.accept(p)) ok = false;
    });
    if (!ok) return;
    chosen = paths;
    QFileDialog::accept();
  }

protected:
  void showEvent(QShowEvent* e) override {
    QFileDialog::showEvent(e);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (r_.place) {
      const TPoint p = r_.place(width(), height());
      move(p.X, p.Y);
    }
    if (r_.shown) CallGuarded(r_.shown);
  }

private:
  FileRequest& r_;
  bool shownOnce_ = false;
};

class QtDialogs : public DialogService {
public:
  int Message(const MessageRequest& r) override {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(r.caption));
    box.setText(QString::fromStdString(r.text));
    switch (r.type) {
      case mtWarning: box.setIcon(QMessageBox::Warning); break;
      case mtError: box.setIcon(QMessageBox::Critical); break;
      case mtInformation: box.setIcon(QMessageBox::Information); break;
      case mtConfirmation: box.setIcon(QMessageBox::Question); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    std::vector<std::pair<QPushButton*, TMsgDlgBtn>> made;
    for (TMsgDlgBtn b : kAllButtons) {
      if (!(r.buttons & Btn(b))) continue;
      QPushButton* pb = box.addButton(QtButtonText(b), QMessageBox::ActionRole);
      made.push_back({pb, b});
      if (b == r.defaultButton) box.setDefaultButton(pb);
      if (b == r.cancelButton) box.setEscapeButton(pb);
    }
    box.exec();
    for (auto& [pb, b] : made)
      if (box.clickedButton() == pb) return ModalResultOf(b);
    return ModalResultOf(r.cancelButton);
  }

  bool File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) override {
    HookedFileDialog d(r);
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    d.setOption(QFileDialog::DontConfirmOverwrite, true);
    d.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(r.save ? QFileDialog::AnyFile : r.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
    d.setWindowTitle(QString::fromStdString(r.title));
    QStringList filters;
    for (const auto& f : QtNameFilters(r.filter)) filters << QString::fromStdString(f);
    if (!filters.isEmpty()) {
      d.setNameFilters(filters);
      if (r.filterIndex >= 1 && r.filterIndex <= filters.size()) d.selectNameFilter(filters[r.filterIndex - 1]);
    }
    if (!r.initialDir.empty()) d.setDirectory(QString::fromStdString(r.initialDir));
    if (!r.fileName.empty()) d.selectFile(QString::fromStdString(r.fileName));
    if (r.selectionChanged)
      QObject::connect(&d, &QFileDialog::currentChanged,
                       [&r](const QString& p) { CallGuarded([&] { r.selectionChanged(p.toStdString()); }); });
    FileDialogPanel panel(d, r);
    // Room for whole sizes, types and dates beside the names.
    if (auto* list = d.findChild<QTreeView*>()) {
      for (int column = 1; column < list->header()->count(); ++column)
        list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    d.resize(std::max(d.width(), 760), std::max(d.height(), 480));
    if (d.exec() != QDialog::Accepted || d.chosen.empty()) return false;
    files = d.chosen;
    filterIndex = int(filters.indexOf(d.selectedNameFilter())) + 1;
    if (filterIndex < 1) filterIndex = r.filterIndex;
    return true;
  }
};

std::mutex g_serviceLock;
std::shared_ptr<DialogService>& Current() {
  static std::shared_ptr<DialogService> s;
  return s;
}

}  // namespace

DialogService& Dialogs() {
  std::lock_guard<std::mutex> l(g_serviceLock);
  auto& s = Current();
  if (!s) s = std::make_shared<QtDialogs>();
  return *s;
}

std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> s) {
  std::lock_guard<std::mutex> l(g_serviceLock);
  auto old = Current();
  Current() = std::move(s);
  return old;
}

std::shared_ptr<DialogService> ScriptedServiceFromEnvironment() {
  const char* script = std::getenv("SOLVANE_DIALOG_SCRIPT");
  if (!script || !*script) return nullptr;
  // A script that is not this account's own answers nothing: the dialogs are the operator's.
  std::string text;
  if (!ReadOwnFile(script, text) && errno != ENOENT) {
    std::fprintf(stderr, "dialog script: %s is not read: %s\n", script, std::strerror(errno));
    return nullptr;
  }
  const char* log = std::getenv("SOLVANE_DIALOG_LOG");
  return std::make_shared<ScriptedDialogs>(script, log ? log : "");
}

// ---- message dialogs --------------------------------------------------------------------------

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  MessageRequest r;
  r.text = msg;
  r.type = type;
  r.caption = type == mtCustom ? (Application ? Application->Title() : std::string()) : DialogTypeName(type);
  if (buttons == 0) buttons = Btn(mbOK);
  r.buttons = buttons;
  if (buttons & Btn(mbOK)) r.defaultButton = mbOK;
  else if (buttons & Btn(mbYes)) r.defaultButton = mbYes;
  else
    for (TMsgDlgBtn b : kAllButtons)
      if (buttons & Btn(b)) {
        r.defaultButton = b;
        break;
      }
  r.cancelButton = buttons & Btn(mbCancel) ? mbCancel : buttons & Btn(mbNo) ? mbNo : r.defaultButton;
  return Dialogs().Message(r);
}

void ShowMessage(const std::string& msg) { MessageDlg(msg, mtCustom, Btn(mbOK)); }

// ---- queued answers ---------------------------------------------------------------------------

std::vector<std::string> QueuedDialogs::Texts() const {
  std::vector<std::string> r;
  for (const auto& s : shown_)
    if (!s.file) r.push_back(s.text);
  return r;
}

int QueuedDialogs::Unanswered() const {
  int n = 0;
  for (const auto& s : shown_) n += s.scripted ? 0 : 1;
  return n;
}

void QueuedDialogs::Clear() {
  messages_.clear();
  files_.clear();
  shown_.clear();
}

int QueuedDialogs::Message(const MessageRequest& r) {
  ShownDialog s;
  s.type = r.type;
  s.buttons = r.buttons;
  s.text = r.text;
  s.caption = r.caption;
  if (messages_.empty()) {
    s.answer = ModalResultOf(r.defaultButton);
    s.scripted = false;
  } else {
    s.answer = messages_.front();
    messages_.pop_front();
  }
  shown_.push_back(s);
  return s.answer;
}

bool QueuedDialogs::File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) {
  if (r.shown) r.shown();
  if (OnFileShown) OnFileShown(r);
  for (;;) {
    ShownDialog s;
    s.file = true;
    s.text = r.title;
    if (files_.empty()) {
      s.scripted = false;
      shown_.push_back(s);
      return false;
    }
    std::string path = files_.front();
    files_.pop_front();
    if (path.empty()) {
      shown_.push_back(s);
      return false;
    }
    if (r.complete) path = r.complete(path);
    s.path = path;
    const size_t at = shown_.size();
    shown_.push_back(s);
    if (r.accept && !r.accept(path)) {
      shown_[at].answer = mrCancel;  // refused; the next answer is the next choice
      continue;
    }
    shown_[at].answer = mrOk;
    files = {path};
    filterIndex = r.filterIndex;
    return true;
  }
}

// ---- scripted answers -------------------------------------------------------------------------

ScriptedDialogs::ScriptedDialogs(const std::string& scriptPath, const std::string& logPath) : logPath_(logPath) {
  std::string text;
  ReadOwnFile(scriptPath, text);
  size_t i = 0;
  while (i <= text.size()) {
    size_t j = text.find('\n', i);
    if (j == std::string::npos) j = text.size();
    std::string line = text.substr(i, j - i);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t k = line.find_first_not_of(" \t");
    line = k == std::string::npos ? std::string() : line.substr(k);
    if (!line.empty() && line[0] != '#') lines_.push_back(line);
    i = j + 1;
  }
}

void ScriptedDialogs::Log(const std::string& line) {
  if (!logPath_.empty()) AppendToOwnFile(logPath_, line + '\n');
}

int ScriptedDialogs::Message(const MessageRequest& r) {
  std::string head =
      "message " + TypeLabel(r.type) + " " + ButtonList(r.buttons) + " \"" + EscapeDialogText(r.text) + "\" -> ";
  if (!lines_.empty() && strncasecmp(lines_.front().c_str(), "file ", 5) != 0) {
    const std::string word = lines_.front();
    for (TMsgDlgBtn b : kAllButtons)
      if (strcasecmp(ButtonName(b).c_str(), word.c_str()) == 0 && (r.buttons & Btn(b))) {
        lines_.pop_front();
        Log(head + ButtonName(b));
        return ModalResultOf(b);
      }
    // A button the dialog does not offer: say so, and leave the line for no one.
    lines_.pop_front();
    Log(head + ButtonName(r.defaultButton) + " (\"" + word + "\" not offered)");
    return ModalResultOf(r.defaultButton);
  }
  Log(head + ButtonName(r.defaultButton) + " (unscripted)");
  return ModalResultOf(r.defaultButton);
}

bool ScriptedDialogs::File(FileRequest& r, std::vector<std::string>& files, int& filterIndex) {
  const std::string head =
      std::string("file ") + (r.save ? "save" : "open") + " \"" + EscapeDialogText(r.title) + "\" -> ";
  if (r.shown) r.shown();
  for (;;) {
    if (lines_.empty() || strncasecmp(lines_.front().c_str(), "file ", 5) != 0) {
      Log(head + "Cancel (unscripted)");
      return false;
    }
    std::string arg = lines_.front().substr(5);
    lines_.pop_front();
    size_t k = arg.find_first_not_of(" \t");
    arg = k == std::string::npos ? std::string() : arg.substr(k);
    if (arg.empty() || strcasecmp(arg.c_str(), "Cancel") == 0) {
      Log(head + "Cancel");
      return false;
    }
    std::string path = r.complete ? r.complete(arg) : arg;
    if (r.accept && !r.accept(path)) {
      Log(head + path + " (refused)");
      continue;
    }
    Log(head + path);
    files = {path};
    filterIndex = r.filterIndex;
    return true;
  }
}

// ---- file dialogs -----------------------------------------------------------------------------

std::vector<std::string> QtNameFilters(const std::string& filter) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= filter.size() && !filter.empty()) {
    size_t j = filter.find('|', i);
    if (j == std::string::npos) j = filter.size();
    parts.push_back(filter.substr(i, j - i));
    i = j + 1;
  }
  std::vector<std::string> out;
  for (size_t p = 0; p + 1 < parts.size(); p += 2) {
    std::string patterns;
    size_t a = 0;
    const std::string& list = parts[p + 1];
    while (a <= list.size()) {
      size_t b = list.find(';', a);
      if (b == std::string::npos) b = list.size();
      std::string pat = list.substr(a, b - a);
      if (!pat.empty()) {
        std::string lo = pat, up = pat;
        for (char& c : lo) c = char(tolower(static_cast<unsigned char>(c)));
        for (char& c : up) c = char(toupper(static_cast<unsigned char>(c)));
        patterns += (patterns.empty() ? "" : " ") + lo;
        if (up != lo) patterns += " " + up;
      }
      a = b + 1;
    }
    out.push_back(parts[p] + " (" + patterns + ")");
  }
  return out;
}

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}
TOpenDialog::~TOpenDialog() = default;

std::string TOpenDialog::Complete(const std::string& path) const {
  std::string p = path;
  if (!p.empty() && p[0] != '/') {
    std::string dir = InitialDir;
    if (dir.empty()) dir = ExpandFileName(".");
    p = IncludeTrailingPathDelimiter(dir) + p;
  }
  if (!DefaultExt.empty() && ExtractFileExt(p).empty()) {
    std::string withExt = p + "." + DefaultExt;
    if (IsSave() || !FileExists(p)) p = withExt;
  }
  return p;
}

bool TOpenDialog::CanClose(const std::string& path) {
  FileName = path;
  if ((Options & (ofPathMustExist | ofFileMustExist)) && !DirectoryExists(ExtractFileDir(path))) {
    MessageDlg(path + "\r\nPath does not exist.\r\nCheck the path and try again.", mtWarning, Btn(mbOK));
    return false;
  }
  if (!IsSave() && (Options & ofFileMustExist) && !FileExists(path)) {
    MessageDlg(path + "\r\nFile not found.\r\nCheck the file name and try again.", mtWarning, Btn(mbOK));
    return false;
  }
  ReplaceAgreed = {};
  if (IsSave() && (Options & ofOverwritePrompt) && FileExists(path)) {
    // The answer is about this file: one that takes the name later was never agreed to.
    const FileIdentity asked = IdentifyFile(path);
    if (MessageDlg(path + " already exists.\r\nDo you want to replace it?", mtWarning, mbYesNo) != mrYes) return false;
    ReplaceAgreed = asked;
  }
  bool can = true;
  if (OnCanClose) OnCanClose(this, can);
  return can;
}

void TOpenDialog::SelectionChanged(const std::string& path) {
  FileName = path;
  if (OnSelectionChange) OnSelectionChange(this);
}

bool TOpenDialog::Execute() {
  FileRequest r;
  r.save = IsSave();
  r.title = !Title.empty() ? Title : r.save ? "Save As" : "Open";
  r.filter = Filter;
  r.filterIndex = FilterIndex;
  r.initialDir = InitialDir;
  if (r.initialDir.empty() && !FileName.empty() && FileName.find('/') != std::string::npos)
    r.initialDir = ExtractFileDir(FileName);
  r.fileName = ExtractFileName(FileName);
  r.defaultExt = DefaultExt;
  r.multiSelect = Options & ofAllowMultiSelect;
  r.complete = [this](const std::string& p) { return Complete(p); };
  r.accept = [this](const std::string& p) { return CanClose(p); };
  r.selectionChanged = [this](const std::string& p) { SelectionChanged(p); };
  PrepareRequest(r);
  const std::string before = FileName;
  if (OnShow) OnShow(this);
  std::vector<std::string> chosen;
  int fi = FilterIndex;
  const bool ok = Dialogs().File(r, chosen, fi);
  if (OnClose) OnClose(this);
  if (!ok || chosen.empty()) {
    FileName = before;
    return false;
  }
  files_.Clear();
  for (const auto& f : chosen) files_.Add(f);
  FileName = chosen.front();
  FilterIndex = fi;
  std::string ext = ExtractFileExt(FileName);
  if (!ext.empty()) ext = ext.substr(1);
  if (!DefaultExt.empty() && strcasecmp(ext.c_str(), DefaultExt.c_str()) != 0) Options |= ofExtensionDifferent;
  else Options &= ~ofExtensionDifferent;
  return true;
}

}  // namespace plat
