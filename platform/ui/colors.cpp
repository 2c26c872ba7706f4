#include "platform/ui/colors.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "platform/system/exceptions.h"

namespace plat {

namespace {

// The "Windows Classic" scheme, as 0xBBGGRR.
constexpr uint32_t kSysColors[COLOR_ENDCOLORS + 1] = {
    0xC8D0D4,  // scroll bar
    0xA56E3A,  // desktop
    0x6A240A,  // active caption
    0x808080,  // inactive caption
    0xC8D0D4,  // menu
    0xFFFFFF,  // window
    0x000000,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0xFFFFFF,  // caption text
    0xC8D0D4,  // active border
    0xC8D0D4,  // inactive border
    0x808080,  // application work space
    0x6A240A,  // highlight
    0xFFFFFF,  // highlight text
    0xC8D0D4,  // button face
    0x808080,  // button shadow
    0x808080,  // grey text
    0x000000,  // button text
    0xC8D0D4,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x404040,  // 3D dark shadow
    0xC8D0D4,  // 3D light
    0x000000,  // tooltip text
    0xE1FFFF,  // tooltip background
    0xB5B5B5,  // (unused slot 25)
    0x800000,  // hot-tracked item
    0xF0CAA6,  // active caption gradient
    0xC0C0C0,  // inactive caption gradient
    0x6A240A,  // menu highlight
    0xC8D0D4,  // menu bar
};

struct Named {
  TColor color;
  const char* name;
};

constexpr Named kNames[] = {
    {clBlack, "clBlack"},
    {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},
    {clOlive, "clOlive"},
    {clNavy, "clNavy"},
    {clPurple, "clPurple"},
    {clTeal, "clTeal"},
    {clGray, "clGray"},
    {clSilver, "clSilver"},
    {clRed, "clRed"},
    {clLime, "clLime"},
    {clYellow, "clYellow"},
    {clBlue, "clBlue"},
    {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},
    {clWhite, "clWhite"},
    {clMoneyGreen, "clMoneyGreen"},
    {clSkyBlue, "clSkyBlue"},
    {clCream, "clCream"},
    {clMedGray, "clMedGray"},
    {clNone, "clNone"},
    {clDefault, "clDefault"},
    {clScrollBar, "clScrollBar"},
    {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"},
    {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},
    {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"},
    {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"},
    {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"},
    {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"},
    {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"},
    {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"},
    {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},
    {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"},
    {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},
    {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},
    {clHotLight, "clHotLight"},
    {clGradientActiveCaption, "clGradientActiveCaption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption"},
    {clMenuHighlight, "clMenuHighlight"},
    {clMenuBar, "clMenuBar"},
};

}  // namespace

uint32_t GetSysColor(int index) {
  if (index < 0 || index > COLOR_ENDCOLORS) return 0;
  return kSysColors[index];
}

uint32_t ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return uint32_t(color);
}

std::string ColorToString(TColor color) {
  for (const auto& n : kNames)
    if (n.color == color) return n.name;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", unsigned(uint32_t(color)));
  return buf;
}

bool IdentToColor(const std::string& text, TColor& color) {
  for (const auto& n : kNames)
    if (strcasecmp(n.name, text.c_str()) == 0) {
      color = n.color;
      return true;
    }
  if (text.empty()) return false;
  const char* s = text.c_str();
  int base = 10;
  if (*s == '$') {
    base = 16;
    ++s;
  } else if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  if (!*s) return false;
  char* end = nullptr;
  long long v = std::strtoll(s, &end, base);
  if (*end || v < INT32_MIN || v > 0xFFFFFFFFLL) return false;
  color = TColor(uint32_t(v));
  return true;
}

TColor StringToColor(const std::string& text) {
  TColor c;
  if (!IdentToColor(text, c)) throw EConvertError("'" + text + "' is not a valid integer value");
  return c;
}

}  // namespace plat
