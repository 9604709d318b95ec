#include "platform/daemon_signals.h"

#include <errno.h>
#include <signal.h>
#include <time.h>

namespace vantrel::platform {
namespace {

sigset_t ControlSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void DaemonSignals::Block() {
  // A parent that ignored hang-ups (nohup) passes that on, and an ignored signal is
  // discarded before it can wait here: a reload request would vanish without a trace.
  ::signal(SIGHUP, SIG_DFL);
  const sigset_t set = ControlSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

DaemonSignal DaemonSignals::Wait(std::chrono::milliseconds timeout) {
  const sigset_t set = ControlSet();
  const auto ms = timeout.count() < 0 ? 0 : timeout.count();
  struct timespec wait {};
  wait.tv_sec = static_cast<time_t>(ms / 1000);
  wait.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  for (;;) {
    const int signal = ::sigtimedwait(&set, nullptr, &wait);
    if (signal == SIGHUP)
      return DaemonSignal::kReload;
    if (signal > 0)
      return DaemonSignal::kStop;
    if (errno == EINTR)
      continue;  // another signal: keep waiting (the remaining time is close enough)
    return DaemonSignal::kNone;
  }
}

}  // namespace vantrel::platform
