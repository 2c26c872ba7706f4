#include "recorder/StartUp.h"

#include "platform/system/files.h"
#include "recorder/FileUtils.h"
#include "recorder/StrUtils.h"

namespace {

// The text with every occurrence of the two-character marker removed, in any case.
std::string WithoutMarker(const std::string& text, const std::string& marker) {
  const std::string upper = UpperCase(text), mark = UpperCase(marker);
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (upper.compare(i, mark.size(), mark) == 0) {
      i += mark.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

TCommandLine ReadCommandLine(const std::vector<std::string>& params, const std::string& programFolder,
                             const TNotify& notify) {
  TCommandLine cl;
  cl.usersFolder = programFolder;
  for (const std::string& param : params) {
    const std::string upper = UpperCase(param);
    if (upper.find("S=") != std::string::npos) {
      std::string folder = WithoutMarker(param, "s=");
      AddBackSlash(folder);
      cl.usersFolder = folder;
      if (!plat::DirectoryExists(folder)) {
        if (notify)
          notify(TNoticeKind::Warning,
                 "Invalid or Non Existent Directory\\Folder Specified for User Files. \r\n\r\n"
                 "You Specified " +
                     folder + "\r\n\r\nSolvane will use " + programFolder);
        cl.usersFolder = programFolder;
      }
    }
    if (upper.find("A=") != std::string::npos) {
      cl.autoCartFile = WithoutMarker(param, "a=");
      RemoveBackSlash(cl.autoCartFile);
    } else {
      cl.autoCartFile.clear();
    }
  }
  return cl;
}
