#pragma once

// The administration site: a login form, the main page with the totals, the member list
// and the add form, a member's data page and the short result pages of add, modify and
// delete. Every path and method that reaches the page handler is answered by the same
// logic, driven by the session's login and the request's parameters, except that only a
// POST may log in, add, modify or delete, and a POST that a page of another site sent is
// refused (403) before it can do either.
//
// GET /metrics answers the service's figures in a scraper's text format, without a
// login, to the addresses `metricsallowed` lists, and 403 to others; it is served
// whenever the engine runs, while the pages need `webinterfaceenabled` (404 without).
//
// Every value that reaches a page is HTML-escaped, since member names, passwords and
// directories come from whoever could edit an account. Account changes go through the
// service's member operations, which write the accounts file at once, so an edit made
// here survives a crash.

#include <exception>
#include <functional>
#include <string>

#include "service/ftp_session_handlers.h"

namespace vantrel {

class Connection;
class HttpResponseInfo;
class Members;
class NameValueList;
struct AccountFields;
struct HttpRequestInfo;

// Owned by the web interface; its handlers run on the web engine's connection threads,
// concurrently, and reach shared state only through the units' own locks.
class WebPages {
 public:
  // `metrics` renders the text of /metrics; it must be safe on any connection thread.
  WebPages(const ServiceUnits& units, Members& members, std::function<std::string()> metrics);

  // Refuses a banned address before any reply; gives the connection its read time-out.
  void Connect(Connection& context);
  void Exception(Connection& context, const std::exception& failure);
  void CommandGet(Connection& context, HttpRequestInfo& request, HttpResponseInfo& response);

 private:
  void MetricsPage(const std::string& ip, HttpResponseInfo& response);
  std::string Title() const;
  bool LoginHolds(const std::string& user, const std::string& password) const;
  std::string MainPage(const std::string& ip, const std::string& user);
  std::string MemberRows() const;
  std::string ViewPage(const std::string& ip, const std::string& user, const std::string& name);
  std::string AddPage(const NameValueList& params);
  std::string ModifyPage(const NameValueList& params);
  std::string DeletePage(const std::string& name);

  ServiceUnits units_;
  Members& members_;
  const std::function<std::string()> metrics_;
};

}  // namespace vantrel
