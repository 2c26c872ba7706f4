#include "MMLevel.h"
#include "controls/zelbtns.h"
