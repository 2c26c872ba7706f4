#include "recorder/CartTail.h"

#include <algorithm>
#include <cstdio>

#include "engine/MMWaveIO.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"
#include "recorder/DeckTemp.h"

using plat::RiffChunk;
using plat::RiffFile;
using plat::RiffMode;
using plat::RiffResult;

// The kept file is a RIFF "WAVE" form of chunks, one cart after another: each begins with its
// "path", then its "iden" (what tells its file from others), then its DISP chunks and its LIST
// "INFO". A file kept by an earlier version holds one cart and no "iden".
namespace {

const uint32_t kPathId = plat::FourCC("path");
const uint32_t kIdentityId = plat::FourCC("iden");
// Never more than this is read as a kept file: what stands there beyond it is left alone.
constexpr int64_t kMaxKeptBytes = int64_t(256) << 20;
// How much of the samples before a take's start tells its file from another one.
constexpr int64_t kStampBytes = 64 << 10;

std::string TailFile(const std::string& folder) { return folder + kCartTailName; }
std::string NewTailFile(const std::string& folder) { return folder + kCartTailName + ".new"; }

// What tells the file a take went into from any other that may stand at its path later. Device
// and inode numbers alone cannot: a disk or share mounted again gets another device number, and
// some file systems (FAT, exFAT) number their files afresh. What the take leaves as it was can:
// the format, where the samples begin, that there are no fewer of them, and the samples before
// the take's start. The numbers only confirm, where those say too little.
struct TIdentity {
  int64_t dataOffset = 0;  // where the samples begin; 0 for a file the take makes anew
  int64_t samples = 0;     // sample bytes before the take
  int64_t takeStart = 0;   // the byte of the samples where the take began
  uint64_t stamp = 0;      // of up to kStampBytes of samples just before it
  uint64_t device = 0, inode = 0;
  std::string format;  // the format record as files hold it; empty when there was none
};

struct TEntry {
  std::string path;
  bool known = false;  // it has an identity (an earlier version kept none)
  TIdentity id;
  std::string chunks;  // every chunk of this cart as the file holds it
  std::string lists;   // its DISP and LIST chunks
};

void PutLE64(std::string& s, uint64_t v) {
  for (int i = 0; i < 8; ++i) s.push_back(char(uint8_t(v >> (8 * i))));
}
uint64_t GetLE64(const std::string& s, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | uint8_t(s[at + size_t(i)]);
  return v;
}

std::string IdentityBytes(const TIdentity& id) {
  std::string s;
  for (uint64_t v :
       {uint64_t(id.dataOffset), uint64_t(id.samples), uint64_t(id.takeStart), id.stamp, id.device, id.inode})
    PutLE64(s, v);
  return s + id.format;
}

bool ReadIdentity(const std::string& s, TIdentity& id) {
  if (s.size() < 48) return false;
  id.dataOffset = int64_t(GetLE64(s, 0));
  id.samples = int64_t(GetLE64(s, 8));
  id.takeStart = int64_t(GetLE64(s, 16));
  id.stamp = GetLE64(s, 24);
  id.device = GetLE64(s, 32);
  id.inode = GetLE64(s, 40);
  id.format = s.substr(48);
  return id.dataOffset >= 0 && id.samples >= 0 && id.takeStart >= 0 && id.takeStart <= id.samples;
}

std::string FormatBytes(const WAVEFORMATEX* f) {
  const std::vector<uint8_t> v = WaveFormatToBytes(f);
  return std::string(v.begin(), v.end());
}

// FNV-1a of the samples just before takeStart. False when they cannot be read.
bool StampOf(const std::string& path, int64_t dataOffset, int64_t takeStart, uint64_t& stamp) {
  stamp = 14695981039346656037ull;
  const int64_t n = std::min(takeStart, kStampBytes);
  if (n == 0) return true;
  auto f = RiffFile::Open(path, RiffMode::Read);
  std::string bytes(size_t(n), '\0');
  if (!f || f->Seek(dataOffset + takeStart - n, SEEK_SET) < 0 || f->Read(bytes.data(), n) != n) return false;
  for (char c : bytes) stamp = (stamp ^ uint8_t(c)) * 1099511628211ull;
  return true;
}

enum class TRead { None, Damaged, Unreadable, Whole };

// What stands at the kept file's name: nothing that may be read (none, a link), a form cut short or
// not ours, one too large or that could not be read, or a whole one, parsed into entries.
TRead ReadTail(const std::string& folder, std::vector<TEntry>& entries) {
  entries.clear();
  auto f = RiffFile::Open(TailFile(folder), RiffMode::ReadPlain);
  if (!f) return TRead::None;
  if (f->Size() > kMaxKeptBytes) return TRead::Unreadable;
  std::string bytes(size_t(f->Size()), '\0');
  if (f->Read(bytes.data(), f->Size()) != f->Size()) return TRead::Unreadable;
  auto m = RiffFile::OpenMemory(bytes.data(), bytes.size());
  RiffChunk riff, ck;
  if (m->Descend(riff) != RiffResult::Ok || riff.id != plat::kRiffId || riff.type != plat::FourCC("WAVE") ||
      int64_t(riff.size) + 8 != int64_t(bytes.size()))
    return TRead::Damaged;
  while (m->Descend(ck) == RiffResult::Ok) {
    const int64_t start = ck.dataOffset - 8, end = ck.dataOffset + int64_t(ck.size) + (ck.size & 1);
    if (end > int64_t(bytes.size())) return TRead::Damaged;
    const std::string chunk = bytes.substr(size_t(start), size_t(end - start));
    const std::string payload = bytes.substr(size_t(ck.dataOffset), ck.size);
    if (ck.id == kPathId) {
      if (payload.empty()) return TRead::Damaged;
      entries.push_back({payload, false, {}, {}, {}});
    } else if (entries.empty()) {
      return TRead::Damaged;
    } else if (ck.id == kIdentityId) {
      entries.back().known = ReadIdentity(payload, entries.back().id);
      if (!entries.back().known) return TRead::Damaged;
    } else {
      entries.back().lists += chunk;
    }
    entries.back().chunks += chunk;
    if (m->Ascend(ck) != RiffResult::Ok) return TRead::Damaged;
  }
  return entries.empty() ? TRead::Damaged : TRead::Whole;
}

// The lists an entry keeps, read as the header of a wave would be.
bool ListsOf(const TEntry& e, PWaveIOBlock& lists, std::string& image) {
  image = "RIFF" + std::string(4, '\0') + "WAVE" + e.chunks;
  plat::PutLE32(reinterpret_cast<uint8_t*>(image.data()) + 4, uint32_t(image.size() - 8));
  return WaveIOOpenMemory(lists, image.data(), image.size(), wioHeaderOnly) == wioOk;
}

// Puts the entries in place of the kept file: made new under another name and durable before it
// replaces the old one, so that a kill or a full disk leaves one or the other whole. The new entry,
// when there is one, is written last from its path, identity and lists.
bool WriteTail(const std::string& folder, const std::vector<TEntry>& entries, const TEntry* add,
               const WaveIOBlock* addLists) {
  const std::string path = TailFile(folder), made = NewTailFile(folder);
  if (entries.empty() && !add) return plat::RiffRemove(path) || plat::RiffFileSize(path) < 0;
  plat::RiffRemove(made);
  auto f = RiffFile::Open(made, RiffMode::CreateNew);
  if (!f) return false;
  auto put = [&](const std::string& bytes) {
    return f->Write(bytes.data(), int64_t(bytes.size())) == int64_t(bytes.size());
  };
  auto chunk = [&](uint32_t id, const std::string& payload) {
    RiffChunk ck;
    ck.id = id;
    return f->CreateChunk(ck) == RiffResult::Ok && put(payload) && f->Ascend(ck) == RiffResult::Ok;
  };
  RiffChunk riff;
  riff.type = plat::FourCC("WAVE");
  bool ok = f->CreateChunk(riff, plat::kRiffCreateRiff) == RiffResult::Ok;
  for (const TEntry& e : entries) ok = ok && put(e.chunks);
  if (add) {
    ok = ok && chunk(kPathId, add->path) && chunk(kIdentityId, IdentityBytes(add->id));
    if (addLists) ok = ok && WriteDispChunks(*f, addLists->DispList) && WriteInfoChunk(*f, addLists->InfoList);
    else ok = ok && put(add->lists);
  }
  ok = ok && f->Ascend(riff) == RiffResult::Ok && f->Sync();
  if (!f->Close() || !ok || !plat::RiffRename(made, path)) {
    plat::RiffRemove(made);
    return false;
  }
  return plat::RiffSyncFolder(folder);
}

enum class TMatch { Unreachable, Other, Same };

// Whether the file at the entry's path is the one its take went into, as a kill, a failed finish or
// a finish left it; b is then its header. Nothing that may be read there (gone, a folder away, a
// disk not mounted, a file the account may not read) is no answer yet.
TMatch Identify(const TEntry& e, PWaveIOBlock& b) {
  plat::FileFacts st;
  if (!plat::StatFile(e.path, st)) return TMatch::Unreachable;
  if (!st.regular) return TMatch::Other;
  TWaveIOProblem why;
  if (WaveIOOpen(b, e.path, plat::FourCC("WAVE"), wioFile, &why) != wioOk)
    return why.notPermitted ? TMatch::Unreachable : TMatch::Other;
  const bool finished = b->RiffCk.size != 0 && b->DataCk.size == b->DataSize;
  // An earlier version kept nothing to tell the file by: only one left unfinished is taken.
  if (!e.known) return finished ? TMatch::Other : TMatch::Same;
  if (!e.id.format.empty() && FormatBytes(b->PFormat()) != e.id.format) return TMatch::Other;
  if (e.id.dataOffset == 0) return TMatch::Same;
  uint64_t stamp = 0;
  if (b->DataOffset != e.id.dataOffset || b->DataSize < e.id.samples ||
      !StampOf(e.path, e.id.dataOffset, e.id.takeStart, stamp) || stamp != e.id.stamp)
    return TMatch::Other;
  // A take leaves its file unfinished, or finished with or without the lists behind its samples (a
  // kill inside the finish, a stop that had none to write). A finished file without them whose
  // samples before the take were not there to tell it by is taken only as the very file.
  const bool sameFile = st.device == e.id.device && st.inode == e.id.inode;
  if (finished && !WaveIOHasLists(*b) && !e.lists.empty() && e.id.takeStart == 0 && !sameFile) return TMatch::Other;
  return TMatch::Same;
}

}  // namespace

TKeep KeepCartTail(const std::string& folder, const std::string& cartPath, const WaveIOBlock* cart, int64_t takeStart,
                   bool intoSamples) {
  const bool ownLists = intoSamples && cart && WaveIOHasLists(*cart);
  const TKeep notKept = ownLists ? TKeep::ListsNotKept : TKeep::NotKept;
  std::vector<TEntry> entries;
  if (ReadTail(folder, entries) == TRead::Unreadable) return notKept;
  TEntry add;
  add.path = cartPath;
  add.known = true;
  if (cart && cart->PFormat()) add.id.format = FormatBytes(cart->PFormat());
  // A cart kept before whose file this still is: the take goes on from what is on disk now, and
  // when the file has lost its lists, those kept are the ones to write back.
  std::vector<TEntry> others;
  for (TEntry& e : entries) {
    PWaveIOBlock b;
    if (e.path != cartPath || Identify(e, b) != TMatch::Same) others.push_back(std::move(e));
    else if (intoSamples && !ownLists && add.lists.empty()) add.lists = e.lists;
  }
  const TKeep failed = add.lists.empty() ? notKept : TKeep::ListsNotKept;
  if (intoSamples) {
    if (!cart || !cart->PFormat()) return failed;
    add.id.dataOffset = cart->DataOffset;
    add.id.samples = cart->DataSize;
    add.id.takeStart = std::clamp<int64_t>(takeStart, 0, cart->DataSize);
    plat::FileFacts st;
    if (!plat::StatFile(cartPath, st) || !StampOf(cartPath, add.id.dataOffset, add.id.takeStart, add.id.stamp))
      return failed;
    add.id.device = st.device;
    add.id.inode = st.inode;
  }
  if (others.size() >= kMaxKeptCarts) return failed;
  return WriteTail(folder, others, &add, ownLists ? cart : nullptr) ? TKeep::Kept : failed;
}

std::vector<TKeptCart> FinishKeptCart(const std::string& folder) {
  std::vector<TEntry> entries;
  const TRead read = ReadTail(folder, entries);
  // One cut short was never complete: no take had started, so nothing of its cart was cut.
  if (read == TRead::Damaged) plat::RiffRemove(TailFile(folder));
  if (read != TRead::Whole) return {};
  std::vector<TKeptCart> carts;
  std::vector<TEntry> still;
  for (TEntry& e : entries) {
    TKeptCart c{e.path, TKeptState::Finished, !e.lists.empty()};
    PWaveIOBlock b, lists;
    std::string image;
    switch (Identify(e, b)) {
      // The deck's own folder is no disk that comes back: a cart there that is gone was emptied.
      case TMatch::Unreachable:
        if (!InDeckTemp(folder, e.path)) c.state = TKeptState::Unreachable;
        break;
      case TMatch::Other: c.state = TKeptState::Other; break;
      case TMatch::Same:
        if (!ListsOf(e, lists, image) || WaveIOFinishFile(e.path, lists.get()) != wioOk)
          c.state = TKeptState::NotFinished;
        break;
    }
    // A cart kept without lists (its file made anew by the take) keeps nothing another file at its
    // path could lose: it goes.
    if (c.state == TKeptState::Other && !c.hasLists) c.state = TKeptState::Finished;
    if (c.state != TKeptState::Finished) still.push_back(std::move(e));
    carts.push_back(std::move(c));
  }
  // A file that could not be replaced keeps carts already finished: they are found finished again.
  if (still.size() != entries.size()) WriteTail(folder, still, nullptr, nullptr);
  return carts;
}

std::string KeptForAnotherFileText(const std::string& path) {
  return "The file " + path +
         " is not the recording that was cut short there when Solvane last ended, so the title and picture "
         "kept for that recording were not written into it. \r\nThey stay kept, and go back into that "
         "recording should it return to that place.";
}
