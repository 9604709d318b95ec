#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ftp/reply.h"

namespace vantrel {

class FtpSession;
struct CommandHandler;

// One received line being executed; lives until its reply is sent. The handler routine
// reads the parameters and the session and sets the reply; it refuses by throwing, and
// the exception's message becomes the reply text.
struct Command {
  Command(FtpSession& owner, CommandHandler& matched) : session(owner), handler(matched) {}

  std::string raw_line;
  std::string unparsed_params;      // everything after the command word and one delimiter
  std::vector<std::string> params;  // unparsed_params split at the parameter delimiter
  Reply reply;
  std::vector<std::string> response;  // extra lines written after the reply
  FtpSession& session;
  CommandHandler& handler;
  bool disconnect = false;
  bool perform_reply = true;  // a routine that wrote its own reply clears it
};

// One command word of a command server. Registered before the first activation and
// read-only while the server runs, so session threads share it without a lock.
struct CommandHandler {
  std::string command;
  char cmd_delimiter = ' ';  // '\0': the parameters follow the word directly
  char param_delimiter = ' ';
  bool parse_params = true;
  bool enabled = true;
  bool disconnect = false;  // close the connection after the reply
  Reply normal_reply{200};
  Reply exception_reply;  // no code: the server's exception reply is used
  std::vector<std::string> description;
  std::vector<std::string> response;
  std::string help_super_script;  // "*" marks a command that is not implemented
  bool help_visible = true;
  std::function<void(Command&)> on_command;
  int tag = 0;
  std::string name;

  // Whether `line` is this command; on a match `params` receives the parameter text.
  bool Matches(std::string_view line, std::string& params) const;
};

}  // namespace vantrel
