// Clients that vanish in the middle of a transfer, seen from inside the service: the tables
// the operator watches (online clients, running transfers) must empty, and the totals must
// hold what actually moved. The end-to-end tests see the same from outside, through the
// log and the web page; only here can the transfer table itself be read.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "accounts/online_clients.h"
#include "ftp/data_client.h"
#include "ftp/ftp_test_client.h"
#include "log/statistics.h"
#include "service/service.h"
#include "support/temp_dir.h"
#include "transfer/transfer_table.h"

namespace vantrel {
namespace {

using testing::ConnectData;
using testing::FtpTestClient;
using testing::PassivePort;

constexpr std::int64_t kBig = 64 * 1024 * 1024;

template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

class VanishingClientTest : public ::testing::Test {
 protected:
  VanishingClientTest() {
    std::ofstream(dir_.File("ftpsettings.lst")) << "[ftpsettings]\nserverport=0\n";
    std::ofstream(dir_.File("ftpmembers.lst"))
        << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=alice\npass=pw\nhome=" << home_
        << "\nallow_download=1\nallow_upload=1\n";
    std::filesystem::create_directories(home_ + "/many");
    std::ofstream(home_ + "/big.bin").close();
    std::filesystem::resize_file(home_ + "/big.bin", kBig);
    for (int i = 0; i < 3000; ++i)
      std::ofstream(home_ + "/many/entry-with-a-long-name-" + std::to_string(i) + ".txt");
    service_.Load();
    service_.StartServer();
  }
  ~VanishingClientTest() override { service_.Shutdown(); }

  // A logged-in client whose transfer command got its preliminary reply.
  struct Transfer {
    FtpTestClient control;
    platform::TcpSocket data;
  };
  Transfer Start(const std::string& command) {
    FtpTestClient control(service_.FtpAddresses().at(0).port);
    control.ReadReply();
    control.Ask("USER alice");
    EXPECT_EQ(control.Ask("PASS pw").substr(0, 3), "230");
    platform::TcpSocket data = ConnectData(PassivePort(control.Ask("PASV")));
    EXPECT_EQ(control.Ask(command).substr(0, 1), "1") << command;
    return {std::move(control), std::move(data)};
  }

  bool TablesEmpty() {
    return service_.online_clients().Count() == 0 && service_.transfers().Transfers().empty();
  }

  TempDir dir_;
  const std::string home_ = dir_.path() + "/home";
  Service service_{dir_.path() + "/"};
};

TEST_F(VanishingClientTest, DownloadListingAndUploadLeaveNoTrace) {
  {
    Transfer download = Start("RETR big.bin");
    char block[65536];
    std::int64_t received = 0;
    while (received < 1024 * 1024)
      received += static_cast<std::int64_t>(download.data.Read(block, sizeof block));
    ASSERT_TRUE(Eventually([this] { return service_.transfers().Transfers().size() == 1; }))
        << "a running download is in the transfer table";
    EXPECT_EQ(service_.online_clients().Count(), 1);
  }  // both connections close with data unread
  ASSERT_TRUE(Eventually([this] { return TablesEmpty(); }));
  const std::int64_t downloaded = service_.statistics().GetDownloaded();
  EXPECT_GE(downloaded, 1024 * 1024);
  EXPECT_LT(downloaded, kBig) << "the total holds what left the file, not the file's size";

  {
    Transfer listing = Start("LIST many");
    char block[4096];
    EXPECT_GT(listing.data.Read(block, sizeof block), 0u);
  }
  ASSERT_TRUE(Eventually([this] { return TablesEmpty(); }));

  {
    Transfer upload = Start("STOR part.bin");
    upload.data.Write(std::string(300000, 'u'));
    ASSERT_TRUE(
        Eventually([this] { return std::filesystem::file_size(home_ + "/part.bin") == 300000; }));
    // The control connection goes first: an upload's data connection ending is how a
    // whole upload ends, so it stays open until the session is gone.
    upload.control.socket().Close();
    ASSERT_TRUE(Eventually([this] { return TablesEmpty(); }));
  }
  EXPECT_EQ(service_.statistics().GetUploaded(),
            static_cast<std::int64_t>(std::filesystem::file_size(home_ + "/part.bin")));
  EXPECT_EQ(service_.statistics().GetDownloaded(), downloaded) << "a listing is no download";
  EXPECT_EQ(service_.statistics().GetSessions(), 3);
}

}  // namespace
}  // namespace vantrel
