// A held folder is judged by what its descriptor shows, made private whatever the umask, locked for
// the run, and every file routine reaches what is inside it through the descriptor: a swap of its
// name, a link or a second link to a file never leads a write or a removal anywhere else.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/audio/riff_io.h"
#include "platform/system/files.h"
#include "platform/system/held_folder.h"
#include "platform/system/names.h"
#include "tests/common/scratch.h"

using namespace plat;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

std::string Read(const std::string& path) {
  std::string s;
  ReadWholeFile(path, s);
  return s;
}

// Runs f in a child process of the account uid (the caller must be root); its exit code.
int AsAccount(uid_t uid, const std::function<bool()>& f) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(::setresgid(uid, uid, uid) == 0 && ::setresuid(uid, uid, uid) == 0 && f() ? 0 : 1);
  int status = -1;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr uid_t kNobody = 65534;

}  // namespace

TEST(HeldFolder, EveryLevelItMakesIsTheAccountsAloneWhateverTheUmask) {
  Scratch dir;
  const mode_t old = ::umask(0);
  HeldFolder held;
  const FolderVerdict v = held.Hold(dir.Path("a/b/Solvane/"));
  ::umask(old);
  ASSERT_TRUE(v.Held()) << v.culprit << " " << v.reason;
  for (const char* level : {"a", "a/b", "a/b/Solvane"}) EXPECT_EQ(ModeOf(dir.Path(level)), 0700u) << level;
  EXPECT_EQ(held.Path(), dir.Path("a/b/Solvane/"));
  // Also a umask that takes the owner's own rights.
  const mode_t strict = ::umask(0277);
  HeldFolder other;
  const FolderVerdict w = other.Hold(dir.Path("c/d/Solvane/"));
  // And a take made there under it stays the account's to write, so that it can be finished.
  const auto take = w.Held() ? RiffFile::Open(dir.Path("c/d/Solvane/Untitled.wav"), RiffMode::CreateNew) : nullptr;
  ::umask(strict);
  ASSERT_TRUE(w.Held()) << w.culprit << " " << w.reason;
  for (const char* level : {"c", "c/d", "c/d/Solvane"}) EXPECT_EQ(ModeOf(dir.Path(level)), 0700u) << level;
  ASSERT_TRUE(take != nullptr);
  EXPECT_EQ(ModeOf(dir.Path("c/d/Solvane/Untitled.wav")), 0600u);
  // One of ours that others may only read (an older run's) is made ours alone through the descriptor.
  held.Release();
  ASSERT_EQ(::chmod(dir.Path("a/b/Solvane").c_str(), 0755), 0);
  ASSERT_TRUE(held.Hold(dir.Path("a/b/Solvane")).Held());
  EXPECT_EQ(ModeOf(dir.Path("a/b/Solvane")), 0700u);
}

TEST(HeldFolder, AFolderAnotherAccountCouldWriteToOrMoveIsRefusedAndNeverChanged) {
  Scratch dir;
  HeldFolder held;
  // Ours, but the group may write to it (an older version's 0775): refused, and left as it is, so
  // the operator can repair it without losing what it holds.
  ASSERT_TRUE(CreateDir(dir.Path("own")));
  ASSERT_EQ(::chmod(dir.Path("own").c_str(), 0775), 0);
  FolderVerdict v = held.Hold(dir.Path("own"));
  EXPECT_EQ(v.fault, FolderFault::OpenToOthers);
  EXPECT_EQ(v.culprit, dir.Path("own/"));
  EXPECT_EQ(ModeOf(dir.Path("own")), 0775u);
  // Inside a folder the group (a team share) or everyone may write to, not sticky: anyone there
  // could move ours away. Nothing is made in it.
  for (mode_t shared : {02775, 0777}) {
    const std::string share = dir.Path("share" + std::to_string(shared));
    ASSERT_TRUE(CreateDir(share));
    ASSERT_EQ(::chmod(share.c_str(), shared), 0);
    v = held.Hold(share + "/me/Solvane");
    EXPECT_EQ(v.fault, FolderFault::Movable) << std::oct << shared;
    EXPECT_EQ(v.culprit, share + "/");
    EXPECT_FALSE(PathTaken(share + "/me"));
    // Also a folder made earlier: what is above it counts, however deep.
    ASSERT_EQ(::mkdir((share + "/me").c_str(), 0700), 0);
    EXPECT_EQ(held.Hold(share + "/me/Solvane").fault, FolderFault::Movable);
  }
  // A sticky one (as /tmp and /var/tmp) lets no one else move ours.
  ASSERT_TRUE(CreateDir(dir.Path("sticky")));
  ASSERT_EQ(::chmod(dir.Path("sticky").c_str(), 01777), 0);
  EXPECT_TRUE(held.Hold(dir.Path("sticky/Solvane")).Held());
  held.Release();
  // A link at the name is no folder of ours, wherever it points; a file cannot be one.
  ASSERT_EQ(::symlink(dir.Path("sticky/Solvane").c_str(), dir.Path("link").c_str()), 0);
  EXPECT_EQ(held.Hold(dir.Path("link")).fault, FolderFault::Link);
  ASSERT_TRUE(WriteWholeFile(dir.Path("plain"), "a file"));
  v = held.Hold(dir.Path("plain"));
  EXPECT_EQ(v.fault, FolderFault::CannotMake);
  EXPECT_FALSE(v.reason.empty());
  EXPECT_EQ(held.Hold(dir.Path("plain/Solvane")).fault, FolderFault::CannotMake);
}

TEST(HeldFolder, AFolderOfAnotherAccountsIsToldByItsOwnerAlsoThroughALinkOrWhereNothingCanBeMade) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder away";
  Scratch dir;
  HeldFolder held;
  // The folder itself, or one above it (/var/tmp/solvane-<uid> made first by another account).
  ASSERT_TRUE(CreateDir(dir.Path("theirs")));
  ASSERT_EQ(::chown(dir.Path("theirs").c_str(), kNobody, kNobody), 0);
  FolderVerdict v = held.Hold(dir.Path("theirs"));
  EXPECT_EQ(v.fault, FolderFault::Theirs);
  EXPECT_EQ(v.owner, "nobody");
  v = held.Hold(dir.Path("theirs/Solvane"));
  EXPECT_EQ(v.fault, FolderFault::Theirs);
  EXPECT_EQ(v.culprit, dir.Path("theirs/"));
  EXPECT_FALSE(PathTaken(dir.Path("theirs/Solvane"))) << "made in another account's folder";
  // Owned by an account with no name.
  ASSERT_EQ(::chown(dir.Path("theirs").c_str(), 4242, 4242), 0);
  EXPECT_EQ(held.Hold(dir.Path("theirs")).owner, "user ID 4242");
  // What a start of the operator's own account is told where it may not even look inside.
  ASSERT_EQ(::chmod(dir.Path("theirs").c_str(), 0700), 0);
  ASSERT_EQ(::chmod(dir.Root().c_str(), 0755), 0);
  EXPECT_EQ(0, AsAccount(4343, [&] {
              HeldFolder h;
              const FolderVerdict t = h.Hold(dir.Path("theirs/Solvane"));
              return t.fault == FolderFault::Theirs && t.culprit == dir.Path("theirs/") && t.owner == "user ID 4242";
            }));
  // TMPDIR=<their link>/../mine: judged where the kernel puts it (in their folder), not by the
  // spelling, which names a folder beside the link.
  ASSERT_TRUE(ForceDirectories(dir.Path("nest/theirs2/sub")));
  ASSERT_EQ(::chown(dir.Path("nest/theirs2").c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chmod(dir.Path("nest/theirs2").c_str(), 0777), 0);
  ASSERT_EQ(::symlink(dir.Path("nest/theirs2/sub").c_str(), dir.Path("link").c_str()), 0);
  v = held.Hold(dir.Path("link/../mine/Solvane"));
  EXPECT_EQ(v.fault, FolderFault::Theirs);
  EXPECT_EQ(v.culprit, dir.Path("nest/theirs2/"));
  EXPECT_FALSE(PathTaken(dir.Path("nest/theirs2/mine"))) << "nothing is made before its parents are judged";
  EXPECT_FALSE(PathTaken(dir.Path("mine")));

  // A link of another account's on the way leads wherever they choose: to a folder of ours named
  // as the held one would be (a library), which would be taken for it, made private and emptied.
  // Refused by the link and its owner, whether it stands in TMPDIR's path or was put at a level not
  // yet made (in a sticky share), and the folder it leads to is left as it is.
  ASSERT_TRUE(ForceDirectories(dir.Path("ours/mine/Solvane")));
  ASSERT_EQ(::chmod(dir.Path("ours/mine/Solvane").c_str(), 0755), 0);
  ASSERT_TRUE(WriteWholeFile(dir.Path("ours/mine/Solvane/Jingle.wav"), "precious"));
  ASSERT_TRUE(ForceDirectories(dir.Path("ours/sub")));
  ASSERT_TRUE(CreateDir(dir.Path("share")));
  ASSERT_EQ(::chmod(dir.Path("share").c_str(), 01777), 0);
  ASSERT_EQ(::symlink(dir.Path("ours/sub").c_str(), dir.Path("theirlink").c_str()), 0);
  ASSERT_EQ(::symlink(dir.Path("ours/mine").c_str(), dir.Path("share/me").c_str()), 0);
  for (const char* link : {"theirlink", "share/me"}) ASSERT_EQ(::lchown(dir.Path(link).c_str(), kNobody, kNobody), 0);
  v = held.Hold(dir.Path("theirlink/../mine/Solvane"));
  EXPECT_EQ(v.fault, FolderFault::Theirs);
  EXPECT_EQ(v.culprit, dir.Path("theirlink/"));
  EXPECT_EQ(v.owner, "nobody");
  v = held.Hold(dir.Path("share/me/Solvane"));
  EXPECT_EQ(v.fault, FolderFault::Theirs);
  EXPECT_EQ(v.culprit, dir.Path("share/me/"));
  EXPECT_EQ(ModeOf(dir.Path("ours/mine/Solvane")), 0755u);
  EXPECT_EQ(Read(dir.Path("ours/mine/Solvane/Jingle.wav")), "precious");
  // Our own link, or root's, is ours to follow.
  ASSERT_EQ(::lchown(dir.Path("share/me").c_str(), 0, 0), 0);
  EXPECT_TRUE(held.Hold(dir.Path("share/me/Solvane")).Held());
}

TEST(HeldFolder, WhatAnotherAccountPutAtItsNameIsTheirsAndAFolderTheirProgramHoldsIsToldInUse) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
  Scratch dir;
  HeldFolder held;
  // In a sticky share (/var/tmp, /tmp) only their owner can remove these: told as theirs, not as
  // a link or a file the operator could remove.
  ASSERT_TRUE(CreateDir(dir.Path("share")));
  ASSERT_EQ(::chmod(dir.Path("share").c_str(), 01777), 0);
  ASSERT_TRUE(WriteWholeFile(dir.Path("share/solvane-1"), "squat"));
  ASSERT_EQ(::symlink(dir.Path("elsewhere").c_str(), dir.Path("share/Solvane").c_str()), 0);
  for (const char* squat : {"share/solvane-1", "share/Solvane"})
    ASSERT_EQ(::lchown(dir.Path(squat).c_str(), kNobody, kNobody), 0);
  for (const char* path : {"share/solvane-1/Solvane", "share/solvane-1", "share/Solvane"}) {
    const FolderVerdict v = held.Hold(dir.Path(path));
    EXPECT_EQ(v.fault, FolderFault::Theirs) << path;
    EXPECT_EQ(v.owner, "nobody") << path;
    EXPECT_FALSE(v.live) << path;
  }
  EXPECT_EQ(held.Hold(dir.Path("share/solvane-1/Solvane")).culprit, dir.Path("share/solvane-1/"));
  EXPECT_FALSE(PathTaken(dir.Path("elsewhere")));

  // Their folder while a program of theirs holds it (their running deck), seen without taking its lock.
  ASSERT_TRUE(CreateDir(dir.Path("theirs")));
  ASSERT_EQ(::chown(dir.Path("theirs").c_str(), kNobody, kNobody), 0);
  const int lock = ::open(dir.Path("theirs").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  for (const char* path : {"theirs", "theirs/Solvane"}) {
    const FolderVerdict v = held.Hold(dir.Path(path));
    EXPECT_EQ(v.fault, FolderFault::Theirs) << path;
    EXPECT_EQ(v.culprit, dir.Path("theirs/")) << path;
    EXPECT_TRUE(v.live) << path;
  }
  ::close(lock);
  EXPECT_FALSE(held.Hold(dir.Path("theirs")).live);
}

TEST(HeldFolder, WhateverIsDoneToItsNameEveryRoutineStaysInTheHeldFolder) {
  Scratch dir;
  const std::string folder = dir.Path("Solvane/"), library = dir.Path("library/");
  ASSERT_TRUE(ForceDirectories(library));
  ASSERT_TRUE(WriteWholeFile(library + "Jingle.wav", "precious"));
  HeldFolder held;
  ASSERT_TRUE(held.Hold(folder).Held());
  ASSERT_TRUE(WriteNewFile(folder + "Take.wav", "take"));
  // The folder is moved away and a link to the library put at its name.
  ASSERT_EQ(::rename(dir.Path("Solvane").c_str(), dir.Path("moved").c_str()), 0);
  ASSERT_EQ(::symlink(library.c_str(), dir.Path("Solvane").c_str()), 0);
  EXPECT_FALSE(held.Gone()) << "moved, not removed";
  std::vector<std::string> names;
  for (const FolderEntry& e : ListEntries(folder)) names.push_back(e.name);
  EXPECT_EQ(names, std::vector<std::string>{"Take.wav"}) << "listed through the descriptor";
  EXPECT_FALSE(DeleteFile(folder + "Jingle.wav"));
  EXPECT_TRUE(WriteNewFile(folder + "Untitled.wav", "blank"));
  EXPECT_TRUE(WriteWholeFile(folder + "Jingle.wav", "overwritten"));
  EXPECT_TRUE(RiffFile::Open(folder + "Riff.wav", RiffMode::CreateNew) != nullptr);
  EXPECT_TRUE(SetReadOnly(folder + "Take.wav", true));
  EXPECT_TRUE(RiffSyncFolder(folder));
  // A folder opened to make copies in (a non-destructive load's) is the held one.
  const FolderHandle handle(folder);
  std::string work;
  const int made = CreateLockedFileAt(handle.Fd(), ".copy-", work);
  EXPECT_GE(made, 0);
  CloseDescriptor(made);
  EXPECT_EQ(handle.Path(), dir.Path("moved/"));
  EXPECT_TRUE(FileExists(dir.Path("moved/") + work)) << "made in " << handle.Path();
  EXPECT_EQ(Read(library + "Jingle.wav"), "precious");
  EXPECT_EQ(ListFiles(library, "*"), std::vector<std::string>{"Jingle.wav"});
  EXPECT_EQ(Read(dir.Path("moved/Untitled.wav")), "blank");
  EXPECT_EQ(Read(dir.Path("moved/Jingle.wav")), "overwritten");
  EXPECT_TRUE(FileExists(dir.Path("moved/Riff.wav")));
  EXPECT_TRUE(IsReadOnly(dir.Path("moved/Take.wav")));
  // Let go, the path is a path again.
  held.Release();
  EXPECT_EQ(Read(folder + "Jingle.wav"), "precious");
}

TEST(HeldFolder, NothingInItIsOpenedThroughALinkNorWrittenWhileItHasAnotherName) {
  Scratch dir;
  const std::string folder = dir.Path("Solvane/"), outside = dir.Path("outside.wav");
  ASSERT_TRUE(WriteWholeFile(outside, "precious"));
  HeldFolder held;
  ASSERT_TRUE(held.Hold(folder).Held());
  ASSERT_EQ(::symlink(outside.c_str(), (folder + "Link.wav").c_str()), 0);
  ASSERT_EQ(::link(outside.c_str(), (folder + "Twin.wav").c_str()), 0);
  std::string got;
  EXPECT_FALSE(ReadWholeFile(folder + "Link.wav", got));
  EXPECT_EQ(RiffFile::Open(folder + "Link.wav", RiffMode::ReadWrite), nullptr);
  EXPECT_FALSE(WriteWholeFile(folder + "Link.wav", "x"));
  // A second name of a file: read, yes; written into, never (nor cut short by a truncating open).
  EXPECT_TRUE(ReadWholeFile(folder + "Twin.wav", got) && got == "precious");
  EXPECT_FALSE(WriteWholeFile(folder + "Twin.wav", "x"));
  EXPECT_EQ(RiffFile::Open(folder + "Twin.wav", RiffMode::ReadWrite), nullptr);
  EXPECT_EQ(RiffFile::Open(folder + "Twin.wav", RiffMode::Create), nullptr);
  EXPECT_FALSE(CopyFile(dir.Path("nothing"), folder + "Twin.wav"));
  EXPECT_EQ(Read(outside), "precious");
  // Both go as names, and what they stand for stays.
  EXPECT_TRUE(DeleteFile(folder + "Link.wav") && DeleteFile(folder + "Twin.wav"));
  EXPECT_EQ(Read(outside), "precious");

  // A FIFO at a name is neither written into nor waited on. The test holds both of its ends, so
  // that an open of either kind would not block and whatever went into it could be read here.
  const std::string pipe = folder + "Pipe.wav";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int ends = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(ends, 0);
  EXPECT_FALSE(WriteWholeFile(pipe, "x"));
  EXPECT_EQ(RiffFile::Open(pipe, RiffMode::ReadWrite), nullptr);
  EXPECT_EQ(RiffFile::Open(pipe, RiffMode::Create), nullptr);
  EXPECT_FALSE(CopyFile(outside, pipe));
  char buf[16];
  EXPECT_EQ(::read(ends, buf, sizeof buf), -1) << "written into the FIFO";
  // A read of it would wait for ever on an empty FIFO whose writer stays: in a child with a limit.
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);
    std::string got;
    ::_exit(ReadWholeFile(pipe, got) || RiffFile::Open(pipe, RiffMode::Read) ? 1 : 0);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "read from the FIFO, or waited on it";
  ::close(ends);
  EXPECT_TRUE(DeleteFile(pipe));
}

TEST(HeldFolder, OneHolderAtATimeAndTheLockKeepsAnAgeCleanUpAway) {
  Scratch dir;
  HeldFolder first, second;
  ASSERT_TRUE(first.Hold(dir.Path("Solvane")).Held());
  EXPECT_EQ(second.Hold(dir.Path("Solvane")).fault, FolderFault::InUse);
  // A clean-up takes a shared lock on each folder it ages and leaves one it cannot lock alone.
  const int fd = ::open(dir.Path("Solvane").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_SH | LOCK_NB), 0);
  first.Release();
  EXPECT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);
  ::close(fd);
  EXPECT_TRUE(second.Hold(dir.Path("Solvane")).Held());
}

TEST(HeldFolder, HoldersThatShareItStandSideBySideButNeverBesideOneThatHoldsItAlone) {
  Scratch dir;
  const std::string folder = dir.Path("Rescued");
  HeldFolder alone, first, second;
  ASSERT_TRUE(alone.Hold(folder).Held());
  EXPECT_EQ(first.HoldShared(folder).fault, FolderFault::InUse);
  alone.Share();
  ASSERT_TRUE(first.HoldShared(folder).Held());
  alone.Release();
  ASSERT_TRUE(second.HoldShared(folder).Held());
  EXPECT_EQ(alone.Hold(folder).fault, FolderFault::InUse);
  // Made again once gone, it is held shared again.
  ASSERT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
  ASSERT_TRUE(first.Rehold().Held());
  ASSERT_TRUE(second.Rehold().Held());
  EXPECT_EQ(alone.Hold(folder).fault, FolderFault::InUse);
  first.Release();
  second.Release();
  EXPECT_TRUE(alone.Hold(folder).Held());
}

TEST(HeldFolder, ANewFolderHasANameNothingHeldBeforeAndIsTheAccountsAloneOrIsNotMadeAtAll) {
  Scratch dir;
  const std::string parent = dir.Path("tmp/");
  ASSERT_TRUE(ForceDirectories(parent));
  HeldFolder first, second;
  const mode_t old = ::umask(0277);
  const FolderVerdict v = first.HoldNew(parent, "Solvane-rescued-");
  ::umask(old);
  ASSERT_TRUE(v.Held());
  ASSERT_TRUE(second.HoldNew(parent, "Solvane-rescued-").Held());
  EXPECT_NE(first.Path(), second.Path());
  for (const HeldFolder* f : {&first, &second}) {
    EXPECT_EQ(ExtractFilePath(ExcludeTrailingPathDelimiter(f->Path())), parent);
    EXPECT_EQ(ExtractFileName(ExcludeTrailingPathDelimiter(f->Path())).substr(0, 16), "Solvane-rescued-");
    EXPECT_EQ(ModeOf(f->Path()), 0700u);
  }
  EXPECT_TRUE(WriteNewFile(first.Path() + "Untitled.wav", "take"));
  EXPECT_EQ(HeldFolder().Hold(first.Path()).fault, FolderFault::InUse);

  // A parent others may write to and that is not sticky, or a file: nothing is made there.
  HeldFolder third;
  ASSERT_EQ(::chmod(parent.c_str(), 0777), 0);
  EXPECT_EQ(third.HoldNew(parent, "Solvane-rescued-").fault, FolderFault::Movable);
  EXPECT_EQ(ListEntries(parent).size(), 2u);
  ASSERT_TRUE(WriteWholeFile(dir.Path("file"), "x"));
  EXPECT_EQ(third.HoldNew(dir.Path("file"), "Solvane-rescued-").fault, FolderFault::CannotMake);
  EXPECT_FALSE(third.IsHeld());
}

TEST(HeldFolder, AFolderRemovedIsNoticedAndMadeAgainPrivatelyAndNothingIsMadeElsewhereMeanwhile) {
  Scratch dir;
  const std::string folder = dir.Path("tmp/Solvane/");
  HeldFolder held;
  ASSERT_TRUE(held.Hold(folder).Held());
  ASSERT_TRUE(WriteNewFile(folder + "Untitled.wav", "blank"));
  ASSERT_EQ(std::system(("rm -rf '" + dir.Path("tmp") + "'").c_str()), 0);
  EXPECT_TRUE(held.Gone());
  EXPECT_FALSE(WriteNewFile(folder + "Untitled.wav", "blank"));
  EXPECT_FALSE(PathTaken(dir.Path("tmp")));
  const mode_t old = ::umask(0);
  const FolderVerdict v = held.Rehold();
  ::umask(old);
  ASSERT_TRUE(v.Held());
  EXPECT_FALSE(held.Gone());
  EXPECT_EQ(ModeOf(dir.Path("tmp")), 0700u);
  EXPECT_EQ(ModeOf(dir.Path("tmp/Solvane")), 0700u);
  EXPECT_TRUE(WriteNewFile(folder + "Untitled.wav", "blank"));
  EXPECT_EQ(Read(dir.Path("tmp/Solvane/Untitled.wav")), "blank");
  HeldFolder other;
  EXPECT_EQ(other.Hold(folder).fault, FolderFault::InUse) << "held again, lock and all";

  // Removed again, with a link to a library put at its name: refused, and until a folder is held
  // again the one gone stays held, so nothing is listed, written or removed by the path meanwhile.
  const std::string library = dir.Path("library/");
  ASSERT_TRUE(ForceDirectories(library));
  ASSERT_TRUE(WriteWholeFile(library + "Jingle.wav", "precious"));
  ASSERT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
  ASSERT_EQ(::symlink(library.c_str(), dir.Path("tmp/Solvane").c_str()), 0);
  EXPECT_EQ(held.Rehold().fault, FolderFault::Link);
  EXPECT_TRUE(ListEntries(folder).empty());
  EXPECT_FALSE(DeleteFile(folder + "Jingle.wav"));
  EXPECT_FALSE(WriteNewFile(folder + "Untitled.wav", "blank"));
  EXPECT_EQ(ListFiles(library, "*"), std::vector<std::string>{"Jingle.wav"});
  EXPECT_EQ(Read(library + "Jingle.wav"), "precious");
  ASSERT_EQ(::unlink(dir.Path("tmp/Solvane").c_str()), 0);
  EXPECT_TRUE(held.Rehold().Held());
  EXPECT_TRUE(WriteNewFile(folder + "Untitled.wav", "blank"));
  EXPECT_EQ(Read(dir.Path("tmp/Solvane/Untitled.wav")), "blank");
}

TEST(HeldFile, ATakeWhoseNameWasRemovedIsWrittenOutWholeAndPrivatelyAndHeldFromThenOnButNeverOverAnotherFile) {
  Scratch dir;
  const std::string path = dir.Path("Untitled.wav");
  std::string take(300000, '\0');
  for (size_t i = 0; i < take.size(); ++i) take[i] = char(i * 31 + 7);
  ASSERT_TRUE(WriteWholeFile(path, take));
  HeldFile file;
  ASSERT_TRUE(file.Hold(path));
  EXPECT_FALSE(file.Removed());
  ASSERT_TRUE(DeleteFile(path));
  EXPECT_TRUE(file.Removed());
  ASSERT_TRUE(WriteWholeFile(dir.Path("Other.wav"), "other"));
  EXPECT_FALSE(file.WriteOut(dir.Path("Other.wav")));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(Read(dir.Path("Other.wav")), "other");
  EXPECT_FALSE(file.At(dir.Path("Other.wav")));
  const mode_t mask = ::umask(0);
  const bool out = file.WriteOut(path);
  ::umask(mask);
  ASSERT_TRUE(out);
  EXPECT_EQ(Read(path), take);
  EXPECT_EQ(ModeOf(path), 0600u) << "written out for others to read";
  // The file written out is the one held from then on: removed again, it is written out whole again.
  EXPECT_TRUE(file.At(path));
  ASSERT_TRUE(DeleteFile(path));
  EXPECT_FALSE(file.At(path));
  ASSERT_TRUE(file.WriteOut(path));
  EXPECT_EQ(Read(path), take);
  // A second name, as a backup by links makes, is the held file's too.
  ASSERT_EQ(::link(path.c_str(), dir.Path("Backup.wav").c_str()), 0);
  EXPECT_EQ(file.Links(), 2);
  EXPECT_TRUE(file.At(dir.Path("Backup.wav")));
  EXPECT_FALSE(HeldFile().Hold(dir.Path("none.wav")));
  EXPECT_EQ(HeldFile().Links(), 0);
}

// A folder an account may write into and pass through but not list (a drop folder) is held for
// its names all the same; one it cannot reach says why.
TEST(FolderHandle, ADropFolderIsHeldAndTakesNamesAndAnUnreachableOneSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can be another account";
  Scratch dir;
  ASSERT_EQ(::chmod(dir.Root().c_str(), 0755), 0);
  for (const char* folder : {"drop", "closed", "mine"}) ASSERT_TRUE(CreateDir(dir.Path(folder)));
  ASSERT_EQ(::chmod(dir.Path("drop").c_str(), 0333), 0);
  ASSERT_EQ(::chmod(dir.Path("closed").c_str(), 0700), 0);
  ASSERT_EQ(::chown(dir.Path("mine").c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(0, AsAccount(kNobody, [&] {
    FolderHandle drop(dir.Path("drop")), closed(dir.Path("closed/carts"));
    std::string work;
    const int fd = drop.Ok() ? CreateLockedFileAt(drop.Fd(), ".work-", work) : -1;
    const bool ok = fd >= 0 && drop.Path() == dir.Path("drop/") && WriteWholeFile(dir.Path("mine/take"), "take") &&
                    RenameNoReplaceAt(AT_FDCWD, dir.Path("mine/take"), drop.Fd(), "News.wav") && !closed.Ok() &&
                    closed.Error() == EACCES;
    if (fd >= 0) ::close(fd);
    return ok;
  }));
  EXPECT_EQ(Read(dir.Path("drop/News.wav")), "take");
}
