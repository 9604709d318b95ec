#include "accounts/path_mapper.h"

#include <algorithm>

#include "accounts/ftp_path.h"
#include "accounts/users.h"
#include "common/packed_list.h"
#include "common/text.h"
#include "config/settings.h"

namespace vantrel {
namespace {

struct VirtualDirectory {
  std::vector<std::string> alias;  // segments; empty never matches
  std::string directory;
};

std::vector<VirtualDirectory> ParseVirtualDirectories(std::string_view packed) {
  std::vector<VirtualDirectory> entries;
  for (const auto& item : SplitPacked(packed)) {
    const NameValue entry = SplitNameValue(item);
    if (!entry.has_separator)
      continue;
    entries.push_back({SplitFtpSegments(entry.name), std::string(entry.value)});
  }
  return entries;
}

bool StartsWith(const std::vector<std::string>& path, const std::vector<std::string>& prefix) {
  return !prefix.empty() && prefix.size() <= path.size() &&
         std::equal(prefix.begin(), prefix.end(), path.begin());
}

bool SameAliasIgnoringCase(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const std::string& x, const std::string& y) { return EqualsIgnoreCase(x, y); });
}

std::string CollapseSeparators(std::string path) {
  const auto end =
      std::unique(path.begin(), path.end(), [](char a, char b) { return a == '/' && b == '/'; });
  path.erase(end, path.end());
  return path;
}

std::string JoinDiskPath(std::string_view base, const FtpPath& path, std::size_t first_segment) {
  std::string disk(base);
  for (std::size_t i = first_segment; i < path.segments.size(); ++i) {
    disk += '/';
    disk += path.segments[i];
  }
  if (path.trailing_separator)
    disk += '/';
  return CollapseSeparators(std::move(disk));
}

}  // namespace

std::optional<MappedPath> MapFtpPath(std::string_view home, std::string_view current_directory,
                                     std::string_view ftp_path,
                                     std::string_view virtual_directories) {
  if (home.empty())
    return std::nullopt;
  const auto path = ResolveFtpPath(current_directory, ftp_path);
  if (!path)
    return std::nullopt;

  const auto entries = ParseVirtualDirectories(virtual_directories);
  const auto match = std::find_if(entries.begin(), entries.end(), [&](const VirtualDirectory& e) {
    return StartsWith(path->segments, e.alias);
  });
  if (match == entries.end())
    return MappedPath{JoinDiskPath(home, *path, 0), false};

  // Aliases that differ only in case share the directory of the first of them.
  const auto source = std::find_if(entries.begin(), entries.end(), [&](const VirtualDirectory& e) {
    return SameAliasIgnoringCase(e.alias, match->alias);
  });
  if (source->directory.empty())
    return std::nullopt;
  return MappedPath{JoinDiskPath(source->directory, *path, match->alias.size()), true};
}

PathMapper::PathMapper(Users& users, const Settings& settings)
    : users_(users), settings_(settings) {}

std::string PathMapper::AnonymousVirtualDirectories() const {
  if (!settings_.Get(&SettingsData::allowanonymous))
    return {};
  return settings_.Get(&SettingsData::anonymous_virtual);
}

std::optional<MappedPath> PathMapper::MapPath(const Credentials& who, std::string_view home,
                                              std::string_view current_directory,
                                              std::string_view ftp_path) const {
  std::string list;
  if (users_.Authenticate(who.key, who.user, who.pass))
    list = users_.GetVirtualDirectories(who.user);
  if (list.empty())
    list = AnonymousVirtualDirectories();
  return MapFtpPath(home, current_directory, ftp_path, list);
}

std::vector<std::string> PathMapper::ListedAliases(const Credentials& who) const {
  const bool member = users_.Authenticate(who.key, who.user, who.pass);
  const std::string list =
      member ? users_.GetVirtualDirectories(who.user) : AnonymousVirtualDirectories();
  std::vector<std::string> aliases;
  for (const auto& entry : ParseVirtualDirectories(list)) {
    if (entry.alias.size() == 1)
      aliases.push_back(entry.alias.front());
  }
  return aliases;
}

}  // namespace vantrel
