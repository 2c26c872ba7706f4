// The account's own place beneath its state folder: made private whatever the umask, and refused
// with what to do when the home or state folder on the way is not the account's to trust.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/files.h"
#include "recorder/CartFiles.h"
#include "recorder/DeckTemp.h"
#include "tests/common/scoped_env.h"
#include "tests/common/scratch.h"

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

constexpr uid_t kNobody = 65534;

}  // namespace

TEST(DeckPrivateFolder, IsMadeBeneathTheStateFolderEveryLevelTheAccountsAloneWhateverTheUmask) {
  Scratch dir;
  ScopedEnv home("HOME", dir.Path("home").c_str());
  ASSERT_EQ(0, ::mkdir(dir.Path("home").c_str(), 0755));
  {
    // A relative state folder is no state folder: the home folder's is used.
    ScopedEnv state("XDG_STATE_HOME", "state");
    EXPECT_EQ(dir.Path("home/.local/state/Solvane/"), DeckPrivateFolder());
  }
  ScopedEnv state("XDG_STATE_HOME", nullptr);
  const mode_t old = ::umask(0);
  plat::HeldFolder held;
  const plat::FolderVerdict v = HoldPrivateFolder(held, DeckFallbackName);
  ::umask(old);
  ASSERT_TRUE(v.Held()) << PrivateFolderRefusal(v, held.Path());
  EXPECT_EQ(dir.Path("home/.local/state/Solvane/Temp/"), held.Path());
  for (const char* level : {"home/.local", "home/.local/state", "home/.local/state/Solvane", "home/.local/state/Solvane/Temp"})
    EXPECT_EQ(0700u, ModeOf(dir.Path(level))) << level;
  EXPECT_EQ(0755u, ModeOf(dir.Path("home"))) << "a level that was there is left as it is";

  // Under a state folder of its own, with a umask that takes the owner's own rights.
  ScopedEnv own("XDG_STATE_HOME", dir.Path("state").c_str());
  const mode_t strict = ::umask(0277);
  plat::HeldFolder rescue;
  const plat::FolderVerdict r = HoldPrivateFolder(rescue, "Rescued");
  ::umask(strict);
  ASSERT_TRUE(r.Held()) << PrivateFolderRefusal(r, rescue.Path());
  for (const char* level : {"state", "state/Solvane", "state/Solvane/Rescued"})
    EXPECT_EQ(0700u, ModeOf(dir.Path(level))) << level;
}

TEST(DeckPrivateFolder, AHomeOthersMayWriteToOrOfAnotherAccountIsRefusedAndNothingIsMadeInIt) {
  Scratch dir;
  const std::string home = dir.Path("home");
  ASSERT_EQ(0, ::mkdir(home.c_str(), 0700));
  ASSERT_EQ(0, ::chmod(home.c_str(), 0777));  // not sticky: another account could move what is made there
  ScopedEnv homeVar("HOME", home.c_str());
  ScopedEnv state("XDG_STATE_HOME", nullptr);
  plat::HeldFolder held;
  plat::FolderVerdict v = HoldPrivateFolder(held, DeckFallbackName);
  ASSERT_EQ(plat::FolderFault::Movable, v.fault);
  EXPECT_EQ("Solvane's own folder " + home + "/.local/state/Solvane/Temp/ lies in " + home +
                "/, which other accounts may write to: they could move the folder away or put another in its "
                "place while Solvane runs.\r\n\r\nSet XDG_STATE_HOME to a folder of your own that only you can "
                "write to (or, if " +
                home + "/ is yours, take their right to write away with chmod go-w " + home +
                "/), and start Solvane again.",
            PrivateFolderRefusal(v, held.Path()));
  EXPECT_FALSE(plat::PathTaken(home + "/.local")) << "made before it was judged";

  if (::geteuid() != 0) return;  // only root can give a folder away
  // HOME left naming another account's home folder (su without a login, sudo keeping HOME).
  ASSERT_EQ(0, ::chmod(home.c_str(), 0755));
  ASSERT_EQ(0, ::chown(home.c_str(), kNobody, kNobody));
  v = HoldPrivateFolder(held, DeckFallbackName);
  ASSERT_EQ(plat::FolderFault::Theirs, v.fault);
  EXPECT_EQ("Solvane's own folder " + home + "/.local/state/Solvane/Temp/ lies in " + home +
                "/, which belongs to another account (nobody), so Solvane cannot keep its recordings "
                "there.\r\n\r\nSet XDG_STATE_HOME to a folder of your own, and start Solvane again.",
            PrivateFolderRefusal(v, held.Path()));
  EXPECT_FALSE(plat::PathTaken(home + "/.local"));
}

TEST(SavedTakeMode, IsANewFilesUnderTheUmaskOrTheEditedCartsAndAlwaysTheOwnersToWrite) {
  Scratch dir;
  const std::string cart = dir.Path("News.wav");
  ASSERT_TRUE(plat::WriteWholeFile(cart, "cart"));
  const mode_t old = ::umask(0);
  EXPECT_EQ(0666u, SavedTakeMode(""));
  ::umask(0277);
  EXPECT_EQ(0600u, SavedTakeMode("")) << "read-only for its owner";
  ::umask(027);
  EXPECT_EQ(0640u, SavedTakeMode(""));
  EXPECT_EQ(0640u, SavedTakeMode(dir.Path("gone.wav"))) << "a cart no longer there";
  ::umask(old);
  ASSERT_EQ(0, ::chmod(cart.c_str(), 0664));
  EXPECT_EQ(0664u, SavedTakeMode(cart));
  ASSERT_EQ(0, ::chmod(cart.c_str(), 0444));
  EXPECT_EQ(0644u, SavedTakeMode(cart));
}
