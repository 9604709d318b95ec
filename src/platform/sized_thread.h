#pragma once

// A joinable thread whose stack size its owner chooses. std::thread always takes the
// process's default (the stack limit the process started with, 8 MiB on most systems):
// harmless for a few threads, but ten thousand connection threads would reserve 80 GiB of
// address space, which a sanitizer build shadows and a lowered address-space limit
// refuses. Only the pages a thread touches count against memory either way, so a stack
// sized for the deepest path costs nothing more than the default while idle.

#include <cstddef>
#include <functional>
#include <memory>

namespace vantrel::platform {

// Owned by whoever started it; Join and Joinable from one thread at a time (not the thread
// itself). Like std::thread, destroying one that is still joinable ends the process.
class SizedThread {
 public:
  SizedThread() = default;
  // Runs `body` on a new thread with a stack of at least `stack_bytes` (rounded up to
  // whole pages, and to the system's minimum). Throws std::system_error when the system
  // refuses a thread, as std::thread does; `body` has not run then.
  SizedThread(std::size_t stack_bytes, std::function<void()> body);
  SizedThread(SizedThread&& other) noexcept;
  SizedThread& operator=(SizedThread&& other) noexcept;
  ~SizedThread();

  bool Joinable() const { return started_; }
  void Join();
  // Whether the calling thread is this one.
  bool IsCurrent() const;

 private:
  unsigned long handle_ = 0;  // the system's thread handle, valid while started_
  bool started_ = false;
};

}  // namespace vantrel::platform
