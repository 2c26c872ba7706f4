#pragma once
#include <strings.h>
// ::unlink( named in a comment is no call
inline void Close(File& f) { f.close(); plat::File::close(f); }
