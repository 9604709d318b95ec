#pragma once

#include <chrono>
#include <optional>

namespace vantrel {

// How long clients may take, where the operator chose other figures than the engines'
// own (a command line from its first byte, the login from the greeting, a web request).
// An empty figure leaves the engine's default.
struct ClientDeadlines {
  std::optional<std::chrono::milliseconds> line;
  std::optional<std::chrono::milliseconds> login;
  std::optional<std::chrono::milliseconds> request;
};

}  // namespace vantrel
