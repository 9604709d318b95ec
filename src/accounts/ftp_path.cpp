#include "accounts/ftp_path.h"

namespace vantrel {
namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

void Apply(std::vector<std::string>& segments, std::string_view path) {
  for (auto& segment : SplitFtpSegments(path)) {
    if (segment == "..") {
      if (!segments.empty())
        segments.pop_back();
    } else {
      segments.push_back(std::move(segment));
    }
  }
}

}  // namespace

std::string FtpPath::Text() const {
  std::string text;
  for (const auto& segment : segments)
    text += "/" + segment;
  if (segments.empty() || trailing_separator)
    text += '/';
  return text;
}

std::vector<std::string> SplitFtpSegments(std::string_view path) {
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view segment = path.substr(start, end - start);
    if (!segment.empty() && segment != ".")
      segments.emplace_back(segment);
    start = end + 1;
  }
  return segments;
}

std::optional<FtpPath> ResolveFtpPath(std::string_view current_directory, std::string_view path) {
  if (current_directory.find('\0') != std::string_view::npos ||
      path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  FtpPath resolved;
  const bool absolute = !path.empty() && IsSeparator(path.front());
  if (!absolute)
    Apply(resolved.segments, current_directory);
  Apply(resolved.segments, path);
  // An empty path names the current directory, which is always written as a directory.
  resolved.trailing_separator =
      resolved.segments.empty() || path.empty() || IsSeparator(path.back());
  return resolved;
}

}  // namespace vantrel
