#include "platform/serial/serial.h"
#include <fcntl.h>
int Open(const char* p) { return ::open(p, 0); }
