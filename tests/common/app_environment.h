#pragma once
// The framework's application object for a whole Qt test program: made after the QApplication of
// main() and freed before it. Register one with AddGlobalTestEnvironment.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"

class AppEnvironment : public ::testing::Environment {
public:
  enum class Dialogs { Shown, Queued };

  // Queued: a dialog nobody queued an answer for gets its default instead of a window.
  AppEnvironment(std::string title, Dialogs dialogs) : title_(std::move(title)), dialogs_(dialogs) {}

  void SetUp() override {
    app_ = std::make_unique<plat::TApplication>();
    app_->SetTitle(title_);
    if (dialogs_ == Dialogs::Queued) plat::SetDialogService(std::make_shared<plat::QueuedDialogs>());
  }
  void TearDown() override { app_.reset(); }
  // A fresh application, as the program's next start would have it, after a test ended this one.
  void Renew() {
    app_.reset();
    app_ = std::make_unique<plat::TApplication>();
    app_->SetTitle(title_);
  }

private:
  std::string title_;
  Dialogs dialogs_;
  std::unique_ptr<plat::TApplication> app_;
};

// Replaces an application that a test ended with a fresh one, as the program's next start would
// have it; the default dialog service stays as it was. Defined by each program's registration of
// its environment.
void RenewTestApplication();
