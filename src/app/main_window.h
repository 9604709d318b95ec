#pragma once

// The main window: six tabs over the service host. It starts and stops the service, shows
// copies of what the units hold (accounts, clients, monitored files, transfers, totals,
// the log), keeps its own layout in mainftpsettings.lst and its branding from
// custom.config, and decides when the program may close. Every server decision stays in
// the service; the window only calls it and shows the answers. The member tab and the
// monitored-files tab are pages of their own (member_page.h, monitored_files_page.h).

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "app/session_monitor.h"
#include "app/window_layout.h"

class QLabel;
class QTabWidget;
class QTimer;

namespace vantrel {

namespace platform {
class Autostart;
}

class AboutPage;
class ColumnListView;
class DialogPrompts;
class FtpSettingsDialog;
class LogView;
class MemberPage;
class MonitoredFilesPage;
class Service;
class StatusBox;
class TrayIcon;
class UpdateDialog;

// Owned by the program's entry, which also owns the service and keeps it alive longer
// than the window. Main thread only.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  enum Tab { kLogTab, kServerTab, kClientsTab, kMonitoringTab, kTransfersTab, kAboutTab };
  static constexpr int kLogIntervalMs = 500;
  static constexpr int kRefreshIntervalMs = 2000;

  // Loads the service (settings, accounts, monitored files) and restores the layout. The
  // dialogs ask through `prompts` when given (a test's, outliving the window), else
  // through the standard message boxes and file pickers.
  explicit MainWindow(Service& service, DialogPrompts* prompts = nullptr,
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  // Runs once, on the first showing: minimizes when asked to, and starts serving when
  // "startonstartup" is set.
  void StartAsConfigured();
  void StartServer();
  void StopServer();
  // Every client is dropped by a restart of the service.
  void DisconnectAll();
  void RestoreAndRaise();
  // A close without the question (a termination request); saving runs as usual.
  void CloseWithoutQuestion();

  // After an import has replaced state files (which the service has taken up): closes,
  // and asks the program's entry for a new copy.
  void RestartForImport();
  bool restart_requested() const { return restart_requested_; }

  MemberPage& member_page() const { return *member_page_; }
  MonitoredFilesPage& monitored_files_page() const { return *monitored_files_page_; }
  const TrayIcon& tray() const { return *tray_; }

 public slots:
  // The two timers' work; public so that a test can tick by hand.
  void onLogTick();
  void onRefreshTick();

 signals:
  // The window has closed for a restart; the program's entry quits and starts anew.
  void RestartRequested();

 protected:
  // The close question; true lets the program close. Tests answer it themselves.
  virtual bool ConfirmExit();

  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void CreatePages();
  QWidget* CreateLogPage();
  QWidget* CreateServerPage();
  QWidget* CreateClientsPage();
  QWidget* CreateTransfersPage();
  void CreateStatusBar();
  void CreateTray();
  void CreateTimers();
  void CreateDialogs();
  void ShowVersion();
  void ApplyBranding();

  WindowLayout CaptureLayout() const;
  void ApplyLayout();
  void SaveLayout();
  // Stops the timers and the service, saves the state files and the layout: once.
  void ShutDown();

  // The tray icon stands in for the minimized window, whoever minimized it: the operator,
  // "startminimized", or a refused close.
  void ShowTrayWhileMinimized();
  void ShowMonitor();
  void ShowRunningState(bool running);

  void OpenSettings();
  void CheckForUpdate();
  void OpenUpdateServerSite();
  void Log(const std::string& line);

  Service& service_;
  SessionMonitor monitor_;
  bool activated_ = false;
  bool shut_down_ = false;
  bool ask_before_close_ = true;
  bool restart_requested_ = false;

  std::unique_ptr<DialogPrompts> own_prompts_;
  DialogPrompts* prompts_ = nullptr;
  std::unique_ptr<platform::Autostart> autostart_;
  FtpSettingsDialog* settings_dialog_ = nullptr;
  UpdateDialog* update_dialog_ = nullptr;

  QTabWidget* tabs_ = nullptr;
  LogView* log_view_ = nullptr;
  MemberPage* member_page_ = nullptr;
  ColumnListView* clients_ = nullptr;
  MonitoredFilesPage* monitored_files_page_ = nullptr;
  ColumnListView* transfers_ = nullptr;
  AboutPage* about_ = nullptr;
  StatusBox* status_box_ = nullptr;
  QLabel* clients_panel_ = nullptr;
  QLabel* message_panel_ = nullptr;
  TrayIcon* tray_ = nullptr;
  QTimer* log_timer_ = nullptr;
  QTimer* refresh_timer_ = nullptr;
};

}  // namespace vantrel
