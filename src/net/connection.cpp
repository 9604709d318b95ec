#include "net/connection.h"

#include <algorithm>

namespace vantrel {
namespace {

constexpr std::size_t kReadBlock = 4096;

std::chrono::milliseconds Until(Deadline deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return std::max(left, std::chrono::milliseconds(0));
}

}  // namespace

Connection::Connection(platform::TcpSocket socket) : socket_(std::move(socket)) {}

Connection::~Connection() = default;

void Connection::Disconnect() {
  if (!connected_)
    return;
  connected_ = false;
  socket_.Shutdown();
}

void Connection::Write(std::string_view bytes) {
  socket_.Write(bytes);
}

bool Connection::ReadMore() {
  if (!connected_)
    return false;
  // What the subclass waits for does not restart the read time-out: an idle client is
  // dropped on time. An input deadline that comes first ends the wait instead, however
  // often the client trickles.
  const auto idle_end = std::chrono::steady_clock::now() + socket_.ReadTimeout();
  const bool deadline_first = input_deadline_ && *input_deadline_ < idle_end;
  const auto end = deadline_first ? *input_deadline_ : idle_end;
  AwaitInput(end);
  if (deadline_first && !socket_.WaitReadable(Until(end))) {
    throw InputDeadlinePassed("input deadline passed on the connection from " +
                              socket_.PeerAddress().ip);
  }
  char block[kReadBlock];
  const std::size_t got = socket_.Read(block, sizeof block, Until(idle_end));
  if (got == 0) {
    connected_ = false;
    return false;
  }
  input_.append(block, got);
  return true;
}

bool Connection::ReadAvailable() {
  if (!connected_)
    return false;
  char block[kReadBlock];
  const std::optional<std::size_t> got = socket_.TryReceive(block, sizeof block);
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
