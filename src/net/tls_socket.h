#pragma once

// A TLS server connection over one of our sockets, with the calls the rest of the code
// makes on a plain TcpSocket: blocking reads and writes with time-outs, and non-blocking
// Try calls for a caller that waits on several connections at once (a transfer watches
// its control connection too).
//
// OpenSSL reads and writes the descriptor itself rather than through our socket calls:
// the kernel's TLS offload is switched on on OpenSSL's own socket layer, and a file then
// goes out with sendfile, encrypted in the kernel and never copied into this process.
// Without the offload a file is read in stages of sixteen full (16 KiB) records into one
// buffer that the connection keeps, and encrypted from there; a data connection's
// records then gather in a TlsRecordBuffer and go out sixteen to a system call. Mapping the file
// instead would save that copy, but a file another program shortens while it is mapped raises
// SIGBUS, which would end the whole server, not the one transfer.
//
// A TLS call may need the socket the other way round from what the caller is doing (a
// read that must first send, a write that waits for a record), so after a Try call that
// moved nothing, Wants() says which way to wait and Watch() adds that to a SocketWait.
// Bytes OpenSSL has already taken from the kernel are invisible to a wait: wait only
// after a Try call said it must, or look at HasBufferedInput() first.

#include <openssl/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/tls_record_buffer.h"
#include "net/tls_session.h"

namespace vantrel {

namespace platform {
class File;
class SocketWait;
class TcpSocket;
}  // namespace platform
class TlsContext;

// Used by the thread that owns the socket, which must outlive it. Another thread may
// still end the connection with the socket's Shutdown(); a blocked wait here then ends.
class TlsSocket {
 public:
  enum class Resumption { kRequired, kOptional };
  enum class Want { kNothing, kRead, kWrite };
  // A file is read in stages of this many bytes: sixteen full records.
  static constexpr std::size_t kFileStage = 16 * 16384;
  // Bytes a data connection reads from the socket at once, records ahead of the caller.
  static constexpr std::size_t kReadAhead = 4 * 16384;

  TlsSocket(const TlsContext& context, platform::TcpSocket& socket);
  ~TlsSocket();
  TlsSocket(const TlsSocket&) = delete;
  TlsSocket& operator=(const TlsSocket&) = delete;

  // Before the handshake of a data connection. kRequired: the handshake counts as failed
  // (TlsError with kNotResumed) unless it resumed `control`, the session of the control
  // connection. Either way the connection issues no tickets (clients resume the control
  // connection's session, never a data connection's) and keeps its buffers between
  // records, where a control connection hands them back while it idles.
  void ResumeFrom(const TlsSession& control, Resumption rule);

  // Throws platform::SocketTimeout when `timeout` passes first (a stalled client), and
  // TlsError when the handshake fails (the reason is OpenSSL's).
  void Handshake(std::chrono::milliseconds timeout);

  // After the handshake.
  TlsSession Session() const;  // throws TlsError when it cannot be kept
  bool Resumed() const;
  bool KernelSends() const { return kernel_sends_; }
  std::string Description() const;  // "TLSv1.3 TLS_AES_128_GCM_SHA256", for the log

  // As TcpSocket's: the bytes that came (at most `size`, which must not be 0), 0 when the
  // peer ended the TLS session with close_notify. A peer that closed the connection
  // without it is a TlsError with kUncleanClose. platform::SocketTimeout when nothing
  // came within the socket's read time-out, or `timeout`.
  std::size_t Read(char* buffer, std::size_t size);
  std::size_t Read(char* buffer, std::size_t size, std::chrono::milliseconds timeout);
  // Every byte, each wait bounded by the socket's write time-out.
  void Write(std::string_view data);
  // Sends close_notify, waiting for room up to `timeout`; does not wait for the peer's.
  // False when it could not go (the connection failed, or no room in time). Nothing
  // else may be sent afterwards.
  bool Shutdown(std::chrono::milliseconds timeout);

  // The non-blocking forms. Bytes taken (whole records), 0 when the caller must wait; the
  // next call must then offer at least the same bytes again (they may sit elsewhere).
  std::size_t TrySend(std::string_view data);
  // Bytes received, 0 after close_notify, nothing when the caller must wait.
  std::optional<std::size_t> TryReceive(char* buffer, std::size_t size);
  // Up to `count` bytes of `file` from its position, which moves past the bytes taken;
  // 0 at the end of the file, nothing when the caller must wait (the next call must then
  // be for the same file at the same position, with at least the same count). Throws
  // TlsError for the connection, FileError for the disk.
  std::optional<std::size_t> TrySendFile(platform::File& file, std::size_t count);
  // Bytes OpenSSL holds that the next TryReceive returns without waiting.
  bool HasBufferedInput() const;
  Want Wants() const { return want_; }
  // Adds the socket to `wait` the way Wants() says (reading when it says nothing).
  std::size_t Watch(platform::SocketWait& wait) const;

  platform::TcpSocket& Socket() { return socket_; }
  const platform::TcpSocket& Socket() const { return socket_; }

 private:
  using Clock = std::chrono::steady_clock;

  // Bytes of a file read ahead of the records that will carry them.
  struct FileStage {
    std::unique_ptr<char[]> buffer;
    const platform::File* file = nullptr;
    std::int64_t offset = 0;  // where in the file the unsent bytes begin
    std::size_t begin = 0;    // where in the buffer
    std::size_t end = 0;
  };

  // For a call that returned `result` <= 0: true when it must be repeated after a wait
  // (Wants() says which), false when the peer sent close_notify. Throws otherwise.
  bool MustWait(int result, const char* doing);
  [[noreturn]] void Fail(const char* doing);
  void WaitUntil(Clock::time_point deadline, const char* what) const;
  void CheckResumption() const;
  std::optional<std::size_t> SendFileInKernel(platform::File& file, std::size_t count);
  // The staged bytes at the file's position, read when none are left (empty at the end).
  std::string_view Staged(platform::File& file, std::size_t limit);
  // SSL_write, one record of `data` at most; 0 when it must wait.
  std::size_t Encrypt(std::string_view data);
  // Sends the gathered records the socket takes now; false (wanting to write) when some
  // are left. True at once for a connection that gathers none.
  bool FlushRecords();
  // The same, waiting for room until `deadline`; false when they could not all go.
  bool FlushRecordsBy(Clock::time_point deadline);

  struct Free {
    void operator()(SSL* connection) const;
  };

  platform::TcpSocket& socket_;
  // Before ssl_, which holds the socket layer that writes into it and so must go first.
  std::unique_ptr<TlsRecordBuffer> records_;  // a data connection's, after its handshake
  std::unique_ptr<SSL, Free> ssl_;
  TlsSession control_;
  bool resumption_required_ = false;
  bool data_connection_ = false;
  bool kernel_sends_ = false;
  bool failed_ = false;  // OpenSSL forbids close_notify after a fatal error
  Want want_ = Want::kNothing;
  FileStage stage_;
};

}  // namespace vantrel
