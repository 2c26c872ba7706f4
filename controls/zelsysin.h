#pragma once
// Questions about the system for the information label and the caption stylers, answered from
// what Linux offers: uname, /proc, /sys, statvfs. Routines that need the screen live in the GUI
// part (ColorDepth, the metrics, CaptionRect, InfoText).
#include <cstdint>
#include <string>

#include "platform/ui/types.h"

struct TZelMemoryStatus {
  uint32_t Load = 0;  // per cent of physical memory in use
  uint64_t TotalPhys = 0, AvailPhys = 0;
  uint64_t TotalPageFile = 0, AvailPageFile = 0;  // swap
  uint64_t TotalVirtual = 0, AvailVirtual = 0;    // the commit limit and what is left of it
};
// Parses the text of /proc/meminfo; false when it has no MemTotal.
bool ParseMemInfo(const std::string& text, TZelMemoryStatus& status);
TZelMemoryStatus ZelMemoryStatus();

struct TZelVersionInfo {
  int Major = 0, Minor = 0, Build = 0;
  std::string Text;  // "%d.%d"
};
// "6.1.0-18-amd64" gives 6, 1, 0 and "6.1".
TZelVersionInfo ParseKernelRelease(const std::string& release);
TZelVersionInfo ZelVersion();
std::string PlatformName();  // the kernel's name, "(Unknown)" when uname fails
int PlatformId();            // 2: the kit takes its newer-system paths

int ProcessorCount();
// The processor's model from the text of /proc/cpuinfo; empty when it names none.
std::string ParseProcessorName(const std::string& cpuinfo);
std::string ProcessorName();  // falls back to the machine name of uname
// The clock in MHz from the kernel's frequency files (or /proc/cpuinfo); 0 when unknown.
int GetCpuSpeedMHz();

enum TZelDriveType { dtUnknown, dtNoRootDir, dtRemovable, dtFixed, dtRemote, dtCDRom, dtRamDisk };
struct TZelDiskInfo {
  TZelDriveType DriveType = dtUnknown;
  int64_t Free = 0, Size = 0;
};
// The file system that holds path: its kind, and for a real one its free and total bytes.
TZelDiskInfo DiskInfo(const std::string& path);

std::string TempPath();  // with a trailing "/"
std::string ComputerName();
std::string CurrentDirectory();
std::string RegisteredOwner();         // the user's full name from the password database
std::string RegisteredOrganization();  // "(Unknown)": nothing records one
// Lock-key states from the keyboard LEDs the kernel exposes; off when none can be read.
bool NumLockOn();
bool CapsLockOn();
bool ScrollLockOn();
int ScreenSaverDelay();  // minutes; 0: the desktop does not tell
// Free memory in per cent, for the three kinds of the old "free resources" question.
int FreeSystemResources(int kind);
// The program's version strings by index 0..6 (company, product, product version, copyright,
// trademark, description, comments); empty for what the program does not record.
std::string ProgramVersionString(int index);

// A time in the framework's format letters: yyyy yy m mm mmm mmmm d dd ddd dddd h hh n nn s ss
// zzz am/pm, "c" (date and time), text in quotes kept; "m" right after an hour means minutes.
// An empty format is "c".
std::string ZelFormatDateTime(const std::string& format, int64_t unixSeconds, int milliseconds);

// The old platform's window metrics, as fixed classic values so pictures are alike everywhere.
struct TZelSystemMetrics {
  int CaptionButtonWidth = 18, CaptionHeight = 18;
  int FixedFrameWidth = 3, FixedFrameHeight = 3;
  int BorderWidth = 1, BorderHeight = 1;
  int SizingFrameWidth = 4, SizingFrameHeight = 4;
  int SmallCaptionHeight = 14, SmallButtonWidth = 12, SmallIconWidth = 16;
};
TZelSystemMetrics ZelSystemMetrics();

// Window styles CaptionRect looks at, and the flags it gives back.
enum : uint32_t {
  cwSizeable = 0x01,
  cwDialogFrame = 0x02,
  cwToolWindow = 0x04,
  cwMinimizeBox = 0x08,
  cwMaximizeBox = 0x10,
  cwIconic = 0x20,
  cwSystemMenu = 0x40,
  cwHelp = 0x80
};
enum : uint32_t { cfClose = 0x01, cfMaximize = 0x02, cfMinimize = 0x04, cfHelp = 0x08, cfIcon = 0x10 };
// The caption bar of a window of the given size: inside the frame, a caption high, less the
// buttons on the right and the icon on the left; flags says which of these there are.
plat::TRect CaptionRect(plat::TSize window, uint32_t styles, const TZelSystemMetrics& m, uint32_t* flags);

// Bits per pixel of the screen (GUI part).
uint8_t ColorDepth();

enum TZelInfoType {
  itUser,
  itWinDir,
  itCurrentDir32,
  itCurrentDiskFree32,
  itCurrentDiskSize32,
  itSystemDir,
  itReg_Owner32,
  itReg_Company32,
  itVersion,
  itColorDepth,
  itScreenSaverDelay,
  itMemSize,
  itFreeSysRes,
  itFreeGDIRes,
  itFreeUserRes,
  itComputerName32,
  itMajorVerNr32,
  itBuildNr32,
  itMemLoaded32,
  itMemFree32,
  itMemPageFree32,
  itMemPageTotal32,
  itMemVirtFree32,
  itMemVirtTotal32,
  itPlatformID32,
  itPlatform32,
  itProcessorCont32,
  itProcessor32,
  itTempPath32,
  itDOSVersion,
  itNumLock,
  itCapsLock,
  itScroll,
  itCurrentDateTime,
  itProgCompany,
  itProgName,
  itProgVersion,
  itProgCopyright,
  itProgTrademark,
  itProgDescription,
  itProgComments,
  itCPUSpeed
};
std::string InfoCaption(TZelInfoType kind);
// Whether a kind's value is a number (divided and formatted by the label).
bool InfoIsNumeric(TZelInfoType kind);
// The value of a kind as text; numbers are divided by divider when it is above 0. The date and
// time use dateTimeFormat (the framework's format letters). Defined in the GUI part.
std::string InfoText(TZelInfoType kind, int64_t divider = 0, const std::string& dateTimeFormat = {});
