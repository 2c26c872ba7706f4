#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "platform/system/exceptions.h"
#include "recorder/Settings.h"

TEST(Settings, FormatTextsFollowTheirRule) {
  // Rate in kHz with three decimals, then the data rate: rate x frame bytes / 1024 rounded down,
  // except that the 48 kHz texts carry the 32 kHz data rates.
  const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  std::set<std::string> seen;
  for (int n = 0; n < FormatCount; ++n) {
    int rate = rates[n / 4];
    int bits = (n % 4) < 2 ? 8 : 16;
    int channels = (n % 2) + 1;
    int dataRate = (rate == 48000 ? 32000 : rate) * (bits / 8) * channels / 1024;
    char want[80];
    std::snprintf(want, sizeof want, "%d.%03d kHz, %d bit, %s, %d kb/sec", rate / 1000,
                  rate % 1000, bits, channels == 1 ? "Mono" : "Stereo", dataRate);
    EXPECT_EQ(FormatText(n), want) << n;
    EXPECT_EQ(FormatNumber(want), n);
    seen.insert(FormatText(n));
  }
  EXPECT_EQ(seen.size(), size_t(FormatCount));
  EXPECT_EQ(FormatText(0), "8.000 kHz, 8 bit, Mono, 7 kb/sec");
  EXPECT_EQ(FormatText(DefaultStandardFormat), "32.000 kHz, 16 bit, Mono, 62 kb/sec");
  EXPECT_EQ(FormatText(31), "44.100 kHz, 16 bit, Stereo, 172 kb/sec");
  EXPECT_EQ(FormatText(35), "48.000 kHz, 16 bit, Stereo, 125 kb/sec");
  EXPECT_EQ(FormatText(-1), "");
  EXPECT_EQ(FormatText(36), "");
  EXPECT_EQ(FormatNumber("8.000 kHz, 8 bit, mono, 7 kb/sec"), -1);  // matched exactly
  EXPECT_EQ(FormatNumber(""), -1);
}

TEST(Settings, TimeTextToMilliseconds) {
  EXPECT_EQ(TimeStrToMilSec("00:00:00.000"), 0);
  EXPECT_EQ(TimeStrToMilSec("01:02:03.004"), 3723004);
  EXPECT_EQ(TimeStrToMilSec("10:00:00.500"), 36000500);
  EXPECT_EQ(TimeStrToMilSec("99:59:59.999"), 359999999);
  EXPECT_EQ(TimeStrToMilSec("000130250"), 90250);     // the separators are optional
  EXPECT_EQ(TimeStrToMilSec("00.01:30:250"), 90250);  // and may stand anywhere
  // Anything but nine digits fails rather than shifting the fields ("12:00" is not 12 hours).
  for (const char* bad : {"12:00", "12:00.000", "12:00:00", "1:00:00.000", "00:00:00.0000",
                          "", "::.", "ab:cd:ef.ghi", "-1:00:00.000", "00:00:00.00 ", "00 00 00 000"})
    EXPECT_THROW(TimeStrToMilSec(bad), plat::EConvertError) << bad;
}
