#include "engine/MMWaveIO.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>
#include <random>
#include <span>
#include <utility>

#include "engine/MMADPCM.h"
#include "platform/audio/adpcm_codec.h"
#include "platform/audio/wave_mapper.h"
#include "platform/system/exceptions.h"
#include "platform/system/files.h"

using plat::FourCC;
using plat::RiffChunk;
using plat::RiffFile;
using plat::RiffMode;
using plat::RiffResult;

namespace {

const uint32_t kWave = FourCC("WAVE");
const uint32_t kFmt = FourCC("fmt ");
const uint32_t kData = FourCC("data");
const uint32_t kFact = FourCC("fact");
const uint32_t kInfo = FourCC("INFO");
constexpr size_t kMsAdpcmLeastCoefs = 7;

std::mutex& FinderLock() {
  static std::mutex m;
  return m;
}
TWaveResourceFinder& Finder() {
  static TWaveResourceFinder f;
  return f;
}

bool FindResource(const std::string& name, std::string& bytes) {
  TWaveResourceFinder f;
  {
    std::lock_guard<std::mutex> lock(FinderLock());
    f = Finder();
  }
  return f && f(name, bytes);
}

int Refuse(TWaveIOProblem& why, int result, std::string text) {
  why.text = std::move(text);
  return result;
}

// Opens the RIFF form of a block's source (unless file is open on it already) and checks its type.
int OpenForm(const WaveIOBlock& b, RiffMode mode, uint32_t formType, std::unique_ptr<RiffFile>& file, RiffChunk& riff,
             TWaveIOProblem& why) {
  if (file) file->Seek(0, SEEK_SET);
  else if (b.Options & wioResource) file = RiffFile::OpenMemory(b.Resource.data(), b.Resource.size());
  else if (b.Options & wioMemory) file = RiffFile::OpenMemory(b.Memory, b.MemorySize);
  plat::SmallRead refusal = plat::SmallRead::Read;
  if (!file && !(b.Options & (wioResource | wioMemory))) file = RiffFile::Open(b.Name, mode, &refusal);
  if (!file) {
    // What stands at the name is no file to read: said with the name, as for every such file.
    if (refusal == plat::SmallRead::NotAFile || refusal == plat::SmallRead::OthersLink)
      return Refuse(why, wioErrFile, plat::RefusalText(b.Name, refusal, 0));
    // A file the user may not read is no broken file: that alone is the reason.
    why.notPermitted = errno == EACCES || errno == EPERM;
    if (why.notPermitted) return Refuse(why, wioErrFile, "You are not allowed to read this file.");
    return Refuse(why, wioErrFile, errno == ENOENT ? "" : "It cannot be opened: " + plat::LastErrorText() + ".");
  }
  if (file->Descend(riff) != RiffResult::Ok || riff.id != plat::kRiffId || riff.type != formType) {
    file.reset();
    return Refuse(why, wioErrFile, "It is no RIFF WAVE file.");
  }
  return wioOk;
}

// Why the samples of a format cannot be measured or played as its header describes them; empty
// when they can. PCM gets its block align and byte rate from its bits, channels and rate, whatever
// the header said.
std::string FormatProblem(WAVEFORMATEX* f) {
  const std::string damaged = "Its format chunk is damaged.";
  if (f->wFormatTag == WAVE_FORMAT_PCM) {
    uint64_t align = (uint64_t(f->wBitsPerSample) * f->nChannels) / 8;
    uint64_t avg = align * f->nSamplesPerSec;
    if (align > 0xFFFF || avg > uint64_t(INT32_MAX)) return damaged;
    f->nBlockAlign = uint16_t(align);
    f->nAvgBytesPerSec = uint32_t(avg);
  }
  if (f->nSamplesPerSec == 0 || f->nChannels == 0 || f->nBlockAlign == 0 || f->nAvgBytesPerSec == 0 ||
      f->nSamplesPerSec > uint32_t(INT32_MAX) || f->nAvgBytesPerSec > uint32_t(INT32_MAX))
    return damaged;
  const std::span<const uint8_t> extra = FormatExtraBytes(f);
  plat::AdpcmLayout adpcm;
  WAVEFORMATEX plain;
  uint16_t sub = 0;
  switch (f->wFormatTag) {
    case plat::wavecore::WAVE_FORMAT_IEEE_FLOAT:
      if (f->wBitsPerSample == 32 || f->wBitsPerSample == 64) break;
      return "Its float samples have " + std::to_string(f->wBitsPerSample) + " bits; float samples have 32 or 64.";
    case plat::WAVE_FORMAT_ADPCM:
      if (!plat::ParseMsAdpcmFormat(*f, extra, adpcm)) return "Its ADPCM format header is damaged.";
      // The first seven pairs are the ones every Microsoft ADPCM encoder chooses among.
      if (adpcm.Coefs.size() < kMsAdpcmLeastCoefs)
        return "Its ADPCM format header holds " + std::to_string(adpcm.Coefs.size()) +
               " coefficient pair(s); Microsoft ADPCM needs at least " + std::to_string(kMsAdpcmLeastCoefs) + ".";
      break;
    case plat::WAVE_FORMAT_IMA_ADPCM:
      if (!plat::ParseImaAdpcmFormat(*f, extra, adpcm)) return "Its ADPCM format header is damaged.";
      break;
    case plat::wavecore::WAVE_FORMAT_EXTENSIBLE:
      if (!plat::wavecore::ExtensibleSubFormat(f, sub) ||
          ((sub == WAVE_FORMAT_PCM || sub == plat::wavecore::WAVE_FORMAT_IEEE_FLOAT) &&
           !plat::wavecore::PlainFormat(f, plain)))
        return "Its extensible format header is damaged.";
      // Its sub-format says what the samples are; the extensible tag itself says nothing.
      if (sub == plat::wavecore::WAVE_FORMAT_EXTENSIBLE)
        return "Its extensible format header gives the extensible format itself as the format of its samples.";
      break;
    default: break;
  }
  return {};
}

bool UsableFormat(WAVEFORMATEX* f) { return f && FormatProblem(f).empty(); }

// Where reading stops. A range that runs to the last sample runs to the last byte, also for
// formats whose bytes per sample are no whole number.
int64_t RangeEndBytes(const WaveIOBlock& b) {
  if (b.RangeEnd >= b.TotalSamples) return b.DataSize;
  return std::min(SamplesToBytes64(b.Format.get(), b.RangeEnd), b.DataSize);
}

// Why the first block of ADPCM samples cannot be decoded; empty when it can (or is not ADPCM). A
// damaged first block would play as silence and end the playback at once.
std::string FirstBlockProblem(RiffFile& file, const WAVEFORMATEX& f, int64_t dataStart, int64_t dataEnd) {
  plat::AdpcmLayout adpcm;
  if (f.wFormatTag != plat::WAVE_FORMAT_ADPCM || !plat::ParseMsAdpcmFormat(f, FormatExtraBytes(&f), adpcm)) return {};
  uint8_t predictors[8];
  const int64_t n = std::min<int64_t>(adpcm.Channels, dataEnd - dataStart);
  if (n < adpcm.Channels) return {};  // no whole block header: nothing to play
  if (file.Seek(dataStart, SEEK_SET) < 0 || file.Read(predictors, n) != n) return "It cannot be read.";
  for (int64_t c = 0; c < n; ++c)
    if (predictors[c] >= adpcm.Coefs.size())
      return "Its first ADPCM block is damaged: it names coefficient pair " + std::to_string(predictors[c]) +
             ", and the format has " + std::to_string(adpcm.Coefs.size()) + ".";
  return {};
}

struct Walk {
  bool haveFmt = false, secondFmt = false, haveData = false, factSeen = false, prevWasData = false;
  RiffChunk data;
  int64_t dataEnd = 0;
};

// One chunk of the walk; false ends it, a result other than wioOk fails the read.
bool WalkChunk(RiffFile& file, RiffChunk& ck, Walk& w, WaveIOBlock& b, int& result, TWaveIOProblem& why) {
  switch (ck.id) {
    case plat::kListId:
      if (ck.type == kInfo) result = ReadInfoChunk(file, ck, b.InfoList);
      break;
    case FourCC("DISP"): result = ReadDispChunk(file, ck, b.DispList); break;
    case FourCC("fmt "): {
      if (w.haveFmt) {
        w.secondFmt = true;
        return false;
      }
      b.FormatBehindData = w.haveData;
      // The header and at most all the extra bytes a format can announce.
      size_t n = std::min<size_t>(ck.size, plat::kWaveFormatExBytes + 0xFFFF);
      std::vector<uint8_t> bytes(n);
      if (file.Read(bytes.data(), int64_t(n)) != int64_t(n)) {
        result = Refuse(why, wioErrFile, "It cannot be read.");
        return false;
      }
      b.Format = WaveFormatFromBytes(bytes.data(), n);
      if (!b.Format) {
        result = Refuse(why, wioErrFormat, "Its format chunk is damaged.");
        return false;
      }
      w.haveFmt = true;
      break;
    }
    case FourCC("data"):
      if (w.haveData && w.data.size != 0) return false;
      w.haveData = true;
      w.data = ck;
      w.prevWasData = true;
      w.dataEnd = file.Size();
      break;
    case FourCC("fact"):
      if (w.factSeen) return false;
      w.factSeen = true;
      break;
    default: break;
  }
  return result == wioOk;
}

// Reads the header through file, which is opened here unless it is open already, and stays open.
int ReadHeader(WaveIOBlock& b, uint32_t formType, TWaveIOProblem& why, std::unique_ptr<RiffFile>& file) {
  RiffChunk riff;
  if (int rc = OpenForm(b, RiffMode::Read, formType, file, riff, why)) return rc;
  const int64_t fileLen = file->Size();
  if (file->Seek(riff.dataOffset + 4, SEEK_SET) < 0) return Refuse(why, wioErrFile, "It cannot be read.");
  const int64_t riffEnd = std::min<int64_t>(riff.dataOffset + riff.size, fileLen);

  Walk w;
  w.dataEnd = fileLen;
  int result = wioOk;
  // What finishing rewrites behind the data: the count, the lists and the DISP texts and pictures.
  // Those that stand before the data chunk finally taken become junk when the file is finished.
  std::vector<WaveIOBlock::StaleChunk> rewritten;
  for (;;) {
    RiffChunk ck;
    if (file->Descend(ck) != RiffResult::Ok) break;
    int64_t end = ck.dataOffset + int64_t(ck.size);
    if (end > riffEnd) {
      if (w.haveFmt && w.haveData) break;
      // The rest of the file would be read as the format, and nothing as samples.
      if (end > fileLen && ck.id == kFmt && !(b.Options & wioHeaderOnly))
        return Refuse(why, wioErrFormat, "Its format chunk claims more bytes than the file holds.");
      if (end > fileLen) ck.size = uint32_t(std::max<int64_t>(0, fileLen - ck.dataOffset));
    }
    if (w.prevWasData) {
      w.dataEnd = ck.dataOffset - 8;
      w.prevWasData = false;
    }
    // RIFF and LIST payloads start with their type, which Descend has read.
    if (ck.id == plat::kRiffId || ck.id == plat::kListId) ck.size = ck.size >= 4 ? ck.size : 4;
    const size_t dispEntries = b.DispList.size();
    if (!WalkChunk(*file, ck, w, b, result, why)) break;
    const bool managedDisp = b.DispList.size() > dispEntries &&
                             (b.DispList.back().Type == kDispText || b.DispList.back().Type == kDispBitmap);
    if (ck.id == kFact || managedDisp || (ck.id == plat::kListId && ck.type == kInfo))
      rewritten.push_back({ck.dataOffset - 8, ck.size});
    if (file->Ascend(ck) != RiffResult::Ok) {
      if (w.haveData) break;
      return Refuse(why, wioErrFile, "It cannot be read.");
    }
  }
  if (result != wioOk) {
    if (why.text.empty()) why.text = "Its INFO or DISP chunk cannot be read.";
    return result;
  }
  // An empty data chunk may come before the one that holds the samples.
  const int64_t dataStart = w.haveData ? w.data.dataOffset : riffEnd;
  for (const WaveIOBlock::StaleChunk& ck : rewritten)
    if (ck.at < dataStart) b.StaleChunks.push_back(ck);
  // A finished form (its RIFF size written) holds its samples: nothing behind the form (a tag
  // another program appended) is audio, nor anything behind the data's own size when that is
  // written too, whether the pad byte of odd data is there, missing, or left out of the RIFF size.
  // An unfinished recording keeps RIFF size 0 and runs to the end of the file.
  if (w.haveData && riff.size != 0) {
    w.dataEnd = std::min(w.dataEnd, riffEnd);
    if (w.data.size != 0) w.dataEnd = std::min<int64_t>(w.dataEnd, w.data.dataOffset + int64_t(w.data.size));
  }
  // The pad byte behind odd data, before the next chunk or at the end of the file, is no sample.
  if (w.haveData && (w.data.size & 1) && w.dataEnd - w.data.dataOffset == int64_t(w.data.size) + 1) --w.dataEnd;
  std::string problem = b.Format ? FormatProblem(b.Format.get()) : "It has no format chunk.";
  // Which of two formats describes the samples cannot be told, and other programs may take the
  // other one: such a file is refused rather than played or recorded as a guess.
  if (problem.empty() && w.secondFmt) problem = "It has more than one format chunk.";
  if (problem.empty() && w.haveData && !(b.Options & wioHeaderOnly))
    problem = FirstBlockProblem(*file, *b.Format, w.data.dataOffset, w.dataEnd);
  if (!problem.empty()) {
    b.Format.reset();
    if (b.Options & wioHeaderOnly) return wioOk;
    return Refuse(why, wioErrFormat, std::move(problem));
  }
  if (b.Options & wioHeaderOnly) return wioOk;
  // Nothing could be played, and there would be no chunk to write samples into.
  if (!w.haveData) return Refuse(why, wioErrFormat, "It has no data chunk.");
  b.HasDataChunk = true;
  b.FileSize = fileLen;
  b.DataOffset = dataStart;
  int64_t bytes = std::max<int64_t>(0, w.dataEnd - b.DataOffset);
  b.DataSize = bytes / b.Format->nBlockAlign * b.Format->nBlockAlign;
  b.DataCk = w.data;
  b.RiffCk = riff;
  b.TotalSamples = BytesToSamples64(b.Format.get(), b.DataSize);
  b.RangeStart = 0;
  b.RangeEnd = b.TotalSamples;
  b.BytesLeft = 0;
  b.Position = 0;
  return wioOk;
}

// With file open on the block's source, the header is read through it, and the block keeps it open.
int OpenBlock(PWaveIOBlock& block, std::unique_ptr<WaveIOBlock> b, uint32_t formType, TWaveIOProblem* problem,
              std::unique_ptr<RiffFile> file = nullptr) {
  block.reset();
  TWaveIOProblem none;
  TWaveIOProblem& why = problem ? *problem : none;
  why = {};
  const bool keep = file != nullptr;
  try {
    int rc = ReadHeader(*b, formType, why, file);
    if (rc != wioOk) return rc;
    if (keep) {
      b->File = std::move(file);
      b->Reopened = true;
      if (WaveIOSeek(b.get(), 0) != wioOk) return Refuse(why, wioErrFile, "It cannot be read.");
    }
  } catch (const std::bad_alloc&) {
    return Refuse(why, wioErrMemory, "There is not enough memory to read it.");
  } catch (const plat::EOutOfMemory&) {
    return Refuse(why, wioErrMemory, "There is not enough memory to read it.");
  }
  block = std::move(b);
  return wioOk;
}

}  // namespace

int WaveIOOpen(PWaveIOBlock& block, const std::string& name, uint32_t formType, uint32_t options,
               TWaveIOProblem* problem) {
  block.reset();
  if (problem) *problem = {};
  if (name.empty()) return wioErrParam;
  auto b = std::make_unique<WaveIOBlock>();
  b->Options = options & ~wioMemory;
  if (!(b->Options & (wioFile | wioResource))) b->Options |= wioFile;
  b->Name = name;
  if ((b->Options & wioResource) && !FindResource(name, b->Resource)) return wioErrFile;
  return OpenBlock(block, std::move(b), formType, problem);
}

int WaveIOOpenFile(PWaveIOBlock& block, std::unique_ptr<RiffFile> file, const std::string& name,
                   TWaveIOProblem* problem) {
  block.reset();
  if (problem) *problem = {};
  if (!file || name.empty()) return wioErrParam;
  auto b = std::make_unique<WaveIOBlock>();
  b->Options = wioFile;
  b->Name = name;
  return OpenBlock(block, std::move(b), kWave, problem, std::move(file));
}

int WaveIOOpenMemory(PWaveIOBlock& block, const void* data, size_t size, uint32_t options) {
  block.reset();
  if (!data) return wioErrParam;
  auto b = std::make_unique<WaveIOBlock>();
  b->Options = wioMemory | (options & wioHeaderOnly);
  b->Memory = data;
  b->MemorySize = size;
  return OpenBlock(block, std::move(b), kWave, nullptr);
}

bool IsWaveFile(const std::string& name, uint32_t options, TWaveIOProblem* problem) {
  PWaveIOBlock b;
  return WaveIOOpen(b, name, kWave, options, problem) == wioOk;
}

std::string WaveRefusalMessage(const std::string& invalid, const TWaveIOProblem& problem) {
  if (problem.notPermitted) return problem.text;
  return problem.text.empty() ? invalid : invalid + "\r\n" + problem.text;
}

int WaveIOAlloc(PWaveIOBlock& block, const WAVEFORMATEX* format) {
  block.reset();
  if (!format) return wioErrParam;
  try {
    auto b = std::make_unique<WaveIOBlock>();
    b->Format = CopyWaveFormat(format);
    if (!UsableFormat(b->Format.get())) return wioErrFormat;
    block = std::move(b);
  } catch (const std::bad_alloc&) {
    return wioErrMemory;
  } catch (const plat::EOutOfMemory&) {
    return wioErrMemory;
  }
  return wioOk;
}

int WaveIOCreate(WaveIOBlock* b, const std::string& name) {
  if (!b || name.empty() || !b->Format) return wioErrParam;
  if (b->File) return wioErrFile;
  auto file = RiffFile::Open(name, RiffMode::Create);
  if (!file) return wioErrFile;  // nothing of ours to remove
  // Only a file this call made is removed again; one it truncated may be a device or a link.
  const bool madeHere = file->CreatedNew();
  auto fail = [&] {
    file.reset();
    if (madeHere) plat::RiffRemove(name);
    return wioErrFile;
  };
  RiffChunk riff, fmt, data;
  riff.type = kWave;
  if (file->CreateChunk(riff, plat::kRiffCreateRiff) != RiffResult::Ok) return fail();
  std::vector<uint8_t> rec = WaveFormatToBytes(b->Format.get());
  fmt.id = kFmt;
  fmt.size = uint32_t(rec.size());
  if (file->CreateChunk(fmt) != RiffResult::Ok) return fail();
  if (file->Write(rec.data(), int64_t(rec.size())) != int64_t(rec.size())) return fail();
  if (file->Ascend(fmt) != RiffResult::Ok) return fail();
  data.id = kData;
  if (file->CreateChunk(data) != RiffResult::Ok) return fail();
  b->File = std::move(file);
  b->Options = (b->Options & ~(wioMemory | wioResource)) | wioFile;
  b->RiffCk = riff;
  b->DataCk = data;
  b->DataOffset = data.dataOffset;
  b->Name = name;
  b->HasDataChunk = true;
  b->DataSize = 0;
  b->TotalSamples = 0;
  b->RangeStart = b->RangeEnd = 0;
  b->Position = b->BytesLeft = 0;
  b->FileSize = b->File->Size();
  b->Dirty = false;
  b->Reopened = false;
  return wioOk;
}

int WaveIOReopen(WaveIOBlock* b) {
  if (!b || !b->Format) return wioErrParam;
  if (b->File) return wioOk;
  std::unique_ptr<RiffFile> file;
  RiffChunk riff;
  TWaveIOProblem why;
  if (int rc = OpenForm(*b, RiffMode::ReadWriteOrRead, kWave, file, riff, why)) return rc;
  b->File = std::move(file);
  b->RiffCk = riff;
  b->Reopened = true;
  b->MarkedUnfinished = false;
  b->Dirty = false;
  if (WaveIOSeek(b, b->Position) != wioOk) {
    b->File.reset();
    return wioErrFile;
  }
  return wioOk;
}

int WaveIOSetBuffer(WaveIOBlock* b, int64_t size) {
  if (!b) return wioErrParam;
  if (b->Options & (wioMemory | wioResource)) return wioOk;
  if (!b->File || size < 0) return wioErrFormat;
  return b->File->SetBuffer(size) ? wioOk : wioErrFormat;
}

int WaveIOFlush(WaveIOBlock* b, bool durable) {
  if (!b) return wioErrParam;
  if (!b->File || !b->File->Writable()) return wioOk;
  return (durable ? b->File->Sync() : b->File->Flush()) ? wioOk : wioErrFile;
}

int WaveIOSeek(WaveIOBlock* b, int64_t sample, int64_t* leadIn) {
  if (leadIn) *leadIn = 0;
  if (!b) return wioErrParam;
  if (sample < 0) return wioErrFile;
  const WAVEFORMATEX* f = b->Format.get();
  if (!f) return wioErrFormat;
  sample = std::min(sample, std::max<int64_t>(0, b->RangeEnd - b->RangeStart));
  // The byte rate of an ADPCM format is rounded: its blocks tell where each sample lies.
  const int64_t perBlock = ADPCMSamplesPerBlock(f);
  const int64_t target = b->RangeStart + sample;
  int64_t offset = perBlock > 0 ? target / perBlock * f->nBlockAlign : SamplesToBytes64(f, target);
  offset = std::min(offset, b->DataSize) / f->nBlockAlign * f->nBlockAlign;
  const int64_t first = perBlock > 0 ? offset / f->nBlockAlign * perBlock : BytesToSamples64(f, offset);
  if (leadIn && perBlock > 0) *leadIn = std::max<int64_t>(0, target - first);
  if (b->File) {
    if (b->File->Seek(b->DataOffset + offset, SEEK_SET) < 0) return wioErrFile;
    b->BytesLeft = std::max<int64_t>(0, RangeEndBytes(*b) - offset);
  }
  b->Position = first - b->RangeStart;
  return wioOk;
}

int64_t WaveIORead(WaveIOBlock* b, void* buffer, int64_t count) {
  if (!b || !b->File || !buffer) return -1;
  if (count <= 0 || b->BytesLeft <= 0) return 0;
  int64_t want = std::min(count, b->BytesLeft);
  int64_t got = b->File->Read(buffer, want);
  if (got < 0) {
    b->BytesLeft = 0;
    return -1;
  }
  if (got < want) b->BytesLeft = 0;
  if (got > 0) {
    b->BytesLeft = std::max<int64_t>(0, b->BytesLeft - got);
    b->Position = (b->RangeEnd - b->RangeStart) - BytesToSamples64(b->Format.get(), b->BytesLeft);
  }
  return got;
}

namespace {

bool PutSizeAt(RiffFile& file, int64_t offset, int64_t size) {
  uint8_t s[4];
  plat::PutLE32(s, uint32_t(size));
  return file.Seek(offset, SEEK_SET) >= 0 && file.Write(s, 4) == 4;
}

}  // namespace

int64_t WaveIOWrite(WaveIOBlock* b, const void* buffer, int64_t count) {
  if (!b || !b->File || !buffer || count <= 0) return -1;
  if (!b->File->Writable() || !b->HasDataChunk || b->FormatBehindData) return -1;
  const WAVEFORMATEX* f = b->Format.get();
  const int64_t start = b->File->Tell();
  const int64_t bytePos = start - b->DataOffset;
  if (bytePos < 0) return -1;
  // Room for the pad byte, "fact" and the lists that finishing appends.
  const int64_t room = kMaxWaveFileBytes - 1 - 12 - DispChunkBytes(b->DispList) - InfoChunkBytes(b->InfoList) - start;
  int64_t n = std::min(count, std::max<int64_t>(0, room));
  if (n < count) n = std::max<int64_t>(0, (bytePos + n) / f->nBlockAlign * f->nBlockAlign - bytePos);
  if (n == 0) return 0;
  // A finished file written past the end of its samples says it is unfinished (RIFF size 0) until
  // it is finished again, so that after a crash every sample that reached the disk is read. What
  // stood behind the samples (the count, the lists and pictures, which finishing writes again from
  // memory) goes first: a crash would otherwise read what the new samples had not yet covered of
  // it as audio. Cut first, then marked: a crash between the two leaves a finished take.
  // The cut is at the end of the samples as read (and written since): an unfinished file declares
  // no size, and its samples run to the end of the file.
  if (b->Reopened && !b->MarkedUnfinished && start + n > b->DataOffset + int64_t(b->DataCk.size)) {
    const int64_t samplesEnd = b->DataOffset + b->DataSize;
    if (!b->File->Truncate(std::min(b->File->Size(), samplesEnd)) || !PutSizeAt(*b->File, 4, 0) ||
        b->File->Seek(start, SEEK_SET) < 0)
      return -1;
    b->MarkedUnfinished = true;
  }
  if (b->File->Write(buffer, n) != n) {
    // A partial frame on disk would shift every later sample: report a failure and stay where
    // the last whole write ended.
    b->File->Seek(start, SEEK_SET);
    return -1;
  }
  b->Dirty = true;
  const int64_t pos = b->File->Tell() - b->DataOffset;
  const int64_t samples = BytesToSamples64(f, pos);
  b->DataSize = std::max(b->DataSize, pos);
  if (samples > b->TotalSamples) b->TotalSamples = b->RangeEnd = samples;
  b->Position = samples - b->RangeStart;
  b->BytesLeft = std::max<int64_t>(0, RangeEndBytes(*b) - pos);
  return n;
}

namespace {

// After a failed write (a full disk): the form ends with the whole blocks of samples that reached
// the disk and its sizes say so, since nothing more can be appended behind them.
bool CloseAtSamplesOnDisk(RiffFile& file, WaveIOBlock& b) {
  file.SetBuffer(0);  // every write below reports its own result
  const int64_t onDisk = plat::RiffFileSize(b.Name);
  if (onDisk < b.DataOffset) return false;
  const WAVEFORMATEX* f = b.Format.get();
  int64_t bytes = std::min(b.DataSize, onDisk - b.DataOffset);
  bytes = bytes / f->nBlockAlign * f->nBlockAlign;
  b.DataSize = bytes;
  b.TotalSamples = BytesToSamples64(f, bytes);
  int64_t end = b.DataOffset + bytes;
  if (bytes & 1) {
    const uint8_t pad = 0;
    if (file.Seek(end, SEEK_SET) >= 0 && file.Write(&pad, 1) == 1) ++end;
  }
  return PutSizeAt(file, b.DataOffset - 4, bytes) && PutSizeAt(file, 4, end - 8) && file.Truncate(end);
}

}  // namespace

int WaveIOFinish(WaveIOBlock* b) {
  if (!b) return wioErrParam;
  if (!b->File) return wioOk;
  std::unique_ptr<RiffFile> file = std::move(b->File);
  b->BytesLeft = 0;
  b->Position = 0;
  if (!b->Dirty || !file->Writable()) return file->Close() ? wioOk : wioErrFile;
  b->Dirty = false;
  if (!file->Flush()) {
    CloseAtSamplesOnDisk(*file, *b);
    b->RangeEnd = b->TotalSamples;
    file->Close();
    return wioErrFile;
  }
  bool ok = true;
  // A kill can stop this at any write. The order keeps every state on disk reading as the samples
  // alone: the data's size, then a form that ends with the data (so what is appended behind it is
  // no sample), then the chunks behind the data, and only once they are on disk the form's size
  // that takes them in. Each step is on disk before the next, whatever the buffer holds.
  // Always close the data at the furthest byte written, whatever the position.
  RiffChunk data;
  data.id = kData;
  data.dataOffset = b->DataOffset;
  data.flags = plat::kRiffDirty;
  RiffChunk riff = b->RiffCk;
  riff.flags = plat::kRiffDirty;
  ok = ok && file->Seek(b->DataOffset + b->DataSize, SEEK_SET) >= 0;
  ok = ok && file->Ascend(data) == RiffResult::Ok && file->Flush();
  const int64_t dataFormEnd = file->Tell();
  riff.size = uint32_t(dataFormEnd - riff.dataOffset);
  ok = ok && PutSizeAt(*file, riff.dataOffset - 4, riff.size) && file->Flush();
  ok = ok && file->Seek(dataFormEnd, SEEK_SET) >= 0;
  if (ok) {
    RiffChunk fact;
    fact.id = kFact;
    uint8_t n[4];
    plat::PutLE32(n, uint32_t(std::min<int64_t>(b->TotalSamples, UINT32_MAX)));
    ok = file->CreateChunk(fact) == RiffResult::Ok && file->Write(n, 4) == 4 && file->Ascend(fact) == RiffResult::Ok;
  }
  // The lists go only where they keep the file under 4 GiB.
  if (ok && file->Tell() + DispChunkBytes(b->DispList) <= kMaxWaveFileBytes) ok = WriteDispChunks(*file, b->DispList);
  if (ok && file->Tell() + InfoChunkBytes(b->InfoList) <= kMaxWaveFileBytes) ok = WriteInfoChunk(*file, b->InfoList);
  const int64_t end = file->Tell();
  ok = ok && file->Flush();
  for (const WaveIOBlock::StaleChunk& ck : b->StaleChunks) {
    uint8_t junk[8] = {'J', 'U', 'N', 'K'};
    plat::PutLE32(junk + 4, ck.size);
    ok = ok && file->Seek(ck.at, SEEK_SET) >= 0 && file->Write(junk, 8) == 8;
  }
  ok = ok && file->Seek(end, SEEK_SET) >= 0;
  ok = ok && file->Ascend(riff) == RiffResult::Ok;
  if (ok) {
    b->StaleChunks.clear();
    // An older, longer file must not leave its tail behind the form.
    const int64_t riffEnd = file->Tell();
    ok = file->Truncate(riffEnd);
    b->FileSize = riffEnd;
    b->DataCk = data;
    b->RiffCk = riff;
  }
  ok = file->Sync() && ok;
  if (file->Failed()) CloseAtSamplesOnDisk(*file, *b);
  b->RangeEnd = b->TotalSamples;
  if (!file->Close()) ok = false;
  return ok ? wioOk : wioErrFile;
}

namespace {

bool WrittenDisp(const TDispItem& d) {
  const std::string* data = DispItemData(d);
  return (d.Type == kDispText || d.Type == kDispBitmap) && data && !data->empty();
}

// The INFO texts and the DISP texts and pictures of b become those of lists.
void TakeLists(WaveIOBlock& b, const WaveIOBlock& lists) {
  for (int i = 0; i < kInfoItemCount; ++i) {
    const std::string text = InfoItemText(lists.InfoList, i);
    SetInfoItemText(b.InfoList, i, &text, isSet);
  }
  std::erase_if(b.DispList, [](const TDispItem& d) { return d.Type == kDispText || d.Type == kDispBitmap; });
  for (const TDispItem& d : lists.DispList)
    if (WrittenDisp(d)) b.DispList.push_back({d.Type, isRead, *DispItemData(d), {}});
}

}  // namespace

bool WaveIOHasLists(const WaveIOBlock& b) { return InfoChunkBytes(b.InfoList) > 0 || DispChunkBytes(b.DispList) > 0; }

int WaveIOFinishFile(const std::string& name, const WaveIOBlock* lists) {
  auto file = RiffFile::Open(name, RiffMode::ReadWriteOrRead);
  PWaveIOBlock b;
  if (!file) return wioErrFile;
  if (int rc = WaveIOOpenFile(b, std::move(file), name)) return rc;
  return WaveIOFinishFile(b.get(), lists);
}

int WaveIOFinishFile(WaveIOBlock* b, const WaveIOBlock* lists) {
  if (!b || !b->File) return wioErrParam;
  const bool sizesAgree = b->RiffCk.size != 0 && b->DataCk.size == b->DataSize;
  // A finished form without any of the lists had them cut off behind its samples; one that holds
  // lists is left as it is (they may be newer than those kept).
  const bool listsCut = lists && WaveIOHasLists(*lists) && !WaveIOHasLists(*b);
  if ((sizesAgree && !listsCut) || !b->File->Writable()) {
    const bool closed = b->File->Close();
    b->File.reset();
    return sizesAgree && !listsCut && closed ? wioOk : wioErrFile;
  }
  if (lists) TakeLists(*b, *lists);
  // Everything measured was written, only never counted.
  b->Dirty = true;
  return WaveIOFinish(b);
}

void WaveIOClose(PWaveIOBlock& block) {
  if (block && block->File) block->File->Close();
  block.reset();
}

int WaveIOCopyInfo(WaveIOBlock* dst, const WaveIOBlock* src) {
  if (!dst || !src) return wioErrParam;
  try {
    for (int i = 0; i < kInfoItemCount; ++i) {
      std::string text = InfoItemText(src->InfoList, i);
      if (!text.empty()) SetInfoItemText(dst->InfoList, i, &text, isSet);
    }
    for (const TDispItem& item : src->DispList) {
      const std::string* data = DispItemData(item);
      if (!data || data->empty()) continue;
      TDispItem copy;
      copy.Type = item.Type;
      copy.Data = *data;
      dst->DispList.push_back(std::move(copy));
    }
  } catch (const std::bad_alloc&) {
    return wioErrFormat;
  }
  return wioOk;
}

bool MakeTempWaveName(std::string& path) {
  std::string folder = path.empty() ? plat::TempPath() : plat::ExtractFilePath(plat::ExpandFileName(path));
  if (folder.empty()) folder = plat::TempPath();
  static std::mutex lock;
  static std::minstd_rand rng{std::random_device{}()};
  unsigned first;
  {
    std::lock_guard<std::mutex> g(lock);
    first = unsigned(rng() % 256) + 1;
  }
  // The name is made exclusively: an existing file of that name is someone else's.
  for (unsigned i = 0; i < 0xFFFF; ++i) {
    unsigned n = (first - 1 + i) % 0xFFFF + 1;
    char name[16];
    std::snprintf(name, sizeof name, "w%04X.tmp", n);
    std::string candidate = folder + name;
    if (plat::RiffFile::Open(candidate, RiffMode::CreateNew)) {
      path = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void SetWaveResourceFinder(TWaveResourceFinder finder) {
  std::lock_guard<std::mutex> lock(FinderLock());
  Finder() = std::move(finder);
}
