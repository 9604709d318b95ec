#pragma once

#include <cstdint>
#include <string>

namespace vantrel::platform {

// An open regular file with an advisory lock held for as long as it is open: readers share
// the file, a writer has it to itself, so a download never sees a half-rewritten file and
// an upload never changes a file under a running download. Movable, not copyable; one
// thread at a time.
//
// The position is kept here, not in the descriptor (reads and writes say where), so asking
// for it or moving it costs no system call and a zero-copy move by the socket layer
// states its offset and then moves the position with Seek.
class File {
 public:
  enum class Mode {
    kRead,    // existing file, shared lock
    kCreate,  // create or truncate to 0, exclusive lock
    kAppend,  // existing file for writing at its end, exclusive lock
  };

  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Throws FileError when the file cannot be opened or another transfer holds it.
  static File Open(const std::string& path, Mode mode);

  bool is_open() const { return fd_ >= 0; }
  // Bytes read (0 at end of file); throws FileError.
  std::size_t Read(char* buffer, std::size_t size);
  // Writes everything; throws FileError.
  void Write(const char* data, std::size_t size);
  void Seek(std::int64_t offset);
  std::int64_t Position() const { return position_; }
  // Asks the system, so it includes what others wrote.
  std::int64_t Size() const;
  // The size when opened (0 after the truncation of kCreate).
  std::int64_t SizeAtOpen() const { return size_at_open_; }
  void Close();
  // For zero-copy sends from the socket layer.
  int descriptor() const { return fd_; }

 private:
  explicit File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_ = -1;
  std::string path_;
  std::int64_t position_ = 0;
  std::int64_t size_at_open_ = 0;
};

}  // namespace vantrel::platform
