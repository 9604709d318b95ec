#pragma once

// A scripted update server on a loopback port: each connection sends its three request
// lines, the server writes down the command and answers with the raw bytes scripted for
// it (reply word, message, build, size and file as one text), then closes. A command
// without a script gets "UCM".

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket_error.h"
#include "platform/tcp_listener.h"

namespace vantrel {

class UpdateTestServer {
 public:
  // After answering `stall_after`, the connection stays open until the server is
  // destroyed, like a server that stalls half-way through a download.
  explicit UpdateTestServer(std::map<std::string, std::string> replies,
                            const char* stall_after = "")
      : replies_(std::move(replies)),
        stall_after_(stall_after),
        listener_("127.0.0.1", 0, platform::IpVersion::kV4, true) {
    listener_.Listen(8);
    thread_ = std::thread([this] { Serve(); });
  }
  ~UpdateTestServer() {
    listener_.Stop();
    thread_.join();
  }
  UpdateTestServer(const UpdateTestServer&) = delete;
  UpdateTestServer& operator=(const UpdateTestServer&) = delete;

  int port() const { return listener_.LocalAddress().port; }

  // Every request as "header|command|argument", in arrival order.
  std::vector<std::string> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (std::optional<platform::TcpSocket> client = listener_.Accept(std::chrono::minutes(1))) {
      try {
        Answer(*client);
      } catch (const platform::SocketError&) {
        // The client went away; the next one is served all the same.
      }
    }
  }

  void Answer(platform::TcpSocket& client) {
    client.SetReadTimeout(std::chrono::seconds(10));
    std::string received;
    char buffer[512];
    while (std::count(received.begin(), received.end(), '\n') < 3 && received.size() < 4096) {
      const std::size_t count = client.Read(buffer, sizeof buffer);
      if (count == 0)
        return;
      received.append(buffer, count);
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = received.find("\r\n", start)) != std::string::npos;
         start = end + 2)
      lines.push_back(received.substr(start, end - start));
    lines.resize(3);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(lines[0] + "|" + lines[1] + "|" + lines[2]);
    }
    const auto reply = replies_.find(lines[1]);
    client.Write(reply == replies_.end() ? std::string("UCM\r\n") : reply->second);
    if (lines[1] == stall_after_)
      listener_.WaitForStop(std::chrono::minutes(1));
  }

  const std::map<std::string, std::string> replies_;
  const std::string stall_after_;
  platform::TcpListener listener_;
  std::mutex mutex_;
  std::vector<std::string> requests_;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace vantrel
