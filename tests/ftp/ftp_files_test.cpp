// Commands answered from the host's files: SIZE, MDTM, MFMT and the checksums, with a
// host over a temporary directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/ftp_server_fixture.h"
#include "ftp/memory_stream.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::Converse;
using testing::FtpTestClient;
namespace fs = std::filesystem;

class FtpFilesTest : public testing::FtpServerFixture {
 protected:
  FtpFilesTest() {
    LoginAccepts();
    Write("hello.txt", "hello world\n");
    Write("digits", "123456789");
    Write("abc", "abc");
    fs::create_directory(root_.File("dir"));
    host_.file_size = [this](FtpSession& session,
                             std::string_view argument) -> std::optional<std::int64_t> {
      std::error_code error;
      const auto bytes = fs::file_size(Disk(testing::Joined(session, argument)), error);
      if (error)
        return std::nullopt;
      return static_cast<std::int64_t>(bytes);
    };
    // "/endless" is a stream no checksum finishes.
    host_.open_for_checksum = [this](FtpSession& session, std::string_view argument,
                                     bool whole_file) -> std::unique_ptr<FtpStream> {
      const std::string name = testing::Joined(session, argument);
      recorded_.Add((whole_file ? "whole " : "part ") + name);
      if (name == "/endless")
        return std::make_unique<testing::PatternStream>(std::int64_t{1} << 50);
      if (fs::is_regular_file(Disk(name)))
        return std::make_unique<FileFtpStream>(Disk(name), platform::File::Mode::kRead);
      return nullptr;
    };
  }

  std::string Disk(const std::string& ftp_path) const { return root_.path() + ftp_path; }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(root_.File(name), std::ios::binary) << content;
  }

  TempDir root_;
};

TEST_F(FtpFilesTest, SizeOfFilesBigAndSmall) {
  Write("sparse", "");
  fs::resize_file(root_.File("sparse"), 5'000'000'009);  // sparse: costs no disk
  Start();
  FtpTestClient client = LoggedIn();
  struct Case {
    const char* sent;
    const char* reply;
  };
  const Case cases[] = {
      {"SIZE hello.txt", "213 12"},
      {"SIZE /sparse", "213 5000000009"},
      {"SIZE missing", "550 Requested action aborted: local error in processing."},
      {"SIZE", "501 Error in parameters to SIZE"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
}

TEST_F(FtpFilesTest, ChecksumsOfKnownContent) {
  Write("sparse", "");
  fs::resize_file(root_.File("sparse"), 5'000'000'100);
  Start();
  FtpTestClient client = LoggedIn();
  const std::string abc_md5 = "abc 900150983CD24FB0D6963F7D28E17F72";
  std::string sixteen = "MMD5 abc";
  std::string sixteen_md5 = "252 " + abc_md5;
  for (int i = 1; i < 16; ++i) {
    sixteen += ",abc";
    sixteen_md5 += ", " + abc_md5;
  }
  struct Case {
    std::string sent;
    std::string reply;
  };
  const Case cases[] = {
      {"XCRC digits", "250 CBF43926"},
      {"XCRC \"digits\"", "250 CBF43926"},
      {"XCRC \"digits\" 2 6", "250 8D339230"},
      {"XCRC digits 0 9", "250 CBF43926"},
      {"XCRC digits 2", "250 4E337267"},
      {"XCRC \"sparse\" 5000000000 5000000009", "250 E60914AE"},
      {"XCRC digits 6 2", "501 Error in parameters to XCRC"},
      {"XCRC", "501 Error in parameters to XCRC"},
      {"XCRC \"\"", "501 Error in parameters to XCRC"},
      {"XCRC nothing", "550 Requested action aborted: local error in processing."},
      {"XMD5 hello.txt", "250 6F5902AC237024BDD0C176CB93063DC4"},
      {"XMD5 \"abc\" 0 3", "250 900150983CD24FB0D6963F7D28E17F72"},
      {"MD5 \"abc\"", "251 abc 900150983CD24FB0D6963F7D28E17F72"},
      {"MMD5 abc, hello.txt",
       "252 abc 900150983CD24FB0D6963F7D28E17F72, hello.txt 6F5902AC237024BDD0C176CB93063DC4"},
      {"MMD5 abc,", "501 Error in parameters to MMD5"},
      {sixteen, sixteen_md5},
      {sixteen + ",abc", "501 MMD5 takes at most 16 file names"},
      {"MMD5 abc,nothing", "550 Requested action aborted: local error in processing."},
      {"MD5 dir", "550 Requested action aborted: local error in processing."},
  };
  for (const auto& c : cases)
    EXPECT_EQ(client.Ask(c.sent), c.reply) << c.sent;
}

TEST_F(FtpFilesTest, ChecksumsTellTheHostWhetherTheyReadTheWholeFile) {
  Start();
  FtpTestClient client = LoggedIn();
  for (const char* sent : {"XCRC abc", "XCRC abc 0", "XMD5 \"abc\" 0 0", "MD5 abc", "MMD5 abc,abc",
                           "XCRC abc 1", "XCRC abc 0 2", "XMD5 abc 1 3"})
    EXPECT_EQ(client.Ask(sent).substr(0, 2), "25") << sent;
  EXPECT_EQ(recorded_.Entries(), (std::vector<std::string>{"whole /abc", "whole /abc", "whole /abc",
                                                           "whole /abc", "whole /abc", "whole /abc",
                                                           "part /abc", "part /abc", "part /abc"}));
}

TEST_F(FtpFilesTest, ChecksumsStopOnAbortAndWhenTheClientLeaves) {
  Start();
  for (const char* sent : {"XCRC endless", "XMD5 endless 5", "MD5 endless", "MMD5 abc,endless"}) {
    FtpTestClient client = LoggedIn();
    client.SendLine(sent);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(client.Ask("STAT"), "211 End of Status") << sent << ": answered meanwhile";
    const auto abort = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Ask("ABOR"), "426 Checksum aborted.") << sent;
    EXPECT_EQ(client.ReadReply(), "226 ABOR Command successful.") << sent;
    EXPECT_LT(std::chrono::steady_clock::now() - abort, 1s) << sent;
    EXPECT_EQ(client.Ask("NOOP"), "200 NOOP Command successful.") << sent;

    client.SendLine(sent);
    std::this_thread::sleep_for(100ms);
    client.socket().Close();
    const auto left = std::chrono::steady_clock::now();
    while (server_.ConnectionCount() > 0 && std::chrono::steady_clock::now() - left < 2s)
      std::this_thread::sleep_for(10ms);
    EXPECT_LT(std::chrono::steady_clock::now() - left, 1s) << sent << ": the session ended";
  }
}

TEST_F(FtpFilesTest, ChecksumHandlerRefusalUsesTheCommandsCode) {
  host_.open_for_checksum = [](FtpSession& session, std::string_view argument,
                               bool) -> std::unique_ptr<FtpStream> {
    throw FtpError("Checksum file failed " + testing::Joined(session, argument));
  };
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("XCRC f"), "550 Checksum file failed /f");
  EXPECT_EQ(client.Ask("MD5 f"), "504 Checksum file failed /f");
}

TEST_F(FtpFilesTest, ModificationTimes) {
  host_.file_time = [this](FtpSession& session,
                           std::string_view argument) -> std::optional<DateTime> {
    const std::string name = testing::Joined(session, argument);
    recorded_.Add("date " + name);
    if (name == "/old" || name == "/20240105123456 odd name")
      return EncodeDateTime({2024, 1, 5, 12, 34, 56, 0});
    if (name == "/precise")
      return EncodeDateTime({2024, 1, 5, 12, 34, 56, 250});
    return std::nullopt;
  };
  host_.file_exists = [this](FtpSession& session, std::string_view argument) {
    const std::string name = testing::Joined(session, argument);
    recorded_.Add("exists " + name);
    return name == "/20240105123456 odd name";
  };
  host_.set_modified_time = [this](FtpSession& session, std::string_view argument,
                                   std::chrono::system_clock::time_point) {
    recorded_.Add("set " + testing::Joined(session, argument));
  };
  Start();
  FtpTestClient client = LoggedIn();
  const std::string plain = client.Ask("MDTM old");
  ASSERT_EQ(plain.size(), 18u) << plain;
  EXPECT_EQ(plain.substr(0, 4), "213 ");
  EXPECT_EQ(plain.substr(14), "3456") << "minutes and seconds survive any whole-hour zone";
  const std::string precise = client.Ask("MDTM precise");
  EXPECT_EQ(precise.substr(4), plain.substr(4) + ".250");
  EXPECT_EQ(client.Ask("MDTM gone"), "550 Requested action aborted: local error in processing.");
  EXPECT_EQ(client.Ask("MDTM 20240105123456 odd name").size(), 18u);
  EXPECT_EQ(client.Ask("MDTM 20240105123456 other"), "253 Date/time changed okay.");
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{
                "date /old", "date /precise", "date /gone", "exists /20240105123456 odd name",
                "date /20240105123456 odd name", "exists /20240105123456 other", "set /other"}));
}

TEST_F(FtpFilesTest, SettingTimesHandsTheHostTheUtcMomentAndFeatSaysSo) {
  host_.file_exists = [](FtpSession& session, std::string_view argument) {
    return testing::Joined(session, argument) == "/20240105123456 taken";
  };
  host_.set_modified_time = [this](FtpSession& session, std::string_view argument,
                                   std::chrono::system_clock::time_point time) {
    const std::string name = testing::Joined(session, argument);
    if (name == "/locked")
      throw FtpError("Not allowed to set the time of " + name);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
    recorded_.Add(name + " " + std::to_string(ms.count()));
  };
  Start();
  FtpTestClient client = LoggedIn();
  Converse(
      client,
      {
          {"MFMT 20240105123456 a.txt", "213 Modify=20240105123456 a.txt"},
          {"MFMT 20240105123456.25 dir/b c", "213 Modify=20240105123456.25 dir/b c"},
          {"MDTM 20240105123457 a.txt", "253 Date/time changed okay."},
          {"MFMT 20240105123456 locked", "550 Not allowed to set the time of /locked"},
          {"MDTM 20240105123456 locked", "550 Not allowed to set the time of /locked"},
          {"MFMT 20241305123456 a.txt", "501 Error in parameters to MFMT"},
          {"MFMT 99991231235959 a.txt", "501 Error in parameters to MFMT"},
          {"MFMT 20240105123456", "501 Error in parameters to MFMT"},
          {"MFMT a.txt", "501 Error in parameters to MFMT"},
          // A file whose whole name starts with a time stamp is asked for its date instead.
          {"MDTM 20240105123456 taken", "550 Requested action aborted: local error in processing."},
          {"MDTM 20240105123456", "550 Requested action aborted: local error in processing."},
      });
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{"/a.txt 1704458096000", "/dir/b c 1704458096250",
                                      "/a.txt 1704458097000"}));
  const std::string feat = client.Ask("FEAT");
  EXPECT_NE(feat.find("\n LIST -laT\n MDTM YYYYMMDDHHMMSS filename\n MFMT\n MLSD\n"),
            std::string::npos)
      << feat;
}

TEST_F(FtpFilesTest, FileQuestionsNeedALogin) {
  Start();
  FtpTestClient client = Connect();
  for (const char* sent : {"MDTM x", "SIZE x", "MFMT 20240105123456 x"})
    EXPECT_EQ(client.Ask(sent), "530 Not logged in.") << sent;
  EXPECT_TRUE(recorded_.Entries().empty());
}

}  // namespace
}  // namespace vantrel
