#pragma once

// Carries received bytes from a socket into a file inside the kernel (splice through a
// pipe), so an upload is not copied into this process and out again. One per upload;
// used by one thread.

#include <cstddef>
#include <memory>
#include <optional>

namespace vantrel::platform {

class File;
class TcpSocket;

class SplicePipe {
 public:
  // Nothing when the system has no pipe to give (out of descriptors): the caller copies.
  static std::unique_ptr<SplicePipe> Create();
  ~SplicePipe();
  SplicePipe(const SplicePipe&) = delete;
  SplicePipe& operator=(const SplicePipe&) = delete;

  // Up to `max` bytes that have arrived on `from`, written into `to` at its position,
  // which moves past them. 0 at the end of the stream; nothing when nothing has arrived.
  // Throws SocketError for the connection, FileError for the disk (full, failing).
  std::optional<std::size_t> ReceiveInto(TcpSocket& from, File& to, std::size_t max);

 private:
  SplicePipe(int read_end, int write_end, std::size_t capacity)
      : read_(read_end), write_(write_end), capacity_(capacity) {}
  void DrainInto(File& to, std::size_t count);
  void CopyInto(File& to, std::size_t count);

  int read_ = -1;
  int write_ = -1;
  std::size_t capacity_;
};

}  // namespace vantrel::platform
