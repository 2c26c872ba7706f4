#pragma once
// What the main form takes from its command line when it is created.
#include <string>
#include <vector>

#include "recorder/Notices.h"

struct TCommandLine {
  std::string usersFolder;   // with a trailing "/"
  std::string autoCartFile;  // the file an "A=" parameter names; empty for none
};

// Every parameter, the program's own path first, is looked at in turn. One holding "S=" (any
// case) names the users folder: every "s=" is removed from it; a folder that does not exist is
// reported and the program folder kept. One holding "A=" names the auto-cart file (every "a="
// removed, and a trailing "/"); any other parameter clears it, so only the last can name it.
TCommandLine ReadCommandLine(const std::vector<std::string>& params, const std::string& programFolder,
                             const TNotify& notify);
