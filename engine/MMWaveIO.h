#pragma once
// WAV files: reading the header of a file or memory image, creating, writing, positioning and
// finishing a file, through one block of state per open wave.
//
// Layout written here: "RIFF" size "WAVE", an 18-byte "fmt " chunk for PCM (18 + extra for other
// tags), "data" with the samples and a pad byte when odd, then "fact" (the sample count, for every
// tag), the "DISP" entries and the LIST "INFO" chunk. The sample length of a file read is the
// distance from the data to the next chunk header (or the end of the file) in whole blocks, so an
// unfinished recording (RIFF size 0) reads with all that reached the disk; in a finished form it
// never reaches past the form's end, nor past the data chunk's size when that is written.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/MMPCMSup.h"
#include "engine/MMRIFF.h"
#include "platform/audio/riff_io.h"

// Options of a block.
constexpr uint32_t wioFile = 1;        // a named file
constexpr uint32_t wioResource = 2;    // a "WAVE" resource of the program, read as a memory image
constexpr uint32_t wioMemory = 4;      // a memory image
constexpr uint32_t wioHeaderOnly = 8;  // name and lists only; no format required

// Results.
constexpr int wioOk = 0;
constexpr int wioErrFormat = 101;  // no usable format; INFO/DISP copy failed
constexpr int wioErrParam = 104;   // a required argument is missing
constexpr int wioErrFile = 106;    // cannot open, not RIFF "WAVE", or a read/write/seek/chunk step failed
constexpr int wioErrMemory = 107;

// No file written here grows past 4 GiB: the RIFF size field would overflow.
constexpr int64_t kMaxWaveFileBytes = int64_t(1) << 32;

struct WaveIOBlock {
  uint32_t Options = 0;
  std::unique_ptr<plat::RiffFile> File;  // null while the file is closed
  plat::RiffChunk RiffCk, DataCk;
  std::string Resource;  // the bytes of a resource (option 2)

  int64_t FileSize = 0;    // physical length in bytes
  int64_t DataSize = 0;    // sample bytes
  int64_t DataOffset = 0;  // file offset of the first sample byte
  int64_t TotalSamples = 0;
  int64_t RangeStart = 0, RangeEnd = 0;  // samples that reading serves
  int64_t BytesLeft = 0;                 // from the position to the range end
  int64_t Position = 0;                  // samples from the range start

  std::string Name;
  const void* Memory = nullptr;  // a memory image (option 4), owned by the caller
  size_t MemorySize = 0;

  TDispList DispList;
  TInfoList InfoList;
  TWaveFormatPtr Format;  // null when there is none (a header-only block)
  bool HasDataChunk = false;
  bool FormatBehindData = false;  // finishing would overwrite it: such a file is never written
  // Headers of "fact", "DISP" and LIST "INFO" chunks that lie before the data: finishing writes
  // their current state behind the data, so these become "JUNK". Each with the size a reader steps
  // over (a LIST always holds at least its type), so the chunks behind it stay where they were.
  struct StaleChunk {
    int64_t at;
    uint32_t size;
  };
  std::vector<StaleChunk> StaleChunks;
  bool Dirty = false;             // data written since the file was created or reopened
  bool Reopened = false;          // opened by WaveIOReopen rather than made by WaveIOCreate
  bool MarkedUnfinished = false;  // reopened and written past its samples: RIFF size 0 on disk

  const WAVEFORMATEX* PFormat() const { return Format.get(); }
};
using PWaveIOBlock = std::unique_ptr<WaveIOBlock>;

// Why the reader refused a file, as a sentence for the operator (empty for a file that is not
// there); notPermitted when the user may not read it, which is no fault of the file.
struct TWaveIOProblem {
  std::string text;
  bool notPermitted = false;
};

// Reads the header of a named file (options 1, with 8 for the header only) or of a resource
// (option 2). On success block holds the result with the file closed; on failure it stays empty
// and problem, when given, says why. Besides a missing or damaged format, a file is refused whose
// format chunk runs past its end, that has no data chunk, or whose ADPCM, float or extensible
// format could not be played as its header describes it.
int WaveIOOpen(PWaveIOBlock& block, const std::string& name, uint32_t formType, uint32_t options,
               TWaveIOProblem* problem = nullptr);
// The same through a file the caller opened as name, which the block keeps open, at the start of
// the samples, as WaveIOReopen leaves it: what is judged by the header and what is then written
// are one file, whatever comes to stand at the name meanwhile.
int WaveIOOpenFile(PWaveIOBlock& block, std::unique_ptr<plat::RiffFile> file, const std::string& name,
                   TWaveIOProblem* problem = nullptr);
// The same over bytes the caller keeps alive as long as the block.
int WaveIOOpenMemory(PWaveIOBlock& block, const void* data, size_t size, uint32_t options = 0);
bool IsWaveFile(const std::string& name, uint32_t options, TWaveIOProblem* problem = nullptr);
// The refusal of a file: invalid (the caller's own text) with the reason behind it, or for a file
// the user may not read only that.
std::string WaveRefusalMessage(const std::string& invalid, const TWaveIOProblem& problem);
// A new block with a copy of the format (and its extra bytes) and empty lists.
int WaveIOAlloc(PWaveIOBlock& block, const WAVEFORMATEX* format);
// Creates the file and writes the header up to the empty data chunk; the file stays open.
int WaveIOCreate(WaveIOBlock* block, const std::string& name);
// Opens the block's file again (read/write unless that is refused) at the block's position.
int WaveIOReopen(WaveIOBlock* block);
int WaveIOSetBuffer(WaveIOBlock* block, int64_t size);
// Hands what the I/O buffer holds to the system, and with durable makes the file's data durable on
// the disk. wioOk for a block without a writable file.
int WaveIOFlush(WaveIOBlock* block, bool durable);
// Moves to a sample of the range; the end of the range is a valid position. In an ADPCM format
// the file moves to the start of the block that holds the sample, and leadIn (when asked for) is
// how many samples of that block come before it; only a decoder can start inside a block. Other
// formats move to a whole block, the next one when the sample lies inside one (leadIn 0).
int WaveIOSeek(WaveIOBlock* block, int64_t sample, int64_t* leadIn = nullptr);
// Sample bytes read; 0 at the end of the range; -1 without an open file.
int64_t WaveIORead(WaveIOBlock* block, void* buffer, int64_t count);
// Bytes written at the current position: only whole blocks, and only as many as keep the file
// under 4 GiB (0 when none fit). -1 when refused or when the file did not take every byte.
int64_t WaveIOWrite(WaveIOBlock* block, const void* buffer, int64_t count);
// Writes the sizes, "fact", "DISP" and "INFO" back when data was written, cuts off whatever lay
// behind the RIFF form, makes it durable on the disk and closes the file. The block stays.
int WaveIOFinish(WaveIOBlock* block);
// Whether finishing the block writes any INFO text, DISP text or picture.
bool WaveIOHasLists(const WaveIOBlock& block);
// Finishes a file whose writer never did (a recording cut short): its sizes are written from what
// the reader measured and its "fact" is added. With lists (what a take killed before its finish
// had cut off behind the samples), its INFO texts and DISP texts and pictures become those of
// lists. A file whose sizes agree with that is left alone unless lists has some and it has none.
int WaveIOFinishFile(const std::string& name, const WaveIOBlock* lists = nullptr);
// The same for the file a block holds open (WaveIOOpenFile); it is closed.
int WaveIOFinishFile(WaveIOBlock* block, const WaveIOBlock* lists = nullptr);
// Closes the file if open and frees the block.
void WaveIOClose(PWaveIOBlock& block);
// Copies the INFO texts and the DISP entries with data of src into dst.
int WaveIOCopyInfo(WaveIOBlock* dst, const WaveIOBlock* src);

// path in: the target file (or empty for the temporary folder); out: a new empty file "wNNNN.tmp"
// made there, which the caller now owns. False when none could be made; path is then unchanged.
bool MakeTempWaveName(std::string& path);

// Where resources come from: fills bytes for a resource name and says whether it exists.
using TWaveResourceFinder = std::function<bool(const std::string& name, std::string& bytes)>;
void SetWaveResourceFinder(TWaveResourceFinder finder);
