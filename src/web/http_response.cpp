#include "web/http_response.h"

#include "net/connection.h"
#include "web/http_error.h"
#include "web/http_status.h"

namespace vantrel {
namespace {

constexpr const char* kLineEnd = "\r\n";

void AddField(std::string& header, const char* name, const std::string& value) {
  header += name;
  header += ": ";
  header += value;
  header += kLineEnd;
}

std::string CookieText(const ResponseCookie& cookie) {
  std::string text = cookie.name + "=" + cookie.value;
  if (!cookie.path.empty())
    text += "; path=" + cookie.path;
  if (cookie.http_only)
    text += "; HttpOnly";
  if (cookie.secure)
    text += "; Secure";
  if (!cookie.same_site.empty())
    text += "; SameSite=" + cookie.same_site;
  return text;
}

}  // namespace

std::string DefaultBody(int response_no, const std::string& response_text) {
  return "<HTML><BODY><B>" + std::to_string(response_no) + " " + response_text +
         "</B></BODY></HTML>";
}

void HttpResponseInfo::SetResponseNo(int response_no) {
  response_no_ = response_no;
  response_text = ResponseText(response_no);
  if (response_no == 404)
    close_connection = true;
}

void HttpResponseInfo::ApplyHeaderRules() {
  // The challenge replaces the content before its length is taken, so the length
  // announced is the length sent.
  if (!auth_realm.empty()) {
    SetResponseNo(401);
    content_text = DefaultBody(response_no_, response_text);
    content_length = -1;
  }
  if (content_length < 0)
    content_length = static_cast<std::int64_t>(content_text.size());
}

std::string HttpResponseInfo::HeaderText() {
  ApplyHeaderRules();
  std::string header = "HTTP/1.1 " + std::to_string(response_no_) + " " + response_text + kLineEnd;
  if (!server_software.empty())
    AddField(header, "Server", server_software);
  if (!content_type.empty())
    AddField(header, "Content-Type", content_type);
  if (!location.empty())
    AddField(header, "Location", location);
  AddField(header, "Content-Length", std::to_string(content_length));
  AddField(header, "Connection", close_connection ? "close" : "keep-alive");
  if (!auth_realm.empty())
    AddField(header, "WWW-Authenticate", "Basic realm=\"" + auth_realm + "\"");
  for (const auto& cookie : cookies)
    AddField(header, "Set-Cookie", CookieText(cookie));
  header += kLineEnd;
  return header;
}

void HttpResponseInfo::WriteHeader() {
  if (header_written_)
    throw HttpError("Header has already been written.");
  const std::string header = HeaderText();
  header_written_ = true;
  connection_.Write(header);
}

void HttpResponseInfo::WriteContent() {
  if (!omit_body) {
    connection_.Write(content_text.empty() ? DefaultBody(response_no_, response_text)
                                           : content_text);
  }
  content_text.clear();
}

}  // namespace vantrel
