#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/path_resolver.h"
#include "accounts/session_record.h"

namespace vantrel {

class AutoBan;
class FtpSession;
class LogQueue;
class Metrics;
class OnlineClients;
class SessionRecords;
class Settings;
class Statistics;
class TransferLog;
class TransferTable;
class Users;

// The units the FTP handlers work with; all owned by the service.
struct FtpHandlerUnits {
  Settings& settings;
  Users& users;
  OnlineClients& online;
  AutoBan& auto_ban;
  Statistics& statistics;
  LogQueue& log;
  SessionRecords& records;
  TransferTable& transfers;
  Metrics& metrics;
  TransferLog& transfer_log;
};

// One request of a session as every file handler needs it: the connection key, the user
// name, and the session's record, brought up to date when the request began.
struct FtpRequest {
  std::string key;
  std::string user;
  std::shared_ptr<const SessionRecord> record;  // never null
  bool encrypted = false;                       // the control connection speaks TLS

  // Starts every log line of a file handler: key (with " TLS" when encrypted), ", ",
  // user name.
  std::string LogPrefix() const { return key + (encrypted ? " TLS, " : ", ") + user; }
  bool Allows(FileOperation operation, std::string_view disk_path = {}) const {
    return record->Allows(operation, disk_path);
  }
  // The client's `argument` against `current_directory`; nothing when refused.
  std::optional<ResolvedPath> Resolve(std::string_view current_directory,
                                      std::string_view argument) const {
    return ResolvePath(*record, current_directory, argument);
  }
};

// How log lines and messages name the client's path: the FTP path it resolved to, or the
// argument itself when it resolved to nothing.
std::string Named(const std::optional<ResolvedPath>& path, std::string_view argument);

// Gives the session a rebuilt record first when the account table or the settings moved.
// A session the engine admitted on its own has no record, and gets no rights.
FtpRequest RequestOf(FtpSession& session, const SessionRecords& records);

}  // namespace vantrel
