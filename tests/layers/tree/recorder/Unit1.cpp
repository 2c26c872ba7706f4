#include "displays/MMLevel_qt.h"
#include "controls/zelbtns.h"
#include "solvane_version.h"
void Drop(const char* p) { ::unlink(p); }
