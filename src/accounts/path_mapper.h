#pragma once

// The one road from a client's FTP path to a disk path. The path is resolved as text first
// (see ftp_path.h), so the result always lies inside the home directory, or inside the
// directory of the virtual directory whose alias matched. Symbolic links the operator put
// there are followed like any directory: only the client's text is confined, not the
// operator's tree.
//
// Aliases match whole leading segments of the resolved FTP path. Searching the alias in
// the joined disk path was rejected: "music" then also caught "/musicvideo" and any home
// directory whose own disk path contained the word.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/credentials.h"

namespace vantrel {

class Settings;
class Users;

struct MappedPath {
  std::string disk_path;    // "/" separated; ends in "/" when the FTP path did
  bool is_virtual = false;  // a virtual directory supplied the directory
};

// Maps with the given packed virtual directory list ("alias=directory;..."); the first
// entry in list order whose alias matches wins. Nothing when the home directory is empty,
// when the matching entry has an empty directory, or when the path holds a NUL character:
// there is no place on disk the client may reach then, and callers refuse the operation.
std::optional<MappedPath> MapFtpPath(std::string_view home, std::string_view current_directory,
                                     std::string_view ftp_path,
                                     std::string_view virtual_directories);

// Owned by the service host; any connection thread may call it. It keeps no state of its
// own, so it needs no lock: the account table and the settings guard theirs.
class PathMapper {
 public:
  PathMapper(Users& users, const Settings& settings);

  // Members map through their own virtual directories; a member without any, and every
  // connection that does not authenticate as a member, through the anonymous ones while
  // anonymous access is on. A client who merely names a member cannot reach that member's
  // virtual directories.
  std::optional<MappedPath> MapPath(const Credentials& who, std::string_view home,
                                    std::string_view current_directory,
                                    std::string_view ftp_path) const;

  // The aliases the root listing shows: a member's own, or the anonymous ones for a
  // connection that is no member. Only single-segment aliases live in the root.
  std::vector<std::string> ListedAliases(const Credentials& who) const;

 private:
  std::string AnonymousVirtualDirectories() const;

  Users& users_;
  const Settings& settings_;
};

}  // namespace vantrel
