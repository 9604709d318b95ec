#pragma once

// What the network fuzz targets share. The engines read and write real sockets (their
// sessions are built on platform::TcpSocket), so a harness cannot hand them bytes in
// memory; instead it runs one session on its own thread over a loopback connection and
// lets a client thread play the other end. Nothing listens for the engine and no session
// thread is started, so each input is one session that has fully ended when the harness
// returns, and a crash is always charged to the input that caused it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/tcp_listener.h"
#include "platform/tcp_socket.h"

namespace vantrel::fuzz {

// Hands out connected loopback pairs. Owned by a harness; its thread only.
class LoopbackListener {
 public:
  LoopbackListener();

  struct Pair {
    platform::TcpSocket client;
    platform::TcpSocket server;
  };
  Pair Connect();

 private:
  platform::TcpListener listener_;
};

// The client end of one fuzzed session, on a thread of its own: sends the input, then reads
// until the server closes. A server still waiting for input once it has been silent for
// `silence` is ended by closing the connection, so an input that leaves a session
// mid-command (an unfinished line, an unfinished request) costs that pause, not the
// engine's read time-out. `on_received` sees each block as it arrives.
//
// Owned by the harness thread, which alone calls Finish; the observer runs on the client's
// thread, and received_ belongs to that thread until Finish has joined it.
class ScriptedClient {
 public:
  using Observer = std::function<void(std::string_view received)>;

  ScriptedClient(platform::TcpSocket socket, std::string input, std::chrono::milliseconds silence,
                 Observer on_received = {});
  ~ScriptedClient();
  ScriptedClient(const ScriptedClient&) = delete;
  ScriptedClient& operator=(const ScriptedClient&) = delete;

  // Waits for the client to finish; what the server sent (its first megabyte).
  const std::string& Finish();

 private:
  void Run(platform::TcpSocket socket, std::string input, std::chrono::milliseconds silence);

  Observer on_received_;
  std::string received_;
  std::thread thread_;
};

// Data connections a fuzzed FTP client makes to the passive ports the server announces.
// Each one sends a block and closes when the server stays quiet (an upload), and reads
// to the end when the server speaks first (a download or a listing).
//
// Owned by the harness. Observe runs on the scripted client's thread, JoinAll on the
// harness thread once that client has finished, so the two never overlap.
class DataClients {
 public:
  ~DataClients();
  // Called with each block of control replies; connects for each 227 or 229 line.
  void Observe(std::string_view block);
  void JoinAll();

 private:
  std::string pending_;  // the start of a reply line whose end has not come yet
  std::vector<std::thread> threads_;
};

}  // namespace vantrel::fuzz
