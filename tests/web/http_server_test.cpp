// The engine over real loopback connections: one request per connection, the limits and
// their replies, requests that get no reply, sessions and the header rules.

#include "web/http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "ftp/ftp_test_client.h"
#include "net/connection.h"
#include "web/http_error.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::FtpTestClient;

struct ParsedReply {
  std::string status;
  std::vector<std::string> headers;
  std::string body;

  std::string Header(std::string_view name) const {
    for (const auto& line : headers) {
      if (line.compare(0, name.size() + 2, std::string(name) + ": ") == 0)
        return line.substr(name.size() + 2);
    }
    return "(none)";
  }
};

ParsedReply Parse(const std::string& raw) {
  ParsedReply reply;
  const auto head_end = raw.find("\r\n\r\n");
  if (head_end == std::string::npos) {
    reply.status = raw;
    return reply;
  }
  std::string_view head(raw.data(), head_end);
  for (bool first = true; !head.empty(); first = false) {
    const auto end = head.find("\r\n");
    const std::string line(head.substr(0, end));
    if (first) {
      reply.status = line;
    } else {
      reply.headers.push_back(line);
    }
    head = end == std::string_view::npos ? std::string_view() : head.substr(end + 2);
  }
  reply.body = raw.substr(head_end + 4);
  return reply;
}

class HttpServerTest : public ::testing::Test {
 protected:
  HttpServerTest() {
    server_.Bindings() = {{"127.0.0.1", 0, platform::IpVersion::kV4}};
    server_.SetDefaultPort(0);  // the system picks a free port
    server_.SetServerSoftware("TestServer");
    server_.OnCommandGet = [this](Connection&, HttpRequestInfo& request,
                                  HttpResponseInfo& response) {
      std::lock_guard lock(mutex_);
      ++handled_;
      last_params_ = request.params.Lines();
      last_body_size_ = request.body.size();
      last_session_ = request.session;
      last_auth_ = request.auth_username + ":" + request.auth_password;
      response.content_type = "text/plain";
      response.content_text = "page " + request.document;
    };
    server_.OnException = [this](Connection&, const std::exception& failure) {
      std::lock_guard lock(mutex_);
      failures_.push_back(failure.what());
    };
  }
  ~HttpServerTest() override { server_.SetActive(false); }

  void Start() {
    server_.SetActive(true);
    port_ = server_.BoundAddresses().at(0).port;
  }

  std::string Exchange(std::string_view request) {
    FtpTestClient client(port_);
    client.Send(request);
    return client.ReadUntilClosed();
  }
  ParsedReply Ask(std::string_view request) { return Parse(Exchange(request)); }

  int Handled() {
    std::lock_guard lock(mutex_);
    return handled_;
  }

  HttpServer server_;
  int port_ = 0;
  std::mutex mutex_;
  int handled_ = 0;                            // guarded by mutex_
  std::vector<std::string> last_params_;       // guarded by mutex_
  std::size_t last_body_size_ = 0;             // guarded by mutex_
  std::shared_ptr<HttpSession> last_session_;  // guarded by mutex_
  std::string last_auth_;                      // guarded by mutex_
  std::vector<std::string> failures_;          // guarded by mutex_
};

std::string Get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
}

TEST_F(HttpServerTest, OneRequestPerConnectionWithItsHeaderFields) {
  Start();
  const auto reply = Ask(Get("/a%20b") + Get("/second"));
  EXPECT_EQ(reply.status, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.headers,
            (std::vector<std::string>{"Server: TestServer", "Content-Type: text/plain",
                                      "Content-Length: 9", "Connection: close"}));
  EXPECT_EQ(reply.body, "page /a b");
  EXPECT_EQ(Handled(), 1);
}

TEST_F(HttpServerTest, LimitsReplyAndDisturbNothingElse) {
  Start();
  const std::string line_head = "GET /";
  const std::string line_tail = " HTTP/1.1";
  const auto request_line = [&](std::size_t length) {
    return line_head + std::string(length - line_head.size() - line_tail.size(), 'a') + line_tail +
           "\r\n\r\n";
  };
  const auto header_line = [](std::size_t length) {
    return "GET / HTTP/1.1\r\nX: " + std::string(length - 3, 'h') + "\r\n\r\n";
  };
  const auto headers = [](int count) {
    std::string request = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < count; ++i)
      request += "X-" + std::to_string(i) + ": v\r\n";
    return request + "\r\n";
  };
  const auto post = [](const std::string& length_field, std::size_t body) {
    return "POST / HTTP/1.1\r\nContent-Length: " + length_field + "\r\n\r\n" +
           std::string(body, 'b');
  };
  const std::size_t max_body = HttpServer::kMaxBodyLength;
  struct Case {
    const char* name;
    std::string request;
    const char* status;
  };
  const Case cases[] = {
      {"request line at the limit", request_line(8192), "HTTP/1.1 200 OK"},
      {"request line over", request_line(8193), "HTTP/1.1 414 Request-URI Too Long. 256 Chars max"},
      {"header line at the limit", header_line(8192), "HTTP/1.1 200 OK"},
      {"header line over", header_line(8193), "HTTP/1.1 400 Bad Request"},
      {"1024 header lines", headers(1024), "HTTP/1.1 200 OK"},
      {"1025 header lines", headers(1025), "HTTP/1.1 400 Bad Request"},
      {"body at the limit", post(std::to_string(max_body), max_body), "HTTP/1.1 200 OK"},
      {"body over, refused before it is read", post(std::to_string(max_body + 1), 0),
       "HTTP/1.1 413 Request Entity To Long"},
      {"body over, sent anyway", post(std::to_string(max_body + 1), max_body + 1),
       "HTTP/1.1 413 Request Entity To Long"},
      {"length not a number", post("12a", 0), "HTTP/1.1 400 Bad Request"},
      {"negative length", post("-1", 0), "HTTP/1.1 400 Bad Request"},
      {"chunked body", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       "HTTP/1.1 411 Length Required"},
  };
  int expected_handled = 0;
  for (const auto& c : cases) {
    const auto reply = Ask(c.request);
    EXPECT_EQ(reply.status, c.status) << c.name;
    EXPECT_EQ(reply.Header("Connection"), "close") << c.name;
    const bool served = std::string_view(c.status).find(" 200 ") != std::string_view::npos;
    if (served)
      ++expected_handled;
    else
      EXPECT_NE(reply.body.find(std::string(c.status).substr(9)), std::string::npos) << c.name;
    EXPECT_EQ(Handled(), expected_handled) << c.name;
    EXPECT_EQ(Ask(Get("/")).status, "HTTP/1.1 200 OK") << "after " << c.name;
    ++expected_handled;
  }
  std::lock_guard lock(mutex_);
  EXPECT_EQ(last_body_size_, 0u);
}

TEST_F(HttpServerTest, PostWithoutLengthEndsWhereTheClientStopsAndIsCapped) {
  Start();
  FtpTestClient client(port_);
  client.Send("POST / HTTP/1.1\r\n\r\n");
  client.Send(std::string(HttpServer::kMaxBodyLength + 4096, 'b'));
  EXPECT_EQ(Parse(client.ReadUntilClosed()).status, "HTTP/1.1 413 Request Entity To Long");
  EXPECT_EQ(Handled(), 0);
}

TEST_F(HttpServerTest, RequestsThatGetNoReply) {
  Start();
  struct Case {
    const char* name;
    const char* request;
    const char* failure;
  };
  const Case cases[] = {
      {"request line without a blank", "GET\r\n\r\n", "Error in parsing command."},
      {"unsupported authorization scheme", "GET / HTTP/1.1\r\nAuthorization: Digest x\r\n\r\n",
       "Unsupported authorization scheme."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exchange(c.request), "") << c.name;
    for (int i = 0; i < 100; ++i) {
      {
        std::lock_guard lock(mutex_);
        if (!failures_.empty())
          break;
      }
      std::this_thread::sleep_for(10ms);
    }
    std::lock_guard lock(mutex_);
    EXPECT_EQ(failures_, std::vector<std::string>{c.failure}) << c.name;
    failures_.clear();
  }
  EXPECT_EQ(Handled(), 0);
}

TEST_F(HttpServerTest, SilentClientIsClosedAfterTheReadTimeOut) {
  server_.SetReadTimeout(300ms);
  Start();
  for (const char* sent : {"", "GET / HTTP/1.1\r\nHost: x\r\n"}) {
    FtpTestClient client(port_);
    client.Send(sent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.ReadUntilClosed(), "") << sent;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << sent;
  }
  EXPECT_EQ(Handled(), 0);
}

TEST_F(HttpServerTest, TricklingClientIsClosedAtTheRequestDeadline) {
  server_.SetRequestDeadline(400ms);
  Start();
  FtpTestClient client(port_);
  const auto start = std::chrono::steady_clock::now();
  // Each byte comes well within the read time-out; the request as a whole never does.
  client.Trickle(Get("/slow"), 50ms);
  EXPECT_EQ(client.ReadUntilClosed(), "");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 400ms);
  EXPECT_LT(took, 1200ms);
  EXPECT_EQ(Handled(), 0);
  EXPECT_EQ(Ask(Get("/")).status, "HTTP/1.1 200 OK") << "a prompt request is still served";
}

TEST_F(HttpServerTest, ConnectionOverTheAddressLimitGets503) {
  server_.SetMaxConnectionsPerAddress(1);
  Start();
  FtpTestClient holder(port_);
  holder.Send("GET / HTTP/1.1\r\n");  // admitted, its request not yet complete
  const auto refused = Ask(Get("/"));
  EXPECT_EQ(refused.status, "HTTP/1.1 503 Service Unavailable");
  EXPECT_EQ(refused.Header("Connection"), "close");
  EXPECT_EQ(refused.Header("Server"), "TestServer");
  EXPECT_EQ(refused.body, "<HTML><BODY><B>503 Service Unavailable</B></BODY></HTML>");
  FtpTestClient other(port_, "127.0.0.1", "127.0.0.2");
  other.Send(Get("/other"));
  EXPECT_EQ(Parse(other.ReadUntilClosed()).body, "page /other");
  holder.Send("\r\n");
  EXPECT_EQ(Parse(holder.ReadUntilClosed()).body, "page /");
}

TEST_F(HttpServerTest, HandlerFailureIsA500WithTheMessageEscaped) {
  server_.OnCommandGet = [](Connection&, HttpRequestInfo&, HttpResponseInfo&) {
    throw std::runtime_error("no <b>such</b> page");
  };
  Start();
  const auto reply = Ask(Get("/"));
  EXPECT_EQ(reply.status, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(reply.body, "no &lt;b&gt;such&lt;/b&gt; page");
}

TEST_F(HttpServerTest, MethodsAndDefaultReplies) {
  Start();
  const auto head = Ask("HEAD /x HTTP/1.1\r\n\r\n");
  EXPECT_EQ(head.Header("Content-Length"), "7");
  EXPECT_EQ(head.body, "");
  // Without a handler the reply is the bare header.
  const auto put = Ask("PUT /x HTTP/1.1\r\nContent-Length: 2\r\n\r\nab");
  EXPECT_EQ(put.status, "HTTP/1.1 200 OK");
  EXPECT_EQ(put.Header("Content-Length"), "0");
  EXPECT_EQ(put.body, "");
  EXPECT_EQ(Handled(), 1);
}

TEST_F(HttpServerTest, OtherMethodsGoToTheirOwnHandler) {
  server_.OnCommandOther = [](Connection&, HttpRequestInfo& request, HttpResponseInfo& response) {
    response.SetResponseNo(405);
    response.content_text = request.command;
  };
  Start();
  const auto reply = Ask("delete / HTTP/1.1\r\n\r\n");
  EXPECT_EQ(reply.status, "HTTP/1.1 405 Method not allowed");
  EXPECT_EQ(reply.body, "DELETE");
}

TEST_F(HttpServerTest, FormBodyAndBasicCredentialsReachTheHandler) {
  Start();
  Ask("POST /?q=1 HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Authorization: Basic YWRtaW46cHc=\r\nContent-Length: 7\r\n\r\nuser=me");
  std::lock_guard lock(mutex_);
  EXPECT_EQ(last_params_, (std::vector<std::string>{"user=me", "q=1"}));
  EXPECT_EQ(last_auth_, "admin:pw");
}

TEST_F(HttpServerTest, ExpectContinueGetsTheInterimLine) {
  Start();
  FtpTestClient client(port_);
  client.Send("POST / HTTP/1.1\r\nContent-Length: 3\r\nExpect: 100-continue\r\n\r\n");
  EXPECT_EQ(client.ReadLine(), "HTTP/1.1 100 Continue");
  EXPECT_EQ(client.ReadLine(), "");
  client.Send("abc");
  EXPECT_EQ(Parse(client.ReadUntilClosed()).status, "HTTP/1.1 200 OK");
}

TEST_F(HttpServerTest, RefusedExpectationAndBlockedHeaders) {
  server_.OnHeaderExpectations = [](Connection&, const std::string&, bool& go_on) {
    go_on = false;
  };
  server_.OnHeadersAvailable = [](Connection&, const std::string& uri,
                                  const std::vector<std::string>&,
                                  bool& go_on) { go_on = uri != "/blocked"; };
  server_.OnHeadersBlocked = [](Connection&, const std::vector<std::string>&, int& no,
                                std::string& text, std::string& content) {
    no = 403;
    text = "Forbidden here";
    content = "no";
  };
  Start();
  EXPECT_EQ(Ask("POST / HTTP/1.1\r\nExpect: x\r\nContent-Length: 0\r\n\r\n").status,
            "HTTP/1.1 417 Expectation Failed");
  // HTTP/1.0 knows no expectations: the header is ignored.
  EXPECT_EQ(Ask("GET / HTTP/1.0\r\nExpect: x\r\n\r\n").status, "HTTP/1.1 200 OK");
  const auto blocked = Ask(Get("/blocked"));
  EXPECT_EQ(blocked.status, "HTTP/1.1 403 Forbidden here");
  EXPECT_EQ(blocked.body, "no");
  EXPECT_EQ(Handled(), 1);
}

TEST_F(HttpServerTest, KeepAliveServesSeveralRequestsOnOneConnection) {
  server_.SetKeepAlive(true);
  Start();
  const std::string raw = Exchange(Get("/1") + Get("/2", "Connection: close\r\n"));
  EXPECT_NE(raw.find("Connection: keep-alive\r\n\r\npage /1"), std::string::npos) << raw;
  EXPECT_NE(raw.find("Connection: close\r\n\r\npage /2"), std::string::npos) << raw;
  EXPECT_EQ(Handled(), 2);
}

class HTTPSessionServerTest : public HttpServerTest {
 protected:
  HTTPSessionServerTest() {
    server_.SetSessionState(true);
    server_.SetAutoStartSession(true);
    server_.SetSessionTimeOut(60000);
  }
  std::shared_ptr<HttpSession> LastSession() {
    std::lock_guard lock(mutex_);
    return last_session_;
  }
};

TEST_F(HTTPSessionServerTest, CookieCreatesAndFindsTheSession) {
  Start();
  const auto first = Ask(Get("/"));
  const std::string cookie = first.Header("Set-Cookie");
  const auto session = LastSession();
  ASSERT_TRUE(session);
  EXPECT_EQ(cookie,
            "HTTPSESSIONID=" + session->SessionID() + "; path=/; HttpOnly; SameSite=Strict");

  const auto again =
      Ask(Get("/", "Cookie: other=1; HTTPSESSIONID=" + session->SessionID() + "\r\n"));
  EXPECT_EQ(again.Header("Set-Cookie"), "(none)");
  EXPECT_EQ(LastSession(), session);

  int invalid = 0;
  server_.SetActive(false);
  server_.OnInvalidSession = [&invalid](Connection&, HttpRequestInfo&, HttpResponseInfo&, bool&,
                                        const std::string& id) { invalid += id == "stale"; };
  Start();
  const auto unknown = Ask(Get("/", "Cookie: HTTPSESSIONID=stale\r\n"));
  EXPECT_NE(unknown.Header("Set-Cookie"), "(none)");
  EXPECT_NE(LastSession(), session) << "stopping must have ended every session";
  EXPECT_EQ(invalid, 1);
}

TEST_F(HTTPSessionServerTest, ZeroTimeOutTurnsSessionsOff) {
  server_.SetSessionTimeOut(0);
  Start();
  EXPECT_FALSE(server_.SessionState());
  EXPECT_EQ(Ask(Get("/")).Header("Set-Cookie"), "(none)");
  EXPECT_EQ(LastSession(), nullptr);
}

TEST_F(HTTPSessionServerTest, SessionStateCannotChangeWhileActive) {
  Start();
  try {
    server_.SetSessionState(false);
    FAIL() << "changed while active";
  } catch (const HttpError& failure) {
    EXPECT_STREQ(failure.what(), "Cannot change session state when the server is active.");
  }
  EXPECT_TRUE(server_.SessionState());
}

TEST_F(HTTPSessionServerTest, StopIsPromptWithIdleClientsAndSessions) {
  Start();
  Ask(Get("/"));
  FtpTestClient idle(port_);
  idle.Send("GET / HTTP/1.1\r\n");
  const auto start = std::chrono::steady_clock::now();
  server_.SetActive(false);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(server_.SessionList().Count(), 0);
}

}  // namespace
}  // namespace vantrel
