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

  // A read-only cart's copy keeps its mode but is its owner's to write: it is there to be edited.
  ASSERT_EQ(::chmod(src.c_str(), 0444), 0);
  ASSERT_EQ(CopyCartFile(src, dir.Path("edit.wav"), {}), TCopyOutcome::Done);
  struct stat st {};
  ASSERT_EQ(::stat(dir.Path("edit.wav").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
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

// A save's move replaces only the agreed file, and a name held by any other goes to a free
// "Copy (n) of" name: two decks saving one name, or a file written at the name during the save.
TEST(CartFiles, ASaveReplacesOnlyTheAgreedFile) {
  Scratch dir;
  ASSERT_TRUE(plat::CreateDir(dir.Path("carts")));
  const std::string target = dir.Path("carts/News.wav");
  const auto save = [&](const std::string& take, const plat::FileIdentity& agreed) {
    const std::string source = dir.Path("Untitled.wav");
    EXPECT_TRUE(plat::WriteWholeFile(source, take));
    TSaveRequest request{source, target, true, agreed};
    int asked = 0;
    const TSaveResult r = SaveTake(request, {}, [&](int) { return ++asked, true; });
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(r.end, TSaveEnd::Saved);
    EXPECT_FALSE(plat::FileExists(source)) << "a take made here moves";
    return r;
  };
  // Deck A takes the free name; deck B, which was asked nothing either, does not replace it.
  TSaveResult r = save("take A", {});
  EXPECT_EQ(r.savedAs, target);
  EXPECT_FALSE(r.nameTaken);
  r = save("take B", {});
  EXPECT_TRUE(r.nameTaken);
  EXPECT_EQ(r.savedAs, dir.Path("carts/Copy (1) of News.wav"));
  EXPECT_EQ(Read(target), "take A");
  EXPECT_EQ(Read(r.savedAs), "take B");
  // Agreed to: replaced. A file that took the name after the question: kept.
  r = save("take C", plat::IdentifyFile(target));
  EXPECT_EQ(r.savedAs, target);
  EXPECT_FALSE(r.nameTaken);
  EXPECT_EQ(Read(target), "take C");
  const plat::FileIdentity asked = plat::IdentifyFile(target);
  ASSERT_TRUE(plat::DeleteFile(target));
  ASSERT_TRUE(plat::WriteWholeFile(target, "written meanwhile"));
  r = save("take D", asked);
  EXPECT_TRUE(r.nameTaken);
  EXPECT_EQ(r.savedAs, dir.Path("carts/Copy (2) of News.wav"));
  EXPECT_EQ(Read(target), "written meanwhile");
  EXPECT_EQ(Read(r.savedAs), "take D");
  EXPECT_EQ(Entries(dir.Path("carts")),
            (std::vector<std::string>{"Copy (1) of News.wav", "Copy (2) of News.wav", "News.wav"}));
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
  // Written at the name after the operator agreed to replace what was there: it stays, and the
  // copy goes to a free name.
  const plat::FileIdentity agreed = plat::IdentifyFile(dst);
  ASSERT_TRUE(plat::DeleteFile(dst));
  ASSERT_TRUE(plat::WriteWholeFile(dst, "new"));
  const auto no = [](int) { return false; };
  TSaveResult r = SaveTake({src, dst, true, agreed}, {}, no);
  EXPECT_EQ(r.end, TSaveEnd::Saved);
  EXPECT_EQ(r.savedAs, dir.Path("Copy (1) of News.wav"));
  EXPECT_EQ(Read(dst), "new");
  EXPECT_EQ(Read(r.savedAs), data);
  EXPECT_FALSE(plat::FileExists(src));
  // The file agreed to is replaced.
  ASSERT_TRUE(plat::WriteWholeFile(src, data));
  r = SaveTake({src, dst, true, plat::IdentifyFile(dst)}, {}, no);
  EXPECT_EQ(r.savedAs, dst);
  EXPECT_EQ(Read(dst), data);
  EXPECT_FALSE(plat::FileExists(src));
  EXPECT_EQ(Entries(dir.Root()), (std::vector<std::string>{"Copy (1) of News.wav", "News.wav"}));
  ::rmdir(tmpl);
}

// A folder that cannot be opened is told with its reason, and the take stays where it is: here its
// path is longer than the system takes.
TEST(CartFiles, ASaveIntoAFolderThatCannotBeOpenedSaysWhy) {
  Scratch dir;
  const std::string source = dir.Path("Untitled.wav");
  ASSERT_TRUE(plat::WriteWholeFile(source, "take"));
  std::string folder = dir.Root();
  while (folder.size() <= 4096) folder += "/" + std::string(200, 'f');
  const TSaveResult r = SaveTake({source, folder + "/News.wav", true, {}}, {}, [](int) { return false; });
  EXPECT_EQ(r.end, TSaveEnd::MoveFailed);
  EXPECT_EQ(SaveErrorReason(r.error), "The name is too long for that folder.");
  EXPECT_EQ(Read(source), "take");
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
