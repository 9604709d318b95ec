#pragma once

// Shell-style patterns, as clients write them for the last segment of a listed path
// ("NLST *.txt", "mget report-?.csv"): "*" any run of characters, "?" any one, "[...]"
// one of a set with ranges ("[a-c]") and "!" or "^" first to negate. Case-sensitive, as
// the names on the disk are; there is no escape character, since a name that holds one
// of these characters itself is found by its literal path first.

#include <string_view>

namespace vantrel {

// Whether `text` holds "*", "?" or a closed "[...]".
bool HasWildcard(std::string_view text);
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace vantrel
