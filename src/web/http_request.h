#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/name_value_list.h"

namespace vantrel {

class HttpSession;

enum class HttpCommandType { kUnknown, kHead, kGet, kPost, kDelete, kPut, kTrace, kOptions };

// One request as the engine read and interpreted it. Filled by the engine on the
// connection's thread and handed to the page handler of the same thread.
struct HttpRequestInfo {
  std::string raw_http_command;  // the request line as received
  std::string command;           // the method word, upper-cased
  HttpCommandType command_type = HttpCommandType::kUnknown;
  std::string version;
  std::string uri;                       // without the query
  std::vector<std::string> raw_headers;  // "Name: value", in arrival order
  std::string document;                  // the URI's path, escapes undone
  std::string query_params;
  std::string form_params;      // the body as text
  std::string unparsed_params;  // form text and query joined by "&"
  NameValueList params;
  std::string remote_ip;
  bool auth_exists = false;
  std::string auth_username;
  std::string auth_password;
  NameValueList cookies;
  std::string body;
  std::shared_ptr<HttpSession> session;  // null when sessions are off or none was made

  // The value of the first header of that name (ignoring case), trimmed.
  std::optional<std::string> Header(std::string_view name) const;
};

struct RequestLine {
  std::string command;
  std::string uri;
  std::string version;
};

// The version is the text after the last blank, the method the first word, the URI what
// lies between. Nothing when the line holds no blank at all.
std::optional<RequestLine> ParseRequestLine(std::string_view line);
// Ignoring case; kUnknown for every other word.
HttpCommandType CommandTypeOf(std::string_view command);

// Splits `text` on "&" into name=value lines, "+" read as a blank and escapes undone. An
// empty piece adds an empty line. Clears `params` first.
void DecodeParams(std::string_view text, NameValueList& params);

// Fills what follows from the request line, headers and body already in `request`: query
// and parameters, cookies, document (and Host from an absolute URI) and the credentials of
// an "Authorization" header. Throws HttpError for an authorization scheme other than
// Basic, HttpRefusal(400) for Basic credentials that are not base64.
void InterpretRequest(HttpRequestInfo& request, bool parse_params);

}  // namespace vantrel
