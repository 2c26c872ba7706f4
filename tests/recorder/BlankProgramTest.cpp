#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/system/files.h"
#include "recorder/BlankProgram.h"
#include "tests/common/scratch.h"
#include "tests/recorder/fake_user_deck.h"

namespace {

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return int64_t(std::mktime(&t));
}

class BlankPrograms : public ::testing::Test {
protected:
  BlankPrograms() : deck(dir.Root() + "/") {
    deck.settings.savePath = "/carts/";
    deck.now = LocalTime(2024, 3, 6, 9, 5, 3);
  }
  void Settings(const std::string& text) { ASSERT_TRUE(plat::WriteWholeFile(dir.Root() + "/Solvane.ini", text)); }
  Scratch dir;
  FakeUserDeck deck;
};

}  // namespace

TEST(BlankProgram, SelectionCounter) {
  EXPECT_EQ(SelectionCounter(0), "1 of 250");
  EXPECT_EQ(SelectionCounter(2), "3 of 250");
}

TEST_F(BlankPrograms, AUserWithoutProgramsGetsTheQuickCartLineOnly) {
  Settings("[Standard Cart]\r\nFORMAT=31\r\nLENGTH=3000\r\n");
  std::vector<std::string> lines = BlankProgramLines(deck);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "06090503|00:30:00|QuickCart|44.100 kHz, 16 bit, Stereo, 172 kb/sec|/carts/|0");

  deck.users.cart.lockoutHours = 7;
  ASSERT_TRUE(LoadBlankProgram(deck, lines, 0));
  EXPECT_EQ(deck.users.cart.programName, "06090503");
  EXPECT_EQ(deck.users.cart.customLength, 3000);
  EXPECT_EQ(deck.users.cart.customFormat, 31);
  EXPECT_EQ(deck.users.cart.saveFolder, "/carts/");
  EXPECT_EQ(deck.users.cart.lockoutHours, 0);

  // The line is built again on every showing, with the time of that showing.
  deck.now += 60;
  EXPECT_EQ(SplitProgramRecord(BlankProgramLines(deck)[0])[pfName], "06090603");
}

TEST_F(BlankPrograms, ProgramLinesTakeTheirTableRows) {
  Settings("[Standard Cart]\r\nFORMAT=26\r\nLENGTH=10000\r\n");
  deck.users.programList[0] = {"Morning", "00:30:00", "Drive", "22.050 kHz, 16 bit, Mono, 43 kb/sec", "/news/", "4"};
  deck.users.programList[1] = {"Bad", "00:10:00", "", "22 kHz", "/x/", "1"};
  deck.users.programList[2] = {"Odd", "00:1x:00", "", "22.050 kHz, 16 bit, Mono, 43 kb/sec", "", "1"};
  deck.users.programList[3] = {"Late", "01:00:00", "", "8.000 kHz, 8 bit, Mono, 7 kb/sec", "", "-2"};
  std::vector<std::string> lines = BlankProgramLines(deck);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "Morning|00:30:00|Drive|22.050 kHz, 16 bit, Mono, 43 kb/sec|/news/|4");

  ASSERT_TRUE(LoadBlankProgram(deck, lines, 1));
  const TCartProgram chosen = deck.users.cart;
  EXPECT_EQ(chosen.programName, "Morning");
  EXPECT_EQ(chosen.customLength, 3000);
  EXPECT_EQ(chosen.customFormat, 18);
  EXPECT_EQ(chosen.saveFolder, "/news/");
  EXPECT_EQ(chosen.lockoutHours, 4);

  // Lines the program's own dialogs cannot make are refused, and the cart stays as it was.
  for (int line : {2, 3, 4}) {
    EXPECT_FALSE(LoadBlankProgram(deck, lines, line)) << line;
    EXPECT_NE(deck.LastText().find("cannot be loaded"), std::string::npos);
    EXPECT_EQ(deck.users.cart.programName, "Morning");
  }
  EXPECT_FALSE(LoadBlankProgram(deck, lines, 5));
  EXPECT_EQ(deck.shown.size(), 3u);
}
