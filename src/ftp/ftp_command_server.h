#pragma once

// The line-oriented command layer of the FTP engine: a greeting on connect, then one
// command line at a time matched against the registered handlers and answered with a
// numeric reply. A routine refuses by throwing FtpError, answered with the handler's
// failure code and the message; any other exception is a fault on this side, which the
// client hears of as 451 with a generic text while CommandFailed gets the detail.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/command_handler.h"
#include "ftp/ftp_session.h"
#include "ftp/reply.h"
#include "net/tcp_server.h"

namespace vantrel {

// Owned by the host; configured before the first activation (see TcpServer). Its
// connections are FTP sessions, created by CreateConnection.
class FtpCommandServer : public TcpServer {
 public:
  FtpCommandServer();
  ~FtpCommandServer() override;

  CommandHandler& AddCommandHandler(std::string command);

  // Sent on connect when it has a code.
  Reply& Greeting();
  // Written to a connection over a limit, which is then closed.
  Reply& MaxConnectionReply();
  // Code for a routine's refusal when its handler has no exception reply.
  Reply& ExceptionReply();
  Reply& ReplyUnknownCommand();
  ReplyTextMap& ReplyTexts();
  // How long a command line may take to arrive, from its first byte. Past it the session
  // is told "Control connection timed out." and closed.
  static constexpr std::chrono::milliseconds kDefaultLineDeadline{60000};
  std::chrono::milliseconds LineDeadline() const { return line_deadline_; }
  void SetLineDeadline(std::chrono::milliseconds deadline);

 protected:
  // Registers the command set; runs once, at the first activation.
  virtual void InitializeCommandHandlers() {}
  virtual void SendGreeting(FtpSession& session);
  virtual void HandleUnknownCommand(FtpSession& session, const std::string& line);
  // A routine of `command` failed with anything but FtpError (the client was told 451);
  // the session's thread.
  virtual void CommandFailed(FtpSession& /*session*/, const std::string& /*command*/,
                             const std::exception& /*failure*/) {}

  void PrepareActivation() override;
  std::unique_ptr<Connection> CreateConnection(platform::TcpSocket socket) override;
  std::string OverLimitReply() const override;
  void BeforeRun(Connection& connection) override;
  bool Execute(Connection& connection) override;
  // Every connection of this server is the session CreateConnection made.
  static FtpSession& SessionOf(Connection& connection) {
    return static_cast<FtpSession&>(connection);
  }

  // The moment a session ends whatever it sends, and what it is told then; nothing (the
  // default): no such moment.
  virtual std::optional<Deadline> SessionDeadline(const FtpSession& session) const;
  virtual Reply SessionExpiredReply() const;

  // The next line from the client; nothing once the connection closed or a deadline
  // passed (the session was told and closed).
  std::optional<CommandLine> ReadCommandLine(FtpSession& session);
  // Runs `line` through the handlers (or the unknown-command path).
  void DispatchLine(FtpSession& session, const std::string& line);
  // Runs `command`'s routine and sends its reply, or the failure reply.
  void ExecuteCommand(Command& command);
  // Sends `reply` after filling an empty text from ReplyTexts().
  void SendReply(FtpSession& session, Reply reply) const;

  // Read-only while active; for subclasses that answer from their own state.
  const std::vector<CommandHandler>& Handlers() const { return handlers_; }
  const Reply& UnknownCommandReply() const { return reply_unknown_command_; }

 private:
  // Reads until a line is complete, within `session_deadline` and the line deadline.
  std::optional<CommandLine> ReadFreshLine(FtpSession& session,
                                           std::optional<Deadline> session_deadline);
  // Tells the client why and closes.
  void Expire(FtpSession& session, const Reply& reply);

  std::vector<CommandHandler> handlers_;
  bool handlers_initialized_ = false;
  Reply greeting_;
  Reply max_connection_reply_;
  Reply exception_reply_{500, "Unknown Internal Error"};
  Reply reply_unknown_command_{500, "Unknown Command"};
  ReplyTextMap reply_texts_;
  std::chrono::milliseconds line_deadline_ = kDefaultLineDeadline;
};

}  // namespace vantrel
