#include "recorder/Login.h"

#include <ctime>

#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "recorder/UserDeck.h"

const char* const WrongPasswordMessage =
    "The password is incorrect. Please retype your password. Letters \r\nin passwords must be "
    "typed using the correct case. Make sure \r\nthe Caps Lock is not accidentally on.";
const char* const MissingPasswordMark = "7k3m9p2x8q4wzbn";
const char* const LockoutTextBefore =
    "The file you are trying to save is protected with a lockout time. The lockout protection "
    "is valid until: ";
const char* const LockoutTextAfter =
    "To save the file anyway, enter the supervisor password or select cancel and rename the "
    "file. ";

TLoginResult LoginUser(TUserDeck& deck, const std::string& name, const std::string& typed) {
  TUserFields& users = deck.Users();
  if (IsDefaultUser(name)) {
    users.currentUser = DefaultUserName;
    return TLoginResult::Accepted;
  }
  const std::string path = UserFilePath(users.UsersFolder(), name);
  // A folder at the name is named below as a file that cannot be read.
  if (!plat::FileExists(path) && !plat::DirectoryExists(path)) {
    deck.Notify(TNoticeKind::Error, "Problem Loading User Settings");
    return TLoginResult::NoUserFile;
  }
  plat::TIniFile ini(path);
  std::string stored;
  try {
    stored = ini.ReadString("USER", "Password", MissingPasswordMark);
  } catch (const plat::EIniReadError& e) {
    deck.Notify(TNoticeKind::Error, e.Message());
    return TLoginResult::Unreadable;
  }
  if (typed != stored) {
    deck.Notify(TNoticeKind::Error, WrongPasswordMessage);
    return TLoginResult::WrongPassword;
  }
  users.currentUser = name;
  return TLoginResult::Accepted;
}

bool LogOutUser(TUserDeck& deck) {
  std::string& user = deck.Users().currentUser;
  if (user == DefaultUserName) return false;
  user = DefaultUserName;
  deck.UserCaptionUpdate();
  return true;
}

TSupervisorResult CheckSupervisor(TUserDeck& deck, const std::string& typed) {
  if (typed.empty()) return TSupervisorResult::Nothing;
  if (SupervisorPasswordMatches(deck.Settings(), typed)) return TSupervisorResult::Granted;
  deck.Notify(TNoticeKind::Error, WrongPasswordMessage);
  return TSupervisorResult::Refused;
}

int64_t LockoutExpiry(const std::string& target, int lockoutHours) {
  int64_t written = plat::FileAge(target);
  if (written < 0) return 0;
  return written + int64_t(lockoutHours) * 3600;
}

TLockoutCheck CheckLockout(const TCartProgram& cart, const TDeckSettings& settings, const std::string& target,
                           int64_t now) {
  TLockoutCheck c;
  if (cart.saveFolder.empty() || !settings.safetySave || settings.supervisorPassword.empty() ||
      !plat::FileExists(target))
    return c;
  c.expiry = LockoutExpiry(target, cart.lockoutHours);
  c.authorise = !(now > c.expiry);
  return c;
}

std::string DateTimeText(int64_t unixSeconds) {
  std::time_t t = std::time_t(unixSeconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[128];
  size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

bool LockoutAllowsSave(TUserDeck& deck, const std::string& target, const std::function<int()>& authorise) {
  TLockoutCheck c = CheckLockout(deck.Users().cart, deck.Settings(), target, deck.Now());
  if (!c.authorise) return true;
  deck.Users().lockoutFileName = target;
  return authorise() != 2;
}

bool SupervisorPasswordMatches(const TDeckSettings& settings, const std::string& typed) {
  return typed == settings.supervisorPassword;
}

bool ExitPasswordMatches(const TDeckSettings& settings, const std::string& typed) {
  return typed == settings.exitPassword;
}
