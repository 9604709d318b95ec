#pragma once

#include <stdexcept>
#include <string>

namespace vantrel::platform {

// Raised by the socket wrappers; the message says what was attempted, on which address
// where one applies, and the system's reason.
class SocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A bind or listen refused because another socket holds the address and port.
class AddressInUse : public SocketError {
 public:
  using SocketError::SocketError;
};

// A wait that ran out of time: the peer stayed silent (read) or stopped reading (write).
class SocketTimeout : public SocketError {
 public:
  using SocketError::SocketError;
};

// The system's reason for the last failed call on this thread, for a library that makes
// socket calls itself and leaves only that behind (OpenSSL's socket layer).
std::string LastSocketErrorText();

}  // namespace vantrel::platform
