#include "platform/file_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/file_system.h"

namespace vantrel::platform {
namespace {

PathFacts FactsOf(const struct stat& info) {
  PathFacts facts;
  facts.is_directory = S_ISDIR(info.st_mode);
  facts.is_regular = S_ISREG(info.st_mode);
  facts.size = facts.is_regular ? static_cast<std::int64_t>(info.st_size) : 0;
  facts.modified = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
  return facts;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS)
    return false;
#endif
  // A file system without the flag: link() never replaces either, but only works for files.
  if (::link(from.c_str(), to.c_str()) != 0)
    return false;
  return ::unlink(from.c_str()) == 0;
}

bool CopyThenRemove(const std::string& from, const std::string& to) {
  const auto source_facts = StatPath(from);
  if (!source_facts || !source_facts->is_regular)
    return false;
  // O_EXCL: the target must not appear between our check and our create.
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out < 0)
    return false;
  bool ok = true;
  try {
    File in = File::Open(from, File::Mode::kRead);
    char buffer[65536];
    for (std::size_t got; (got = in.Read(buffer, sizeof buffer)) > 0;) {
      for (std::size_t done = 0; done < got;) {
        const ssize_t n = ::write(out, buffer + done, got - done);
        if (n < 0 && errno == EINTR)
          continue;
        if (n < 0)
          throw FileError("write failed");
        done += static_cast<std::size_t>(n);
      }
    }
  } catch (const FileError&) {
    ok = false;
  }
  ok = ::fsync(out) == 0 && ok;
  ok = ::close(out) == 0 && ok;
  if (!ok) {
    ::unlink(to.c_str());
    return false;
  }
  SetModificationTime(to, source_facts->modified);
  return ::unlink(from.c_str()) == 0;
}

}  // namespace

std::optional<PathFacts> StatPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  return FactsOf(info);
}

std::unique_ptr<DirectoryReader> DirectoryReader::Open(const std::string& path) {
  DIR* directory = ::opendir(path.c_str());
  if (!directory)
    return nullptr;
  return std::unique_ptr<DirectoryReader>(new DirectoryReader(directory));
}

DirectoryReader::~DirectoryReader() {
  ::closedir(static_cast<DIR*>(directory_));
}

std::optional<std::string_view> DirectoryReader::NextName() {
  while (const struct dirent* entry = ::readdir(static_cast<DIR*>(directory_))) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..")
      return name;
  }
  return std::nullopt;
}

void DirectoryReader::Rewind() {
  ::rewinddir(static_cast<DIR*>(directory_));
}

std::optional<PathFacts> DirectoryReader::Facts(const std::string& name) const {
  struct stat info {};
  if (::fstatat(::dirfd(static_cast<DIR*>(directory_)), name.c_str(), &info, 0) != 0)
    return std::nullopt;
  return FactsOf(info);
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool MovePath(const std::string& from, const std::string& to) {
  if (RenameNoReplace(from, to))
    return true;
  return errno == EXDEV && CopyThenRemove(from, to);
}

bool MakeDirectories(const std::string& path, unsigned mode) {
  std::string partial;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t slash = path.find('/', start);
    partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
    if (!partial.empty() && ::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 &&
        errno != EEXIST)
      return false;
    if (slash == std::string::npos)
      break;
    start = slash + 1;
  }
  const auto facts = StatPath(path);
  return facts && facts->is_directory;
}

bool RemoveEmptyDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0;
}

}  // namespace vantrel::platform
