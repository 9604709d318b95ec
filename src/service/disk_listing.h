#pragma once

// One disk directory as a listing source: "." and ".." when the listing shows them, the
// names that are not hidden (those not starting with "."), or only those matching a
// pattern, and the aliases of virtual directories merged in, all in listing order. The
// names are ordered a bounded batch at a time (ListingNameBatches) and each entry's facts
// are read only when the engine asks for it, so a listing holds about the same memory for
// ten entries as for a million, however slowly the client reads.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "ftp/listing_order.h"
#include "ftp/listing_source.h"
#include "platform/file_tree.h"

namespace vantrel {

// One entry of a disk listing as the listings show it: name, size, date and kind.
void DescribeEntry(FtpListItem& item, std::string_view name, const platform::PathFacts& facts);

// Made by the listing handler, then owned and used by the session thread of the listing.
class DiskListing final : public ListingSource {
 public:
  // `pattern`: only the names that match it (see wildcard.h), which are then what the
  // listed path named; empty for every name.
  DiskListing(std::unique_ptr<platform::DirectoryReader> directory, std::string pattern);

  // Entries shown before the directory's own ("." and "..").
  void AddLeading(std::string_view name, const platform::PathFacts& facts);
  // Virtual directories, dated `now`, among the directory's entries (those that match the
  // pattern, when there is one). An alias that is also a disk name is listed twice.
  void AddAliases(const std::vector<std::string>& aliases, DateTime now);

  bool Next(FtpListItem& item) override;
  bool NamedByPath() const override { return !pattern_.empty(); }

 private:
  // The next disk name in listing order, after one more pass over the directory when the
  // batch is used up; nothing after the last.
  std::optional<std::string_view> PeekDiskName();
  void ReadPass();

  std::unique_ptr<platform::DirectoryReader> directory_;
  std::string pattern_;
  std::vector<FtpListItem> leading_;
  std::size_t next_leading_ = 0;
  std::vector<std::string> aliases_;  // in listing order
  std::size_t next_alias_ = 0;
  DateTime alias_date_ = 0;
  ListingNameBatches batches_;
  std::size_t batch_size_ = 0;
  std::size_t next_name_ = 0;
  bool read_once_ = false;
};

}  // namespace vantrel
