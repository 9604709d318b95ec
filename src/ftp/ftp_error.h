#pragma once

#include "common/error.h"

namespace vantrel {

// What the FTP engine's host throws to refuse an operation: the engine answers the command
// with its failure code and this message as the text, and the session goes on.
class FtpError : public Error {
 public:
  using Error::Error;
};

// A refusal that comes with its own reply code instead of the command's failure code: the
// engine's, where the reason (no room for a data connection: 425) matters more than the
// command that met it.
class FtpCodedError : public FtpError {
 public:
  FtpCodedError(int code, const std::string& message) : FtpError(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace vantrel
