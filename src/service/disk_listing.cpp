#include "service/disk_listing.h"

#include <algorithm>

#include "common/wildcard.h"

namespace vantrel {
namespace {

void DescribeFacts(FtpListItem& item, const platform::PathFacts& facts) {
  item.size = facts.is_directory ? 0 : facts.size;
  item.modified_date = ToDateTime(facts.modified);
  item.item_type = facts.is_directory ? FtpListItemType::kDirectory : FtpListItemType::kFile;
}

}  // namespace

void DescribeEntry(FtpListItem& item, std::string_view name, const platform::PathFacts& facts) {
  item.file_name.assign(name);
  DescribeFacts(item, facts);
}

DiskListing::DiskListing(std::unique_ptr<platform::DirectoryReader> directory, std::string pattern)
    : directory_(std::move(directory)), pattern_(std::move(pattern)) {}

void DiskListing::AddLeading(std::string_view name, const platform::PathFacts& facts) {
  DescribeEntry(leading_.emplace_back(), name, facts);
}

void DiskListing::AddAliases(const std::vector<std::string>& aliases, DateTime now) {
  for (const auto& alias : aliases) {
    if (pattern_.empty() || MatchesWildcard(pattern_, alias))
      aliases_.push_back(alias);
  }
  std::stable_sort(aliases_.begin(), aliases_.end(), ListingNameLess);
  alias_date_ = now;
}

bool DiskListing::Next(FtpListItem& item) {
  if (next_leading_ < leading_.size()) {
    item = leading_[next_leading_++];
    return true;
  }
  for (;;) {
    const std::optional<std::string_view> name = PeekDiskName();
    const bool alias_left = next_alias_ < aliases_.size();
    if (!name && !alias_left)
      return false;
    // On equal names the disk entry first, as it was added first.
    if (alias_left && (!name || ListingNameLess(aliases_[next_alias_], *name))) {
      item.file_name = aliases_[next_alias_++];
      item.size = 0;
      item.modified_date = alias_date_;
      item.item_type = FtpListItemType::kDirectory;
      return true;
    }
    ++next_name_;
    item.file_name.assign(*name);
    // An entry removed since its name was read is passed over.
    if (const auto facts = directory_->Facts(item.file_name)) {
      DescribeFacts(item, *facts);
      return true;
    }
  }
}

std::optional<std::string_view> DiskListing::PeekDiskName() {
  while (next_name_ >= batch_size_) {
    if (!batches_.MoreToCome())
      return std::nullopt;
    ReadPass();
  }
  return batches_.Name(next_name_);
}

void DiskListing::ReadPass() {
  if (read_once_)
    directory_->Rewind();
  read_once_ = true;
  batches_.BeginPass();
  while (const auto name = directory_->NextName()) {
    if (!name->starts_with('.') && (pattern_.empty() || MatchesWildcard(pattern_, *name)))
      batches_.Offer(*name);
  }
  batch_size_ = batches_.EndPass();
  next_name_ = 0;
}

}  // namespace vantrel
