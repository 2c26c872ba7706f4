#pragma once
// A main form stand-in for the users, passwords, programs and sending code: messages are
// recorded, questions answered from a queue, the clock is set by hand and external programs are
// recorded instead of started.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recorder/UserDeck.h"

class FakeUserDeck : public TUserDeck {
public:
  struct Shown {
    TNoticeKind kind;
    std::string text;
  };
  struct Started {
    std::string path;
    std::vector<std::string> args;
    std::string order;  // the file it keeps locked
    plat::TEnded ended;
  };

  explicit FakeUserDeck(const std::string& programFolder) { users.programFolder = programFolder; }

  TUserFields& Users() override { return users; }
  const TDeckSettings& Settings() const override { return settings; }
  void Notify(TNoticeKind kind, const std::string& text) override { shown.push_back({kind, text}); }
  TAnswer Ask(TQuestionKind kind, const std::string& text, bool withCancel) override {
    asked.push_back(text);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return TAnswer::Cancel;
    }
    TAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  void UserCaptionUpdate() override { ++captionUpdates; }
  void SetLoadStatus(const std::string& caption) override {
    if (statuses.empty() || statuses.back() != caption) statuses.push_back(caption);
  }
  void ProcessMessages() override {
    ++messagePumps;
    if (onPump) onPump();
  }
  int64_t Now() const override { return now; }
  bool StartProgram(const std::string& path, const std::vector<std::string>& args, plat::TRunning& running,
                    const std::string& order, plat::TEnded ended) override {
    started.push_back({path, args, order, std::move(ended)});
    if (onStart) onStart();
    if (startSucceeds) running = programRuns;
    else errno = startError;
    return startSucceeds;
  }
  bool Busy() const override { return busy; }
  std::string CartFileName() const override { return cartFile; }
  void EjectCart() override {
    ++ejects;
    cartFile.clear();
  }

  std::string LastText() const { return shown.empty() ? std::string() : shown.back().text; }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const Shown& s : shown) t.push_back(s.text);
    return t;
  }

  TUserFields users;
  TDeckSettings settings;
  std::vector<Shown> shown;
  std::deque<TAnswer> answers;
  std::vector<std::string> asked;
  std::vector<std::string> statuses;
  std::vector<Started> started;
  std::function<void()> onStart;
  // What a started program tells about itself: running until the test says it has ended.
  std::shared_ptr<std::atomic<bool>> programRuns = std::make_shared<std::atomic<bool>>(false);
  std::function<void()> onPump;
  bool startSucceeds = true;
  int startError = EACCES;  // errno of a start that fails
  int captionUpdates = 0, messagePumps = 0, ejects = 0;
  int64_t now = 0;
  bool busy = false;
  std::string cartFile;
};

// A gauge that counts what it is told.
class CountingGauge : public TLoadProgress {
public:
  void Reset() override {
    ++resets;
    position = 0;
  }
  void Step() override {
    ++position;
    ++steps;
  }
  int resets = 0, steps = 0, position = 0;
};
