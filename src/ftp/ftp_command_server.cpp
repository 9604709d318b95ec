#include "ftp/ftp_command_server.h"

#include <algorithm>

#include "common/error.h"
#include "ftp/ftp_error.h"
#include "platform/socket_error.h"

namespace vantrel {
namespace {

std::optional<Deadline> Earliest(std::optional<Deadline> a, std::optional<Deadline> b) {
  if (!a || !b)
    return a ? a : b;
  return std::min(*a, *b);
}

bool Passed(const std::optional<Deadline>& deadline) {
  return deadline && std::chrono::steady_clock::now() >= *deadline;
}

Reply LineTimedOut() {
  return Reply(421, "Control connection timed out.");
}

}  // namespace

FtpCommandServer::FtpCommandServer() = default;

FtpCommandServer::~FtpCommandServer() {
  // Sessions call this class's overrides: they must end before this part is destroyed.
  SetActive(false);
}

CommandHandler& FtpCommandServer::AddCommandHandler(std::string command) {
  RequireInactive();
  CommandHandler& handler = handlers_.emplace_back();
  handler.command = std::move(command);
  return handler;
}

Reply& FtpCommandServer::Greeting() {
  RequireInactive();
  return greeting_;
}

Reply& FtpCommandServer::MaxConnectionReply() {
  RequireInactive();
  return max_connection_reply_;
}

std::string FtpCommandServer::OverLimitReply() const {
  return max_connection_reply_.Format();
}

std::unique_ptr<Connection> FtpCommandServer::CreateConnection(platform::TcpSocket socket) {
  return std::make_unique<FtpSession>(std::move(socket), FtpSecurityOptions{});
}

Reply& FtpCommandServer::ExceptionReply() {
  RequireInactive();
  return exception_reply_;
}

Reply& FtpCommandServer::ReplyUnknownCommand() {
  RequireInactive();
  return reply_unknown_command_;
}

ReplyTextMap& FtpCommandServer::ReplyTexts() {
  RequireInactive();
  return reply_texts_;
}

void FtpCommandServer::SetLineDeadline(std::chrono::milliseconds deadline) {
  RequireInactive();
  if (deadline.count() <= 0)
    throw Error("The line deadline must be positive");
  line_deadline_ = deadline;
}

void FtpCommandServer::PrepareActivation() {
  if (handlers_initialized_)
    return;
  InitializeCommandHandlers();
  handlers_initialized_ = true;
}

void FtpCommandServer::BeforeRun(Connection& connection) {
  if (connection.Connected())
    SendGreeting(SessionOf(connection));
}

void FtpCommandServer::SendGreeting(FtpSession& session) {
  if (greeting_.code() != 0)
    SendReply(session, greeting_);
}

bool FtpCommandServer::Execute(Connection& connection) {
  FtpSession& session = SessionOf(connection);
  if (!session.Connected())
    return false;
  std::optional<CommandLine> line = ReadCommandLine(session);
  if (!line)
    return false;
  if (line->too_long) {
    SendReply(session, Reply(500, "Command line too long."));
  } else if (!line->text.empty()) {
    DispatchLine(session, std::move(line->text));
  }
  return session.Connected();
}

std::optional<Deadline> FtpCommandServer::SessionDeadline(const FtpSession&) const {
  return std::nullopt;
}

Reply FtpCommandServer::SessionExpiredReply() const {
  return LineTimedOut();
}

std::optional<CommandLine> FtpCommandServer::ReadCommandLine(FtpSession& session) {
  // Checked before any line is taken, so that a client sending commands without pause is
  // held to the session deadline as well as a silent one.
  const std::optional<Deadline> session_deadline = SessionDeadline(session);
  if (Passed(session_deadline)) {
    Expire(session, SessionExpiredReply());
    return std::nullopt;
  }
  if (!session.KeptLines().empty()) {
    CommandLine kept = std::move(session.KeptLines().front());
    session.KeptLines().pop_front();
    return kept;
  }
  return ReadFreshLine(session, session_deadline);
}

std::optional<CommandLine> FtpCommandServer::ReadFreshLine(
    FtpSession& session, std::optional<Deadline> session_deadline) {
  std::optional<Deadline> line_deadline;
  for (;;) {
    std::string& input = session.Input();
    std::string_view pending(input);
    std::string answer;
    std::optional<CommandLine> line = session.LineReader().Feed(pending, answer);
    input.erase(0, input.size() - pending.size());
    if (!answer.empty())
      session.Write(answer);
    if (line)
      return line;
    if (!line_deadline && session.LineReader().InLine())
      line_deadline = std::chrono::steady_clock::now() + line_deadline_;
    session.SetInputDeadline(Earliest(session_deadline, line_deadline));
    bool more = false;
    try {
      more = session.ReadMore();
    } catch (const InputDeadlinePassed&) {
      session.SetInputDeadline(std::nullopt);
      Expire(session, Passed(session_deadline) ? SessionExpiredReply() : LineTimedOut());
      return std::nullopt;
    }
    session.SetInputDeadline(std::nullopt);
    if (!more)
      return std::nullopt;
  }
}

void FtpCommandServer::Expire(FtpSession& session, const Reply& reply) {
  try {
    SendReply(session, reply);
  } catch (const platform::SocketError&) {
    // Gone already, or not reading: it is closed either way.
  }
  session.Disconnect();
}

void FtpCommandServer::DispatchLine(FtpSession& session, const std::string& line) {
  for (const auto& handler : handlers_) {
    Command command(session, handler);
    if (!handler.Matches(line, command.unparsed_params))
      continue;
    command.raw_line = line;
    ExecuteCommand(command);
    return;
  }
  HandleUnknownCommand(session, line);
}

void FtpCommandServer::ExecuteCommand(Command& command) {
  const CommandHandler& handler = command.handler;
  command.reply = handler.normal_reply;
  try {
    if (handler.on_command)
      handler.on_command(command);
    if (command.reply.code() == 0)
      command.reply = handler.normal_reply;
  } catch (const platform::SocketError&) {
    throw;  // the connection itself failed: the session ends, there is nobody to answer
  } catch (const FtpError& refusal) {
    if (const auto* coded = dynamic_cast<const FtpCodedError*>(&refusal))
      command.reply = Reply(coded->code());
    else
      command.reply =
          handler.exception_reply.code() != 0 ? handler.exception_reply : exception_reply_;
    command.reply.SetText(refusal.what());
    command.disconnect = false;
    command.perform_reply = true;
  } catch (const std::exception& failure) {
    // Not the client's doing, and not for its eyes: the detail goes to the log.
    command.reply = Reply(451, kLocalError);
    command.disconnect = false;
    command.perform_reply = true;
    CommandFailed(command.session, handler.command, failure);
  }
  if (command.perform_reply)
    SendReply(command.session, command.reply);
  if (command.disconnect)
    command.session.Disconnect();
}

void FtpCommandServer::HandleUnknownCommand(FtpSession& session, const std::string&) {
  SendReply(session, reply_unknown_command_);
}

void FtpCommandServer::SendReply(FtpSession& session, Reply reply) const {
  FillEmptyText(reply, reply_texts_);
  session.WriteReply(reply);
}

}  // namespace vantrel
