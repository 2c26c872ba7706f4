#include "recorder/FolderDialogs.h"

#include <filesystem>
#include <system_error>

#include "controls/zeldlgs.h"
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
  TZelDirDlg dialog(nullptr);
  dialog.SetPath(start);
  dialog.SetRelatePos(brMainForm);
  dialog.SetCaptionTitle("Save Path\\Folder");
  dialog.SetAllowNewDir(true);
  dialog.SetShowLabelDir(true);
  dialog.Hints()->Add("Select the save to location");
  if (!dialog.Execute()) return false;
  chosen = dialog.Path();
  return !chosen.empty();
}

std::string ExpandUNCFileName(const std::string& path) {
  if (path.empty()) return path;
  const bool folder = path.back() == '/';
  std::string full = plat::ExpandFileName(path);
  // The real path of what exists, links resolved; a path to nothing stays as it is.
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(full, ec);
  if (!ec && !real.empty()) full = real.string();
  if (folder) full = plat::IncludeTrailingPathDelimiter(full);
  return full;
}
