#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/ZelRegionMask.h"
#include "controls/zelprocs.h"
#include "controls/zelsysin.h"

TEST(Rects, FitRotateGrow) {
  EXPECT_EQ(FitRect(plat::Rect(0, 0, 100, 50), plat::Rect(10, 20, 40, 50)), plat::Rect(10, 20, 40, 35));
  EXPECT_EQ(FitRect(plat::Rect(0, 0, 50, 100), plat::Rect(0, 0, 300, 100)), plat::Rect(0, 0, 50, 100));
  // A source without area used to divide by zero.
  EXPECT_EQ(FitRect(plat::Rect(0, 0, 0, 50), plat::Rect(7, 8, 40, 50)), plat::Rect(7, 8, 7, 8));
  EXPECT_EQ(FitRect(plat::Rect(5, 5, 25, 5), plat::Rect(0, 0, 40, 50)), plat::Rect(0, 0, 0, 0));

  EXPECT_EQ(RotatedBounds(plat::Rect(10, 10, 110, 60), 0), plat::Rect(10, 10, 110, 60));
  EXPECT_EQ(RotatedBounds(plat::Rect(10, 10, 110, 60), 90), plat::Rect(0, 0, 50, 100));
  plat::TRect diag = RotatedBounds(plat::Rect(0, 0, 100, 100), 45);
  EXPECT_NEAR(diag.Width(), 141, 1);
  EXPECT_EQ(GrowRect(plat::Rect(0, 0, 10, 10), -1, -2, 3, 4), plat::Rect(-1, -2, 13, 14));
  EXPECT_EQ(RectSize(plat::Rect(2, 3, 12, 8)), (plat::TSize{10, 5}));
  EXPECT_EQ(MaxOf({3, -7, 12, 0}), 12);
  EXPECT_EQ(MinOf({3, -7, 12, 0}), -7);
  EXPECT_EQ(MinOf({}), 0);
  EXPECT_EQ(MinOfFloat({2.5L, -0.25L}), -0.25L);
}

TEST(RegionData, StoredLayoutRoundTripAndDamage) {
  std::vector<plat::TRect> rects{plat::Rect(0, 0, 10, 5), plat::Rect(2, 5, 8, 9)};
  std::string bytes = BuildRegionData(rects);
  ASSERT_EQ(bytes.size(), 32u + 2 * 16);
  EXPECT_EQ(bytes.substr(0, 12), std::string("\x20\0\0\0\x01\0\0\0\x02\0\0\0", 12));
  // The bounds follow the header's sizes.
  EXPECT_EQ(bytes.substr(16, 16), std::string("\0\0\0\0\0\0\0\0\x0A\0\0\0\x09\0\0\0", 16));
  std::vector<plat::TRect> back;
  ASSERT_TRUE(ParseRegionData(bytes, back));
  EXPECT_EQ(back, rects);

  std::string lying = bytes;
  lying[8] = 3;  // three rectangles in the room of two
  EXPECT_FALSE(ParseRegionData(lying, back));
  std::string huge = bytes;
  huge[11] = char(0x80);
  EXPECT_FALSE(ParseRegionData(huge, back));
  EXPECT_FALSE(ParseRegionData(bytes.substr(0, 31), back));
  std::string wrongType = bytes;
  wrongType[4] = 2;
  EXPECT_FALSE(ParseRegionData(wrongType, back));
  std::string bigHeader = bytes;
  bigHeader[0] = char(0xFF);
  bigHeader[1] = char(0xFF);
  EXPECT_FALSE(ParseRegionData(bigHeader, back));
  // Empty rectangles are left out.
  std::string withEmpty = BuildRegionData({plat::Rect(5, 5, 5, 9), plat::Rect(1, 1, 2, 2)});
  ASSERT_TRUE(ParseRegionData(withEmpty, back));
  EXPECT_EQ(back, (std::vector<plat::TRect>{plat::Rect(1, 1, 2, 2)}));
}

TEST(SystemInfo, CaptionBarAndTimeText) {
  TZelSystemMetrics m;
  uint32_t flags = 0;
  plat::TRect r = CaptionRect({300, 200}, cwSizeable | cwSystemMenu | cwMinimizeBox | cwMaximizeBox, m, &flags);
  EXPECT_EQ(r, plat::Rect(4 + 16 + 2, 4, 300 - 4 - 18 - 2 - 36, 4 + 18));
  EXPECT_EQ(flags, cfClose | cfMaximize | cfMinimize | cfIcon);
  r = CaptionRect({300, 200}, cwDialogFrame | cwSystemMenu | cwToolWindow, m, &flags);
  EXPECT_EQ(r, plat::Rect(3, 3, 300 - 3 - 12 - 2, 3 + 14));
  EXPECT_EQ(flags, cfClose);
  r = CaptionRect({20, 50}, cwSizeable | cwSystemMenu | cwMaximizeBox, m, &flags);
  EXPECT_LE(r.Left, r.Right);  // too narrow for its buttons: empty, never inverted

  setenv("TZ", "UTC", 1);
  tzset();
  const int64_t t = 1700000000;  // 2023-11-14 22:13:20 UTC, a Tuesday
  EXPECT_EQ(ZelFormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", t, 7), "2023-11-14 22:13:20.007");
  EXPECT_EQ(ZelFormatDateTime("d/m/yy h:mm", t, 0), "14/11/23 22:13");
  EXPECT_EQ(ZelFormatDateTime("dddd, mmmm d \"at\" hh:mm am/pm", t, 0), "Tuesday, November 14 at 22:13 pm");
  EXPECT_EQ(ZelFormatDateTime("", t, 0), "2023-11-14 22:13:20");
}
