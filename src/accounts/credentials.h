#pragma once

#include <string>

namespace vantrel {

// Who asks: the connection key and the user name and password the connection logged in
// with. Whether that is a member is decided afresh from these on every question, so an
// account deleted or changed by the operator takes effect on the next command.
struct Credentials {
  std::string key;
  std::string user;
  std::string pass;
};

}  // namespace vantrel
