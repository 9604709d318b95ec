#include "web/http_server.h"

#include <algorithm>

#include "common/text.h"
#include "net/connection.h"
#include "platform/socket_error.h"
#include "web/html_escape.h"
#include "web/http_error.h"
#include "web/http_status.h"

namespace vantrel {
namespace {

// After refusing a request whose body is still arriving, the rest is read and dropped
// while it keeps coming (within a bound) before closing: closing with unread data makes
// the system reset the connection, and the client would lose the refusal it has not read.
constexpr std::chrono::milliseconds kDrainTime{2000};
constexpr std::chrono::milliseconds kDrainWait{200};
constexpr std::size_t kDrainLimit = 8 * 1024 * 1024;

bool IsHttp11OrLater(std::string_view version) {
  if (version.size() < 8 || !EqualsIgnoreCase(version.substr(0, 5), "HTTP/"))
    return false;
  version.remove_prefix(5);
  const auto dot = version.find('.');
  const auto major = ParseInteger(version.substr(0, dot));
  const auto minor = dot == std::string_view::npos ? std::optional<std::int64_t>(0)
                                                   : ParseInteger(version.substr(dot + 1));
  return major && minor && (*major > 1 || (*major == 1 && *minor >= 1));
}

// The interim reply repeats the request's version, which passed IsHttp11OrLater; that
// check trims blanks and control bytes around the numbers, and a bare CR or a NUL must not
// reach a reply line, where some clients would take it for the end of the line.
std::string ReplyVersion(const std::string& version) {
  const bool visible =
      std::all_of(version.begin(), version.end(), [](char c) { return c > ' ' && c < 127; });
  return visible ? version : "HTTP/1.1";
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  return ToLowerAscii(text).find(ToLowerAscii(part)) != std::string::npos;
}

// Digits only: a sign, blanks inside or a hex prefix are malformed, not a length.
std::optional<std::size_t> DeclaredLength(const HttpRequestInfo& request) {
  const auto text = request.Header("Content-Length");
  if (!text)
    return std::nullopt;
  if (text->size() > 18 || !AllDigits(*text))
    throw HttpRefusal(400, "Malformed Content-Length");
  const auto length = static_cast<std::size_t>(std::stoll(*text));
  if (length > HttpServer::kMaxBodyLength)
    throw HttpRefusal(413, "Request body over the limit");
  return length;
}

void DiscardPendingInput(Connection& connection) {
  connection.Input().clear();
  const auto deadline = std::chrono::steady_clock::now() + kDrainTime;
  std::size_t discarded = 0;
  try {
    while (discarded < kDrainLimit) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        break;
      connection.Socket().SetReadTimeout(std::min(left, kDrainWait));
      if (!connection.ReadMore())
        break;
      discarded += connection.Input().size();
      connection.Input().clear();
    }
  } catch (const platform::SocketError&) {
    // Silent or gone: either way there is nothing more to wait for.
  }
}

}  // namespace

HttpServer::HttpServer(const Clock& clock) : sessions_(clock) {
  SetDefaultPort(kDefaultPort);
  sessions_.OnSessionEnd = [this](HttpSession& session) {
    if (OnSessionEnd)
      OnSessionEnd(session);
  };
}

HttpServer::~HttpServer() {
  // Connection threads and the cleaner use members of this class; they must end before the
  // members do, which the base destructor would be too late for.
  SetActive(false);
}

void HttpServer::SetActive(bool active) {
  std::lock_guard lock(control_mutex_);
  if (active == Active())
    return;
  if (active) {
    Activate([this] { TcpServer::SetActive(true); });
  } else {
    TcpServer::SetActive(false);
    cleaner_.reset();
    sessions_.Clear();
  }
}

void HttpServer::TakeOver(HttpServer& predecessor) {
  std::lock_guard lock(control_mutex_);
  Activate([&] { TcpServer::TakeOver(predecessor); });
}

void HttpServer::Activate(const std::function<void()>& listen) {
  if (session_timeout_ != 0) {
    sessions_.SetSessionTimeout(std::chrono::milliseconds(session_timeout_));
  } else {
    session_state_ = false;
  }
  listen();
  if (session_state_)
    cleaner_ = std::make_unique<SessionCleaner>(sessions_);
}

void HttpServer::SetParseParams(bool on) {
  RequireInactive();
  parse_params_ = on;
}

void HttpServer::SetSessionState(bool on) {
  if (Active())
    throw HttpError("Cannot change session state when the server is active.");
  session_state_ = on;
}

void HttpServer::SetAutoStartSession(bool on) {
  RequireInactive();
  auto_start_session_ = on;
}

void HttpServer::SetSessionTimeOut(int milliseconds) {
  RequireInactive();
  if (milliseconds < 0)
    throw Error("The session time-out cannot be negative");
  session_timeout_ = milliseconds;
}

void HttpServer::SetKeepAlive(bool on) {
  RequireInactive();
  keep_alive_ = on;
}

void HttpServer::SetServerSoftware(std::string text) {
  RequireInactive();
  server_software_ = std::move(text);
}

void HttpServer::SetMaximumHeaderLineCount(int count) {
  RequireInactive();
  if (count < 1)
    throw Error("At least one header line must be allowed");
  maximum_header_line_count_ = count;
}

void HttpServer::SetRequestDeadline(std::chrono::milliseconds deadline) {
  RequireInactive();
  if (deadline.count() <= 0)
    throw Error("The request deadline must be positive");
  request_deadline_ = deadline;
}

std::string HttpServer::OverLimitReply() const {
  const std::string text = ResponseText(503);
  const std::string body = DefaultBody(503, text);
  std::string reply = "HTTP/1.1 503 " + text + "\r\n";
  if (!server_software_.empty())
    reply += "Server: " + server_software_ + "\r\n";
  return reply + "Content-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

void HttpServer::SetTls(std::shared_ptr<const TlsContext> context) {
  RequireInactive();
  tls_ = std::move(context);
}

void HttpServer::BeforeRun(Connection& connection) {
  if (OnConnect)
    OnConnect(connection);
  if (!tls_)
    return;
  // Every TLS connection opens with a handshake record; anything else is a browser
  // that typed http://, which is sent where it meant to go.
  constexpr char kHandshakeRecord = 0x16;
  if (!connection.Socket().WaitReadable(request_deadline_))
    throw platform::SocketTimeout("no request within the deadline");
  char first = 0;
  const std::optional<std::size_t> got = connection.Socket().TryPeek(&first, 1);
  if (got && *got == 1 && first == kHandshakeRecord) {
    connection.StartTls(*tls_, request_deadline_);
    return;
  }
  // Whatever else comes, nothing on this port is served in clear.
  if (got && *got == 1)
    RedirectToHttps(connection);
  connection.Disconnect();
}

void HttpServer::RedirectToHttps(Connection& connection) {
  connection.SetInputDeadline(std::chrono::steady_clock::now() + request_deadline_);
  HttpRequestInfo request;
  const bool complete = ReadHead(connection, request);
  connection.SetInputDeadline(std::nullopt);
  if (!complete)
    return;
  std::string host(request.Header("Host").value_or(""));
  if (host.empty() || host.find_first_of(" \r\n\"<>") != std::string::npos) {
    const platform::SocketAddress& local = connection.Socket().LocalAddress();
    const bool v6 = local.ip.find(':') != std::string::npos;
    host = (v6 ? "[" + local.ip + "]" : local.ip) + ":" + std::to_string(local.port);
  }
  const std::string uri = request.uri.starts_with('/') ? request.uri : "/";
  const std::string location = "https://" + host + uri;
  const std::string body = DefaultBody(301, ResponseText(301));
  std::string reply = "HTTP/1.1 301 " + ResponseText(301) + "\r\nLocation: " + location + "\r\n";
  if (!server_software_.empty())
    reply += "Server: " + server_software_ + "\r\n";
  connection.Write(reply + "Content-Length: " + std::to_string(body.size()) +
                   "\r\nConnection: close\r\n\r\n" + body);
}

void HttpServer::SessionFailed(Connection& connection, const std::exception& failure) {
  if (OnException)
    OnException(connection, failure);
}

void HttpServer::Refused(const platform::SocketAddress& peer, Refusal reason) {
  if (OnRefuse)
    OnRefuse(peer, reason);
}

bool HttpServer::Execute(Connection& connection) {
  try {
    try {
      return HandleRequest(connection);
    } catch (const HttpRefusal& refusal) {
      Refuse(connection, refusal.ResponseNo());
      return false;
    }
  } catch (const platform::SocketError&) {
    // The peer left, reset or stayed silent past the read time-out: nobody to answer.
    connection.Disconnect();
    return false;
  }
}

std::optional<std::string> HttpServer::ReadLine(Connection& connection, int too_long_response) {
  std::string& input = connection.Input();
  std::size_t searched = 0;
  for (;;) {
    const auto newline = input.find('\n', searched);
    if (newline != std::string::npos) {
      std::size_t length = newline;
      if (length > 0 && input[length - 1] == '\r')
        --length;
      if (length > kMaxLineLength)
        throw HttpRefusal(too_long_response, "Line over the limit");
      std::string line = input.substr(0, length);
      input.erase(0, newline + 1);
      return line;
    }
    // One more byte than the limit may still be the CR of a line just within it.
    if (input.size() > kMaxLineLength + 1)
      throw HttpRefusal(too_long_response, "Line over the limit");
    searched = input.size();
    if (!connection.ReadMore())
      return std::nullopt;
  }
}

bool HttpServer::ReadHead(Connection& connection, HttpRequestInfo& request) {
  auto line = ReadLine(connection, 414);
  if (!line)
    return false;
  const auto parsed = ParseRequestLine(*line);
  if (!parsed)
    throw HttpError("Error in parsing command.");
  request.raw_http_command = std::move(*line);
  request.command = parsed->command;
  request.command_type = CommandTypeOf(parsed->command);
  request.uri = parsed->uri;
  request.version = parsed->version;
  for (;;) {
    line = ReadLine(connection, 400);
    if (!line)
      return false;
    if (line->empty())
      return true;
    if (static_cast<int>(request.raw_headers.size()) >= maximum_header_line_count_)
      throw HttpRefusal(400, "Too many header lines");
    request.raw_headers.push_back(std::move(*line));
  }
}

std::string HttpServer::ReadBody(Connection& connection, const HttpRequestInfo& request) {
  std::string& input = connection.Input();
  const auto declared = DeclaredLength(request);
  std::size_t length = 0;
  if (declared) {
    length = *declared;
    while (input.size() < length) {
      if (!connection.ReadMore())
        throw platform::SocketError("The client closed before sending the whole body");
    }
  } else if (request.command_type == HttpCommandType::kPost) {
    // Without a length the body ends where the client closes its side.
    while (connection.ReadMore()) {
      if (input.size() > kMaxBodyLength)
        throw HttpRefusal(413, "Request body over the limit");
    }
    length = input.size();
  }
  std::string body = input.substr(0, length);
  input.erase(0, length);
  return body;
}

bool HttpServer::PassHeaderChecks(Connection& connection, const HttpRequestInfo& request,
                                  HttpResponseInfo& response) {
  bool proceed = true;
  if (OnHeadersAvailable)
    OnHeadersAvailable(connection, request.uri, request.raw_headers, proceed);
  if (!proceed) {
    int response_no = 400;
    std::string text = ResponseText(response_no);
    std::string content;
    if (OnHeadersBlocked)
      OnHeadersBlocked(connection, request.raw_headers, response_no, text, content);
    response.SetResponseNo(response_no);
    response.response_text = text;
    response.content_text = content;
    return false;
  }
  const auto encoding = request.Header("Transfer-Encoding");
  if (encoding && !EqualsIgnoreCase(*encoding, "identity"))
    throw HttpRefusal(411, "Only bodies with a length are accepted");
  DeclaredLength(request);
  const auto expect = request.Header("Expect");
  if (IsHttp11OrLater(request.version) && expect && !expect->empty()) {
    bool accepted = true;
    if (OnHeaderExpectations)
      OnHeaderExpectations(connection, *expect, accepted);
    if (!accepted) {
      response.SetResponseNo(417);
      return false;
    }
    if (ContainsIgnoreCase(*expect, "100-continue"))
      connection.Write(ReplyVersion(request.version) + " 100 " + ResponseText(100) + "\r\n\r\n");
  }
  return true;
}

bool HttpServer::AttachSession(Connection& connection, HttpRequestInfo& request,
                               HttpResponseInfo& response) {
  if (!session_state_)
    return true;
  for (const auto& cookie : request.cookies.Lines()) {
    if (!EqualsIgnoreCase(NameValueList::NameOf(cookie), kSessionCookie))
      continue;
    const std::string id(NameValueList::ValueOf(cookie));
    request.session = sessions_.GetSession(id, request.remote_ip);
    if (request.session)
      return true;
    bool proceed = true;
    if (OnInvalidSession)
      OnInvalidSession(connection, request, response, proceed, id);
    if (!proceed)
      return false;
  }
  if (!auto_start_session_)
    return true;
  try {
    request.session = sessions_.CreateSession(request.remote_ip);
  } catch (const HttpError&) {
    // No secure ID could be drawn: the request goes on without a session, and the pages
    // say so.
    return true;
  }
  ResponseCookie cookie{kSessionCookie, request.session->SessionID()};
  cookie.secure = connection.Encrypted();
  response.cookies.push_back(std::move(cookie));
  if (OnSessionStart)
    OnSessionStart(*request.session);
  return true;
}

void HttpServer::Dispatch(Connection& connection, HttpRequestInfo& request,
                          HttpResponseInfo& response) {
  const bool get_like = request.command_type == HttpCommandType::kHead ||
                        request.command_type == HttpCommandType::kGet ||
                        request.command_type == HttpCommandType::kPost;
  const RequestHandler& handler = get_like ? OnCommandGet : OnCommandOther;
  if (!handler)
    return;
  try {
    handler(connection, request, response);
  } catch (const platform::SocketError&) {
    throw;
  } catch (const std::exception& failure) {
    response.SetResponseNo(500);
    response.content_text = EscapeHtml(failure.what());
  } catch (...) {
    response.SetResponseNo(500);
    response.content_text = "Unknown failure";
  }
}

bool HttpServer::HandleRequest(Connection& connection) {
  HttpRequestInfo request;
  connection.SetInputDeadline(std::chrono::steady_clock::now() + request_deadline_);
  if (!ReadHead(connection, request)) {
    connection.Disconnect();
    return false;
  }
  HttpResponseInfo response(connection);
  response.server_software = server_software_;
  const auto wanted = request.Header("Connection");
  response.close_connection = !keep_alive_ || (wanted && EqualsIgnoreCase(*wanted, "close"));
  response.omit_body = request.command_type == HttpCommandType::kHead;
  bool proceed = PassHeaderChecks(connection, request, response);
  if (proceed) {
    request.body = ReadBody(connection, request);
    connection.SetInputDeadline(std::nullopt);
    request.remote_ip = connection.PeerAddress().ip;
    InterpretRequest(request, parse_params_);
    proceed = AttachSession(connection, request, response);
  }
  if (proceed)
    Dispatch(connection, request, response);
  else
    response.close_connection = true;
  if (!response.HeaderHasBeenWritten())
    response.WriteHeader();
  if (!response.content_text.empty())
    response.WriteContent();
  if (!proceed)
    DiscardPendingInput(connection);
  if (response.close_connection) {
    connection.Disconnect();
    return false;
  }
  return connection.Connected();
}

void HttpServer::Refuse(Connection& connection, int response_no) {
  HttpResponseInfo response(connection);
  response.SetResponseNo(response_no);
  response.server_software = server_software_;
  response.content_text = DefaultBody(response_no, response.response_text);
  response.WriteHeader();
  response.WriteContent();
  DiscardPendingInput(connection);
  connection.Disconnect();
}

}  // namespace vantrel
