#pragma once

#include <stdexcept>

namespace vantrel {

// A failure whose message is meant for the operator or the client as it stands.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vantrel
