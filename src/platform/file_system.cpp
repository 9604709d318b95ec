#include "platform/file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>
#include <vector>

namespace vantrel::platform {
namespace {

constexpr mode_t kPrivateMode = 0600;

[[noreturn]] void ThrowErrno(const std::string& what, const std::string& path) {
  throw FileError(what + " " + path + ": " + strerror(errno));
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR)
        continue;
      ThrowErrno("cannot write", path);
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a fresh temporary file beside `path` so that the final rename stays within one
// file system and is atomic.
int CreateSiblingTemp(const std::string& path, std::string& temp_path) {
  std::string pattern = DirectoryOf(path) + "/." + BaseNameOf(path) + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemp(buffer.data());  // mode 0600
  if (fd < 0)
    ThrowErrno("cannot create a temporary file for", path);
  temp_path = buffer.data();
  return fd;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  try {
    return ReadFileIfExists(path);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

std::optional<std::string> ReadFileIfExists(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT)
      return std::nullopt;
    ThrowErrno("cannot read", path);
  }
  std::string content;
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      ThrowErrno("cannot read", path);
    }
    if (got == 0)
      break;
    content.append(chunk, static_cast<size_t>(got));
  }
  ::close(fd);
  return content;
}

namespace {

// Gives the temporary file for `path` its mode (and, when none is asked for, the owner
// and mode of the file it replaces) before anything is written to it.
void PrepareReplacement(int fd, const std::string& path, std::optional<mode_t> mode) {
  if (mode) {
    if (::fchmod(fd, *mode) != 0)
      ThrowErrno("cannot set the mode of", path);
    return;
  }
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) {
    ::fchmod(fd, existing.st_mode & 07777);
    // Best effort: only root can give the file back to another owner.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
      errno = 0;
  }
}

void Replace(const std::string& path, std::string_view content, std::optional<mode_t> mode) {
  std::string temp_path;
  int fd = CreateSiblingTemp(path, temp_path);
  try {
    PrepareReplacement(fd, path, mode);
    WriteAll(fd, content, path);
    if (::fsync(fd) != 0)
      ThrowErrno("cannot flush", path);
    // Closed once only, failed or not: by a second close the number may be another
    // thread's new descriptor.
    if (::close(std::exchange(fd, -1)) != 0)
      ThrowErrno("cannot close", path);
  } catch (...) {
    if (fd >= 0)
      ::close(fd);
    ::unlink(temp_path.c_str());
    throw;
  }
  if (::rename(temp_path.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temp_path.c_str());
    errno = saved;
    ThrowErrno("cannot replace", path);
  }
}

}  // namespace

std::string ReadExistingFile(const std::string& path) {
  auto content = ReadFileIfExists(path);
  if (!content) {
    errno = ENOENT;
    ThrowErrno("cannot read", path);
  }
  return std::move(*content);
}

void ReplaceFile(const std::string& path, std::string_view content) {
  Replace(path, content, std::nullopt);
}

void ReplaceFileWithMode(const std::string& path, std::string_view content, unsigned mode) {
  Replace(path, content, static_cast<mode_t>(mode));
}

bool AppendToFile(const std::string& path, std::string_view content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateMode);
  if (fd < 0)
    return false;
  bool ok = true;
  try {
    WriteAll(fd, content, path);
  } catch (const FileError&) {
    ok = false;
  }
  return ::close(fd) == 0 && ok;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<FileTime> ModificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return FileTime(std::chrono::duration_cast<FileTime::duration>(
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

bool SetModificationTime(const std::string& path, FileTime moment) {
  const auto since = moment.time_since_epoch();
  const auto secs = std::chrono::floor<std::chrono::seconds>(since);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secs.count());
  times[1].tv_nsec =
      static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - secs).count());
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

FileWriter::FileWriter(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kPrivateMode);
  if (fd_ < 0)
    ThrowErrno("cannot create", path);
}

FileWriter::~FileWriter() {
  if (fd_ >= 0)
    ::close(fd_);
}

void FileWriter::Write(std::string_view data) {
  WriteAll(fd_, data, path_);
}

void FileWriter::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (fd >= 0 && ::close(fd) != 0)
    ThrowErrno("cannot close", path_);
}

}  // namespace vantrel::platform
