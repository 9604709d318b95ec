#include "ftp/cmd_tcp_server.h"

#include <algorithm>

#include "common/error.h"
#include "platform/socket_error.h"

namespace vantrel {
namespace {

std::vector<std::string> SplitParams(const std::string& text, char delimiter) {
  std::vector<std::string> params;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(delimiter, start);
    if (end == std::string::npos)
      end = text.size();
    if (end > start)
      params.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return params;
}

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

CmdTCPServer::CmdTCPServer() = default;

CmdTCPServer::~CmdTCPServer() {
  // Sessions call this class's overrides: they must end before this part is destroyed.
  SetActive(false);
}

std::vector<CommandHandler>& CmdTCPServer::CommandHandlers() {
  RequireInactive();
  return handlers_;
}

CommandHandler& CmdTCPServer::AddCommandHandler(std::string command) {
  RequireInactive();
  CommandHandler& handler = handlers_.emplace_back();
  handler.command = std::move(command);
  handler.name = "CommandHandler" + std::to_string(handlers_.size());
  return handler;
}

Reply& CmdTCPServer::Greeting() {
  RequireInactive();
  return greeting_;
}

Reply& CmdTCPServer::MaxConnectionReply() {
  RequireInactive();
  return max_connection_reply_;
}

std::string CmdTCPServer::OverLimitReply() const {
  return max_connection_reply_.Format();
}

std::unique_ptr<Connection> CmdTCPServer::CreateConnection(platform::TcpSocket socket) {
  return std::make_unique<FtpSession>(std::move(socket), FTPSecurityOptions{});
}

Reply& CmdTCPServer::ExceptionReply() {
  RequireInactive();
  return exception_reply_;
}

Reply& CmdTCPServer::ReplyUnknownCommand() {
  RequireInactive();
  return reply_unknown_command_;
}

Reply& CmdTCPServer::HelpReply() {
  RequireInactive();
  return help_reply_;
}

ReplyTextMap& CmdTCPServer::ReplyTexts() {
  RequireInactive();
  return reply_texts_;
}

void CmdTCPServer::SetLineDeadline(std::chrono::milliseconds deadline) {
  RequireInactive();
  if (deadline.count() <= 0)
    throw Error("The line deadline must be positive");
  line_deadline_ = deadline;
}

void CmdTCPServer::PrepareActivation() {
  if (handlers_initialized_)
    return;
  InitializeCommandHandlers();
  if (help_reply_.code() != 0)
    AddHelpHandler();
  handlers_initialized_ = true;
}

void CmdTCPServer::AddHelpHandler() {
  std::vector<const CommandHandler*> visible;
  for (const auto& handler : handlers_) {
    if (handler.help_visible)
      visible.push_back(&handler);
  }
  std::sort(visible.begin(), visible.end(),
            [](const auto* a, const auto* b) { return a->command < b->command; });
  std::vector<std::string> lines;
  for (const auto* handler : visible) {
    lines.push_back(handler->command + handler->help_super_script);
    for (const auto& line : handler->description)
      lines.push_back("  " + line);
    lines.emplace_back();
  }
  CommandHandler& help = AddCommandHandler("Help");
  help.description = {"Displays commands that the servers supports."};
  help.normal_reply = help_reply_;
  help.response = std::move(lines);
}

void CmdTCPServer::BeforeRun(Connection& connection) {
  TcpServer::BeforeRun(connection);
  if (connection.Connected())
    SendGreeting(SessionOf(connection));
}

void CmdTCPServer::SendGreeting(FtpSession& session) {
  if (greeting_.code() != 0)
    SendReply(session, greeting_);
}

bool CmdTCPServer::Execute(Connection& connection) {
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

std::optional<Deadline> CmdTCPServer::SessionDeadline(const FtpSession&) const {
  return std::nullopt;
}

Reply CmdTCPServer::SessionExpiredReply() const {
  return LineTimedOut();
}

std::optional<CommandLine> CmdTCPServer::ReadCommandLine(FtpSession& session) {
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

std::optional<CommandLine> CmdTCPServer::ReadFreshLine(FtpSession& session,
                                                       std::optional<Deadline> session_deadline) {
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

void CmdTCPServer::Expire(FtpSession& session, const Reply& reply) {
  try {
    SendReply(session, reply);
  } catch (const platform::SocketError&) {
    // Gone already, or not reading: it is closed either way.
  }
  session.Disconnect();
}

void CmdTCPServer::DispatchLine(FtpSession& session, std::string line) {
  if (OnBeforeCommandHandler)
    OnBeforeCommandHandler(handlers_, line, session);
  bool handled = false;
  for (auto& handler : handlers_) {
    std::string params;
    if (!handler.enabled || !handler.Matches(line, params))
      continue;
    ExecuteCommand(session, handler, line, std::move(params));
    handled = true;
    break;
  }
  if (!handled)
    HandleUnknownCommand(session, line);
  if (OnAfterCommandHandler)
    OnAfterCommandHandler(handlers_, session);
}

void CmdTCPServer::ExecuteCommand(FtpSession& session, CommandHandler& handler,
                                  const std::string& line, std::string params) {
  Command command(session, handler);
  command.raw_line = line;
  command.unparsed_params = std::move(params);
  if (handler.parse_params) {
    command.params = SplitParams(command.unparsed_params, handler.param_delimiter);
  }
  command.reply = handler.normal_reply;
  command.disconnect = handler.disconnect;
  try {
    if (handler.on_command)
      handler.on_command(command);
    if (command.reply.code() == 0)
      command.reply = handler.normal_reply;
  } catch (const platform::SocketError&) {
    throw;  // the connection itself failed: the session ends, there is nobody to answer
  } catch (const std::exception& failure) {
    command.reply =
        handler.exception_reply.code() != 0 ? handler.exception_reply : exception_reply_;
    command.reply.SetText(failure.what());
    command.disconnect = false;
    command.perform_reply = true;
  }
  if (command.perform_reply) {
    SendReply(session, command.reply);
    command.perform_reply = false;
  }
  const auto& extra = command.response.empty() ? handler.response : command.response;
  if (!extra.empty()) {
    std::string lines;
    for (const auto& text : extra)
      lines += text + "\r\n";
    session.Write(lines);
  }
  if (command.disconnect)
    session.Disconnect();
}

void CmdTCPServer::HandleUnknownCommand(FtpSession& session, const std::string&) {
  SendReply(session, reply_unknown_command_);
}

void CmdTCPServer::SendReply(FtpSession& session, Reply reply) const {
  FillEmptyText(reply, reply_texts_);
  session.WriteReply(reply);
}

}  // namespace vantrel
