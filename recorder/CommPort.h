#pragma once
// The serial port of the GPI signals: opened once, written synchronously, never read.
#include <memory>
#include <string>

#include "platform/serial/serial_port.h"

using TCommHandle = std::unique_ptr<plat::SerialPort>;

// Opens the port named by mode (up to its first ":", or its first four characters) and sets it
// from the rest ("COM1: BAUD=2400 PARITY=N DATA=8 STOP=1"). Raises plat::Exception with
// "Error opening port", "Invalid or unavailable port", "Error reading port state",
// "Invalid mode", "Error setting port state" or "Error setting timeouts".
TCommHandle CommOpen(const std::string& mode);

// Writes the whole text unless the port stops taking it: a port that takes nothing for 55 ms
// ends the write. A text shorter than 16 bytes is then drained to the line. Returns the count
// of bytes the port took.
size_t CommWrite(const TCommHandle& handle, const std::string& text);

// Closes and forgets the handle; false when there was none or the close failed.
bool CommClose(TCommHandle& handle);
