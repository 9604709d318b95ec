#pragma once

// One directory entry as a host describes it to the engine, for every listing layout.

#include <cstdint>
#include <memory>
#include <string>

#include "common/date_time.h"

namespace vantrel {

class FtpListOutput;

enum class FtpListItemType { kFile, kDirectory, kSymbolicLink, kSymbolicLinkDir };

// The host sets what it knows; empty and zero fields fall back to the defaults written
// beside them.
struct FtpListItem {
  std::string file_name;       // as shown, without a path
  std::int64_t size = 0;       // the long layout shows 512 for directories whatever is set
  DateTime modified_date = 0;  // local time
  FtpListItemType item_type = FtpListItemType::kFile;
  int link_count = 0;      // shown as 1 when 0
  std::string owner_name;  // "root" when empty
  std::string group_name;  // the owner when empty
  // Three letters each ("rwx", "r-x"). Empty: "rwx" "rwx" "r-x" for directories and
  // links to directories, "rw-" "rw-" "r--" for everything else.
  std::string owner_permissions;
  std::string group_permissions;
  std::string other_permissions;
  std::string link_target;       // shown after " -> " for both kinds of link
  std::int64_t block_count = 0;  // "s" switch and the total line
  std::int64_t inode = 0;        // "i" switch

  // Machine-listing extras, written only for the facts a session selected.
  std::string mlst_permissions;  // "perm" fact, RFC 3659 letters such as "adfrw"
  std::string unique_id;
  DateTime creation_date = 0;  // local time
  // Universal-time dates; a date set here is written as it stands instead of the
  // local one converted.
  DateTime modified_date_gmt = 0;
  DateTime creation_date_gmt = 0;
  DateTime last_access_date_gmt = 0;
  std::uint32_t win32_attributes = 0;

  // With the "R" switch the entries of this directory follow the listing, under a
  // heading naming it. Only a host can ask for that; clients cannot.
  std::shared_ptr<FtpListOutput> sub_listing;
};

}  // namespace vantrel
