#include "ftp/ftp_list_output.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "common/text.h"
#include "ftp/ftp_time.h"

namespace vantrel {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Width the column layouts fill, as ls assumes for a terminal it cannot measure.
constexpr std::size_t kLineWidth = 80;

bool Has(std::string_view switches, char letter) {
  return switches.find(letter) != std::string_view::npos;
}

struct Flags {
  explicit Flags(std::string_view s)
      : inode(Has(s, 'i')),
        blocks(Has(s, 's')),
        no_owner(Has(s, 'g')),
        no_group(Has(s, 'o')),
        full_time(Has(s, 'T')),
        quote(Has(s, 'Q')),
        classify(Has(s, 'F')),
        slash(Has(s, 'p') || Has(s, 'F')) {}

  bool inode, blocks, no_owner, no_group, full_time, quote, classify, slash;
};

bool IsDirectoryLike(FtpListItemType type) {
  return type == FtpListItemType::kDirectory || type == FtpListItemType::kSymbolicLinkDir;
}

bool IsLink(FtpListItemType type) {
  return type == FtpListItemType::kSymbolicLink || type == FtpListItemType::kSymbolicLinkDir;
}

struct Permissions {
  std::string_view owner, group, other;
};

Permissions EffectivePermissions(const FTPListItem& item) {
  const bool directory = IsDirectoryLike(item.item_type);
  auto pick = [](const std::string& set, std::string_view fallback) {
    return set.empty() ? fallback : std::string_view(set);
  };
  return {pick(item.owner_permissions, directory ? "rwx" : "rw-"),
          pick(item.group_permissions, directory ? "rwx" : "rw-"),
          pick(item.other_permissions, directory ? "r-x" : "r--")};
}

void AppendPadded(std::string& out, std::string_view text, std::size_t width, bool left) {
  const std::size_t fill = text.size() < width ? width - text.size() : 0;
  if (!left)
    out.append(fill, ' ');
  out.append(text);
  if (left)
    out.append(fill, ' ');
}

void AppendNumber(std::string& out, std::int64_t value, std::size_t width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  AppendPadded(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), width, false);
}

void AppendTwoDigits(std::string& out, int value) {
  out.push_back(static_cast<char>('0' + value / 10 % 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

// A name as it may appear on a line: a line break inside it would end the line early
// and, on the control connection, let a file name forge reply lines.
void AppendSafe(std::string& out, std::string_view text) {
  for (char c : text)
    out.push_back(c == '\r' || c == '\n' || c == '\0' ? '?' : c);
}

void AppendName(std::string& out, const FTPListItem& item, const Flags& flags) {
  if (flags.quote)
    out.push_back('"');
  AppendSafe(out, item.file_name);
  if (flags.quote)
    out.push_back('"');
  if (IsLink(item.item_type)) {
    out.append(" -> ");
    if (flags.quote)
      out.push_back('"');
    AppendSafe(out, item.link_target);
    if (flags.quote)
      out.push_back('"');
  }
  if (flags.slash && IsDirectoryLike(item.item_type)) {
    out.push_back('/');
  } else if (flags.classify && item.item_type == FtpListItemType::kFile) {
    const Permissions p = EffectivePermissions(item);
    for (std::string_view set : {p.owner, p.group, p.other}) {
      if (set.find('x') != std::string_view::npos) {
        out.push_back('*');
        break;
      }
    }
  }
}

// The first moment that still counts as recent: six calendar months back from today,
// on today's day of the month (the last day when that month is shorter).
DateTime RecentSince(DateTime now) {
  const CivilTime today = DecodeDateTime(now);
  const int months = today.year * 12 + (today.month - 1) - 6;
  CivilTime since;
  since.year = months / 12;
  since.month = months % 12 + 1;
  const auto last_day = std::chrono::year_month_day_last{
      std::chrono::year{since.year} /
      std::chrono::month_day_last{std::chrono::month{static_cast<unsigned>(since.month)}}};
  since.day = std::min(today.day, static_cast<int>(static_cast<unsigned>(last_day.day())));
  return EncodeDateTime(since);
}

void AppendDate(std::string& out, DateTime date, bool full_time, DateTime recent_since) {
  const CivilTime c = DecodeDateTime(date);
  out.append(kMonths[std::clamp(c.month, 1, 12) - 1]);
  out.push_back(' ');
  AppendTwoDigits(out, c.day);
  if (full_time) {
    out.push_back(' ');
    AppendTwoDigits(out, c.hour);
    out.push_back(':');
    AppendTwoDigits(out, c.minute);
    out.push_back(':');
    AppendTwoDigits(out, c.second);
    out.push_back(' ');
    AppendNumber(out, c.year, 4);
  } else if (date >= recent_since) {
    out.push_back(' ');
    AppendTwoDigits(out, c.hour);
    out.push_back(':');
    AppendTwoDigits(out, c.minute);
  } else {
    out.append("  ");
    AppendNumber(out, c.year, 4);
  }
}

void AppendLongLine(std::string& out, const FTPListItem& item, const Flags& flags,
                    DateTime recent_since) {
  if (flags.inode) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, item.inode).ptr;
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(end - digits), 10);
    AppendPadded(out, std::string_view(digits, length), 10, false);
    out.push_back(' ');
  }
  if (flags.blocks) {
    AppendNumber(out, item.block_count, 4);
    out.push_back(' ');
  }
  out.push_back(item.item_type == FtpListItemType::kDirectory ? 'd'
                : IsLink(item.item_type)                      ? 'l'
                                                              : '-');
  const Permissions p = EffectivePermissions(item);
  AppendPadded(out, p.owner, 3, false);
  AppendPadded(out, p.group, 3, false);
  AppendPadded(out, p.other, 3, false);
  out.push_back(' ');
  AppendNumber(out, item.link_count == 0 ? 1 : item.link_count, 3);
  out.push_back(' ');
  const std::string_view owner =
      item.owner_name.empty() ? std::string_view("root") : std::string_view(item.owner_name);
  if (!flags.no_owner) {
    AppendPadded(out, owner, 8, true);
    out.push_back(' ');
  }
  if (!flags.no_group) {
    AppendPadded(out, item.group_name.empty() ? owner : item.group_name, 8, true);
    out.push_back(' ');
  }
  AppendNumber(out, item.item_type == FtpListItemType::kDirectory ? 512 : item.size, 8);
  out.push_back(' ');
  AppendDate(out, item.modified_date, flags.full_time, recent_since);
  out.push_back(' ');
  AppendName(out, item, flags);
  out.append("\r\n");
}

bool IsDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

// The name order: "." and ".." first, then names without regard to case, names that
// differ only in case in one fixed order. Keys are folded once, not in every comparison.
void SortByName(std::vector<const FTPListItem*>& items) {
  struct Key {
    int rank;
    std::string folded;
    const FTPListItem* item;
  };
  std::vector<Key> keys;
  keys.reserve(items.size());
  for (const auto* item : items) {
    const std::string& name = item->file_name;
    keys.push_back({name == "." ? 0 : name == ".." ? 1 : 2, ToLowerAscii(name), item});
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.rank != b.rank)
      return a.rank < b.rank;
    if (const int order = a.folded.compare(b.folded); order != 0)
      return order < 0;
    return a.item->file_name < b.item->file_name;
  });
  for (std::size_t i = 0; i < keys.size(); ++i)
    items[i] = keys[i].item;
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

void AppendFact(std::string& out, const char* name, std::string_view value) {
  out.append(name).append("=").append(value).append(";");
}

// A date fact: the universal-time date as it stands, else the local one converted.
void AppendDateFact(std::string& out, const char* name, DateTime gmt, DateTime local) {
  if (gmt > 0) {
    AppendFact(out, name, FormatTimestamp(gmt));
  } else if (local > 0) {
    AppendFact(out, name, FormatUtcTimestamp(local));
  }
}

char OctalDigit(std::string_view set) {
  int value = 0;
  if (set.size() > 0 && set[0] == 'r')
    value += 4;
  if (set.size() > 1 && set[1] == 'w')
    value += 2;
  if (set.size() > 2 && set[2] != '-')
    value += 1;  // "x", "s" and "t" all mean executable
  return static_cast<char>('0' + value);
}

std::string TypeFact(const FTPListItem& item) {
  switch (item.item_type) {
    case FtpListItemType::kFile:
      return "file";
    case FtpListItemType::kDirectory:
      return item.file_name == ".." ? "pdir" : item.file_name == "." ? "cdir" : "dir";
    case FtpListItemType::kSymbolicLink:
    case FtpListItemType::kSymbolicLinkDir:
      // The target is what a client can use; the entry's own name is the fallback.
      return "OS.unix=slink:" + (item.link_target.empty() ? item.file_name : item.link_target);
  }
  return "file";
}

}  // namespace

FTPListItem& FTPListOutput::Add() {
  return items_.emplace_back();
}

std::vector<const FTPListItem*> FTPListOutput::Shown(std::string_view switches) const {
  std::vector<const FTPListItem*> shown;
  shown.reserve(items_.size());
  const bool hide_dots = Has(switches, 'A');
  for (const auto& item : items_) {
    if (!(hide_dots && IsDotEntry(item.file_name)))
      shown.push_back(&item);
  }
  if (Has(switches, 'f'))
    return shown;
  SortByName(shown);
  // Stable, so equal keys keep the name order.
  auto by = [&shown](auto less) { std::stable_sort(shown.begin(), shown.end(), less); };
  if (Has(switches, 't') || Has(switches, 'u')) {
    by([](const FTPListItem* a, const FTPListItem* b) {
      return a->modified_date > b->modified_date;
    });
  } else if (Has(switches, 'S')) {
    by([](const FTPListItem* a, const FTPListItem* b) { return a->size > b->size; });
  } else if (Has(switches, 'X')) {
    by([](const FTPListItem* a, const FTPListItem* b) {
      return FileExtension(a->file_name) < FileExtension(b->file_name);
    });
  }
  if (Has(switches, 'r'))
    std::reverse(shown.begin(), shown.end());
  return shown;
}

void FTPListOutput::Render(Layout layout, DateTime now, std::string_view switches,
                           const std::string& heading_prefix, std::string& out) const {
  const std::vector<const FTPListItem*> shown = Shown(switches);
  const Flags flags(switches);
  if (layout == Layout::kLong) {
    std::int64_t total = 0;
    for (const auto* item : shown)
      total += item->block_count;
    out.reserve(out.size() + 16 + shown.size() * 72);
    out.append("total ");
    AppendNumber(out, total, 0);
    out.append("\r\n");
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

std::string FTPListOutput::LongListing(DateTime now) const {
  std::string out;
  Render(Layout::kLong, now, switches_, "", out);
  return out;
}

std::string FTPListOutput::NameListing(DateTime now) const {
  std::string out;
  Render(HasSwitch('l') ? Layout::kLong : Layout::kNames, now, switches_, "", out);
  return out;
}

std::string FTPListOutput::MachineListing(MlstFacts facts) const {
  std::string out;
  for (const auto* item : Shown(switches_))
    out.append(MachineLine(*item, facts)).append("\r\n");
  return out;
}

std::vector<std::string> FTPListOutput::MachineLines(MlstFacts facts) const {
  std::vector<std::string> lines;
  for (const auto* item : Shown(switches_))
    lines.push_back(MachineLine(*item, facts));
  return lines;
}

std::string MachineLine(const FTPListItem& item, MlstFacts facts) {
  std::string line;
  // "type" leads: RFC 3659 leaves the order free, but a widely used mirroring client
  // reads a line that starts with "size" as no entry at all and silently copies nothing.
  if (facts.Has(MlstFact::kType))
    AppendFact(line, "type", TypeFact(item));
  if (facts.Has(MlstFact::kSize))
    AppendFact(line, "size", std::to_string(item.size));
  if (facts.Has(MlstFact::kPerm))
    AppendFact(line, "perm", item.mlst_permissions);
  if (facts.Has(MlstFact::kCreate))
    AppendDateFact(line, "create", item.creation_date_gmt, item.creation_date);
  if (facts.Has(MlstFact::kModify))
    AppendDateFact(line, "modify", item.modified_date_gmt, item.modified_date);
  if (facts.Has(MlstFact::kUnixMode)) {
    const Permissions p = EffectivePermissions(item);
    const char mode[] = {'0', OctalDigit(p.owner), OctalDigit(p.group), OctalDigit(p.other)};
    AppendFact(line, "UNIX.mode", std::string_view(mode, sizeof mode));
  }
  const std::string_view owner =
      item.owner_name.empty() ? std::string_view("root") : std::string_view(item.owner_name);
  if (facts.Has(MlstFact::kUnixOwner))
    AppendFact(line, "UNIX.owner", owner);
  if (facts.Has(MlstFact::kUnixGroup))
    AppendFact(line, "UNIX.group", item.group_name.empty() ? owner : item.group_name);
  if (facts.Has(MlstFact::kUnique))
    AppendFact(line, "unique", item.unique_id);
  if (facts.Has(MlstFact::kWindowsLastAccessTime))
    AppendDateFact(line, "windows.lastaccesstime", item.last_access_date_gmt, 0);
  if (facts.Has(MlstFact::kWin32Ea)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(item.win32_attributes));
    AppendFact(line, "win32.ea", hex);
  }
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '\0')
      c = '?';
  }
  line.push_back(' ');
  AppendSafe(line, item.file_name);
  return line;
}

}  // namespace vantrel
