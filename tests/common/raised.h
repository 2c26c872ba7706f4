#pragma once
// What a call refused with: the message of the framework exception it raised.
#include <functional>
#include <string>

#include "platform/system/exceptions.h"

inline std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const plat::Exception& e) {
    return e.Message();
  }
  return "(nothing raised)";
}
