// One FTP session per input: the bytes reach the engine's telnet-aware line reader through
// a loopback socket, every line goes through the command dispatcher, and the engine's
// questions are answered by the service's own handlers over a small tree on disk, so a fuzzed
// client can log in, walk, list, download, upload, rename and delete like a real one. A client
// thread opens the data connections that PASV and EPSV announce.
//
// After each session the harness checks what a hostile client must never achieve: the
// session left the online table and the transfer table, and the files beside the
// client's directories are untouched.
//
// The tree is rebuilt before every input, so an input always meets the same files.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "accounts/auto_ban.h"
#include "accounts/online_clients.h"
#include "accounts/session_records.h"
#include "accounts/users.h"
#include "common/packed_list.h"
#include "config/settings.h"
#include "ftp/ftp_server.h"
#include "fuzz/loopback.h"
#include "log/log_queue.h"
#include "log/metrics.h"
#include "log/statistics.h"
#include "log/transfer_log.h"
#include "service/ftp_file_handlers.h"
#include "service/ftp_listing_handler.h"
#include "service/ftp_request.h"
#include "service/ftp_session_handlers.h"
#include "service/ftp_transfer_handlers.h"
#include "support/temp_dir.h"
#include "transfer/transfer_table.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using fuzz::DataClients;
using fuzz::LoopbackListener;
using fuzz::ScriptedClient;

constexpr std::chrono::milliseconds kSilence{30};

void Fail(const std::string& what) {
  std::cerr << "property violated: " << what << std::endl;
  std::abort();
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The engine with its session run on the caller's thread instead of a session thread of
// its own.
class InlineFtpServer final : public FtpServer {
 public:
  using FtpServer::FtpServer;
  void Prepare() { PrepareActivation(); }
  void Serve(platform::TcpSocket socket) { RunSession(*CreateConnection(std::move(socket))); }
};

// The units and handlers of the service, wired to the engine the way the service wires
// them, over a tree in a temporary directory.
class Harness {
 public:
  Harness()
      : root_(dir_.path()),
        auto_ban_(settings_, log_),
        transfers_(statistics_),
        records_(users_, settings_),
        session_(HandlerUnits(), 0, 0),
        files_(HandlerUnits()),
        listing_(online_, log_, records_, DefaultClock()),
        transfer_(HandlerUnits(), DefaultClock()),
        server_(FtpHost{session_, files_, listing_, transfer_}) {
    Configure();
    server_.Prepare();
  }

  void Run(std::string input) {
    RebuildTree();
    // However the input leaves the session, a QUIT on a line of its own usually ends it.
    input += "\r\nQUIT\r\n";
    LoopbackListener::Pair pair = loopback_.Connect();
    DataClients data;
    ScriptedClient client(std::move(pair.client), std::move(input), kSilence,
                          [&data](std::string_view block) { data.Observe(block); });
    server_.Serve(std::move(pair.server));
    client.Finish();
    data.JoinAll();
    Check();
    log_.ClearLogQueue();
  }

 private:
  void Configure() {
    settings_.SetDataDirectory(root_.string() + "/");
    settings_.Update([this](SettingsData& s) {
      s.allowanonymous = true;
      s.anonymoushome = (root_ / "anon").string();
      s.anonymous_allowupload = true;
      s.anonymous_allowrename = true;
      s.anonymous_allowdelete = true;
      s.anonymous_allowcreatedir = true;
      s.anonymous_allowdeletedir = true;
      s.anonymous_virtual = "pub=" + (root_ / "pub").string() + ";";
      s.preventuploads = ".exe;";
      s.pasvrangestart = 0;
      s.pasvrangesize = 0;
    });
    AccountFields alice;
    alice.user = "alice";
    alice.pass = "pw";
    alice.home = (root_ / "home").string();
    alice.allow_download = alice.allow_upload = alice.allow_rename = true;
    alice.allow_changedirectory = alice.allow_makedirectory = true;
    alice.allow_deletefile = alice.allow_deletedirectory = true;
    alice.virtualdir =
        "pub=" + (root_ / "pub").string() + ";deep/er=" + (root_ / "deep").string() + ";";
    alice.filecontrol = ".bat;";
    users_.AddAccount(alice);
    AccountFields bob = alice;
    bob.user = "bob";
    bob.allow_upload = bob.allow_deletefile = bob.allow_rename = false;
    bob.virtualdir.clear();
    bob.download = 100000;
    users_.AddAccount(bob);

    server_.Greeting().SetLines(SplitPacked(settings_.Get(&SettingsData::greetingtext)));
    server_.SecurityOptions().invalid_pass_delay = std::chrono::milliseconds(1);
    server_.SetDataTimeouts({std::chrono::milliseconds(2000), std::chrono::milliseconds(2000)});
  }

  FtpHandlerUnits HandlerUnits() {
    return {settings_, users_,   online_,    auto_ban_, statistics_,
            log_,      records_, transfers_, metrics_,  transfer_log_};
  }

  void RebuildTree() {
    for (const char* name : {"home", "anon", "pub", "deep"})
      fs::remove_all(root_ / name);
    fs::create_directories(root_ / "home" / "sub" / "empty");
    fs::create_directories(root_ / "anon");
    fs::create_directories(root_ / "pub");
    fs::create_directories(root_ / "deep");
    fs::create_directories(root_ / "outside");
    WriteFile(root_ / "home" / "a.txt", "alpha\r\nbeta\n");
    WriteFile(root_ / "home" / "sub" / "b.bin", std::string(5000, '\x7f'));
    WriteFile(root_ / "home" / ".hidden", "h");
    WriteFile(root_ / "pub" / "p.txt", "public");
    WriteFile(root_ / "deep" / "d.txt", "deep");
    WriteFile(root_ / "anon" / "x.txt", "anonymous");
    WriteFile(root_ / "outside" / "canary", "canary");
  }

  void Check() const {
    if (online_.Count() != 0)
      Fail("the session is still in the online table");
    if (!transfers_.Transfers().empty())
      Fail("a transfer is still in the transfer table");
    std::size_t outside = 0;
    for (const auto& entry : fs::directory_iterator(root_ / "outside")) {
      (void)entry;
      ++outside;
    }
    std::ifstream canary(root_ / "outside" / "canary");
    std::string content;
    std::getline(canary, content);
    if (outside != 1 || content != "canary")
      Fail("a file outside the client's directories changed");
  }

  TempDir dir_;
  const fs::path root_;
  LogQueue log_;
  Metrics metrics_;
  TransferLog transfer_log_{nullptr};
  Settings settings_;
  Users users_;
  OnlineClients online_;
  AutoBan auto_ban_;
  Statistics statistics_;
  TransferTable transfers_;
  SessionRecords records_;
  FtpSessionHandlers session_;
  FtpFileHandlers files_;
  FtpListingHandler listing_;
  FtpTransferHandlers transfer_;
  LoopbackListener loopback_;
  // Last: its sessions use everything above.
  InlineFtpServer server_;
};

}  // namespace
}  // namespace vantrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vantrel::Harness harness;
  harness.Run(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
