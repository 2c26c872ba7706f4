// Names of new carts, the lengths they get and the names an operator may type.
#include <gtest/gtest.h>

#include "recorder/CartNames.h"

TEST(CartNames, QuickCartNamesFromDayAndTime) {
  std::tm t{};
  t.tm_mday = 6;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  t.tm_mon = 11;  // month and year play no part
  t.tm_year = 126;
  EXPECT_EQ(QuickCart(t), "06090503");
  EXPECT_EQ(QuickCartFileName("", t), "06090503.wav");
  EXPECT_EQ(QuickCartFileName("Morning News", t), "Morning News - 06090503.wav");
  EXPECT_EQ(QuickCart().size(), 8u);
}

TEST(CartNames, WavRulesOfProgramAndByNameCarts) {
  // A program's name keeps an ending ".WAV" in any case; anything else gets ".wav".
  EXPECT_EQ(ProgramCartName("Promo.WaV"), "Promo.WaV");
  EXPECT_EQ(ProgramCartName("Promo"), "Promo.wav");
  EXPECT_EQ(ProgramCartName("Promo.wave"), "Promo.wave.wav");
  EXPECT_EQ(ProgramCartName("Promo.wav.bak"), "Promo.wav.bak.wav");
  // A typed by-name cart keeps ".WAV" found anywhere, even when it does not end with it.
  EXPECT_EQ(ByNameCartName("Promo.wav.bak"), "Promo.wav.bak");
  EXPECT_EQ(ByNameCartName("Promo.WAVE"), "Promo.WAVE");
  EXPECT_EQ(ByNameCartName("Promo"), "Promo.wav");
  EXPECT_EQ(ByNameCartName("Promowav"), "Promowav.wav");
  // A non-destructive copy is named after the file without its extension.
  EXPECT_EQ(NonDestructiveCopyName("/music/Take One.wav"), "Take One.WAV");
  EXPECT_EQ(NonDestructiveCopyName("/music/Take.aiff"), "Take.WAV");
  EXPECT_EQ(NonDestructiveCopyName("/music/Take.wav.wav"), "Take.wav");
}

TEST(CartNames, LengthDigitsToSeconds) {
  EXPECT_EQ(TimeIntToSec(10000), 3600);  // one hour
  EXPECT_EQ(TimeIntToSec(13000), 5400);  // 01:30:00
  EXPECT_EQ(TimeIntToSec(0), 0);
  EXPECT_EQ(TimeIntToSec(959), 599);  // 00:09:59
  EXPECT_EQ(TimeIntToSec(995959), 99 * 3600 + 59 * 60 + 59);
  // Digits are taken as they stand, even past 59.
  EXPECT_EQ(TimeIntToSec(9999), 99 * 60 + 99);
  // Longer numbers: the first two, the third and fourth, and the last two digits.
  EXPECT_EQ(TimeIntToSec(1234567), 12 * 3600 + 34 * 60 + 67);
  EXPECT_EQ(TimeIntToSec(9223372036854775807LL), 92 * 3600 + 23 * 60 + 7);
  // A negative length is no length at all.
  EXPECT_EQ(TimeIntToSec(-10000), 0);
}

TEST(CartNames, PrefixLines) {
  const auto e = ParsePrefixLines({"News;003000", "Promo", "Ad;;x", ";000030", ""}, 10000);
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].display, "News");
  EXPECT_EQ(e[0].value, "003000");
  EXPECT_EQ(e[1].display, "Promo");  // no ";": shown whole, the standard length
  EXPECT_EQ(e[1].value, "10000");
  EXPECT_EQ(e[2].display, "Ad");  // split at the first ";"
  EXPECT_EQ(e[2].value, ";x");
  EXPECT_EQ(e[3].display, "");
  EXPECT_EQ(e[3].value, "000030");
  EXPECT_EQ(e[4].value, "10000");
}
