#include "engine/MMWave.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>
#include <utility>

#include "engine/MMFade.h"
#include "platform/messages/app_hooks.h"
#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/system/threads.h"

namespace {

constexpr int kMsgReadError = 130;
constexpr int kMsgMemoryWave = 131;
constexpr int kMsgInvalidFile = 133;
constexpr int kMsgInvalidParam = 134;
constexpr int kMsgIOBuffer = 137;
constexpr int kMsgOpenError = 138;
constexpr int kMsgCreateError = 139;
constexpr int kMsgSaveError = 140;
constexpr int kMsgSaveAborted = 141;
constexpr int kMsgSeekError = 147;

// What finishing a file appends behind the data, beyond one I/O buffer.
constexpr int64_t kFinishReserve = 10240;

[[noreturn]] void Fail(int message) { throw EMMWaveError(LoadLibraryMessage(message)); }

std::mutex& DiskFreeLock() {
  static std::mutex m;
  return m;
}
TDiskFreeQuery& DiskFreeQuery() {
  static TDiskFreeQuery q;
  return q;
}

bool SameFormat(const WAVEFORMATEX* a, const WAVEFORMATEX* b) {
  if (!a || !b) return false;
  return a->wFormatTag == b->wFormatTag && a->nChannels == b->nChannels && a->nSamplesPerSec == b->nSamplesPerSec &&
         a->wBitsPerSample == b->wBitsPerSample && a->nBlockAlign == b->nBlockAlign;
}

}  // namespace

void SetDiskFreeQuery(TDiskFreeQuery query) {
  std::lock_guard<std::mutex> l(DiskFreeLock());
  DiskFreeQuery() = std::move(query);
}

bool QueryDiskFree(const std::string& path, int64_t& freeBytes) {
  TDiskFreeQuery q;
  {
    std::lock_guard<std::mutex> l(DiskFreeLock());
    q = DiskFreeQuery();
  }
  if (q) return q(path, freeBytes);
  int64_t total = 0;
  return plat::GetDiskFree(path, freeBytes, total);
}

bool HasRoomToWrite(const std::string& path, int64_t ioBufferSize, int64_t bytes) {
  int64_t freeBytes = 0;
  if (!QueryDiskFree(path, freeBytes)) return true;
  return freeBytes >= ioBufferSize + bytes + kFinishReserve;
}

// ---- TMMWave -------------------------------------------------------------------------------------

// Holds the wave's lock; the outermost guard announces a pending change after letting go, so an
// observer never runs under the lock (it may stop a chain whose thread waits for the wave).
class TMMWave::Guard {
public:
  explicit Guard(const TMMWave& w) : w_(const_cast<TMMWave&>(w)) {
    w_.lock_.lock();
    ++w_.lockDepth_;
  }
  ~Guard() {
    const bool fire = --w_.lockDepth_ == 0 && std::exchange(w_.notifyPending_, false);
    w_.lock_.unlock();
    if (!fire) return;
    try {
      w_.FireChanged();
    } catch (...) {
      plat::HandleException(std::current_exception());
    }
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

private:
  TMMWave& w_;
};

TMMWave::TMMWave() = default;

TMMWave::~TMMWave() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  DropBlock();
}

void TMMWave::FireChanged() {
  if (OnChange) OnChange(this);
  observable_.Notify(this);
}

void TMMWave::ChangedLocked() {
  if (UpdateCount() > 0) changePending_ = true;
  else notifyPending_ = true;
}

void TMMWave::Changed() {
  Guard g(*this);
  ChangedLocked();
}

void TMMWave::SetUpdateState(bool updating) {
  if (updating) {
    TMMObject::SetUpdateState(true);
    return;
  }
  if (std::exchange(changePending_, false)) Changed();
}

// ---- conversions ----

int64_t TMMWave::SamplesToBytes(int64_t samples) const {
  Guard g(*this);
  return SamplesToBytes64(Format(), samples);
}

int64_t TMMWave::BytesToSamples(int64_t bytes) const {
  Guard g(*this);
  return BytesToSamples64(Format(), bytes);
}

int64_t TMMWave::SamplesToTimeFormat(int64_t samples) const {
  Guard g(*this);
  switch (timeFormat_) {
    case tfMillisecond: return SamplesToMilliseconds64(Format(), samples);
    case tfByte: return SamplesToBytes64(Format(), samples);
    case tfSample: break;
  }
  return samples;
}

int64_t TMMWave::TimeFormatToSamples(int64_t value) const {
  Guard g(*this);
  switch (timeFormat_) {
    case tfMillisecond: return MillisecondsToSamples64(Format(), value);
    case tfByte: return BytesToSamples64(Format(), value);
    case tfSample: break;
  }
  return value;
}

// ---- properties ----

std::string TMMWave::FileName() const {
  Guard g(*this);
  return fileName_;
}

bool TMMWave::FileMustExist() const {
  Guard g(*this);
  return fileMustExist_;
}

void TMMWave::SetFileMustExist(bool on) {
  Guard g(*this);
  if (memory_.empty()) fileMustExist_ = on;
}

TMMTimeFormats TMMWave::TimeFormat() const {
  Guard g(*this);
  return timeFormat_;
}

void TMMWave::SetTimeFormat(TMMTimeFormats format) {
  Guard g(*this);
  if (format == timeFormat_) return;
  timeFormat_ = format;
  RebuildPlayList();
}

int32_t TMMWave::IOBufferSize() const {
  Guard g(*this);
  return ioBufferSize_;
}

void TMMWave::SetIOBufferSize(int32_t size) {
  Guard g(*this);
  size = std::max(size, kMinIOBufferSize);
  if (size == ioBufferSize_) return;
  ioBufferSize_ = size;
  ApplyIOBuffer();
}

void TMMWave::ApplyIOBuffer() {
  if (block_ && block_->File && WaveIOSetBuffer(block_.get(), ioBufferSize_) != wioOk) Fail(kMsgIOBuffer);
}

int64_t TMMWave::FileSize() const {
  Guard g(*this);
  if (!block_) return 0;
  return block_->File ? block_->File->Size() : block_->FileSize;
}

int64_t TMMWave::TotalSamples() const {
  Guard g(*this);
  return block_ ? block_->TotalSamples : 0;
}

int64_t TMMWave::DataSize() const {
  Guard g(*this);
  return block_ ? SamplesToTimeFormat(block_->TotalSamples) : 0;
}

int32_t TMMWave::SampleRate() const {
  Guard g(*this);
  return Format() ? int32_t(Format()->nSamplesPerSec) : 11025;
}

uint16_t TMMWave::BitLength() const {
  Guard g(*this);
  return Format() ? Format()->wBitsPerSample : 0;
}

TMMMode TMMWave::Mode() const {
  Guard g(*this);
  const int ch = Format() ? Format()->nChannels : 1;
  return ch == 2 ? mStereo : ch > 2 ? mMultiChannel : mMono;
}

uint16_t TMMWave::FormatTag() const {
  Guard g(*this);
  return Format() ? Format()->wFormatTag : 0;
}

std::string TMMWave::FormatString() const {
  Guard g(*this);
  return FormatTagName(Format());
}

TWaveFormatPtr TMMWave::WaveFormat() const {
  Guard g(*this);
  return CopyWaveFormat(Format());
}

const WAVEFORMATEX* TMMWave::GetPWaveFormat() const {
  Guard g(*this);
  return Format();
}

bool TMMWave::IsMemoryWave() const {
  Guard g(*this);
  return !memory_.empty();
}

bool TMMWave::FileOpen() const {
  Guard g(*this);
  return block_ && block_->File;
}

int64_t TMMWave::BytesLeft() const {
  Guard g(*this);
  return bytesLeft_;
}

int64_t TMMWave::LeadIn() const {
  Guard g(*this);
  return leadIn_;
}

bool TMMWave::EnvelopeEnabled() const {
  Guard g(*this);
  return envelopeEnabled_;
}

void TMMWave::SetEnvelopeEnabled(bool on) {
  Guard g(*this);
  envelopeEnabled_ = on;
}

void TMMWave::RewindEnvelopeState() {
  Guard g(*this);
  RewindEnvelope(envelope_);
}

// ---- blocks and names ----

void TMMWave::DropBlock() {
  if (block_ && block_->File) WaveIOFinish(block_.get());
  WaveIOClose(block_);
  rangeStart_ = rangeEnd_ = position_ = 0;
  bytesLeft_ = totalBytes_ = 0;
  leadIn_ = -1;
  segIndex_ = 0;
  segBytesLeft_ = 0;
  playList_.Clear();
}

void TMMWave::AttachBlock(PWaveIOBlock block) {
  DropBlock();
  block_ = std::move(block);
  rangeStart_ = block_->RangeStart;
  rangeEnd_ = block_->RangeEnd;
  position_ = block_->Position;
  bytesLeft_ = block_->BytesLeft;
  RebuildPlayList();
  ChangedLocked();
}

void TMMWave::SetFileName(const std::string& name) {
  Guard g(*this);
  if (!memory_.empty()) {
    if (name.empty()) {
      FreeWave();
      return;
    }
    std::string bytes;
    if (!plat::ReadWholeFile(name, bytes)) Fail(kMsgReadError);
    ReadMemoryData(bytes.data(), bytes.size());
    return;
  }
  if (name.empty()) {
    if (block_) {
      FreeWave();
    } else if (!fileName_.empty()) {
      fileName_.clear();
      ChangedLocked();
    }
    return;
  }
  if (name == fileName_ && block_ && plat::FileSize(name) == FileSize()) return;
  PWaveIOBlock b;
  TWaveIOProblem why;
  if (WaveIOOpen(b, name, plat::FourCC("WAVE"), wioFile, &why) == wioOk) {
    AttachBlock(std::move(b));
    fileName_ = name;
    return;
  }
  const bool exists = plat::FileExists(name);
  if (!exists && !fileMustExist_) {
    DropBlock();
    fileName_ = name;
    ChangedLocked();
    return;
  }
  if (!exists) Fail(kMsgReadError);
  throw EMMWaveError(WaveRefusalMessage(LoadLibraryMessage(kMsgInvalidFile), why));
}

void TMMWave::FreeWave() {
  Guard g(*this);
  DropBlock();
  fileName_.clear();
  memory_.clear();
  memory_.shrink_to_fit();
  ChangedLocked();
}

void TMMWave::CreateWaveFile(const std::string& name, const WAVEFORMATEX* format) {
  Guard g(*this);
  if (!memory_.empty()) Fail(kMsgMemoryWave);
  if (name.empty() || !format) Fail(kMsgCreateError);
  const std::string path = plat::ExpandFileName(name);
  // The old file is finished before a file of the same name can replace it.
  if (block_ && block_->File) WaveIOFinish(block_.get());
  if (plat::FileExists(path)) plat::DeleteFile(path);
  PWaveIOBlock b;
  if (WaveIOAlloc(b, format) != wioOk || WaveIOCreate(b.get(), path) != wioOk) {
    if (b) WaveIOFinish(b.get());
    WaveIOClose(b);
    Fail(kMsgCreateError);
  }
  AttachBlock(std::move(b));
  fileName_ = path;
  ApplyIOBuffer();
}

void TMMWave::OpenWaveFile(bool writing) {
  Guard g(*this);
  if (writing && !memory_.empty()) Fail(kMsgMemoryWave);
  if (!block_ || WaveIOReopen(block_.get()) != wioOk) Fail(kMsgOpenError);
  // A file that would refuse every write is refused here, before a recording starts into it.
  if (writing && (!block_->File->Writable() || !block_->HasDataChunk || block_->FormatBehindData)) {
    WaveIOFinish(block_.get());
    Fail(kMsgOpenError);
  }
  ApplyIOBuffer();
  RebuildPlayList();
  WaveNotify();
  // Positioned in samples: a round trip through milliseconds would move it.
  SetPositionLocked(position_);
}

bool TMMWave::CloseWaveFile() {
  Guard g(*this);
  bool finished = true;
  if (block_) {
    finished = WaveIOFinish(block_.get()) == wioOk;
    rangeEnd_ = std::min(std::max(rangeEnd_, rangeStart_), block_->TotalSamples);
    RebuildPlayList();
  }
  position_ = 0;
  bytesLeft_ = 0;
  leadIn_ = -1;
  segIndex_ = 0;
  segBytesLeft_ = 0;
  return finished;
}

// ---- play list and positions ----

int64_t TMMWave::SegmentBytes(int64_t startSample, int64_t endSample) const {
  auto at = [this](int64_t s) {
    if (s >= block_->TotalSamples) return block_->DataSize;
    return std::min(SamplesToBytes64(Format(), s), block_->DataSize);
  };
  return std::max<int64_t>(0, at(endSample) - at(startSample));
}

void TMMWave::RebuildPlayList() {
  playList_.Clear();
  totalBytes_ = 0;
  if (!block_ || !Format()) return;
  const int64_t s = std::clamp<int64_t>(rangeStart_, 0, block_->TotalSamples);
  const int64_t e = std::clamp<int64_t>(rangeEnd_, s, block_->TotalSamples);
  auto add = [this](int64_t from, int64_t to) {
    TMMCutRecord r;
    r.Start = from;
    r.Length = to - from;
    r.StartBytes = SegmentBytes(0, from);
    r.LengthBytes = SegmentBytes(from, to);
    playList_.Add(r);
  };
  int64_t cur = s;
  if (cutList_) {
    for (int i = 0; i < cutList_->Count() && cur < e; ++i) {
      const TMMCutRecord& c = cutList_->Items(i);
      const int64_t cutEnd = c.Start + std::max<int64_t>(c.Length, 0);
      if (cutEnd <= cur) continue;
      if (c.Start >= e) break;
      if (c.Start > cur) add(cur, c.Start);
      cur = cutEnd;
    }
  }
  if (cur < e) add(cur, e);
  if (playList_.Count() == 0) add(s, s);
  totalBytes_ = playList_.TotalBytes();
}

int64_t TMMWave::GetPosition() const {
  Guard g(*this);
  return block_ ? SamplesToTimeFormat(position_) : -1;
}

void TMMWave::SetPosition(int64_t value) {
  Guard g(*this);
  SetPositionLocked(TimeFormatToSamples(value));
}

void TMMWave::SetPositionLocked(int64_t samples) {
  samples = std::max<int64_t>(samples, 0);
  if (!block_) {
    position_ = samples;
    return;
  }
  samples = std::min(samples, playList_.TotalLength());
  position_ = samples;
  totalBytes_ = playList_.TotalBytes();
  int64_t cum = 0, cumBytes = 0;
  int found = -1;
  for (int i = 0; i < playList_.Count(); ++i) {
    const TMMCutRecord& seg = playList_.Items(i);
    if (cum + seg.Length >= samples) {
      found = i;
      break;
    }
    cum += seg.Length;
    cumBytes += seg.LengthBytes;
  }
  if (found < 0) Fail(kMsgSeekError);
  const TMMCutRecord& seg = playList_.Items(found);
  const int64_t fileSample = seg.Start + (samples - cum);
  // An ADPCM file is read from the start of the block that holds the sample.
  const int64_t perBlock = ADPCMSamplesPerBlock(Format());
  const int64_t offBytes = perBlock > 0 ? std::clamp(fileSample / perBlock * Format()->nBlockAlign - seg.StartBytes,
                                                     int64_t(0), seg.LengthBytes)
                                        : std::min(SegmentBytes(seg.Start, fileSample), seg.LengthBytes);
  segIndex_ = found;
  segBytesLeft_ = seg.LengthBytes - offBytes;
  bytesLeft_ = std::max<int64_t>(0, totalBytes_ - cumBytes - offBytes);
  if (!block_->File) return;
  const int64_t target = PlayToFileSamples(fileSample);
  if (WaveIOSeek(block_.get(), target, &leadIn_) != wioOk && WaveIOSeek(block_.get(), target, &leadIn_) != wioOk)
    Fail(kMsgSeekError);
  WaveNotify();
}

int64_t TMMWave::GetStartPos() const {
  Guard g(*this);
  return SamplesToTimeFormat(rangeStart_);
}

void TMMWave::SetStartPos(int64_t value) {
  Guard g(*this);
  rangeStart_ = std::clamp<int64_t>(TimeFormatToSamples(value), 0, std::max<int64_t>(rangeEnd_, 0));
  RebuildPlayList();
  if (block_ && block_->File) SetPositionLocked(position_);
}

int64_t TMMWave::GetEndPos() const {
  Guard g(*this);
  return block_ ? SamplesToTimeFormat(rangeEnd_) : -1;
}

void TMMWave::SetEndPos(int64_t value) {
  Guard g(*this);
  const int64_t total = block_ ? block_->TotalSamples : 0;
  rangeEnd_ = std::clamp<int64_t>(TimeFormatToSamples(value), std::min(rangeStart_, total), total);
  RebuildPlayList();
  if (block_ && block_->File) SetPositionLocked(position_);
}

void TMMWave::SetCutList(TMMCutList* list) {
  Guard g(*this);
  cutList_ = list;
  RebuildPlayList();
  if (block_ && block_->File) SetPositionLocked(position_);
}

TMMCutList* TMMWave::CutList() const {
  Guard g(*this);
  return cutList_;
}

TMMCutList TMMWave::PlayListCopy() const {
  Guard g(*this);
  TMMCutList copy;
  copy.Assign(const_cast<TMMCutList*>(&playList_));
  return copy;
}

// ---- data ----

int64_t TMMWave::ReadRaw(void* buffer, int64_t count) {
  Guard g(*this);
  return block_ ? WaveIORead(block_.get(), buffer, count) : -1;
}

int64_t TMMWave::ReadData(void* buffer, int64_t count) {
  Guard g(*this);
  if (!block_ || !block_->File || !buffer || bytesLeft_ <= 0) return -1;
  count = std::min(count, bytesLeft_);
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (segBytesLeft_ <= 0) {
      if (segIndex_ + 1 >= playList_.Count()) break;
      ++segIndex_;
      const TMMCutRecord& seg = playList_.Items(segIndex_);
      if (WaveIOSeek(block_.get(), PlayToFileSamples(seg.Start)) != wioOk) break;
      segBytesLeft_ = seg.LengthBytes;
      continue;
    }
    const int64_t n = WaveIORead(block_.get(), p + done, std::min(count - done, segBytesLeft_));
    if (n <= 0) break;
    done += n;
    segBytesLeft_ -= n;
  }
  if (done == 0) {
    // The file ended before the play list did: nothing more comes from it.
    bytesLeft_ = 0;
    segBytesLeft_ = 0;
    position_ = playList_.TotalLength();
    return 0;
  }
  if (envelopeEnabled_ && envelope_.Count() > 1 && Format()->wFormatTag == WAVE_FORMAT_PCM)
    ApplyEnvelope(Format(), p, done, envelope_);
  leadIn_ = -1;
  bytesLeft_ -= done;
  position_ = BytesToSamples64(Format(), totalBytes_ - bytesLeft_);
  return done;
}

int64_t TMMWave::WriteData(const void* buffer, int64_t count) {
  Guard g(*this);
  if (!memory_.empty()) Fail(kMsgMemoryWave);
  if (!block_) return -1;
  const int64_t n = WaveIOWrite(block_.get(), buffer, count);
  if (n > 0) {
    rangeEnd_ = block_->RangeEnd;
    RebuildPlayList();
    position_ = std::max<int64_t>(0, FileToPlaySamples(block_->Position) - rangeStart_);
  }
  return n;
}

bool TMMWave::FlushData(bool durable) {
  Guard g(*this);
  return !block_ || WaveIOFlush(block_.get(), durable) == wioOk;
}

// ---- saving a copy ----

void TMMWave::SaveAs(const std::string& name) {
  Guard g(*this);
  if (!block_ || name.empty()) Fail(kMsgInvalidParam);
  OpenWaveFile(false);
  SetPositionLocked(0);
  const int64_t total = totalBytes_;
  const std::string target = plat::ExpandFileName(name);

  PWaveIOBlock out;
  std::string temp = target;
  bool made = false, cancelled = false, renamed = false;
  if (WaveIOAlloc(out, Format()) == wioOk && WaveIOCopyInfo(out.get(), block_.get()) == wioOk &&
      MakeTempWaveName(temp)) {
    made = WaveIOCreate(out.get(), temp) == wioOk;
  }
  int64_t done = 0;
  bool failed = !made;
  if (made) {
    const WAVEFORMATEX* f = Format();
    const int64_t chunk = std::max<int64_t>(f->nAvgBytesPerSec - f->nAvgBytesPerSec % f->nBlockAlign, f->nBlockAlign);
    std::vector<uint8_t> buf(static_cast<size_t>(chunk));
    while (done < total) {
      const int64_t n = ReadData(buf.data(), std::min(chunk, total - done));
      if (n <= 0) break;
      if (!HasRoomToWrite(temp, ioBufferSize_, n) || WaveIOWrite(out.get(), buf.data(), n) != n) {
        failed = true;
        break;
      }
      done += n;
      if (plat::IsUiThread()) plat::ProcessMessages();
      if (OnProgress) OnProgress(this, done, total, cancelled);
      if (cancelled) break;
    }
  }
  CloseWaveFile();
  const bool finished = made && WaveIOFinish(out.get()) == wioOk;
  WaveIOClose(out);
  // The finished copy replaces the target in one step, so a failure never costs the old file.
  if (finished && !failed && !cancelled && done == total) renamed = plat::RiffRename(temp, target);
  if (temp != target && !renamed && plat::FileExists(temp)) plat::RiffRemove(temp);
  if (!renamed) Fail(cancelled ? kMsgSaveAborted : kMsgSaveError);
}

// ---- memory images ----

void TMMWave::LoadFromMemory(const void* data, size_t size) {
  Guard g(*this);
  ReadMemoryData(data, size);
}

void TMMWave::ReadMemoryData(const void* data, size_t size) {
  Guard g(*this);
  std::vector<uint8_t> image(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  PWaveIOBlock b;
  if (image.empty() || WaveIOOpenMemory(b, image.data(), image.size()) != wioOk) Fail(kMsgReadError);
  // The old block may read from the old image: drop it before the image changes.
  DropBlock();
  memory_.swap(image);  // the bytes stay where the new block points
  fileName_.clear();
  AttachBlock(std::move(b));
}

void TMMWave::WriteMemoryData(std::ostream& out) {
  Guard g(*this);
  out.write(reinterpret_cast<const char*>(memory_.data()), std::streamsize(memory_.size()));
  if (!out) throw plat::EWriteError();
}

void TMMWave::LoadFromStream(std::istream& in) {
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  Guard g(*this);
  ReadMemoryData(bytes.data(), bytes.size());
}

void TMMWave::SaveToStream(std::ostream& out) { WriteMemoryData(out); }

// ---- assignment ----

void TMMWave::Assign(TPersistent* src) {
  if (!src) {
    Guard g(*this);
    FreeWave();
    cutList_ = nullptr;
    RebuildPlayList();
    return;
  }
  auto* other = dynamic_cast<TMMWave*>(src);
  if (!other) {
    TMMObject::Assign(src);
    return;
  }
  if (other == this) return;

  struct Snapshot {
    bool mustExist;
    std::string name;
    std::vector<uint8_t> memory;
    TWaveFormatPtr format;
    TMMTimeFormats timeFormat;
    int64_t start, end, position;
    int32_t ioBuffer;
    TMMCutList* cuts;
  } s;
  {
    Guard og(*other);
    s = Snapshot{other->fileMustExist_, other->fileName_,   other->memory_,   CopyWaveFormat(other->Format()),
                 other->timeFormat_,    other->rangeStart_, other->rangeEnd_, other->position_,
                 other->ioBufferSize_,  other->cutList_};
  }

  Guard g(*this);
  BeginUpdate();
  try {
    DropBlock();
    fileName_.clear();
    memory_.clear();
    ChangedLocked();
    fileMustExist_ = s.mustExist;
    if (!s.name.empty()) {
      SetFileName(s.name);
    } else if (!s.memory.empty()) {
      ReadMemoryData(s.memory.data(), s.memory.size());
    } else if (s.format) {
      PWaveIOBlock b;
      if (WaveIOAlloc(b, s.format.get()) == wioOk) AttachBlock(std::move(b));
    }
    timeFormat_ = s.timeFormat;
    ioBufferSize_ = s.ioBuffer;
    cutList_ = s.cuts;
    const int64_t total = block_ ? block_->TotalSamples : 0;
    rangeEnd_ = std::clamp<int64_t>(s.end, 0, total);
    rangeStart_ = std::clamp<int64_t>(s.start, 0, rangeEnd_);
    RebuildPlayList();
    SetPositionLocked(s.position);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// ---- TMMCustomWaveFile ---------------------------------------------------------------------------

TMMCustomWaveFile::TMMCustomWaveFile(TComponent* owner) : TMMDSPComponent(owner), wave_(std::make_unique<TMMWave>()) {
  observer_.OnNotify = [this](TObject*, void*) { WaveChanged(); };
  wave_->AddObserver(&observer_);
}

TMMCustomWaveFile::~TMMCustomWaveFile() {
  Destroying();
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    try {
      CloseFile();
    } catch (...) {
      plat::HandleException(std::current_exception());
    }
  }
  wave_->RemoveObserver(&observer_);
}

void TMMCustomWaveFile::SetWave(TMMWave* wave) { wave_->Assign(wave); }

void TMMCustomWaveFile::WaveChanged() {
  if (OnChange) OnChange(this);
  TakeWaveFormat();
  if (OnChanged) OnChanged(this);
}

void TMMCustomWaveFile::TakeWaveFormat() {
  if (!wave_->FileMustExist() && !wave_->GetPWaveFormat()) return;
  TWaveFormatPtr f = wave_->WaveFormat();
  WAVEFORMATEX pcm;
  if (decode_ && !Input() && TMMADPCMBlockStream::DecodedFormat(f.get(), pcm)) SetWaveFormat(&pcm);
  else SetWaveFormat(f.get());
}

void TMMCustomWaveFile::SetDecodeADPCM(bool on) {
  if (decode_.exchange(on) != on) TakeWaveFormat();
}

void TMMCustomWaveFile::SetWaveFormat(const WAVEFORMATEX* format) {
  std::lock_guard<std::recursive_mutex> l(lock_);
  TMMDSPComponent::SetWaveFormat(format);
  const WAVEFORMATEX* f = GetWaveFormat();
  silence_ = (f && f->wFormatTag == WAVE_FORMAT_PCM && f->wBitsPerSample == 8) ? 128 : 0;
}

void TMMCustomWaveFile::ChainOpen() {
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    TMMDSPComponent::ChainOpen();
    if (fileOpened_) return;
    writeFailed_ = false;
    sizeLimitReached_ = false;
    finishFailed_ = false;
    sourceDamaged_ = false;
    written_ = durable_ = 0;
    if (TMMDSPComponent* in = Input()) {
      SetWaveFormat(in->GetWaveFormat());
      const WAVEFORMATEX* f = GetWaveFormat();
      const std::string name = wave_->FileName();
      if (!f || name.empty()) return;
      if (RecordsInPlace(f)) {
        // Samples of another format would be written over the file's own.
        if (!SameFormat(wave_->GetPWaveFormat(), f)) throw EMMWaveError(LoadLibraryMessage(kMsgOpenError));
        wave_->OpenWaveFile(true);
      } else {
        wave_->CreateWaveFile(name, f);
      }
    } else {
      if (!wave_->HasData()) return;
      wave_->OpenWaveFile(false);
      if (decode_) decoder_.Open(wave_->GetPWaveFormat());
      startPos_ = wave_->GetPosition();
    }
    fileOpened_ = true;
  }
  SynchronizeChainThread(this, OnOpen);
}

bool TMMCustomWaveFile::RecordsInPlace(const WAVEFORMATEX* format) const {
  if (overwrite_) return false;
  if (wave_->HasData()) return true;
  // A blank cart is made anew, and so is an empty file of another format or one whose format chunk
  // its first samples would overwrite.
  const WaveIOBlock* b = wave_->IOBlock();
  return b && (b->Options & wioFile) && b->HasDataChunk && !b->FormatBehindData && WaveIOHasLists(*b) &&
         SameFormat(b->PFormat(), format);
}

bool TMMCustomWaveFile::CloseFile() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (!fileOpened_) return false;
  ChainStop();
  if (Input() && wave_->TotalSamples() == 0) {
    // The data chunk is never left empty: one frame or more of the format's silence.
    if (const WAVEFORMATEX* f = wave_->GetPWaveFormat()) {
      const int64_t align = std::max<int64_t>(f->nBlockAlign, 1);
      std::vector<uint8_t> quiet(size_t((4 + align - 1) / align * align), silence_);
      wave_->WriteData(quiet.data(), int64_t(quiet.size()));
    }
  }
  finishFailed_ = !wave_->CloseWaveFile();
  decoder_.Close();
  fileOpened_ = false;
  return true;
}

void TMMCustomWaveFile::ChainClose() {
  bool closed;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    closed = CloseFile();
    TMMDSPComponent::ChainClose();
  }
  if (closed) SynchronizeChainThread(this, OnClose);
}

void TMMCustomWaveFile::ChainStart() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  TMMDSPComponent::ChainStart();
  if (!fileOpened_ || fileStarted_) return;
  fileStarted_ = true;
  if (!Input()) wave_->SetPosition(startPos_);
  wave_->WaveNotify();
}

void TMMCustomWaveFile::ChainStop() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  if (fileOpened_ && fileStarted_) {
    fileStarted_ = false;
    wave_->RewindEnvelopeState();
  }
  TMMDSPComponent::ChainStop();
}

void TMMCustomWaveFile::ChainReset() {
  std::lock_guard<std::recursive_mutex> l(lock_);
  TMMDSPComponent::ChainReset();
  if (fileOpened_ && fileStarted_) wave_->WaveReset();
}

void TMMCustomWaveFile::WriteBuffer(PWaveHdr hdr) {
  bool closed = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!fileStarted_ || !enabled_ || !Input() || !hdr || !hdr->lpData || hdr->dwBytesRecorded == 0) return;
    const std::string name = wave_->FileName();
    if (name.empty()) return;
    const int64_t n = hdr->dwBytesRecorded;
    // A write that does not take the whole buffer ends the recording: writing on would shift
    // every later sample. What was written goes to the system at once: the I/O buffer would hold
    // seconds of a slow format, and a process that dies loses what is still in it.
    const int64_t written = HasRoomToWrite(name, wave_->IOBufferSize(), n) ? wave_->WriteData(hdr->lpData, n) : -1;
    if (written > 0) written_ += written;
    if (written == n && wave_->FlushData(false)) return;
    // Fewer bytes without an error: the file is as large as a WAV file can be.
    sizeLimitReached_ = written >= 0 && written < n;
    closed = FailWrite();
  }
  if (closed) SynchronizeChainThread(this, OnClose);
}

bool TMMCustomWaveFile::FailWrite() {
  writeFailed_ = true;
  const bool closed = CloseFile();
  TMMDSPComponent::ChainClose();
  return closed;
}

void TMMCustomWaveFile::BufferSync() {
  bool closed = false, synced = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (fileOpened_ && Input()) {
      const int64_t written = written_;
      if (!wave_->FlushData(true)) closed = FailWrite();
      else if (written != durable_.exchange(written)) synced = true;
    }
  }
  if (closed) SynchronizeChainThread(this, OnClose);
  if (synced) SynchronizeChainThread(this, OnSynced);
  TMMDSPComponent::BufferSync();
}

void TMMCustomWaveFile::BufferReady(PWaveHdr lpWaveHdr) {
  WriteBuffer(lpWaveHdr);
  TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMCustomWaveFile::ReadBuffer(PWaveHdr hdr, bool& more) {
  bool looped = false;
  {
    std::lock_guard<std::recursive_mutex> l(lock_);
    if (!wave_->HasData()) {
      hdr->dwBytesRecorded = 0;
      return;
    }
    if (!fileStarted_ || !enabled_) {
      std::memset(hdr->lpData, silence_, hdr->dwBufferLength);
      hdr->dwBytesRecorded = hdr->dwBufferLength;
      more = true;
      return;
    }
    const int64_t n = ReadSamples(reinterpret_cast<uint8_t*>(hdr->lpData), hdr->dwBufferLength);
    hdr->dwBytesRecorded = uint32_t(std::max<int64_t>(n, 0));
    if (n > 0 && SamplesLeft()) {
      more = true;
    } else if (!SamplesLeft() && hdr->LoopFlag != 0) {
      if (hdr->LoopCount != 0) --hdr->LoopsLeft;
      if (hdr->LoopCount == 0 || hdr->LoopsLeft >= 0) {
        wave_->SetPosition(0);
        wave_->WaveReset();
        more = true;
        hdr->LoopMark = -1;
        looped = true;
      }
    }
  }
  if (looped) SynchronizeChainThread(this, OnLooping);
}

int64_t TMMCustomWaveFile::ReadSamples(uint8_t* dst, int64_t count) {
  if (!decoder_.IsOpen()) return wave_->ReadData(dst, count);
  // The wave was moved: the stream starts afresh, inside the block read first.
  if (const int64_t lead = wave_->LeadIn(); lead >= 0) decoder_.Restart(lead);
  int64_t done = 0, n = -1;
  while (done < count) {
    if (decoder_.Held() == 0) {
      source_.resize(size_t(decoder_.ReadSize()));
      if (decoder_.Ended() || (n = wave_->ReadData(source_.data(), int64_t(source_.size()))) <= 0) break;
      if (!decoder_.Feed(source_.data(), int32_t(n)) && decoder_.Ended()) sourceDamaged_ = true;
      continue;
    }
    done += decoder_.Take(dst + done, int32_t(std::min<int64_t>(count - done, INT32_MAX)));
  }
  return done > 0 ? done : n;
}

bool TMMCustomWaveFile::SamplesLeft() const {
  if (!decoder_.IsOpen()) return wave_->BytesLeft() > 0;
  return decoder_.Held() > 0 || (!decoder_.Ended() && wave_->BytesLeft() > 0);
}

void TMMCustomWaveFile::BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) {
  if (!lpWaveHdr) return;
  if (Input()) {
    TMMDSPComponent::BufferLoad(lpWaveHdr, MoreBuffers);
    WriteBuffer(lpWaveHdr);
    return;
  }
  if (OnBufferLoad) OnBufferLoad(this, lpWaveHdr, MoreBuffers);
  ReadBuffer(lpWaveHdr, MoreBuffers);
  if (OnBufferFilled && lpWaveHdr->dwBytesRecorded > 0) OnBufferFilled(this, lpWaveHdr);
}
