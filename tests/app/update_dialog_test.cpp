#include "dialogs/update_dialog.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/qt_printers.h"
#include "app/recording_prompts.h"
#include "app/update_test_server.h"
#include "service/update_check.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

const std::string kProgram = "app_tests";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// --- the check itself, step by step -------------------------------------------------

class RecordingListener : public UpdateCheckListener {
 public:
  std::vector<std::string> events;
  std::optional<std::string> target;

  void Status(const std::string& text) override { events.push_back("status " + text); }
  void ProgressText(const std::string& text) override { events.push_back("text " + text); }
  void Progress(std::int64_t position, std::int64_t maximum) override {
    last_progress = {position, maximum};
  }
  void ShowMessage(const std::string& text) override { events.push_back("message " + text); }
  std::optional<std::string> ChooseTarget(const std::string& suggested) override {
    events.push_back("target " + suggested);
    return target;
  }

  std::pair<std::int64_t, std::int64_t> last_progress{-1, -1};
};

struct CheckRun {
  CheckRun(std::map<std::string, std::string> replies, const std::string& directory)
      : server(std::move(replies)) {
    options.host = "127.0.0.1";
    options.port = server.port();
    options.program_name = kProgram;
    options.own_build = 65;
    options.data_directory = directory;
    options.io_timeout = std::chrono::seconds(10);
  }
  std::vector<std::string> Run() {
    UpdateCheck(options, listener).Run();
    return listener.events;
  }

  UpdateTestServer server;
  UpdateCheckOptions options;
  RecordingListener listener;
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(UpdateCheck, EveryReplyWordOfTheBuildAndFileRequests) {
  TempDir dir;
  const std::string directory = dir.path() + "/";
  const std::string target = dir.File("setup.bin");
  const std::vector<std::string> build_asked = {"status Build info request sent",
                                                "status Reply received"};
  const std::vector<std::string> newer = {"status Update available (b66).",
                                          "target " + directory + "VantrelInstall.exe"};
  const std::vector<std::string> file_asked = {"status Connected.", "status Get file request sent",
                                               "status Reply received"};
  const std::string yes66 = "YES\r\n66\r\n";
  const struct {
    const char* name;
    std::string build_reply;
    std::string file_reply;  // empty: no script (the server answers UCM)
    bool choose_target;
    std::vector<std::string> expected;  // after the build request's two lines
  } cases[] = {
      {"header refused",
       "HDR\r\n",
       "",
       true,
       {"status Header check failed", "text Header Check Failed."}},
      {"server error", "ERR\r\n", "", true, {"status Error occured while checking update"}},
      {"no revision file",
       "FNF\r\n",
       "",
       true,
       {"status File was not found on server", "text Revision File Missing."}},
      {"unknown command", "UCM\r\n", "", true, {"status Unknown command reply from server"}},
      {"nonsense", "MAYBE\r\n", "", true, {"status Unknown response from server"}},
      {"closed at once", "", "", true, {"status Unknown response from server"}},
      {"same build",
       "YES\r\n65\r\n",
       "",
       true,
       {"status No update available at the moment (b65).", "text No Update Available."}},
      {"older build",
       "YES\r\n7\r\n",
       "",
       true,
       {"status No update available at the moment (b7).", "text No Update Available."}},
      {"build not decimal",
       "YES\r\n0x42\r\n",
       "",
       true,
       {"status Invalid build number received", "text Check Failed."}},
      {"operator cancels the download", yes66, "", false,
       Concat({newer, {"status Updating interrupted", "text Interrupted."}})},
      {"file error", yes66, "ERR\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Error occured while downloading update"}})},
      {"no installer", yes66, "FNF\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Installer was not found on server", "text Update File Missing."}})},
      {"file command unknown", yes66, "", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Unknown command response from server"}})},
      {"file nonsense", yes66, "NO\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Unknown response from server"}})},
      {"no size", yes66, "YES\r\nERR\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Error retrieving file size", "text Download Failed."}})},
      {"size not decimal", yes66, "YES\r\n10 bytes\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status Invalid file size received", "text Download Failed."}})},
      {"whole file", yes66, "YES\r\n10\r\n0123456789", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status File size received", "text 0 / 10", "status Downloading file..",
                "text 10 / 10", "status File downloaded succesfully.", "text Download Done."}})},
      {"cut short", yes66, "YES\r\n10\r\n0123", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status File size received", "text 0 / 10", "status Downloading file..",
                "text 4 / 10", "status Error downloading file.", "text Download Failed."}})},
      {"more than announced", yes66, "YES\r\n4\r\n0123456789", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status File size received", "text 0 / 4", "status Downloading file..",
                "text 10 / 4", "status Error downloading file.", "text Download Failed."}})},
      {"empty installer", yes66, "YES\r\n0\r\n", true,
       Concat({newer,
               {"status Re-connecting to {endpoint}.."},
               file_asked,
               {"status File size received", "text 0 / 0", "status Downloading file..",
                "status File downloaded succesfully.", "text Download Done."}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<std::string, std::string> replies = {{"GETMESSAGE", "NO\r\n"},
                                                  {"GETBUILD", c.build_reply}};
    if (!c.file_reply.empty())
      replies["GETFILE"] = c.file_reply;
    CheckRun run(replies, directory);
    if (c.choose_target)
      run.listener.target = target;
    const std::string endpoint = "127.0.0.1:" + std::to_string(run.server.port());
    std::vector<std::string> expected =
        Concat({{"status Connecting to " + endpoint + "..", "status Connected",
                 "status No message(s) available."},
                build_asked,
                c.expected});
    for (std::string& line : expected) {
      if (const auto at = line.find("{endpoint}"); at != std::string::npos)
        line.replace(at, 10, endpoint);
    }
    EXPECT_EQ(run.Run(), expected);
    std::filesystem::remove(target);
  }
}

TEST(UpdateCheck, SendsItsRequestsAndKeepsTheWholeDownload) {
  TempDir dir;
  const std::string installer(100 * 1024 + 17, 'i');
  CheckRun run({{"GETMESSAGE", "NO\r\n"},
                {"GETBUILD", "YES\r\n66\r\n"},
                {"GETFILE", "YES\r\n" + std::to_string(installer.size()) + "\r\n" + installer}},
               dir.path() + "/");
  run.listener.target = dir.File("VantrelInstall.exe");
  run.Run();
  EXPECT_EQ(run.server.Requests(),
            std::vector<std::string>({"VantrelUpdate|GETMESSAGE|" + kProgram,
                                      "VantrelUpdate|GETBUILD|" + kProgram,
                                      "VantrelUpdate|GETFILE|VantrelInstall.exe"}));
  EXPECT_EQ(ReadFile(dir.File("VantrelInstall.exe")), installer);
  const auto size = static_cast<std::int64_t>(installer.size());
  EXPECT_EQ(run.listener.last_progress, std::make_pair(size, size));
  EXPECT_EQ(run.listener.events.back(), "text Download Done.");
}

TEST(UpdateCheck, MessagesConnectionsAndTargets) {
  TempDir dir;
  const std::string directory = dir.path() + "/";
  {
    SCOPED_TRACE("a message of two lines, then an empty one");
    CheckRun run({{"GETMESSAGE", "YES\r\nfirst\r\nsecond\r\n\r\nignored\r\n"},
                  {"GETBUILD", "YES\r\n65\r\n"}},
                 directory);
    const std::vector<std::string> events = run.Run();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[2], "status Message received.");
    EXPECT_EQ(events[3], "message first\rsecond\r");
  }
  {
    SCOPED_TRACE("a message the server never ends");
    CheckRun run({{"GETMESSAGE", "YES\r\n" + std::string(200 * 1024, 'm')}}, directory);
    const std::vector<std::string> events = run.Run();
    ASSERT_GE(events.size(), 4u);
    EXPECT_LE(events[3].size(), UpdateCheck::kMaxMessageBytes + UpdateClient::kMaxLineLength + 20);
  }
  {
    SCOPED_TRACE("an unwritable target");
    CheckRun run(
        {{"GETMESSAGE", "NO\r\n"}, {"GETBUILD", "YES\r\n66\r\n"}, {"GETFILE", "YES\r\n3\r\nabc"}},
        directory);
    run.listener.target = dir.File("missing/VantrelInstall.exe");
    EXPECT_EQ(run.Run().back(), "status Error opening target file");
  }
  {
    SCOPED_TRACE("an empty server name uses the default host");
    CheckRun run({{"GETBUILD", "YES\r\n65\r\n"}}, directory);
    run.options.host.clear();
    run.options.default_host = "127.0.0.1";
    EXPECT_EQ(run.Run().front(),
              "status Connecting to 127.0.0.1:" + std::to_string(run.server.port()) + "..");
  }
  {
    SCOPED_TRACE("nobody listening");
    // Port 1 is a privileged port nothing here serves; a port freed by a test server could
    // be taken by another process's connection before the check reaches it.
    const int port = 1;
    CheckRun run({}, directory);
    run.options.port = port;
    EXPECT_EQ(run.Run(), std::vector<std::string>(
                             {"status Connecting to 127.0.0.1:" + std::to_string(port) + "..",
                              "status Failed to connect.", "text Connection Error."}));
  }
}

// --- the dialog ---------------------------------------------------------------------

class UpdateDialogTest : public ::testing::Test {
 protected:
  std::string Directory() const { return dir_.path() + "/"; }

  // Shows the dialog against `server` and waits for the check to end.
  void RunCheck(UpdateDialog& dialog, const UpdateTestServer& server) {
    dialog.SetServerName("127.0.0.1");
    dialog.SetPort(server.port());
    dialog.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Status(dialog).count() > 0 && !dialog.IsChecking(); }, 30000));
  }
  // The status lines, newest first, without their time.
  static QStringList Status(UpdateDialog& dialog) {
    auto* list = dialog.findChild<QListWidget*>("status");
    QStringList lines;
    for (int row = 0; row < list->count(); ++row) {
      const QString line = list->item(row)->text();
      EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d> ").match(line).hasMatch())
          << line.toStdString();
      lines << line.mid(line.indexOf("> ") + 2);
    }
    return lines;
  }

  TempDir dir_;
  RecordingPrompts prompts_;
};

TEST_F(UpdateDialogTest, SameBuildMeansNoUpdate) {
  UpdateTestServer server({{"GETMESSAGE", "NO\r\n"}, {"GETBUILD", "YES\r\n65\r\n"}});
  UpdateDialog dialog(prompts_, Directory());
  RunCheck(dialog, server);
  EXPECT_EQ(dialog.windowTitle(), "FTP Server Update");
  const QStringList status = Status(dialog);
  ASSERT_EQ(status.size(), 6);
  EXPECT_EQ(status.front(), "No update available at the moment (b65).");
  EXPECT_EQ(status.back(), "Connecting to 127.0.0.1:" + QString::number(server.port()) + "..");
  EXPECT_EQ(dialog.ProgressText(), "No Update Available.");
  EXPECT_EQ(dialog.findChild<QProgressBar*>("progress")->text(), "No Update Available.");
  EXPECT_TRUE(prompts_.log.isEmpty());
}

TEST_F(UpdateDialogTest, NewerBuildIsDownloadedWhereTheOperatorSays) {
  UpdateTestServer server(
      {{"GETMESSAGE", "NO\r\n"}, {"GETBUILD", "YES\r\n66\r\n"}, {"GETFILE", "YES\r\n6\r\nsetup!"}});
  prompts_.file_answer = QString::fromStdString(dir_.File("chosen.bin"));
  UpdateDialog dialog(prompts_, Directory());
  dialog.SetTitle("Example Update");
  RunCheck(dialog, server);
  const QString directory = QString::fromStdString(dir_.path());
  EXPECT_EQ(prompts_.Of("save"), QStringList({"Save Update As|" + directory + "|" + directory +
                                              "/VantrelInstall.exe|All files (*)|"}));
  EXPECT_EQ(dialog.windowTitle(), "Example Update");
  EXPECT_EQ(Status(dialog).front(), "File downloaded succesfully.");
  EXPECT_EQ(dialog.ProgressText(), "Download Done.");
  auto* bar = dialog.findChild<QProgressBar*>("progress");
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(ReadFile(dir_.File("chosen.bin")), "setup!");
}

TEST_F(UpdateDialogTest, ShortDownloadFails) {
  UpdateTestServer server({{"GETMESSAGE", "NO\r\n"},
                           {"GETBUILD", "YES\r\n66\r\n"},
                           {"GETFILE", "YES\r\n600\r\nonly this"}});
  prompts_.file_answer = QString::fromStdString(dir_.File("VantrelInstall.exe"));
  UpdateDialog dialog(prompts_, Directory());
  RunCheck(dialog, server);
  EXPECT_EQ(Status(dialog).front(), "Error downloading file.");
  EXPECT_EQ(dialog.ProgressText(), "Download Failed.");
  EXPECT_EQ(ReadFile(dir_.File("VantrelInstall.exe")), "only this") << "the part stays";
}

TEST_F(UpdateDialogTest, TwoLineMessageIsOneBox) {
  UpdateTestServer server(
      {{"GETMESSAGE", "YES\r\nServer moves on Monday.\r\nNew address follows.\r\n\r\n"},
       {"GETBUILD", "YES\r\n65\r\n"}});
  UpdateDialog dialog(prompts_, Directory());
  RunCheck(dialog, server);
  EXPECT_EQ(prompts_.Of("information"),
            QStringList({"Server moves on Monday.\nNew address follows."}));
  const QStringList status = Status(dialog);
  EXPECT_EQ(status.mid(status.size() - 3),
            QStringList({"Message received.", "Connected",
                         "Connecting to 127.0.0.1:" + QString::number(server.port()) + ".."}));
}

TEST_F(UpdateDialogTest, ClosingEndsAStalledDownloadAndShowingAgainChecksAgain) {
  UpdateTestServer server({{"GETMESSAGE", "NO\r\n"},
                           {"GETBUILD", "YES\r\n66\r\n"},
                           {"GETFILE", "YES\r\n1000\r\nfirst part"}},
                          "GETFILE");
  prompts_.file_answer = QString::fromStdString(dir_.File("VantrelInstall.exe"));
  UpdateDialog dialog(prompts_, Directory());
  dialog.SetServerName("127.0.0.1");
  dialog.SetPort(server.port());
  dialog.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.ProgressText() == "10 / 1000"; }, 30000))
      << dialog.ProgressText().toStdString();
  EXPECT_TRUE(dialog.IsChecking());

  QElapsedTimer clock;
  clock.start();
  dialog.findChild<QPushButton*>("close")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.IsChecking());
  dialog.show();  // the next check first waits for the aborted one
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.IsChecking(); }, 10000));
  EXPECT_LT(clock.elapsed(), 5000) << "the stalled receive ended with the close";
  dialog.close();
}

}  // namespace
}  // namespace vantrel
