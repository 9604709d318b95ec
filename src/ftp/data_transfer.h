#pragma once

// Moves the bytes of one transfer over an open data connection: a stream or a listing
// out to the client, or the client's bytes into a stream. A listing goes out in pieces
// laid out as the connection takes them, so a client that stops reading holds one piece.
//
// The socket is non-blocking and every wait is one SocketWait on the data connection and
// the control connection together, so ABOR and STAT are seen even while the client
// reads slowly or not at all, and a stopping server (which shuts the control
// connection) is never kept waiting by a transfer. Between blocks the control
// connection gets a look without waiting. Blocks are large (a megabyte), and a plain
// file without a speed limit goes out with the kernel's zero-copy send, so the cost per
// byte stays near what the network itself costs.
//
// On a protected connection the same loops go through the TLS connection: a file goes out
// through its TrySendFile (the kernel's TLS offload where it has one), everything else
// as records of the full size, and the waits ask the TLS connection which way to wait.
//
// Failures of the data connection and of the stream end the transfer with an outcome,
// never an exception: only the control connection's own failure may end the session.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "ftp/ftp_stream.h"

namespace vantrel {

namespace platform {
class TcpSocket;
}
class ListingWriter;
class TlsSocket;
class TransferControl;

enum class TransferOutcome {
  kDone,            // every byte handed over (sent into the kernel, or written to the stream)
  kConnectionLost,  // the data connection failed or the client closed it early
  kIdle,            // no byte moved for the idle limit
  kLocalError,      // the stream failed (a full disk, a read error)
  kStopped,         // ABOR, or the control connection ended
};

// Used by the session's thread for one transfer.
class DataTransfer {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;
  // Pieces of a listing: large enough that a piece costs few calls, small enough that a
  // stalled listing holds little.
  static constexpr std::size_t kListingPiece = 64 << 10;
  // A received block goes to the stream once it holds this much and the connection has
  // no more for now.
  static constexpr std::size_t kMinimumWrite = 256 << 10;

  // `tls`: the TLS connection over `data` that carries the bytes; null for clear text.
  DataTransfer(platform::TcpSocket& data, TransferControl& control,
               std::chrono::milliseconds idle_limit, TlsSocket* tls = nullptr);

  TransferOutcome Send(FtpStream& stream);
  TransferOutcome Send(ListingWriter& listing);
  // Until the client closes the data connection. `may_splice`: a pipe may be opened to
  // splice the bytes into the stream's file.
  TransferOutcome Receive(FtpStream& stream, bool may_splice = true);

 private:
  using SteadyClock = std::chrono::steady_clock;

  // The zero-copy loop: `step` moves up to a block between the data connection and the
  // stream's file, returning the bytes moved, 0 at the end, nothing when it must wait;
  // `finished` says after a block whether that was the last (no look at the control
  // connection is then owed: the final reply follows at once).
  template <typename Step, typename Finished>
  TransferOutcome MoveZeroCopy(FtpStream& stream, bool sending, Step step, Finished finished);
  // The connection's own calls, in clear or through TLS.
  std::size_t TrySend(std::string_view bytes);
  std::optional<std::size_t> TryReceive(char* buffer, std::size_t size);
  // The whole of `bytes`; false (with outcome_ set) when the transfer must end.
  bool SendAll(std::string_view bytes);
  // Until the data connection can move (`sending`: has room; else has data). False
  // (with outcome_ set) on ABOR, a lost control connection or the idle limit.
  bool WaitForData(bool sending);
  // A look at the control connection between blocks; false when the transfer must end.
  bool Between();
  void Moved() { last_progress_ = SteadyClock::now(); }

  platform::TcpSocket& data_;
  TlsSocket* tls_;
  TransferControl& control_;
  std::chrono::milliseconds idle_limit_;
  SteadyClock::time_point last_progress_;
  TransferOutcome outcome_ = TransferOutcome::kDone;
};

}  // namespace vantrel
