#include "accounts/session_record.h"

#include <algorithm>

#include "accounts/ftp_path.h"
#include "common/packed_list.h"
#include "common/text.h"

namespace vantrel {
namespace {

bool SameAliasIgnoringCase(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const std::string& x, const std::string& y) { return EqualsIgnoreCase(x, y); });
}

// The extension of the last path segment: a dot in a directory name is not the file's.
std::string_view ExtensionOfFile(std::string_view path) {
  const auto slash = path.find_last_of('/');
  return FileExtension(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool ListedItem(std::string_view packed, std::string_view extension) {
  const auto items = SplitPacked(packed);
  return std::any_of(items.begin(), items.end(), [extension](const std::string& item) {
    return EqualsIgnoreCase(item, extension);
  });
}

}  // namespace

std::vector<VirtualDirectory> ParseVirtualDirectories(std::string_view packed) {
  std::vector<VirtualDirectory> entries;
  for (const auto& item : SplitPacked(packed)) {
    const NameValue entry = SplitNameValue(item);
    std::vector<std::string> alias = SplitFtpSegments(entry.name);
    if (!entry.has_separator || alias.empty())
      continue;
    const auto first = std::find_if(entries.begin(), entries.end(), [&](const VirtualDirectory& e) {
      return SameAliasIgnoringCase(e.alias, alias);
    });
    std::string directory = first == entries.end() ? std::string(entry.value) : first->directory;
    entries.push_back({std::move(alias), std::move(directory)});
  }
  return entries;
}

bool SessionRecord::IsUploadBlocked(std::string_view disk_path) const {
  const std::string_view extension = ExtensionOfFile(disk_path);
  if (extension.empty())
    return false;
  if (extension_match == ExtensionMatch::kListItem)
    return ListedItem(blocked_extensions, extension);
  // Letter case is ignored, as the server's own list does: "a.EXE" is as harmful as "a.exe".
  return ToLowerAscii(blocked_extensions).find(ToLowerAscii(extension)) != std::string::npos;
}

bool SessionRecord::Allows(FileOperation operation, std::string_view disk_path) const {
  switch (operation) {
    case FileOperation::kChangeDirectory:
      return permissions.change_directory;
    case FileOperation::kRetrieve:
    case FileOperation::kChecksumRange:
      return permissions.download;
    case FileOperation::kStore:
    case FileOperation::kSetModifiedTime:
      return permissions.upload && !IsUploadBlocked(disk_path);
    case FileOperation::kRename:
      return permissions.rename;
    case FileOperation::kDeleteFile:
      return permissions.delete_file;
    case FileOperation::kMakeDirectory:
      return permissions.make_directory;
    case FileOperation::kRemoveDirectory:
      return permissions.remove_directory;
  }
  return false;
}

}  // namespace vantrel
