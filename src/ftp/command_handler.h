#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/reply.h"

namespace vantrel {

class FtpSession;
struct CommandHandler;

// One received line being executed; lives until its reply is sent. The handler routine
// reads the parameters and the session and sets the reply; it refuses by throwing
// FtpError, whose message becomes the reply text.
struct Command {
  Command(FtpSession& owner, const CommandHandler& matched) : session(owner), handler(matched) {}

  std::string raw_line;
  std::string unparsed_params;  // everything after the command word and one blank
  Reply reply;
  FtpSession& session;
  const CommandHandler& handler;
  bool disconnect = false;    // close the connection after the reply
  bool perform_reply = true;  // a routine that wrote its own reply clears it
};

// One command word of a command server. Registered before the first activation and
// read-only while the server runs, so session threads share it without a lock.
struct CommandHandler {
  std::string command;
  Reply normal_reply{200};
  Reply exception_reply;  // no code: the server's exception reply is used
  std::vector<std::string> description;
  std::string help_super_script;  // "*" marks a command that is not implemented
  bool help_visible = true;
  std::function<void(Command&)> on_command;

  // Whether `line` is this command: the word alone or followed by a blank, ignoring
  // letter case ("NOOP x" is NOOP, "NOOPX" is not). On a match `params` receives the
  // text after the blank.
  bool Matches(std::string_view line, std::string& params) const;
};

}  // namespace vantrel
