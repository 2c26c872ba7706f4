// The whole-program tests' channels (keys, the sound device's clock, the dialog script, the logs)
// where the operator's environment points them into a folder another account shares: nothing that
// account put there is obeyed, answers a dialog or is written through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Studio.h"
#include "platform/system/files.h"

namespace {

constexpr uid_t kAnn = 64101, kBen = 64102;
constexpr gid_t kStudio = 64100;

// Ben's FIFO in the shared folder, with lines already in it; its descriptor, which keeps them there.
int BensFifo(const std::string& path, const std::string& lines) {
  EXPECT_EQ(0, ::mkfifo(path.c_str(), 0660));
  EXPECT_EQ(0, ::chown(path.c_str(), kBen, kStudio));
  EXPECT_EQ(0, ::chmod(path.c_str(), 0660));
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  EXPECT_EQ(ssize_t(lines.size()), ::write(fd, lines.data(), lines.size()));
  return fd;
}

void BensLink(const std::string& path, const std::string& to) {
  ASSERT_EQ(0, ::symlink(to.c_str(), path.c_str()));
  ASSERT_EQ(0, ::lchown(path.c_str(), kBen, kStudio));
}

}  // namespace

TEST(Channels, AnotherAccountsFifosScriptAndLinksInASharedFolderAreNeitherObeyedNorWrittenThrough) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can run the program as two other accounts";
  Scratch share;
  ASSERT_EQ(0, ::chmod(share.Root().c_str(), 0755));
  const std::string shared = share.Path("shared/"), diary = share.Path("diary.txt");
  ASSERT_TRUE(plat::CreateDir(shared));
  ASSERT_EQ(0, ::chown(shared.c_str(), 0, kStudio));
  ASSERT_EQ(0, ::chmod(shared.c_str(), 02770));
  // A file of Ann's own, which Ben's links lead to.
  ASSERT_TRUE(Studio::Write(diary, "Ann's own\n"));
  ASSERT_EQ(0, ::chown(diary.c_str(), kAnn, kAnn));
  ASSERT_EQ(0, ::chmod(diary.c_str(), 0600));
  ASSERT_TRUE(Studio::Write(shared + "answers", "Yes\nYes\nYes\n"));
  ASSERT_EQ(0, ::chown((shared + "answers").c_str(), kBen, kStudio));
  ASSERT_EQ(0, ::chmod((shared + "answers").c_str(), 0660));
  for (const char* log : {"dialogs.log", "activate.log", "control.log", "pace.ack"}) BensLink(shared + log, diary);
  const int keys = BensFifo(shared + "keys", "key Ctrl+S\nkey F5\n");
  const int pace = BensFifo(shared + "pace", "step 500\n");

  // Ben's script and logs: the eject question of a take is the operator's to answer, and a second
  // start's request to come forward is logged nowhere.
  {
    Studio ann;
    ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    ann.environment["SOLVANE_DIALOG_SCRIPT"] = shared + "answers";
    ann.environment["SOLVANE_DIALOG_LOG"] = shared + "dialogs.log";
    ann.environment["SOLVANE_ACTIVATE_LOG"] = shared + "activate.log";
    ann.RunAs(kAnn, kAnn, kStudio);
    ASSERT_TRUE(ann.Start());
    ann.RecordTake(300);
    ann.Key("F7");
    EXPECT_EQ("MessageBox", ann.Sync().modal) << "Ben's script answered the operator's question";
    const pid_t second = ann.Spawn();
    ASSERT_GT(second, 0);
    EXPECT_EQ(0, Studio::WaitExit(second));
    ann.Sync();
    ASSERT_EQ(0, ::kill(ann.Pid(), SIGTERM));
    EXPECT_EQ(0, ann.WaitExit());
    EXPECT_NE(std::string::npos, ann.Output().find("dialog script: " + shared + "answers is not read"))
        << ann.Output();
  }

  // Ben's FIFOs of keys and of the sound device's clock: his Ctrl+S and F5 record nothing; the
  // line gets the start's LOAD and the stop signal's EXIT alone.
  {
    Studio ann;
    ann.Settings({"[Standard Cart]", "FORMAT=26", "LENGTH=10000"});
    ann.environment["SOLVANE_TEST_CONTROL"] = shared + "keys";
    ann.environment["SOLVANE_TEST_CONTROL_LOG"] = shared + "control.log";
    ann.environment["SOLVANE_AUDIO_PACE"] = shared + "pace";
    ann.environment["SOLVANE_AUDIO_PACE_ACK"] = shared + "pace.ack";
    ann.RunAs(kAnn, kAnn, kStudio);
    ASSERT_TRUE(ann.Start());
    EXPECT_TRUE(Studio::WaitFor([&] {
      const std::string out = ann.Output();
      return out.find("test control: cannot open " + shared + "keys") != std::string::npos &&
             out.find("pacing FIFO " + shared + "pace") != std::string::npos;
    })) << ann.Output();
    ASSERT_EQ(0, ::kill(ann.Pid(), SIGTERM));
    EXPECT_EQ(0, ann.WaitExit());
    const std::string gpi = std::string(Studio::kLoad) + Studio::kExit;
    EXPECT_EQ(gpi, ann.Gpi(gpi.size())) << ann.Output();
  }
  ::close(keys);
  ::close(pace);
  EXPECT_EQ("Ann's own\n", Studio::Read(diary));
}
