#include "platform/serial/serial.h"
