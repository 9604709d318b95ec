#include "service/update_client.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/resolver.h"
#include "platform/socket_error.h"

namespace vantrel {
namespace {

constexpr std::size_t kReadSize = 4096;

}  // namespace

UpdateClient::UpdateClient(std::chrono::milliseconds connect_timeout,
                           std::chrono::milliseconds io_timeout)
    : connect_timeout_(connect_timeout), io_timeout_(io_timeout) {}

UpdateClient::~UpdateClient() {
  Close();
}

bool UpdateClient::Connect(const std::string& host, int port) {
  Close();
  {
    std::lock_guard lock(mutex_);
    if (aborted_)
      return false;
  }
  std::vector<platform::SocketAddress> addresses;
  try {
    addresses = platform::ResolveHost(host, port);
  } catch (const platform::SocketError&) {
    return false;
  }
  for (const platform::SocketAddress& address : addresses) {
    try {
      platform::TcpSocket socket = platform::TcpSocket::Connect(address, connect_timeout_);
      socket.SetReadTimeout(io_timeout_);
      socket.SetWriteTimeout(io_timeout_);
      std::lock_guard lock(mutex_);
      if (aborted_)
        return false;
      socket_ = std::move(socket);
      return true;
    } catch (const platform::SocketError&) {
      // The next address of the name may answer.
    }
  }
  return false;
}

bool UpdateClient::SendRequest(std::string_view command, std::string_view argument) {
  if (!socket_)
    return false;
  std::string request = kHeader;
  request += "\r\n";
  request += command;
  request += "\r\n";
  request += argument;
  request += "\r\n";
  try {
    socket_->Write(request);
    return true;
  } catch (const platform::SocketError&) {
    return false;
  }
}

bool UpdateClient::Fill() {
  if (!socket_)
    return false;
  char buffer[kReadSize];
  try {
    const std::size_t count = socket_->Read(buffer, sizeof buffer);
    pending_.append(buffer, count);
    return count > 0;
  } catch (const platform::SocketError&) {
    return false;
  }
}

std::string UpdateClient::ReceiveLine() {
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos && end < kMaxLineLength) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      return line;
    }
    if (pending_.size() >= kMaxLineLength) {
      std::string piece = pending_.substr(0, kMaxLineLength);
      pending_.erase(0, kMaxLineLength);
      return piece;
    }
    if (!Fill()) {
      std::string rest = std::move(pending_);
      pending_.clear();
      return rest;
    }
  }
}

std::size_t UpdateClient::ReceiveBlock(char* buffer, std::size_t size) {
  if (pending_.empty() && !Fill())
    return 0;
  const std::size_t count = std::min(size, pending_.size());
  std::memcpy(buffer, pending_.data(), count);
  pending_.erase(0, count);
  return count;
}

void UpdateClient::Close() {
  pending_.clear();
  std::lock_guard lock(mutex_);
  socket_.reset();
}

void UpdateClient::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (socket_)
    socket_->Shutdown();
}

}  // namespace vantrel
