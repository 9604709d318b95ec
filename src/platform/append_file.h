#pragma once

// A record log that several writers share: the descriptor is append-only, so every write
// lands at the end of the file as it is at that moment, and each record goes out in one
// system call, so records of two threads (or two processes) never interleave. A record that
// the system took only in part (a full disk) is reported, not completed by a second write
// that another writer's record could precede.

#include <string>
#include <string_view>

namespace vantrel::platform {

// Movable, not copyable; one thread at a time (callers lock around it).
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(AppendFile&& other) noexcept;
  AppendFile& operator=(AppendFile&& other) noexcept;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Creates a missing file readable by the owner's group too (0640, less the umask).
  // Throws FileError.
  static AppendFile Open(const std::string& path);

  bool is_open() const { return fd_ >= 0; }
  // Throws FileError when the record was not written whole.
  void WriteRecord(std::string_view record);
  void Close();

 private:
  AppendFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_ = -1;
  std::string path_;
};

}  // namespace vantrel::platform
