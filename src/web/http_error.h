#pragma once

#include <string>

#include "common/error.h"

namespace vantrel {

// A failure of the HTTP engine itself (a request it cannot parse, a misuse of the
// engine). Unless it is a refusal, the connection ends without a reply.
class HttpError : public Error {
 public:
  using Error::Error;
};

// A request the engine answers with a status of its own (a limit passed, a malformed
// field) before any handler sees it; the connection closes after that reply.
class HttpRefusal : public HttpError {
 public:
  HttpRefusal(int response_no, const std::string& reason)
      : HttpError(reason), response_no_(response_no) {}
  int ResponseNo() const { return response_no_; }

 private:
  int response_no_;
};

}  // namespace vantrel
