#pragma once
// One WAV sound (a file, or an image held in memory) with its format, length, play range, position
// and the segments it plays; and the chain component that reads it at the head of a playback
// chain or writes it at the tail of a recording chain.
//
// Sizes and positions go in and out in the wave's TimeFormat. A wave is used by the UI thread
// (positions, seeks, opening) and by a ring buffer's thread (reads and writes) at once, so every
// operation holds the wave's lock; change notices go out after the lock is released.
#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/MMADPCM.h"
#include "engine/MMCutLst.h"
#include "engine/MMDSPObj.h"
#include "engine/MMEnvelp.h"
#include "engine/MMObserv.h"
#include "engine/MMWaveIO.h"

MM_EXCEPTION(EMMWaveError)

// Called while a copy is saved; setting cancel aborts it.
using TMMWaveProgress = std::function<void(TObject* Sender, int64_t current, int64_t total, bool& cancel)>;

// Free bytes on the file system that holds path. False when that cannot be told; writing then
// goes on and a failing write ends it. Recording and saving ask before every block they write.
using TDiskFreeQuery = std::function<bool(const std::string& path, int64_t& freeBytes)>;
// An empty query restores the file system's own answer.
void SetDiskFreeQuery(TDiskFreeQuery query);
bool QueryDiskFree(const std::string& path, int64_t& freeBytes);
// Room a write needs beyond its own bytes: one I/O buffer and what finishing the file appends.
bool HasRoomToWrite(const std::string& path, int64_t ioBufferSize, int64_t bytes);

class TMMWave : public TMMObject {
public:
  static constexpr int32_t kDefaultIOBufferSize = 32768;
  static constexpr int32_t kMinIOBufferSize = 8192;

  TMMWave();
  ~TMMWave() override;
  TMMWave(const TMMWave&) = delete;
  TMMWave& operator=(const TMMWave&) = delete;

  // Takes another wave's file (or memory image, or bare format), TimeFormat, range, position,
  // IOBufferSize and cut list. Nothing frees this wave and forgets its cut list.
  void Assign(TPersistent* src) override;

  // ---- properties ----
  std::string FileName() const;
  // Opens that WAV file's header. An empty name frees the wave. Raises "Invalid wave file..."
  // with the reason for a file the reader refuses (only the reason when the user may not read
  // it) and "Error reading wave file" for a missing one (unless FileMustExist is false, when the
  // name alone is kept). For a memory wave, loads the file's bytes as its image.
  void SetFileName(const std::string& name);
  bool FileMustExist() const;
  void SetFileMustExist(bool on);  // ignored while a memory image is held
  TMMTimeFormats TimeFormat() const;
  void SetTimeFormat(TMMTimeFormats format);
  int32_t IOBufferSize() const;
  // At least 8192; applied at once to an open file ("Unable to setup file IO buffer").
  void SetIOBufferSize(int32_t size);
  // Physical length of the file in bytes (0 without a wave).
  int64_t FileSize() const;
  // The length of the wave in TimeFormat units (0 without a wave).
  int64_t DataSize() const;
  int32_t SampleRate() const;  // 11025 without a wave
  uint16_t BitLength() const;
  TMMMode Mode() const;
  uint16_t FormatTag() const;
  std::string FormatString() const;  // "Unknown" without a wave
  // A copy of the format; null without one.
  TWaveFormatPtr WaveFormat() const;
  // The format inside the open block; valid until the wave is freed or replaced.
  const WAVEFORMATEX* GetPWaveFormat() const;
  TMMWaveProgress OnProgress;

  // Samples of the wave, whatever the TimeFormat; 0 without a wave.
  int64_t TotalSamples() const;
  bool HasData() const { return TotalSamples() > 0; }
  bool IsMemoryWave() const;
  // The file is open for reading or writing.
  bool FileOpen() const;
  // Bytes of the play list still to read.
  int64_t BytesLeft() const;
  // Once the open file was positioned and until the next read: how many samples of what that
  // read gives come before the position (an ADPCM file reads from the start of the block that
  // holds it; 0 for other formats). -1 when nothing moved the file since the last read.
  int64_t LeadIn() const;

  // ---- positions (TimeFormat units) ----
  // -1 without a wave.
  int64_t GetPosition() const;
  // Limited to 0 .. the play list's length; moves the open file there ("Error seeking file
  // position" when it cannot).
  void SetPosition(int64_t value);
  int64_t GetStartPos() const;
  void SetStartPos(int64_t value);
  int64_t GetEndPos() const;  // -1 without a wave
  void SetEndPos(int64_t value);

  // ---- files ----
  // Replaces any file of that name with an empty wave of format, left open for writing.
  // "Unable to create wave file".
  void CreateWaveFile(const std::string& name, const WAVEFORMATEX* format);
  // Opens the wave's file for I/O at the wave's position. "Unable to open wave file" when it
  // cannot be opened, or when writing is asked of a file that cannot take it.
  void OpenWaveFile(bool writing);
  // Finishes the file (sizes, count and lists written back when data was written) and closes it.
  // False when the finish did not complete (a full disk, a file-size limit, a lost drive): the
  // file then ends with its samples, and its count and lists may be missing.
  bool CloseWaveFile();
  // Writes the play list into a new file of that name, through a temporary file in the same
  // folder that replaces the target only when complete. "Saving was aborted" after a cancel,
  // else "Unable to save wave file".
  void SaveAs(const std::string& name);
  // Bytes read from the play list, with the envelope applied; -1 when the wave is not open or
  // nothing is left; 0 when the file ended early.
  int64_t ReadData(void* buffer, int64_t count);
  // Bytes written at the file's position; -1 without a wave. The range grows with the file.
  int64_t WriteData(const void* buffer, int64_t count);
  // Hands what was written to the system (a process that dies keeps it), and with durable makes it
  // durable on the disk. False when that failed.
  bool FlushData(bool durable);
  void FreeWave();
  // Tells the observers (or marks the change pending while updates are locked).
  void Changed() override;

  // The parts to leave out (not owned; null for none).
  void SetCutList(TMMCutList* list);
  TMMCutList* CutList() const;
  // A copy of the segments played.
  TMMCutList PlayListCopy() const;

  // ---- memory images ----
  void LoadFromStream(std::istream& in);
  void SaveToStream(std::ostream& out);
  void LoadFromMemory(const void* data, size_t size);

  // ---- envelope ----
  // Applied while reading when it has more than one point and is enabled. Change it only while
  // no chain reads the wave.
  TMMEnvelope& Envelope() { return envelope_; }
  bool EnvelopeEnabled() const;
  void SetEnvelopeEnabled(bool on);
  void RewindEnvelopeState();

  void AddObserver(TMMObserver* o) { observable_.AddObserver(o); }
  void RemoveObserver(TMMObserver* o) { observable_.RemoveObserver(o); }

  // The open block (lists for the INFO editor); UI thread, while no chain runs.
  WaveIOBlock* IOBlock() const { return block_.get(); }

  // ---- conversions on the wave's format ----
  int64_t SamplesToBytes(int64_t samples) const;
  int64_t BytesToSamples(int64_t bytes) const;
  int64_t SamplesToTimeFormat(int64_t samples) const;
  int64_t TimeFormatToSamples(int64_t value) const;

  // Called when the file is opened, started or positioned, and on a reset.
  virtual void WaveNotify() {}
  virtual void WaveReset() {}

  std::string ClassName() const override { return "TMMWave"; }

protected:
  void SetUpdateState(bool updating) override;
  // Play samples to file samples and back; identity here.
  virtual int64_t PlayToFileSamples(int64_t s) const { return s; }
  virtual int64_t FileToPlaySamples(int64_t s) const { return s; }
  int64_t ReadRaw(void* buffer, int64_t count);
  virtual void ReadMemoryData(const void* data, size_t size);
  virtual void WriteMemoryData(std::ostream& out);

private:
  class Guard;
  void FireChanged();
  void ChangedLocked();
  void AttachBlock(PWaveIOBlock block);
  void DropBlock();
  void RebuildPlayList();
  void SeekLocked(int64_t samples);
  void SetPositionLocked(int64_t value);
  void ApplyIOBuffer();
  int64_t SegmentBytes(int64_t startSample, int64_t endSample) const;
  const WAVEFORMATEX* Format() const { return block_ ? block_->PFormat() : nullptr; }

  mutable std::recursive_mutex lock_;
  int lockDepth_ = 0;           // under lock_
  bool notifyPending_ = false;  // a change to announce once the lock is released
  bool changePending_ = false;  // a change while updates were locked

  std::vector<uint8_t> memory_;
  PWaveIOBlock block_;
  std::string fileName_;
  bool fileMustExist_ = true;
  int32_t ioBufferSize_ = kDefaultIOBufferSize;
  TMMTimeFormats timeFormat_ = tfSample;
  int64_t rangeStart_ = 0, rangeEnd_ = 0, position_ = 0;  // samples; position in the play list
  int64_t bytesLeft_ = 0, totalBytes_ = 0;
  int64_t leadIn_ = -1;
  TMMCutList* cutList_ = nullptr;
  TMMCutList playList_;
  int segIndex_ = 0;
  int64_t segBytesLeft_ = 0;
  TMMEnvelope envelope_;
  bool envelopeEnabled_ = true;
  TMMObservable observable_;
};

// The chain component of a wave: with an Input it writes what reaches it into the wave's file,
// without one it serves the wave's samples.
class TMMCustomWaveFile : public TMMDSPComponent {
public:
  explicit TMMCustomWaveFile(TComponent* owner = nullptr);
  ~TMMCustomWaveFile() override;

  TMMWave* Wave() const { return wave_.get(); }
  // Assigns the given wave's state into the owned one.
  void SetWave(TMMWave* wave);
  // When false, reading serves silence and writing writes nothing.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on) { enabled_ = on; }
  // When false and the wave holds data, a recording writes into the file from the wave's position.
  bool OverwriteExisting() const { return overwrite_; }
  void SetOverwriteExisting(bool on) { overwrite_ = on; }
  // Whether a recording of format writes into the wave's file where it lies rather than making
  // the file anew: when overwriting is off and the wave holds data, or a file of that format with
  // a title or picture but no samples yet (a cart made elsewhere to be recorded into), which then
  // keeps them as a file with samples does.
  bool RecordsInPlace(const WAVEFORMATEX* format) const;
  // Set when the component closed its file itself because the disk was full or a write failed;
  // OnClose reads it. Cleared by the next open.
  bool WriteFailed() const { return writeFailed_; }
  // Set with WriteFailed when the file could take no more because it reached the largest size a
  // WAV file can have, rather than because the disk refused a write.
  bool SizeLimitReached() const { return sizeLimitReached_; }
  // Set when the last close could not finish the file (see TMMWave::CloseWaveFile). Cleared by the
  // next open.
  bool FinishFailed() const { return finishFailed_; }
  // Set when reading ended early at a block the ADPCM decoder could not decode (a damaged file).
  // Cleared by the next open.
  bool SourceDamaged() const { return sourceDamaged_; }
  // When on, a reading component serves an ADPCM wave as the 16-bit PCM it decodes to (the
  // chain's format), from the sample the wave is positioned at, also inside a block. Set it while
  // the component is closed.
  bool DecodeADPCM() const { return decode_; }
  void SetDecodeADPCM(bool on);
  // How many bytes of the recording, from where it began in the file, the last sync made durable
  // on the disk (0 until one did). Cleared by the next open.
  int64_t DurableBytes() const { return durable_; }

  // On the UI thread. OnSynced: a sync made more of the recording durable (DurableBytes).
  TNotifyEvent OnOpen, OnClose, OnLooping, OnSynced;
  // Around each change of the wave: OnChange, the chain takes the wave's format, OnChanged.
  TNotifyEvent OnChange, OnChanged;

  void SetWaveFormat(const WAVEFORMATEX* format) override;
  void ChainOpen() override;
  void ChainClose() override;
  void ChainStart() override;
  void ChainStop() override;
  void ChainReset() override;
  void BufferReady(PWaveHdr lpWaveHdr) override;
  void BufferLoad(PWaveHdr lpWaveHdr, bool& MoreBuffers) override;
  void BufferSync() override;

  bool FileOpened() const { return fileOpened_; }
  bool FileStarted() const { return fileStarted_; }
  std::string ClassName() const override { return "TMMCustomWaveFile"; }

private:
  void WaveChanged();
  // The chain's format: the wave's, or the PCM it decodes to.
  void TakeWaveFormat();
  // Writes a pushed or pulled buffer through to the system; on a full disk or a failed write
  // closes the file.
  void WriteBuffer(PWaveHdr hdr);
  // After a write that failed: the file closes itself; true when this call closed it.
  bool FailWrite();
  void ReadBuffer(PWaveHdr hdr, bool& more);
  // What the chain reads: the wave's bytes, or what they decode to. As TMMWave::ReadData.
  int64_t ReadSamples(uint8_t* dst, int64_t count);
  bool SamplesLeft() const;
  // Closes the file; true when this call closed it (OnClose is then due).
  bool CloseFile();
  void Fire(const TNotifyEvent& event);

  std::recursive_mutex lock_;
  std::unique_ptr<TMMWave> wave_;
  int64_t startPos_ = 0;
  std::atomic<uint8_t> silence_{0};
  std::atomic<bool> enabled_{true};
  std::atomic<bool> fileOpened_{false};
  std::atomic<bool> fileStarted_{false};
  std::atomic<bool> overwrite_{true};
  std::atomic<bool> writeFailed_{false};
  std::atomic<bool> sizeLimitReached_{false};
  std::atomic<bool> sourceDamaged_{false};
  std::atomic<bool> finishFailed_{false};
  std::atomic<bool> decode_{false};
  std::atomic<int64_t> written_{0}, durable_{0};  // bytes of the recording written, made durable
  TMMADPCMBlockStream decoder_;  // open while an ADPCM wave is read decoded
  std::vector<uint8_t> source_;  // the blocks read for it
  TMMObserver observer_;
};

class TMMWaveFile : public TMMCustomWaveFile {
public:
  explicit TMMWaveFile(TComponent* owner = nullptr) : TMMCustomWaveFile(owner) {}
  std::string ClassName() const override { return "TMMWaveFile"; }
};
