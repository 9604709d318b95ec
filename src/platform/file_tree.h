#pragma once

// What the FTP handlers do to the tree they serve: facts about a path, listing a
// directory, deleting, moving, creating and removing directories. Symbolic links are
// followed, so a link the operator placed inside a home directory acts as what it names.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::platform {

struct PathFacts {
  bool is_directory = false;
  bool is_regular = false;
  std::int64_t size = 0;
  std::chrono::system_clock::time_point modified;
};

struct DirectoryEntry {
  std::string name;
  PathFacts facts;
};

// Nothing when the path does not exist (or a link in it dangles).
std::optional<PathFacts> StatPath(const std::string& path);

// Every entry but "." and "..", in the order the file system gives them; entries that
// vanish while listed are skipped. Nothing when the directory cannot be opened.
std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::string& path);

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
