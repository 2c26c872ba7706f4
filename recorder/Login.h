#pragma once
// Passwords and the lockout. User, supervisor and exit passwords are plain text compared
// case-sensitively; the user "Default" needs none. A lockout protects an existing file at a save
// target for some hours after its last write.
#include <cstdint>
#include <functional>
#include <string>

class TUserDeck;
struct TDeckSettings;
struct TCartProgram;

extern const char* const WrongPasswordMessage;
// Stands for a user file's missing password key, so such a user can only log in with it.
extern const char* const MissingPasswordMark;

enum class TLoginResult { Accepted, NoUserFile, Unreadable, WrongPassword };
// Checks a login; on success the name becomes the deck's current user. A refusal has shown its
// message (the dialog stays open). A user file that cannot be read is named as that, never
// taken for one without a password.
TLoginResult LoginUser(TUserDeck& deck, const std::string& name, const std::string& typed);
// "Log Out User": the current user becomes "Default". True when it changed.
bool LogOutUser(TUserDeck& deck);

// What the supervisor prompt's answer opens: nothing (empty text), the manager, or a refusal
// whose message has been shown.
enum class TSupervisorResult { Nothing, Granted, Refused };
TSupervisorResult CheckSupervisor(TUserDeck& deck, const std::string& typed);

// The lockout check of the save dialog's confirmation. It applies only when the cart came with
// a program save folder, safety save is on, a supervisor password is set and the target exists.
struct TLockoutCheck {
  bool authorise = false;  // the supervisor must authorise saving over the target
  int64_t expiry = 0;      // seconds since the epoch
};
TLockoutCheck CheckLockout(const TCartProgram& cart, const TDeckSettings& settings, const std::string& target,
                           int64_t now);
// The target's last write plus the lockout hours; 0 when the target does not exist.
int64_t LockoutExpiry(const std::string& target, int lockoutHours);
// A point of time as the system's local date and time text.
std::string DateTimeText(int64_t unixSeconds);
extern const char* const LockoutTextBefore;
extern const char* const LockoutTextAfter;

// SaveDialogFileOK's share: true when the save dialog may take the target. When the lockout
// holds, the target is stored in the deck and authorise (the lockout dialog) decides: it returns
// the dialog's modal result, and only 2 refuses.
bool LockoutAllowsSave(TUserDeck& deck, const std::string& target, const std::function<int()>& authorise);

// The lockout dialog's "&Save" and the exit prompt's "&OK".
bool SupervisorPasswordMatches(const TDeckSettings& settings, const std::string& typed);
bool ExitPasswordMatches(const TDeckSettings& settings, const std::string& typed);
