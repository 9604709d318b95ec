#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Undoes "%XX" escapes; an escape that is not two hex digits stays as it was written.
std::string UrlDecode(std::string_view text);

// Standard base64 with optional "=" padding. Nothing when anything else appears, so a
// garbled credential is refused rather than half read.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace vantrel
