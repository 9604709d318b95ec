#include "service/ftp_session_handlers.h"

#include <chrono>

#include "accounts/auto_ban.h"
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
  units_.users.AddOnlineClient("", "", key);
  units_.users.SetOnlineAction(key, "CONNECT");
  context.Socket().SetReadTimeout(kSessionReadTimeout);
}

void FtpSessionHandlers::UserLogin(FtpSession& session, const std::string& user,
                                   const std::string& password, bool& authenticated) {
  const std::string key = KeyOf(session);
  units_.users.SetOnlineAction(key, "LOGIN");
  session.SetCurrentDir("/");
  authenticated = units_.users.Authenticate(key, user, password);
  if (authenticated) {
    session.SetHomeDir(units_.users.GetHomeDirectory(user));
    units_.statistics.CountSession();
    Admit(session, key, user, password, true);
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
  session.SetHomeDir(units_.settings.Get(&SettingsData::anonymoushome));
  authenticated = true;
  Admit(session, key, user, password, !member_named);
}

void FtpSessionHandlers::Admit(FtpSession& session, const std::string& key, const std::string& user,
                               const std::string& password, bool forgive) {
  if (forgive)
    units_.auto_ban.ForgiveLoginFailure(key);
  units_.users.SetOnlineUser(key, user, password);
  Log(key, "> Authenticated as " + user + " (" + session.HomeDir() + ")");
}

void FtpSessionHandlers::AfterUserLogin(FtpSession& session) {
  const std::string key = KeyOf(session);
  units_.users.SetOnlineUser(key, session.Username(), session.Password());
  if (session.HomeDir().empty()) {
    Log(key, ", " + session.Username() + "> No home directory defined");
    // The engine ends the login again, so the session can never reach the file system.
    throw FtpError("No home directory defined");
  }
  if (session.CurrentDir().empty())
    session.SetCurrentDir("/");
}

void FtpSessionHandlers::Disconnect(Connection& context) {
  const std::string key = KeyOf(context);
  units_.users.SetOnlineAction(key, "DISCONN");
  Log(key, "> Disconnected");
  units_.users.RemoveOnlineClient(key);
}

void FtpSessionHandlers::Refused(const platform::SocketAddress& peer, Refusal reason, int ceiling) {
  refusals_.Refused(peer.ip,
                    ConnectionKey(peer.ip, peer.port) + "> " + RefusalText(reason, ceiling));
}

void FtpSessionHandlers::Exception(Connection& context, const std::exception&) {
  const std::string key = KeyOf(context);
  if (context.Connected()) {
    units_.users.SetOnlineAction(key, "DISCONN");
    context.Disconnect();
  }
  units_.users.RemoveOnlineClient(key);
}

}  // namespace vantrel
