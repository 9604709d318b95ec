#pragma once

// The control connection while a transfer runs. RFC 959 lets a client send ABOR (and
// STAT) while data moves; the session thread is busy with the data, so it looks at the
// control connection between blocks and whenever it waits. ABOR stops the transfer and
// STAT is answered at once; every other line is kept and run after the transfer, in the
// order it came.
//
// The kept lines are bounded. Once the bound is reached the control connection is no
// longer read (its bytes wait in the kernel), but a wait still wakes when the
// connection ends, so a stopping server is never held up by a flooding client.

#include <cstddef>

#include "ftp/reply.h"

namespace vantrel {

class FtpSession;
struct CommandLine;

namespace platform {
class SocketWait;
}

// Lives for one transfer on the session's thread.
class TransferControl {
 public:
  static constexpr std::size_t kMaxKeptLines = 64;

  // `status` answers STAT. Handles the lines the session already holds.
  TransferControl(FtpSession& session, Reply status);

  // Adds the control connection to a wait; Serve() when the wait reports it ready.
  std::size_t Watch(platform::SocketWait& wait) const;
  void Serve();
  // Looks without waiting (between blocks) and serves what came.
  void Check();

  bool Aborted() const { return aborted_; }
  // The control connection ended or failed: nobody is left to answer.
  bool Lost() const { return lost_; }
  bool ShouldStop() const { return aborted_ || lost_; }

 private:
  bool Full() const;
  void HandleInput();
  void Handle(CommandLine line);

  FtpSession& session_;
  Reply status_;
  bool aborted_ = false;
  bool lost_ = false;
};

}  // namespace vantrel
