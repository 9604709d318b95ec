#include "ftp/command_handler.h"

#include "common/text.h"

namespace vantrel {

bool CommandHandler::Matches(std::string_view line, std::string& params) const {
  if (line.size() < command.size() || !EqualsIgnoreCase(line.substr(0, command.size()), command))
    return false;
  if (line.size() == command.size()) {
    params.clear();
    return true;
  }
  if (line[command.size()] != ' ')
    return false;
  params = line.substr(command.size() + 1);
  return true;
}

}  // namespace vantrel
