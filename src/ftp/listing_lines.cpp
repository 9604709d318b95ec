#include "ftp/listing_lines.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "ftp/ftp_time.h"

namespace vantrel {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool Has(std::string_view switches, char letter) {
  return switches.find(letter) != std::string_view::npos;
}

bool IsLink(FtpListItemType type) {
  return type == FtpListItemType::kSymbolicLink || type == FtpListItemType::kSymbolicLinkDir;
}

struct Permissions {
  std::string_view owner, group, other;
};

Permissions EffectivePermissions(const FtpListItem& item) {
  const bool directory = IsDirectoryLike(item.item_type);
  auto pick = [](const std::string& set, std::string_view fallback) {
    return set.empty() ? fallback : std::string_view(set);
  };
  return {pick(item.owner_permissions, directory ? "rwx" : "rw-"),
          pick(item.group_permissions, directory ? "rwx" : "rw-"),
          pick(item.other_permissions, directory ? "r-x" : "r--")};
}

std::string_view OwnerOf(const FtpListItem& item) {
  return item.owner_name.empty() ? std::string_view("root") : std::string_view(item.owner_name);
}

std::string_view GroupOf(const FtpListItem& item) {
  return item.group_name.empty() ? OwnerOf(item) : std::string_view(item.group_name);
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

void AppendTypeFact(std::string& out, const FtpListItem& item) {
  out.append("type=");
  switch (item.item_type) {
    case FtpListItemType::kFile:
      out.append("file");
      break;
    case FtpListItemType::kDirectory:
      out.append(item.file_name == ".." ? "pdir" : item.file_name == "." ? "cdir" : "dir");
      break;
    case FtpListItemType::kSymbolicLink:
    case FtpListItemType::kSymbolicLinkDir:
      // The target is what a client can use; the entry's own name is the fallback.
      out.append("OS.unix=slink:");
      out.append(item.link_target.empty() ? item.file_name : item.link_target);
      break;
  }
  out.push_back(';');
}

}  // namespace

ListingFlags::ListingFlags(std::string_view s)
    : inode(Has(s, 'i')),
      blocks(Has(s, 's')),
      no_owner(Has(s, 'g')),
      no_group(Has(s, 'o')),
      full_time(Has(s, 'T')),
      quote(Has(s, 'Q')),
      classify(Has(s, 'F')),
      slash(Has(s, 'p') || Has(s, 'F')) {}

bool IsDirectoryLike(FtpListItemType type) {
  return type == FtpListItemType::kDirectory || type == FtpListItemType::kSymbolicLinkDir;
}

void AppendPadded(std::string& out, std::string_view text, std::size_t width, bool left) {
  const std::size_t fill = text.size() < width ? width - text.size() : 0;
  if (!left)
    out.append(fill, ' ');
  out.append(text);
  if (left)
    out.append(fill, ' ');
}

void AppendSafe(std::string& out, std::string_view text) {
  for (char c : text)
    out.push_back(c == '\r' || c == '\n' || c == '\0' ? '?' : c);
}

void AppendName(std::string& out, const FtpListItem& item, const ListingFlags& flags) {
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

// On today's day of the month, or the last day when that month is shorter.
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

void AppendTotalLine(std::string& out, std::int64_t total) {
  out.append("total ");
  AppendNumber(out, total, 0);
  out.append("\r\n");
}

void AppendLongLine(std::string& out, const FtpListItem& item, const ListingFlags& flags,
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
  if (!flags.no_owner) {
    AppendPadded(out, OwnerOf(item), 8, true);
    out.push_back(' ');
  }
  if (!flags.no_group) {
    AppendPadded(out, GroupOf(item), 8, true);
    out.push_back(' ');
  }
  AppendNumber(out, item.item_type == FtpListItemType::kDirectory ? 512 : item.size, 8);
  out.push_back(' ');
  AppendDate(out, item.modified_date, flags.full_time, recent_since);
  out.push_back(' ');
  AppendName(out, item, flags);
  out.append("\r\n");
}

void AppendMachineLine(std::string& out, const FtpListItem& item, MlstFacts facts) {
  const std::size_t start = out.size();
  // "type" leads: RFC 3659 leaves the order free, but a widely used mirroring client
  // reads a line that starts with "size" as no entry at all and silently copies nothing.
  if (facts.Has(MlstFact::kType))
    AppendTypeFact(out, item);
  if (facts.Has(MlstFact::kSize)) {
    out.append("size=");
    AppendNumber(out, item.size, 0);
    out.push_back(';');
  }
  if (facts.Has(MlstFact::kPerm))
    AppendFact(out, "perm", item.mlst_permissions);
  if (facts.Has(MlstFact::kCreate))
    AppendDateFact(out, "create", item.creation_date_gmt, item.creation_date);
  if (facts.Has(MlstFact::kModify))
    AppendDateFact(out, "modify", item.modified_date_gmt, item.modified_date);
  if (facts.Has(MlstFact::kUnixMode)) {
    const Permissions p = EffectivePermissions(item);
    const char mode[] = {'0', OctalDigit(p.owner), OctalDigit(p.group), OctalDigit(p.other)};
    AppendFact(out, "UNIX.mode", std::string_view(mode, sizeof mode));
  }
  if (facts.Has(MlstFact::kUnixOwner))
    AppendFact(out, "UNIX.owner", OwnerOf(item));
  if (facts.Has(MlstFact::kUnixGroup))
    AppendFact(out, "UNIX.group", GroupOf(item));
  if (facts.Has(MlstFact::kUnique))
    AppendFact(out, "unique", item.unique_id);
  if (facts.Has(MlstFact::kWindowsLastAccessTime))
    AppendDateFact(out, "windows.lastaccesstime", item.last_access_date_gmt, 0);
  if (facts.Has(MlstFact::kWin32Ea)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(item.win32_attributes));
    AppendFact(out, "win32.ea", hex);
  }
  for (std::size_t i = start; i < out.size(); ++i) {
    if (out[i] == '\r' || out[i] == '\n' || out[i] == '\0')
      out[i] = '?';
  }
  out.push_back(' ');
  AppendSafe(out, item.file_name);
}

std::string MachineLine(const FtpListItem& item, MlstFacts facts) {
  std::string line;
  AppendMachineLine(line, item, facts);
  return line;
}

}  // namespace vantrel
