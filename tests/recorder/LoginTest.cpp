#include <gtest/gtest.h>

#include <string>

#include "platform/system/files.h"
#include "recorder/Login.h"
#include "tests/common/scratch.h"
#include "tests/recorder/fake_user_deck.h"

namespace {

class Passwords : public ::testing::Test {
protected:
  Passwords() : deck(dir.Root() + "/") {}
  std::string Folder() const { return dir.Root() + "/"; }
  Scratch dir;
  FakeUserDeck deck;
};

}  // namespace

TEST_F(Passwords, LoginAndSupervisorCompareExactly) {
  ASSERT_TRUE(plat::WriteWholeFile(Folder() + "Ann.svu", "[user]\r\npassword=Secret\r\n"));
  ASSERT_TRUE(plat::WriteWholeFile(Folder() + "bob.svu", "[USER]\r\nFULL NAME=Bob\r\n"));
  EXPECT_EQ(LoginUser(deck, "ann", "secret"), TLoginResult::WrongPassword);
  EXPECT_EQ(LoginUser(deck, "ann", "Secret"), TLoginResult::Accepted);
  // Without a password key only the fixed stand-in text gets in.
  EXPECT_EQ(LoginUser(deck, "bob", ""), TLoginResult::WrongPassword);
  EXPECT_EQ(LoginUser(deck, "bob", MissingPasswordMark), TLoginResult::Accepted);
  EXPECT_EQ(LoginUser(deck, "gone", "x"), TLoginResult::NoUserFile);
  EXPECT_EQ(deck.LastText(), "Problem Loading User Settings");
  EXPECT_EQ(deck.users.currentUser, "bob");
  EXPECT_TRUE(LogOutUser(deck));
  EXPECT_EQ(deck.users.currentUser, "Default");

  // No supervisor password: an empty entry does nothing, anything else is wrong.
  EXPECT_EQ(CheckSupervisor(deck, ""), TSupervisorResult::Nothing);
  EXPECT_EQ(CheckSupervisor(deck, "x"), TSupervisorResult::Refused);
  EXPECT_EQ(deck.LastText(), WrongPasswordMessage);
}

TEST_F(Passwords, LockoutHoldsOnlyWhenEveryConditionDoes) {
  const std::string target = Folder() + "take.wav";
  ASSERT_TRUE(plat::WriteWholeFile(target, "RIFF"));
  const int64_t written = 1700000000;
  ASSERT_TRUE(plat::SetFileAge(target, written));
  deck.now = written + 3 * 3600;  // saved three hours ago
  deck.settings.safetySave = true;
  deck.settings.supervisorPassword = "Boss";
  deck.users.cart.saveFolder = "/carts/";
  deck.users.cart.lockoutHours = 4;

  int dialogs = 0, answer = 2;
  auto dialog = [&] {
    ++dialogs;
    return answer;
  };
  EXPECT_FALSE(LockoutAllowsSave(deck, target, dialog));
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(deck.users.lockoutFileName, target);
  EXPECT_EQ(CheckLockout(deck.users.cart, deck.settings, target, deck.now).expiry, written + 4 * 3600);
  answer = 1;
  EXPECT_TRUE(LockoutAllowsSave(deck, target, dialog));
  EXPECT_EQ(dialogs, 2);

  // Each missing condition lets the save through without asking.
  auto asks = [&] { return CheckLockout(deck.users.cart, deck.settings, target, deck.now).authorise; };
  EXPECT_TRUE(asks());
  deck.users.cart.lockoutHours = 2;
  EXPECT_FALSE(asks());
  deck.users.cart.lockoutHours = 4;
  deck.settings.safetySave = false;
  EXPECT_FALSE(asks());
  deck.settings.safetySave = true;
  deck.settings.supervisorPassword.clear();
  EXPECT_FALSE(asks());
  deck.settings.supervisorPassword = "Boss";
  deck.users.cart.saveFolder.clear();
  EXPECT_FALSE(asks());
  deck.users.cart.saveFolder = "/carts/";
  EXPECT_FALSE(CheckLockout(deck.users.cart, deck.settings, Folder() + "none.wav", deck.now).authorise);
  EXPECT_TRUE(asks());

  // A quick cart has no lockout hours: only a last write in the future still holds it.
  deck.users.cart.lockoutHours = 0;
  EXPECT_FALSE(asks());
  deck.now = written - 60;
  EXPECT_TRUE(asks());
  deck.now = written;  // the very second of the write is not later than it
  EXPECT_TRUE(asks());
  EXPECT_EQ(dialogs, 2);
}
