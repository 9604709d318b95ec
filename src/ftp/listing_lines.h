#pragma once

// The lines of the listing layouts, entry by entry: the Unix long layout of ls, the names
// of NLST and the fact lines of MLSD and MLST. Shared by the listings laid out whole
// (FtpListOutput) and those laid out as the client reads them (ListingWriter), so both
// write the same bytes. Lines are appended to the caller's string, which keeps its
// capacity from one line to the next.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/date_time.h"
#include "ftp/ftp_list_item.h"
#include "ftp/mlst_facts.h"

namespace vantrel {

// The decorations a listing's switch letters ask for (see FtpListOutput).
struct ListingFlags {
  explicit ListingFlags(std::string_view switches);

  bool inode, blocks, no_owner, no_group, full_time, quote, classify, slash;
};

bool IsDirectoryLike(FtpListItemType type);

// The first moment that still counts as recent for the long layout, which shows the time
// of day from then on and the year before: six calendar months back from `now`.
DateTime RecentSince(DateTime now);

// "total n" and its line end.
void AppendTotalLine(std::string& out, std::int64_t total);
// One line of the long layout, with its line end.
void AppendLongLine(std::string& out, const FtpListItem& item, const ListingFlags& flags,
                    DateTime recent_since);
// The name as the layouts show it (quotes, link target, "/" or "*"), without a line end.
void AppendName(std::string& out, const FtpListItem& item, const ListingFlags& flags);
// One MLSD/MLST line without its line end.
void AppendMachineLine(std::string& out, const FtpListItem& item, MlstFacts facts);
std::string MachineLine(const FtpListItem& item, MlstFacts facts);

// `text` as it may appear on a line: a line break inside a name would end the line early
// and, on the control connection, let a file name forge reply lines.
void AppendSafe(std::string& out, std::string_view text);
void AppendPadded(std::string& out, std::string_view text, std::size_t width, bool left);

}  // namespace vantrel
