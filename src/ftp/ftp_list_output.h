#pragma once

// A directory listing as the host fills it and the text the client receives: the Unix
// long layout of ls, the name layout of NLST and the fact lines of MLSD and MLST.
//
// The host only adds entries; sorting, hiding, the defaults of empty columns and the
// layouts are the engine's, so every host answers alike. Output is built in one string
// with appends sized up front, and sorting works on indices, so a listing of ten
// thousand entries costs a few milliseconds rather than a copy per line.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "ftp/mlst_facts.h"

namespace vantrel {

class FTPListOutput;

enum class FtpListItemType { kFile, kDirectory, kSymbolicLink, kSymbolicLinkDir };

// One directory entry. The host sets what it knows; empty and zero fields fall back to
// the defaults written beside them.
struct FTPListItem {
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
  std::shared_ptr<FTPListOutput> sub_listing;
};

// Created empty by the engine for one listing request, filled by the host's
// OnListDirectory in the session's thread, turned into text, then dropped.
//
// Switches are single letters compared case-sensitively. Clients reach only "l", "a"
// and "T"; the host may add others:
//   layouts of NLST  "1" one name a line, "C" columns down, "x" columns across,
//                    "m" names separated by ", "; "l" (or LIST) the long layout
//   order            names without regard to case with "." and ".." first; "t" and "u"
//                    newest first, "X" by extension, "S" largest first, "r" reversed,
//                    "f" as the host added them
//   entries          all by default ("a" too); "A" leaves out "." and ".."
//   long layout      "i" inode, "s" blocks, "g" no owner, "o" no group, "T" full time
//   names            "Q" in double quotes, "p" "/" after directories, "F" also "*"
//                    after executable files
//   "R"              sub-listings of directories the host filled
class FTPListOutput {
 public:
  // The new entry; the reference stays valid as long as the listing.
  FTPListItem& Add();
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  FTPListItem& operator[](std::size_t index) { return items_[index]; }
  const FTPListItem& operator[](std::size_t index) const { return items_[index]; }

  const std::string& Switches() const { return switches_; }
  void SetSwitches(std::string switches) { switches_ = std::move(switches); }
  bool HasSwitch(char letter) const { return switches_.find(letter) != std::string::npos; }

  // Every layout ends each line with CR LF. `now` decides which dates are recent.
  // LIST and STAT: "total n", then one line per entry.
  std::string LongListing(DateTime now) const;
  // NLST: the long layout with "l", else names.
  std::string NameListing(DateTime now) const;
  // MLSD: one fact line per entry.
  std::string MachineListing(MlstFacts facts) const;
  // MLST: the fact lines without line ends.
  std::vector<std::string> MachineLines(MlstFacts facts) const;

 private:
  enum class Layout { kLong, kNames };
  std::vector<const FTPListItem*> Shown(std::string_view switches) const;
  void Render(Layout layout, DateTime now, std::string_view switches,
              const std::string& heading_prefix, std::string& out) const;

  std::deque<FTPListItem> items_;
  std::string switches_;
};

// One MLSD/MLST line of `item` without its line end.
std::string MachineLine(const FTPListItem& item, MlstFacts facts);

}  // namespace vantrel
