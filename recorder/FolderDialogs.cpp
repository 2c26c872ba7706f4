#include "recorder/FolderDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "platform/system/files.h"

namespace {
TBrowseFolderHook& Hook() {
  static TBrowseFolderHook hook;
  return hook;
}
}  // namespace

void SetBrowseFolderHook(TBrowseFolderHook hook) { Hook() = std::move(hook); }

bool BrowseForFolder(const std::string& start, std::string& chosen) {
  if (Hook()) return Hook()(start, chosen);
  QString dir = QFileDialog::getExistingDirectory(
      nullptr, "Save Path\\Folder", QString::fromStdString(start),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (dir.isEmpty()) return false;
  chosen = dir.toStdString();
  return true;
}

std::string ExpandUNCFileName(const std::string& path) {
  if (path.empty()) return path;
  const bool folder = path.back() == '/';
  std::string full = plat::ExpandFileName(path);
  QString real = QFileInfo(QString::fromStdString(full)).canonicalFilePath();
  if (!real.isEmpty()) full = real.toStdString();
  if (folder) full = plat::IncludeTrailingPathDelimiter(full);
  return full;
}
