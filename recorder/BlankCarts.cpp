#include "recorder/BlankCarts.h"

#include <array>
#include <mutex>

#include "engine/MMWaveIO.h"
#include "platform/system/files.h"
#include "platform/ui/streams.h"

namespace {

constexpr std::array<int, 9> kRates = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// The creation note of header 0: 34 characters and the terminating zero.
constexpr char kCreationNote[] = "Blank cart of Solvane, 8 kHz 8-bit";
static_assert(sizeof kCreationNote == 35);

void Put16(std::string& s, uint16_t v) {
  s.push_back(char(v & 0xFF));
  s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

std::string MakeHeader(int n) {
  const TCartFormat f = CartFormatOf(n);
  const bool withNote = n == 0;
  const uint16_t align = uint16_t(f.channels * f.bits / 8);
  std::string h;
  h += "RIFF";
  Put32(h, withNote ? 92 : 36);
  h += "WAVE";
  h += "fmt ";
  Put32(h, 16);
  Put16(h, 1);
  Put16(h, uint16_t(f.channels));
  Put32(h, uint32_t(f.rate));
  Put32(h, uint32_t(f.rate) * align);
  Put16(h, align);
  Put16(h, uint16_t(f.bits));
  h += "data";
  Put32(h, 0);
  if (withNote) {
    h += "LIST";
    Put32(h, 48);
    h += "INFO";
    h += "ICMT";
    Put32(h, sizeof kCreationNote);
    h.append(kCreationNote, sizeof kCreationNote);
    h.push_back('\0');  // pad to an even size
  }
  return h;
}

// Made once; the resource registry keeps pointers into these strings for the process's life.
const std::array<std::string, 36>& Headers() {
  static const std::array<std::string, 36> headers = [] {
    std::array<std::string, 36> a;
    for (int n = 0; n < 36; ++n) a[size_t(n)] = MakeHeader(n);
    return a;
  }();
  return headers;
}

}  // namespace

TCartFormat CartFormatOf(int number) {
  TCartFormat f;
  f.number = number;
  const int n = (number < 0 || number > 35) ? BlankHeaderFallback : number;
  f.rate = kRates[size_t(n / 4)];
  f.bits = (n & 2) ? 16 : 8;
  f.channels = (n & 1) ? 2 : 1;
  f.channelsText = f.channels == 2 ? "Stereo" : "Mono";
  return f;
}

std::string BlankWaveHeader(int number) {
  const int n = (number < 0 || number > 35) ? BlankHeaderFallback : number;
  return Headers()[size_t(n)];
}

std::string BlankHeaderName(int number) { return std::to_string(number) + "WAVE"; }

void RegisterBlankHeaders() {
  static std::once_flag once;
  std::call_once(once, [] {
    const auto& headers = Headers();
    for (int n = 0; n < 36; ++n)
      plat::RegisterResource(BlankHeaderName(n), "WAVE", headers[size_t(n)].data(), headers[size_t(n)].size());
  });
  SetWaveResourceFinder([](const std::string& name, std::string& bytes) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!plat::FindResource(name, "WAVE", data, size)) return false;
    bytes.assign(reinterpret_cast<const char*>(data), size);
    return true;
  });
}

bool WriteBlankHeader(int number, const std::string& path) {
  RegisterBlankHeaders();
  const int n = (number < 0 || number > 35) ? BlankHeaderFallback : number;
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!plat::FindResource(BlankHeaderName(n), "WAVE", data, size)) return false;
  // The cart is a new file of its own: a link at its name goes, and what it pointed at is untouched.
  return plat::WriteNewFile(path, std::string(reinterpret_cast<const char*>(data), size));
}
