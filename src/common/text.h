#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Removes blanks (space, tab, CR, LF, and other control characters) from both ends.
std::string_view Trim(std::string_view text);

char ToLowerAscii(char c);
std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Whether `text` is one or more ASCII digits and nothing else (no sign, no blank).
bool AllDigits(std::string_view text);

// Signed decimal, or hexadecimal after "0x"/"0X". Nothing for anything else, including
// values outside 64 bits. Surrounding blanks are allowed.
std::optional<std::int64_t> ParseInteger(std::string_view text);

// A directory as a prefix for names: with one "/" at its end; empty stays empty (names
// then stay relative).
std::string WithTrailingSlash(std::string directory);
// A path without the "/"s at its end, except the root's own.
std::string WithoutTrailingSlash(std::string path);

// The extension of a file name from its last "." on, dot included; empty when none.
std::string_view FileExtension(std::string_view name);

}  // namespace vantrel
