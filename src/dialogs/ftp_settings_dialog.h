#pragma once

// "Ftp Server Settings": every server setting on eight tabs, the start-at-login entry, and
// the export and import of the state files. Showing it copies the settings into the
// controls; "Apply" checks them, writes them back under the settings lock and saves the
// settings file; "Cancel" drops every edit. It neither starts nor stops the service: the
// engines read the new values the next time they start.
//
// The export and the import are the service's; the dialog asks for the file and reports
// the outcome. An import replaces the state files and then needs the program to start
// over with them; the dialog only reports which files it replaced and leaves the restart
// to its owner, which knows how to end the program (the tests replace it).

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/settings_fields.h"

class QCheckBox;
class QLineEdit;
class QTabWidget;

namespace vantrel {

namespace platform {
class Autostart;
}

class AnonymousTab;
class DialogPrompts;
class GeneralTab;
class SecurityTab;
class Service;
struct SettingsData;

// Created once by the main window and reused; main thread only.
class FtpSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kAutostartName = "Vantrel";
  static constexpr const char* kWindowSection = "window";
  enum Tab {
    kGeneralTab,
    kAnonymousTab,
    kWebTab,
    kBannedTab,
    kFileControlTab,
    kLogTab,
    kSecurityTab,
    kImportTab
  };

  // `autostart` may be null when the system has no place for such entries; checking
  // "Start at Login" then reports the failure.
  FtpSettingsDialog(Service& service, platform::Autostart* autostart, DialogPrompts& prompts,
                    QWidget* parent = nullptr);
  // Writes the position and the selected tab back to the settings file, once shown.
  ~FtpSettingsDialog() override;

  // Called after a successful import with the names of the files it replaced.
  using RestartHandler = std::function<void(const std::vector<std::string>& imported)>;
  void SetRestartHandler(RestartHandler handler) { restart_ = std::move(handler); }

  // The path written into the start-at-login entry (the running program by default).
  void SetProgramPath(std::string path) { program_path_ = std::move(path); }

  // The buttons' work; public so that a test can run them with the prompts it answers.
  void Apply();
  void ExportSettings();
  void ImportSettings();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* CreateLogTab();
  QWidget* CreateImportTab();
  void CreateButtons();

  void Fill();
  QString ValidationFailure() const;
  static QString LogTabValidationFailure(const SettingsData& edited);
  void ShowError(const QString& text);
  void ShowStartAtLogin();
  void StartAtLoginClicked(bool checked);
  void BrowseLogFile();

  void ReadPosition();
  void WritePosition() const;
  std::string SettingsPath() const;

  Service& service_;
  platform::Autostart* autostart_;
  DialogPrompts& prompts_;
  RestartHandler restart_;
  std::string program_path_;
  SettingsFields fields_;
  bool shown_ = false;

  QTabWidget* tabs_ = nullptr;
  GeneralTab* general_ = nullptr;
  AnonymousTab* anonymous_ = nullptr;
  SecurityTab* security_ = nullptr;
  QLineEdit* log_file_ = nullptr;
};

}  // namespace vantrel
