// wavprobe FILE: what our WAV reader sees in a file: its format, where the samples lie, how many
// there are, the chunks of the RIFF form, and the INFO and DISP entries.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "engine/MMRIFF.h"
#include "engine/MMWaveIO.h"
#include "platform/audio/riff_io.h"

namespace {

void PrintChunks(const std::string& path) {
  auto file = plat::RiffFile::Open(path, plat::RiffMode::Read);
  plat::RiffChunk riff;
  if (!file || file->Descend(riff) != plat::RiffResult::Ok) return;
  std::printf("chunks:\n  %s size %" PRIu32 " type %s (file %" PRId64 " bytes)\n", plat::FourCCText(riff.id).c_str(),
              riff.size, plat::FourCCText(riff.type).c_str(), file->Size());
  for (int n = 0; n < 10000; ++n) {
    plat::RiffChunk ck;
    int64_t at = file->Tell();
    if (file->Descend(ck) != plat::RiffResult::Ok) break;
    std::printf("  %-4s at %" PRId64 " size %" PRIu32, plat::FourCCText(ck.id).c_str(), at, ck.size);
    if (ck.id == plat::kListId) std::printf(" type %s", plat::FourCCText(ck.type).c_str());
    if (ck.dataOffset + int64_t(ck.size) > file->Size()) std::printf(" (runs past the end of the file)");
    std::printf("\n");
    if (file->Ascend(ck) != plat::RiffResult::Ok || file->Tell() >= file->Size()) break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wavprobe FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  PWaveIOBlock b;
  int rc = WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile);
  if (rc != wioOk) {
    std::printf("not readable as a WAV file (result %d)\n", rc);
    PrintChunks(path);
    return 1;
  }
  const WAVEFORMATEX& f = *b->Format;
  std::printf("format: %s (tag 0x%04X), %u channels, %u Hz, %u bits, block align %u, %u bytes/s, extra %u\n",
              FormatTagName(&f).c_str(), f.wFormatTag, f.nChannels, f.nSamplesPerSec, f.wBitsPerSample, f.nBlockAlign,
              f.nAvgBytesPerSec, f.cbSize);
  std::printf("text: %s\n", WaveFormatText(&f).c_str());
  std::printf("file size: %" PRId64 "\n", b->FileSize);
  std::printf("data offset: %" PRId64 "\n", b->DataOffset);
  std::printf("data size: %" PRId64 "\n", b->DataSize);
  std::printf("total samples: %" PRId64 "\n", b->TotalSamples);
  std::printf("length: %" PRId64 " ms\n", SamplesToMilliseconds64(&f, b->TotalSamples));
  PrintChunks(path);
  std::printf("info:\n");
  for (int i = 0; i < kInfoItemCount; ++i) {
    std::string text = InfoItemText(b->InfoList, i);
    if (!text.empty())
      std::printf("  %s (%s): %s\n", InfoIdentifier(i).Code, InfoIdentifier(i).DisplayName, text.c_str());
  }
  std::printf("disp:\n");
  for (const TDispItem& d : b->DispList) {
    std::printf("  type %u, %zu bytes", d.Type, d.Data.size());
    if (d.Type == kDispText) std::printf(": %s", DispDataText(d.Data).c_str());
    std::printf("\n");
  }
  return 0;
}
