#pragma once

// The daemon's control signals as values its main loop waits for instead of handlers:
// SIGINT and SIGTERM ask it to stop, SIGHUP to read its files again. Whatever either asks
// then runs in the main loop's own time, where any call is safe; a handler could only
// have set a flag for that loop anyway.

#include <chrono>

namespace vantrel::platform {

enum class DaemonSignal { kNone, kStop, kReload };

// Block() must run before any thread starts, so that every thread inherits the mask and
// only Wait() ever sees the signals. Main thread.
class DaemonSignals {
 public:
  static void Block();
  // Waits up to `timeout` for one of the signals; kNone when none came.
  static DaemonSignal Wait(std::chrono::milliseconds timeout);
};

}  // namespace vantrel::platform
