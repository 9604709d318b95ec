#pragma once

// The answers to the FTP engine's questions about the file tree and the commands that
// change it: change directory, existence, size and date, delete, rename, make and remove
// directories, checksums. Every client path reaches the disk only through the path
// resolver, which confines it to the home or the matched virtual directory.
//
// Owned by the service; the events run on connection threads, concurrently, and share
// state only through the units' own locks.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "accounts/path_resolver.h"
#include "common/date_time.h"
#include "service/ftp_request.h"

namespace vantrel {

class FtpSession;
class FtpStream;

class FtpFileHandlers {
 public:
  explicit FtpFileHandlers(const FtpHandlerUnits& units) : units_(units) {}

  // Sets `directory`, the client's path, to the FTP path that becomes current.
  void ChangeDirectory(FtpSession& session, std::string& directory);
  void FileExistCheck(FtpSession& session, const std::string& name, bool& exists);
  void GetFileDate(FtpSession& session, const std::string& name, DateTime& date);
  void GetFileSize(FtpSession& session, const std::string& name, std::int64_t& size);
  void DeleteFile(FtpSession& session, const std::string& name);
  // Files only: a directory's time follows its content, and the home or a virtual
  // directory's own is the operator's.
  void SetModifiedTime(FtpSession& session, const std::string& name,
                       std::chrono::system_clock::time_point time);
  void RenameFile(FtpSession& session, const std::string& from, const std::string& to);
  // Sets `name`, the client's path, to the FTP path of the directory made.
  void MakeDirectory(FtpSession& session, std::string& name);
  void RemoveDirectory(FtpSession& session, const std::string& name);
  // A range of the file (not `whole_file`) needs the download permission.
  void CRCFile(FtpSession& session, const std::string& name, bool whole_file,
               std::unique_ptr<FtpStream>& stream);

 private:
  // The home root or a virtual directory's own directory: renaming or removing it would
  // move the operator's tree itself, so it is refused like a missing path.
  static bool IsMountPoint(const FtpRequest& request, const ResolvedPath& path);
  void Log(const FtpRequest& request, const std::string& text);
  [[noreturn]] void Refuse(const FtpRequest& request, const std::string& message);

  FtpHandlerUnits units_;
};

}  // namespace vantrel
