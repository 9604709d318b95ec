#include "ftp/context.h"

#include <algorithm>

#include "ftp/reply.h"

namespace vantrel {
namespace {

constexpr std::size_t kReadBlock = 4096;

std::chrono::milliseconds Until(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return std::max(left, std::chrono::milliseconds(0));
}

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
  // Waking does not restart the read time-out: an idle client is dropped on time. An input
  // deadline that comes first ends the wait instead, however often the client trickles.
  const auto idle_end = std::chrono::steady_clock::now() + connection_.ReadTimeout();
  const bool deadline_first = input_deadline_ && *input_deadline_ < idle_end;
  const auto end = deadline_first ? *input_deadline_ : idle_end;
  for (auto wake = WakeTime(); wake && *wake < end; wake = WakeTime()) {
    if (connection_.WaitReadable(Until(*wake)))
      break;
    Wake();
  }
  if (deadline_first && !connection_.WaitReadable(Until(end))) {
    throw InputDeadlinePassed("input deadline passed on the connection from " +
                              connection_.PeerAddress().ip);
  }
  char block[kReadBlock];
  const std::size_t got = connection_.Read(block, sizeof block, Until(idle_end));
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
