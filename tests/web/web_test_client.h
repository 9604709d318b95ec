#pragma once

// A browser stand-in for the web tests: one request per connection, the session cookie
// kept between requests, form values percent-encoded like a browser does.

#include <string>
#include <utility>
#include <vector>

#include "ftp/ftp_test_client.h"

namespace vantrel::testing {

struct WebReply {
  std::string status;
  std::string head;  // header lines, each ending in CR LF
  std::string body;
};

inline std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto encode = [](const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
      if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
        out += static_cast<char>(c);
      } else {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
    return out;
  };
  std::string body;
  for (const auto& [name, value] : fields) {
    if (!body.empty())
      body += '&';
    body += encode(name) + "=" + encode(value);
  }
  return body;
}

class WebTestClient {
 public:
  explicit WebTestClient(int port, std::string ip = "127.0.0.1")
      : port_(port), ip_(std::move(ip)) {}

  WebReply Get(const std::string& target = "/") { return Send("GET " + target, ""); }
  WebReply Post(const std::vector<std::pair<std::string, std::string>>& fields) {
    return Send("POST /", FormEncode(fields));
  }
  WebReply Login(const std::string& user, const std::string& password) {
    return Post({{"username", user}, {"password", password}});
  }

  WebReply Send(const std::string& method_and_target, const std::string& form) {
    std::string request = method_and_target + " HTTP/1.1\r\nHost: test\r\n";
    if (!cookie_.empty())
      request += "Cookie: " + cookie_ + "\r\n";
    if (!form.empty()) {
      request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                 std::to_string(form.size()) + "\r\n";
    }
    FtpTestClient connection(port_, ip_);
    connection.Send(request + "\r\n" + form);
    const std::string raw = connection.ReadUntilClosed();
    WebReply reply;
    const auto status_end = raw.find("\r\n");
    const auto head_end = raw.find("\r\n\r\n");
    if (status_end == std::string::npos || head_end == std::string::npos)
      return reply;
    reply.status = raw.substr(0, status_end);
    reply.head = raw.substr(status_end + 2, head_end + 2 - status_end - 2);
    reply.body = raw.substr(head_end + 4);
    const std::string mark = "Set-Cookie: ";
    const auto cookie = reply.head.find(mark);
    if (cookie != std::string::npos) {
      const auto start = cookie + mark.size();
      cookie_ = reply.head.substr(start, reply.head.find(';', start) - start);
    }
    return reply;
  }

  const std::string& cookie() const { return cookie_; }

 private:
  int port_;
  std::string ip_;
  std::string cookie_;
};

}  // namespace vantrel::testing
