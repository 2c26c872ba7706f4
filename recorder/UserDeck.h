#pragma once
// What the users, passwords, programs and sending code reads and writes of the main form. The
// main form owns a TUserFields and implements TUserDeck; tests implement it with a plain object.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system/files.h"
#include "recorder/Notices.h"
#include "recorder/Sending.h"
#include "recorder/Settings.h"
#include "recorder/Users.h"

// The cart made from a program (or from the quick-cart line of the blank-program list): the
// blank-program dialog sets it, the deck makes the cart from it, and the lockout check reads its
// save folder and lockout hours.
struct TCartProgram {
  std::string programName;  // the cart's file name
  int customLength = 0;     // HHMMSS digits
  int customFormat = 0;     // format number
  std::string saveFolder;   // empty: the cart did not come from a program
  int lockoutHours = 0;
};

struct TUserFields {
  std::string programFolder;  // with a trailing "/"
  std::string usersFolder;    // with a trailing "/"; empty: the program folder
  std::string currentUser = DefaultUserName;
  TProgramTable programList{};          // the last loaded user's programs
  std::string typedSupervisorPassword;  // what the supervisor prompt was given
  std::string lockoutFileName;          // the file the lockout dialog is about
  TCartProgram cart;
  TSendLists sendLists;        // address book and Web/FTP destinations
  std::string webDestination;  // chosen in the Web/FTP dialog
  // The e-mail and Web/FTP programs last started: their orders stay as they were until they end.
  plat::TRunning emailProgram, webProgram;

  std::string UsersFolder() const { return usersFolder.empty() ? programFolder : usersFolder; }
};

class TUserDeck {
public:
  TUserDeck() = default;
  TUserDeck(const TUserDeck&) = delete;
  TUserDeck& operator=(const TUserDeck&) = delete;
  virtual ~TUserDeck() = default;

  virtual TUserFields& Users() = 0;
  virtual const TDeckSettings& Settings() const = 0;

  // Messages and questions, as modal message dialogs.
  virtual void Notify(TNoticeKind kind, const std::string& text) = 0;
  virtual TAnswer Ask(TQuestionKind kind, const std::string& text, bool withCancel) = 0;
  TNotify Notifier() {
    return [this](TNoticeKind k, const std::string& t) { Notify(k, t); };
  }
  // A notifier that any thread may call at any time: it tells on the UI thread, and nothing once
  // this deck is gone.
  TNotify LaterNotifier() const;
  TAsk Asker() {
    return [this](TQuestionKind k, const std::string& t, bool c) { return Ask(k, t, c); };
  }

  // The window caption shows the current user.
  virtual void UserCaptionUpdate() {}
  // The status group's caption while the program list loads.
  virtual void SetLoadStatus(const std::string& caption) {}
  virtual void ProcessMessages() {}
  // The local wall clock, seconds since the epoch.
  virtual int64_t Now() const;
  // Starts an external program detached; false when it could not be started, errno saying why.
  // From then on running tells whether the program still runs, and ended hears how it ended (on a
  // thread of its own). A given order file is handed to it with a shared lock
  // (plat::OpenSharedLock) that lasts as long as the program, or one it starts, runs, also past
  // this run of the deck; one that cannot be locked is not handed, and the program starts all the
  // same.
  virtual bool StartProgram(const std::string& path, const std::vector<std::string>& args, plat::TRunning& running,
                            const std::string& order = {}, plat::TEnded ended = {});

  // The loaded cart.
  virtual bool Busy() const = 0;                 // a save runs
  virtual std::string CartFileName() const = 0;  // the playback file's path; empty when none
  virtual void EjectCart() = 0;

private:
  // Lives exactly as long as the deck: what LaterNotifier hands out holds it weakly.
  std::shared_ptr<TUserDeck*> alive_ = std::make_shared<TUserDeck*>(this);
};
