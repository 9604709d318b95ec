// vantrel_screenshots: the desktop program's window over a real service, serving a real
// FTP client (Python's ftplib, downloading slowly), photographed tab by tab, then its
// dialogs: the settings and the account editor opened by the window's own buttons, and the
// update dialog after a check against a scripted update server. Run it under Xvfb (make
// screenshots) to look at the program without a desktop.
//
// Usage: vantrel_screenshots OUTPUT_DIRECTORY
// The data directory is a scratch one, filled with a few accounts and monitored files.

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "accounts/online_clients.h"
#include "accounts/users.h"
#include "app/main_window.h"
#include "app/recording_prompts.h"
#include "app/update_test_server.h"
#include "dialogs/update_dialog.h"
#include "service/service.h"
#include "transfer/transfer_table.h"
#include "widgets/column_list_view.h"

namespace {

constexpr int kDownloadLimit = 64 * 1024;  // bytes per second: the download stays on screen
constexpr int kFileSize = 8 * 1024 * 1024;

void WriteFile(const QString& path, const std::string& content) {
  std::ofstream(path.toStdString(), std::ios::binary) << content;
}

void WriteState(const QString& data) {
  QDir(data).mkpath("files");
  WriteFile(data + "/files/release.iso", std::string(kFileSize, 'v'));
  WriteFile(data + "/files/readme.txt", "Vantrel\n");
  WriteFile(data + "/ftpsettings.lst",
            "[ftpsettings]\nserverport=0\ndataport=0\nconfirmexit=1\nallowanonymous=1\n"
            "anonymoushome=" +
                (data + "/files").toStdString() + "\n");
  const std::string home = (data + "/files").toStdString();
  WriteFile(data + "/ftpmembers.lst",
            "[ftpmembers]\nftpmembers=3\n"
            "[ftpmember0]\nuser=alice\npass=wonderland\naddr=\nhome=" +
                home + "\nallow_download=1\nallow_changedirectory=1\ndownload=" +
                std::to_string(kDownloadLimit) +
                "\n"
                "[ftpmember1]\nuser=bob\npass=builder\naddr=192.0.2.7:50122\nhome=" +
                home + "\nvirtualdir=pub=" + home +
                ";\nallow_download=1\n"
                "[ftpmember2]\nuser=carol\npass=singer\naddr=\nhome=/srv/carol\n");
  WriteFile(data + "/httpspecialfiles.lst",
            "[specialfiles]\nspecialfiles=2\n"
            "[specialfile0]\nfilename=release.iso\ncount=42\nlasttime=46000.5\n"
            "lastip=192.0.2.10\n"
            "[specialfile1]\nfilename=readme.txt\ncount=0\nlasttime=0\nlastip=\n");
}

// Runs the event loop until `done` holds or `timeout_ms` passes.
template <typename Condition>
bool WaitFor(Condition done, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeout_ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

void Pause(int ms) {
  WaitFor([] { return false; }, ms);
}

bool Save(QWidget& widget, const QString& file) {
  Pause(200);
  if (!widget.grab().save(file)) {
    std::fprintf(stderr, "vantrel_screenshots: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

// Each tab of a dialog that `button` opens modally, as `prefix`-N-tab.png; then Cancel.
bool PhotographDialog(QPushButton& button, const QString& prefix) {
  bool saved = false;
  vantrel::WhenModalShown([&](QDialog& dialog) {
    auto* tabs = dialog.findChild<QTabWidget*>("tabs");
    saved = tabs != nullptr;
    for (int i = 0; saved && i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      const QString name = tabs->tabText(i).toLower().replace(QRegularExpression("[^a-z]+"), "-");
      saved = Save(dialog, prefix + "-" + QString::number(i + 1) + "-" + name + ".png");
    }
    dialog.reject();
  });
  button.click();
  return saved;
}

// The update dialog after a whole check: a newer build, downloaded.
bool PhotographUpdate(QWidget& window, const QString& data, const QString& file) {
  const std::string installer(256 * 1024, 'i');
  vantrel::UpdateTestServer server(
      {{"GETMESSAGE", "NO\r\n"},
       {"GETBUILD", "YES\r\n66\r\n"},
       {"GETFILE", "YES\r\n" + std::to_string(installer.size()) + "\r\n" + installer}});
  vantrel::RecordingPrompts prompts;
  prompts.file_answer = data + "/VantrelInstall.exe";
  vantrel::UpdateDialog dialog(prompts, data.toStdString() + "/", &window);
  dialog.SetServerName("127.0.0.1");
  dialog.SetPort(server.port());
  dialog.show();
  auto* status = dialog.findChild<QListWidget*>("status");
  const bool done = WaitFor([&] { return status->count() > 0 && !dialog.IsChecking(); }, 10000);
  const bool saved = Save(dialog, file);
  dialog.close();
  return done && saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel_screenshots OUTPUT_DIRECTORY\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(output)) {
    std::fprintf(stderr, "vantrel_screenshots: cannot create %s\n", argv[1]);
    return 1;
  }
  QTemporaryDir data;
  if (!data.isValid()) {
    std::fprintf(stderr, "vantrel_screenshots: no scratch directory\n");
    return 1;
  }
  WriteState(data.path());

  vantrel::Service service(data.path().toStdString() + "/");
  vantrel::MainWindow window(service);
  window.resize(900, 600);
  window.show();
  window.findChild<QPushButton*>("startServer")->click();
  if (!service.IsRunning()) {
    std::fprintf(stderr, "vantrel_screenshots: the service did not start\n");
    return 1;
  }
  const int port = service.FtpAddresses().at(0).port;

  QProcess client;
  client.setProcessChannelMode(QProcess::ForwardedChannels);
  client.start("python3", {VANTREL_DOWNLOAD_CLIENT, QString::number(port), "alice", "wonderland",
                           "release.iso"});
  const bool connected = WaitFor([&] { return service.online_clients().Count() > 0; }, 10000);
  const bool transferring = WaitFor([&] { return !service.transfers().Transfers().empty(); }, 5000);
  Pause(4500);  // two refresh ticks: the lists, the totals and the log catch up

  auto* tabs = window.findChild<QTabWidget*>("tabs");
  const char* names[] = {"1-system-log",      "2-ftp-server",     "3-active-clients",
                         "4-file-monitoring", "5-file-transfers", "6-about"};
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setCurrentIndex(i);
    if (!Save(window, output + "/" + names[i] + ".png"))
      return 1;
  }

  tabs->setCurrentIndex(vantrel::MainWindow::kServerTab);
  auto* members = window.findChild<vantrel::ColumnListView*>("members");
  members->setCurrentItem(members->topLevelItem(0));
  const bool dialogs =
      PhotographDialog(*window.findChild<QPushButton*>("settings"), output + "/7-settings") &&
      PhotographDialog(*window.findChild<QPushButton*>("modifyMember"),
                       output + "/8-client-editor") &&
      PhotographUpdate(window, data.path(), output + "/9-update.png");
  if (!dialogs) {
    std::fprintf(stderr, "vantrel_screenshots: a dialog could not be photographed\n");
    return 1;
  }

  client.kill();
  client.waitForFinished();
  window.CloseWithoutQuestion();
  std::printf("client connected: %s, download shown: %s\n", connected ? "yes" : "no",
              transferring ? "yes" : "no");
  return connected ? 0 : 1;
}
