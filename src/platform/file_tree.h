#pragma once

// What the FTP handlers do to the tree they serve: facts about a path, listing a
// directory, deleting, moving, creating and removing directories. Symbolic links are
// followed, so a link the operator placed inside a home directory acts as what it names.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::platform {

struct PathFacts {
  bool is_directory = false;
  bool is_regular = false;
  std::int64_t size = 0;
  std::chrono::system_clock::time_point modified;
};

// Nothing when the path does not exist (or a link in it dangles).
std::optional<PathFacts> StatPath(const std::string& path);

// The names in one directory, read as often as a caller needs them, and the facts of an
// entry by its name. Reading the names costs no look at the entries themselves, so a
// caller can choose and order names before it pays for the facts of each. Used by one
// thread at a time.
class DirectoryReader {
 public:
  // Nothing when the directory cannot be opened.
  static std::unique_ptr<DirectoryReader> Open(const std::string& path);
  ~DirectoryReader();
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;

  // The next name, "." and ".." passed over, in the order the file system gives them;
  // nothing at the end (or when reading fails). Valid until the next call.
  std::optional<std::string_view> NextName();
  // Back to the first name.
  void Rewind();
  // The entry's facts, links followed; nothing when it has gone (or a link dangles).
  std::optional<PathFacts> Facts(const std::string& name) const;

 private:
  explicit DirectoryReader(void* directory) : directory_(directory) {}

  void* directory_;  // the system's handle
};

// Removes a file (never a directory).
bool DeleteFile(const std::string& path);
// Moves a file or directory without ever replacing an existing target. A file that must
// cross to another file system is copied, its copy flushed, and then the original removed.
bool MovePath(const std::string& from, const std::string& to);
// Creates the directory and its missing parents with `mode` (less the umask); true when the
// directory exists afterwards.
bool MakeDirectories(const std::string& path, unsigned mode = 0755);
// Removes an empty directory.
bool RemoveEmptyDirectory(const std::string& path);

}  // namespace vantrel::platform
