#pragma once

// Client paths joined onto the session's current directory in the Unix style. This is
// text only: it gives the host an absolute FTP path and leaves containment to the host's
// mapping onto the disk (an absolute client path is passed on as written, ".." and all).

#include <string>
#include <string_view>

namespace vantrel {

// `path` onto `current_dir`: runs of "/" collapse, a ".." segment takes one segment off
// (never above "/"), and one trailing "/" is dropped unless the client wrote it.
std::string ProcessPath(std::string_view current_dir, std::string_view path);

// CWD's variant: "" means "/", "." the current directory and ".." the parent written as
// a directory ("/a/"). Nothing else is rewritten: the host's mapping reads "/" and "\"
// alike and drops empty segments, so the path reaches it as the client wrote it.
std::string ProcessCwdPath(std::string_view current_dir, std::string_view path);

// A path as a reply names it (PWD, MKD, CDUP): in double quotes, with each quote inside
// doubled (RFC 959), so a client reads a name holding quotes back whole.
std::string QuotedPathname(std::string_view path);

// For MKD and RMD, which name a directory with or without a final "/". The root "/"
// keeps its slash.
std::string_view WithoutTrailingSlash(std::string_view path);

}  // namespace vantrel
