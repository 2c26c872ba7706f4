#pragma once
// Taking a name for a file without replacing what holds it. Every name the program takes without
// replacing is taken here, so a folder shared with other workstations, or on a file system that
// cannot refuse in a rename or a link, behaves the same everywhere.
#include <cstdint>
#include <string>

namespace plat {

// Gives the file at from the name to, in the same file system, when nothing holds that name:
// whatever is there, or takes the name meanwhile, stays (false, errno EEXIST). It is one step where
// the file system can refuse in a rename (a no-replace rename) or in a link (a second link, then
// the first removed). Where it can do neither (FAT, some FUSE and network file systems) the name is
// made by an exclusive create, from's bytes are copied into it with from's mode, and from is
// removed; a copy that fails removes what it made.
bool RenameNoReplace(const std::string& from, const std::string& to);
// The same with each name relative to a folder's descriptor (AT_FDCWD: the working folder).
bool RenameNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to);

}  // namespace plat
