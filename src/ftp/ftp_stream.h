#pragma once

// The engine's view of the bytes a host hands it for a transfer or a checksum. The host
// decides what lies behind (a plain file, a speed-limited transfer, memory in tests); the
// engine only positions, reads or writes, and destroys it when done.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"

namespace vantrel {

// Used by the one session thread that received it.
class FtpStream {
 public:
  virtual ~FtpStream() = default;

  // Up to `size` bytes from the position; 0 at the end. Failures throw.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual void Write(const char* data, std::size_t size) = 0;
  virtual void Seek(std::int64_t position) = 0;
  virtual std::int64_t Position() const = 0;
  virtual std::int64_t Size() const = 0;

  // A plain file the engine may have the kernel send from or receive into directly at the
  // current position (zero-copy); nothing when the bytes must come through Read or Write
  // (a speed limit, memory, a filter).
  virtual platform::File* ZeroCopyFile() { return nullptr; }
  // Accounts for `size` bytes that left or entered ZeroCopyFile() that way; its position
  // has already moved past them.
  virtual void MovedExternally(std::size_t /*size*/) {}
  // How the transfer ended, told just before the stream is destroyed: true when the client
  // is told it succeeded. A stream destroyed untold was broken off by a failure.
  virtual void Finished(bool /*complete*/) {}
};

// A plain file, for checksums and hosts without speed limits.
class FileFtpStream final : public FtpStream {
 public:
  // Throws platform::FileError when the file cannot be opened or is held by a writer.
  FileFtpStream(const std::string& path, platform::File::Mode mode)
      : file_(platform::File::Open(path, mode)) {}

  std::size_t Read(char* buffer, std::size_t size) override { return file_.Read(buffer, size); }
  void Write(const char* data, std::size_t size) override { file_.Write(data, size); }
  void Seek(std::int64_t position) override { file_.Seek(position); }
  std::int64_t Position() const override { return file_.Position(); }
  std::int64_t Size() const override { return file_.Size(); }
  platform::File* ZeroCopyFile() override { return &file_; }

 private:
  platform::File file_;
};

}  // namespace vantrel
