#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

class Connection;

// A cookie the reply sets. The session cookie is HttpOnly and SameSite=Strict, so no
// script can read it and no other site can make the browser send it along.
struct ResponseCookie {
  std::string name;
  std::string value;
  std::string path = "/";
  bool http_only = true;
  std::string same_site = "Strict";  // empty: attribute left out
  bool secure = false;               // sent over HTTPS only
};

// The reply to one request: filled by the page handler on the connection's thread, then
// written by the engine (or by the handler itself through WriteHeader/WriteContent).
class HttpResponseInfo {
 public:
  explicit HttpResponseInfo(Connection& connection) : connection_(connection) {}

  int ResponseNo() const { return response_no_; }
  // Also sets the response text from the table; 404 also closes the connection.
  void SetResponseNo(int response_no);
  std::string response_text = "OK";
  std::string content_type;  // empty: no "Content-Type" header
  std::string content_text;
  std::int64_t content_length = -1;  // -1: the length of the content text
  std::string location;
  std::string server_software;
  std::string auth_realm;  // non-empty: the reply becomes a 401 Basic challenge
  bool close_connection = true;
  std::vector<ResponseCookie> cookies;
  // HEAD replies carry the header (with the length of what GET would send) but no body.
  bool omit_body = false;

  bool HeaderHasBeenWritten() const { return header_written_; }
  // Throws HttpError "Header has already been written." on a second call.
  void WriteHeader();
  // The content text, or the default body when there is none, then clears it.
  void WriteContent();

  // The header as WriteHeader sends it (after the 401 and length rules are applied).
  std::string HeaderText();

 private:
  void ApplyHeaderRules();

  Connection& connection_;
  int response_no_ = 200;
  bool header_written_ = false;
};

// "<HTML><BODY><B>" number " " text "</B></BODY></HTML>".
std::string DefaultBody(int response_no, const std::string& response_text);

}  // namespace vantrel
