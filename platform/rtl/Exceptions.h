#pragma once
// The failure channel of the whole system: one exception family rooted at
// platform::Exception. Each class reports its own name for messages such as
// "Cannot assign a %s to a %s".

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  virtual const char* ClassName() const noexcept { return "Exception"; }

  std::string Message;
};

#define PLATFORM_EXCEPTION(Name, Base)                                      \
  class Name : public Base {                                                \
  public:                                                                   \
    using Base::Base;                                                       \
    const char* ClassName() const noexcept override { return #Name; }       \
  }

PLATFORM_EXCEPTION(EAbort, Exception);
PLATFORM_EXCEPTION(EOutOfMemory, Exception);
PLATFORM_EXCEPTION(EOutOfResources, Exception);
PLATFORM_EXCEPTION(EInvalidGraphic, Exception);
PLATFORM_EXCEPTION(EInvalidGraphicOperation, Exception);
PLATFORM_EXCEPTION(EConvertError, Exception);
PLATFORM_EXCEPTION(EInvalidCast, Exception);
PLATFORM_EXCEPTION(EInvalidOperation, Exception);
PLATFORM_EXCEPTION(EListError, Exception);
PLATFORM_EXCEPTION(EThread, Exception);
PLATFORM_EXCEPTION(EOSError, Exception);
PLATFORM_EXCEPTION(EStreamError, Exception);
PLATFORM_EXCEPTION(EReadError, EStreamError);
PLATFORM_EXCEPTION(EWriteError, EStreamError);
PLATFORM_EXCEPTION(EFOpenError, EStreamError);
PLATFORM_EXCEPTION(EFCreateError, EStreamError);

#undef PLATFORM_EXCEPTION

// printf-style formatting for messages built from the system's format strings.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
