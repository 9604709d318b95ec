#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "accounts/online_clients.h"
#include "accounts/users.h"
#include "app/member_page.h"
#include "app/monitored_files_page.h"
#include "app/qt_printers.h"
#include "app/tray_icon.h"
#include "app/window_layout.h"
#include "config/list_file.h"
#include "config/storage_file.h"
#include "log/log_queue.h"
#include "monitor/special_files.h"
#include "service/service.h"
#include "support/temp_dir.h"
#include "transfer/transfer_table.h"
#include "widgets/column_list_view.h"
#include "widgets/log_view.h"
#include "widgets/status_box.h"
#include "widgets/status_icons.h"

namespace vantrel {
namespace {

// The window with the close question answered by the test.
class AnsweringWindow : public MainWindow {
 public:
  using MainWindow::MainWindow;

  bool answer = false;
  int questions = 0;

 protected:
  bool ConfirmExit() override {
    ++questions;
    return answer;
  }
};

// One run of the program over a data directory: the service, then its window.
struct ProgramRun {
  explicit ProgramRun(const std::string& directory, const Clock& clock = DefaultClock())
      : service(directory, clock), window(service) {}

  template <typename Widget = QLabel>
  Widget& Find(const char* name) {
    auto* widget = window.findChild<Widget*>(name);
    if (widget == nullptr)
      throw std::runtime_error(std::string("no widget ") + name);
    return *widget;
  }
  QString Text(const char* name) { return Find<QLabel>(name).text(); }
  ColumnListView& List(const char* name) { return Find<ColumnListView>(name); }

  Service service;
  AnsweringWindow window;
};

class MainWindowTest : public ::testing::Test {
 protected:
  std::string Directory() const { return dir_.path() + "/"; }
  void WriteSettings(const std::string& keys) const {
    std::ofstream(dir_.File("ftpsettings.lst")) << "[ftpsettings]\n" << keys;
  }
  bool Exists(const char* name) const { return std::filesystem::exists(dir_.File(name)); }

  TempDir dir_;
};

TEST_F(MainWindowTest, ShowsTabsVersionAndAStoppedService) {
  ProgramRun run(Directory());
  const auto& tabs = run.Find<QTabWidget>("tabs");
  QStringList captions;
  for (int i = 0; i < tabs.count(); ++i)
    captions << tabs.tabText(i);
  EXPECT_EQ(captions, QStringList({"System Log", "Ftp Server", "Active Clients", "File Monitoring",
                                   "File Transfers", "About.."}));
  EXPECT_EQ(run.window.windowTitle(), "Vantrel");
  EXPECT_EQ(run.Text("title"), "Vantrel");
  EXPECT_EQ(run.Text("version"), "r1.4.1 (build 65)");
  EXPECT_FALSE(run.Text("date").isEmpty()) << "the program file's date";
  EXPECT_EQ(run.Text("company"), "");
  EXPECT_EQ(run.Text("author"), "");

  EXPECT_EQ(run.Text("statusBox"), "Stopped");
  EXPECT_EQ(run.Find<StatusBox>("statusBox").Background(), QColor(0xff, 0xb8, 0xb8));
  EXPECT_EQ(run.Text("clientsPanel"), "No Clients");
  EXPECT_EQ(run.window.tray().IconIndex(), kIconStopped);
  EXPECT_EQ(run.window.tray().Hint(), "FTP Server\nStopped");
  EXPECT_EQ(run.Text("online"), "Stopped");
  EXPECT_EQ(run.Text("connections"), "0");
  EXPECT_EQ(run.Text("downloaded"), "0 Byte(s)");
}

TEST_F(MainWindowTest, LogTickShowsLoadLinesNewestFirstWithinTheSetting) {
  WriteSettings("maxloglines=3\n");
  ProgramRun run(Directory());
  run.window.onLogTick();
  auto& view = run.Find<LogView>("log");
  ASSERT_EQ(view.LineCount(), 3);
  EXPECT_TRUE(
      view.LineText(2).endsWith("- Running From [" + QString::fromStdString(Directory()) + "]"))
      << view.LineText(2).toStdString();
  EXPECT_TRUE(view.LineText(1).endsWith("- Failed to load account list"));
  EXPECT_TRUE(view.LineText(0).endsWith("- Monitored files list loaded"));
  EXPECT_EQ(run.Text("messagePanel"), "- Monitored files list loaded");

  for (int i = 0; i < 10; ++i)
    run.service.log().LogLine("- line " + std::to_string(i));
  run.window.onLogTick();
  // Three of the batch drawn, each after trimming to three: four lines stay.
  ASSERT_EQ(view.LineCount(), 4);
  EXPECT_TRUE(view.LineText(0).endsWith("- line 9"));
  EXPECT_TRUE(view.LineText(2).endsWith("- line 7"));
  EXPECT_TRUE(view.LineText(3).endsWith("- Monitored files list loaded"));
  EXPECT_EQ(run.Text("messagePanel"), "- line 9");
}

TEST_F(MainWindowTest, RefreshTickFollowsServiceClientsAndTotals) {
  WriteSettings("serverport=0\n");
  ManualClock clock;
  ProgramRun run(Directory(), clock);
  run.window.StartServer();
  ASSERT_TRUE(run.service.IsRunning());
  EXPECT_EQ(run.Text("statusBox"), "Running") << "shown at once, not at the next tick";

  run.window.onRefreshTick();
  const int first = run.window.tray().IconIndex();
  run.window.onRefreshTick();
  const int second = run.window.tray().IconIndex();
  EXPECT_EQ(std::set<int>({first, second}), std::set<int>({kIconIdleOn, kIconIdleOff}))
      << "the picture blinks while nobody is connected";
  EXPECT_EQ(run.window.tray().Hint(), "FTP Server\nRunning\nNo Clients.");
  EXPECT_EQ(run.Find<StatusBox>("statusBox").Background(), QColor(0xb8, 0xf5, 0xb8));

  run.service.online_clients().Add("10.0.0.1:4000");
  run.service.online_clients().Add("10.0.0.2:4001");
  clock.AdvanceSeconds(90 * 60);
  run.window.onRefreshTick();
  EXPECT_EQ(run.window.tray().IconIndex(), kIconClients);
  EXPECT_EQ(run.window.tray().Hint(), "FTP Server\nRunning\n2 Client(s).");
  EXPECT_EQ(run.Text("clientsPanel"), "2 Client(s)");
  EXPECT_EQ(run.Text("online"), "1.50 hours");
  auto& clients = run.List("clients");
  ASSERT_EQ(clients.topLevelItemCount(), 2);
  EXPECT_EQ(clients.topLevelItem(1)->text(0), "10.0.0.2:4001");

  run.window.StopServer();
  run.window.onRefreshTick();
  EXPECT_EQ(run.Text("online"), "Stopped");
  EXPECT_EQ(run.window.tray().IconIndex(), kIconStopped);
  EXPECT_EQ(clients.topLevelItemCount(), 2) << "a stopped service's list keeps its last rows";
}

TEST_F(MainWindowTest, LayoutIsWrittenAtCloseAndAppliedAtStart) {
  WriteSettings("confirmexit=1\n");
  {
    ProgramRun first(Directory());
    first.window.resize(700, 500);
    first.window.move(30, 40);
    first.Find<QTabWidget>("tabs").setCurrentIndex(MainWindow::kMonitoringTab);
    first.List("members").SetColumnWidths({31, 32, 333});
    first.List("clients").SetColumnWidths({40, 41, 42, 43, 44});
    first.List("monitored").SetColumnWidths({50, 66});
    first.List("transfers").SetColumnWidths({60, 61, 62, 63, 64});
    ASSERT_TRUE(first.window.close());
  }
  const ListFile saved(dir_.File(WindowLayout::kFileName));
  const std::pair<const char*, int> expected[] = {
      {"top", 40},   {"left", 30}, {"width", 700}, {"height", 500}, {"tabindex", 3},
      {"s12w", 333}, {"s34w", 44}, {"s21w", 66},   {"s44w", 64},    {"s10w", 31},
  };
  for (const auto& [key, value] : expected)
    EXPECT_EQ(saved.ReadInteger("mainsettings", key, -1), value) << key;

  ProgramRun second(Directory());
  EXPECT_EQ(second.window.size(), QSize(700, 500));
  EXPECT_EQ(second.window.pos(), QPoint(30, 40));
  EXPECT_EQ(second.Find<QTabWidget>("tabs").currentIndex(), MainWindow::kMonitoringTab);
  EXPECT_EQ(second.List("members").ColumnWidths()[2], 333);
  EXPECT_EQ(second.List("monitored").ColumnWidths()[1], 66);
  EXPECT_EQ(second.List("transfers").ColumnWidths()[4], 64);
  EXPECT_EQ(second.List("clients").ColumnWidths()[0], 40);

  std::filesystem::remove(dir_.File(WindowLayout::kFileName));
  ASSERT_TRUE(second.window.close());
  EXPECT_TRUE(Exists(WindowLayout::kFileName)) << "a deleted layout file is written again";
}

TEST_F(MainWindowTest, DamagedLayoutValuesKeepTheWindowUsable) {
  std::ofstream(dir_.File(WindowLayout::kFileName))
      << "[mainsettings]\nwidth=-50\nheight=3\ntabindex=99\ns10w=-7\nleft=-100000\n";
  ProgramRun run(Directory());
  EXPECT_GE(run.window.width(), 320);
  EXPECT_GE(run.window.height(), 240);
  EXPECT_EQ(run.Find<QTabWidget>("tabs").currentIndex(), MainWindow::kLogTab);
  EXPECT_EQ(run.List("members").ColumnWidths()[0], 110);
  EXPECT_GT(run.window.pos().x(), -100000) << "a position on no screen is not taken";
}

TEST_F(MainWindowTest, BrandingFileRenamesAndDecoratesTheProgram) {
  TempDir source;
  std::ofstream(source.File("data.0"))
      << "homepage=files.example.org\r\ncompany=Example Ltd\r\nauthor=Ann Example\r\n"
      << "ftpserver=Example FTP\r\n";
  QImage picture(24, 12, QImage::Format_RGB32);
  picture.fill(Qt::green);
  ASSERT_TRUE(picture.save(QString::fromStdString(source.File("data.1")), "PNG"));
  StorageFile container(dir_.File("custom.config"));
  ASSERT_TRUE(container.SaveFiles({source.File("data.0"), source.File("data.1")}));

  ProgramRun run(Directory());
  EXPECT_EQ(run.window.windowTitle(), "Example FTP");
  EXPECT_EQ(run.Text("title"), "Example FTP");
  EXPECT_EQ(run.Text("company"), "Example Ltd");
  EXPECT_EQ(run.Text("author"), "Ann Example");
  EXPECT_EQ(run.Find<QLineEdit>("updateServer").text(), "files.example.org");
  EXPECT_TRUE(run.Find<QPushButton>("checkForUpdate").isHidden());
  EXPECT_EQ(run.Find<QLabel>("logo").pixmap().size(), QSize(24, 12));
}

TEST_F(MainWindowTest, CloseAsksUnlessConfirmExitIsSet) {
  const struct {
    const char* confirmexit;
    bool answer;
    bool closes;
    int questions;
  } cases[] = {
      {"1", false, true, 0},
      {"0", true, true, 1},
      {"0", false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("confirmexit=") + c.confirmexit +
                 " answer=" + (c.answer ? "yes" : "no"));
    TempDir dir;
    std::ofstream(dir.File("ftpsettings.lst"))
        << "[ftpsettings]\nconfirmexit=" << c.confirmexit << "\n";
    ProgramRun run(dir.path() + "/");
    run.window.show();
    run.window.answer = c.answer;
    EXPECT_EQ(run.window.close(), c.closes);
    EXPECT_EQ(run.window.questions, c.questions);
    EXPECT_EQ(std::filesystem::exists(dir.File(WindowLayout::kFileName)), c.closes);
    EXPECT_EQ(std::filesystem::exists(dir.File(Users::kFileName)), c.closes)
        << "closing saves the accounts even when the service never ran";
    EXPECT_EQ(std::filesystem::exists(dir.File(SpecialFiles::kFileName)), c.closes);
    if (!c.closes) {
      EXPECT_TRUE(run.window.windowState() & Qt::WindowMinimized);
      EXPECT_TRUE(run.window.isVisible()) << "a refused close keeps the program running";
    }
  }
}

TEST_F(MainWindowTest, FirstActivationStartsTheServiceAndMinimizesWhenAsked) {
  WriteSettings("serverport=0\nstartonstartup=1\nstartminimized=1\n");
  ProgramRun run(Directory());
  EXPECT_FALSE(run.service.IsRunning()) << "creation alone never starts the service";
  run.window.StartAsConfigured();
  EXPECT_TRUE(run.service.IsRunning());
  EXPECT_TRUE(run.window.windowState() & Qt::WindowMinimized);

  run.window.StopServer();
  run.window.StartAsConfigured();
  EXPECT_FALSE(run.service.IsRunning()) << "a later activation leaves a stopped service stopped";
}

TEST_F(MainWindowTest, TrayIconStandsInWheneverTheProgramMinimizesItself) {
  for (const bool show_tray : {true, false}) {
    SCOPED_TRACE(show_tray ? "showtrayicon=1" : "showtrayicon=0");
    TempDir dir;
    std::ofstream(dir.File("ftpsettings.lst"))
        << "[ftpsettings]\nstartminimized=1\nconfirmexit=0\nshowtrayicon=" << show_tray << "\n";
    ProgramRun run(dir.path() + "/");
    run.window.StartAsConfigured();
    ASSERT_TRUE(run.window.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(run.window.tray().IsVisible(), show_tray) << "started minimized";
    run.window.RestoreAndRaise();
    EXPECT_FALSE(run.window.tray().IsVisible()) << "restored";
    run.window.answer = false;
    ASSERT_FALSE(run.window.close());
    ASSERT_TRUE(run.window.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(run.window.tray().IsVisible(), show_tray) << "minimized after \"No\"";
    run.window.CloseWithoutQuestion();
    EXPECT_FALSE(run.window.tray().IsVisible()) << "closed";
  }
}

TEST_F(MainWindowTest, DisconnectAllRestartsTheService) {
  WriteSettings("serverport=0\n");
  ProgramRun run(Directory());
  run.window.StartServer();
  run.window.onLogTick();
  auto& view = run.Find<LogView>("log");
  view.Clear();
  run.window.DisconnectAll();
  run.window.onLogTick();
  QStringList service_lines;  // oldest first
  for (int row = view.LineCount() - 1; row >= 0; --row) {
    const QString text = view.LineText(row);
    if (text.contains("- Server"))
      service_lines << text.mid(text.indexOf("- Server"));
  }
  EXPECT_EQ(service_lines, QStringList({"- Server stopped", "- Server started (port 0, data 20)"}));
  EXPECT_TRUE(run.service.IsRunning());
}

TEST_F(MainWindowTest, MemberAndMonitoredButtonsChangeAndSaveTheTables) {
  std::ofstream(dir_.File(Users::kFileName))
      << "[ftpmembers]\nftpmembers=2\n[ftpmember0]\nuser=alice\n[ftpmember1]\nuser=bob\n";
  ProgramRun run(Directory());
  auto& members = run.List("members");
  ASSERT_EQ(members.topLevelItemCount(), 2);
  run.window.member_page().DeleteSelectedMember();
  EXPECT_EQ(members.topLevelItemCount(), 2) << "nothing happens without a selection";
  members.setCurrentItem(members.topLevelItem(0));
  run.window.member_page().DeleteSelectedMember();
  ASSERT_EQ(members.topLevelItemCount(), 1);
  EXPECT_EQ(members.topLevelItem(0)->text(0), "bob");
  EXPECT_EQ(ListFile(dir_.File(Users::kFileName)).ReadInteger("ftpmembers", "ftpmembers", -1), 1)
      << "a deletion is saved at once";

  auto& monitored = run.List("monitored");
  run.window.monitored_files_page().AddFile("/srv/readme.txt");
  run.window.monitored_files_page().AddFile("/srv/files/Setup.exe");
  run.window.monitored_files_page().AddFile("/elsewhere/SETUP.EXE");
  ASSERT_EQ(monitored.topLevelItemCount(), 2);
  EXPECT_EQ(monitored.topLevelItem(0)->text(0), "readme.txt");
  emit monitored.HeaderClicked(0);
  EXPECT_EQ(monitored.topLevelItem(0)->text(0), "Setup.exe") << "byte order puts capitals first";
  monitored.setCurrentItem(monitored.topLevelItem(1));
  run.window.monitored_files_page().ResetSelectedFile();
  run.window.monitored_files_page().RemoveSelectedFile();
  EXPECT_EQ(monitored.topLevelItemCount(), 1);

  run.window.onLogTick();
  auto& view = run.Find<LogView>("log");
  const QString expected[] = {
      "- File readme.txt removed from monitoring list",
      "- Monitored file readme.txt statistics cleared",
      "- Failed to add new file to monitor (SETUP.EXE)",
      "- New file to monitor added (Setup.exe)",
      "- New file to monitor added (readme.txt)",
      "- Account deleted alice",
  };
  for (int row = 0; row < 6; ++row)
    EXPECT_TRUE(view.LineText(row).endsWith(expected[row])) << view.LineText(row).toStdString();
}

TEST_F(MainWindowTest, ServesARealClientAndShowsItAndItsDownload) {
  std::filesystem::create_directory(dir_.File("files"));
  std::ofstream(dir_.File("files/release.bin")) << std::string(512 * 1024, 'v');
  WriteSettings("serverport=0\ndataport=0\n");
  std::ofstream(dir_.File(Users::kFileName))
      << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=alice\npass=pw\nhome="
      << dir_.File("files") << "\nallow_download=1\ndownload=65536\n";
  ProgramRun run(Directory());
  run.window.show();
  run.Find<QPushButton>("startServer").click();
  ASSERT_TRUE(run.service.IsRunning());

  // Killed on every way out of the test, so no client outlives a failure.
  QProcess client;
  const std::unique_ptr<QProcess, void (*)(QProcess*)> stop(&client, [](QProcess* process) {
    process->kill();
    process->waitForFinished();
  });
  client.setProcessChannelMode(QProcess::ForwardedChannels);
  client.start("python3",
               {VANTREL_DOWNLOAD_CLIENT, QString::number(run.service.FtpAddresses().at(0).port),
                "alice", "pw", "release.bin"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !run.service.transfers().Transfers().empty(); }, 20000))
      << "the download never started";
  run.window.onRefreshTick();
  auto& clients = run.List("clients");
  ASSERT_EQ(clients.topLevelItemCount(), 1);
  EXPECT_EQ(clients.topLevelItem(0)->text(1), "alice");
  auto& transfers = run.List("transfers");
  ASSERT_EQ(transfers.topLevelItemCount(), 1);
  EXPECT_TRUE(transfers.topLevelItem(0)->text(0).endsWith("release.bin"))
      << transfers.topLevelItem(0)->text(0).toStdString();
  EXPECT_EQ(run.window.tray().IconIndex(), kIconClients);

  client.kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run.service.online_clients().Count() == 0; }, 20000));
  run.window.CloseWithoutQuestion();
  EXPECT_FALSE(run.service.IsRunning());
  EXPECT_TRUE(Exists(WindowLayout::kFileName));
  EXPECT_TRUE(Exists(Users::kFileName));
}

}  // namespace
}  // namespace vantrel
