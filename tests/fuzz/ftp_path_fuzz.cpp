// A client's path on its way to the disk through the one resolver, from a current
// directory as written and as a CWD there would have made it. Checked on every input: the
// disk path lies inside the home, or inside the directory of a virtual directory when the
// resolver says it took one, or the path is refused; and the FTP path a CWD would store
// resolves to the same place again. "Inside" is judged on the text alone, as the disk
// would read it: the base, then segments none of which is "." or "..".
//
// Input: the current directory, the client's path and the aliases on three lines; the
// aliases are separated by "|" and name, in order, the bases of kVirtualBases.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/path_resolver.h"
#include "accounts/session_record.h"

namespace vantrel {
namespace {

// Written the ways an operator might write them; the empty one must refuse.
constexpr std::array<std::string_view, 4> kVirtualBases = {"/srv/v0", "/srv/v1/", "/srv//v2", ""};
constexpr std::array<std::string_view, 2> kHomes = {"/home/u", "/home/u/"};

std::vector<std::string_view> Split(std::string_view text, char delimiter, std::size_t most) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < most) {
    const auto end = text.find(delimiter);
    if (end == std::string_view::npos)
      break;
    parts.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  parts.push_back(text);
  return parts;
}

std::string Collapsed(std::string_view base) {
  std::string text;
  for (char c : base) {
    if (c != '/' || text.empty() || text.back() != '/')
      text.push_back(c);
  }
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  return text;
}

bool Inside(std::string_view disk, std::string_view base_text) {
  const std::string base = Collapsed(base_text);
  if (disk == base || disk == base + "/")
    return true;
  if (!disk.starts_with(base + "/"))
    return false;
  std::string_view rest = disk.substr(base.size() + 1);
  if (rest.find('\0') != std::string_view::npos || rest.find('\\') != std::string_view::npos)
    return false;
  for (const auto segment : Split(rest, '/', rest.size() + 1)) {
    if (segment == "." || segment == "..")
      return false;
  }
  return true;
}

[[noreturn]] void Fail(const std::string& what, std::string_view current, std::string_view path,
                       const std::string& disk) {
  std::cerr << "property violated: " << what << "\n  current: " << current << "\n  path: " << path
            << "\n  disk: " << disk << std::endl;
  std::abort();
}

void Check(const SessionRecord& record, std::string_view current, std::string_view path) {
  const std::optional<ResolvedPath> resolved = ResolvePath(record, current, path);
  if (!resolved)
    return;
  const std::string& disk = resolved->disk_path;
  const auto again = ResolvePath(record, "/", resolved->ftp.Text());
  if (!again || again->disk_path != disk)
    Fail("the FTP path names another place", current, path, disk);
  if (!resolved->is_virtual) {
    if (!Inside(disk, record.home))
      Fail("outside the home", current, path, disk);
    return;
  }
  for (const auto base : kVirtualBases) {
    if (!base.empty() && Inside(disk, base))
      return;
  }
  Fail("outside every virtual directory", current, path, disk);
}

}  // namespace
}  // namespace vantrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto lines = Split(input, '\n', 3);
  const std::string_view current = lines[0];
  const std::string_view path = lines.size() > 1 ? lines[1] : std::string_view();
  std::string virtual_directories;
  if (lines.size() > 2) {
    const auto aliases = Split(lines[2], '|', kVirtualBases.size());
    for (std::size_t i = 0; i < aliases.size(); ++i) {
      // "=" and ";" are the list's own syntax: no alias can hold them.
      for (char c : aliases[i]) {
        if (c != '=' && c != ';')
          virtual_directories.push_back(c);
      }
      virtual_directories += "=" + std::string(kVirtualBases[i]) + ";";
    }
  }
  SessionRecord record;
  record.home = kHomes[size % kHomes.size()];
  record.virtual_directories = ParseVirtualDirectories(virtual_directories);
  // The current directory as a CWD would have made it, and as written.
  const auto changed = ResolvePath(record, "/", current);
  const std::string made_current = changed ? changed->FtpText() : "/";
  for (const std::string_view cwd : {std::string_view(made_current), current})
    Check(record, cwd, path);
  return 0;
}
