#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "ftp/ftp_server.h"
#include "ftp/ftp_test_client.h"
#include "ftp/recorder.h"
#include "ftp/scripted_host.h"

namespace vantrel::testing {

// One command and the whole reply it must get.
struct Exchange {
  const char* sent;
  const char* reply;
};

inline void Converse(FtpTestClient& client, std::initializer_list<Exchange> exchanges) {
  for (const auto& e : exchanges)
    EXPECT_EQ(client.Ask(e.sent), e.reply) << e.sent;
}

// An FTP server on 127.0.0.1 with a port chosen at run time. Tests script the host's
// answers they need before Start(); "user"/"secret" log in when LoginAccepts() is used.
class FtpServerFixture : public ::testing::Test {
 protected:
  FtpServerFixture() {
    // Port 0 in a binding means the default port; with that 0 too the system chooses.
    server_.SetDefaultPort(0);
    server_.Bindings() = {{"127.0.0.1", 0, platform::IpVersion::kV4}};
    server_.Greeting().SetText("Welcome");
    server_.SecurityOptions().invalid_pass_delay = std::chrono::milliseconds(1);
  }

  void LoginAccepts() {
    host_.login = [](FtpSession&, const std::string& user, const std::string& password) {
      return user == "user" && password == "secret" ? std::make_shared<const SessionRecord>()
                                                    : nullptr;
    };
  }

  void Start() {
    server_.SetActive(true);
    port_ = server_.BoundAddresses().at(0).port;
  }

  FtpTestClient Connect() {
    FtpTestClient client(port_);
    EXPECT_EQ(client.ReadReply(), "220 Welcome");
    return client;
  }

  FtpTestClient LoggedIn() {
    FtpTestClient client = Connect();
    EXPECT_EQ(client.Ask("USER user"), "331 User name okay, need password.");
    EXPECT_EQ(client.Ask("PASS secret"), "230 User logged in, proceed.");
    return client;
  }

  // Declared before the server so that they outlive the sessions whose scripts use them;
  // scripts must not capture locals of a test body, which end before the server stops.
  Recorder recorded_;
  ScriptedHost host_;
  FtpServer server_{host_.Host()};
  int port_ = 0;
};

}  // namespace vantrel::testing
