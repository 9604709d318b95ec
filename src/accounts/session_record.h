#pragma once

// Who a logged-in FTP client is and what it may do, decided once at login and carried by
// its session: a member's account or the anonymous settings, copied into one record that
// every later command reads. Asking the account table again on every command (with the
// plain-text password, writing the login time each time) was the rejected alternative:
// read-only questions then changed state, and a RETR authenticated four times.
//
// A record never changes. When the account table or the settings move on, the session's
// record is rebuilt from the account by name (see SessionRecords), so an operator's edit
// takes effect at the client's next command, and a deleted or renamed account leaves the
// session without rights.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct VirtualDirectory {
  std::vector<std::string> alias;  // segments; never empty
  std::string directory;           // on disk; empty: nothing there may be reached
};

// The packed "alias=directory;" list of an account or the settings, in list order; items
// without "=" or without an alias are dropped. Aliases that differ only in letter case
// share the directory of the first of them.
std::vector<VirtualDirectory> ParseVirtualDirectories(std::string_view packed);

enum class FileOperation {
  kChangeDirectory,
  kRetrieve,
  kStore,            // store and append
  kSetModifiedTime,  // as kStore: keeping an upload's time is part of uploading it
  kRename,
  kDeleteFile,
  kMakeDirectory,
  kRemoveDirectory,
  // Checksums of byte ranges read a file as surely as a download does (one byte per
  // request, if need be), so they need the download permission.
  kChecksumRange,
};

struct Permissions {
  bool download = false;
  bool upload = false;
  bool rename = false;
  bool change_directory = false;
  bool make_directory = false;
  bool delete_file = false;
  bool remove_directory = false;
};

// A value, shared read-only between the session that holds it and the handlers it calls.
struct SessionRecord {
  enum class Kind {
    kNone,  // no rights: the account went away
    kMember,
    kAnonymous,
  };
  // How an upload's extension is looked for in `blocked_extensions`. A member's list is
  // searched as text, so ".ex" is found inside ".exe;" as the account editor has always
  // matched it; the server's list for anonymous sessions item by item, ignoring case.
  enum class ExtensionMatch { kWithinText, kListItem };

  Kind kind = Kind::kNone;
  std::string name;  // the account's, for a member
  // What an anonymous user gave as password (an e-mail address, by custom), by which the
  // transfer log names such users.
  std::string anonymous_password;
  std::string home;  // on disk; empty: nothing may be reached
  // What paths map through, and what the root listing shows: a member without virtual
  // directories of his own maps through the anonymous ones but lists none.
  std::vector<VirtualDirectory> virtual_directories;
  std::vector<std::string> listed_aliases;
  Permissions permissions;
  std::string blocked_extensions;
  ExtensionMatch extension_match = ExtensionMatch::kWithinText;
  int download_limit = 0;  // bytes per second, 0 = no limit
  int upload_limit = 0;
  // The generations of the account table and the settings it was built from.
  std::uint64_t accounts_generation = 0;
  std::uint64_t settings_generation = 0;

  // `disk_path` is the mapped target of kStore and kSetModifiedTime, whose extension may
  // be blocked; other operations ignore it.
  bool Allows(FileOperation operation, std::string_view disk_path = {}) const;
  bool IsUploadBlocked(std::string_view disk_path) const;
};

}  // namespace vantrel
