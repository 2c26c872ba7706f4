#include <gtest/gtest.h>

#include <climits>

#include "engine/MMUtils.h"

TEST(MMUtils, MulDivRound32RoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDivRound32(7, 1, 2), 4);
  EXPECT_EQ(MulDivRound32(-7, 1, 2), -4);
  EXPECT_EQ(MulDivRound32(5, 1, 3), 2);
  EXPECT_EQ(MulDivRound32(4, 1, 3), 1);
  EXPECT_EQ(MulDiv32(-7, 1, 2), -3);  // truncates toward zero
  EXPECT_EQ(MulDivRoundUnsigned32(7, 1, 2), 4u);
}

TEST(MMUtils, MulDivWideIntermediateAndGuards) {
  // 48000 * 3600000 overflows 32 bits; the quotient does not.
  EXPECT_EQ(MulDiv32(48000, 3600000, 1000), 172800000);
  EXPECT_EQ(MulDiv32(1, 1, 0), 0);
  EXPECT_EQ(MulDiv32(INT32_MAX, 4, 1), INT32_MAX);
  EXPECT_EQ(MulDiv32(INT32_MIN, 4, 1), INT32_MIN);
}

TEST(MMUtils, MulDiv64TiesToEven) {
  EXPECT_EQ(MulDiv64(5, 1, 2), 2);  // 2.5 -> 2
  EXPECT_EQ(MulDiv64(7, 1, 2), 4);  // 3.5 -> 4
  EXPECT_EQ(MulDiv64(-5, 1, 2), -2);
  EXPECT_EQ(MulDiv64(-7, 1, 2), -4);
  EXPECT_EQ(MulDiv64(10, 1, 3), 3);  // 3.33 -> 3
  EXPECT_EQ(MulDiv64(11, 1, 3), 4);  // 3.67 -> 4
  EXPECT_EQ(MulDiv64(5, -1, 2), -2);
  // The product needs more than 64 bits.
  const int64_t big = int64_t(1) << 62;
  EXPECT_EQ(MulDiv64(big, 8, 16), big / 2);
  EXPECT_EQ(MulDiv64(big, 1000000007, 1000000007), big);
  EXPECT_EQ(MulDiv64(INT64_MAX, 2, 1), INT64_MAX);
}

TEST(MMUtils, TimeToTextForms) {
  EXPECT_EQ(TimeToText(true, 3723004), "1:02:03.004");
  EXPECT_EQ(TimeToText(false, 59999), "0:59");
  EXPECT_EQ(TimeToText(true, 90061001), "1:01:01:01.001");
  EXPECT_EQ(TimeToText(true, 0), "0:00.000");
  EXPECT_EQ(TimeToTextMs(61001), "1:01.001");
}

TEST(MMUtils, TimeToTextHourBoundary) {
  EXPECT_EQ(TimeToText(false, 3600000), "1:00:00");
  EXPECT_EQ(TimeToText(true, 3600000), "1:00:00.000");
  EXPECT_EQ(TimeToText(false, 3599999), "59:59");
  EXPECT_EQ(TimeToText(true, 3599999), "59:59.999");
}

TEST(MMUtils, TimeToTextDayBoundary) {
  EXPECT_EQ(TimeToText(true, 86400000), "1:00:00:00.000");
  EXPECT_EQ(TimeToText(false, 86400000), "1:00:00:00");
  EXPECT_EQ(TimeToText(true, 86399999), "23:59:59.999");
  EXPECT_EQ(TimeToText(false, 86399999), "23:59:59");
  // Days beyond 32 bits of milliseconds.
  EXPECT_EQ(TimeToText(false, int64_t(100) * 86400000), "100:00:00:00");
}

TEST(MMUtils, ClipAndRangeHelpers) {
  EXPECT_EQ(Clip(5, 10, 20), 10);
  EXPECT_EQ(Clip(25, 10, 20), 20);
  EXPECT_EQ(ClipAnyOrder(25, 20, 10), 20);
  EXPECT_TRUE(InRangeAnyOrder(15, 20, 10));
  EXPECT_FALSE(InRange(21, 10, 20));
  EXPECT_EQ(ShiftRightSigned(-8, 33), -4);
}

TEST(MMUtils, FillLongTailGetsLowByte) {
  uint8_t buf[7];
  FillLong(buf, sizeof buf, 0x44332211);
  const uint8_t expect[7] = {0x11, 0x22, 0x33, 0x44, 0x11, 0x11, 0x11};
  EXPECT_EQ(0, memcmp(buf, expect, 7));
}

TEST(MMUtils, DiskFreeOfMissingPlace) {
  int64_t f = 7, t = 7;
  // A path whose nearest existing parent is the root still answers for the root.
  EXPECT_TRUE(GetDiskFree("/no/such/folder/at/all", f, t));
  EXPECT_GT(t, 1);
  // No place at all: free 0, total 1.
  EXPECT_FALSE(GetDiskFree("", f, t));
  EXPECT_EQ(f, 0);
  EXPECT_EQ(t, 1);
  EXPECT_FALSE(HasDiskSpace("", 0));
  EXPECT_TRUE(HasDiskSpace("/", 0));
}

TEST(MMUtils, GlobalMemoryBlocks) {
  void* p = GlobalAllocMem(100);
  EXPECT_EQ(GlobalMemSize(p), 100u);
  EXPECT_EQ(static_cast<uint8_t*>(p)[99], 0);
  GlobalReAllocMem(p, 10);
  EXPECT_EQ(GlobalMemSize(p), 10u);
  GlobalFreeMem(p);
  EXPECT_EQ(p, nullptr);
  GlobalFreeMem(p);  // nil is left alone
  EXPECT_EQ(GlobalMemSize(nullptr), 0u);
}
