#include "platform/process.h"

#include <limits.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/file_tree.h"

namespace vantrel::platform {

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0)
    return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

bool IsWritableDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool CreateDirectories(const std::string& path) {
  return MakeDirectories(path, 0700);
}

std::optional<std::string> UserDataHome() {
  if (const char* xdg = ::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/')
    return std::string(xdg);
  if (const char* home = ::getenv("HOME"); home && home[0] != '\0') {
    return std::string(home) + "/.local/share";
  }
  return std::nullopt;
}

void TrimWorkingSet() {
  ::malloc_trim(0);
}

void KeepFreedHeapForReuse() {
  constexpr int kKept = 32 << 20;  // the largest mmap threshold the allocator accepts
  ::mallopt(M_TRIM_THRESHOLD, kKept);
  ::mallopt(M_MMAP_THRESHOLD, kKept);
}

bool MayBindPrivilegedPorts() {
  return ::geteuid() == 0;
}

std::string HostName() {
  // HOST_NAME_MAX leaves out the terminator, and a name that long may come without one.
  char name[HOST_NAME_MAX + 2] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
    return "localhost";
  return name;
}

}  // namespace vantrel::platform
