#pragma once

// A directory listing held whole in memory, and the text of it in every layout: the Unix
// long layout of ls, the name layouts of NLST and the fact lines of MLSD and MLST.
//
// The host only adds entries; sorting, hiding, the defaults of empty columns and the
// layouts are the engine's, so every host answers alike. Output is built in one string
// with appends sized up front, and sorting works on pointers, so a listing of ten
// thousand entries costs a few milliseconds rather than a copy per line. As a
// ListingSource it hands the engine its entries in its order; a host that must list
// directories of any size hands the engine a source that finds its entries as they are
// asked for instead.

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "ftp/ftp_list_item.h"
#include "ftp/listing_source.h"
#include "ftp/mlst_facts.h"

namespace vantrel {

// Filled by a host in one thread, then used by one thread at a time.
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
// As a source the order and entry switches apply; the engine lays the entries out with
// the client's switches.
class FtpListOutput : public ListingSource {
 public:
  // The new entry; the reference stays valid as long as the listing.
  FtpListItem& Add();
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  FtpListItem& operator[](std::size_t index) { return items_[index]; }
  const FtpListItem& operator[](std::size_t index) const { return items_[index]; }

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

  // ListingSource: the entries in the order of the switches, from the first call on;
  // adding entries after that is not seen.
  bool Next(FtpListItem& item) override;
  std::int64_t BlockTotal() override;
  bool NamedByPath() const override { return named_by_path_; }
  void SetNamedByPath(bool named) { named_by_path_ = named; }

 private:
  enum class Layout { kLong, kNames };
  std::vector<const FtpListItem*> Shown(std::string_view switches) const;
  void Render(Layout layout, DateTime now, std::string_view switches,
              const std::string& heading_prefix, std::string& out) const;

  std::deque<FtpListItem> items_;
  std::string switches_;
  bool named_by_path_ = false;
  // The order handed out as a source, fixed at the first call, and how far it has gone.
  std::optional<std::vector<const FtpListItem*>> handed_;
  std::size_t next_ = 0;
};

}  // namespace vantrel
