#pragma once

// The HTTP/1.1 engine of the administration site, on the multi-connection TCP server: each
// connection's thread reads a request, finds or makes the browser's session, hands the
// request to the page handler and writes the reply.
//
// Every length a client controls has a limit (request and header lines, header count,
// body), and a request over a limit is answered with its status and closed without
// reaching a handler. So does the time it takes: a request must be complete by its
// deadline, or a client sending a byte now and then would hold its thread for ever. The body is
// always kept in memory, which the body limit makes affordable; a pluggable body stream was left
// out because no page needs one.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "net/tcp_server.h"
#include "web/http_request.h"
#include "web/http_response.h"
#include "web/http_session.h"

namespace vantrel {

class TlsContext;

// Owned by the host. Configure it and set the events before SetActive(true); the setters
// refuse while active. The events run on connection threads, concurrently for different
// connections; the session events also on the cleaner thread.
class HttpServer : public TcpServer {
 public:
  static constexpr int kDefaultPort = 80;
  static constexpr std::size_t kMaxLineLength = 8192;
  static constexpr int kDefaultMaximumHeaderLineCount = 1024;
  static constexpr std::size_t kMaxBodyLength = 1024 * 1024;
  static constexpr const char* kSessionCookie = "HTTPSESSIONID";

  explicit HttpServer(const Clock& clock = DefaultClock());
  ~HttpServer() override;

  // Also starts (or stops) the session cleaner and, when stopping, empties the session
  // list. A session time-out of 0 turns SessionState off at activation.
  void SetActive(bool active);
  // TcpServer::TakeOver, with the session store started as SetActive starts it. Web
  // sessions stay with the predecessor, so their holders log in again.
  void TakeOver(HttpServer& predecessor);

  bool ParseParams() const { return parse_params_; }
  void SetParseParams(bool on);
  bool SessionState() const { return session_state_; }
  // Throws HttpError "Cannot change session state when the server is active.".
  void SetSessionState(bool on);
  bool AutoStartSession() const { return auto_start_session_; }
  void SetAutoStartSession(bool on);
  // Milliseconds a session may stay idle.
  int SessionTimeOut() const { return session_timeout_; }
  void SetSessionTimeOut(int milliseconds);
  bool KeepAlive() const { return keep_alive_; }
  void SetKeepAlive(bool on);
  const std::string& ServerSoftware() const { return server_software_; }
  void SetServerSoftware(std::string text);
  int MaximumHeaderLineCount() const { return maximum_header_line_count_; }
  void SetMaximumHeaderLineCount(int count);
  // How long a request (line, headers and body) may take to arrive, from the moment the
  // engine is ready for it; then the connection is closed.
  static constexpr std::chrono::milliseconds kDefaultRequestDeadline{30000};
  std::chrono::milliseconds RequestDeadline() const { return request_deadline_; }
  void SetRequestDeadline(std::chrono::milliseconds deadline);

  HttpSessionList& SessionList() { return sessions_; }
  // Null (the default): plain HTTP. Otherwise every connection speaks HTTPS with this
  // context, the session cookie is Secure, and a plain request is redirected to https://.
  void SetTls(std::shared_ptr<const TlsContext> context);

  // When a connection's session begins. Throwing refuses it.
  std::function<void(Connection&)> OnConnect;
  // For the failure that ended a connection's session.
  std::function<void(Connection&, const std::exception&)> OnException;
  // Listener thread, for each connection turned away over a limit (after its 503).
  std::function<void(const platform::SocketAddress& peer, Refusal reason)> OnRefuse;

  using RequestHandler = std::function<void(Connection&, HttpRequestInfo&, HttpResponseInfo&)>;
  // HEAD, GET and POST.
  RequestHandler OnCommandGet;
  // Every other method.
  RequestHandler OnCommandOther;
  // Clearing `continue_processing` blocks the request; OnHeadersBlocked then fills the
  // reply (400 when unassigned).
  std::function<void(Connection&, const std::string& uri, const std::vector<std::string>& headers,
                     bool& continue_processing)>
      OnHeadersAvailable;
  std::function<void(Connection&, const std::vector<std::string>& headers, int& response_no,
                     std::string& response_text, std::string& content_text)>
      OnHeadersBlocked;
  // An "Expect" header of an HTTP/1.1 request; accepted when unassigned.
  std::function<void(Connection&, const std::string& expectations, bool& continue_processing)>
      OnHeaderExpectations;
  // A session cookie that names no live session of this address.
  std::function<void(Connection&, HttpRequestInfo&, HttpResponseInfo&, bool& continue_processing,
                     const std::string& invalid_session_id)>
      OnInvalidSession;
  std::function<void(HttpSession&)> OnSessionStart;
  std::function<void(HttpSession&)> OnSessionEnd;

 protected:
  void BeforeRun(Connection& connection) override;
  bool Execute(Connection& connection) override;
  void SessionFailed(Connection& connection, const std::exception& failure) override;
  void Refused(const platform::SocketAddress& peer, Refusal reason) override;
  // 503, for a connection over a limit.
  std::string OverLimitReply() const override;

 private:
  // Starts the session store around `listen`, which starts the listeners.
  void Activate(const std::function<void()>& listen);
  // Throws HttpRefusal(code) for a line over the limit; nothing when the peer closed.
  std::optional<std::string> ReadLine(Connection& connection, int too_long_response);
  std::string ReadBody(Connection& connection, const HttpRequestInfo& request);
  bool HandleRequest(Connection& connection);
  bool ReadHead(Connection& connection, HttpRequestInfo& request);
  bool PassHeaderChecks(Connection& connection, const HttpRequestInfo& request,
                        HttpResponseInfo& response);
  bool AttachSession(Connection& connection, HttpRequestInfo& request, HttpResponseInfo& response);
  void Dispatch(Connection& connection, HttpRequestInfo& request, HttpResponseInfo& response);
  void Refuse(Connection& connection, int response_no);
  // Reads a plain request's head and answers it with a redirect to the same URI over HTTPS.
  void RedirectToHttps(Connection& connection);

  std::mutex control_mutex_;                 // serialises SetActive
  std::unique_ptr<SessionCleaner> cleaner_;  // guarded by control_mutex_
  HttpSessionList sessions_;
  bool parse_params_ = true;
  bool session_state_ = false;
  bool auto_start_session_ = false;
  int session_timeout_ = 0;
  bool keep_alive_ = false;
  std::string server_software_;
  int maximum_header_line_count_ = kDefaultMaximumHeaderLineCount;
  std::chrono::milliseconds request_deadline_ = kDefaultRequestDeadline;
  std::shared_ptr<const TlsContext> tls_;
};

}  // namespace vantrel
