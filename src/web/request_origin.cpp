#include "web/request_origin.h"

#include <optional>
#include <string>

#include "common/text.h"
#include "web/http_request.h"

namespace vantrel {
namespace {

struct Origin {
  std::string scheme;
  std::string authority;
};

// The scheme and host[:port] of an http or https URL, lower case; nothing for any other.
std::optional<Origin> OriginOf(std::string_view url) {
  const auto separator = url.find("://");
  if (separator == std::string_view::npos)
    return std::nullopt;
  Origin origin{ToLowerAscii(url.substr(0, separator)), {}};
  if (origin.scheme != "http" && origin.scheme != "https")
    return std::nullopt;
  std::string_view rest = url.substr(separator + 3);
  rest = rest.substr(0, rest.find_first_of("/?#"));
  // Credentials in a URL name no host.
  const auto at = rest.rfind('@');
  if (at != std::string_view::npos)
    rest.remove_prefix(at + 1);
  origin.authority = ToLowerAscii(rest);
  return origin;
}

std::string WithoutDefaultPort(std::string authority, const std::string& scheme) {
  const std::string implied = scheme == "https" ? ":443" : ":80";
  if (authority.ends_with(implied))
    authority.erase(authority.size() - implied.size());
  return authority;
}

}  // namespace

bool ComesFromOtherOrigin(const HttpRequestInfo& request) {
  auto named = request.Header("Origin");
  if (!named)
    named = request.Header("Referer");
  if (!named)
    return false;
  const auto host = request.Header("Host");
  const auto origin = OriginOf(*named);
  if (!host || host->empty() || !origin)
    return true;
  return WithoutDefaultPort(origin->authority, origin->scheme) !=
         WithoutDefaultPort(ToLowerAscii(*host), origin->scheme);
}

}  // namespace vantrel
