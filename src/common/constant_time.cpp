#include "common/constant_time.h"

namespace vantrel {

bool ConstantTimeEquals(std::string_view secret, std::string_view guess) {
  // Every byte of the guess is compared with some byte of the secret (the secret read
  // round and round), and differences are gathered without an early exit.
  unsigned difference = secret.size() == guess.size() ? 0u : 1u;
  const std::size_t size = secret.size();
  for (std::size_t i = 0; i < guess.size(); ++i) {
    const unsigned char expected = size == 0 ? 0 : static_cast<unsigned char>(secret[i % size]);
    difference |= expected ^ static_cast<unsigned char>(guess[i]);
  }
  return difference == 0;
}

}  // namespace vantrel
