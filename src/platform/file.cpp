#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"

namespace vantrel::platform {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw FileError(what + " " + path + ": " + strerror(errno));
}

int OpenFlags(File::Mode mode) {
  switch (mode) {
    case File::Mode::kRead:
      return O_RDONLY;
    case File::Mode::kCreate:
      return O_WRONLY | O_CREAT;
    case File::Mode::kAppend:
      return O_WRONLY;
  }
  return O_RDONLY;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fd_(other.fd_),
      path_(std::move(other.path_)),
      position_(other.position_),
      size_at_open_(other.size_at_open_) {
  other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    position_ = other.position_;
    size_at_open_ = other.size_at_open_;
    other.fd_ = -1;
  }
  return *this;
}

File File::Open(const std::string& path, Mode mode) {
  // Non-blocking: opening a FIFO planted in a home must not hang the session; the check
  // below then turns it away as not a regular file.
  const int fd = ::open(path.c_str(), OpenFlags(mode) | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0)
    Fail("cannot open", path);
  File file(fd, path);
  const int lock = mode == Mode::kRead ? LOCK_SH : LOCK_EX;
  if (::flock(fd, lock | LOCK_NB) != 0)
    Fail("in use by another transfer:", path);
  // Inspected once the lock is ours, so the size is what the transfer will meet.
  struct stat info {};
  if (::fstat(fd, &info) != 0)
    Fail("cannot inspect", path);
  if (!S_ISREG(info.st_mode)) {
    errno = EISDIR;
    Fail("not a regular file:", path);
  }
  file.size_at_open_ = static_cast<std::int64_t>(info.st_size);
  // Truncate only once the lock is ours, so a running download is never cut short. An
  // empty file is left alone: truncating it changes nothing but costs the system work.
  if (mode == Mode::kCreate && info.st_size > 0) {
    if (::ftruncate(fd, 0) != 0)
      Fail("cannot truncate", path);
    file.size_at_open_ = 0;
  }
  if (mode == Mode::kAppend)
    file.position_ = file.size_at_open_;
  return file;
}

std::size_t File::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::pread(fd_, buffer, size, static_cast<off_t>(position_));
    if (got >= 0) {
      position_ += got;
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR)
      Fail("cannot read", path_);
  }
}

void File::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd_, data, size, static_cast<off_t>(position_));
    if (written < 0) {
      if (errno == EINTR)
        continue;
      Fail("cannot write", path_);
    }
    position_ += written;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void File::Seek(std::int64_t offset) {
  if (offset < 0) {
    errno = EINVAL;
    Fail("cannot seek", path_);
  }
  position_ = offset;
}

std::int64_t File::Size() const {
  struct stat info {};
  return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

void File::Close() {
  if (fd_ >= 0)
    ::close(fd_);  // closing also releases the lock
  fd_ = -1;
}

}  // namespace vantrel::platform
