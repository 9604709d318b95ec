#include "ftp/context.h"

#include "ftp/reply.h"

namespace vantrel {
namespace {

constexpr std::size_t kReadBlock = 4096;

}  // namespace

Context::Context(CustomTCPServer& server, platform::TcpSocket connection)
    : server_(server), connection_(std::move(connection)) {}

Context::~Context() = default;

void Context::Disconnect() {
  if (!connected_)
    return;
  connected_ = false;
  connection_.Shutdown();
}

void Context::Write(std::string_view bytes) {
  connection_.Write(bytes);
}

void Context::WriteReply(const Reply& reply) {
  Write(reply.Format());
}

bool Context::ReadMore() {
  if (!connected_)
    return false;
  if (input_deadline_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        *input_deadline_ - std::chrono::steady_clock::now());
    // Within the read time-out the deadline comes first: wait for it alone.
    if (left < connection_.ReadTimeout() &&
        (left.count() <= 0 || !connection_.WaitReadable(left))) {
      throw InputDeadlinePassed("input deadline passed on the connection from " +
                                connection_.PeerAddress().ip);
    }
  }
  char block[kReadBlock];
  const std::size_t got = connection_.Read(block, sizeof block);
  if (got == 0) {
    connected_ = false;
    return false;
  }
  input_.append(block, got);
  return true;
}

bool Context::ReadAvailable() {
  if (!connected_)
    return false;
  char block[kReadBlock];
  const std::optional<std::size_t> got = connection_.TryReceive(block, sizeof block);
  if (!got)
    return true;
  if (*got == 0) {
    connected_ = false;
    return false;
  }
  input_.append(block, *got);
  return true;
}

}  // namespace vantrel
