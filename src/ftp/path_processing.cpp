#include "ftp/path_processing.h"

namespace vantrel {
namespace {

// True when `source[i]` starts a ".." segment: the dots stand alone up to "/" or the end.
// A name that merely begins with two dots ("..notes") is a name.
bool StartsParentSegment(std::string_view source, std::size_t i) {
  if (source.compare(i, 2, "..") != 0)
    return false;
  return i + 2 == source.size() || source[i + 2] == '/';
}

void DropLastSegment(std::string& result) {
  // The result ends in "/": remove it and the segment before it, keeping that segment's
  // leading "/". At the root there is nothing to remove.
  if (!result.empty())
    result.pop_back();
  const std::size_t slash = result.find_last_of('/');
  result.erase(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

std::string ProcessPath(std::string_view current_dir, std::string_view path) {
  if (!path.empty() && path.front() == '/')
    return std::string(path);
  std::string source(current_dir);
  if (source.empty() || source.back() != '/')
    source += '/';
  source += path;

  std::string result;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '/') {
      if (result.empty() || result.back() != '/')
        result += c;
    } else if (c == '.' && !result.empty() && result.back() == '/' &&
               StartsParentSegment(source, i)) {
      DropLastSegment(result);
      ++i;  // the second dot
    } else {
      result += c;
    }
  }
  const bool keep_trailing = path.empty() || path.back() == '/';
  if (result.size() > 1 && result.back() == '/' && !keep_trailing)
    result.pop_back();
  if (result.empty())
    result = "/";
  return result;
}

std::string ProcessCwdPath(std::string_view current_dir, std::string_view path) {
  std::string argument(WithoutTrailingSlash(path));
  if (argument.empty()) {
    argument = "/";
  } else if (argument == "..") {
    argument = "../";
  } else if (argument == ".") {
    argument = std::string(current_dir);
  }
  return ProcessPath(current_dir, argument);
}

std::string QuotedPathname(std::string_view path) {
  std::string quoted = "\"";
  for (const char c : path) {
    quoted += c;
    if (c == '"')
      quoted += '"';
  }
  return quoted + '"';
}

std::string_view WithoutTrailingSlash(std::string_view path) {
  // "/" itself stays: stripped, it would read as "here" and name the current directory.
  if (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  return path;
}

}  // namespace vantrel
