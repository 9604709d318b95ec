#pragma once

#include <string_view>

namespace vantrel {

// Equality of a stored secret and a guess in a time that depends on the guess's length
// only, which the guesser knows anyway: how far a guess agrees with the secret must not
// show in how long the answer takes.
bool ConstantTimeEquals(std::string_view secret, std::string_view guess);

}  // namespace vantrel
