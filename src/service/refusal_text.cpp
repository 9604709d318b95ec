#include "service/refusal_text.h"

namespace vantrel {

std::string RefusalText(Refusal reason, int ceiling) {
  switch (reason) {
    case Refusal::kMaxConnections:
      return "Refused: client limit reached";
    case Refusal::kPerAddress:
      return "Refused: too many connections from this address";
    case Refusal::kNoRoom:
      return "Refused: no room for more connections (at most " + std::to_string(ceiling) +
             " at once)";
    case Refusal::kNoThread:
      return "Refused: the system has no thread for another connection";
    case Refusal::kProxyHeader:
      return "Malformed PROXY header";
  }
  return "Refused";
}

std::string RefusalText(DescriptorUse use, int capacity) {
  const std::string what = use == DescriptorUse::kDataConnection ? "a data connection" : "a file";
  return "Refused: no room for " + what + " (all " + std::to_string(capacity) +
         " descriptors in use)";
}

}  // namespace vantrel
