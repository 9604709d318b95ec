#include "app/f_vantrel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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
#include "app/tray_icon.h"
#include "common/byte_size.h"
#include "common/error.h"
#include "config/settings.h"
#include "dialogs/dialog_prompts.h"
#include "dialogs/ftp_client_editor.h"
#include "dialogs/ftp_settings_dialog.h"
#include "dialogs/update_dialog.h"
#include "log/log_queue.h"
#include "log/statistics.h"
#include "monitor/special_files.h"
#include "platform/autostart.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "service/service.h"
#include "service/version.h"
#include "transfer/transfer_table.h"
#include "widgets/column_list_view.h"
#include "widgets/log_view.h"
#include "widgets/status_box.h"

namespace vantrel {
namespace {

constexpr const char* kApplicationTitle = "Vantrel";
constexpr int kMinimumWidth = 320;
constexpr int kMinimumHeight = 240;
const QColor kRunningColour(0xb8, 0xf5, 0xb8);
const QColor kStoppedColour(0xff, 0xb8, 0xb8);

QPushButton* Button(const QString& caption, const char* name, const QString& hint,
                    QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  if (!hint.isEmpty()) {
    button->setToolTip(hint);
    button->setStatusTip(hint);
  }
  return button;
}

ColumnListView* List(const char* name, const std::vector<ColumnListView::Column>& columns,
                     QWidget* parent) {
  auto* list = new ColumnListView(columns, parent);
  list->setObjectName(name);
  return list;
}

// A page of a list with a row of buttons above it.
QWidget* ListPage(ColumnListView* list, const std::vector<QPushButton*>& buttons, QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  if (!buttons.empty()) {
    auto* row = new QHBoxLayout();
    for (QPushButton* button : buttons)
      row->addWidget(button);
    row->addStretch();
    layout->addLayout(row);
  }
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

// A saved position on a screen that is gone would put the window out of reach.
bool IsOnSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(frame))
      return true;
  }
  return false;
}

QString ProgramDate() {
  const auto modified = platform::ModificationTime(platform::ExecutablePath());
  return modified ? QString::fromStdString(FormatLocalDateTime(ToDateTime(*modified))) : QString();
}

}  // namespace

FVantrel::FVantrel(Service& service, DialogPrompts* prompts, QWidget* parent)
    : QMainWindow(parent), service_(service), prompts_(prompts) {
  service_.Load();

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(CreateLogPage(), "System Log");
  tabs_->addTab(CreateServerPage(), "Ftp Server");
  tabs_->addTab(CreateClientsPage(), "Active Clients");
  tabs_->addTab(CreateMonitoringPage(), "File Monitoring");
  tabs_->addTab(CreateTransfersPage(), "File Transfers");
  about_ = new AboutPage(this);
  connect(about_, &AboutPage::CheckForUpdateClicked, this, &FVantrel::CheckForUpdate);
  connect(about_, &AboutPage::GoToClicked, this, &FVantrel::GoTo);
  tabs_->addTab(about_, "About..");
  setCentralWidget(tabs_);
  resize(820, 560);

  CreateStatusBar();
  CreateTray();
  CreateDialogs();
  ShowVersion();
  ApplyBranding();
  RefreshMemberList();
  RefreshMonitoredList();
  ApplyLayout();
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == kServerTab)
      RefreshMemberList();
  });
  ShowMonitor();
  CreateTimers();
}

FVantrel::~FVantrel() {
  FormDestroy();
  // Before the prompts and the autostart entry they use go; the update dialog waits here
  // for a check it aborted.
  delete update_dialog_;
  delete client_editor_;
  delete settings_dialog_;
}

QWidget* FVantrel::CreateLogPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  log_view_ = new LogView(page);
  log_view_->setObjectName("log");
  auto* clear = Button("Clear Log", "clearLog", "Clear the log view", page);
  connect(clear, &QPushButton::clicked, log_view_, &LogView::Clear);
  auto* row = new QHBoxLayout();
  row->addWidget(clear);
  row->addStretch();
  layout->addLayout(row);
  layout->addWidget(log_view_, 1);
  return page;
}

QWidget* FVantrel::CreateServerPage() {
  auto* page = new QWidget(this);
  members_ = List("members",
                  {{"Username", 110},
                   {"Password", 90},
                   {"Home directory", 200},
                   {"Address", 140},
                   {"Last time", 140},
                   {"Virtual Directories", 200}},
                  page);
  members_->SetClearSelectionOnRightRelease(true);
  connect(members_, &ColumnListView::HeaderClicked, this, &FVantrel::SortMembers);

  auto* start = Button("Start Server", "startServer", "Start the FTP service", page);
  auto* stop = Button("Stop Server", "stopServer", "Stop the FTP service", page);
  auto* disconnect = Button("Disconnect All", "disconnectAll",
                            "Restart the FTP service, dropping every client", page);
  auto* settings = Button("Settings", "settings", "Enter to ftp settings window", page);
  auto* add =
      Button("New Member", "newMember", "Add new client with specified home directory", page);
  auto* modify =
      Button("Modify Member", "modifyMember", "Modify selected client's properties", page);
  auto* remove = Button("Delete Member", "deleteMember", "Delete selected client", page);
  connect(start, &QPushButton::clicked, this, &FVantrel::StartServer);
  connect(stop, &QPushButton::clicked, this, &FVantrel::StopServer);
  connect(disconnect, &QPushButton::clicked, this, &FVantrel::DisconnectAll);
  connect(settings, &QPushButton::clicked, this, &FVantrel::OpenSettings);
  connect(add, &QPushButton::clicked, this, &FVantrel::NewMember);
  connect(modify, &QPushButton::clicked, this, &FVantrel::ModifyMember);
  connect(remove, &QPushButton::clicked, this, &FVantrel::DeleteMember);

  auto* layout = new QVBoxLayout(page);
  auto* server_row = new QHBoxLayout();
  for (QPushButton* button : {start, stop, disconnect, settings})
    server_row->addWidget(button);
  server_row->addStretch();
  auto* member_row = new QHBoxLayout();
  for (QPushButton* button : {add, modify, remove})
    member_row->addWidget(button);
  member_row->addStretch();
  layout->addLayout(server_row);
  layout->addLayout(member_row);
  layout->addWidget(members_, 1);
  return page;
}

QWidget* FVantrel::CreateClientsPage() {
  auto* page = new QWidget(this);
  clients_ = List("clients",
                  {{"Address", 150},
                   {"Username", 110},
                   {"Current Directory", 220},
                   {"Action", 200},
                   {"Connected", 90}},
                  page);
  return ListPage(clients_, {}, page);
}

QWidget* FVantrel::CreateMonitoringPage() {
  auto* page = new QWidget(this);
  monitored_ =
      List("monitored", {{"Filename", 200}, {"Count", 50}, {"Date", 140}, {"Last Ip", 115}}, page);
  monitored_->SetClearSelectionOnRightRelease(true);
  connect(monitored_, &ColumnListView::HeaderClicked, this, &FVantrel::SortMonitored);
  auto* add = Button("Add File", "addFile", "Add file to monitored files list", page);
  auto* remove =
      Button("Remove File", "removeFile", "Remove selected item from monitored files list", page);
  auto* reset = Button("Reset Data", "resetData", "Reset selected file data", page);
  connect(add, &QPushButton::clicked, this, &FVantrel::ChooseMonitoredFile);
  connect(remove, &QPushButton::clicked, this, &FVantrel::RemoveMonitoredFile);
  connect(reset, &QPushButton::clicked, this, &FVantrel::ResetMonitoredFile);
  return ListPage(monitored_, {add, remove, reset}, page);
}

QWidget* FVantrel::CreateTransfersPage() {
  auto* page = new QWidget(this);
  transfers_ = List(
      "transfers",
      {{"Filename", 260}, {"Pos", 100}, {"Size", 100}, {"Speed", 100}, {"Time Left", 100}}, page);
  return ListPage(transfers_, {}, page);
}

void FVantrel::CreateStatusBar() {
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

void FVantrel::CreateTray() {
  tray_ = new TrayIcon(this);
  connect(tray_, &TrayIcon::RestoreRequested, this, &FVantrel::RestoreAndRaise);
  connect(tray_, &TrayIcon::StartRequested, this, &FVantrel::StartServer);
  connect(tray_, &TrayIcon::StopRequested, this, &FVantrel::StopServer);
  connect(tray_, &TrayIcon::ExitRequested, this, &QWidget::close);
}

void FVantrel::CreateDialogs() {
  if (prompts_ == nullptr) {
    own_prompts_ = std::make_unique<StandardPrompts>();
    prompts_ = own_prompts_.get();
  }
  if (const std::optional<std::string> directory = platform::Autostart::UserDirectory())
    autostart_ = std::make_unique<platform::Autostart>(*directory);
  settings_dialog_ = new FtpSettingsDialog(service_.settings(), autostart_.get(), *prompts_, this);
  settings_dialog_->SetRestartHandler(
      [this](const std::vector<std::string>& imported) { RestartProgram(imported); });
  client_editor_ = new FtpClientEditor(*prompts_, service_.data_directory(), this);
  update_dialog_ = new UpdateDialog(*prompts_, service_.data_directory(), this);
}

void FVantrel::CreateTimers() {
  log_timer_ = new QTimer(this);
  connect(log_timer_, &QTimer::timeout, this, &FVantrel::LogTimerTimer);
  log_timer_->start(kLogIntervalMs);
  refresh_timer_ = new QTimer(this);
  connect(refresh_timer_, &QTimer::timeout, this, &FVantrel::RefreshTimerTimer);
  refresh_timer_->start(kRefreshIntervalMs);
}

void FVantrel::ShowVersion() {
  about_->SetVersion(QString("r%1.%2.%3 (build %4)")
                         .arg(kVersionMajor)
                         .arg(kVersionMinor)
                         .arg(kVersionRelease)
                         .arg(kVersionBuild),
                     ProgramDate());
}

void FVantrel::ApplyBranding() {
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

WindowLayout FVantrel::CaptureLayout() const {
  WindowLayout layout;
  layout.top = pos().y();
  layout.left = pos().x();
  layout.width = width();
  layout.height = height();
  layout.tabindex = tabs_->currentIndex();
  layout.members = WidthsOf<6>(*members_);
  layout.clients = WidthsOf<5>(*clients_);
  layout.monitored = WidthsOf<4>(*monitored_);
  layout.transfers = WidthsOf<5>(*transfers_);
  return layout;
}

void FVantrel::ApplyLayout() {
  WindowLayout layout = CaptureLayout();
  if (!layout.Read(service_.data_directory() + WindowLayout::kFileName))
    return;
  resize(std::max(layout.width, kMinimumWidth), std::max(layout.height, kMinimumHeight));
  if (IsOnSomeScreen(QRect(QPoint(layout.left, layout.top), size())))
    move(layout.left, layout.top);
  if (layout.tabindex >= 0 && layout.tabindex < tabs_->count())
    tabs_->setCurrentIndex(layout.tabindex);
  ApplyWidths(*members_, layout.members);
  ApplyWidths(*clients_, layout.clients);
  ApplyWidths(*monitored_, layout.monitored);
  ApplyWidths(*transfers_, layout.transfers);
}

void FVantrel::SaveLayout() {
  try {
    CaptureLayout().Write(service_.data_directory() + WindowLayout::kFileName);
  } catch (const Error& failure) {
    Log(std::string("- ") + failure.what());
  }
}

// --- life cycle ---------------------------------------------------------------------

void FVantrel::FormActivate() {
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

void FVantrel::StartServer() {
  service_.StartServer();
  ShowRunningState(service_.IsRunning());
}

void FVantrel::StopServer() {
  service_.StopServer();
  ShowRunningState(service_.IsRunning());
}

void FVantrel::DisconnectAll() {
  StopServer();
  StartServer();
}

void FVantrel::RestoreAndRaise() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

void FVantrel::CloseWithoutQuestion() {
  ask_before_close_ = false;
  close();
}

bool FVantrel::ConfirmExit() {
  return QMessageBox::question(this, windowTitle(), "Are you sure to exit Vantrel?",
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void FVantrel::closeEvent(QCloseEvent* event) {
  if (!destroyed_ && ask_before_close_) {
    RestoreAndRaise();
    // "confirmexit" set means: close without asking.
    if (!service_.settings().Get(&SettingsData::confirmexit) && !ConfirmExit()) {
      showMinimized();
      event->ignore();
      return;
    }
  }
  FormDestroy();
  event->accept();
}

void FVantrel::FormDestroy() {
  if (destroyed_)
    return;
  destroyed_ = true;
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

void FVantrel::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // A window minimizing itself (showMinimized) is shown after its state changed: the
  // show must not take the icon away again.
  ShowTrayWhileMinimized();
  if (!activated_)
    QTimer::singleShot(0, this, &FVantrel::FormActivate);
}

void FVantrel::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange)
    ShowTrayWhileMinimized();
}

void FVantrel::ShowTrayWhileMinimized() {
  tray_->SetVisible(!destroyed_ && isMinimized() &&
                    service_.settings().Get(&SettingsData::showtrayicon));
}

bool FVantrel::event(QEvent* event) {
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

void FVantrel::LogTimerTimer() {
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

void FVantrel::RefreshTimerTimer() {
  ShowMonitor();
  service_.RefreshTick();
}

void FVantrel::ShowMonitor() {
  const int clients = service_.online_clients().Count();
  const MonitorView view = monitor_.Tick(service_.IsRunning(), clients);
  ShowRunningState(view.running);
  if (view.running)
    clients_->SetLines(service_.online_clients().RenderLines());
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
  transfers_->SetLines(service_.transfers().RenderTransferLines());
}

void FVantrel::ShowRunningState(bool running) {
  if (running)
    status_box_->SetState("Running", kRunningColour);
  else
    status_box_->SetState("Stopped", kStoppedColour);
}

// --- lists --------------------------------------------------------------------------

void FVantrel::RefreshMemberList() {
  members_->SetLines(service_.users().RenderAccountLines());
}

void FVantrel::RefreshMonitoredList() {
  monitored_->SetLines(service_.special_files().RenderLines());
}

void FVantrel::SortMembers(int column) {
  service_.users().SortAccounts(column);
  RefreshMemberList();
}

void FVantrel::SortMonitored(int column) {
  if (column < 0 || column > static_cast<int>(SpecialFiles::SortColumn::kLastIp))
    return;
  service_.special_files().Sort(static_cast<SpecialFiles::SortColumn>(column));
  RefreshMonitoredList();
}

void FVantrel::ChooseMonitoredFile() {
  const QString path = prompts_->OpenFileName(this, {"Add File", "", "", "All files (*)", ""});
  if (!path.isEmpty())
    AddMonitoredFile(path);
}

void FVantrel::AddMonitoredFile(const QString& path) {
  const std::string name = QFileInfo(path).fileName().toStdString();
  if (service_.special_files().Add(name))
    Log("- New file to monitor added (" + name + ")");
  else
    Log("- Failed to add new file to monitor (" + name + ")");
  RefreshMonitoredList();
}

void FVantrel::RemoveMonitoredFile() {
  const std::optional<std::string> name = monitored_->SelectedField(0);
  if (!name)
    return;
  if (service_.special_files().Remove(*name))
    Log("- File " + *name + " removed from monitoring list");
  else
    Log("- Failed to remove file " + *name + " from monitor list");
  RefreshMonitoredList();
}

void FVantrel::ResetMonitoredFile() {
  const std::optional<std::string> name = monitored_->SelectedField(0);
  if (!name)
    return;
  if (service_.special_files().Reset(*name))
    Log("- Monitored file " + *name + " statistics cleared");
  else
    Log("- Failed to reset monitored file " + *name);
  RefreshMonitoredList();
}

void FVantrel::NewMember() {
  AccountFields fresh;
  fresh.home = service_.data_directory();
  fresh.allow_download = true;
  fresh.allow_upload = true;
  fresh.allow_rename = true;
  fresh.allow_changedirectory = true;
  fresh.allow_makedirectory = true;
  client_editor_->SetAccount(fresh);
  client_editor_->exec();
  if (!client_editor_->applied())
    return;
  const AccountFields& account = client_editor_->account();
  if (!service_.users().AddAccount(account)) {
    Log("- Failed to add new account " + account.user);
    return;
  }
  Log("- New account added " + account.user);
  RefreshMemberList();
  SaveAccounts();
}

void FVantrel::ModifyMember() {
  const int row = members_->SelectedRow();
  if (row < 0)
    return;
  const std::optional<AccountFields> current = service_.users().GetAccount(row);
  if (!current) {
    Log("- Failed to locate account");
    return;
  }
  client_editor_->SetAccount(*current);
  client_editor_->exec();
  if (!client_editor_->applied())
    return;
  const AccountFields& account = client_editor_->account();
  if (!service_.users().UpdateAccount(row, account)) {
    Log("- Failed to modify account " + account.user);
    return;
  }
  Log("- Account modified " + account.user);
  RefreshMemberList();
  SaveAccounts();
}

void FVantrel::DeleteMember() {
  const int row = members_->SelectedRow();
  if (row < 0)
    return;
  Users& users = service_.users();
  const std::optional<AccountFields> account = users.GetAccount(row);
  if (!account) {
    Log("- Failed to locate account");
    return;
  }
  if (!users.DeleteAccount(row)) {
    Log("- Failed to delete account " + account->user);
    return;
  }
  Log("- Account deleted " + account->user);
  RefreshMemberList();
  SaveAccounts();
}

void FVantrel::SaveAccounts() {
  try {
    service_.users().SaveAccounts(service_.data_directory());
  } catch (const Error& failure) {
    Log(std::string("- ") + failure.what());
  }
}

// --- dialogs and links ----------------------------------------------------------------

void FVantrel::OpenSettings() {
  settings_dialog_->exec();
  service_.ApplyLogFileSettings();
}

void FVantrel::CheckForUpdate() {
  update_dialog_->SetServerName(about_->UpdateServer());
  update_dialog_->exec();
}

void FVantrel::GoTo() {
  if (!QDesktopServices::openUrl(QUrl("http://" + about_->UpdateServer())))
    QMessageBox::critical(this, windowTitle(), "Failed to open URL");
}

void FVantrel::RestartProgram(const std::vector<std::string>& imported) {
  const std::string& directory = service_.data_directory();
  for (const std::string& name : imported) {
    if (name == Settings::kFileName) {
      service_.settings().LoadSettings();
    } else if (name == Users::kFileName) {
      service_.users().ClearAccounts();
      service_.users().LoadAccounts(directory);
    } else if (name == SpecialFiles::kFileName) {
      service_.special_files().Load(directory);
    }
  }
  restart_requested_ = true;
  CloseWithoutQuestion();
  emit RestartRequested();
}

void FVantrel::Log(const std::string& line) {
  service_.log().LogLine(line);
}

}  // namespace vantrel
