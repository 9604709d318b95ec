#pragma once

#include <string>

#include "accounts/credentials.h"

namespace vantrel {

class FTPServerContext;

// Who is asking, as every file handler needs it: the connection key and the credentials
// the connection logged in with. Whether they make a member is decided afresh per call.
struct FtpRequest {
  Credentials who;

  const std::string& key() const { return who.key; }
  // Starts every log line of a file handler: key, ", ", user name.
  std::string LogPrefix() const { return who.key + ", " + who.user; }
};

FtpRequest RequestOf(const FTPServerContext& session);

}  // namespace vantrel
