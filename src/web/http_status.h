#pragma once

#include <string>

namespace vantrel {

// The reason phrase that goes with a response number, "Unknown Response Code" for any
// number the engine does not know.
std::string ResponseText(int response_no);

}  // namespace vantrel
