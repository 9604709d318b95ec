#pragma once

// A control-connection client for scripted conversations over real loopback sockets:
// sends lines (or raw bytes) and reads whole replies, multi-line ones included. Every
// wait is bounded, so a server that fails to answer fails the test instead of hanging it.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket_error.h"
#include "platform/tcp_socket.h"

namespace vantrel::testing {

class FtpTestClient {
 public:
  static constexpr std::chrono::milliseconds kWait{5000};

  // From `source` when given (another 127.0.0.x, to stand for another host).
  explicit FtpTestClient(int port, std::string ip = "127.0.0.1", std::string source = "")
      : socket_(platform::TcpSocket::Connect(
            {ip, port,
             ip.find(':') == std::string::npos ? platform::IpVersion::kV4
                                               : platform::IpVersion::kV6},
            kWait,
            source.empty() ? std::nullopt : std::optional<platform::SocketAddress>({source, 0}))) {
    socket_.SetReadTimeout(kWait);
    socket_.SetWriteTimeout(kWait);
  }

  void Send(std::string_view bytes) { socket_.Write(bytes); }
  void SendLine(std::string_view line) { Send(std::string(line) + "\r\n"); }

  // One line without its CR LF. Throws when the server closed or stayed silent.
  std::string ReadLine() {
    for (;;) {
      const std::size_t end = input_.find("\r\n");
      if (end != std::string::npos) {
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 2);
        return line;
      }
      if (!ReadMore())
        throw std::runtime_error("connection closed; pending: " + input_);
    }
  }

  // A whole reply, its lines joined with "\n" ("211-a\n b\n211 c").
  std::string ReadReply() {
    std::string first = ReadLine();
    std::string reply = first;
    if (first.size() >= 4 && first[3] == '-') {
      const std::string end = first.substr(0, 3) + " ";
      for (;;) {
        std::string line = ReadLine();
        reply += "\n" + line;
        if (line.compare(0, 4, end) == 0)
          break;
      }
    }
    return reply;
  }

  std::string Ask(std::string_view line) {
    SendLine(line);
    return ReadReply();
  }

  // Every byte until the server closes; throws when it does not close in time.
  std::string ReadUntilClosed() {
    while (ReadMore()) {
    }
    std::string rest = std::move(input_);
    input_.clear();
    return rest;
  }

  // True when the server sends nothing more within `wait`.
  bool Silent(std::chrono::milliseconds wait) {
    if (!input_.empty())
      return false;
    return !socket_.WaitReadable(wait);
  }

  // Sends `bytes` one at a time, `step` apart, as a client dribbling its input would,
  // until the server sends something or closes.
  void Trickle(std::string_view bytes, std::chrono::milliseconds step) {
    for (char c : bytes) {
      if (!Silent(step))
        return;
      Send(std::string_view(&c, 1));
    }
  }

  platform::TcpSocket& socket() { return socket_; }

 private:
  bool ReadMore() {
    char block[4096];
    std::size_t got = 0;
    try {
      got = socket_.Read(block, sizeof block);
    } catch (const platform::SocketTimeout&) {
      throw std::runtime_error("no answer from the server; pending: " + input_);
    } catch (const platform::SocketError&) {
      return false;  // reset by the server counts as closed
    }
    input_.append(block, got);
    return got > 0;
  }

  platform::TcpSocket socket_;
  std::string input_;
};

}  // namespace vantrel::testing
