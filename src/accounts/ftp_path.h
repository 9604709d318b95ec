#pragma once

// Client paths are resolved as text before anything touches the disk: made absolute
// against the current directory, with empty and "." segments dropped and ".." taking one
// segment off but never climbing above "/". What comes out can only name something below
// the root, whatever the client sent. A backslash separates segments like "/", because
// clients written for other systems send it and would otherwise reach names the operator
// never meant as one segment.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct FtpPath {
  std::vector<std::string> segments;  // none of them empty, "." or ".."
  bool trailing_separator = false;    // the client wrote a final "/" (always so for the root)

  bool IsRoot() const { return segments.empty(); }
  // "/", "/a/b", or "/a/b/" when written with a trailing separator.
  std::string Text() const;
};

// Splits at "/" and "\" and drops empty and "." segments; ".." is kept as written.
std::vector<std::string> SplitFtpSegments(std::string_view path);

// Nothing for a path holding a NUL character: the disk would see it end early.
std::optional<FtpPath> ResolveFtpPath(std::string_view current_directory, std::string_view path);

}  // namespace vantrel
