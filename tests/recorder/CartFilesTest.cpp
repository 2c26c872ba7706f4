// Saving's file work: a target is either the old file or the whole new one, whatever happens.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "common/scratch.h"
#include "platform/system/files.h"
#include "recorder/CartFiles.h"

namespace {
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 31 + i / 251) & 0xFF);
  return s;
}
std::string Read(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}
// Everything in folder, hidden files included.
std::vector<std::string> Entries(const std::string& folder) {
  auto v = plat::ListFiles(folder, "*", true), hidden = plat::ListFiles(folder, ".*", true);
  v.insert(v.end(), hidden.begin(), hidden.end());
  std::sort(v.begin(), v.end());
  return v;
}
}  // namespace

TEST(CartFiles, ACopyReplacesTheTargetOnlyWhenWhole) {
  Scratch dir;
  const std::string src = dir.Path("take.wav"), dst = dir.Path("saved.wav");
  const std::string data = Pattern(10 * 8192 + 17);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "the older take"));

  // Cancelled after three blocks: half a copy must never take the older take's place.
  int asked = 0;
  TCopyProgress p;
  p.Cancelled = [&] { return ++asked > 3; };
  EXPECT_EQ(CopyCartFile(src, dst, p), TCopyOutcome::Cancelled);
  EXPECT_EQ(Read(dst), "the older take");
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"saved.wav", "take.wav"}));
  // A folder is never replaced, and a folder as the target takes the source's name.
  ASSERT_TRUE(plat::CreateDir(dir.Path("out")));
  EXPECT_EQ(CopyCartFile(src, dir.Path("out"), {}), TCopyOutcome::Failed);
  EXPECT_EQ(CartCopyTarget(src, dir.Path("out/x/..")), dir.Path("out/take.wav"));

  int64_t total = 0;
  p = {};
  p.OnSize = [&](int64_t t) { total = t; };
  ASSERT_EQ(CopyCartFile(src, dst, p), TCopyOutcome::Done);
  EXPECT_EQ(Read(dst), data);
  EXPECT_EQ(total, int64_t(data.size()));
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"out", "saved.wav", "take.wav"}));
}

TEST(CartFiles, ACopyUnderANameOfItsOwnNeverReplaces) {
  Scratch dir;
  const std::string src = dir.Path("take.wav");
  ASSERT_TRUE(plat::WriteWholeFile(src, Pattern(3 * 8192)));
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("Copy (1) of Out.wav"), "an earlier take"));
  EXPECT_EQ(CopyCartFile(src, dir.Path("Copy (1) of Out.wav"), {}, false), TCopyOutcome::Exists);
  EXPECT_EQ(Read(dir.Path("Copy (1) of Out.wav")), "an earlier take");
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"Copy (1) of Out.wav", "take.wav"}));

  // The next free name above the last one tried: a file, a folder or the name in other letters
  // all hold it.
  ASSERT_TRUE(plat::CreateDir(dir.Path("Copy (2) of Out.wav")));
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("COPY (3) OF OUT.WAV"), ""));
  int n = 0;
  EXPECT_EQ(FreeCopyName(dir.Root(), "Out.wav", n), "Copy (4) of Out.wav");
  EXPECT_EQ(n, 4);
  EXPECT_EQ(FreeCopyName(dir.Root(), "Out.wav", n), "Copy (5) of Out.wav");
  EXPECT_EQ(CopyCartFile(src, dir.Path("Copy (5) of Out.wav"), {}, false), TCopyOutcome::Done);
  EXPECT_EQ(Read(dir.Path("Copy (5) of Out.wav")), Read(src));
}

TEST(CartFiles, AMoveAcrossFileSystemsCopiesThenRemoves) {
  Scratch dir;
  // /dev/shm is a file system of its own on most machines; where it is not, there is nothing to see.
  struct stat a, b;
  if (::stat(dir.Root().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system beside the scratch folder";
  char tmpl[] = "/dev/shm/solvane-move-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string src = std::string(tmpl) + "/Untitled.wav", dst = dir.Path("News.wav");
  const std::string data = Pattern(5 * 8192 + 3);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "old"));
  EXPECT_EQ(MoveCartFile(src, dst, {}), TCopyOutcome::Done);
  EXPECT_EQ(Read(dst), data);
  EXPECT_FALSE(plat::FileExists(src));
  EXPECT_EQ(Entries(dir.Root()), std::vector<std::string>{"News.wav"});
  ::rmdir(tmpl);
}

TEST(CartFiles, SameFileIsDecidedByTheFileSystem) {
  Scratch dir;
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("Take.wav"), "a"));
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("take.wav"), "b"));
  // Names that differ only in case are two files here: a save must not skip the copy.
  EXPECT_FALSE(SameCartFile(dir.Path("Take.wav"), dir.Path("take.wav")));
  ASSERT_EQ(::symlink(dir.Path("Take.wav").c_str(), dir.Path("link.wav").c_str()), 0);
  EXPECT_TRUE(SameCartFile(dir.Path("link.wav"), dir.Path("Take.wav")));
  EXPECT_TRUE(SameCartFile(dir.Path("new.wav"), dir.Path("sub/../new.wav")));
}
