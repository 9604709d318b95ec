#pragma once

// A connected TCP socket. Every wait is a poll with a time-out, so a silent or stuck peer
// costs a sleeping thread, never a spinning one, and never a thread that waits forever.
// The descriptor stays non-blocking; the waits come from poll, not from the kernel's
// blocking calls, because a blocking send can outlast any time-out we set.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/socket_address.h"

namespace vantrel::platform {

class File;
class TcpListener;

// Owned by one thread, which alone reads, writes and closes it. Shutdown() is the one call
// another thread may make, as long as the owner has not closed the socket yet (the owner of
// the object arranges that, typically under the lock of a list the socket is in).
class TcpSocket {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{60000};

  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Connects within `timeout`, from `local` when given (its port may be 0). Throws
  // SocketError naming the address, or SocketTimeout.
  static TcpSocket Connect(const SocketAddress& remote, std::chrono::milliseconds timeout,
                           const std::optional<SocketAddress>& local = std::nullopt);

  bool IsOpen() const { return fd_ >= 0; }
  // True when small writes leave at once instead of waiting for the peer's
  // acknowledgement (every connection this layer makes or accepts).
  bool SendsImmediately() const;

  // Waits up to the read time-out for data, then returns what is there (at most `size`
  // bytes); 0 means the peer closed. Throws SocketTimeout when nothing came in time.
  std::size_t Read(char* buffer, std::size_t size);
  // The same with a wait of its own (a caller that already waited part of the time-out).
  std::size_t Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout);
  // True when data (or the peer's close) is waiting; false when `timeout` passed first.
  bool WaitReadable(std::chrono::milliseconds timeout) const;
  // Writes every byte, each wait for buffer space bounded by the write time-out.
  void Write(std::string_view data);

  // The non-blocking forms, for callers that wait on several sockets at once
  // (SocketWait) and move data only when the wait says it can move:
  // Bytes sent, 0 when the send buffer is full. Throws SocketError.
  std::size_t TrySend(std::string_view data);
  // Bytes received, 0 when the peer closed, nothing when no data is waiting.
  std::optional<std::size_t> TryReceive(char* buffer, std::size_t size);
  // The same, leaving the bytes in the socket for the next read (a protocol told apart by
  // its first byte, which the one that reads it next must see as well).
  std::optional<std::size_t> TryPeek(char* buffer, std::size_t size);
  // Up to `count` bytes of `file` from its position, which moves past them, straight
  // from the page cache (zero-copy). 0 at the end of the file; nothing when the send
  // buffer is full. Throws SocketError for the connection, FileError for the disk.
  std::optional<std::size_t> TrySendFile(File& file, std::size_t count);

  // Urgent data (a Telnet "synch" sent with MSG_OOB) stays in the byte stream, where a
  // line reader sees it, instead of being taken out of band and lost.
  void SetOutOfBandInline();

  // The descriptor, for a TLS library that moves the bytes itself (the kernel's TLS
  // offload needs the socket, not a callback). Such a library writes with write(2), which
  // raises SIGPIPE on a connection the peer has left, so from this call on the process
  // ignores that signal and the write reports the error instead. The socket still owns
  // the descriptor and alone closes it.
  int DescriptorForTls();

  // Ends both directions; a read or write blocked in another thread returns at once.
  void Shutdown();
  void Close();

  // Time-outs must be positive: nothing here waits without limit.
  void SetReadTimeout(std::chrono::milliseconds timeout);
  void SetWriteTimeout(std::chrono::milliseconds timeout);
  std::chrono::milliseconds ReadTimeout() const { return read_timeout_; }
  std::chrono::milliseconds WriteTimeout() const { return write_timeout_; }
  void SetReceiveBufferSize(int bytes);
  void SetSendBufferSize(int bytes);

  // Read once when the socket is made, so they stay known after the peer has gone.
  const SocketAddress& LocalAddress() const { return local_; }
  const SocketAddress& PeerAddress() const { return peer_; }

 private:
  friend class SocketWait;
  friend class SplicePipe;
  friend class TcpConnector;
  friend class TcpListener;
  explicit TcpSocket(int fd);  // takes a connected, non-blocking descriptor
  std::optional<std::size_t> Receive(char* buffer, std::size_t size, int flags);
  // The same, with both addresses already known (no system call to ask for them).
  TcpSocket(int fd, SocketAddress local, SocketAddress peer)
      : fd_(fd), local_(std::move(local)), peer_(std::move(peer)) {}

  int fd_ = -1;
  std::chrono::milliseconds read_timeout_ = kDefaultTimeout;
  std::chrono::milliseconds write_timeout_ = kDefaultTimeout;
  SocketAddress local_;
  SocketAddress peer_;
};

}  // namespace vantrel::platform
