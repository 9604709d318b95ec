#pragma once

#include <string>

#include "accounts/credentials.h"

namespace vantrel {

class AccessPolicy;
class AutoBan;
class FtpSession;
class LogQueue;
class PathMapper;
class Settings;
class TransferTable;
class Users;

// The units the file and transfer handlers work with; all owned by the service.
struct FtpHandlerUnits {
  Settings& settings;
  Users& users;
  AutoBan& auto_ban;
  LogQueue& log;
  PathMapper& mapper;
  AccessPolicy& policy;
  TransferTable& transfers;
};

// Who is asking, as every file handler needs it: the connection key and the credentials
// the connection logged in with. Whether they make a member is decided afresh per call.
struct FtpRequest {
  Credentials who;

  const std::string& key() const { return who.key; }
  // Starts every log line of a file handler: key, ", ", user name.
  std::string LogPrefix() const { return who.key + ", " + who.user; }
};

FtpRequest RequestOf(const FtpSession& session);

}  // namespace vantrel
