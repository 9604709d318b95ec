#pragma once

// The client's end of FTP data connections in scripted conversations: the port a passive
// reply names, connecting to it, and a listener for active mode.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/socket_error.h"
#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace vantrel::testing {

// The port of "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2).", of
// "229 Entering Extended Passive Mode (|||port|)" or of SPSV's "227 port".
inline int PassivePort(const std::string& reply) {
  if (reply.find("(|||") != std::string::npos)
    return std::stoi(reply.substr(reply.find("(|||") + 4));
  const std::size_t open = reply.find('(');
  if (open == std::string::npos)
    return std::stoi(reply.substr(4));
  const std::size_t close = reply.find(')', open);
  const std::string numbers = reply.substr(open + 1, close - open - 1);
  const std::size_t last = numbers.rfind(',');
  const std::size_t before = numbers.rfind(',', last - 1);
  return std::stoi(numbers.substr(before + 1, last - before - 1)) * 256 +
         std::stoi(numbers.substr(last + 1));
}

inline platform::TcpSocket ConnectData(int port, const std::string& ip = "127.0.0.1",
                                       const std::optional<std::string>& from = std::nullopt) {
  const auto version =
      ip.find(':') == std::string::npos ? platform::IpVersion::kV4 : platform::IpVersion::kV6;
  std::optional<platform::SocketAddress> local;
  if (from)
    local = platform::SocketAddress{*from, 0, version};
  platform::TcpSocket socket =
      platform::TcpSocket::Connect({ip, port, version}, std::chrono::seconds(5), local);
  socket.SetReadTimeout(std::chrono::seconds(10));
  socket.SetWriteTimeout(std::chrono::seconds(10));
  return socket;
}

// Everything until the server closes the connection.
inline std::string ReadAll(platform::TcpSocket& socket) {
  std::string data;
  char block[65536];
  for (;;) {
    const std::size_t got = socket.Read(block, sizeof block);
    if (got == 0)
      return data;
    data.append(block, got);
  }
}

// Where the server connects in active mode.
class ActiveListener {
 public:
  explicit ActiveListener(const std::string& ip = "127.0.0.1", int backlog = 1)
      : listener_(
            ip, 0,
            ip.find(':') == std::string::npos ? platform::IpVersion::kV4 : platform::IpVersion::kV6,
            false) {
    listener_.Listen(backlog);
  }

  int port() const { return listener_.LocalAddress().port; }
  // "127,0,0,1,p1,p2"
  std::string PortArgument() const {
    std::string ip = listener_.LocalAddress().ip;
    for (char& c : ip) {
      if (c == '.')
        c = ',';
    }
    return ip + "," + std::to_string(port() / 256) + "," + std::to_string(port() % 256);
  }
  // "|1|127.0.0.1|port|" or "|2|::1|port|"
  std::string EprtArgument() const {
    const auto& local = listener_.LocalAddress();
    return std::string("|") + (local.version == platform::IpVersion::kV4 ? "1" : "2") + "|" +
           local.ip + "|" + std::to_string(port()) + "|";
  }
  platform::TcpSocket Accept() {
    auto socket = listener_.Accept(std::chrono::seconds(5));
    if (!socket)
      throw std::runtime_error("the server did not connect");
    socket->SetReadTimeout(std::chrono::seconds(10));
    return std::move(*socket);
  }

 private:
  platform::TcpListener listener_;
};

}  // namespace vantrel::testing
