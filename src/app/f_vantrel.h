#pragma once

// The main window: six tabs over the service host. It starts and stops the service, shows
// what the units render (accounts, clients, monitored files, transfers, totals, the log),
// keeps its own layout in mainftpsettings.lst and its branding from custom.config, and
// decides when the program may close. Every server decision stays in the service; the
// window only calls it and shows the answers.

#include <QMainWindow>
#include <string>

#include "app/session_monitor.h"
#include "app/window_layout.h"

class QLabel;
class QTabWidget;
class QTimer;

namespace vantrel {

class AboutPage;
class ColumnListView;
class LogView;
class Service;
class StatusBox;
class TrayIcon;

// Owned by the program's entry, which also owns the service and keeps it alive longer
// than the window. Main thread only.
class FVantrel : public QMainWindow {
  Q_OBJECT

 public:
  enum Tab { kLogTab, kServerTab, kClientsTab, kMonitoringTab, kTransfersTab, kAboutTab };
  static constexpr int kLogIntervalMs = 500;
  static constexpr int kRefreshIntervalMs = 2000;

  // Loads the service (settings, accounts, monitored files) and restores the layout.
  explicit FVantrel(Service& service, QWidget* parent = nullptr);
  ~FVantrel() override;

  // Runs once, on the first showing: minimizes when asked to, and starts serving when
  // "startonstartup" is set.
  void FormActivate();
  void StartServer();
  void StopServer();
  // Every client is dropped by a restart of the service.
  void DisconnectAll();
  void RestoreAndRaise();
  // A close without the question (a termination request); saving runs as usual.
  void CloseWithoutQuestion();

  // The two timers' work; public so that a test can tick by hand.
  void LogTimerTimer();
  void RefreshTimerTimer();

  // The monitored-files buttons, after their dialogs.
  void AddMonitoredFile(const QString& path);
  void RemoveMonitoredFile();
  void ResetMonitoredFile();
  void DeleteMember();

  const TrayIcon& tray() const { return *tray_; }

 protected:
  // The close question; true lets the program close. Tests answer it themselves.
  virtual bool ConfirmExit();

  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QWidget* CreateLogPage();
  QWidget* CreateServerPage();
  QWidget* CreateClientsPage();
  QWidget* CreateMonitoringPage();
  QWidget* CreateTransfersPage();
  void CreateStatusBar();
  void CreateTray();
  void CreateTimers();
  void ShowVersion();
  void ApplyBranding();

  WindowLayout CaptureLayout() const;
  void ApplyLayout();
  void SaveLayout();
  void FormDestroy();

  void ShowMonitor();
  void ShowRunningState(bool running);
  void RefreshMemberList();
  void RefreshMonitoredList();
  void SortMembers(int column);
  void SortMonitored(int column);
  void ChooseMonitoredFile();
  void SaveAccounts();

  void OpenSettings();
  void CheckForUpdate();
  void GoTo();
  void ShowComingLater(const QString& dialog);
  void Log(const std::string& line);

  Service& service_;
  SessionMonitor monitor_;
  bool activated_ = false;
  bool destroyed_ = false;
  bool ask_before_close_ = true;

  QTabWidget* tabs_ = nullptr;
  LogView* log_view_ = nullptr;
  ColumnListView* members_ = nullptr;
  ColumnListView* clients_ = nullptr;
  ColumnListView* monitored_ = nullptr;
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
