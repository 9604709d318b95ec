#include "platform/termination_notifier.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "platform/file_system.h"

namespace vantrel::platform {
namespace {

// The handler can reach nothing but globals; this is the pipe's write end, -1 when no
// notifier exists.
std::atomic<int> g_write_fd{-1};

void OnTermination(int /*signal*/) {
  const int saved_errno = errno;
  const int fd = g_write_fd.load();
  if (fd >= 0) {
    const char byte = 1;
    // A full pipe already holds a request; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

void SetHandler(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

TerminationNotifier::TerminationNotifier() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw FileError(std::string("cannot create the termination pipe: ") + strerror(errno));
  int expected = -1;
  if (!g_write_fd.compare_exchange_strong(expected, fds[1])) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw FileError("a termination notifier exists already");
  }
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  SetHandler(OnTermination);
}

TerminationNotifier::~TerminationNotifier() {
  SetHandler(SIG_DFL);
  g_write_fd.store(-1);
  ::close(read_fd_);
  ::close(write_fd_);
}

bool TerminationNotifier::Consume() {
  bool requested = false;
  char buffer[64];
  for (;;) {
    const ssize_t got = ::read(read_fd_, buffer, sizeof buffer);
    if (got > 0) {
      requested = true;
      continue;
    }
    if (got < 0 && errno == EINTR)
      continue;
    return requested;  // empty (EAGAIN) or closed
  }
}

}  // namespace vantrel::platform
