#include "log/log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Numbered(int first, int last) {
  std::vector<std::string> lines;
  for (int i = first; i <= last; ++i)
    lines.push_back("line " + std::to_string(i));
  return lines;
}

std::vector<std::string> LinesOf(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() {
    log_.SetFilename(path_);
    log_.SetTimeStamp(false);
  }

  TempDir dir_;
  std::string path_ = dir_.File("FTPLog.txt");
  ManualClock clock_{EncodeDateTime({2024, 3, 5, 14, 7, 9, 0})};
  LogFile log_{clock_};
};

TEST_F(LogFileTest, TimeStampPrefixesEachLine) {
  log_.SetTimeStamp(true);
  log_.WriteLines({"- Server started", "10.0.0.5:3012> Connected"});
  EXPECT_EQ(platform::ReadWholeFile(path_),
            "2024-03-05 14:07:09> - Server started\n"
            "2024-03-05 14:07:09> 10.0.0.5:3012> Connected\n");
  EXPECT_EQ(log_.LastLine(), "10.0.0.5:3012> Connected") << "the last line has no stamp";
  EXPECT_EQ(log_.LastTime(), clock_.Now());
}

TEST_F(LogFileTest, UnboundedAppendsAcrossRunsAndIsPrivate) {
  log_.Write("one");
  {
    LogFile next_run;
    next_run.SetFilename(path_);
    next_run.SetTimeStamp(false);
    next_run.WriteLines({"two", "three"});
  }
  EXPECT_EQ(LinesOf(path_), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all, fs::perms(0600))
      << "the log records tried passwords";
}

TEST_F(LogFileTest, LineBreaksInsideALineCannotForgeRecords) {
  log_.SetMaxLines(3);
  log_.Write("user\r\n2024-01-01 00:00:00> - Server stopped");
  EXPECT_EQ(LinesOf(path_),
            std::vector<std::string>{"user  2024-01-01 00:00:00> - Server stopped"});
}

TEST_F(LogFileTest, BoundedWriteDropsTheOldestLine) {
  log_.SetMaxLines(500);
  for (const auto& line : Numbered(1, 500))
    log_.Write(line);
  ASSERT_EQ(LinesOf(path_), Numbered(1, 500));
  log_.SetMaxLines(-1);  // ignored
  log_.Write("line 501");
  EXPECT_EQ(LinesOf(path_), Numbered(2, 501));
}

TEST_F(LogFileTest, BoundedBatchesKeepExactlyTheNewestLines) {
  const struct {
    int already;  // lines in the file before the batch
    int batch;
    int first_kept;
  } cases[] = {
      {20, 10, 11},   // full file, batch of 10
      {15, 10, 6},    // crosses the bound
      {0, 30, 11},    // one batch longer than the bound
      {5, 10, 1},     // stays below
      {300, 1, 282},  // an old unbounded log is cut down at the first write
  };
  log_.SetMaxLines(20);
  for (const auto& c : cases) {
    std::ofstream(path_, std::ios::trunc) << "";
    for (const auto& line : Numbered(1, c.already))
      std::ofstream(path_, std::ios::app) << line << '\n';
    int writes = 0;
    log_.AfterLog = [&] { ++writes; };
    log_.WriteLines(Numbered(c.already + 1, c.already + c.batch));
    EXPECT_EQ(LinesOf(path_), Numbered(c.first_kept, c.already + c.batch)) << c.already;
    EXPECT_EQ(writes, 1) << "a batch is one write";
  }
}

TEST_F(LogFileTest, ExistingFileWithoutFinalLineBreakKeepsItsLastLine) {
  std::ofstream(path_) << "old 1\nold 2";
  log_.SetMaxLines(3);
  log_.Write("new");
  EXPECT_EQ(LinesOf(path_), (std::vector<std::string>{"old 1", "old 2", "new"}));
}

TEST_F(LogFileTest, EventsSeeAndShapeTheLines) {
  log_.SetMaxLines(2);
  log_.OnLog = [](std::string& line) { line = "[" + line + "]"; };
  bool asked = false;
  log_.OnLogFull = [&](bool& trim) {
    asked = true;
    trim = false;
  };
  log_.WriteLines({"a", "b"});
  EXPECT_FALSE(asked) << "two lines fit";
  log_.Write("c");
  EXPECT_TRUE(asked);
  EXPECT_EQ(LinesOf(path_), (std::vector<std::string>{"[a]", "[b]", "[c]"}));
  EXPECT_EQ(log_.LastLine(), "[c]");
}

TEST_F(LogFileTest, EmptyFilenameWritesNothingButRemembersTheLine) {
  log_.SetFilename("");
  bool after = false;
  log_.AfterLog = [&] { after = true; };
  log_.Write("- Server started");
  EXPECT_EQ(log_.LastLine(), "- Server started");
  EXPECT_FALSE(after);
  EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(LogFileTest, UnwritableFileIsReportedAndLoggingGoesOn) {
  for (const int max_lines : {0, 500}) {
    LogFile log(clock_);
    log.SetFilename(dir_.File("missing/FTPLog.txt"));
    log.SetMaxLines(max_lines);
    std::vector<std::string> errors;
    bool after = false;
    log.OnError = [&](const std::string& message) {
      errors.push_back(message);
      EXPECT_EQ(log.LastError(), message) << "the handler may read the component";
    };
    log.AfterLog = [&] { after = true; };
    log.Write("a");
    log.Write("b");
    EXPECT_EQ(log.LastError(), "Failed to create log file.") << max_lines;
    EXPECT_EQ(errors, (std::vector<std::string>(2, "Failed to create log file."))) << max_lines;
    EXPECT_FALSE(after) << max_lines;
    EXPECT_EQ(log.LastLine(), "b") << max_lines;
  }
  EXPECT_FALSE(fs::exists(dir_.File("missing")));
}

TEST_F(LogFileTest, BoundedModeNeverOverwritesALogItCannotRead) {
  fs::create_directory(path_);  // unreadable as a file, even for root
  log_.SetMaxLines(10);
  log_.Write("a");
  EXPECT_EQ(log_.LastError(), "Failed to read log file.");
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace vantrel
