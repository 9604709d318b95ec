// One HTTP connection per input: the bytes go through the engine's request reader (request
// line, headers, body, every limit), the interpretation of parameters, cookies, document
// and credentials, the session lookup, and the administration pages, which read the
// parameters and act on the account table. The engine closes after one request, as the
// service runs it.
//
// Checked on every input: whatever the server answers is an HTTP status line, and every
// session the request started is gone once the list is cleared.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "accounts/auto_ban.h"
#include "accounts/users.h"
#include "config/settings.h"
#include "fuzz/loopback.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "service/members.h"
#include "service/web_pages.h"
#include "support/temp_dir.h"
#include "web/http_server.h"

namespace vantrel {
namespace {

using fuzz::LoopbackListener;
using fuzz::ScriptedClient;

constexpr std::chrono::milliseconds kSilence{10};

// The engine with the connection run on the caller's thread.
class InlineHttpServer final : public HttpServer {
 public:
  void Serve(platform::TcpSocket socket) { RunSession(*CreateConnection(std::move(socket))); }
};

class Harness {
 public:
  Harness()
      : auto_ban_(settings_, log_),
        members_(users_, log_, dir_.path() + "/"),
        pages_({settings_, users_, auto_ban_, statistics_, log_}, members_,
               [] { return std::string("vantrel_up 1\n"); }) {
    settings_.SetDataDirectory(dir_.path() + "/");
    settings_.Update([](SettingsData& s) {
      s.webinterfaceenabled = true;
      s.webinterfaceusers = "admin=secret;";
    });
    server_.SetServerSoftware("Vantrel");
    server_.SetAutoStartSession(true);
    server_.SetSessionTimeOut(60000);
    server_.SetSessionState(true);
    server_.OnConnect = [this](Connection& c) { pages_.Connect(c); };
    server_.OnException = [this](Connection& c, const std::exception& e) {
      pages_.Exception(c, e);
    };
    server_.OnCommandGet = [this](Connection& c, HttpRequestInfo& request,
                                  HttpResponseInfo& response) {
      pages_.CommandGet(c, request, response);
    };
  }

  void Run(std::string input) {
    // The pages add and delete accounts; every input meets the same one.
    users_.ClearAccounts();
    AccountFields alice;
    alice.user = "alice";
    alice.pass = "pw";
    alice.home = dir_.path();
    alice.virtualdir = "pub=/srv/pub;";
    users_.AddAccount(alice);
    LoopbackListener::Pair pair = loopback_.Connect();
    ScriptedClient client(std::move(pair.client), std::move(input), kSilence);
    server_.Serve(std::move(pair.server));
    const std::string& answer = client.Finish();
    if (!answer.empty() && !IsStatusLine(answer)) {
      std::cerr << "property violated: the answer is no HTTP reply: "
                << answer.substr(0, answer.find('\n')) << std::endl;
      std::abort();
    }
    server_.SessionList().Clear();
    log_.ClearLogQueue();
  }

 private:
  static bool Visible(std::string_view text) {
    for (char c : text) {
      if (c <= ' ' || c >= 127)
        return false;
    }
    return true;
  }

  // "HTTP/1.1 NNN ...". An interim "100 Continue" may come first; it repeats the request's
  // own version text, as the engine is meant to write it.
  static bool IsStatusLine(std::string_view answer) {
    const auto interim_end = answer.find(" 100 Continue\r\n\r\n");
    if (answer.starts_with("HTTP/") && interim_end != std::string_view::npos &&
        Visible(answer.substr(0, interim_end))) {
      answer.remove_prefix(interim_end + 17);
      if (answer.empty())
        return true;  // the client closed before the final reply
    }
    if (answer.size() < 13 || !answer.starts_with("HTTP/1.1 ") || answer[12] != ' ')
      return false;
    for (std::size_t i = 9; i < 12; ++i) {
      if (answer[i] < '0' || answer[i] > '9')
        return false;
    }
    return true;
  }

  TempDir dir_;
  LogQueue log_;
  Settings settings_;
  Users users_;
  AutoBan auto_ban_;
  Statistics statistics_;
  Members members_;
  WebPages pages_;
  LoopbackListener loopback_;
  InlineHttpServer server_;
};

}  // namespace
}  // namespace vantrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vantrel::Harness harness;
  harness.Run(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
