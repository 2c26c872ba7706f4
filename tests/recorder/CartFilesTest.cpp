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

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 31 + size_t(seed) * 7 + i / 251) & 0xFF);
  return s;
}

std::string Read(const std::string& path) {
  std::string s;
  plat::ReadWholeFile(path, s);
  return s;
}

// Everything in folder, hidden files included.
std::vector<std::string> Entries(const std::string& folder) {
  auto v = plat::ListFiles(folder, "*", true);
  auto hidden = plat::ListFiles(folder, ".*", true);
  v.insert(v.end(), hidden.begin(), hidden.end());
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(CartFiles, CopyIsWholeAndLeavesNothingBehind) {
  Scratch dir;
  const std::string src = dir.Path("take.wav"), dst = dir.Path("out/saved.wav");
  const std::string data = Pattern(3 * 8192 + 17, 1);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::CreateDir(dir.Path("out")));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "an older take"));

  int64_t total = -1, last = -1;
  int blocks = 0;
  TCopyProgress p;
  p.OnSize = [&](int64_t t) { total = t; };
  p.OnBlock = [&](int64_t done) {
    EXPECT_GE(done, last);
    last = done;
    ++blocks;
  };
  ASSERT_EQ(CopyCartFile(src, dst, p), TCopyOutcome::Done);
  EXPECT_EQ(Read(dst), data);
  EXPECT_EQ(total, int64_t(data.size()));
  EXPECT_EQ(blocks, 5);  // before each of 4 blocks and before the read that finds the end
  EXPECT_EQ(Read(src), data);

  // A folder as the target takes the source's name; a folder itself is never replaced.
  EXPECT_EQ(CartCopyTarget(src, dir.Path("out")), dir.Path("out/take.wav"));
  EXPECT_EQ(CartCopyTarget(src, dir.Path("out/x/../saved.wav")), dst);
  EXPECT_EQ(CopyCartFile(src, dir.Path("out"), {}), TCopyOutcome::Failed);
  EXPECT_TRUE(plat::DirectoryExists(dir.Path("out")));
  // An empty source gives an empty copy.
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("empty.wav"), ""));
  ASSERT_EQ(CopyCartFile(dir.Path("empty.wav"), dir.Path("out/empty.wav"), {}), TCopyOutcome::Done);
  EXPECT_EQ(plat::FileSize(dir.Path("out/empty.wav")), 0);
  EXPECT_EQ(Entries(dir.Path("out")), (std::vector<std::string>{"empty.wav", "saved.wav"}));
}

TEST(CartFiles, ACancelledOrFailedCopyKeepsTheOldTarget) {
  Scratch dir;
  const std::string src = dir.Path("take.wav"), dst = dir.Path("saved.wav");
  const std::string data = Pattern(10 * 8192, 2);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "the older take"));

  // Cancelled after three blocks: half a copy must never take the old take's place.
  int asked = 0;
  TCopyProgress p;
  p.Cancelled = [&] { return ++asked > 3; };
  EXPECT_EQ(CopyCartFile(src, dst, p), TCopyOutcome::Cancelled);
  EXPECT_EQ(Read(dst), "the older take");
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"saved.wav", "take.wav"}));

  // A cancel that comes with the last block still cancels.
  int64_t size = int64_t(data.size());
  bool cancel = false;
  p.OnBlock = [&](int64_t done) { cancel = done >= size; };
  p.Cancelled = [&] { return cancel; };
  EXPECT_EQ(CopyCartFile(src, dst, p), TCopyOutcome::Cancelled);
  EXPECT_EQ(Read(dst), "the older take");

  // A source that is gone.
  EXPECT_EQ(CopyCartFile(dir.Path("missing.wav"), dst, {}), TCopyOutcome::Failed);
  EXPECT_EQ(Read(dst), "the older take");

  // A target whose folder is a regular file (no permission check stops root here).
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("plain"), "x"));
  EXPECT_EQ(CopyCartFile(src, dir.Path("plain/saved.wav"), {}), TCopyOutcome::Failed);
  EXPECT_EQ(Read(dir.Path("plain")), "x");
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"plain", "saved.wav", "take.wav"}));
}

TEST(CartFiles, MoveReplacesInOneStep) {
  Scratch dir;
  const std::string src = dir.Path("Untitled.wav"), dst = dir.Path("News.wav");
  const std::string data = Pattern(20000, 3);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "yesterday's news"));
  // A link kept to the old target still sees the old bytes: it was replaced, not rewritten.
  ASSERT_EQ(::link(dst.c_str(), dir.Path("kept.wav").c_str()), 0);
  ASSERT_EQ(MoveCartFile(src, dst, {}), TCopyOutcome::Done);
  EXPECT_EQ(Read(dst), data);
  EXPECT_FALSE(plat::FileExists(src));
  EXPECT_EQ(Read(dir.Path("kept.wav")), "yesterday's news");
  // Nothing to move: the target stays as it is.
  EXPECT_EQ(MoveCartFile(src, dst, {}), TCopyOutcome::Failed);
  EXPECT_EQ(Read(dst), data);
  // A target that cannot be: the source stays.
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  EXPECT_EQ(MoveCartFile(src, dir.Path("News.wav/x.wav"), {}), TCopyOutcome::Failed);
  EXPECT_EQ(Read(src), data);
}

TEST(CartFiles, MoveAcrossFileSystemsCopiesThenRemoves) {
  Scratch dir;
  // /dev/shm is a file system of its own on most machines; where it is not, there is nothing to see.
  struct stat a, b;
  if (::stat(dir.Root().c_str(), &a) != 0 || ::stat("/dev/shm", &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system beside the scratch folder";
  char tmpl[] = "/dev/shm/solvane-move-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string other = tmpl;
  const std::string src = other + "/Untitled.wav", dst = dir.Path("News.wav");
  const std::string data = Pattern(5 * 8192 + 3, 4);
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "old"));
  int64_t total = 0;
  TCopyProgress p;
  p.OnSize = [&](int64_t t) { total = t; };
  EXPECT_EQ(MoveCartFile(src, dst, p), TCopyOutcome::Done);
  EXPECT_EQ(Read(dst), data);
  EXPECT_EQ(total, int64_t(data.size()));  // it went through the copy
  EXPECT_FALSE(plat::FileExists(src));
  EXPECT_EQ(Entries(dir.Root()), std::vector<std::string>{"News.wav"});

  // Cancelled: the source stays, the target keeps its old bytes.
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "old"));
  p.Cancelled = [] { return true; };
  EXPECT_EQ(MoveCartFile(src, dst, p), TCopyOutcome::Cancelled);
  EXPECT_EQ(Read(src), data);
  EXPECT_EQ(Read(dst), "old");
  ::unlink(src.c_str());
  ::rmdir(other.c_str());
}

TEST(CartFiles, SameFileIsDecidedByTheFileSystem) {
  Scratch dir;
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("Take.wav"), "a"));
  ASSERT_TRUE(plat::WriteWholeFile(dir.Path("take.wav"), "b"));
  // Names that differ only in case are two files here: a save must not skip the copy.
  EXPECT_FALSE(SameCartFile(dir.Path("Take.wav"), dir.Path("take.wav")));
  EXPECT_TRUE(SameCartFile(dir.Path("Take.wav"), dir.Path("sub/../Take.wav")));
  ASSERT_EQ(::symlink(dir.Path("Take.wav").c_str(), dir.Path("link.wav").c_str()), 0);
  EXPECT_TRUE(SameCartFile(dir.Path("link.wav"), dir.Path("Take.wav")));
  // A target that does not exist yet is the same only by its path.
  EXPECT_TRUE(SameCartFile(dir.Path("new.wav"), dir.Path("./new.wav")));
  EXPECT_FALSE(SameCartFile(dir.Path("new.wav"), dir.Path("New.wav")));
}
