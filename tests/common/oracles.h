#pragma once
// The outside judges of our WAV files, sox and sndfile-info, run as a shell would and read back.
#include <cstdio>
#include <sstream>
#include <string>

#include "platform/system/files.h"

// What a command wrote to its output and its error output.
inline std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// The value after "key :" on its line, trimmed.
inline std::string Field(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) {
      size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      std::string v = line.substr(colon + 1);
      v.erase(0, v.find_first_not_of(' '));
      return v;
    }
  return {};
}

inline bool HaveOracles() { return !plat::FindProgram("sox").empty() && !plat::FindProgram("sndfile-info").empty(); }

// The frames sndfile-info counts in a WAV file.
inline std::string SndfileFrames(const std::string& path) {
  return Field(Shell("sndfile-info '" + path + "'"), "Frames");
}

// The samples of a WAV file as sox decodes them (its own sample format), through the file raw.
inline std::string SoxRaw(const std::string& wav, const std::string& raw, const std::string& options = "") {
  plat::DeleteFile(raw);
  const std::string msg = Shell("sox '" + wav + "' " + options + " -t raw '" + raw + "'");
  std::string bytes;
  if (!plat::ReadWholeFile(raw, bytes)) return "sox failed: " + msg;
  return bytes;
}
