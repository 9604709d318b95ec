#pragma once

// A listing source together with the descriptor-budget grant for the directory it holds
// open, so that whatever keeps the listing (a command, a transfer's writer) gives the
// place back when the directory closes, and never before.

#include <cstdint>
#include <memory>
#include <utility>

#include "ftp/listing_source.h"
#include "net/connection_budget.h"

namespace vantrel {

// Used by the one thread that lists.
class GrantedListing final : public ListingSource {
 public:
  GrantedListing(DescriptorGrant grant, std::unique_ptr<ListingSource> source)
      : grant_(std::move(grant)), source_(std::move(source)) {}

  bool Next(FtpListItem& item) override { return source_->Next(item); }
  std::int64_t BlockTotal() override { return source_->BlockTotal(); }
  bool NamedByPath() const override { return source_->NamedByPath(); }

 private:
  DescriptorGrant grant_;                  // declared first: given back after the source closes
  std::unique_ptr<ListingSource> source_;  // never null
};

}  // namespace vantrel
