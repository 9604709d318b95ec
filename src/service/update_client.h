#pragma once

// The client end of the update protocol: one TCP connection at a time to an update
// server, a request of three text lines, and replies read either as lines or as raw
// blocks (the installer's bytes follow its size line, often in the same packet, so both
// readings share one buffer).
//
// Every wait is bounded: the connect by its time-out, each receive by the I/O time-out.
// A receive that fails or times out reads like the server's close, which every step of
// the check already handles, so the protocol code never sees an exception.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/tcp_socket.h"

namespace vantrel {

// Owned by one update check; its thread does everything but Abort(), which any thread
// may call (the dialog calls it when it closes mid-check).
class UpdateClient {
 public:
  static constexpr const char* kHeader = "VantrelUpdate";
  // A line longer than this comes back in pieces of this length, so a server that never
  // ends its line cannot make the client buffer without bound.
  static constexpr std::size_t kMaxLineLength = 4096;

  UpdateClient(std::chrono::milliseconds connect_timeout, std::chrono::milliseconds io_timeout);
  ~UpdateClient();
  UpdateClient(const UpdateClient&) = delete;
  UpdateClient& operator=(const UpdateClient&) = delete;

  // Closes any earlier connection, resolves `host` and tries its addresses in turn.
  // False when none answered, the name is unknown, or Abort() came first.
  bool Connect(const std::string& host, int port);
  // The header line, the command and its argument, each ended by CR LF. False when the
  // connection failed; the next receive then reads as a close.
  bool SendRequest(std::string_view command, std::string_view argument);
  // The bytes up to the next line end (CR LF, or a bare LF), without it. When the
  // connection ends first: what arrived, possibly nothing.
  std::string ReceiveLine();
  // Up to `size` bytes; 0 when the connection has ended (closed, failed, timed out,
  // aborted).
  std::size_t ReceiveBlock(char* buffer, std::size_t size);
  void Close();

  // Ends the connection and any receive waiting on it; later connects fail.
  void Abort();

 private:
  // Reads more into pending_; false when the connection has ended.
  bool Fill();

  const std::chrono::milliseconds connect_timeout_;
  const std::chrono::milliseconds io_timeout_;
  std::string pending_;  // received, not yet handed out

  std::mutex mutex_;
  // The owner thread reads and writes through socket_ without the lock; only its
  // creation, Shutdown() and Close() are serialized, which is what TcpSocket allows.
  std::optional<platform::TcpSocket> socket_;  // guarded by mutex_
  bool aborted_ = false;                       // guarded by mutex_
};

}  // namespace vantrel
