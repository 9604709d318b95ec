#include "ftp/ftp_server.h"

namespace vantrel {

void FtpServer::CmdCwd(Command& command, FtpSession& session) {
  // CWD alone goes to the root.
  const std::string& path = command.unparsed_params;
  ChangeDirectory(session, path.empty() ? "/" : path);
  command.reply = Reply(250, command.handler.command + " Command successful.");
}

void FtpServer::CmdCdup(Command& command, FtpSession& session) {
  ChangeDirectory(session, "..");
  command.reply = Reply(250, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FtpServer::CmdPwd(Command& command, FtpSession& session) {
  command.reply = Reply(257, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FtpServer::ChangeDirectory(FtpSession& session, std::string_view path) {
  session.SetCurrentDir(host_.files.ChangeDirectory(session, path));
}

}  // namespace vantrel
