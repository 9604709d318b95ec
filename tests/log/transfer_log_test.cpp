#include "log/transfer_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

TransferRecord Download(std::string filename) {
  TransferRecord record;
  record.finished = EncodeDateTime({2026, 12, 9, 4, 0, 0, 0});
  record.duration = milliseconds(20);
  record.remote_host = "127.0.0.1";
  record.bytes = 1024;
  record.filename = std::move(filename);
  record.user = "alice";
  return record;
}

TEST(TransferLineTest, ClassicColumns) {
  struct Case {
    const char* what;
    TransferRecord record;
    const char* line;
  };
  TransferRecord upload = Download("/in/a b%c\r\n.txt\x7F\xC3\xA9");
  upload.finished = EncodeDateTime({2027, 2, 28, 23, 59, 58, 999});
  upload.duration = milliseconds(2500);
  upload.remote_host = "::1";
  upload.binary = false;
  upload.direction = TransferDirection::kUpload;
  upload.complete = false;
  TransferRecord anonymous = Download("/pub/a.txt");
  anonymous.anonymous = true;
  anonymous.user = "guest mail\n";
  TransferRecord nameless = anonymous;
  nameless.user.clear();
  nameless.bytes = -1;
  const Case cases[] = {
      {"download", Download("/pub/a.txt"),
       "Wed Dec  9 04:00:00 2026 1 127.0.0.1 1024 /pub/a.txt b _ o r alice ftp 0 * c"},
      {"client text escaped", upload,
       "Sun Feb 28 23:59:58 2027 3 ::1 1024 /in/a%20b%25c%0D%0A.txt%7F\xC3\xA9 a _ i r alice ftp "
       "0 * i"},
      {"anonymous", anonymous,
       "Wed Dec  9 04:00:00 2026 1 127.0.0.1 1024 /pub/a.txt b _ o a guest%20mail%0A ftp 0 * c"},
      {"empty field", nameless,
       "Wed Dec  9 04:00:00 2026 1 127.0.0.1 0 /pub/a.txt b _ o a * ftp 0 * c"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatTransferLine(c.record), c.line) << c.what;
}

class TransferLogTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("xferlog");
  std::vector<std::string> errors_;
  TransferLog log_{[this](const std::string& message) { errors_.push_back(message); }};
};

TEST_F(TransferLogTest, ConcurrentSessionsNeverInterleaveLines) {
  log_.SetPath(path_);
  std::vector<std::string> lines;  // long ones, so a torn write would show
  std::vector<std::thread> sessions;
  for (char name = 'a'; name < 'i'; ++name) {
    const TransferRecord record = Download("/" + std::string(3000, name));
    lines.push_back(FormatTransferLine(record));
    sessions.emplace_back([this, record] {
      for (int i = 0; i < 200; ++i)
        log_.Append(record);
    });
  }
  for (auto& session : sessions)
    session.join();
  std::map<std::string, int> written;
  std::ifstream in(path_);
  for (std::string line; std::getline(in, line);)
    ++written[line];
  EXPECT_EQ(written.size(), lines.size());
  for (const auto& line : lines)
    EXPECT_EQ(written[line], 200);
  EXPECT_EQ(fs::status(path_).permissions() & ~fs::perms(0640), fs::perms::none);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(TransferLogTest, FailuresAreReportedOncePerFile) {
  log_.SetPath(dir_.File("missing/xferlog"));
  log_.Append(Download("/a"));
  log_.Append(Download("/b"));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("No such file or directory"), std::string::npos) << errors_[0];

  log_.SetPath("/dev/full");  // opens, then every write fails
  log_.Append(Download("/a"));
  log_.Append(Download("/b"));
  EXPECT_EQ(errors_.size(), 2u);

  log_.SetPath("");
  log_.Append(Download("/a"));
  EXPECT_EQ(errors_.size(), 2u);
}

}  // namespace
}  // namespace vantrel
