#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Makes text safe inside an element or a double- or single-quoted attribute: whatever a
// member name or a directory holds is shown as text and never read as markup.
std::string EscapeHtml(std::string_view text);

}  // namespace vantrel
