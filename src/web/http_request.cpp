#include "web/http_request.h"

#include <array>
#include <utility>

#include "common/text.h"
#include "web/http_error.h"
#include "web/url_coding.h"

namespace vantrel {
namespace {

constexpr std::array<std::pair<const char*, HttpCommandType>, 8> kCommands = {{
    {"UNKNOWN", HttpCommandType::kUnknown},
    {"HEAD", HttpCommandType::kHead},
    {"GET", HttpCommandType::kGet},
    {"POST", HttpCommandType::kPost},
    {"DELETE", HttpCommandType::kDelete},
    {"PUT", HttpCommandType::kPut},
    {"TRACE", HttpCommandType::kTrace},
    {"OPTIONS", HttpCommandType::kOptions},
}};

constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool IsFormContent(const HttpRequestInfo& request) {
  const auto type = request.Header("Content-Type");
  if (!type)
    return false;
  // A charset parameter does not change how the body is encoded.
  return EqualsIgnoreCase(Trim(std::string_view(*type).substr(0, type->find(';'))),
                          kFormContentType);
}

void SplitQuery(HttpRequestInfo& request) {
  const auto question = request.uri.find('?');
  if (question == std::string::npos)
    return;
  request.query_params = request.uri.substr(question + 1);
  request.uri.erase(question);
}

void FillParams(HttpRequestInfo& request, bool parse_params) {
  request.form_params = request.body;
  request.unparsed_params = request.form_params;
  SplitQuery(request);
  if (!request.query_params.empty()) {
    if (!request.unparsed_params.empty())
      request.unparsed_params += '&';
    request.unparsed_params += request.query_params;
  }
  if (!parse_params)
    return;
  DecodeParams(IsFormContent(request) ? request.unparsed_params : request.query_params,
               request.params);
}

void FillCookies(HttpRequestInfo& request) {
  for (const auto& line : request.raw_headers) {
    const auto colon = line.find(':');
    if (colon == std::string::npos ||
        !EqualsIgnoreCase(Trim(std::string_view(line).substr(0, colon)), "Cookie"))
      continue;
    std::string_view rest = std::string_view(line).substr(colon + 1);
    while (!rest.empty()) {
      const auto end = rest.find(';');
      const std::string_view piece = Trim(rest.substr(0, end));
      if (!piece.empty())
        request.cookies.Add(std::string(piece));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
  }
}

void FillDocument(HttpRequestInfo& request) {
  if (request.uri == "*") {
    request.document = "*";
    return;
  }
  std::string_view path = request.uri;
  for (const std::string_view scheme : {"http://", "https://"}) {
    if (!StartsWithIgnoreCase(path, scheme))
      continue;
    path.remove_prefix(scheme.size());
    const auto slash = path.find('/');
    const std::string_view host = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view("/") : path.substr(slash);
    if (!request.Header("Host"))
      request.raw_headers.push_back("Host: " + std::string(host));
    break;
  }
  request.document = UrlDecode(path);
}

void FillAuthorization(HttpRequestInfo& request) {
  const auto value = request.Header("Authorization");
  if (!value || value->empty())
    return;
  request.auth_exists = true;
  const std::string_view text = *value;
  const auto blank = text.find(' ');
  const std::string_view scheme = text.substr(0, blank);
  if (!EqualsIgnoreCase(scheme, "Basic"))
    throw HttpError("Unsupported authorization scheme.");
  const auto decoded = Base64Decode(blank == std::string_view::npos ? std::string_view()
                                                                    : Trim(text.substr(blank + 1)));
  if (!decoded)
    throw HttpRefusal(400, "Malformed Basic credentials");
  const auto colon = decoded->find(':');
  request.auth_username = decoded->substr(0, colon);
  if (colon != std::string::npos)
    request.auth_password = decoded->substr(colon + 1);
}

}  // namespace

std::optional<std::string> HttpRequestInfo::Header(std::string_view name) const {
  for (const auto& line : raw_headers) {
    const auto colon = line.find(':');
    if (colon != std::string::npos &&
        EqualsIgnoreCase(Trim(std::string_view(line).substr(0, colon)), name))
      return std::string(Trim(std::string_view(line).substr(colon + 1)));
  }
  return std::nullopt;
}

std::optional<RequestLine> ParseRequestLine(std::string_view line) {
  const auto last_blank = line.rfind(' ');
  if (last_blank == std::string_view::npos)
    return std::nullopt;
  RequestLine parsed;
  parsed.version = std::string(line.substr(last_blank + 1));
  const std::string_view front = line.substr(0, last_blank);
  const auto first_blank = front.find(' ');
  parsed.command = UpperAscii(front.substr(0, first_blank));
  if (first_blank != std::string_view::npos)
    parsed.uri = std::string(Trim(front.substr(first_blank + 1)));
  return parsed;
}

HttpCommandType CommandTypeOf(std::string_view command) {
  for (const auto& [word, type] : kCommands) {
    if (EqualsIgnoreCase(command, word))
      return type;
  }
  return HttpCommandType::kUnknown;
}

void DecodeParams(std::string_view text, NameValueList& params) {
  params.Clear();
  if (text.empty())
    return;
  for (;;) {
    const auto end = text.find('&');
    std::string piece(text.substr(0, end));
    for (char& c : piece) {
      if (c == '+')
        c = ' ';
    }
    params.Add(UrlDecode(piece));
    if (end == std::string_view::npos)
      break;
    text.remove_prefix(end + 1);
  }
}

void InterpretRequest(HttpRequestInfo& request, bool parse_params) {
  FillParams(request, parse_params);
  FillCookies(request);
  FillDocument(request);
  FillAuthorization(request);
}

}  // namespace vantrel
