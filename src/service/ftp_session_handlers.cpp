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
#include "log/statistics.h"

namespace vantrel {
namespace {

constexpr std::chrono::milliseconds kSessionReadTimeout{300000};

}  // namespace

std::string KeyOf(const Connection& context) {
  const auto& peer = context.Socket().PeerAddress();
  return ConnectionKey(peer.ip, peer.port);
}

void FtpSessionHandlers::Log(const std::string& key, const std::string& message) {
  units_.log.LogLine(key + message);
}

void FtpSessionHandlers::Connect(Connection& context) {
  const std::string key = KeyOf(context);
  if (units_.settings.IsBanned(context.Socket().PeerAddress().ip)) {
    Log(key, "> Not allowed to Connect");
    context.Disconnect();
    throw FtpError("Not allowed to connect");
  }
  units_.statistics.CountConnection();
  online_.Add(key);
  online_.SetAction(key, "CONNECT");
  context.Socket().SetReadTimeout(kSessionReadTimeout);
}

void FtpSessionHandlers::UserLogin(FtpSession& session, const std::string& user,
                                   const std::string& password, bool& authenticated) {
  const std::string key = KeyOf(session);
  online_.SetAction(key, "LOGIN");
  session.SetCurrentDir("/");
  session.SetRecord(records_.MemberLogin(key, user, password));
  authenticated = session.Record() != nullptr;
  if (authenticated) {
    units_.statistics.CountSession();
    Admit(session, key, user, true);
    return;
  }
  // A member's name with a wrong password is a guess even where anonymous users are
  // admitted: left uncounted, it could be repeated at full speed until the session that
  // follows shows by what it can see that the password was right.
  const bool member_named = units_.users.FindAccount(user) >= 0;
  const bool anonymous = units_.settings.Get(&SettingsData::allowanonymous);
  if (member_named || !anonymous) {
    units_.auto_ban.RecordFailure(BanRule::kLogin, key, session.Username());
    // Never the password: a mistyped one is usually a character away from the real one.
    Log(key, "> Failed to authenticate as " + user);
  }
  // Once banned, an address gets no more anonymous sessions on the connections it holds.
  if (!anonymous || units_.settings.IsBanned(session.Socket().PeerAddress().ip))
    return;
  session.SetRecord(records_.Anonymous());
  authenticated = true;
  Admit(session, key, user, !member_named);
}

void FtpSessionHandlers::Admit(const FtpSession& session, const std::string& key,
                               const std::string& user, bool forgive) {
  if (forgive)
    units_.auto_ban.ForgiveLoginFailure(key);
  online_.SetUser(key, user);
  Log(key, "> Authenticated as " + user + " (" + session.Record()->home + ")");
}

void FtpSessionHandlers::AfterUserLogin(FtpSession& session) {
  const std::string key = KeyOf(session);
  online_.SetUser(key, session.Username());
  if (!session.Record() || session.Record()->home.empty()) {
    Log(key, ", " + session.Username() + "> No home directory defined");
    // The engine ends the login again, so the session can never reach the file system.
    throw FtpError("No home directory defined");
  }
  if (session.CurrentDir().empty())
    session.SetCurrentDir("/");
}

void FtpSessionHandlers::Disconnect(Connection& context) {
  const std::string key = KeyOf(context);
  online_.SetAction(key, "DISCONN");
  Log(key, "> Disconnected");
  online_.Remove(key);
}

void FtpSessionHandlers::Refused(const platform::SocketAddress& peer, Refusal reason, int ceiling) {
  refusals_.Refused(peer.ip,
                    ConnectionKey(peer.ip, peer.port) + "> " + RefusalText(reason, ceiling));
}

void FtpSessionHandlers::Exception(Connection& context, const std::exception&) {
  const std::string key = KeyOf(context);
  if (context.Connected()) {
    online_.SetAction(key, "DISCONN");
    context.Disconnect();
  }
  online_.Remove(key);
}

}  // namespace vantrel
