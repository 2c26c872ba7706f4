// wavtool: writes WAV files through our writer so that outside tools can judge them.
//   wavtool synth OUT [--format N | --rate HZ --bits 8|16 --channels N] --frames N
//                 [--signal ramp|sine|const:V] [--seed S] [--info ID=TEXT]... [--disp-text TEXT]
//                 [--disp-dib FILE]
//   wavtool punch FILE --at FRAME --frames N [--signal ...] [--seed S]
// The ramp signal is deterministic: frame i of channel c holds (S + 7i + 1000c) for 16 bits and
// (S + 3i + 50c) for 8 bits, wrapped.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/MMRIFF.h"
#include "engine/MMWaveIO.h"
#include "platform/system/files.h"

namespace {

const int kRates[9] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

struct Options {
  int rate = 44100, bits = 16, channels = 2;
  long long frames = -1, at = -1, seed = 0;
  std::string signal = "ramp";
  std::vector<std::pair<std::string, std::string>> info;
  std::string dispText, dispDib;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr, "wavtool: %s\n", why);
  std::fprintf(stderr,
               "usage: wavtool synth OUT [--format N | --rate HZ --bits 8|16 --channels N] --frames N\n"
               "                     [--signal ramp|sine|const:V] [--seed S] [--info ID=TEXT]...\n"
               "                     [--disp-text TEXT] [--disp-dib FILE]\n"
               "       wavtool punch FILE --at FRAME --frames N [--signal ...] [--seed S]\n");
  std::exit(2);
}

long long Number(const char* s) {
  char* end = nullptr;
  long long v = std::strtoll(s, &end, 10);
  if (!*s || *end) Usage("not a number");
  return v;
}

Options Parse(int argc, char** argv, int first) {
  Options o;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
      return argv[++i];
    };
    if (a == "--format") {
      long long n = Number(value());
      if (n < 0 || n > 35) Usage("format numbers are 0..35");
      o.rate = kRates[n / 4];
      o.bits = (n & 2) ? 16 : 8;
      o.channels = (n & 1) ? 2 : 1;
    } else if (a == "--rate") o.rate = int(Number(value()));
    else if (a == "--bits") o.bits = int(Number(value()));
    else if (a == "--channels") o.channels = int(Number(value()));
    else if (a == "--frames") o.frames = Number(value());
    else if (a == "--at") o.at = Number(value());
    else if (a == "--seed") o.seed = Number(value());
    else if (a == "--signal") o.signal = value();
    else if (a == "--disp-text") o.dispText = value();
    else if (a == "--disp-dib") o.dispDib = value();
    else if (a == "--info") {
      std::string v = value();
      size_t eq = v.find('=');
      if (eq != 4) Usage("--info takes ID=TEXT with a four-character ID");
      o.info.emplace_back(v.substr(0, 4), v.substr(5));
    } else Usage(("unknown option " + a).c_str());
  }
  if (o.frames < 0) Usage("--frames is required");
  return o;
}

// Frames [first, first + n) of the signal.
std::vector<uint8_t> Signal(const Options& o, const WAVEFORMATEX& f, long long first, long long n) {
  std::vector<uint8_t> out(size_t(n) * f.nBlockAlign);
  const int ss = f.wBitsPerSample / 8;
  bool isConst = o.signal.rfind("const:", 0) == 0;
  long long constant = isConst ? Number(o.signal.c_str() + 6) : 0;
  if (!isConst && o.signal != "ramp" && o.signal != "sine") Usage("unknown signal");
  for (long long i = 0; i < n; ++i) {
    long long frame = first + i;
    for (int c = 0; c < f.nChannels; ++c) {
      long long v;
      if (isConst) v = constant;
      else if (o.signal == "sine")
        v = std::lround(std::sin(2 * M_PI * 440.0 * double(frame) / f.nSamplesPerSec + c) * (ss == 2 ? 16000 : 100)) +
            (ss == 2 ? 0 : 128);
      else v = ss == 2 ? o.seed + 7 * frame + 1000 * c : o.seed + 3 * frame + 50 * c;
      uint8_t* p = out.data() + size_t(i) * f.nBlockAlign + size_t(c * ss);
      if (ss == 2) plat::PutLE16(p, uint16_t(v));
      else *p = uint8_t(v);
    }
  }
  return out;
}

int Synth(const std::string& path, const Options& o) {
  WAVEFORMATEX f;
  MakePCMFormat(f, o.bits, o.channels, o.rate);
  PWaveIOBlock b;
  if (int rc = WaveIOAlloc(b, &f)) {
    std::fprintf(stderr, "wavtool: unusable format (result %d)\n", rc);
    return 1;
  }
  for (const auto& [id, text] : o.info) {
    int index = FindInfoIdentifier(plat::FourCC(id[0], id[1], id[2], id[3]));
    if (index < 0) Usage(("unknown INFO identifier " + id).c_str());
    SetInfoItemText(b->InfoList, index, &text, isSet);
  }
  if (!o.dispText.empty()) b->DispList.push_back({kDispText, isRead, DispTextData(o.dispText), {}});
  if (!o.dispDib.empty()) {
    std::string dib;
    if (!plat::ReadWholeFile(o.dispDib, dib)) Usage("cannot read the DIB file");
    b->DispList.push_back({kDispBitmap, isRead, dib, {}});
  }
  if (int rc = WaveIOCreate(b.get(), path)) {
    std::fprintf(stderr, "wavtool: cannot create %s (result %d)\n", path.c_str(), rc);
    return 1;
  }
  const long long step = 65536;
  for (long long done = 0; done < o.frames; done += step) {
    auto bytes = Signal(o, f, done, std::min(step, o.frames - done));
    if (WaveIOWrite(b.get(), bytes.data(), int64_t(bytes.size())) != int64_t(bytes.size())) {
      std::fprintf(stderr, "wavtool: write failed at frame %lld\n", done);
      WaveIOFinish(b.get());
      return 1;
    }
  }
  if (int rc = WaveIOFinish(b.get())) {
    std::fprintf(stderr, "wavtool: finishing failed (result %d)\n", rc);
    return 1;
  }
  return 0;
}

int Punch(const std::string& path, const Options& o) {
  if (o.at < 0) Usage("--at is required");
  PWaveIOBlock b;
  if (int rc = WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile)) {
    std::fprintf(stderr, "wavtool: cannot read %s (result %d)\n", path.c_str(), rc);
    return 1;
  }
  b->Position = o.at;
  if (int rc = WaveIOReopen(b.get())) {
    std::fprintf(stderr, "wavtool: cannot reopen %s (result %d)\n", path.c_str(), rc);
    return 1;
  }
  if (b->Position != o.at) std::fprintf(stderr, "wavtool: writing from frame %lld\n", (long long)b->Position);
  auto bytes = Signal(o, *b->Format, b->Position, o.frames);
  int64_t n = bytes.empty() ? 0 : WaveIOWrite(b.get(), bytes.data(), int64_t(bytes.size()));
  int rc = WaveIOFinish(b.get());
  if (n != int64_t(bytes.size()) || rc) {
    std::fprintf(stderr, "wavtool: punch-in failed (wrote %lld, result %d)\n", (long long)n, rc);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Usage("missing command or file");
  std::string cmd = argv[1];
  Options o = Parse(argc, argv, 3);
  if (cmd == "synth") return Synth(argv[2], o);
  if (cmd == "punch") return Punch(argv[2], o);
  Usage("unknown command");
}
