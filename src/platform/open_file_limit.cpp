#include "platform/open_file_limit.h"

#include <sys/resource.h>

#include <limits>

namespace vantrel::platform {
namespace {

int AsInt(rlim_t value) {
  constexpr auto kMost = static_cast<rlim_t>(std::numeric_limits<int>::max());
  return value == RLIM_INFINITY || value > kMost ? std::numeric_limits<int>::max()
                                                 : static_cast<int>(value);
}

}  // namespace

int OpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 0;
  return AsInt(limit.rlim_cur);
}

int RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    // The system may refuse an unlimited hard limit for descriptors; the old one stays then.
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  return OpenFileLimit();
}

}  // namespace vantrel::platform
