#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/system/files.h"
#include "recorder/FileUtils.h"
#include "recorder/StrUtils.h"
#include "tests/common/scratch.h"

TEST(StrUtils, ScanForwardWildcardAndCase) {
  EXPECT_EQ(StrScanForward("Hello World", "W?rld", 1), 7);
  EXPECT_EQ(StrScanForward("Hello World", "w?RLD", 1), 0);
  EXPECT_EQ(StrScanForward("Hello World", "w?RLD", -1), 7);
  EXPECT_EQ(StrScanForward("abcabc", "abc", 2), 4);
  EXPECT_EQ(StrScanForward("abc", "", 1), 0);
  EXPECT_EQ(StrScanForward("", "a", 1), 0);
  EXPECT_EQ(StrScanForward("abc", "a", 4), 0);    // start past the text
  EXPECT_EQ(StrScanForward("abc", "bcd", 2), 0);  // does not fit
  EXPECT_EQ(StrScanForward("abc", "a", 0), 0);
}

TEST(StrUtils, ScanBackwardAndSet) {
  EXPECT_EQ(StrScanBackward("abcabc", "abc", 6), 4);
  EXPECT_EQ(StrScanBackward("abcabc", "abc", 3), 1);
  EXPECT_EQ(StrScanBackward("abcABC", "abc", -6), 4);
  EXPECT_EQ(StrScanSet("name:value", ":=", 1), 5);
  EXPECT_EQ(StrScanSet("\"a:b\" c:d", ":", 1), 8);  // quoted text is skipped
  EXPECT_EQ(StrScanSet("xyZ", "z", -1), 3);
  EXPECT_EQ(StrScanSet("xyZ", "z", 1), 0);
}

TEST(StrUtils, TokensAndSlices) {
  std::string book = "a@x.org;b@y.org,c@z.org";
  int pos = 1;
  EXPECT_EQ(NextToken(book, ";,", pos), "a@x.org");
  EXPECT_EQ(NextToken(book, ";,", pos), "b@y.org");
  EXPECT_EQ(NextToken(book, ";,", pos), "c@z.org");
  EXPECT_EQ(pos, 0);
  pos = int(book.size());
  EXPECT_EQ(NextTokenBackward(book, ";,", pos), "c@z.org");
  EXPECT_EQ(NextTokenBackward(book, ";,", pos), "b@y.org");
  EXPECT_EQ(NextTokenBackward(book, ";,", pos), "a@x.org");
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(RightStr("ab", 5), "ab");
  EXPECT_EQ(LeftStr("abc", 2), "ab");
  EXPECT_EQ(MidStr("abcdef", 2, 3), "bcd");
  EXPECT_EQ(StrFromPos("abcdef", 4), "def");
  EXPECT_EQ(StrFromPos("abcdef", 0), "");
  EXPECT_EQ(LengthWithoutLeading("   x ", ' '), 4);
  EXPECT_EQ(LengthWithoutTrailing("   x  ", ' '), 4);
  EXPECT_EQ(LengthWithoutTrailing("    ", ' '), 0);
  EXPECT_EQ(TrimRightChar("take   ", ' '), "take");
  EXPECT_EQ(TrimLeftChar("   take", ' '), "take");
  std::string s = "a-b-c";
  ReplaceCharInPlace(s, '-', '_');
  EXPECT_EQ(s, "a_b_c");
  std::string p = "mORNING sHOW-two";
  ProperCaseInPlace(p);
  EXPECT_EQ(p, "Morning Show-Two");
}

TEST(FileUtils, BackSlashRoutines) {
  std::string p = "/carts/  ";
  RemoveBackSlash(p);
  EXPECT_EQ(p, "/carts");
  AddBackSlash(p);
  EXPECT_EQ(p, "/carts/");
  AddBackSlash(p);
  EXPECT_EQ(p, "/carts/");
}

TEST(FileUtils, LockFileRetryConflictGivesUpAfterTimeout) {
  Scratch dir;
  std::string f = dir.Path("book.dat");
  ASSERT_TRUE(StringToFile("one;two", f));
  // Time is stepped by the retry itself: each sleep moves the fake clock on.
  uint32_t now = 0;
  int sleeps = 0;
  LockTiming().tickCount = [&] { return now; };
  LockTiming().sleep = [&](int ms) {
    ++sleeps;
    now += uint32_t(ms);
  };
  int holder = ::open(f.c_str(), O_RDWR);
  ASSERT_TRUE(LockFileRetry(holder, 0, 7));
  std::string text = "stale";
  EXPECT_FALSE(FileToString(f, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(sleeps, 15000 / 110 + 1);  // retried every 110 ms until past 15 s
  ASSERT_TRUE(UnlockFileRange(holder, 0, 7));
  sleeps = 0;
  EXPECT_TRUE(FileToString(f, text));
  EXPECT_EQ(text, "one;two");
  EXPECT_EQ(sleeps, 0);
  ::close(holder);
  ResetLockTiming();
}

TEST(FileUtils, ShellFileOpModes) {
  Scratch dir;
  std::string tmp = dir.Path("tmp/"), out = dir.Path("out/");
  plat::ForceDirectories(tmp);
  plat::ForceDirectories(out);
  StringToFile("1", tmp + "a.wav");
  StringToFile("2", tmp + "B.WAV");
  StringToFile("3", tmp + "c.txt");
  EXPECT_TRUE(ShellFileOp(tmp + "*.wav", out, 2, FOF_NOCONFIRMATION));
  EXPECT_TRUE(plat::FileExists(out + "a.wav"));
  EXPECT_TRUE(plat::FileExists(out + "B.WAV"));
  EXPECT_FALSE(plat::FileExists(out + "c.txt"));
  EXPECT_TRUE(ShellFileOp(tmp + "c.txt", tmp + "d.txt", 4, 0));
  EXPECT_TRUE(plat::FileExists(tmp + "d.txt"));
  std::string list = tmp + "a.wav" + FileOpSeparator + tmp + "d.txt";
  EXPECT_TRUE(ShellFileOp(list, "", 3, FOF_NOCONFIRMATION));
  EXPECT_EQ(plat::ListFiles(tmp, "*"), std::vector<std::string>{"B.WAV"});
  EXPECT_FALSE(ShellFileOp(tmp + "*", out, 9, 0));
  EXPECT_TRUE(plat::FileExists(tmp + "B.WAV"));
}
