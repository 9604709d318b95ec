#include "service/ftp_session_handlers.h"

#include <chrono>

#include "accounts/auto_ban.h"
#include "accounts/online_clients.h"
#include "accounts/session_records.h"
#include "accounts/users.h"
#include "common/connection_key.h"
#include "config/settings.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_session.h"
#include "log/log_queue.h"
#include "log/metrics.h"
#include "log/statistics.h"
#include "net/tls_error.h"

namespace vantrel {
namespace {

constexpr std::chrono::milliseconds kSessionReadTimeout{300000};

}  // namespace

std::string KeyOf(const Connection& connection) {
  const auto& peer = connection.PeerAddress();
  return ConnectionKey(peer.ip, peer.port);
}

std::string LogKeyOf(const Connection& connection) {
  return connection.Encrypted() ? KeyOf(connection) + " TLS" : KeyOf(connection);
}

void FtpSessionHandlers::Log(const std::string& key, const std::string& message) {
  units_.log.LogLine(key + message);
}

void FtpSessionHandlers::SessionStarted(FtpSession& session) {
  const std::string key = KeyOf(session);
  if (units_.settings.IsBanned(session.PeerAddress().ip)) {
    units_.metrics.CountRefusal(RefusalReason::kBanned);
    Log(key, "> Not allowed to Connect");
    session.Disconnect();
    throw FtpError("Not allowed to connect");
  }
  units_.statistics.CountConnection();
  units_.metrics.CountConnection();
  units_.online.Add(key);
  units_.online.SetAction(key, "CONNECT");
  session.Socket().SetReadTimeout(kSessionReadTimeout);
}

void FtpSessionHandlers::SessionEncrypted(FtpSession& session) {
  units_.online.SetEncrypted(KeyOf(session));
  Log(LogKeyOf(session), "> " + session.TlsDescription());
}

std::shared_ptr<const SessionRecord> FtpSessionHandlers::Login(FtpSession& session,
                                                               const std::string& user,
                                                               const std::string& password) {
  const std::string key = KeyOf(session);
  const std::string log_key = LogKeyOf(session);
  units_.online.SetAction(key, "LOGIN");
  if (auto member = units_.records.MemberLogin(key, user, password)) {
    units_.statistics.CountSession();
    return Admit(session, user, std::move(member), true);
  }
  // A member's name with a wrong password is a guess even where anonymous users are
  // admitted: left uncounted, it could be repeated at full speed until the session that
  // follows shows by what it can see that the password was right.
  const bool member_named = units_.users.FindAccount(user) >= 0;
  const bool anonymous = units_.settings.Get(&SettingsData::allowanonymous);
  if (member_named || !anonymous) {
    units_.metrics.CountLoginFailure();
    units_.auto_ban.RecordFailure(BanRule::kLogin, key, user);
    // Never the password: a mistyped one is usually a character away from the real one.
    Log(log_key, "> Failed to authenticate as " + user);
  }
  // Once banned, an address gets no more anonymous sessions on the connections it holds.
  if (!anonymous || units_.settings.IsBanned(session.PeerAddress().ip))
    return nullptr;
  return Admit(session, user, units_.records.Anonymous(password), !member_named);
}

std::shared_ptr<const SessionRecord> FtpSessionHandlers::Admit(
    const FtpSession& session, const std::string& user, std::shared_ptr<const SessionRecord> record,
    bool forgive) {
  const std::string key = KeyOf(session);
  const std::string log_key = LogKeyOf(session);
  if (forgive)
    units_.auto_ban.ForgiveLoginFailure(key);
  units_.online.SetUser(key, user);
  Log(log_key, "> Authenticated as " + user + " (" + record->home + ")");
  if (record->home.empty()) {
    Log(log_key, ", " + user + "> No home directory defined");
    // The engine ends the login again, so the session can never reach the file system.
    throw FtpError("No home directory defined");
  }
  units_.metrics.CountSession();
  return record;
}

void FtpSessionHandlers::CommandFailed(FtpSession& session, const std::string& command,
                                       const std::exception& failure) {
  Log(LogKeyOf(session), ", " + session.Username() + "> " + command + " failed: " + failure.what());
}

void FtpSessionHandlers::SessionEnded(FtpSession& session) {
  const std::string key = KeyOf(session);
  units_.online.SetAction(key, "DISCONN");
  Log(LogKeyOf(session), "> Disconnected");
  units_.online.Remove(key);
}

void FtpSessionHandlers::ConnectionRefused(const platform::SocketAddress& peer, Refusal reason) {
  // A broken PROXY header is the balancer's fault, not a limit the operator set.
  if (reason != Refusal::kProxyHeader) {
    units_.metrics.CountRefusal(reason == Refusal::kPerAddress ? RefusalReason::kPerAddressLimit
                                                               : RefusalReason::kLimit);
  }
  refusals_.LogLine(ConnectionKey(peer.ip, peer.port) + "> " + RefusalText(reason, ceiling_),
                    peer.ip);
}

void FtpSessionHandlers::OutOfDescriptors(FtpSession& session, DescriptorUse use) {
  // Keyed apart from the connection refusals: a full budget shows in both, and each tells
  // the operator something different.
  const std::string kind = use == DescriptorUse::kDataConnection ? " data" : " file";
  refusals_.LogLine(
      LogKeyOf(session) + ", " + session.Username() + "> " + RefusalText(use, capacity_),
      session.PeerAddress().ip + kind);
}

void FtpSessionHandlers::SessionFailed(FtpSession& session, const std::exception& failure) {
  const std::string key = KeyOf(session);
  // A failed or stalled handshake is the one failure an operator looks for: a client
  // with the wrong settings, or somebody probing the port.
  if (dynamic_cast<const TlsError*>(&failure) != nullptr)
    Log(key, std::string("> ") + failure.what());
  if (session.Connected()) {
    units_.online.SetAction(key, "DISCONN");
    session.Disconnect();
  }
  units_.online.Remove(key);
}

}  // namespace vantrel
