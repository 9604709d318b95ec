#include "service/ftp_file_handlers.h"

#include "accounts/access_policy.h"
#include "accounts/auto_ban.h"
#include "accounts/ftp_path.h"
#include "accounts/users.h"
#include "common/byte_size.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_session.h"
#include "ftp/ftp_stream.h"
#include "log/log_queue.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "service/ftp_request.h"

namespace vantrel {
namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string ParentOf(const std::string& disk_path) {
  const auto slash = disk_path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? "/" : disk_path.substr(0, slash);
}

bool IsDirectory(const std::optional<MappedPath>& mapped) {
  if (!mapped)
    return false;
  const auto facts = platform::StatPath(mapped->disk_path);
  return facts && facts->is_directory;
}

std::optional<platform::PathFacts> RegularFile(const std::optional<MappedPath>& mapped) {
  if (!mapped)
    return std::nullopt;
  auto facts = platform::StatPath(mapped->disk_path);
  if (!facts || !facts->is_regular)
    return std::nullopt;
  return facts;
}

// The directory the client ends up in: resolved, without a trailing "/" but for the root.
std::string CanonicalDirectory(const std::string& current, const std::string& directory) {
  auto resolved = ResolveFtpPath(current, directory);
  if (!resolved)
    return directory;
  resolved->trailing_separator = false;
  return resolved->Text();
}

}  // namespace

std::optional<MappedPath> FtpFileHandlers::Map(const FtpRequest& request, const FtpSession& session,
                                               const std::string& ftp_path) const {
  return units_.mapper.MapPath(request.who, session.HomeDir(), session.CurrentDir(), ftp_path);
}

bool FtpFileHandlers::IsMountPoint(const FtpRequest& request, const FtpSession& session,
                                   const std::string& ftp_path) const {
  const auto mapped = Map(request, session, ftp_path);
  const auto parent = Map(request, session, ftp_path + "/..");
  if (!mapped || !parent)
    return true;
  return ParentOf(WithoutTrailingSlash(mapped->disk_path)) !=
         WithoutTrailingSlash(parent->disk_path);
}

void FtpFileHandlers::Log(const FtpRequest& request, const std::string& text) {
  units_.log.LogLine(request.LogPrefix() + "> " + text);
}

void FtpFileHandlers::Refuse(const FtpRequest& request, const std::string& message) {
  Log(request, message);
  throw FtpError(message);
}

void FtpFileHandlers::ChangeDirectory(FtpSession& session, std::string& directory) {
  const FtpRequest request = RequestOf(session);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kChangeDirectory, request.who);
  units_.users.SetOnlineUser(request.key(), request.who.user, request.who.pass);
  units_.users.SetOnlineActionPath(request.key(), "CHDIR", session.CurrentDir());
  if (!allowed) {
    Log(request, "Not allowed to change directory " + directory);
    throw FtpError("Not allowed to change directory");
  }
  const auto mapped = Map(request, session, directory);
  if (IsDirectory(mapped)) {
    Log(request, "Change directory " + directory);
    directory = CanonicalDirectory(session.CurrentDir(), directory);
    return;
  }
  std::string line = "Directory does not exist " + directory;
  if (mapped && !mapped->is_virtual)
    line += " (" + mapped->disk_path + ")";
  Log(request, line);
  units_.auto_ban.RecordFailure(BanRule::kChangeDirectory, request.key(), request.who.user);
  throw FtpError("Directory does not exist " + directory);
}

void FtpFileHandlers::FileExistCheck(FtpSession& session, const std::string& name, bool& exists) {
  exists = RegularFile(Map(RequestOf(session), session, name)).has_value();
}

void FtpFileHandlers::GetFileDate(FtpSession& session, const std::string& name, DateTime& date) {
  const auto facts = RegularFile(Map(RequestOf(session), session, name));
  date = facts ? ToDateTime(facts->modified) : -1.0;
}

void FtpFileHandlers::GetFileSize(FtpSession& session, const std::string& name,
                                  std::int64_t& size) {
  const auto facts = RegularFile(Map(RequestOf(session), session, name));
  size = facts ? facts->size : -1;
}

void FtpFileHandlers::DeleteFile(FtpSession& session, const std::string& name) {
  const FtpRequest request = RequestOf(session);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kDeleteFile, request.who);
  units_.users.SetOnlineActionPath(request.key(), "DELETE", session.CurrentDir());
  if (!allowed)
    Refuse(request, "Not allowed to delete file " + name);
  const auto mapped = Map(request, session, name);
  if (!RegularFile(mapped)) {
    Log(request, "Cannot delete file, File not found " + name);
    throw FtpError("File not found " + name);
  }
  if (!platform::DeleteFile(mapped->disk_path))
    Refuse(request, "Failed to delete file " + name);
  Log(request, "Delete file " + name);
}

void FtpFileHandlers::SetModifiedTime(FtpSession& session, const std::string& name,
                                      std::chrono::system_clock::time_point time) {
  const FtpRequest request = RequestOf(session);
  const auto mapped = Map(request, session, name);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kSetModifiedTime, request.who,
                                               mapped ? mapped->disk_path : std::string());
  units_.users.SetOnlineActionPath(request.key(), "SETTIME", name);
  if (!allowed)
    Refuse(request, "Not allowed to set the time of " + name);
  if (!RegularFile(mapped))
    Refuse(request, "File not found " + name);
  if (!platform::SetModificationTime(mapped->disk_path, time))
    Refuse(request, "Failed to set the time of " + name);
  Log(request, "Set the time of " + name);
}

void FtpFileHandlers::RenameFile(FtpSession& session, const std::string& from,
                                 const std::string& to) {
  const FtpRequest request = RequestOf(session);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kRename, request.who);
  units_.users.SetOnlineActionPath(request.key(), "RENAME", from);
  if (!allowed)
    Refuse(request, "Not allowed to rename " + from);
  const auto source = Map(request, session, from);
  const auto target = Map(request, session, to);
  const bool moved = source && target && !IsMountPoint(request, session, from) &&
                     !IsMountPoint(request, session, to) &&
                     platform::MovePath(WithoutTrailingSlash(source->disk_path),
                                        WithoutTrailingSlash(target->disk_path));
  if (!moved)
    Refuse(request, "Failed to rename " + from + " to " + to);
  Log(request, "Rename " + from + " to " + to);
}

void FtpFileHandlers::MakeDirectory(FtpSession& session, const std::string& name) {
  const FtpRequest request = RequestOf(session);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kMakeDirectory, request.who);
  units_.users.SetOnlineActionPath(request.key(), "MKDIR", name);
  if (!allowed) {
    Log(request, "Not allowed to make directory " + name);
    units_.auto_ban.RecordFailure(BanRule::kMakeDirectory, request.key(), request.who.user);
    throw FtpError("Not allowed to make directory " + name);
  }
  units_.auto_ban.ForgiveDirectoryFailure(request.key());
  const auto mapped = Map(request, session, name);
  // Answering "created" for a directory that was already there would report a success
  // that never happened; clients that only want it to exist take the 550 as well.
  if (IsDirectory(mapped)) {
    Log(request, "Directory to make already exists " + name);
    throw FtpError("Directory already exists " + name);
  }
  if (!mapped || !platform::MakeDirectories(WithoutTrailingSlash(mapped->disk_path))) {
    const std::string line = request.LogPrefix() + "> Failed to make directory " + name;
    units_.log.LogLine(line);
    throw FtpError(line);
  }
  Log(request, "Make directory " + name);
}

void FtpFileHandlers::RemoveDirectory(FtpSession& session, const std::string& name) {
  const FtpRequest request = RequestOf(session);
  const bool allowed = units_.policy.IsAllowed(FileOperation::kRemoveDirectory, request.who);
  units_.users.SetOnlineActionPath(request.key(), "RMDIR", name);
  if (!allowed)
    Refuse(request, "Not allowed to remove directory " + name);
  const auto mapped = Map(request, session, name);
  const bool removed = mapped && !IsMountPoint(request, session, name) &&
                       platform::RemoveEmptyDirectory(WithoutTrailingSlash(mapped->disk_path));
  if (!removed)
    Refuse(request, "Failed to remove directory " + name);
  Log(request, "Remove directory " + name);
}

void FtpFileHandlers::CRCFile(FtpSession& session, const std::string& name, bool whole_file,
                              std::unique_ptr<FtpStream>& stream) {
  const FtpRequest request = RequestOf(session);
  units_.users.SetOnlineActionPath(request.key(), "CRC", session.CurrentDir());
  // A whole file's checksum stays open to all (an upload-only member checks an upload).
  if (!whole_file && !units_.policy.IsAllowed(FileOperation::kChecksumRange, request.who))
    Refuse(request, "Not allowed to checksum part of file " + name);
  const auto mapped = Map(request, session, name);
  const auto facts = RegularFile(mapped);
  if (!facts) {
    Log(request, "File " + name + " not found for CRC");
    return;
  }
  try {
    stream = std::make_unique<FileFtpStream>(mapped->disk_path, platform::File::Mode::kRead);
  } catch (const platform::FileError&) {
    Refuse(request, "Checksum file failed " + name);
  }
  Log(request, "Checksum file " + name + " (" + FormatByteSize(facts->size) + ")");
}

}  // namespace vantrel
