#include "recorder/CartTail.h"

#include "engine/MMWaveIO.h"
#include "platform/audio/riff_io.h"

using plat::RiffChunk;
using plat::RiffFile;
using plat::RiffMode;
using plat::RiffResult;

namespace {

const uint32_t kCartPathId = plat::FourCC("path");

std::string TailFile(const std::string& folder) { return folder + kCartTailName; }

bool WriteTail(RiffFile& f, const std::string& cartPath, const WaveIOBlock* lists) {
  RiffChunk riff, path;
  riff.type = plat::FourCC("WAVE");
  path.id = kCartPathId;
  const int64_t n = int64_t(cartPath.size());
  if (f.CreateChunk(riff, plat::kRiffCreateRiff) != RiffResult::Ok || f.CreateChunk(path) != RiffResult::Ok ||
      f.Write(cartPath.data(), n) != n || f.Ascend(path) != RiffResult::Ok)
    return false;
  if (lists && (!WriteDispChunks(f, lists->DispList) || !WriteInfoChunk(f, lists->InfoList))) return false;
  // The form's size goes onto the disk last: a file cut short by a kill says so by its size.
  return f.Sync() && f.Ascend(riff) == RiffResult::Ok && f.Sync();
}

// The cart's path in a kept file read whole; false for a file that is not complete.
bool KeptCart(const std::string& bytes, std::string& cartPath) {
  auto f = RiffFile::OpenMemory(bytes.data(), bytes.size());
  RiffChunk riff, ck;
  if (f->Descend(riff) != RiffResult::Ok || riff.id != plat::kRiffId || int64_t(riff.size) + 8 != int64_t(bytes.size()))
    return false;
  while (f->Descend(ck) == RiffResult::Ok) {
    if (ck.id == kCartPathId && ck.dataOffset + int64_t(ck.size) <= int64_t(bytes.size())) {
      cartPath = bytes.substr(size_t(ck.dataOffset), ck.size);
      return !cartPath.empty();
    }
    if (f->Ascend(ck) != RiffResult::Ok) break;
  }
  return false;
}

enum class TKept { None, CutShort, Whole };

// What stands at path: no file that may be read (none, a link), one cut short, or a whole one, read
// into bytes with its cart.
TKept ReadKept(const std::string& path, std::string& bytes, std::string& cartPath) {
  auto f = RiffFile::Open(path, RiffMode::ReadPlain);
  if (!f) return TKept::None;
  bytes.assign(size_t(f->Size()), '\0');
  const bool read = f->Read(bytes.data(), f->Size()) == f->Size();
  return read && KeptCart(bytes, cartPath) ? TKept::Whole : TKept::CutShort;
}

}  // namespace

bool KeepCartTail(const std::string& folder, const std::string& cartPath, const WaveIOBlock* lists) {
  const std::string path = TailFile(folder);
  std::string bytes, kept;
  // Another take's, whose cart the last try could not finish: what it keeps may be all there is.
  if (ReadKept(path, bytes, kept) == TKept::Whole) return false;
  plat::RiffRemove(path);
  auto f = RiffFile::Open(path, RiffMode::CreateNew);
  if (!f) return false;
  const bool written = WriteTail(*f, cartPath, lists);
  if (!f->Close() || !written) {
    plat::RiffRemove(path);
    return false;
  }
  return plat::RiffSyncFolder(folder);
}

std::string FinishKeptCart(const std::string& folder) {
  const std::string path = TailFile(folder);
  std::string bytes, cart;
  PWaveIOBlock lists;
  const TKept kept = ReadKept(path, bytes, cart);
  if (kept == TKept::None) return {};
  // One cut short was never complete: no take had started, so nothing of its cart was cut.
  if (kept == TKept::CutShort || WaveIOOpenMemory(lists, bytes.data(), bytes.size(), wioHeaderOnly) != wioOk) {
    plat::RiffRemove(path);
    return {};
  }
  // A cart that is there and could not be finished now keeps the file for another try.
  if (WaveIOFinishFile(cart, lists.get()) == wioOk || plat::RiffFileSize(cart) < 0) plat::RiffRemove(path);
  return cart;
}
