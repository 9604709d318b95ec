#pragma once

#include "common/error.h"

namespace vantrel {

// What the FTP engine's host throws to refuse an operation: the engine answers the command
// with its failure code and this message as the text, and the session goes on.
class FtpError : public Error {
 public:
  using Error::Error;
};

}  // namespace vantrel
