#include "ftp/ftp_server.h"
#include "ftp/path_processing.h"

namespace vantrel {

void FTPServer::CmdCwd(Command& command, FTPServerContext& session) {
  if (!OnChangeDirectory) {
    command.reply = NotImplemented(command);
    return;
  }
  ChangeDirectory(session, ProcessCwdPath(session.CurrentDir(), command.unparsed_params));
  command.reply = Reply(250, command.handler.command + " Command successful.");
}

void FTPServer::CmdCdup(Command& command, FTPServerContext& session) {
  if (!OnChangeDirectory) {
    command.reply = NotImplemented(command);
    return;
  }
  ChangeDirectory(session, ProcessPath(session.CurrentDir(), "../"));
  command.reply = Reply(250, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FTPServer::CmdPwd(Command& command, FTPServerContext& session) {
  command.reply = Reply(257, QuotedPathname(session.CurrentDir()) + " is working directory.");
}

void FTPServer::ChangeDirectory(FTPServerContext& session, std::string directory) {
  OnChangeDirectory(session, directory);
  session.SetCurrentDir(std::move(directory));
}

}  // namespace vantrel
