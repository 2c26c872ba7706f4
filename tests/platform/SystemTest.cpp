#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/audio/riff_io.h"
#include "platform/audio/simple_wav.h"
#include "platform/system/checked.h"
#include "platform/system/clock.h"
#include "platform/system/component.h"
#include "platform/system/files.h"
#include "platform/system/list_lock.h"
#include "platform/system/names.h"
#include "platform/system/single_instance.h"
#include "platform/system/threads.h"
#include "tests/common/scoped_env.h"
#include "tests/common/scratch.h"
#include "RefusedLinks.h"

using namespace plat;

TEST(Checked, OverflowAndRange) {
  EXPECT_EQ(CheckedAdd<int32_t>(INT32_MAX - 1, 1), INT32_MAX);
  EXPECT_THROW(CheckedAdd<int32_t>(INT32_MAX, 1), EIntOverflow);
  EXPECT_THROW(CheckedSub<int32_t>(INT32_MIN, 1), EIntOverflow);
  EXPECT_THROW(CheckedMul<int32_t>(65536, 65536), EIntOverflow);
  EXPECT_THROW(CheckedDiv<int32_t>(INT32_MIN, -1), EIntOverflow);
  EXPECT_THROW(CheckedDiv<int32_t>(1, 0), EDivByZero);
  EXPECT_THROW((RangeChecked<int>(36, 0, 35)), ERangeError);
  EXPECT_EQ((RangeChecked<int>(35, 0, 35)), 35);
  EXPECT_THROW(Narrow<int16_t>(40000), ERangeError);
  EXPECT_THROW(Narrow<uint32_t>(-1), ERangeError);
  try {
    CheckedAdd<int64_t>(INT64_MAX, 1);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Integer overflow");
  }
  try {
    Narrow<uint8_t>(300);
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Range check error");
  }
}

TEST(Clock, MonotonicMicroseconds) {
  int64_t a = MicroSeconds();
  SleepMs(2);
  int64_t b = MicroSeconds();
  EXPECT_GE(b - a, 2000);
  // A plain 64-bit count of microseconds: positive, and far from wrapping.
  EXPECT_GT(a, 0);
}

TEST(Threads, EventsManualAndAuto) {
  Event autoEv(false, false), manual(true, false);
  EXPECT_FALSE(autoEv.Wait(0));
  autoEv.Set();
  EXPECT_TRUE(autoEv.Wait(0));
  EXPECT_FALSE(autoEv.Wait(0));  // consumed
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(0));
  std::thread t = StartThread([&] { autoEv.Set(); }, ThreadPriority::AboveNormal, "setter");
  EXPECT_TRUE(autoEv.Wait(5000));
  t.join();
}

namespace {
struct Watcher : TComponent {
  using TComponent::TComponent;
  std::vector<std::pair<TComponent*, TOperation>> seen;
  TComponent* link = nullptr;
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    seen.push_back({c, op});
    if (op == opRemove && c == link) link = nullptr;
  }
};
}  // namespace

TEST(Component, OwnershipAndFreeNotification) {
  auto* owner = new Watcher(nullptr);
  auto* a = new Watcher(owner);
  auto* b = new Watcher(owner);
  a->SetName("First");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->FindComponent("FIRST"), a);
  // An unowned component linked to a learns of its end through free notification.
  Watcher outsider(nullptr);
  outsider.link = a;
  a->FreeNotification(&outsider);
  delete a;
  EXPECT_EQ(outsider.link, nullptr);
  EXPECT_EQ(owner->ComponentCount(), 1);
  // The sibling heard of the removal through the owner.
  bool siblingHeard = false;
  for (auto& s : b->seen) siblingHeard |= (s.second == opRemove);
  EXPECT_TRUE(siblingHeard);
  delete owner;  // frees b too
}

TEST(Component, AssignWithoutSupportRaises) {
  TPersistent p, q;
  EXPECT_THROW(p.Assign(&q), EConvertError);
  EXPECT_THROW(p.Assign(nullptr), EConvertError);
}

TEST(Files, PathPieces) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.wav"), "/a/b/");
  EXPECT_EQ(ExtractFileDir("/a/b/c.wav"), "/a/b");
  EXPECT_EQ(ExtractFileName("/a/b/c.wav"), "c.wav");
  EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
  EXPECT_EQ(ExtractFileExt("c.WAV"), ".WAV");
  EXPECT_EQ(ChangeFileExt("/a/b.d/c.wav", ".txt"), "/a/b.d/c.txt");
  EXPECT_EQ(ChangeFileExt("/a/b.d/c", ".wav"), "/a/b.d/c.wav");
  EXPECT_EQ(ExpandFileName("/a/./b/../c"), "/a/c");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_TRUE(MatchesMask("TAKE.WAV", "*.wav"));
  EXPECT_TRUE(MatchesMask("default.svu", "DEFAULT.SVU"));
  EXPECT_FALSE(MatchesMask("take.wave", "*.wav"));
  // "*.*" is every file, with or without a dot.
  for (const char* name : {"notes", ".lock", "take.wav"}) EXPECT_TRUE(MatchesMask(name, "*.*")) << name;
}

TEST(Files, CopyRenameAndReadOnly) {
  Scratch dir;
  std::string a = dir.Path("a.bin"), b = dir.Path("sub/b.bin");
  ASSERT_TRUE(WriteWholeFile(a, std::string("\0\x01\x02payload", 10)));
  EXPECT_FALSE(CopyFile(a, b));  // the folder is missing
  ASSERT_TRUE(ForceDirectories(dir.Path("sub/deeper")));
  ASSERT_TRUE(CopyFile(a, b));
  EXPECT_FALSE(CopyFile(a, b, true));  // fail if it exists
  std::string got;
  ASSERT_TRUE(ReadWholeFile(b, got));
  EXPECT_EQ(got, std::string("\0\x01\x02payload", 10));
  EXPECT_EQ(FileSize(b), 10);
  EXPECT_EQ(FileSize(dir.Path("none")), -1);
  ASSERT_TRUE(RenameFile(b, dir.Path("c.bin")));
  EXPECT_FALSE(FileExists(b));
  EXPECT_TRUE(FileExists(dir.Path("c.bin")));
  EXPECT_FALSE(IsReadOnly(a));
  ASSERT_TRUE(SetReadOnly(a, true));
  EXPECT_TRUE(IsReadOnly(a));  // even for root, who could still write
  EXPECT_EQ(ListFiles(dir.Path(""), "*.BIN"), (std::vector<std::string>{"a.bin", "c.bin"}));
}

// Each way of taking a name: a no-replace rename, a second link where renames cannot refuse, an
// exclusive create of the name and a rename over that empty file where neither can (FAT, FUSE,
// some shares), and a copy into the empty file where even a rename over a file is refused.
TEST(Files, NoReplaceMovesLeaveWhatHoldsTheName) {
  Scratch dir;
  const std::string held = dir.Path("bob.svu");
  ASSERT_TRUE(WriteWholeFile(held, "theirs"));
  enum Refusing { Nothing, NoReplaceAndLinks, RenamesOverFilesToo };
  for (const Refusing refusing : {Nothing, NoReplaceAndLinks, RenamesOverFilesToo}) {
    SCOPED_TRACE(refusing == Nothing             ? "a file system that refuses in a rename"
                 : refusing == NoReplaceAndLinks ? "no-replace renames and links refused"
                                                 : "renames over a file refused as well");
    std::optional<RefusedLinks> fat;
    if (refusing != Nothing) fat.emplace(refusing == NoReplaceAndLinks);
    const std::string ours = CreateUniqueFile(dir.Root(), ".part-");
    ASSERT_FALSE(ours.empty());
    struct stat st;
    ASSERT_EQ(::stat(ours.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string bytes(200000, 'o');  // more than one block of the copy
    ASSERT_TRUE(WriteWholeFile(ours, bytes));
    ASSERT_EQ(::chmod(ours.c_str(), 0640), 0);
    // Another group than the one a file made here gets, where root may give one.
    const gid_t group = ::geteuid() == 0 ? gid_t(65534) : ::getegid();
    ASSERT_EQ(::chown(ours.c_str(), uid_t(-1), group), 0);
    EXPECT_FALSE(RenameNoReplace(ours, held));
    EXPECT_EQ(errno, EEXIST);
    std::string got;
    ASSERT_TRUE(ReadWholeFile(held, got));
    EXPECT_EQ(got, "theirs");
    EXPECT_TRUE(FileExists(ours)) << "a refused move keeps the file it was to move";
    // A folder at the name stays too.
    ASSERT_TRUE(CreateDir(dir.Path("folder.svu")));
    EXPECT_FALSE(RenameNoReplace(ours, dir.Path("folder.svu")));
    EXPECT_TRUE(DirectoryExists(dir.Path("folder.svu")));
    const std::string free = dir.Path("amy.svu");
    ASSERT_EQ(::stat(ours.c_str(), &st), 0);
    const ino_t file = st.st_ino;
    ASSERT_TRUE(RenameNoReplace(ours, free));
    EXPECT_FALSE(FileExists(ours));
    ASSERT_TRUE(ReadWholeFile(free, got));
    EXPECT_TRUE(got == bytes);
    ASSERT_EQ(::stat(free.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the mode goes with the file";
    EXPECT_EQ(st.st_gid, group) << "and so does the group";
    // The file itself took the name where a rename could replace the empty file, so no part of it
    // ever stood there (a kill mid-copy would leave one under the name).
    if (refusing != RenamesOverFilesToo) {
      EXPECT_EQ(st.st_ino, file);
    }
    if (fat) {
      EXPECT_GE(fat->Refused(), refusing == NoReplaceAndLinks ? 2 : 3) << "the rename and the link were both refused";
    }
    // Nothing of a move is left beside the names.
    EXPECT_EQ(ListFiles(dir.Root(), "*.*", true), (std::vector<std::string>{"amy.svu", "bob.svu", "folder.svu"}));
    ASSERT_TRUE(DeleteFile(free));
    ASSERT_TRUE(RemoveDir(dir.Path("folder.svu")));
  }
}

// A refusal ("not permitted") is told as one of the name only where nothing stands at it: a file
// there, or its owner, may be why; any other error says what it says.
TEST(Files, ARefusalIsOfTheNameOnlyWhereNothingStandsThere) {
  Scratch dir;
  ASSERT_TRUE(WriteWholeFile(dir.Path("News.wav"), "theirs"));
  const FolderHandle folder(dir.Root());
  ASSERT_TRUE(folder.Ok());
  EXPECT_EQ(JudgeNameRefusal(folder.Fd(), "News.wav", EPERM), NameRefusal::NotTheName);
  EXPECT_EQ(JudgeNameRefusal(folder.Fd(), "News at 9:00.wav", EIO), NameRefusal::NotTheName);
  EXPECT_EQ(JudgeNameRefusal(folder.Fd(), "News at 9:00.wav", EACCES), NameRefusal::Unsaid);
  EXPECT_EQ(JudgeNameRefusal(folder.Fd(), std::string(300, 'N') + ".wav", EPERM), NameRefusal::TooLong);
}

// A file replaced only when it is the one agreed to, judged at the moment it goes: swapped out
// where the file system can, moved aside first where it cannot.
TEST(Files, OnlyTheAgreedFileIsReplaced) {
  Scratch dir;
  const std::string target = dir.Path("News.wav"), ours = dir.Path(".take");
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no swaps, no-replace renames or links" : "a file system that swaps");
    std::optional<RefusedLinks> fat;
    if (refused) fat.emplace();
    const auto take = [&] { ASSERT_TRUE(WriteWholeFile(ours, "take")); };
    const auto read = [](const std::string& path) {
      std::string got;
      return ReadWholeFile(path, got) ? got : std::string("(none)");
    };
    // The agreed file goes.
    ASSERT_TRUE(WriteWholeFile(target, "agreed"));
    FileIdentity agreed = IdentifyFile(target);
    ASSERT_TRUE(agreed.exists);
    take();
    ASSERT_TRUE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed));
    EXPECT_EQ(read(target), "take");
    EXPECT_FALSE(FileExists(ours));
    // Another file that took the name after the agreement stays, and so does the take.
    agreed = IdentifyFile(target);
    ASSERT_TRUE(DeleteFile(target));
    ASSERT_TRUE(WriteWholeFile(target, "written meanwhile"));
    take();
    EXPECT_FALSE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(read(target), "written meanwhile");
    EXPECT_EQ(read(ours), "take");
    // So does the agreed file once it was written again in place.
    agreed = IdentifyFile(target);
    ASSERT_TRUE(WriteWholeFile(target, "written again"));
    EXPECT_FALSE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed));
    EXPECT_EQ(read(target), "written again");
    // The agreed file gone: the free name is taken, and with nothing agreed nothing is replaced.
    ASSERT_TRUE(DeleteFile(target));
    ASSERT_TRUE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed));
    EXPECT_EQ(read(target), "take");
    take();
    EXPECT_FALSE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, FileIdentity{}));
    EXPECT_EQ(errno, EEXIST);
    // Nothing but a file or a link is replaced, even when agreed: a FIFO (or a device) stays.
    ASSERT_TRUE(DeleteFile(target));
    ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    agreed = IdentifyFile(target);
    EXPECT_FALSE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed));
    EXPECT_EQ(errno, EEXIST);
    struct stat st {};
    EXPECT_TRUE(::lstat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_EQ(read(ours), "take");
    ASSERT_TRUE(DeleteFile(target));
    ASSERT_EQ(::symlink("/dev/null", target.c_str()), 0);
    agreed = IdentifyFile(target);
    ASSERT_TRUE(RenameReplacingAt(AT_FDCWD, ours, AT_FDCWD, target, agreed)) << "a link goes as a name";
    EXPECT_EQ(read(target), "take");
    take();
    if (fat) {
      EXPECT_GT(fat->Refused(), 0);
    }
    // Nothing was left aside.
    EXPECT_EQ(ListFiles(dir.Root(), "*.*", true), (std::vector<std::string>{".take", "News.wav"}));
    ASSERT_TRUE(DeleteFile(ours));
    ASSERT_TRUE(DeleteFile(target));
  }
}

// A folder held open tells where it is after it was moved, and names taken relative to it land in it.
TEST(Files, AnOpenFolderFollowsItsMove) {
  Scratch dir;
  ASSERT_TRUE(CreateDir(dir.Path("carts")));
  FolderHandle folder(dir.Path("carts"));
  ASSERT_TRUE(folder.Ok());
  ASSERT_EQ(::rename(dir.Path("carts").c_str(), dir.Path("moved").c_str()), 0);
  EXPECT_EQ(folder.Path(), dir.Path("moved/"));
  ASSERT_TRUE(WriteWholeFile(dir.Path("take"), "take"));
  ASSERT_TRUE(RenameNoReplaceAt(AT_FDCWD, dir.Path("take"), folder.Fd(), "News.wav"));
  EXPECT_TRUE(FileExists(dir.Path("moved/News.wav")));
}

// A hidden file of work in progress goes once its writer is gone, never while it is held.
TEST(Files, AbandonedFilesGoAndHeldOnesStay) {
  Scratch dir;
  FolderHandle folder(dir.Root());
  std::string held, left, fresh;
  const int heldFd = CreateLockedFileAt(folder.Fd(), ".work-", held);
  ASSERT_GE(heldFd, 0);
  EXPECT_EQ(held.size(), 6u + 6u);
  const int leftFd = CreateLockedFileAt(folder.Fd(), ".work-", left);
  const int freshFd = CreateLockedFileAt(folder.Fd(), ".work-", fresh);
  ASSERT_GE(leftFd, 0);
  ASSERT_GE(freshFd, 0);
  // Written an hour ago: the held one and the one whose writer ended (its lock went with it).
  const timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
  ASSERT_EQ(::futimens(heldFd, old), 0);
  ASSERT_EQ(::futimens(leftFd, old), 0);
  ::close(leftFd);
  ::close(freshFd);  // just made: its writer may be about to lock it
  ASSERT_EQ(::mkfifo(dir.Path(".work-fifo").c_str(), 0600), 0);
  ASSERT_EQ(::symlink(dir.Path(left).c_str(), dir.Path(".work-link").c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(dir.Path("other"), "x"));
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.Path("other").c_str(), old, 0), 0);

  EXPECT_EQ(RemoveAbandonedFiles(folder.Fd(), ".work-"), 1);
  EXPECT_FALSE(FileExists(dir.Path(left)));
  EXPECT_TRUE(FileExists(dir.Path(held)));
  EXPECT_TRUE(FileExists(dir.Path(fresh)));
  EXPECT_TRUE(FileExists(dir.Path(".work-fifo")));
  struct stat st;
  EXPECT_EQ(::lstat(dir.Path(".work-link").c_str(), &st), 0);
  EXPECT_TRUE(FileExists(dir.Path("other")));
  // Once its writer lets go, the held one is abandoned too.
  ::close(heldFd);
  EXPECT_EQ(RemoveAbandonedFiles(folder.Fd(), ".work-"), 1);
  EXPECT_FALSE(FileExists(dir.Path(held)));
}

TEST(Files, FolderRules) {
  Scratch dir;
  {
    ScopedEnv home("SOLVANE_HOME", dir.Path("home").c_str());
    EXPECT_EQ(ProgramFolder(), dir.Path("home/"));
    EXPECT_TRUE(DirectoryExists(dir.Path("home")));
  }
  {
    ScopedEnv tmp("TMPDIR", dir.Path("tmp").c_str());
    EXPECT_EQ(TempPath(), dir.Path("tmp/"));
    EXPECT_EQ(LastingTempPath("solvane-test"), dir.Path("tmp/"));
  }
  {
    ScopedEnv tmp("TMPDIR", nullptr);
    EXPECT_EQ(TempPath(), "/tmp/");
    // The account's own folder on /var/tmp is only named here; whoever holds it makes it.
    const std::string own = "/var/tmp/solvane-test-" + std::to_string(::geteuid()) + "/";
    EXPECT_EQ(LastingTempPath("solvane-test"), own);
    EXPECT_FALSE(DirectoryExists(own));
  }
  EXPECT_FALSE(UserName().empty());
  EXPECT_FALSE(VersionText().empty());
}

TEST(Files, ANewFileReplacesALinkAndNeverWritesThroughIt) {
  Scratch dir;
  const std::string target = dir.Path("jingle.wav"), at = dir.Path("Untitled.wav");
  ASSERT_TRUE(WriteWholeFile(target, "precious"));
  ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0);
  ASSERT_TRUE(WriteNewFile(at, "header"));
  std::string got;
  EXPECT_TRUE(ReadWholeFile(target, got) && got == "precious");
  struct stat st {};
  ASSERT_EQ(::lstat(at.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_TRUE(ReadWholeFile(at, got) && got == "header");
  ASSERT_TRUE(CreateDir(dir.Path("folder.wav")));
  EXPECT_FALSE(WriteNewFile(dir.Path("folder.wav"), "header"));
}

// The order files, the first settings file and copies: nothing at the name holds the writer up,
// and nothing but a regular file is written, neither a FIFO someone reads, nor a device behind a
// link of our own, nor what a link of another account leads to.
TEST(Files, AWriterNeverWaitsOnNorWritesIntoAnythingButAFile) {
  Scratch dir;
  const std::string source = dir.Path("order.txt"), kept = dir.Path("kept.txt");
  ASSERT_TRUE(WriteWholeFile(source, "[News.wav]"));
  ASSERT_TRUE(WriteWholeFile(kept, "kept"));
  const std::string fifo = dir.Path("mail.txt"), device = dir.Path("News.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
  // With a reader there, a plain open for writing would not wait but write into the FIFO.
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ASSERT_FALSE(WriteWholeFile(fifo, "[News.wav]"));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(CopyFile(source, fifo));
  char c;
  EXPECT_NE(::read(reader, &c, 1), 1) << "something reached the FIFO's reader";
  ::close(reader);
  // Without one it is refused at once, as a name to write and as a file to copy.
  EXPECT_FALSE(WriteWholeFile(fifo, "[News.wav]"));
  EXPECT_FALSE(CopyFile(fifo, dir.Path("copy.txt")));
  EXPECT_FALSE(FileExists(dir.Path("copy.txt")));
  EXPECT_FALSE(WriteWholeFile(device, "[News.wav]"));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(CopyFile(source, device));

  // A link of our own to a file is written through.
  const std::string ours = dir.Path("ours.txt");
  ASSERT_EQ(::symlink(kept.c_str(), ours.c_str()), 0);
  ASSERT_TRUE(WriteWholeFile(ours, "through"));
  std::string got;
  EXPECT_TRUE(ReadWholeFile(kept, got) && got == "through") << got;
  if (::geteuid() != 0) return;  // only root can give a link away
  const std::string theirs = dir.Path("theirs.txt");
  ASSERT_EQ(::symlink(kept.c_str(), theirs.c_str()), 0);
  ASSERT_EQ(::lchown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(WriteWholeFile(theirs, "[News.wav]"));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_FALSE(CopyFile(source, theirs));
  EXPECT_TRUE(ReadWholeFile(kept, got) && got == "through") << got;
}

TEST(Files, ASmallFileIsReadOnlyAsARegularFileWithinItsLimitAndNothingElseBlocks) {
  Scratch dir;
  const std::string ini = dir.Path("Solvane.ini");
  ASSERT_TRUE(WriteWholeFile(ini, "[GUI]\r\n"));
  SmallFile f = ReadSmallFile(ini);
  EXPECT_EQ(f.result, SmallRead::Read);
  EXPECT_EQ(f.data, "[GUI]\r\n");
  EXPECT_EQ(SmallFileRefusal(ini, f), "");

  // Nothing there is a missing file; a folder there holds no list and is named as it is.
  EXPECT_EQ(ReadSmallFile(dir.Path("none.svu")).result, SmallRead::Missing);
  EXPECT_EQ(ReadSmallFile(dir.Path("none/Default.svu")).result, SmallRead::Missing);
  const std::string folder = dir.Path("folder.svu");
  ASSERT_TRUE(CreateDir(folder));
  f = ReadSmallFile(folder);
  EXPECT_EQ(f.result, SmallRead::Folder);
  EXPECT_TRUE(f.Refused());
  EXPECT_EQ(SmallFileRefusal(folder, f), "Unable to read " + folder + ": it is a folder.");

  // A FIFO with no writer is refused at once instead of waiting for one; so is a device behind a
  // link of our own, which would never end.
  const std::string fifo = dir.Path("bob.svu"), zero = dir.Path("Default.svu");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
  f = ReadSmallFile(fifo);
  EXPECT_EQ(f.result, SmallRead::NotAFile);
  EXPECT_TRUE(f.Refused());
  EXPECT_EQ(SmallFileRefusal(fifo, f), "Unable to read " + fifo + ": it is not a regular file.");
  EXPECT_EQ(ReadSmallFile(zero).result, SmallRead::NotAFile);

  // Past the limit: refused without reading (a sparse file costs no disk).
  const std::string big = dir.Path("big.svu");
  ASSERT_TRUE(WriteWholeFile(big, ""));
  ASSERT_EQ(::truncate(big.c_str(), SmallFileLimit + 1), 0);
  f = ReadSmallFile(big);
  EXPECT_EQ(f.result, SmallRead::TooLarge);
  EXPECT_TRUE(f.data.empty());
  EXPECT_EQ(SmallFileRefusal(big, f), "Unable to read " + big + ": it is larger than 4 MB.");
  ASSERT_EQ(::truncate(big.c_str(), SmallFileLimit), 0);
  EXPECT_EQ(ReadSmallFile(big).data.size(), size_t(SmallFileLimit));
  EXPECT_EQ(ReadSmallFile(ini, 6).result, SmallRead::TooLarge);
  EXPECT_EQ(ReadSmallFile(ini, 7).result, SmallRead::Read);

  // A link that leads nowhere readable fails with the system's reason.
  const std::string loop = dir.Path("loop.svu");
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  f = ReadSmallFile(loop);
  EXPECT_EQ(f.result, SmallRead::Failed);
  EXPECT_EQ(f.error, ELOOP);
  EXPECT_EQ(SmallFileRefusal(loop, f), "Unable to read " + loop + ": " + std::strerror(ELOOP) + ".");

  if (::geteuid() != 0) return;  // only root can give a link away
  const std::string theirs = dir.Path("amy.svu");
  ASSERT_EQ(::symlink(ini.c_str(), theirs.c_str()), 0);
  ASSERT_EQ(::lchown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_EQ(ReadSmallFile(theirs).result, SmallRead::OthersLink);
}

// Every routine that opens a file the operator chose or a list named: a FIFO with no writer, a link
// of ours to one, a device, a socket and another account's link to a file of ours are each refused
// at once, with the reason, and nothing is read through them. Run in a child with a limit, since a
// routine that waited would wait for ever.
TEST(Files, AFileTheOperatorNamesIsOpenedOnlyWhenItIsARegularFileAndNothingAtItsNameIsWaitedOn) {
  Scratch dir;
  const std::string wav = dir.Path("Cart.wav"), fifo = dir.Path("Fifo.wav"), link = dir.Path("Link.wav"),
                    zero = dir.Path("Zero.wav"), theirs = dir.Path("Theirs.wav"), sock = dir.Path("Sock.wav");
  const std::string riff = std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1f\0\0\x80\x3e\0\0\2\0\x10\0data\0\0\0\0", 44);
  ASSERT_TRUE(WriteWholeFile(wav, riff));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);
  ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
  const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(sock.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, sock.c_str(), sock.size());
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const bool root = ::geteuid() == 0;  // only root can give a link away
  if (root) {
    ASSERT_EQ(::symlink(wav.c_str(), theirs.c_str()), 0);
    ASSERT_EQ(::lchown(theirs.c_str(), 65534, 65534), 0);
  }
  struct Refusal {
    std::string path;
    SmallRead why;
  };
  std::vector<Refusal> refusals = {
      {fifo, SmallRead::NotAFile}, {link, SmallRead::NotAFile}, {zero, SmallRead::NotAFile}, {sock, SmallRead::NotAFile}};
  if (root) refusals.push_back({theirs, SmallRead::OthersLink});
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);
    int faults = 0;
    const auto check = [&](bool ok, const std::string& what) {
      if (!ok) {
        std::fprintf(stderr, "%s\n", what.c_str());
        ++faults;
      }
    };
    const std::string workDir = dir.Path("work");
    CreateDir(workDir);
    for (const Refusal& r : refusals) {
      for (const int access : {O_RDONLY, O_RDWR}) {
        SmallRead why = SmallRead::Read;
        const int fd = OpenRegularFile(r.path, access, why);
        check(fd < 0 && why == r.why, "opened " + r.path);
        check(errno == (r.why == SmallRead::NotAFile ? ENXIO : ELOOP), "errno of " + r.path);
      }
      for (const RiffMode mode : {RiffMode::Read, RiffMode::ReadWrite, RiffMode::ReadWriteOrRead}) {
        SmallRead why = SmallRead::Read;
        check(RiffFile::Open(r.path, mode, &why) == nullptr && why == r.why, "RIFF-opened " + r.path);
      }
      std::string got;
      check(!ReadWholeFile(r.path, got), "read whole " + r.path);
      check(!CopyFile(r.path, dir.Path("copy.wav")) && !FileExists(dir.Path("copy.wav")), "copied " + r.path);
      SimpleWav sound;
      check(!ReadSimpleWav(r.path, sound), "read as a sound " + r.path);
      FolderHandle work(workDir);
      std::string name;
      int out = -1;
      check(CopyToWorkFile(r.path, work.Fd(), ".copy-", 4096, nullptr, nullptr, name, out) == CopyEnd::Failed,
            "copied to a work file " + r.path);
      if (out >= 0) ::close(out);
    }
    // The cart itself opens each way, and its bytes come through.
    SmallRead why = SmallRead::Failed;
    const int fd = OpenRegularFile(wav, O_RDWR, why);
    check(fd >= 0 && why == SmallRead::Read && (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0, "the cart did not open");
    if (fd >= 0) ::close(fd);
    check(RiffFile::Open(wav, RiffMode::ReadWriteOrRead) != nullptr, "the cart did not RIFF-open");
    std::string got;
    check(ReadWholeFile(wav, got) && got == riff, "the cart did not read");
    SimpleWav sound;
    check(ReadSimpleWav(wav, sound), "the cart did not read as a sound");
    ::_exit(faults == 0 ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFSIGNALED(status) ? "waited on what stood at a name" : "opened what it should have refused");
  EXPECT_EQ(RefusalText(fifo, SmallRead::NotAFile, 0), "Unable to read " + fifo + ": it is not a regular file.");
  EXPECT_EQ(RefusalText(theirs, SmallRead::OthersLink, 0),
            "Unable to read " + theirs + ": it is a link another account made.");
  ::close(listener);
}

// A sound read whole (the virtual input's file) larger than any RIFF file can be, as a sparse file
// makes one at no cost, is refused by its size: reading 5 GB into memory would hold the deck for
// many seconds and take the memory with it. The child has too little room for such a read (where no
// sanitizer needs the room for itself).
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SANITIZED_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SANITIZED_BUILD 1
#endif
TEST(Files, ASoundLargerThanAnyWaveFileIsRefusedWithoutBeingRead) {
  Scratch dir;
  const std::string huge = dir.Path("Huge.wav");
  const std::string riff = std::string("RIFF\xf8\xff\xff\xffWAVEfmt \x10\0\0\0\1\0\1\0\x40\x1f\0\0\x80\x3e\0\0\2\0\x10\0data\0\0\0\0", 44);
  ASSERT_TRUE(WriteWholeFile(huge, riff));
  ASSERT_EQ(::truncate(huge.c_str(), off_t(5) << 30), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(20);
#ifndef SANITIZED_BUILD
    const rlimit room{rlim_t(1) << 30, rlim_t(1) << 30};
    ::setrlimit(RLIMIT_AS, &room);
#endif
    SimpleWav sound;
    ::_exit(ReadSimpleWav(huge, sound) ? 1 : 0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "read into memory";
}

// The test channels take only what this account owns, never through a link: another account's FIFO
// is not read (nor waited on), and a log is appended to only when it is a file of ours with one
// name, so neither a link nor a second name leads an append into another file of ours.
TEST(Files, TheTestChannelsOpenOnlyThisAccountsOwnFilesAndNeverThroughALink) {
  Scratch dir;
  const std::string log = dir.Path("log"), own = dir.Path("own.txt"), twin = dir.Path("twin"), link = dir.Path("link");
  EXPECT_TRUE(AppendToOwnFile(log, "one\n"));
  EXPECT_TRUE(AppendToOwnFile(log, "two\n"));
  std::string got;
  EXPECT_TRUE(ReadOwnFile(log, got) && got == "one\ntwo\n") << got;
  struct stat st {};
  ASSERT_EQ(::stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ASSERT_TRUE(WriteWholeFile(own, "private"));
  ASSERT_EQ(::link(own.c_str(), twin.c_str()), 0);
  ASSERT_EQ(::symlink(own.c_str(), link.c_str()), 0);
  EXPECT_FALSE(AppendToOwnFile(twin, "x"));
  EXPECT_EQ(errno, EMLINK);
  EXPECT_FALSE(AppendToOwnFile(link, "x"));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_FALSE(ReadOwnFile(link, got));
  EXPECT_TRUE(got.empty());
  EXPECT_TRUE(ReadWholeFile(own, got) && got == "private") << got;

  // A FIFO of ours is read to its lines; a regular file is no channel of keys.
  const std::string keys = dir.Path("keys");
  ASSERT_EQ(::mkfifo(keys.c_str(), 0600), 0);
  const int writer = ::open(keys.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "key F5\nkey F4\n", 14), 14);
  std::vector<std::string> lines;
  EXPECT_TRUE(ReadFifoLines(keys, [&](const std::string& l) {
    lines.push_back(l);
    return lines.size() < 2;
  }));
  EXPECT_EQ(lines, (std::vector<std::string>{"key F5", "key F4"}));
  EXPECT_FALSE(ReadFifoLines(log, [](const std::string&) { return false; }));
  EXPECT_EQ(errno, ENXIO);

  if (::geteuid() != 0) return;  // only root can give a file away
  ASSERT_EQ(::chown(keys.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(twin.c_str(), 65534, 65534), 0);  // own.txt with it: both names are one file
  ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
  // Lines wait in the FIFO: a reader that took another account's FIFO would hand them on.
  ASSERT_EQ(::write(writer, "key F5\n", 7), 7);
  lines.clear();
  EXPECT_FALSE(ReadFifoLines(keys, [&](const std::string& l) {
    lines.push_back(l);
    return false;
  }));
  EXPECT_EQ(errno, EPERM);
  EXPECT_TRUE(lines.empty());
  ::close(writer);
  EXPECT_FALSE(ReadOwnFile(twin, got));
  EXPECT_EQ(errno, EPERM);
  EXPECT_FALSE(AppendToOwnFile(link, "x"));
  ASSERT_TRUE(ReadWholeFile(own, got));
  EXPECT_EQ(got, "private");
}

TEST(Files, ASecretFileIsTheOwnersAloneUnlessItsFolderIsSharedWithAGroup) {
  Scratch dir;
  // The group the shared folders belong to: another one than ours where root may give it.
  const gid_t group = ::geteuid() == 0 ? gid_t(65534) : ::getegid();
  struct Case {
    const char* name;
    mode_t mode;
    bool shared;
  };
  for (const Case& c : {Case{"private", 0700, false}, Case{"readable", 0755, false}, Case{"group", 0770, true},
                        Case{"setgid", 02750, true}}) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir.Path(c.name);
    ASSERT_TRUE(CreateDir(folder));
    ASSERT_EQ(::chown(folder.c_str(), uid_t(-1), group), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
    const std::string path = folder + "/bob.svu";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(ProtectSecretFile(fd, folder + "/"));
    ::close(fd);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.shared ? 0660u : 0600u);
    if (c.shared) {
      EXPECT_EQ(st.st_gid, group);
    }
  }
}

TEST(Files, OpenFileDescriptionLocksConflictInOneProcess) {
  Scratch dir;
  std::string f = dir.Path("locked");
  ASSERT_TRUE(WriteWholeFile(f, "data"));
  int fd1 = ::open(f.c_str(), O_RDWR), fd2 = ::open(f.c_str(), O_RDWR);
  ASSERT_TRUE(LockRange(fd1, 0, 4));
  EXPECT_FALSE(LockRange(fd2, 0, 4));
  EXPECT_TRUE(LockRange(fd2, 4, 4));  // another range
  ASSERT_TRUE(UnlockRange(fd1, 0, 4));
  EXPECT_TRUE(LockRange(fd2, 0, 4));
  ::close(fd1);
  ::close(fd2);
}

// A list's lock is held by one at a time, with a bounded wait; a holder that puts a new file at the
// name hands the lock on with it, so the next one locks the file that now stands there.
TEST(Files, AListLockFollowsTheFileASaveRenamedIntoPlace) {
  Scratch dir;
  const std::string list = dir.Path("Default.svu"), fresh = dir.Path("Default.svu.new");
  ASSERT_TRUE(WriteWholeFile(list, "[Template 0]\r\n"));
  {
    ListLock first(list);
    ASSERT_EQ(first.Result(), ListLock::Held);
    const int64_t from = MicroSeconds();
    EXPECT_EQ(ListLock(list, 50).Result(), ListLock::Busy);
    EXPECT_GE(MicroSeconds() - from, 50000);
  }
  EXPECT_EQ(ListLock(list, 0).Result(), ListLock::Held) << "a lock outlived its holder";

  auto first = std::make_unique<ListLock>(list);
  ASSERT_EQ(first->Result(), ListLock::Held);
  std::atomic<int> second{-1};
  std::thread waiter([&] {
    ListLock next(list, 60000);
    second = next.Result();
    // Held on the file that stands at the name: a third deck must wait for it.
    if (next.Result() == ListLock::Held) {
      EXPECT_EQ(ListLock(list, 20).Result(), ListLock::Busy);
    }
  });
  SleepMs(30);  // the waiter is trying by now; if not yet, it finds the new file at once
  ASSERT_TRUE(WriteWholeFile(fresh, "[Template 1]\r\n"));
  ASSERT_TRUE(RenameAt(AT_FDCWD, fresh, AT_FDCWD, list));
  first.reset();
  waiter.join();
  EXPECT_EQ(second, ListLock::Held);

  // Nothing to lock: no file, or none that is a regular file, is no wait.
  EXPECT_EQ(ListLock(dir.Path("none.svu"), 60000).Result(), ListLock::Unlocked);
  const std::string fifo = dir.Path("bob.svu");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ListLock(fifo, 60000).Result(), ListLock::Unlocked);
}

// The program's output is a pipe or a socket (a service manager's journal) that nobody reads and
// that is full: a message written to it is dropped at once instead of stopping the program.
TEST(Files, OutputNobodyReadsNeverHoldsTheProgramUp) {
  const int savedOut = ::dup(STDOUT_FILENO), savedErr = ::dup(STDERR_FILENO);
  ASSERT_GE(savedOut, 0);
  ASSERT_GE(savedErr, 0);
  for (const bool socket : {false, true}) {
    SCOPED_TRACE(socket ? "a socket" : "a pipe");
    int ends[2];
    ASSERT_EQ(socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) : ::pipe2(ends, O_CLOEXEC), 0);
    const int out = ends[1];
    const int fl = ::fcntl(out, F_GETFL);
    ASSERT_EQ(::fcntl(out, F_SETFL, fl | O_NONBLOCK), 0);
    const std::string block(4096, 'x');
    while (::write(out, block.data(), block.size()) > 0) {}
    ASSERT_EQ(::fcntl(out, F_SETFL, fl), 0) << "the program is given it blocking";
    ASSERT_EQ(::dup2(out, STDOUT_FILENO), STDOUT_FILENO);
    ASSERT_EQ(::dup2(out, STDERR_FILENO), STDERR_FILENO);
    KeepOutputFromBlocking();
    // Checked before anything is written, so that a failure cannot hang the test.
    const bool outFree = ::fcntl(STDOUT_FILENO, F_GETFL) & O_NONBLOCK;
    const bool errFree = ::fcntl(STDERR_FILENO, F_GETFL) & O_NONBLOCK;
    if (outFree && errFree) {
      EXPECT_EQ(::write(STDERR_FILENO, "message\n", 8), -1);
      EXPECT_EQ(errno, EAGAIN);
    }
    ::dup2(savedOut, STDOUT_FILENO);
    ::dup2(savedErr, STDERR_FILENO);
    EXPECT_TRUE(outFree && errFree);
    ::close(ends[0]);
    ::close(ends[1]);
  }
  ::close(savedOut);
  ::close(savedErr);
}

TEST(Files, StartProcessDetached) {
  Scratch dir;
  std::string marker = dir.Path("ran");
  ASSERT_TRUE(StartProcess("sh", {"-c", "echo \"$1\" > \"$2\"", "sh", "with space", marker}));
  for (int i = 0; i < 500 && FileSize(marker) <= 0; ++i) SleepMs(10);
  std::string got;
  ASSERT_TRUE(ReadWholeFile(marker, got));
  EXPECT_EQ(got, "with space\n");
  EXPECT_FALSE(StartProcess("no-such-program-anywhere", {}));
  EXPECT_FALSE(StartProcess("sh", {}, dir.Path("missing-folder")));
}

// What a program is handed as its input and output is nothing of ours, watched or not; a watched
// one is seen to run until it has ended, and a failed start gives no watch.
TEST(Files, StartedProgramsGetNoOutputOfOursAndAWatchedOneIsSeenToEnd) {
  Scratch dir;
  const std::string go = dir.Path("go"), fds = dir.Path("fds");
  // A descriptor of ours opened without close-on-exec (a lock, a file a library opened) must not
  // reach the program: it would hold what the deck lets go.
  const int held = ::open(dir.Path("held").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(held, 0);
  constexpr int kHeldFd = 200;
  ASSERT_EQ(::dup2(held, kHeldFd), kHeldFd);
  ::close(held);
  const std::string script = "got=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2 /proc/$$/fd/" +
                             std::to_string(kHeldFd) + "); echo \"$got\" > \"$1.part\" && mv \"$1.part\" \"$1\"";
  for (bool watched : {false, true}) {
    SCOPED_TRACE(watched);
    DeleteFile(fds);
    TRunning running;
    // Only the watched one waits for the go: nobody could tell the other one that it may end.
    const std::string wait = watched ? "; while [ ! -e \"$2\" ]; do sleep 0.01; done" : "";
    ASSERT_TRUE(StartProcess("sh", {"-c", script + wait, "sh", fds, go}, {}, watched ? &running : nullptr));
    for (int i = 0; i < 6000 && !FileExists(fds); ++i) SleepMs(10);
    std::string got;
    ASSERT_TRUE(ReadWholeFile(fds, got));
    EXPECT_EQ(got, "/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_EQ(watched, running != nullptr);
    if (!watched) continue;
    EXPECT_TRUE(running->load()) << "it waits for the go";
    ASSERT_TRUE(WriteWholeFile(go, ""));
    for (int i = 0; i < 6000 && running->load(); ++i) SleepMs(10);
    EXPECT_FALSE(running->load());
    DeleteFile(go);
  }
  ::close(kHeldFd);
  TRunning none;
  EXPECT_FALSE(StartProcess("sh", {}, dir.Path("missing-folder"), &none));
  EXPECT_EQ(none, nullptr);
}

// A start that fails says why, for what stands at the path; a watched program tells how it ended.
TEST(Files, AProgramThatCannotStartSaysWhyAndAWatchedOneHowItEnded) {
  Scratch dir;
  const auto program = [&](const std::string& name, const std::string& text, mode_t mode) {
    const std::string path = dir.Path(name);
    EXPECT_TRUE(WriteWholeFile(path, text));
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  };
  const std::pair<std::string, int> failing[] = {{program("not-executable", "#!/bin/sh\n", 0644), EACCES},
                                                 {program("not-a-program", "just words\n", 0755), ENOEXEC},
                                                 {program("no-interpreter", "#!/no/such/shell\n", 0755), ENOENT},
                                                 {dir.Path("missing"), ENOENT},
                                                 {"no-such-program-anywhere", ENOENT}};
  for (const auto& [path, error] : failing) {
    TRunning running;
    errno = 0;
    EXPECT_FALSE(StartProcess(path, {}, {}, &running)) << path;
    EXPECT_EQ(errno, error) << path;
    errno = 0;
    EXPECT_FALSE(StartProcess(path, {})) << path;
    EXPECT_EQ(errno, error) << path << ", not watched";
  }

  struct Heard {
    std::atomic<bool> done{false};
    ProcessEnd end;
  };
  const std::pair<std::string, ProcessEnd> ends[] = {
      {"exit 0", {}}, {"exit 3", {3, 0, ""}}, {"kill -KILL $$", {0, SIGKILL, ::strsignal(SIGKILL)}}};
  for (const auto& [script, want] : ends) {
    auto heard = std::make_shared<Heard>();
    TRunning running;
    ASSERT_TRUE(StartProcess("sh", {"-c", script}, {}, &running, -1, [heard](const ProcessEnd& end) {
      heard->end = end;
      heard->done = true;
    }));
    for (int i = 0; i < 6000 && !heard->done; ++i) SleepMs(10);
    ASSERT_TRUE(heard->done) << script;
    EXPECT_FALSE(running->load());
    EXPECT_EQ(heard->end.exitCode, want.exitCode) << script;
    EXPECT_EQ(heard->end.signal, want.signal) << script;
    EXPECT_EQ(heard->end.signalName, want.signalName) << script;
    EXPECT_EQ(heard->end.Ok(), script == "exit 0");
  }
}

// A file handed to a started program (an order it reads) stays locked for as long as that program
// runs, past the starter's own copy, and no longer: another program started meanwhile does not
// get it, and a start that fails leaves nothing locked.
TEST(Files, AHandedLockLivesAsLongAsTheProgramThatGotIt) {
  Scratch dir;
  const std::string order = dir.Path("order"), go = dir.Path("go"), other = dir.Path("other"),
                    fd3 = dir.Path("fd3");
  ASSERT_TRUE(WriteWholeFile(order, "[take]"));
  EXPECT_FALSE(FileLocked(order));
  EXPECT_FALSE(FileLocked(dir.Path("missing")));
  const int opened = OpenSharedLock(order);
  ASSERT_GE(opened, 0);
  EXPECT_TRUE(FileLocked(order));
  // Away from descriptor 3, where the program is to find it.
  constexpr int kLockFd = 201;
  ASSERT_EQ(::dup2(opened, kLockFd), kLockFd);
  ::close(opened);

  // Each waits for its go, or ends once the folder is gone (a failed test).
  const auto waitFor = [&](const std::string& flag) {
    return "while [ ! -e '" + flag + "' ] && [ -d '" + dir.Path("") + "' ]; do sleep 0.01; done";
  };
  TRunning reader, bystander;
  ASSERT_TRUE(StartProcess("sh", {"-c", "readlink /proc/$$/fd/3 > '" + fd3 + ".part'; mv '" + fd3 + ".part' '" +
                                            fd3 + "'; " + waitFor(go)},
                           {}, &reader, kLockFd));
  ASSERT_TRUE(StartProcess("sh", {"-c", waitFor(other)}, {}, &bystander));
  // A start that fails, at the exec or before it.
  TRunning none;
  EXPECT_FALSE(StartProcess("sh", {}, dir.Path("missing-folder"), &none, kLockFd));
  EXPECT_FALSE(StartProcess("no-such-program-anywhere", {}, {}, &none, kLockFd));
  ::close(kLockFd);

  for (int i = 0; i < 6000 && !FileExists(fd3); ++i) SleepMs(10);
  std::string got;
  ASSERT_TRUE(ReadWholeFile(fd3, got));
  EXPECT_EQ(got, order + "\n");
  EXPECT_TRUE(FileLocked(order)) << "the program's copy went with ours";
  ASSERT_TRUE(WriteWholeFile(go, ""));
  for (int i = 0; i < 6000 && reader->load(); ++i) SleepMs(10);
  ASSERT_FALSE(reader->load());
  EXPECT_TRUE(bystander->load());
  EXPECT_FALSE(FileLocked(order)) << "held by a program that was not handed it, or by a failed start";
  ASSERT_TRUE(WriteWholeFile(other, ""));
  for (int i = 0; i < 6000 && bystander->load(); ++i) SleepMs(10);
  EXPECT_FALSE(bystander->load());
}

TEST(SingleInstance, OneCopyPerKeyAndSessionAndALaterStartBringsItForward) {
  Scratch dir;
  using O = SingleInstance::Outcome;
  SingleInstance first("solvane-test", "/folder/", dir.Path("run1"));
  std::atomic<int> requests{0};
  ASSERT_EQ(first.Acquire([&] { ++requests; }), O::First);
  SingleInstance second("solvane-test", "/folder/", dir.Path("run1"));
  EXPECT_EQ(second.Acquire({}), O::Running);
  EXPECT_EQ(requests.load(), 1);
  // Another session, or another folder of the same session: a copy of its own.
  SingleInstance elsewhere("solvane-test", "/folder/", dir.Path("run2"));
  EXPECT_EQ(elsewhere.Acquire({}), O::First);
  SingleInstance beside("solvane-test", "/other/", dir.Path("run1"));
  EXPECT_EQ(beside.Acquire({}), O::First);
  EXPECT_EQ(requests.load(), 1);
  first.Release();
  EXPECT_EQ(second.Acquire({}), O::First) << "the name goes with the copy that held it";
  // However long the runtime folder's path, the name fits (it is hashed), and nothing is left in
  // the folder for a clean-up to take away.
  const std::string deep = dir.Path(std::string(200, 'r'));
  ASSERT_TRUE(ForceDirectories(deep));
  SingleInstance longFirst("solvane-test", "/folder/", deep), longSecond("solvane-test", "/folder/", deep);
  EXPECT_EQ(longFirst.Acquire([&] { ++requests; }), O::First);
  EXPECT_EQ(longSecond.Acquire({}), O::Running);
  EXPECT_EQ(requests.load(), 2);
  EXPECT_TRUE(ListEntries(deep).empty());
}

TEST(SingleInstance, StartsAtTheSameInstantGiveOneCopyAndTheRestComeForward) {
  Scratch dir;
  constexpr int kStarts = 16;
  std::vector<std::unique_ptr<SingleInstance>> starts;
  for (int i = 0; i < kStarts; ++i)
    starts.push_back(std::make_unique<SingleInstance>("solvane-test", "/same/", dir.Path("run")));
  std::atomic<int> requests{0}, first{0}, running{0};
  std::vector<std::thread> threads;
  for (auto& s : starts)
    threads.emplace_back([&, p = s.get()] {
      switch (p->Acquire([&] { ++requests; })) {
        case SingleInstance::Outcome::First: ++first; break;
        case SingleInstance::Outcome::Running: ++running; break;
        case SingleInstance::Outcome::Alone: break;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(first.load(), 1);
  EXPECT_EQ(running.load(), kStarts - 1);
  EXPECT_EQ(requests.load(), kStarts - 1);
}

namespace {

socklen_t AbstractAddress(const std::string& name, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path + 1, name.data(), name.size());
  return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Connects to an abstract name without waiting; the socket, or -1.
int ConnectTo(const std::string& name) {
  sockaddr_un addr;
  const socklen_t len = AbstractAddress(name, addr);
  const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (::connect(c, reinterpret_cast<sockaddr*>(&addr), len) == 0) return c;
  ::close(c);
  return -1;
}

// A socket at a single-instance name that listens and never accepts, its backlog full.
struct Squatter {
  int listener = -1;
  std::vector<int> queued;
  explicit Squatter(const std::string& name) {
    sockaddr_un addr;
    const socklen_t len = AbstractAddress(name, addr);
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(listener, 0) != 0) return;
    for (int c; (c = ConnectTo(name)) >= 0;) queued.push_back(c);
  }
  ~Squatter() { Leave(); }
  void Leave() {
    for (int c : queued) ::close(c);
    queued.clear();
    if (listener >= 0) ::close(listener);
    listener = -1;
  }
};

}  // namespace

// Connections of this account that say nothing hold up no later start; and whatever holds the name
// without ever answering (here this account's own socket with a full backlog) is given up on
// within the start's patience, never waited on for as long as it lives.
TEST(SingleInstance, NothingThatHoldsOrFloodsTheNameKeepsAStartWaiting) {
  Scratch dir;
  using O = SingleInstance::Outcome;
  SingleInstance first("solvane-test", "/folder/", dir.Path("run"));
  std::atomic<int> requests{0};
  ASSERT_EQ(first.Acquire([&] { ++requests; }), O::First);
  std::vector<int> silent;
  for (int i = 0; i < 24; ++i)
    if (const int c = ConnectTo(first.Address()); c >= 0) silent.push_back(c);
  EXPECT_GE(silent.size(), 16u);
  SingleInstance second("solvane-test", "/folder/", dir.Path("run"));
  EXPECT_EQ(second.Acquire({}, std::chrono::milliseconds(2000)), O::Running)
      << "held up by connections that say nothing";
  EXPECT_EQ(requests.load(), 1);
  for (int c : silent) ::close(c);

  SingleInstance held("solvane-test", "/held/", dir.Path("run"));
  Squatter squatter(held.Address());
  ASSERT_FALSE(squatter.queued.empty());
  std::atomic<bool> done{false};
  std::atomic<int> outcome{-1};
  std::thread start([&] {
    outcome = int(held.Acquire({}, std::chrono::milliseconds(300)));
    done = true;
  });
  for (int i = 0; i < 1000 && !done; ++i) SleepMs(10);
  EXPECT_TRUE(done.load()) << "still waiting after 10 s";
  squatter.Leave();  // lets a start that waits in connect() go on
  start.join();
  EXPECT_EQ(outcome.load(), int(O::Alone));
}

// Whatever holds the name and cannot be asked (here this account's own socket with a full
// backlog) has the copy listen in the account's own runtime folder instead, where later starts
// find it and bring it forward; the socket there goes with it.
TEST(SingleInstance, ACopyKeptFromTheNameIsStillBroughtForwardThroughTheRuntimeFolder) {
  Scratch dir;
  using O = SingleInstance::Outcome;
  const std::string run = dir.Path("run/");
  ASSERT_TRUE(CreateDir(run));
  ASSERT_EQ(::chmod(run.c_str(), 0700), 0);
  SingleInstance first("solvane-test", "/folder/", run), second("solvane-test", "/folder/", run);
  Squatter squatter(first.Address());
  ASSERT_FALSE(squatter.queued.empty());
  std::atomic<int> requests{0};
  ASSERT_EQ(first.Acquire([&] { ++requests; }, std::chrono::milliseconds(300)), O::First);
  EXPECT_EQ(second.Acquire({}, std::chrono::milliseconds(300)), O::Running);
  EXPECT_EQ(requests.load(), 1);
  first.Release();
  EXPECT_FALSE(FileExists(run + first.Address())) << "the socket outlived its copy";
  EXPECT_EQ(second.Acquire({}, std::chrono::milliseconds(300)), O::First);
  second.Release();

  // A runtime folder that others may write to is not used: what stands in it could be theirs.
  ASSERT_EQ(::chmod(run.c_str(), 0777), 0);
  SingleInstance shared("solvane-test", "/folder/", run);
  EXPECT_EQ(shared.Acquire({}, std::chrono::milliseconds(300)), O::Alone);
  EXPECT_EQ(std::vector<std::string>{first.Address() + ".lock"}, ListFiles(run, "*"));
}

// A listener of this account at the name that answers anything but the copy's answer is no copy:
// the start does not end as if one had come forward.
TEST(SingleInstance, OnlyTheCopysOwnAnswerEndsAStart) {
  Scratch dir;
  SingleInstance start("solvane-test", "/folder/", dir.Path("run"));
  sockaddr_un addr;
  const socklen_t len = AbstractAddress(start.Address(), addr);
  const int l = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::bind(l, reinterpret_cast<sockaddr*>(&addr), len), 0);
  ASSERT_EQ(::listen(l, 8), 0);
  std::atomic<bool> stop{false};
  std::thread answerer([&] {
    while (!stop) {
      pollfd p{l, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int c = ::accept(l, nullptr, nullptr);
      if (c < 0) continue;
      (void)!::send(c, "no\n", 3, MSG_NOSIGNAL);
      ::close(c);
    }
  });
  EXPECT_EQ(start.Acquire({}, std::chrono::milliseconds(300)), SingleInstance::Outcome::Alone);
  stop = true;
  answerer.join();
  ::close(l);
}

TEST(SingleInstance, AnotherAccountHoldingTheNameIsNeitherAskedNorObeyed) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can start a process of another account";
  Scratch dir;
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // Another account takes the name first and counts the requests it hears.
    int heard = 0;
    bool ok = ::setresgid(4242, 4242, 4242) == 0 && ::setresuid(4242, 4242, 4242) == 0;
    SingleInstance theirs("solvane-test", "/folder/", dir.Path("run"));
    ok = ok && theirs.Acquire([&] { ++heard; }) == SingleInstance::Outcome::First;
    char c = ok ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    theirs.Release();
    ::_exit(ok && heard == 0 ? 0 : 1);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  SingleInstance ours("solvane-test", "/folder/", dir.Path("run"));
  EXPECT_EQ(ours.Acquire({}), SingleInstance::Outcome::Alone) << "a listener of another account is not our deck";
  (void)!::write(done[1], "x", 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "it heard our request, or could not take the name";
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}
