#pragma once
// Choosing a save folder for a program: a folder dialog, and the folder's path as every machine
// of the studio sees it.
#include <functional>
#include <string>

// Shows a folder dialog that starts in start and lets the operator make new folders; true with
// the chosen folder. Tests and scripted runs replace the dialog through the hook.
bool BrowseForFolder(const std::string& start, std::string& chosen);
using TBrowseFolderHook = std::function<bool(const std::string& start, std::string& chosen)>;
void SetBrowseFolderHook(TBrowseFolderHook hook);  // null: the folder dialog again

// The folder's universal form: absolute, with links and mounted aliases resolved to the real
// path (a path that does not exist yet is only made absolute). A trailing "/" stays.
std::string ExpandUNCFileName(const std::string& path);
