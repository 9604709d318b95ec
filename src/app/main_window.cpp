#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <array>

#include "accounts/online_clients.h"
#include "accounts/users.h"
#include "app/about_page.h"
#include "app/branding.h"
#include "app/member_page.h"
#include "app/monitored_files_page.h"
#include "app/tray_icon.h"
#include "common/byte_size.h"
#include "common/error.h"
#include "config/settings.h"
#include "dialogs/dialog_prompts.h"
#include "dialogs/ftp_settings_dialog.h"
#include "dialogs/update_dialog.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "platform/autostart.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "service/service.h"
#include "service/version.h"
#include "transfer/transfer_table.h"
#include "widgets/column_list_view.h"
#include "widgets/controls.h"
#include "widgets/log_view.h"
#include "widgets/screen_check.h"
#include "widgets/status_box.h"

namespace vantrel {
namespace {

constexpr const char* kApplicationTitle = "Vantrel";
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 240;
const QColor kRunningColour(0xb8, 0xf5, 0xb8);
const QColor kStoppedColour(0xff, 0xb8, 0xb8);

// A page that is one list and nothing else.
QWidget* ListPage(ColumnListView*& list, const char* name,
                  const std::vector<ColumnListView::Column>& columns, QWidget* parent) {
  auto* page = new QWidget(parent);
  list = new ColumnListView(columns, page);
  list->setObjectName(name);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(list, 1);
  return page;
}

template <std::size_t N>
std::array<int, N> WidthsOf(const ColumnListView& list) {
  std::array<int, N> widths{};
  const std::vector<int> current = list.ColumnWidths();
  for (std::size_t i = 0; i < N && i < current.size(); ++i)
    widths[i] = current[i];
  return widths;
}

template <std::size_t N>
void ApplyWidths(ColumnListView& list, const std::array<int, N>& widths) {
  list.SetColumnWidths(std::vector<int>(widths.begin(), widths.end()));
}

QString ProgramDate() {
  const auto modified = platform::ModificationTime(platform::ExecutablePath());
  return modified ? QString::fromStdString(FormatLocalDateTime(ToDateTime(*modified))) : QString();
}

}  // namespace

MainWindow::MainWindow(Service& service, DialogPrompts* prompts, QWidget* parent)
    : QMainWindow(parent), service_(service), prompts_(prompts) {
  service_.Load();
  if (prompts_ == nullptr) {
    own_prompts_ = std::make_unique<StandardPrompts>();
    prompts_ = own_prompts_.get();
  }
  CreatePages();
  resize(820, 560);
  CreateStatusBar();
  CreateTray();
  CreateDialogs();
  ShowVersion();
  ApplyBranding();
  member_page_->Refresh();
  monitored_files_page_->Refresh();
  ApplyLayout();
  ShowMonitor();
  CreateTimers();
}

MainWindow::~MainWindow() {
  ShutDown();
  // Before the prompts and the autostart entry they use go; the update dialog waits here
  // for a check it aborted.
  delete update_dialog_;
  delete settings_dialog_;
}

void MainWindow::CreatePages() {
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(CreateLogPage(), "System Log");
  tabs_->addTab(CreateServerPage(), "Ftp Server");
  tabs_->addTab(CreateClientsPage(), "Active Clients");
  monitored_files_page_ = new MonitoredFilesPage(service_, *prompts_, this);
  tabs_->addTab(monitored_files_page_, "File Monitoring");
  tabs_->addTab(CreateTransfersPage(), "File Transfers");
  about_ = new AboutPage(this);
  connect(about_, &AboutPage::CheckForUpdateClicked, this, &MainWindow::CheckForUpdate);
  connect(about_, &AboutPage::GoToClicked, this, &MainWindow::OpenUpdateServerSite);
  tabs_->addTab(about_, "About..");
  setCentralWidget(tabs_);
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == kServerTab)
      member_page_->Refresh();
  });
}

QWidget* MainWindow::CreateLogPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  log_view_ = new LogView(page);
  log_view_->setObjectName("log");
  auto* clear = NamedButton("Clear Log", "clearLog", page, "Clear the log view");
  connect(clear, &QPushButton::clicked, log_view_, &LogView::Clear);
  layout->addLayout(ButtonRow({clear}));
  layout->addWidget(log_view_, 1);
  return page;
}

QWidget* MainWindow::CreateServerPage() {
  member_page_ = new MemberPage(service_, *prompts_, this);
  connect(member_page_, &MemberPage::StartClicked, this, &MainWindow::StartServer);
  connect(member_page_, &MemberPage::StopClicked, this, &MainWindow::StopServer);
  connect(member_page_, &MemberPage::DisconnectAllClicked, this, &MainWindow::DisconnectAll);
  connect(member_page_, &MemberPage::SettingsClicked, this, &MainWindow::OpenSettings);
  return member_page_;
}

QWidget* MainWindow::CreateClientsPage() {
  return ListPage(clients_, "clients",
                  {{"Address", 150},
                   {"Username", 110},
                   {"Current Directory", 220},
                   {"Action", 200},
                   {"Connected", 90}},
                  this);
}

QWidget* MainWindow::CreateTransfersPage() {
  return ListPage(
      transfers_, "transfers",
      {{"Filename", 260}, {"Pos", 100}, {"Size", 100}, {"Speed", 100}, {"Time Left", 100}}, this);
}

void MainWindow::CreateStatusBar() {
  status_box_ = new StatusBox(this);
  status_box_->setObjectName("statusBox");
  clients_panel_ = new QLabel(this);
  clients_panel_->setObjectName("clientsPanel");
  clients_panel_->setMinimumWidth(100);
  message_panel_ = new QLabel(this);
  message_panel_->setObjectName("messagePanel");
  statusBar()->addWidget(status_box_);
  statusBar()->addWidget(clients_panel_);
  statusBar()->addWidget(message_panel_, 1);
  ShowRunningState(service_.IsRunning());
}

void MainWindow::CreateTray() {
  tray_ = new TrayIcon(this);
  connect(tray_, &TrayIcon::RestoreRequested, this, &MainWindow::RestoreAndRaise);
  connect(tray_, &TrayIcon::StartRequested, this, &MainWindow::StartServer);
  connect(tray_, &TrayIcon::StopRequested, this, &MainWindow::StopServer);
  connect(tray_, &TrayIcon::ExitRequested, this, &QWidget::close);
}

void MainWindow::CreateDialogs() {
  if (const std::optional<std::string> directory = platform::Autostart::UserDirectory())
    autostart_ = std::make_unique<platform::Autostart>(*directory);
  settings_dialog_ = new FtpSettingsDialog(service_, autostart_.get(), *prompts_, this);
  settings_dialog_->SetRestartHandler(
      [this](const std::vector<std::string>&) { RestartForImport(); });
  update_dialog_ = new UpdateDialog(*prompts_, service_.data_directory(), this);
}

void MainWindow::CreateTimers() {
  log_timer_ = new QTimer(this);
  connect(log_timer_, &QTimer::timeout, this, &MainWindow::onLogTick);
  log_timer_->start(kLogIntervalMs);
  refresh_timer_ = new QTimer(this);
  connect(refresh_timer_, &QTimer::timeout, this, &MainWindow::onRefreshTick);
  refresh_timer_->start(kRefreshIntervalMs);
}

void MainWindow::ShowVersion() {
  about_->SetVersion(QString("r%1.%2.%3 (build %4)")
                         .arg(kVersionMajor)
                         .arg(kVersionMinor)
                         .arg(kVersionRelease)
                         .arg(kVersionBuild),
                     ProgramDate());
}

void MainWindow::ApplyBranding() {
  const std::optional<Branding> branding = ReadBranding(service_.data_directory());
  about_->ApplyBranding(branding);
  const QString title = branding && branding->ftpserver
                            ? QString::fromStdString(*branding->ftpserver)
                            : QString(kApplicationTitle);
  QApplication::setApplicationDisplayName(title);
  setWindowTitle(title);
  about_->SetTitle(title);
}

// --- layout -------------------------------------------------------------------------

WindowLayout MainWindow::CaptureLayout() const {
  WindowLayout layout;
  layout.top = pos().y();
  layout.left = pos().x();
  layout.width = width();
  layout.height = height();
  layout.tabindex = tabs_->currentIndex();
  layout.members = WidthsOf<6>(member_page_->list());
  layout.clients = WidthsOf<5>(*clients_);
  layout.monitored = WidthsOf<4>(monitored_files_page_->list());
  layout.transfers = WidthsOf<5>(*transfers_);
  return layout;
}

void MainWindow::ApplyLayout() {
  WindowLayout layout = CaptureLayout();
  if (!layout.Read(service_.data_directory() + WindowLayout::kFileName))
    return;
  resize(std::max(layout.width, kMinimumWidth), std::max(layout.height, kMinimumHeight));
  if (IsOnSomeScreen(QRect(QPoint(layout.left, layout.top), size())))
    move(layout.left, layout.top);
  if (layout.tabindex >= 0 && layout.tabindex < tabs_->count())
    tabs_->setCurrentIndex(layout.tabindex);
  ApplyWidths(member_page_->list(), layout.members);
  ApplyWidths(*clients_, layout.clients);
  ApplyWidths(monitored_files_page_->list(), layout.monitored);
  ApplyWidths(*transfers_, layout.transfers);
}

void MainWindow::SaveLayout() {
  try {
    CaptureLayout().Write(service_.data_directory() + WindowLayout::kFileName);
  } catch (const Error& failure) {
    Log(std::string("- ") + failure.what());
  }
}

// --- life cycle ---------------------------------------------------------------------

void MainWindow::StartAsConfigured() {
  if (activated_)
    return;
  activated_ = true;
  const SettingsData settings = service_.settings().Snapshot();
  if (settings.startminimized)
    showMinimized();
  service_.ApplyLogFileSettings();
  if (settings.startonstartup)
    StartServer();
}

void MainWindow::StartServer() {
  service_.StartServer();
  ShowRunningState(service_.IsRunning());
}

void MainWindow::StopServer() {
  service_.StopServer();
  ShowRunningState(service_.IsRunning());
}

void MainWindow::DisconnectAll() {
  StopServer();
  StartServer();
}

void MainWindow::RestoreAndRaise() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void MainWindow::CloseWithoutQuestion() {
  ask_before_close_ = false;
  close();
}

bool MainWindow::ConfirmExit() {
  return QMessageBox::question(this, windowTitle(), "Are you sure to exit Vantrel?",
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!shut_down_ && ask_before_close_) {
    RestoreAndRaise();
    // "confirmexit" set means: close without asking.
    if (!service_.settings().Get(&SettingsData::confirmexit) && !ConfirmExit()) {
      showMinimized();
      event->ignore();
      return;
    }
  }
  ShutDown();
  event->accept();
}

void MainWindow::ShutDown() {
  if (shut_down_)
    return;
  shut_down_ = true;
  if (log_timer_ != nullptr) {
    log_timer_->stop();
    refresh_timer_->stop();
  }
  service_.Shutdown();
  SaveLayout();
  tray_->SetVisible(false);
  // The lines of the closing steps still reach the log file; the view is going away.
  service_.LogTick(nullptr);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A window minimizing itself (showMinimized) is shown after its state changed: the
  // show must not take the icon away again.
  ShowTrayWhileMinimized();
  if (!activated_)
    QTimer::singleShot(0, this, &MainWindow::StartAsConfigured);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange)
    ShowTrayWhileMinimized();
}

void MainWindow::ShowTrayWhileMinimized() {
  tray_->SetVisible(!shut_down_ && isMinimized() &&
                    service_.settings().Get(&SettingsData::showtrayicon));
}

bool MainWindow::event(QEvent* event) {
  // A control's hint goes to the status bar's message panel, where the log lines go too.
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (!tip.isEmpty())
      message_panel_->setText(tip);
    return true;
  }
  return QMainWindow::event(event);
}

// --- timers -------------------------------------------------------------------------

void MainWindow::onLogTick() {
  std::vector<LogEntry> batch;
  service_.LogTick([&batch](DateTime time, const std::string& line) {
    batch.push_back({time, line});
  });
  if (batch.empty())
    return;
  log_view_->SetMaxLines(service_.settings().Get(&SettingsData::maxloglines));
  log_view_->AddLines(batch);
  message_panel_->setText(QString::fromStdString(batch.back().text));
}

void MainWindow::onRefreshTick() {
  ShowMonitor();
  service_.RefreshTick();
}

void MainWindow::ShowMonitor() {
  const int clients = service_.online_clients().Count();
  const MonitorView view = monitor_.Tick(service_.IsRunning(), clients);
  ShowRunningState(view.running);
  if (view.running)
    clients_->ShowRows(service_.online_clients().Rows(), OnlineClientCells);
  clients_panel_->setText(view.clients_text);
  tray_->SetStatus(view.tray_icon, view.tray_hint);

  const Statistics& totals = service_.statistics();
  about_->ShowFigures({
      OnlineFigure(service_.ServerStartTime(), service_.clock().Now()),
      QString::number(totals.GetConnections()),
      QString::number(totals.GetSessions()),
      QString::fromStdString(FormatByteSize(totals.GetDownloaded())),
      QString::fromStdString(FormatByteSize(totals.GetUploaded())),
  });
  transfers_->ShowRows(service_.transfers().Transfers(), TransferCells);
}

void MainWindow::ShowRunningState(bool running) {
  if (running)
    status_box_->SetState("Running", kRunningColour);
  else
    status_box_->SetState("Stopped", kStoppedColour);
}

// --- dialogs and links ----------------------------------------------------------------

void MainWindow::OpenSettings() {
  const bool applied = settings_dialog_->exec() == QDialog::Accepted;
  service_.ApplyLogFileSettings();
  // Now rather than at the next start: a new certificate's fingerprint, or why the named
  // one cannot be used, is in the log while the operator still looks.
  if (applied)
    service_.ApplyTlsSettings();
}

void MainWindow::CheckForUpdate() {
  update_dialog_->SetServerName(about_->UpdateServer());
  update_dialog_->exec();
}

void MainWindow::OpenUpdateServerSite() {
  if (!QDesktopServices::openUrl(QUrl("http://" + about_->UpdateServer())))
    QMessageBox::critical(this, windowTitle(), "Failed to open URL");
}

void MainWindow::RestartForImport() {
  restart_requested_ = true;
  CloseWithoutQuestion();
  emit RestartRequested();
}

void MainWindow::Log(const std::string& line) {
  service_.log().LogLine(line);
}

}  // namespace vantrel
