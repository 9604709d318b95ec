#include "service/ftp_file_handlers.h"

#include "accounts/auto_ban.h"
#include "accounts/online_clients.h"
#include "common/byte_size.h"
#include "common/text.h"
#include "ftp/ftp_error.h"
#include "ftp/ftp_session.h"
#include "ftp/ftp_stream.h"
#include "log/log_queue.h"
#include "platform/file_system.h"
#include "platform/file_tree.h"
#include "service/ftp_request.h"

namespace vantrel {
namespace {

std::string ParentOf(const std::string& disk_path) {
  const auto slash = disk_path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? "/" : disk_path.substr(0, slash);
}

bool IsDirectory(const std::optional<ResolvedPath>& path) {
  if (!path)
    return false;
  const auto facts = platform::StatPath(path->disk_path);
  return facts && facts->is_directory;
}

std::optional<platform::PathFacts> RegularFile(const std::optional<ResolvedPath>& path) {
  if (!path)
    return std::nullopt;
  auto facts = platform::StatPath(path->disk_path);
  if (!facts || !facts->is_regular)
    return std::nullopt;
  return facts;
}

}  // namespace

bool FtpFileHandlers::IsMountPoint(const FtpRequest& request, const ResolvedPath& path) {
  const auto parent = request.Resolve(path.FtpText(), "..");
  if (!parent)
    return true;
  return ParentOf(WithoutTrailingSlash(path.disk_path)) != WithoutTrailingSlash(parent->disk_path);
}

void FtpFileHandlers::Log(const FtpRequest& request, const std::string& text) {
  units_.log.LogLine(request.LogPrefix() + "> " + text);
}

void FtpFileHandlers::Refuse(const FtpRequest& request, const std::string& message) {
  Log(request, message);
  throw FtpError(message);
}

std::string FtpFileHandlers::ChangeDirectory(FtpSession& session, std::string_view directory) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), directory);
  const std::string name = Named(path, directory);
  units_.online.SetUser(request.key, request.user);
  units_.online.SetActionPath(request.key, "CHDIR", session.CurrentDir());
  if (!request.Allows(FileOperation::kChangeDirectory)) {
    Log(request, "Not allowed to change directory " + name);
    throw FtpError("Not allowed to change directory");
  }
  if (IsDirectory(path)) {
    Log(request, "Change directory " + name);
    return path->FtpText();
  }
  std::string line = "Directory does not exist " + name;
  if (path && !path->is_virtual)
    line += " (" + path->disk_path + ")";
  Log(request, line);
  units_.auto_ban.RecordFailure(BanRule::kChangeDirectory, request.key, request.user);
  throw FtpError("Directory does not exist " + name);
}

bool FtpFileHandlers::FileExists(FtpSession& session, std::string_view name) {
  const FtpRequest request = RequestOf(session, units_.records);
  return RegularFile(request.Resolve(session.CurrentDir(), name)).has_value();
}

std::optional<DateTime> FtpFileHandlers::FileTime(FtpSession& session, std::string_view name) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto facts = RegularFile(request.Resolve(session.CurrentDir(), name));
  if (!facts)
    return std::nullopt;
  return ToDateTime(facts->modified);
}

std::optional<std::int64_t> FtpFileHandlers::FileSize(FtpSession& session, std::string_view name) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto facts = RegularFile(request.Resolve(session.CurrentDir(), name));
  if (!facts)
    return std::nullopt;
  return facts->size;
}

void FtpFileHandlers::DeleteFile(FtpSession& session, std::string_view argument) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  const std::string name = Named(path, argument);
  units_.online.SetActionPath(request.key, "DELETE", session.CurrentDir());
  if (!request.Allows(FileOperation::kDeleteFile))
    Refuse(request, "Not allowed to delete file " + name);
  if (!RegularFile(path)) {
    Log(request, "Cannot delete file, File not found " + name);
    throw FtpError("File not found " + name);
  }
  if (!platform::DeleteFile(path->disk_path))
    Refuse(request, "Failed to delete file " + name);
  Log(request, "Delete file " + name);
}

void FtpFileHandlers::SetModifiedTime(FtpSession& session, std::string_view argument,
                                      std::chrono::system_clock::time_point time) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  const std::string name = Named(path, argument);
  units_.online.SetActionPath(request.key, "SETTIME", name);
  if (!request.Allows(FileOperation::kSetModifiedTime, path ? path->disk_path : ""))
    Refuse(request, "Not allowed to set the time of " + name);
  if (!RegularFile(path))
    Refuse(request, "File not found " + name);
  if (!platform::SetModificationTime(path->disk_path, time))
    Refuse(request, "Failed to set the time of " + name);
  Log(request, "Set the time of " + name);
}

void FtpFileHandlers::RenameFile(FtpSession& session, std::string_view from, std::string_view to) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto source = request.Resolve(session.CurrentDir(), from);
  const auto target = request.Resolve(session.CurrentDir(), to);
  const std::string from_name = Named(source, from);
  const std::string to_name = Named(target, to);
  units_.online.SetActionPath(request.key, "RENAME", from_name);
  if (!request.Allows(FileOperation::kRename))
    Refuse(request, "Not allowed to rename " + from_name);
  const bool moved = source && target && !IsMountPoint(request, *source) &&
                     !IsMountPoint(request, *target) &&
                     platform::MovePath(WithoutTrailingSlash(source->disk_path),
                                        WithoutTrailingSlash(target->disk_path));
  if (!moved)
    Refuse(request, "Failed to rename " + from_name + " to " + to_name);
  Log(request, "Rename " + from_name + " to " + to_name);
}

std::string FtpFileHandlers::MakeDirectory(FtpSession& session, std::string_view argument) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  const std::string name = path ? path->FtpText() : std::string(argument);
  units_.online.SetActionPath(request.key, "MKDIR", name);
  if (!request.Allows(FileOperation::kMakeDirectory)) {
    Log(request, "Not allowed to make directory " + name);
    units_.auto_ban.RecordFailure(BanRule::kMakeDirectory, request.key, request.user);
    throw FtpError("Not allowed to make directory " + name);
  }
  units_.auto_ban.ForgiveDirectoryFailure(request.key);
  // Answering "created" for a directory that was already there would report a success
  // that never happened; clients that only want it to exist take the 550 as well.
  if (IsDirectory(path)) {
    Log(request, "Directory to make already exists " + name);
    throw FtpError("Directory already exists " + name);
  }
  if (!path || !platform::MakeDirectories(WithoutTrailingSlash(path->disk_path)))
    Refuse(request, "Failed to make directory " + name);
  Log(request, "Make directory " + name);
  return name;
}

void FtpFileHandlers::RemoveDirectory(FtpSession& session, std::string_view argument) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  const std::string name = path ? path->FtpText() : std::string(argument);
  units_.online.SetActionPath(request.key, "RMDIR", name);
  if (!request.Allows(FileOperation::kRemoveDirectory))
    Refuse(request, "Not allowed to remove directory " + name);
  const bool removed = path && !IsMountPoint(request, *path) &&
                       platform::RemoveEmptyDirectory(WithoutTrailingSlash(path->disk_path));
  if (!removed)
    Refuse(request, "Failed to remove directory " + name);
  Log(request, "Remove directory " + name);
}

std::unique_ptr<FtpStream> FtpFileHandlers::OpenForChecksum(FtpSession& session,
                                                            std::string_view argument,
                                                            bool whole_file) {
  const FtpRequest request = RequestOf(session, units_.records);
  const auto path = request.Resolve(session.CurrentDir(), argument);
  const std::string name = Named(path, argument);
  units_.online.SetActionPath(request.key, "CRC", session.CurrentDir());
  // A whole file's checksum stays open to all (an upload-only member checks an upload).
  if (!whole_file && !request.Allows(FileOperation::kChecksumRange))
    Refuse(request, "Not allowed to checksum part of file " + name);
  const auto facts = RegularFile(path);
  if (!facts) {
    Log(request, "File " + name + " not found for CRC");
    return nullptr;
  }
  std::unique_ptr<FtpStream> stream;
  try {
    stream = std::make_unique<FileFtpStream>(path->disk_path, platform::File::Mode::kRead);
  } catch (const platform::FileError&) {
    Refuse(request, "Checksum file failed " + name);
  }
  Log(request, "Checksum file " + name + " (" + FormatByteSize(facts->size) + ")");
  return stream;
}

}  // namespace vantrel
