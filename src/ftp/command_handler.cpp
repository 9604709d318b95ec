#include "ftp/command_handler.h"

#include "common/text.h"

namespace vantrel {

bool CommandHandler::Matches(std::string_view line, std::string& params) const {
  if (EqualsIgnoreCase(line, command)) {
    params.clear();
    return true;
  }
  if (line.size() <= command.size() || !EqualsIgnoreCase(line.substr(0, command.size()), command)) {
    return false;
  }
  if (cmd_delimiter == '\0') {
    params = line.substr(command.size());
    return true;
  }
  if (line[command.size()] != cmd_delimiter)
    return false;  // "NOOPX" is not NOOP
  params = line.substr(command.size() + 1);
  return true;
}

}  // namespace vantrel
