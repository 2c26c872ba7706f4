// Feeds arbitrary bytes to the WAV reader as a memory image: nothing may read outside the image,
// the samples it promises must all be readable, and a wave it accepts must come back the same
// after a trip through the writer and the reader.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/MMADPCM.h"
#include "engine/MMDIB.h"
#include "engine/MMWaveIO.h"
#include "platform/audio/adpcm_codec.h"
#include "platform/system/files.h"

namespace {

// A broken promise stops the run where it was found.
#define Check(ok)                                                                 \
  do {                                                                            \
    if (!(ok)) {                                                                  \
      std::fprintf(stderr, "fuzz_wavread: %s failed (line %d)\n", #ok, __LINE__); \
      __builtin_trap();                                                           \
    }                                                                             \
  } while (0)

const std::string& TempFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/fuzz_wavread_" + std::to_string(getpid()) + ".wav";
  }();
  return path;
}

std::string ReadAll(WaveIOBlock* b) {
  std::string out;
  char buf[1000];
  for (int64_t n; (n = WaveIORead(b, buf, sizeof buf)) > 0;) out.append(buf, size_t(n));
  return out;
}

void Inspect(const WaveIOBlock& b) {
  for (int i = 0; i < kInfoItemCount; ++i) InfoItemText(b.InfoList, i);
  for (const TDispItem& d : b.DispList) {
    if (d.Type == kDispBitmap && DIBFits(d.Data.data(), d.Data.size())) {
      Check(DIBSize(d.Data.data()) <= d.Data.size());
      CreateDIBPalette(d.Data.data());
    }
    DispDataText(d.Data);
  }
}

void RoundTrip(WaveIOBlock& src, const std::string& samples) {
  PWaveIOBlock out;
  Check(WaveIOAlloc(out, src.PFormat()) == wioOk);
  Check(WaveIOCopyInfo(out.get(), &src) == wioOk);
  const std::string& path = TempFile();
  Check(WaveIOCreate(out.get(), path) == wioOk);
  if (!samples.empty())
    Check(WaveIOWrite(out.get(), samples.data(), int64_t(samples.size())) == int64_t(samples.size()));
  Check(WaveIOFinish(out.get()) == wioOk);

  PWaveIOBlock back;
  Check(WaveIOOpen(back, path, plat::FourCC("WAVE"), wioFile) == wioOk);
  Check(WaveFormatToBytes(back->PFormat()) == WaveFormatToBytes(src.PFormat()));
  Check(back->DataSize == int64_t(samples.size()));
  Check(WaveIOReopen(back.get()) == wioOk);
  Check(ReadAll(back.get()) == samples);
  // The lists are written only with data.
  if (samples.empty()) {
    WaveIOClose(back);
    unlink(path.c_str());
    return;
  }
  for (int i = 0; i < kInfoItemCount; ++i) Check(InfoItemText(back->InfoList, i) == InfoItemText(src.InfoList, i));
  size_t k = 0;
  for (const TDispItem& d : src.DispList) {
    if ((d.Type != kDispText && d.Type != kDispBitmap) || d.Data.empty()) continue;
    Check(k < back->DispList.size());
    const TDispItem& e = back->DispList[k++];
    Check(e.Type == d.Type);
    Check(d.Type == kDispText ? DispDataText(e.Data) == DispDataText(d.Data) : e.Data == d.Data);
  }
  Check(k == back->DispList.size());
  WaveIOClose(back);
  unlink(path.c_str());
}

bool Managed(const TDispItem& d) { return (d.Type == kDispText || d.Type == kDispBitmap) && !d.Data.empty(); }

// The same bytes as a file, punched into in the middle: the file must read back with that one
// block changed and the same texts and pictures, none of them twice.
void PunchIn(const uint8_t* data, size_t size, const WaveIOBlock& mem, std::string samples) {
  const std::string& path = TempFile();
  Check(plat::WriteWholeFile(path, std::string(reinterpret_cast<const char*>(data), size)));
  PWaveIOBlock b;
  Check(WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile) == wioOk);
  Check(b->DataSize == mem.DataSize && b->DataOffset == mem.DataOffset);
  const int64_t align = b->Format->nBlockAlign;
  if (b->FormatBehindData || b->DataSize < align) {
    unlink(path.c_str());
    return;
  }
  Check(WaveIOReopen(b.get()) == wioOk);
  // The middle block's first sample; an ADPCM format counts its samples by blocks, whatever its
  // byte rate claims.
  const int64_t middle = b->DataSize / align / 2, perBlock = ADPCMSamplesPerBlock(b->PFormat());
  Check(WaveIOSeek(b.get(), perBlock > 0 ? middle * perBlock : BytesToSamples64(b->PFormat(), middle * align)) ==
        wioOk);
  const int64_t at = b->File->Tell() - b->DataOffset;
  Check(at >= 0 && at % align == 0 && at + align <= b->DataSize);
  std::string block(size_t(align), 'P');
  // A Microsoft ADPCM block starts with the coefficient pair of each channel: the first, as an
  // encoder's would (a file whose first block names none of its pairs is refused).
  if (b->Format->wFormatTag == plat::WAVE_FORMAT_ADPCM)
    block.replace(0, std::min<size_t>(block.size(), b->Format->nChannels), b->Format->nChannels, '\0');
  Check(WaveIOWrite(b.get(), block.data(), align) == align);
  Check(WaveIOFinish(b.get()) == wioOk);
  samples.replace(size_t(at), size_t(align), block);

  PWaveIOBlock back;
  Check(WaveIOOpen(back, path, plat::FourCC("WAVE"), wioFile) == wioOk);
  Check(back->DataSize == int64_t(samples.size()));
  Check(WaveIOReopen(back.get()) == wioOk);
  Check(ReadAll(back.get()) == samples);
  for (int i = 0; i < kInfoItemCount; ++i) Check(InfoItemText(back->InfoList, i) == InfoItemText(mem.InfoList, i));
  std::vector<std::string> before, after;
  for (const TDispItem& d : mem.DispList)
    if (Managed(d))
      before.push_back(std::to_string(d.Type) + DispDataText(d.Data) + (d.Type == kDispText ? "" : d.Data));
  for (const TDispItem& d : back->DispList)
    if (Managed(d))
      after.push_back(std::to_string(d.Type) + DispDataText(d.Data) + (d.Type == kDispText ? "" : d.Data));
  Check(before == after);
  WaveIOClose(back);
  unlink(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PWaveIOBlock b;
  if (WaveIOOpenMemory(b, data, size, wioHeaderOnly) == wioOk) Inspect(*b);
  if (WaveIOOpenMemory(b, data, size) != wioOk) return 0;
  Inspect(*b);
  const WAVEFORMATEX* f = b->PFormat();
  Check(f && f->nBlockAlign && f->nAvgBytesPerSec && f->nSamplesPerSec && f->nChannels);
  Check(b->DataSize % f->nBlockAlign == 0);
  Check(b->DataOffset + b->DataSize <= int64_t(size));
  // A finished form (its RIFF size written) holds its samples: none lie past its end, nor past the
  // data's size when that is written too.
  if (b->RiffCk.size != 0 && b->DataSize > 0) {
    Check(b->DataOffset + b->DataSize <= b->RiffCk.dataOffset + int64_t(b->RiffCk.size));
    if (b->DataCk.size != 0) Check(b->DataSize <= int64_t(b->DataCk.size));
  }
  WaveFormatText(f);
  FormatTagName(f);

  Check(WaveIOReopen(b.get()) == wioOk);
  const std::string samples = ReadAll(b.get());
  Check(int64_t(samples.size()) == b->DataSize);
  Check(samples.compare(0, samples.size(), reinterpret_cast<const char*>(data) + b->DataOffset, samples.size()) == 0);
  Check(WaveIOSeek(b.get(), b->TotalSamples / 2) == wioOk);
  WaveIORead(b.get(), nullptr, 0);
  Check(WaveIOWrite(b.get(), "x", 1) == -1);
  Check(WaveIOFinish(b.get()) == wioOk);

  if (samples.size() <= 65536) {
    RoundTrip(*b, samples);
    PunchIn(data, size, *b, samples);
  }
  return 0;
}
