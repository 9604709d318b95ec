// The FTP command table over real connections: replies, and the paths the host is handed.

#include <gtest/gtest.h>

#include <map>

#include "ftp/ftp_server_fixture.h"

namespace vantrel {
namespace {

using testing::Converse;
using testing::FtpTestClient;

class FtpCommandsTest : public testing::FtpServerFixture {
 protected:
  FtpCommandsTest() { LoginAccepts(); }

  // Records what each file question was asked, in order.
  void RecordFileEvents() {
    host_.change_directory = [this](FtpSession& session, std::string_view argument) {
      const std::string directory = testing::JoinedDirectory(session, argument);
      recorded_.Add("cd " + directory);
      if (directory.find("forbidden") != std::string::npos) {
        throw FtpError("Not allowed to change directory");
      }
      return directory == "/alias" ? std::string("/real") : directory;
    };
    host_.rename_file = [this](FtpSession& session, std::string_view from, std::string_view to) {
      recorded_.Add(std::string(from) + " -> " + testing::Joined(session, to));
    };
    host_.delete_file = [this](FtpSession& session, std::string_view path) {
      recorded_.Add("dele " + testing::Joined(session, path));
    };
    host_.make_directory = [this](FtpSession& session, std::string_view argument) {
      const std::string path = testing::JoinedDirectory(session, argument);
      recorded_.Add("mkd " + path);
      return path;
    };
    host_.remove_directory = [this](FtpSession& session, std::string_view argument) {
      const std::string path = testing::JoinedDirectory(session, argument);
      recorded_.Add("rmd " + path);
      throw FtpError("Failed to remove directory " + path);
    };
  }
};

TEST_F(FtpCommandsTest, DirectoryChangesAsTheHostSeesThem) {
  RecordFileEvents();
  Start();
  FtpTestClient client = LoggedIn();
  Converse(client, {
                       {"CWD sub", "250 CWD Command successful."},
                       {"PWD", "257 \"/sub\" is working directory."},
                       {"XCWD deeper/", "250 XCWD Command successful."},
                       {"XPWD", "257 \"/sub/deeper\" is working directory."},
                       {"CWD ..", "250 CWD Command successful."},
                       {"PWD", "257 \"/sub\" is working directory."},
                       {"CWD", "250 CWD Command successful."},
                       {"CWD /x/../y", "250 CWD Command successful."},
                       {"CDUP", "250 \"/\" is working directory."},
                       {"CWD /alias", "250 CWD Command successful."},
                       {"PWD", "257 \"/real\" is working directory."},
                       {"CWD forbidden", "550 Not allowed to change directory"},
                       {"PWD", "257 \"/real\" is working directory."},
                       {"XCUP", "250 \"/\" is working directory."},
                       {"CWD /say \"hi\"/in", "250 CWD Command successful."},
                       {"PWD", "257 \"/say \"\"hi\"\"/in\" is working directory."},
                       {"CDUP", "250 \"/say \"\"hi\"\"\" is working directory."},
                   });
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{"cd /sub", "cd /sub/deeper", "cd /sub", "cd /", "cd /y",
                                      "cd /", "cd /alias", "cd /real/forbidden", "cd /",
                                      "cd /say \"hi\"/in", "cd /say \"hi\""}));
}

TEST_F(FtpCommandsTest, FileCommandsHandTheHostTheClientsPaths) {
  RecordFileEvents();
  Start();
  FtpTestClient client = LoggedIn();
  Converse(client, {
                       {"CWD docs", "250 CWD Command successful."},
                       {"RNTO b", "503 Bad sequence of commands."},
                       {"RNFR a.txt", "350 Requested file action pending further information."},
                       {"RNTO /other/b.txt", "250 Ok"},
                       {"RNTO c", "503 Bad sequence of commands."},
                       {"DELE old.txt", "250 Requested file action okay, completed."},
                       {"DELE", "501 Error in parameters to DELE"},
                       {"MKD new/", "257 \"/docs/new\" created."},
                       {"XMKD ../up", "257 \"/up\" created."},
                       {"MKD \"q\"", "257 \"/docs/\"\"q\"\"\" created."},
                       {"RMD new/", "550 Failed to remove directory /docs/new"},
                       {"XRMD new", "551 Failed to remove directory /docs/new"},
                       {"RMD /", "550 Failed to remove directory /"},
                   });
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{
                "cd /docs", "/docs/a.txt -> /other/b.txt", "dele /docs/old.txt", "mkd /docs/new",
                "mkd /up", "mkd /docs/\"q\"", "rmd /docs/new", "rmd /docs/new", "rmd /"}));
}

TEST_F(FtpCommandsTest, SessionSettingsAndPlainReplies) {
  Start();
  FtpTestClient client = LoggedIn();
  Converse(client,
           {
               {"TYPE i", "200 Type set to I."},
               {"TYPE A", "200 Type set to A."},
               {"TYPE E", "504 Command not implemented for that parameter."},
               {"STRU r", "200 Structure set to R."},
               {"STRU x", "504 Command not implemented for that parameter."},
               {"MODE s", "200 Mode set to S."},
               {"MODE Z", "504 Unimplemented mode."},
               {"ALLO 5", "200 ALLO Command successful."},
               {"ALLO R 1000", "200 ALLO Command successful."},
               {"ALLO 1000", "504 Command not implemented for that parameter."},
               {"ALLO", "504 Command not implemented for that parameter."},
               {"REST 5000000000", "350 Requested file action pending further information."},
               {"REST junk", "350 Requested file action pending further information."},
               {"REIN", "220 Service ready for new user."},
               {"PWD", "257 \"/\" is working directory."},
               {"SYST", "215 UNIX Type: L8"},
               {"STAT", "211 End of Status"},
               {"ABOR", "226 ABOR Command successful."},
               {"xyz abc", "500 'XYZ abc': command not understood."},
               {"xyz\tabc", "500 'XYZ\tabc': command not understood."},
               {"NOOPX", "500 'NOOPX': command not understood."},
               {"CONF x", "500 'CONF x': command not understood."},
               {"COMB a b", "550 \"COMB\" Command not implemented."},
           });
}

TEST_F(FtpCommandsTest, SessionStateFollowsTheCommands) {
  host_.change_directory = [this](FtpSession& session, std::string_view) {
    recorded_.Add(std::string(session.DataType() == FtpDataType::kBinary ? "binary" : "ascii") +
                  " rest=" + std::to_string(session.RestartPosition()) + " allo=" +
                  std::to_string(session.AlloSize()) + (session.Authenticated() ? " in" : " out"));
    return std::string("/");
  };
  Start();
  FtpTestClient client = LoggedIn();
  Converse(client, {{"CWD /", "250 CWD Command successful."},
                    {"TYPE I", "200 Type set to I."},
                    {"REST 5000000000", "350 Requested file action pending further information."},
                    {"ALLO R 77", "200 ALLO Command successful."},
                    {"CWD /", "250 CWD Command successful."},
                    {"REIN", "220 Service ready for new user."},
                    {"CWD /", "250 CWD Command successful."}});
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{"ascii rest=0 allo=0 in", "binary rest=5000000000 allo=77 in",
                                      "ascii rest=5000000000 allo=77 in"}));
}

TEST_F(FtpCommandsTest, TransfersWithoutAPreparedChannel) {
  Start();
  FtpTestClient client = LoggedIn();
  for (const char* sent : {"RETR f", "STOR f", "STOU", "APPE f", "LIST", "NLST", "MLSD"})
    EXPECT_EQ(client.Ask(sent), "425 Can't open data connection.") << sent;
  // A host with no listing for the path: no entry, and nothing pretends there is one.
  EXPECT_EQ(client.Ask("MLST f"), "550 Requested action aborted: local error in processing.");
  EXPECT_EQ(client.Ask("STAT /"), "550 Requested action aborted: local error in processing.");
}

TEST_F(FtpCommandsTest, HostFaultsReachTheLogNotTheClient) {
  host_.make_directory = [](FtpSession&, std::string_view) -> std::string {
    throw std::runtime_error("mkdir /srv/ftp/x: Permission denied");
  };
  host_.command_failed = [this](FtpSession&, const std::string& command,
                                const std::exception& failure) {
    recorded_.Add(command + ": " + failure.what());
  };
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("MKD x"), "451 Requested action aborted: local error in processing.");
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP Command successful.");
  EXPECT_EQ(recorded_.Entries(),
            std::vector<std::string>{"MKD: mkdir /srv/ftp/x: Permission denied"});
}

}  // namespace
}  // namespace vantrel
