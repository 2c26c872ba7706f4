#pragma once
// The texts that reach the application's exception handler while this lives.
#include <exception>
#include <string>
#include <vector>

#include "platform/messages/app_hooks.h"

struct HandledTexts {
  std::vector<std::string> texts;
  HandledTexts() {
    plat::SetExceptionHandler([this](const std::exception_ptr& e) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        texts.push_back(x.what());
      }
    });
  }
  ~HandledTexts() { plat::SetExceptionHandler(nullptr); }
  HandledTexts(const HandledTexts&) = delete;
  HandledTexts& operator=(const HandledTexts&) = delete;
};
