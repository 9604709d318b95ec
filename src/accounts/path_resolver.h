#pragma once

// The one road from a client's path to the disk: the client's argument is normalised once
// against the session's current directory (see ftp_path.h) and mapped once onto the home
// or the virtual directory whose alias matched, so the result always lies inside one of
// them. Symbolic links the operator put there are followed like any directory: only the
// client's text is confined, not the operator's tree.
//
// Aliases match whole leading segments of the normalised path. Searching the alias in the
// joined disk path was rejected: "music" then also caught "/musicvideo" and any home
// directory whose own disk path contained the word.

#include <optional>
#include <string>
#include <string_view>

#include "accounts/ftp_path.h"

namespace vantrel {

struct SessionRecord;

struct ResolvedPath {
  FtpPath ftp;              // normalised, as the client names it
  std::string disk_path;    // "/" separated; ends in "/" when the client's path did
  bool is_virtual = false;  // a virtual directory supplied the directory

  // The FTP path without a trailing "/" (but for the root): what a directory becomes
  // when it is made current, and what replies name.
  std::string FtpText() const;
};

// `argument` as written by the client (empty: the current directory) against
// `current_directory`, mapped with the record's home and virtual directories, the first
// alias in list order winning. Nothing when the record has no home, when the matching
// virtual directory has none, or when the path holds a NUL character: there is no place on
// disk the client may reach then, and callers refuse the operation.
std::optional<ResolvedPath> ResolvePath(const SessionRecord& record,
                                        std::string_view current_directory,
                                        std::string_view argument);

}  // namespace vantrel
