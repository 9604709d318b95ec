#include "net/connection.h"

#include <algorithm>
#include <utility>

#include "net/tls_error.h"
#include "net/tls_socket.h"
#include "platform/socket_wait.h"

namespace vantrel {
namespace {

constexpr std::size_t kReadBlock = 4096;
// A client that leaves without reading our close_notify is not waited for.
constexpr std::chrono::milliseconds kTlsCloseWait{1000};

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
  if (tls_)
    tls_->Shutdown(kTlsCloseWait);
  socket_.Shutdown();
}

void Connection::Write(std::string_view bytes) {
  if (tls_) {
    tls_->Write(bytes);
  } else {
    socket_.Write(bytes);
  }
}

void Connection::StartTls(const TlsContext& context, std::chrono::milliseconds timeout) {
  input_.clear();
  // Kept only once agreed: a connection whose handshake failed is not encrypted, and
  // the failure ends it before anything more is written.
  auto tls = std::make_unique<TlsSocket>(context, socket_);
  tls->Handshake(timeout);
  tls_session_ = tls->Session();
  tls_ = std::move(tls);
}

std::string Connection::TlsDescription() const {
  return tls_ ? tls_->Description() : std::string();
}

std::size_t Connection::WatchInput(platform::SocketWait& wait) const {
  return tls_ ? tls_->Watch(wait) : wait.WatchReadable(socket_);
}

std::optional<std::size_t> Connection::Receive(char* block, std::size_t size) {
  if (!tls_) {
    const std::optional<std::size_t> got = socket_.TryReceive(block, size);
    if (got)
      input_.append(block, *got);
    return got;
  }
  std::optional<std::size_t> total;
  try {
    // Drained whole, so that a later wait on the socket sees all there is to see.
    do {
      const std::optional<std::size_t> got = tls_->TryReceive(block, size);
      if (!got)
        break;
      if (*got == 0)
        return 0;
      input_.append(block, *got);
      total = total.value_or(0) + *got;
    } while (tls_->HasBufferedInput());
  } catch (const TlsError& failure) {
    // Most clients just close after QUIT: what they sent has all been read.
    if (failure.cause() != TlsError::Cause::kUncleanClose)
      throw;
    return 0;
  }
  return total;
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
  // OpenSSL may hold records already (those that came with the end of the handshake):
  // the socket shows nothing of them, so nothing is to be awaited.
  if (!tls_ || !tls_->HasBufferedInput())
    AwaitInput(end);
  char block[kReadBlock];
  for (;;) {
    // Read before waiting: a command has usually arrived by the time it is asked for,
    // and a wait that returns at once would cost a system call per command.
    if (const std::optional<std::size_t> got = Receive(block, sizeof block)) {
      connected_ = *got > 0;
      return connected_;
    }
    // A record may need the socket the other way round, or arrive in pieces that wake
    // the wait without giving a byte: so the wait, not the read, counts the time.
    platform::SocketWait wait;
    WatchInput(wait);
    if (!wait.Wait(Until(end))) {
      if (deadline_first) {
        throw InputDeadlinePassed("input deadline passed on the connection from " +
                                  PeerAddress().ip);
      }
      throw platform::SocketTimeout("read time-out on the connection from " + PeerAddress().ip);
    }
  }
}

bool Connection::ReadAvailable() {
  if (!connected_)
    return false;
  char block[kReadBlock];
  const std::optional<std::size_t> got = Receive(block, sizeof block);
  if (got && *got == 0) {
    connected_ = false;
    return false;
  }
  return true;
}

}  // namespace vantrel
