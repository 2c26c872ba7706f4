#include "recorder/CartTail.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/MMWaveIO.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"
#include "recorder/DeckTemp.h"

using plat::RiffChunk;
using plat::RiffFile;
using plat::RiffMode;
using plat::RiffResult;
using plat::SmallRead;

// The kept file is a RIFF "WAVE" form of chunks, one cart after another: each begins with its
// "path", then its "iden" (what tells its file from others) and, once the take's first audio is on
// the disk, its "take" (a stamp of that audio), then its DISP chunks and its LIST "INFO". A file
// kept by an earlier version holds one cart and no "iden", or carts without "take".
namespace {

const uint32_t kPathId = plat::FourCC("path");
const uint32_t kIdentityId = plat::FourCC("iden");
const uint32_t kTakeId = plat::FourCC("take");
// Never more than this is read as a kept file: what stands there beyond it is left alone.
constexpr int64_t kMaxKeptBytes = int64_t(256) << 20;
// How much of the samples before a take's start tells its file from another one.
constexpr int64_t kStampBytes = 64 << 10;
// How much of a take's first audio is stamped at most: silence tells nothing, so the stamp waits
// for more of it to reach the disk, up to this.
constexpr int64_t kTakeStampBytes = 1 << 20;

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

// What only the take can show: a stamp of its first audio, from its start in the samples.
struct TTakeStamp {
  int64_t bytes = 0;
  uint64_t stamp = 0;
};

struct TEntry {
  std::string path;
  bool known = false;  // it has an identity (an earlier version kept none)
  TIdentity id;
  bool stamped = false;  // the take's first audio was stamped
  TTakeStamp take;
  std::string lists;  // its DISP and LIST chunks, as the file holds them
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

std::string TakeBytes(const TTakeStamp& t) {
  std::string s;
  PutLE64(s, uint64_t(t.bytes));
  PutLE64(s, t.stamp);
  return s;
}

std::string FormatBytes(const WAVEFORMATEX* f) {
  const std::vector<uint8_t> v = WaveFormatToBytes(f);
  return std::string(v.begin(), v.end());
}

std::string ChunkBytes(uint32_t id, const std::string& payload) {
  std::string s(8, '\0');
  plat::PutLE32(reinterpret_cast<uint8_t*>(s.data()), id);
  plat::PutLE32(reinterpret_cast<uint8_t*>(s.data()) + 4, uint32_t(payload.size()));
  s += payload;
  if (payload.size() & 1) s.push_back('\0');
  return s;
}

// The entry as the kept file holds it; its lists only when withLists.
std::string EntryBytes(const TEntry& e, bool withLists) {
  std::string s = ChunkBytes(kPathId, e.path);
  if (e.known) s += ChunkBytes(kIdentityId, IdentityBytes(e.id));
  if (e.stamped) s += ChunkBytes(kTakeId, TakeBytes(e.take));
  return withLists ? s + e.lists : s;
}

// The n bytes of f at offset: false when fewer are there.
bool ReadAt(RiffFile& f, int64_t offset, int64_t n, std::string& bytes) {
  bytes.assign(size_t(n), '\0');
  return f.Seek(offset, SEEK_SET) >= 0 && f.Read(bytes.data(), n) == n;
}

uint64_t Fnv1a(const std::string& bytes) {
  uint64_t stamp = 14695981039346656037ull;
  for (char c : bytes) stamp = (stamp ^ uint8_t(c)) * 1099511628211ull;
  return stamp;
}

// FNV-1a of the samples just before takeStart. False when they cannot be read.
bool StampBefore(RiffFile& f, int64_t dataOffset, int64_t takeStart, uint64_t& stamp) {
  const int64_t n = std::min(takeStart, kStampBytes);
  std::string bytes;
  if (!ReadAt(f, dataOffset + takeStart - n, n, bytes)) return false;
  stamp = Fnv1a(bytes);
  return true;
}

// Opens the file at a cart's path to be judged and, when it is the cart's, finished through the
// same descriptor: never through a link another account made, nor anything but a regular file.
enum class TOpen { Opened, Unreachable, Other, OthersLink };
TOpen OpenCart(const std::string& path, PWaveIOBlock& b, uint64_t& device, uint64_t& inode) {
  SmallRead refusal = SmallRead::Read;
  auto f = RiffFile::Open(path, RiffMode::ReadWriteTrusted, &refusal);
  if (!f) {
    if (errno == ELOOP) return TOpen::OthersLink;
    // Gone, a folder away, a disk not mounted, a file the account may not read: no answer yet.
    return refusal == SmallRead::NotAFile || errno == EISDIR || errno == EMLINK ? TOpen::Other : TOpen::Unreachable;
  }
  if (!f->Identity(device, inode)) return TOpen::Unreachable;
  return WaveIOOpenFile(b, std::move(f), path) == wioOk ? TOpen::Opened : TOpen::Other;
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
      entries.push_back({});
      entries.back().path = payload;
    } else if (entries.empty()) {
      return TRead::Damaged;
    } else if (ck.id == kIdentityId) {
      entries.back().known = ReadIdentity(payload, entries.back().id);
      if (!entries.back().known) return TRead::Damaged;
    } else if (ck.id == kTakeId) {
      TEntry& e = entries.back();
      if (payload.size() != 16 || !e.known) return TRead::Damaged;
      e.take = {int64_t(GetLE64(payload, 0)), GetLE64(payload, 8)};
      e.stamped = e.take.bytes > 0;
      if (!e.stamped) return TRead::Damaged;
    } else {
      entries.back().lists += chunk;
    }
    if (m->Ascend(ck) != RiffResult::Ok) return TRead::Damaged;
  }
  return entries.empty() ? TRead::Damaged : TRead::Whole;
}

// The lists an entry keeps, read as the header of a wave would be.
bool ListsOf(const TEntry& e, PWaveIOBlock& lists, std::string& image) {
  image = "RIFF" + std::string(4, '\0') + "WAVE" + e.lists;
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
  RiffChunk riff;
  riff.type = plat::FourCC("WAVE");
  bool ok = f->CreateChunk(riff, plat::kRiffCreateRiff) == RiffResult::Ok;
  for (const TEntry& e : entries) ok = ok && put(EntryBytes(e, true));
  if (add) {
    ok = ok && put(EntryBytes(*add, !addLists));
    if (addLists) ok = ok && WriteDispChunks(*f, addLists->DispList) && WriteInfoChunk(*f, addLists->InfoList);
  }
  ok = ok && f->Ascend(riff) == RiffResult::Ok && f->Sync();
  if (!f->Close() || !ok || !plat::RiffRename(made, path)) {
    plat::RiffRemove(made);
    return false;
  }
  return plat::RiffSyncFolder(folder);
}

enum class TMatch { Unreachable, Other, OthersLink, Untold, Same };

// Whether the file at the entry's path is the one its take went into, as a kill, a failed finish or
// a finish left it; b then holds it open, to be finished through the same descriptor.
TMatch Identify(const TEntry& e, PWaveIOBlock& b) {
  uint64_t device = 0, inode = 0;
  switch (OpenCart(e.path, b, device, inode)) {
    case TOpen::Opened: break;
    case TOpen::Unreachable: return TMatch::Unreachable;
    case TOpen::Other: return TMatch::Other;
    case TOpen::OthersLink: return TMatch::OthersLink;
  }
  const bool finished = b->RiffCk.size != 0 && b->DataCk.size == b->DataSize;
  // An earlier version kept nothing to tell the file by: only one left unfinished is taken.
  if (!e.known) return finished ? TMatch::Other : TMatch::Same;
  if (!e.id.format.empty() && FormatBytes(b->PFormat()) != e.id.format) return TMatch::Other;
  // A file the take made anew, killed before its first audio was stamped, keeps no lists.
  if (e.id.dataOffset == 0 && !e.stamped) return TMatch::Same;
  uint64_t before = 0;
  const int64_t takeEnd = e.id.takeStart + (e.stamped ? e.take.bytes : 0);
  if (b->DataOffset != e.id.dataOffset || b->DataSize < std::max(e.id.samples, takeEnd) ||
      !StampBefore(*b->File, e.id.dataOffset, e.id.takeStart, before) || before != e.id.stamp)
    return TMatch::Other;
  std::string first;
  if (e.stamped)
    return ReadAt(*b->File, e.id.dataOffset + e.id.takeStart, e.take.bytes, first) && Fnv1a(first) == e.take.stamp
               ? TMatch::Same
               : TMatch::Other;
  // Killed before its first audio reached the disk, a take from the very start of the samples left
  // nothing that tells its file: only the very file is taken, as device and inode show it.
  if (e.id.takeStart == 0 && !(device == e.id.device && inode == e.id.inode)) return TMatch::Untold;
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
    auto f = RiffFile::Open(cartPath, RiffMode::Read);
    if (!f || !f->Identity(add.id.device, add.id.inode) ||
        !StampBefore(*f, add.id.dataOffset, add.id.takeStart, add.id.stamp))
      return failed;
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
      case TMatch::OthersLink: c.state = TKeptState::OthersLink; break;
      case TMatch::Untold: c.state = TKeptState::Untold; break;
      case TMatch::Same:
        if (!ListsOf(e, lists, image) || WaveIOFinishFile(b.get(), lists.get()) != wioOk)
          c.state = TKeptState::NotFinished;
        break;
    }
    // A cart kept without lists (its file made anew by the take) keeps nothing another file at its
    // path could lose: it goes.
    if (!c.hasLists && KeptForAnother(c.state)) c.state = TKeptState::Finished;
    if (c.state != TKeptState::Finished) still.push_back(std::move(e));
    carts.push_back(std::move(c));
  }
  // A file that could not be replaced keeps carts already finished: they are found finished again.
  if (still.size() != entries.size()) WriteTail(folder, still, nullptr, nullptr);
  return carts;
}

TStamp StampKeptTake(const std::string& folder, const std::string& cartPath, int64_t taken) {
  std::vector<TEntry> entries;
  if (ReadTail(folder, entries) != TRead::Whole) return TStamp::Done;
  auto e = std::find_if(entries.rbegin(), entries.rend(), [&](const TEntry& k) { return k.path == cartPath; });
  if (e == entries.rend() || !e->known || e->stamped) return TStamp::Done;
  PWaveIOBlock b;
  uint64_t device = 0, inode = 0;
  if (OpenCart(cartPath, b, device, inode) != TOpen::Opened) return TStamp::Done;
  // A take into samples goes on in the file it was kept for; a file it made anew is told from now on
  // by where its samples begin as well.
  if (e->id.dataOffset != 0 && (b->DataOffset != e->id.dataOffset || device != e->id.device || inode != e->id.inode))
    return TStamp::Done;
  const int64_t n = std::min(taken, kTakeStampBytes);
  std::string first;
  if (n <= 0 || !ReadAt(*b->File, b->DataOffset + e->id.takeStart, n, first)) return TStamp::NotYet;
  if (first.find_first_not_of(first[0]) == std::string::npos) return n < kTakeStampBytes ? TStamp::NotYet : TStamp::Done;
  e->stamped = true;
  e->take = {n, Fnv1a(first)};
  if (e->id.dataOffset == 0) {
    e->id.dataOffset = b->DataOffset;
    e->id.device = device;
    e->id.inode = inode;
  }
  b.reset();
  return WriteTail(folder, entries, nullptr, nullptr) ? TStamp::Done : TStamp::NotYet;
}

bool KeptForAnother(TKeptState state) {
  return state == TKeptState::Other || state == TKeptState::OthersLink || state == TKeptState::Untold;
}

std::string KeptCartText(const TKeptCart& c) {
  const std::string kept = "\r\nThey stay kept, and go back into that recording should it return to that place.";
  switch (c.state) {
    case TKeptState::Other:
      return "The file " + c.path +
             " is not the recording that was cut short there when Solvane last ended, so the title and picture "
             "kept for that recording were not written into it. " +
             kept;
    case TKeptState::OthersLink:
      return "At " + c.path +
             " stands a link that another account made. Solvane follows no such link, so the title and picture "
             "kept for the recording that was cut short there when Solvane last ended were not written through "
             "it. " +
             kept;
    case TKeptState::Untold:
      return "Solvane cannot tell whether the file " + c.path +
             " is the recording that was cut short there when Solvane last ended: Solvane ended too soon after "
             "that recording began for anything to tell it by. So the title and picture kept for that recording "
             "were not written into the file; should it be that recording, enter them again. " +
             kept;
    default: return {};
  }
}
