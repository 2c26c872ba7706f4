#include "platform/ui/graphics.h"
void Fill() { int qRgb = 0; }
