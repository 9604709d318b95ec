#pragma once

// The answers to the FTP engine's session events: who may connect, who may log in and
// with which home directory, and the bookkeeping of the online table, the counters and the
// auto-ban around a session's life. Owned by the service; the events run on connection
// threads, concurrently, and reach shared state only through the units' own locks.

#include <exception>
#include <string>

#include "common/clock.h"
#include "service/refusal_log.h"

namespace vantrel {

class AutoBan;
class Connection;
class FtpSession;
class LogQueue;
class OnlineClients;
class SessionRecords;
class Settings;
class Statistics;
class Users;

struct ServiceUnits {
  Settings& settings;
  Users& users;
  AutoBan& auto_ban;
  Statistics& statistics;
  LogQueue& log;
};

// The key that names a connection in the tables and starts its log lines.
std::string KeyOf(const Connection& context);

class FtpSessionHandlers {
 public:
  FtpSessionHandlers(const ServiceUnits& units, OnlineClients& online, SessionRecords& records,
                     const Clock& clock = DefaultClock())
      : units_(units), online_(online), records_(records), refusals_(units.log, clock) {}

  void Connect(Connection& context);
  void UserLogin(FtpSession& session, const std::string& user, const std::string& password,
                 bool& authenticated);
  void AfterUserLogin(FtpSession& session);
  void Disconnect(Connection& context);
  void Exception(Connection& context, const std::exception& failure);
  // Listener thread: a connection turned away over a limit; `ceiling` is the connection
  // budget's.
  void Refused(const platform::SocketAddress& peer, Refusal reason, int ceiling);

 private:
  void Log(const std::string& key, const std::string& message);
  // The bookkeeping of an accepted login; `forgive` takes one failed login off the
  // address's count.
  void Admit(const FtpSession& session, const std::string& key, const std::string& user,
             bool forgive);

  ServiceUnits units_;
  OnlineClients& online_;
  SessionRecords& records_;
  RefusalLog refusals_;
};

}  // namespace vantrel
