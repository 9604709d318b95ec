#include "ftp/ftp_server.h"

namespace vantrel {

void FTPServer::CmdCwd(Command& command, FtpSession& session) {
  if (!OnChangeDirectory) {
    command.reply = NotImplemented(command);
    return;
  }
  // CWD alone goes to the root.
  const std::string& argument = command.unparsed_params;
  ChangeDirectory(session, argument.empty() ? "/" : argument);
  command.reply = Reply(250, command.handler.command + " Command successful.");
}

void FTPServer::CmdCdup(Command& command, FtpSession& session) {
  if (!OnChangeDirectory) {
    command.reply = NotImplemented(command);
    return;
  }
  ChangeDirectory(session, "..");
  command.reply = Reply(250, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FTPServer::CmdPwd(Command& command, FtpSession& session) {
  command.reply = Reply(257, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FTPServer::ChangeDirectory(FtpSession& session, std::string directory) {
  OnChangeDirectory(session, directory);
  session.SetCurrentDir(std::move(directory));
}

}  // namespace vantrel
