#pragma once

// The service's answers to the FTP engine's questions about the file tree and the commands that
// change it: change directory, existence, size and date, delete, rename, make and remove
// directories, checksums. Every client path reaches the disk only through the path
// resolver, which confines it to the home or the matched virtual directory.
//
// Owned by the service; the methods run on connection threads, concurrently, and share
// state only through the units' own locks.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/path_resolver.h"
#include "common/date_time.h"
#include "ftp/ftp_host.h"
#include "service/ftp_request.h"

namespace vantrel {

class FtpFileHandlers final : public FtpFileHost {
 public:
  explicit FtpFileHandlers(const FtpHandlerUnits& units) : units_(units) {}

  std::string ChangeDirectory(FtpSession& session, std::string_view path) override;
  std::optional<std::int64_t> FileSize(FtpSession& session, std::string_view path) override;
  std::optional<DateTime> FileTime(FtpSession& session, std::string_view path) override;
  bool FileExists(FtpSession& session, std::string_view path) override;
  void DeleteFile(FtpSession& session, std::string_view path) override;
  void RenameFile(FtpSession& session, std::string_view from, std::string_view to) override;
  std::string MakeDirectory(FtpSession& session, std::string_view path) override;
  void RemoveDirectory(FtpSession& session, std::string_view path) override;
  // Files only: a directory's time follows its content, and the home or a virtual
  // directory's own is the operator's.
  void SetModifiedTime(FtpSession& session, std::string_view path,
                       std::chrono::system_clock::time_point time) override;
  // A range of the file (not `whole_file`) needs the download permission.
  std::unique_ptr<FtpStream> OpenForChecksum(FtpSession& session, std::string_view path,
                                             bool whole_file) override;

 private:
  // The home root or a virtual directory's own directory: renaming or removing it would
  // move the operator's tree itself, so it is refused like a missing path.
  static bool IsMountPoint(const FtpRequest& request, const ResolvedPath& path);
  void Log(const FtpRequest& request, const std::string& text);
  [[noreturn]] void Refuse(const FtpRequest& request, const std::string& message);

  FtpHandlerUnits units_;
};

}  // namespace vantrel
