#include "ftp/ftp_list_output.h"

#include <algorithm>

#include "common/text.h"
#include "ftp/listing_lines.h"
#include "ftp/listing_order.h"

namespace vantrel {
namespace {

// Width the column layouts fill, as ls assumes for a terminal it cannot measure.
constexpr std::size_t kLineWidth = 80;

bool Has(std::string_view switches, char letter) {
  return switches.find(letter) != std::string_view::npos;
}

bool IsDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

std::int64_t TotalBlocks(const std::vector<const FtpListItem*>& items) {
  std::int64_t total = 0;
  for (const auto* item : items)
    total += item->block_count;
  return total;
}

// Names laid out in columns that fill kLineWidth, down the columns or across the rows.
void AppendColumns(std::string& out, const std::vector<std::string>& names, bool across) {
  std::size_t widest = 0;
  for (const auto& name : names)
    widest = std::max(widest, name.size());
  const std::size_t column_width = widest + 2;
  const std::size_t columns = std::max<std::size_t>(1, kLineWidth / column_width);
  const std::size_t rows = (names.size() + columns - 1) / columns;
  for (std::size_t row = 0; row < rows; ++row) {
    std::string line;
    for (std::size_t column = 0; column < columns; ++column) {
      const std::size_t index = across ? row * columns + column : column * rows + row;
      if (index >= names.size())
        continue;
      AppendPadded(line, names[index], column_width, true);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out.append(line).append("\r\n");
  }
}

void AppendCommaSeparated(std::string& out, const std::vector<std::string>& names) {
  std::string line;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string item = names[i] + (i + 1 < names.size() ? "," : "");
    if (!line.empty() && line.size() + 1 + item.size() > kLineWidth) {
      out.append(line).append("\r\n");
      line.clear();
    }
    if (!line.empty())
      line.push_back(' ');
    line.append(item);
  }
  if (!line.empty())
    out.append(line).append("\r\n");
}

}  // namespace

FtpListItem& FtpListOutput::Add() {
  return items_.emplace_back();
}

std::vector<const FtpListItem*> FtpListOutput::Shown(std::string_view switches) const {
  std::vector<const FtpListItem*> shown;
  shown.reserve(items_.size());
  const bool hide_dots = Has(switches, 'A');
  for (const auto& item : items_) {
    if (!(hide_dots && IsDotEntry(item.file_name)))
      shown.push_back(&item);
  }
  if (Has(switches, 'f'))
    return shown;
  // Stable throughout, so equal keys keep the order before.
  auto by = [&shown](auto less) { std::stable_sort(shown.begin(), shown.end(), less); };
  by([](const FtpListItem* a, const FtpListItem* b) {
    return ListingNameLess(a->file_name, b->file_name);
  });
  if (Has(switches, 't') || Has(switches, 'u')) {
    by([](const FtpListItem* a, const FtpListItem* b) {
      return a->modified_date > b->modified_date;
    });
  } else if (Has(switches, 'S')) {
    by([](const FtpListItem* a, const FtpListItem* b) { return a->size > b->size; });
  } else if (Has(switches, 'X')) {
    by([](const FtpListItem* a, const FtpListItem* b) {
      return FileExtension(a->file_name) < FileExtension(b->file_name);
    });
  }
  if (Has(switches, 'r'))
    std::reverse(shown.begin(), shown.end());
  return shown;
}

void FtpListOutput::Render(Layout layout, DateTime now, std::string_view switches,
                           const std::string& heading_prefix, std::string& out) const {
  const std::vector<const FtpListItem*> shown = Shown(switches);
  const ListingFlags flags(switches);
  if (layout == Layout::kLong) {
    out.reserve(out.size() + 16 + shown.size() * 72);
    AppendTotalLine(out, TotalBlocks(shown));
    const DateTime recent_since = RecentSince(now);
    for (const auto* item : shown)
      AppendLongLine(out, *item, flags, recent_since);
  } else {
    std::vector<std::string> names;
    names.reserve(shown.size());
    for (const auto* item : shown) {
      std::string name;
      AppendName(name, *item, flags);
      names.push_back(std::move(name));
    }
    if (Has(switches, 'C') || Has(switches, 'x')) {
      AppendColumns(out, names, !Has(switches, 'C'));
    } else if (Has(switches, 'm')) {
      AppendCommaSeparated(out, names);
    } else {
      for (const auto& name : names)
        out.append(name).append("\r\n");
    }
  }
  if (!Has(switches, 'R'))
    return;
  for (const auto* item : shown) {
    if (!item->sub_listing || !IsDirectoryLike(item->item_type) || IsDotEntry(item->file_name))
      continue;
    const std::string heading = heading_prefix + item->file_name;
    out.append("\r\n");
    AppendSafe(out, heading);
    out.append(":\r\n");
    // The sub-listing is laid out with the switches of the listing that was asked for.
    item->sub_listing->Render(layout, now, switches, heading + "/", out);
  }
}

std::string FtpListOutput::LongListing(DateTime now) const {
  std::string out;
  Render(Layout::kLong, now, switches_, "", out);
  return out;
}

std::string FtpListOutput::NameListing(DateTime now) const {
  std::string out;
  Render(HasSwitch('l') ? Layout::kLong : Layout::kNames, now, switches_, "", out);
  return out;
}

std::string FtpListOutput::MachineListing(MlstFacts facts) const {
  std::string out;
  for (const auto* item : Shown(switches_)) {
    AppendMachineLine(out, *item, facts);
    out.append("\r\n");
  }
  return out;
}

std::vector<std::string> FtpListOutput::MachineLines(MlstFacts facts) const {
  std::vector<std::string> lines;
  for (const auto* item : Shown(switches_))
    lines.push_back(MachineLine(*item, facts));
  return lines;
}

bool FtpListOutput::Next(FtpListItem& item) {
  if (!handed_)
    handed_ = Shown(switches_);
  if (next_ >= handed_->size())
    return false;
  item = *(*handed_)[next_++];
  return true;
}

std::int64_t FtpListOutput::BlockTotal() {
  if (!handed_)
    handed_ = Shown(switches_);
  return TotalBlocks(*handed_);
}

}  // namespace vantrel
