#include "web/http_status.h"

#include <algorithm>
#include <iterator>

namespace vantrel {
namespace {

struct StatusText {
  int number;
  const char* text;
};

// Sorted by number for the binary search below.
constexpr StatusText kStatusTexts[] = {
    {100, "Continue"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method not allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity To Long"},
    {414, "Request-URI Too Long. 256 Chars max"},
    {415, "Unsupported Media Type"},
    {417, "Expectation Failed"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway timeout"},
    {505, "HTTP version not supported"},
};

}  // namespace

std::string ResponseText(int response_no) {
  const auto* found =
      std::lower_bound(std::begin(kStatusTexts), std::end(kStatusTexts), response_no,
                       [](const StatusText& entry, int number) { return entry.number < number; });
  if (found == std::end(kStatusTexts) || found->number != response_no)
    return "Unknown Response Code";
  return found->text;
}

}  // namespace vantrel
