#pragma once
// DIBs for the tests: a holder that frees one, and the 40-byte information header written field by
// field as other programs write it.
#include <cstdint>
#include <string>

#include "engine/MMDIB.h"
#include "platform/audio/riff_io.h"

struct DIBHolder {
  void* p;
  explicit DIBHolder(void* d) : p(d) {}
  ~DIBHolder() { FreeDIB(p); }
  DIBHolder(const DIBHolder&) = delete;
  DIBHolder& operator=(const DIBHolder&) = delete;
};

inline std::string DIBHeader(int bits, int width, int height, uint32_t compression = 0, uint32_t used = 0) {
  std::string d(40, '\0');
  auto* h = reinterpret_cast<uint8_t*>(d.data());
  plat::PutLE32(h, 40);
  plat::PutLE32(h + 4, uint32_t(width));
  plat::PutLE32(h + 8, uint32_t(height));
  plat::PutLE16(h + 12, 1);
  plat::PutLE16(h + 14, uint16_t(bits));
  plat::PutLE32(h + 16, compression);
  plat::PutLE32(h + 32, used);
  return d;
}
