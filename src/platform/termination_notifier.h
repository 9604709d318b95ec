#pragma once

// Termination requests (SIGINT, SIGTERM) as a readable descriptor, for event loops that
// watch descriptors, such as the desktop program's. The handler only writes one byte to a
// pipe, the one thing a signal handler may safely do; the loop reads it and closes the
// program in its own time, saving its files.
//
// Blocking the signals and reading them from a signalfd was rejected: the mask would be
// inherited by every program the desktop program starts (the browser behind a link), and
// those could then not be stopped the usual way.

namespace vantrel::platform {

// Owned by the program's entry; main thread. The signal handler is process-wide, so only
// one notifier may exist at a time; a second one throws FileError.
class TerminationNotifier {
 public:
  TerminationNotifier();
  ~TerminationNotifier();
  TerminationNotifier(const TerminationNotifier&) = delete;
  TerminationNotifier& operator=(const TerminationNotifier&) = delete;

  // Readable when a request arrived.
  int descriptor() const { return read_fd_; }
  // Empties the pipe; true when at least one request was waiting.
  bool Consume();

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
};

}  // namespace vantrel::platform
