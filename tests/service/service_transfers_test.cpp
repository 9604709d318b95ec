#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "ftp/ftp_test_client.h"
#include "log/statistics.h"
#include "platform/tcp_socket.h"
#include "service/service.h"
#include "support/temp_dir.h"
#include "transfer/transfer_table.h"

// The table of running transfers and the byte totals while real clients download and
// upload through the service.

namespace vantrel {
namespace {

using testing::FtpTestClient;

constexpr std::int64_t kLimit = 10000;

template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)."
int PassivePort(const std::string& reply) {
  std::smatch match;
  static const std::regex kPasv(R"(^227 .*\(\d+,\d+,\d+,\d+,(\d+),(\d+)\)\.$)");
  if (!std::regex_match(reply, match, kPasv))
    throw std::runtime_error("not a PASV reply: " + reply);
  return std::stoi(match[1]) * 256 + std::stoi(match[2]);
}

std::size_t ReadAll(platform::TcpSocket& data) {
  std::size_t total = 0;
  char block[8192];
  while (const std::size_t got = data.Read(block, sizeof block))
    total += got;
  return total;
}

class ServiceTransfersTest : public ::testing::Test {
 protected:
  ServiceTransfersTest() {
    std::ofstream(dir_.File("ftpsettings.lst")) << "[ftpsettings]\nserverport=0\npasvrangesize=0\n";
    std::ofstream(dir_.File("ftpmembers.lst"))
        << "[ftpmembers]\nftpmembers=2\n"
        << "[ftpmember0]\nuser=slow\npass=pw\nallow_download=1\ndownload=" << kLimit
        << "\nhome=" << dir_.path() << "\n"
        << "[ftpmember1]\nuser=fast\npass=pw\nallow_download=1\nallow_upload=1\nhome="
        << dir_.path() << "\n";
    std::ofstream(dir_.File("limited.bin")) << std::string(20000, 'x');
    service_.Load();
    service_.StartServer();
  }
  ~ServiceTransfersTest() override { service_.Shutdown(); }

  FtpTestClient Login(const std::string& user) {
    FtpTestClient client(service_.FtpAddresses().at(0).port);
    client.ReadReply();
    client.Ask("USER " + user);
    EXPECT_EQ(client.Ask("PASS pw").substr(0, 3), "230");
    return client;
  }

  platform::TcpSocket OpenPassive(FtpTestClient& client) {
    const int port = PassivePort(client.Ask("PASV"));
    auto data = platform::TcpSocket::Connect({"127.0.0.1", port}, FtpTestClient::kWait);
    data.SetReadTimeout(FtpTestClient::kWait);
    return data;
  }

  std::vector<TransferData> Running() { return service_.transfers().Transfers(); }

  TempDir dir_;
  Service service_{dir_.path() + "/"};
};

TEST_F(ServiceTransfersTest, RunningDownloadsAreRenderedAndCountedWhenDone) {
  FtpTestClient first = Login("slow");
  FtpTestClient second = Login("slow");
  auto first_data = OpenPassive(first);
  auto second_data = OpenPassive(second);
  ASSERT_EQ(first.Ask("RETR limited.bin").substr(0, 3), "150");
  ASSERT_EQ(second.Ask("RETR limited.bin").substr(0, 3), "150");

  // Both readers of the one file have rows of their own.
  ASSERT_TRUE(Eventually([this] {
    const auto running = Running();
    return running.size() == 2 && running[0].position >= 3000 && running[1].position >= 3000;
  }));
  const auto running = Running();
  EXPECT_NE(running[0].id, running[1].id);
  ASSERT_EQ(running.size(), 2u);
  static const std::regex kLine(
      R"(^(.*)\|\|([0-9.]+) KB\|\|19\.53 KB\|\|([0-9.]+) KB/s\|\|\d+ s\|\|$)");
  for (const TransferData& transfer : running) {
    std::string line;
    for (const std::string& cell : TransferCells(transfer))
      line += cell + "||";
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kLine)) << line;
    EXPECT_EQ(match[1], dir_.File("limited.bin"));
    const double speed = std::stod(match[3]) * 1024;
    EXPECT_GT(speed, kLimit * 0.8) << line;
    EXPECT_LT(speed, kLimit * 1.1) << line;
  }

  EXPECT_EQ(ReadAll(first_data), 20000u);
  EXPECT_EQ(ReadAll(second_data), 20000u);
  EXPECT_EQ(first.ReadReply().substr(0, 3), "226");
  EXPECT_EQ(second.ReadReply().substr(0, 3), "226");
  EXPECT_TRUE(Running().empty());
  EXPECT_EQ(service_.statistics().GetDownloaded(), 40000);
  EXPECT_EQ(service_.statistics().GetUploaded(), 0);
}

TEST_F(ServiceTransfersTest, UploadsCountAsUploadedAndRefusalsCountNothing) {
  FtpTestClient client = Login("fast");
  {
    auto data = OpenPassive(client);
    ASSERT_EQ(client.Ask("STOR up.bin").substr(0, 3), "150");
    data.Write(std::string(12345, 'u'));
    data.Close();
    EXPECT_EQ(client.ReadReply().substr(0, 3), "226");
  }
  {
    auto data = OpenPassive(client);
    EXPECT_EQ(client.Ask("RETR missing.bin").substr(0, 3), "550");
  }
  EXPECT_EQ(client.Ask("XCRC up.bin").substr(0, 3), "250");
  EXPECT_EQ(service_.statistics().GetUploaded(), 12345);
  EXPECT_EQ(service_.statistics().GetDownloaded(), 0);
  EXPECT_TRUE(Running().empty());
}

}  // namespace
}  // namespace vantrel
