#pragma once
// The exception classes of the framework layer. Every failure the program reports to the
// operator is one of these; the message is the text shown.
#include <exception>
#include <string>

namespace plat {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }

private:
  std::string message_;
};

#define PLAT_EXCEPTION(Name, Base, DefaultText)                      \
  class Name : public Base {                                         \
  public:                                                            \
    Name() : Base(DefaultText) {}                                    \
    explicit Name(std::string message) : Base(std::move(message)) {} \
  };

PLAT_EXCEPTION(EAbort, Exception, "Operation aborted")
PLAT_EXCEPTION(EIntError, Exception, "Integer error")
PLAT_EXCEPTION(EIntOverflow, EIntError, "Integer overflow")
PLAT_EXCEPTION(ERangeError, EIntError, "Range check error")
PLAT_EXCEPTION(EDivByZero, EIntError, "Division by zero")
PLAT_EXCEPTION(EMathError, Exception, "Invalid floating point operation")
PLAT_EXCEPTION(EOutOfMemory, Exception, "Out of memory")
PLAT_EXCEPTION(EOutOfResources, Exception, "Not enough timers available")
PLAT_EXCEPTION(EInvalidOperation, Exception, "Invalid operation")
PLAT_EXCEPTION(EInvalidPointer, Exception, "Invalid pointer operation")
PLAT_EXCEPTION(EInvalidGraphic, Exception, "Unknown picture file extension")
PLAT_EXCEPTION(EInvalidGraphicOperation, Exception, "Invalid graphic operation")
PLAT_EXCEPTION(EConvertError, Exception, "Invalid conversion")
PLAT_EXCEPTION(EListError, Exception, "List index out of bounds")
PLAT_EXCEPTION(EStringListError, Exception, "List index out of bounds")
PLAT_EXCEPTION(EComponentError, Exception, "Component error")
PLAT_EXCEPTION(EInOutError, Exception, "I/O error")
PLAT_EXCEPTION(EStreamError, Exception, "Stream error")
PLAT_EXCEPTION(EFOpenError, EStreamError, "Cannot open file")
PLAT_EXCEPTION(EFCreateError, EStreamError, "Cannot create file")
PLAT_EXCEPTION(EReadError, EStreamError, "Stream read error")
PLAT_EXCEPTION(EWriteError, EStreamError, "Stream write error")
PLAT_EXCEPTION(EOSError, Exception, "System error")

}  // namespace plat
