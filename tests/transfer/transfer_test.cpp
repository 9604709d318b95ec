#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "log/statistics.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"
#include "transfer/transfer_stream.h"
#include "transfer/transfer_table.h"

namespace vantrel {
namespace {

using Mode = TransferStream::Mode;

class TransferTest : public ::testing::Test {
 protected:
  std::string MakeFile(const char* name, std::size_t size) {
    const std::string path = dir_.File(name);
    std::ofstream(path, std::ios::binary) << std::string(size, 'd');
    return path;
  }
  TempDir dir_;
  Statistics statistics_;
  TransferTable table_{statistics_};
};

TEST_F(TransferTest, ShownCells) {
  table_.UpdateTransfer("/srv/a.iso", 2000, 7, 4096, 1536);
  table_.UpdateTransfer("/srv/b.bin", 0, 8, 1023, 0);
  table_.UpdateTransfer("/srv/c.bin", 1000, 9, 500, 500);
  table_.UpdateTransfer("/srv/renamed.iso", 4000, 7, 4096, 3072);  // same id: name stays
  const std::vector<std::vector<std::string>> expected{
      {"/srv/a.iso", "3.00 KB", "4.00 KB", "768 Byte(s)/s", "1 s"},
      {"/srv/b.bin", "0 Byte(s)", "1023 Byte(s)", "0 Byte(s)/s", "-"},
      {"/srv/c.bin", "500 Byte(s)", "500 Byte(s)", "500 Byte(s)/s", "-"},
  };
  std::vector<std::vector<std::string>> shown;
  for (const TransferData& transfer : table_.Transfers())
    shown.push_back(TransferCells(transfer));
  EXPECT_EQ(shown, expected);
}

TEST_F(TransferTest, FinishAddsToTotalsEvenForUnknownIds) {
  table_.UpdateTransfer("x", 10, 1, 10, 5);
  table_.FinishTransfer(1, 5000, 0);
  table_.FinishTransfer(424242, 0, 1536);
  EXPECT_TRUE(table_.Transfers().empty());
  EXPECT_EQ(statistics_.GetDownloaded(), 5000);
  EXPECT_EQ(statistics_.GetUploaded(), 1536);
}

TEST_F(TransferTest, DownloadStreamReportsAndCountsItsBytes) {
  const std::string path = MakeFile("five.bin", 5000);
  {
    TransferStream stream(path, Mode::kRead, 0, table_);
    char buffer[4096];
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4096u);
    ASSERT_EQ(table_.Transfers().size(), 1u);
    EXPECT_EQ(table_.Transfers()[0].position, 4096);
    EXPECT_EQ(table_.Transfers()[0].size, 5000);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 904u);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
  }
  EXPECT_TRUE(table_.Transfers().empty());
  EXPECT_EQ(statistics_.GetDownloaded(), 5000);
}

TEST_F(TransferTest, ReportsTheFirstBlockThenOncePerInterval) {
  using std::chrono::milliseconds;
  struct Case {
    const char* name;
    Mode mode;
    milliseconds interval;
    std::int64_t shown;  // position in the table after three blocks of 1000 bytes
  };
  const Case cases[] = {
      {"download, every block", Mode::kRead, milliseconds(0), 3000},
      {"download, an hour apart", Mode::kRead, std::chrono::hours(1), 1000},
      {"upload, every block", Mode::kCreate, milliseconds(0), 3000},
      {"upload, an hour apart", Mode::kCreate, std::chrono::hours(1), 1000},
  };
  for (const auto& c : cases) {
    TransferTable table(statistics_);
    TransferStream stream(MakeFile("blocks.bin", 3000), c.mode, 0, table, c.interval);
    char buffer[1000] = {};
    for (int i = 0; i < 3; ++i) {
      if (c.mode == Mode::kRead) {
        ASSERT_EQ(stream.Read(buffer, sizeof buffer), sizeof buffer) << c.name;
      } else {
        stream.Write(buffer, sizeof buffer);
      }
    }
    ASSERT_EQ(table.Transfers().size(), 1u) << c.name;
    EXPECT_EQ(table.Transfers()[0].position, c.shown) << c.name;
  }
}

TEST_F(TransferTest, UploadModes) {
  const std::string path = MakeFile("up.bin", 100);
  {
    TransferStream stream(path, Mode::kCreate, 0, table_);
    EXPECT_EQ(stream.Size(), 0) << "an existing file is emptied at once";
    stream.Write("abc", 3);
  }
  {
    TransferStream stream(path, Mode::kAppend, 0, table_);
    stream.Write("def", 3);
  }
  EXPECT_EQ(platform::ReadWholeFile(path), "abcdef");
  EXPECT_EQ(statistics_.GetUploaded(), 6);
  EXPECT_THROW(TransferStream(dir_.File("missing"), Mode::kAppend, 0, table_), platform::FileError);
  EXPECT_THROW(TransferStream(dir_.path(), Mode::kRead, 0, table_), platform::FileError);
}

TEST_F(TransferTest, ReadersShareButNeverMeetAWriter) {
  const std::string path = MakeFile("shared.bin", 10);
  TransferStream first(path, Mode::kRead, 0, table_);
  TransferStream second(path, Mode::kRead, 0, table_);
  EXPECT_THROW(TransferStream(path, Mode::kCreate, 0, table_), platform::FileError);
  EXPECT_EQ(platform::ReadWholeFile(path)->size(), 10u) << "refused upload must not truncate";
}

TEST_F(TransferTest, SpeedLimitHoldsEachChunk) {
  const std::string path = MakeFile("slow.bin", 3000);
  TransferStream stream(path, Mode::kRead, 10000, table_);
  char buffer[1000];
  const auto start = std::chrono::steady_clock::now();
  while (stream.Read(buffer, sizeof buffer) > 0) {
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(statistics_.GetDownloaded(), 0) << "counted before the stream closed";
  EXPECT_GE(took, std::chrono::milliseconds(300));  // 3000 bytes at 10000 B/s
  EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST_F(TransferTest, SpeedLimitAbsorbsTheCallersOwnTime) {
  // Ten blocks of 1000 bytes at 10000 B/s are due after one second. A caller that spends
  // 60 ms on each block (a slow send) must not add those 0.6 s on top.
  TransferStream stream(MakeFile("paced.bin", 10000), Mode::kRead, 10000, table_);
  char buffer[1000];
  const auto start = std::chrono::steady_clock::now();
  while (stream.Read(buffer, sizeof buffer) > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::milliseconds(1400));
}

TEST_F(TransferTest, LimitedBlocksHoldATenthOfASecond) {
  const std::string path = MakeFile("blocks.bin", 100000);
  TransferStream stream(path, Mode::kRead, 20000, table_);
  std::vector<char> buffer(65536);
  EXPECT_EQ(stream.Read(buffer.data(), buffer.size()), 2000u);
  TransferStream other(MakeFile("ids.bin", 1), Mode::kRead, 0, table_);
  EXPECT_NE(stream.id(), other.id());
}

}  // namespace
}  // namespace vantrel
