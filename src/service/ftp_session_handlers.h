#pragma once

// The service's answers about a session's life: who may connect, who may log in and with
// which rights, and the bookkeeping of the online table, the counters and the auto-ban
// around it. Owned by the service; the methods run on connection threads, concurrently,
// and reach shared state only through the units' own locks.

#include <string>

#include "common/clock.h"
#include "ftp/ftp_host.h"
#include "log/log_throttle.h"
#include "service/ftp_request.h"
#include "service/refusal_text.h"

namespace vantrel {

class AutoBan;
class Connection;
class LogQueue;
class Settings;
class Statistics;
class Users;

// The units the session handlers and the web interface work with; all owned by the service.
struct ServiceUnits {
  Settings& settings;
  Users& users;
  AutoBan& auto_ban;
  Statistics& statistics;
  LogQueue& log;
};

// The key that names a connection in the tables and starts its log lines.
std::string KeyOf(const Connection& connection);
// The key as log lines show it: with " TLS" after it for an encrypted connection.
std::string LogKeyOf(const Connection& connection);

class FtpSessionHandlers final : public FtpSessionHost {
 public:
  // `ceiling` and `capacity` are the connection budget's, which refusals for want of room
  // name.
  FtpSessionHandlers(const FtpHandlerUnits& units, int ceiling, int capacity,
                     const Clock& clock = DefaultClock())
      : units_(units), ceiling_(ceiling), capacity_(capacity), refusals_(units.log, clock) {}

  void SessionStarted(FtpSession& session) override;
  void SessionEncrypted(FtpSession& session) override;
  void SessionEnded(FtpSession& session) override;
  void SessionFailed(FtpSession& session, const std::exception& failure) override;
  void ConnectionRefused(const platform::SocketAddress& peer, Refusal reason) override;
  void OutOfDescriptors(FtpSession& session, DescriptorUse use) override;
  // A member with the right password gets the account's rights; anyone else, while
  // anonymous access is on and the address is not banned, the anonymous ones.
  std::shared_ptr<const SessionRecord> Login(FtpSession& session, const std::string& user,
                                             const std::string& password) override;
  void CommandFailed(FtpSession& session, const std::string& command,
                     const std::exception& failure) override;

 private:
  void Log(const std::string& key, const std::string& message);
  // A login that gets in: the bookkeeping, and the refusal of one without a home
  // directory. `forgive` takes one failed login off the address's count.
  std::shared_ptr<const SessionRecord> Admit(const FtpSession& session, const std::string& user,
                                             std::shared_ptr<const SessionRecord> record,
                                             bool forgive);

  FtpHandlerUnits units_;
  const int ceiling_;
  const int capacity_;
  LogThrottle refusals_;  // one line per address and reason a minute
};

}  // namespace vantrel
