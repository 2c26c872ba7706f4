// The system questions that need the screen.
#include <QGuiApplication>
#include <QScreen>

#include "controls/zelclass.h"
#include "controls/zelprocs.h"
#include "controls/zelsysin.h"
#include "platform/system/system_info.h"

uint8_t ColorDepth() {
  QScreen* s = QGuiApplication::primaryScreen();
  int depth = s ? s->depth() : 24;
  return uint8_t(depth > 255 ? 255 : depth);
}

std::string InfoText(TZelInfoType kind, int64_t divider, const std::string& dateTimeFormat) {
  auto num = [divider](int64_t v) { return std::to_string(divider > 0 ? v / divider : v); };
  auto onOff = [](bool on) { return std::string(on ? "On" : "Off"); };
  switch (kind) {
    case itUser: return ZelUserName();
    case itWinDir: return WindowsFolder();
    case itCurrentDir32: return CurrentDirectory();
    case itCurrentDiskFree32: return num(DiskInfo(CurrentDirectory()).Free);
    case itCurrentDiskSize32: return num(DiskInfo(CurrentDirectory()).Size);
    case itSystemDir: return SystemFolder();
    case itReg_Owner32: return RegisteredOwner();
    case itReg_Company32: return RegisteredOrganization();
    case itVersion: return ZelVersion().Text;
    case itColorDepth: return num(ColorDepth());
    case itScreenSaverDelay: return num(ScreenSaverDelay());
    case itMemSize: return num(int64_t(ZelMemoryStatus().TotalPhys));
    case itFreeSysRes: return num(FreeSystemResources(0));
    case itFreeGDIRes: return num(FreeSystemResources(1));
    case itFreeUserRes: return num(FreeSystemResources(2));
    case itComputerName32: return ComputerName();
    case itMajorVerNr32: return num(ZelVersion().Major);
    case itBuildNr32: return num(ZelVersion().Build);
    case itMemLoaded32: return num(ZelMemoryStatus().Load);
    case itMemFree32: return num(int64_t(ZelMemoryStatus().AvailPhys));
    case itMemPageFree32: return num(int64_t(ZelMemoryStatus().AvailPageFile));
    case itMemPageTotal32: return num(int64_t(ZelMemoryStatus().TotalPageFile));
    case itMemVirtFree32: return num(int64_t(ZelMemoryStatus().AvailVirtual));
    case itMemVirtTotal32: return num(int64_t(ZelMemoryStatus().TotalVirtual));
    case itPlatformID32: return num(PlatformId());
    case itPlatform32: return PlatformName();
    case itProcessorCont32: return num(ProcessorCount());
    case itProcessor32: return ProcessorName();
    case itTempPath32: return TempPath();
    case itDOSVersion: return "Win32";
    case itNumLock: return onOff(NumLockOn());
    case itCapsLock: return onOff(CapsLockOn());
    case itScroll: return onOff(ScrollLockOn());
    case itCurrentDateTime: {
      int64_t seconds = 0;
      int ms = 0;
      plat::WallClock(seconds, ms);
      return ZelFormatDateTime(dateTimeFormat, seconds, ms);
    }
    case itProgCompany:
    case itProgName:
    case itProgVersion:
    case itProgCopyright:
    case itProgTrademark:
    case itProgDescription:
    case itProgComments: return ProgramVersionString(int(kind) - int(itProgCompany));
    case itCPUSpeed: return num(GetCpuSpeedMHz());
  }
  return {};
}
