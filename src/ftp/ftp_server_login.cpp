// The login state machine: USER names the account (or an anonymous name), PASS completes
// it through the host or, for anonymous names, on the server's own rules. Consecutive
// failures are counted per session and end it at the configured limit, and a connection
// that has not logged in by the login deadline is closed: before a login a client has
// proved nothing, and without a deadline a crowd of them could hold every place.

#include "common/error.h"
#include "common/text.h"
#include "ftp/ftp_server.h"

namespace vantrel {
namespace {

bool LooksLikeEmail(std::string_view password) {
  return password.find('@') != std::string_view::npos ||
         password.find('.') != std::string_view::npos;
}

}  // namespace

void FtpServer::SetLoginDeadline(std::chrono::milliseconds deadline) {
  RequireInactive();
  if (deadline.count() <= 0)
    throw Error("The login deadline must be positive");
  login_deadline_ = deadline;
}

void FtpServer::BeforeRun(Connection& connection) {
  FtpSession& session = SessionOf(connection);
  host_.session.SessionStarted(session);
  if (session.ImplicitTls()) {
    if (!tls_.context)
      throw Error("No TLS certificate for the implicit TLS port");
    StartControlTls(session);
  }
  FtpCommandServer::BeforeRun(connection);
  session.SetLoginDeadline(std::chrono::steady_clock::now() + login_deadline_);
}

std::optional<Deadline> FtpServer::SessionDeadline(const FtpSession& session) const {
  return session.LoginDeadline();
}

Reply FtpServer::SessionExpiredReply() const {
  return Reply(421, "Login timed out, closing control connection.");
}

void FtpServer::CmdUser(Command& command, FtpSession& session) {
  const std::string& name = command.unparsed_params;
  session.SetAuthenticated(false);
  session.SetRecord(nullptr);
  const std::string lower = ToLowerAscii(name);
  bool anonymous_name = false;
  for (const auto& account : anonymous_accounts_)
    anonymous_name = anonymous_name || lower == account;
  // The anonymous names are exempt whoever admits them, the engine or the host.
  if (RefusedBeforeAuth(command, session, anonymous_name)) {
    session.SetUserType(FtpUserType::kNone);
    return;
  }
  if (allow_anonymous_login_ && anonymous_name) {
    session.SetUserType(FtpUserType::kAnonymous);
    session.SetUsername(name);
    command.reply = Reply(331, "Anonymous login OK, send e-mail as password.");
    return;
  }
  session.SetUserType(FtpUserType::kNormal);
  if (name.empty()) {
    command.reply = Reply(332, "Need account for login.");
    return;
  }
  session.SetUsername(name);
  command.reply = Reply(331, "User name okay, need password.");
}

void FtpServer::CmdPass(Command& command, FtpSession& session) {
  const std::string& password = command.unparsed_params;
  switch (session.UserType()) {
    case FtpUserType::kNone:
      command.reply = Reply(503, "Login with USER first.");
      return;
    case FtpUserType::kAnonymous:
      if (!password.empty() && (!anonymous_pass_strict_check_ || LooksLikeEmail(password))) {
        session.SetAuthenticated(true);
        session.SetCurrentDir("/");
        AcceptLogin(command, session, "Anonymous user logged in, proceed.");
        return;
      }
      session.SetUserType(FtpUserType::kNone);
      session.SetAuthenticated(false);
      session.SetFailedLogins(session.FailedLogins() + 1);
      // Slows down guessing; a stopping server cuts the wait short.
      Pause(session.SecurityOptions().invalid_pass_delay);
      RefuseLogin(command, session);
      return;
    case FtpUserType::kNormal:
      break;
  }
  session.SetCurrentDir("/");
  try {
    session.SetRecord(host_.session.Login(session, session.Username(), password));
  } catch (...) {
    // The host refused the session after all (no home directory, say): it must not stay
    // logged in and reach files it was never given.
    session.SetUserType(FtpUserType::kNone);
    session.SetRecord(nullptr);
    throw;
  }
  if (session.Record()) {
    session.SetAuthenticated(true);
    AcceptLogin(command, session, "User logged in, proceed.");
    return;
  }
  session.SetFailedLogins(session.FailedLogins() + 1);
  RefuseLogin(command, session);
}

void FtpServer::AcceptLogin(Command& command, FtpSession& session, const char* text) {
  session.SetFailedLogins(0);
  session.SetLoginDeadline(std::nullopt);
  command.reply = Reply(230, text);
}

void FtpServer::RefuseLogin(Command& command, FtpSession& session) {
  const int attempts = session.SecurityOptions().password_attempts;
  if (attempts > 0 && session.FailedLogins() >= attempts) {
    command.reply = Reply(421, "Service not available, closing control connection.");
    command.disconnect = true;
    return;
  }
  command.reply = Reply(530, "Not logged in.");
}

}  // namespace vantrel
