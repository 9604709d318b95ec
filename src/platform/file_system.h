#pragma once

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel::platform {

// Raised by the file wrappers; the message names the path and the system's reason.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using FileTime = std::chrono::system_clock::time_point;

// The whole content, or nothing when the file is missing or unreadable.
std::optional<std::string> ReadWholeFile(const std::string& path);
// The whole content, or nothing when the file does not exist. A file that exists but
// cannot be read (permissions, an I/O error, a directory in its place) throws FileError
// with the system's reason: to a caller that would save over it, it is not "missing".
std::optional<std::string> ReadFileIfExists(const std::string& path);
// The whole content; every failure, a missing file included, throws FileError ("cannot
// read <path>: <reason>").
std::string ReadExistingFile(const std::string& path);

// Replaces the content of `path` in one step: a reader (or a crash) sees the old file or
// the new one, never a mix. A new file is readable by its owner only; an existing file
// keeps the mode the operator gave it. Throws FileError and leaves the old file intact.
void ReplaceFile(const std::string& path, std::string_view content);
// The same, but the new file gets exactly `mode` whatever the old one had (a private key
// 0600, a certificate 0644), set before the first byte is written.
void ReplaceFileWithMode(const std::string& path, std::string_view content, unsigned mode);

// Appends to `path`, creating it owner-only when missing. False when it cannot.
bool AppendToFile(const std::string& path, std::string_view content);

// Removes a file (not a directory). True when it is gone, including when it never was.
bool RemoveFile(const std::string& path);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
std::optional<FileTime> ModificationTime(const std::string& path);
bool SetModificationTime(const std::string& path, FileTime moment);

// Writes a file front to back (creating it owner-only, truncating an existing one and
// keeping its mode). Every failure throws FileError; the destructor closes quietly.
class FileWriter {
 public:
  explicit FileWriter(const std::string& path);
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  void Write(std::string_view data);
  void Close();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace vantrel::platform
