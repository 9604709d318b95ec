#include "common/wildcard.h"

namespace vantrel {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// The set "[...]" that starts at `open`: whether `c` is in it, and the index after its
// "]"; kNone when the set is never closed, and the "[" is then an ordinary character. A
// "]" right after the "[" (or its "!") belongs to the set, as in the shell.
std::size_t MatchSet(std::string_view pattern, std::size_t open, char c, bool& matched) {
  std::size_t i = open + 1;
  const bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate)
    ++i;
  const auto byte = static_cast<unsigned char>(c);
  bool found = false;
  for (bool first = true; i < pattern.size() && (first || pattern[i] != ']'); ++i, first = false) {
    auto low = static_cast<unsigned char>(pattern[i]);
    auto high = low;
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      high = static_cast<unsigned char>(pattern[i + 2]);
      i += 2;
    }
    found = found || (byte >= low && byte <= high);
  }
  if (i >= pattern.size())
    return kNone;
  matched = found != negate;
  return i + 1;
}

}  // namespace

bool HasWildcard(std::string_view text) {
  if (text.find_first_of("*?") != kNone)
    return true;
  const std::size_t open = text.find('[');
  bool unused = false;
  return open != kNone && MatchSet(text, open, ' ', unused) != kNone;
}

// Left to right; on a mismatch the last "*" takes one character more and the rest is
// tried again, which is linear for one "*" and never exponential for several.
bool MatchesWildcard(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = kNone;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        star = ++p;
        star_name = n;
        continue;
      }
      std::size_t after = c == '[' ? kNone : p + 1;
      bool matched = c == '?' || c == name[n];
      if (c == '[') {
        after = MatchSet(pattern, p, name[n], matched);
        if (after == kNone) {
          after = p + 1;
          matched = name[n] == '[';
        }
      }
      if (matched) {
        p = after;
        ++n;
        continue;
      }
    }
    if (star == kNone)
      return false;
    p = star;
    n = ++star_name;
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

}  // namespace vantrel
