#pragma once
// The audio codec manager: names of format tags and formats, format suggestions, and conversion
// streams between formats. Programs reach it as a library loaded at run time, so they also work
// where it is missing; the library here is built in, with its own codecs: PCM to PCM (8 and 16
// bits, mono and stereo, at the same rate) and the decoders of Microsoft ADPCM and IMA ADPCM to
// 16-bit PCM. Conversions run at once, on the caller's thread.
//
// A format is a WAVEFORMATEX with, for tags other than PCM, cbSize extra bytes right behind it
// (at f + 1), as the engine holds formats.
#include <cstdint>
#include <string>

#include "platform/audio/wave_device.h"
#include "platform/audio/wave_types.h"

namespace plat {

// ---- the library --------------------------------------------------------------------------------
// A handle of 32 or above stands for the loaded library; 0 means it is missing.
using HCODECLIB = uintptr_t;
using CodecProc = void (*)();
// The name under which programs load the codec manager.
inline constexpr const char* kCodecManagerLibrary = "MSACM32.DLL";

HCODECLIB LoadCodecLibrary(const std::string& name);  // the name compares without case
void FreeCodecLibrary(HCODECLIB lib);
// One of the library's functions by its exported name ("acmGetVersion", "acmStreamOpen", ...),
// or nullptr for a name the library does not export. Cast back to the function's own type.
CodecProc GetCodecProcAddress(HCODECLIB lib, const char* name);

// For tests: a machine without the library, or one whose library reports another version.
void SetCodecLibraryPresent(bool present);
void SetCodecLibraryVersion(uint32_t version);
// The version the library reports unless told otherwise: 4.00 in the high word.
constexpr uint32_t kCodecManagerVersion = 0x04000000;

// ---- results, flags and records -------------------------------------------------------------------
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;
constexpr MMRESULT ACMERR_CANCELED = 515;

using HACMDRIVER = uint64_t;
using HACMSTREAM = uint64_t;  // never reused while the process lives; 0 is none

constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
constexpr uint32_t ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;

constexpr uint32_t ACM_FORMATTAGDETAILSF_INDEX = 0x0;
constexpr uint32_t ACM_FORMATTAGDETAILSF_FORMATTAG = 0x1;
constexpr uint32_t ACM_FORMATTAGDETAILSF_LARGESTSIZE = 0x2;
constexpr uint32_t kAcmFormatTagDetailsBytes = 72;

struct ACMFORMATTAGDETAILS {
  uint32_t cbStruct = kAcmFormatTagDetailsBytes;
  uint32_t dwFormatTagIndex = 0;
  uint32_t dwFormatTag = 0;
  uint32_t cbFormatSize = 0;  // bytes of the largest format of the tag, as files count them
  uint32_t fdwSupport = 0;
  uint32_t cStandardFormats = 0;
  char szFormatTag[48] = {};
};

constexpr uint32_t ACM_FORMATDETAILSF_INDEX = 0x0;
constexpr uint32_t ACM_FORMATDETAILSF_FORMAT = 0x1;
constexpr uint32_t kAcmFormatDetailsBytes = 152;

struct ACMFORMATDETAILS {
  uint32_t cbStruct = kAcmFormatDetailsBytes;
  uint32_t dwFormatIndex = 0;
  uint32_t dwFormatTag = 0;
  uint32_t fdwSupport = 0;
  const WAVEFORMATEX* pwfx = nullptr;
  uint32_t cbwfx = 0;  // the format's size as files count it (18 + extra bytes)
  char szFormat[128] = {};
};

// Which fields of the destination a suggestion must keep.
constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr uint32_t ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr uint32_t ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;

constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;  // only ask whether it would open
constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x0;       // destination bytes for source bytes
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x1;  // source bytes that fill destination bytes

constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;  // whole source blocks only
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;  // the last bytes: a part block decodes too

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;
constexpr uint32_t kAcmStreamHeaderBytes = 84;

// One conversion: the caller's source and destination buffers. Between prepare and unprepare the
// buffers stay where they are and the lengths never grow past the prepared ones.
struct ACMSTREAMHEADER {
  uint32_t cbStruct = kAcmStreamHeaderBytes;
  uint32_t fdwStatus = 0;
  uintptr_t dwUser = 0;
  uint8_t* pbSrc = nullptr;
  uint32_t cbSrcLength = 0;
  uint32_t cbSrcLengthUsed = 0;
  uintptr_t dwSrcUser = 0;
  uint8_t* pbDst = nullptr;
  uint32_t cbDstLength = 0;
  uint32_t cbDstLengthUsed = 0;
  uintptr_t dwDstUser = 0;
  uint32_t dwReservedDriver[10] = {};
};

// ---- the functions -------------------------------------------------------------------------------
uint32_t AcmGetVersion();
MMRESULT AcmFormatTagDetails(HACMDRIVER had, ACMFORMATTAGDETAILS* details, uint32_t flags);
MMRESULT AcmFormatDetails(HACMDRIVER had, ACMFORMATDETAILS* details, uint32_t flags);
// Fills dst (room for cbDst bytes as files count them, at least 18) with a format that src can be
// turned into directly, keeping the fields of dst that flags name.
MMRESULT AcmFormatSuggest(HACMDRIVER had, const WAVEFORMATEX* src, WAVEFORMATEX* dst, uint32_t cbDst, uint32_t flags);
// Opens a stream from src to dst, or with ACM_STREAMOPENF_QUERY only says whether it would open
// (stream may then be null). ACMERR_NOTPOSSIBLE when no codec turns src into dst directly.
MMRESULT AcmStreamOpen(HACMSTREAM* stream, HACMDRIVER had, const WAVEFORMATEX* src, const WAVEFORMATEX* dst,
                       uint32_t flags);
MMRESULT AcmStreamClose(HACMSTREAM stream, uint32_t flags);  // ACMERR_BUSY while a header is prepared
MMRESULT AcmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags);
MMRESULT AcmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags);
MMRESULT AcmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags);
MMRESULT AcmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* hdr, uint32_t flags);

}  // namespace plat
