#include "platform/append_file.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <utility>

#include "platform/file_system.h"

namespace vantrel::platform {
namespace {

constexpr mode_t kGroupReadable = 0640;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw FileError(what + " " + path + ": " + strerror(errno));
}

}  // namespace

AppendFile::~AppendFile() {
  Close();
}

AppendFile::AppendFile(AppendFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

AppendFile AppendFile::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kGroupReadable);
  if (fd < 0)
    Fail("cannot open", path);
  return AppendFile(fd, path);
}

void AppendFile::WriteRecord(std::string_view record) {
  ssize_t written;
  do {
    written = ::write(fd_, record.data(), record.size());
  } while (written < 0 && errno == EINTR);  // interrupted before anything was written
  if (written < 0)
    Fail("cannot write to", path_);
  if (static_cast<std::size_t>(written) != record.size())
    throw FileError("cannot write a whole record to " + path_ + " (is the disk full?)");
}

void AppendFile::Close() {
  if (fd_ >= 0)
    ::close(std::exchange(fd_, -1));
}

}  // namespace vantrel::platform
