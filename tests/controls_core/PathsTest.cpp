#include <gtest/gtest.h>

#include "controls/zelprocs.h"
#include "controls/zelsysin.h"
#include "common/scratch.h"
#include "platform/system/files.h"

TEST(Paths, SeparatorsAndBlanks) {
  EXPECT_EQ(AddBackslash("C:\\"), "C:\\");
  EXPECT_EQ(AddBackslash("C:\\Carts"), "C:\\Carts\\");
  EXPECT_EQ(AddBackslash("C:"), "C:/");
  EXPECT_EQ(AddBackslash(""), "/");
  EXPECT_EQ(AddBackslash("/home/op"), "/home/op/");
  EXPECT_EQ(AddBackslash("/home/op/"), "/home/op/");
  EXPECT_EQ(RemoveBackslash("/home/op/"), "/home/op");
  EXPECT_EQ(RemoveBackslash("C:\\Carts\\"), "C:\\Carts");
  EXPECT_EQ(RemoveBackslash("   "), "   ");
  EXPECT_TRUE(IsBlank(""));
  EXPECT_TRUE(IsBlank("   "));
  EXPECT_FALSE(IsBlank(" x "));
  EXPECT_EQ(ReplaceChar("a&b&c", '&', ' '), "a b c");
  EXPECT_EQ(FileNameWithoutExt("/carts/Morning.Show.wav"), "Morning.Show");
  EXPECT_EQ(FileNameWithoutExt("C:\\carts\\jingle"), "jingle");
  EXPECT_EQ(DriveOf("c:\\temp"), "c:");
  EXPECT_EQ(DriveOf("/c:/temp"), "");
  EXPECT_EQ(DriveOf("1:"), "");
}

TEST(Paths, ShortenLevelByLevel) {
  EXPECT_EQ(ShortenPathLevel("\\Program Files\\App\\data\\"), "\\...\\App\\data\\");
  EXPECT_EQ(ShortenPathLevel("\\...\\App\\data\\"), "\\...\\data\\");
  EXPECT_EQ(ShortenPathLevel("\\...\\data\\"), "\\...\\");
  EXPECT_EQ(ShortenPathLevel("\\...\\"), "\\");
  EXPECT_EQ(ShortenPathLevel("\\"), "");
  EXPECT_EQ(ShortenPathLevel("music/carts/"), ".../carts/");
  EXPECT_EQ(ShortenPathLevel("name"), "");
}

TEST(Paths, ShortenKeepsTheFileNameAndEnds) {
  std::string win = "C:\\Program Files\\Station\\Carts\\Morning\\intro.wav";
  EXPECT_EQ(ShortenPath(win, 100), win);
  EXPECT_EQ(ShortenPath(win, 40), "C:\\...\\Station\\Carts\\Morning\\intro.wav");
  EXPECT_EQ(ShortenPath(win, 30), "C:\\...\\Carts\\Morning\\intro.wav");
  EXPECT_EQ(ShortenPath(win, 20), "...\\intro.wav");
  EXPECT_EQ(ShortenPath("/srv/station/carts/morning/intro.wav", 24), "/.../morning/intro.wav");
  // A name longer than the limit comes back alone instead of the loop running for ever.
  std::string longName(60, 'n');
  EXPECT_EQ(ShortenPath("D:\\a\\b\\" + longName, 10), longName);
  EXPECT_EQ(ShortenPath("/a/b/" + longName, 10), longName);
  EXPECT_EQ(ShortenPath(longName, 0), longName);
  EXPECT_EQ(ShortenPath("C:" + longName, 10), longName);
}

TEST(Paths, FoldersAndLogFile) {
  EXPECT_EQ(ZelLogFileName("", ppProgram, "C:\\Apps\\rec.exe"), "C:\\Apps\\rec.LOG");
  EXPECT_EQ(ZelLogFileName("", ppProgram, "/opt/solvane/bin/solvane"), "/opt/solvane/bin/solvane.LOG");
  EXPECT_EQ(ZelLogFileName("trace", ppFixed, "/x/y"), "trace.LOG");
  EXPECT_EQ(ZelLogFileName("/var/log/kit.txt", ppWindows, "/x/y"), "/etc/kit.txt");
  EXPECT_EQ(ZelLogFileName("  ", ppFixed, "/x/rec.bin"), "/x/rec.LOG");
  std::string program = ProgramFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.back(), '/');
  EXPECT_TRUE(plat::FileExists(program + "controls_core_tests"));
  EXPECT_EQ(SpecialFolder(ppProgram, false) + "/", program);
  EXPECT_EQ(SpecialFolder(ppFixed, true), "");
  EXPECT_EQ(SpecialFolder(ppSystem, true), "/usr/lib/");
}

TEST(SystemInfo, ParsedFromTheKernelsTexts) {
  TZelMemoryStatus st;
  EXPECT_TRUE(
      ParseMemInfo("MemTotal:       16000000 kB\nMemFree:  1000 kB\nMemAvailable:    4000000 kB\n"
                   "SwapTotal:  2000 kB\nSwapFree: 500 kB\nCommitLimit: 10000 kB\n"
                   "Committed_AS: 12000 kB\n",
                   st));
  EXPECT_EQ(st.TotalPhys, 16000000ull * 1024);
  EXPECT_EQ(st.AvailPhys, 4000000ull * 1024);
  EXPECT_EQ(st.Load, 75u);
  EXPECT_EQ(st.AvailPageFile, 500ull * 1024);
  EXPECT_EQ(st.AvailVirtual, 0u);  // over-committed
  EXPECT_TRUE(ParseMemInfo("MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 50 kB\n", st));
  EXPECT_EQ(st.Load, 80u);
  EXPECT_FALSE(ParseMemInfo("garbage", st));

  auto v = ParseKernelRelease("6.1.0-18-amd64");
  EXPECT_EQ(v.Major, 6);
  EXPECT_EQ(v.Minor, 1);
  EXPECT_EQ(v.Build, 0);
  EXPECT_EQ(v.Text, "6.1");
  EXPECT_EQ(ParseKernelRelease("5.15.133+").Build, 133);
  EXPECT_EQ(ParseKernelRelease("x").Text, "0.0");
  EXPECT_EQ(ParseKernelRelease("99999999999999.2").Minor, 0);

  EXPECT_EQ(ParseProcessorName("processor\t: 0\nvendor_id\t: X\nmodel name\t: Example CPU @ 2.00GHz\n"),
            "Example CPU @ 2.00GHz");
  EXPECT_EQ(ParseProcessorName("Hardware\t: Board 3\n"), "Board 3");
  EXPECT_EQ(ParseProcessorName(""), "");

  EXPECT_EQ(InfoCaption(itUser), "Username");
  EXPECT_EQ(InfoCaption(itCPUSpeed), "CPU Speed");
  EXPECT_EQ(InfoCaption(itProgComments), "Comments");
  EXPECT_TRUE(InfoIsNumeric(itDOSVersion));
  EXPECT_FALSE(InfoIsNumeric(itProcessor32));
}

TEST(SystemInfo, DisksOfThisMachine) {
  Scratch dir;
  TZelDiskInfo d = DiskInfo(dir.Root());
  EXPECT_GE(d.DriveType, dtRemovable);
  EXPECT_GT(d.Size, 0);
  EXPECT_LE(d.Free, d.Size);
  EXPECT_EQ(DiskInfo(dir.Path("no/such/folder")).DriveType, dtNoRootDir);
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_FALSE(ProcessorName().empty());
  EXPECT_EQ(TempPath().back(), '/');
}
