#include "accounts/path_resolver.h"

#include <algorithm>

#include "accounts/session_record.h"

namespace vantrel {
namespace {

bool StartsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
  return prefix.size() <= path.size() && std::equal(prefix.begin(), prefix.end(), path.begin());
}

std::string JoinDiskPath(std::string_view base, const FtpPath& path, std::size_t first_segment) {
  std::string disk;
  // Runs of "/" in the operator's directory collapse, as the disk would read them.
  for (char c : base) {
    if (c != '/' || disk.empty() || disk.back() != '/')
      disk += c;
  }
  for (std::size_t i = first_segment; i < path.segments.size(); ++i) {
    if (disk.empty() || disk.back() != '/')
      disk += '/';
    disk += path.segments[i];
  }
  if (path.trailing_separator && (disk.empty() || disk.back() != '/'))
    disk += '/';
  return disk;
}

}  // namespace

std::string ResolvedPath::FtpText() const {
  FtpPath directory = ftp;
  directory.trailing_separator = false;
  return directory.Text();
}

std::optional<ResolvedPath> ResolvePath(const SessionRecord& record,
                                        std::string_view current_directory,
                                        std::string_view argument) {
  if (record.home.empty())
    return std::nullopt;
  auto path = ResolveFtpPath(current_directory, argument);
  if (!path)
    return std::nullopt;
  const auto& entries = record.virtual_directories;
  const auto match = std::find_if(entries.begin(), entries.end(), [&](const VirtualDirectory& e) {
    return StartsWith(path->segments, e.alias);
  });
  if (match == entries.end())
    return ResolvedPath{*path, JoinDiskPath(record.home, *path, 0), false};
  if (match->directory.empty())
    return std::nullopt;
  std::string disk = JoinDiskPath(match->directory, *path, match->alias.size());
  return ResolvedPath{std::move(*path), std::move(disk), true};
}

}  // namespace vantrel
