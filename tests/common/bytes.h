#pragma once
// Little-endian words as bytes of a string, for images of files written by hand.
#include <cstdint>
#include <string>

inline std::string LE16(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
inline std::string LE32(uint32_t v) { return LE16(uint16_t(v)) + LE16(uint16_t(v >> 16)); }
