#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/command_line_reader.h"
#include "platform/socket_error.h"
#include "platform/tcp_socket.h"

namespace vantrel {

class CustomTCPServer;
class Reply;

using Deadline = std::chrono::steady_clock::time_point;

// A read gave up at the session's input deadline, however steadily bytes were coming.
class InputDeadlinePassed : public platform::SocketTimeout {
 public:
  using platform::SocketTimeout::SocketTimeout;
};

// One accepted connection and what its session keeps between reads. The server creates it
// in a listener thread, hands it to the session's own thread, and destroys it when the
// session ends; only that thread uses it, except that the server may shut the connection
// down from another thread while stopping (under its list lock).
class Context {
 public:
  Context(CustomTCPServer& server, platform::TcpSocket connection);
  virtual ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  CustomTCPServer& server() const { return server_; }
  platform::TcpSocket& Connection() { return connection_; }
  const platform::TcpSocket& Connection() const { return connection_; }

  // False once this side disconnected or the peer's close was seen.
  bool Connected() const { return connected_; }
  // Ends the connection; what was written before still reaches the peer.
  void Disconnect();

  // One write for the whole of `bytes`; throws platform::SocketError when the peer is gone.
  void Write(std::string_view bytes);
  void WriteReply(const Reply& reply);

  // Bytes received but not yet consumed by the session's reader.
  std::string& Input() { return input_; }
  CommandLineReader& LineReader() { return line_reader_; }
  // Waits up to the connection's read time-out and appends what came to Input(). False
  // when the peer closed; throws platform::SocketTimeout when nothing came in time, and
  // InputDeadlinePassed once the input deadline has passed.
  // Wake() runs meanwhile whenever WakeTime() comes first.
  bool ReadMore();
  // The moment by which the input being read must be complete (a command line, a
  // request): the read time-out counts per read, so a client trickling one byte at a
  // time would never run into it. Nothing: no deadline.
  void SetInputDeadline(std::optional<Deadline> deadline) { input_deadline_ = deadline; }
  // Appends what has already arrived, without waiting. False when the peer closed.
  bool ReadAvailable();
  // Lines that came while a transfer ran; the session handles them, in order, before it
  // reads anything new.
  std::deque<CommandLine>& KeptLines() { return kept_lines_; }

  // When the session wants its thread back while it waits for the client (something it
  // holds runs out then); nothing by default. Wake() must move it on or clear it.
  virtual std::optional<std::chrono::steady_clock::time_point> WakeTime() const {
    return std::nullopt;
  }
  virtual void Wake() {}

 private:
  friend class CustomTCPServer;
  // Any thread, under the server's list lock.
  void ShutdownFromServer() { connection_.Shutdown(); }

  CustomTCPServer& server_;
  platform::TcpSocket connection_;
  bool connected_ = true;
  std::string input_;
  std::optional<Deadline> input_deadline_;
  CommandLineReader line_reader_;
  std::deque<CommandLine> kept_lines_;
};

}  // namespace vantrel
