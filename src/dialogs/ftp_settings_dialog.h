#pragma once

// "Ftp Server Settings": every server setting on seven tabs, the start-at-login entry, and
// the export and import of the state files. Showing it copies the settings into the
// controls; "Apply" checks them, writes them back under the settings lock and saves the
// settings file; "Cancel" drops every edit. It neither starts nor stops the service: the
// engines read the new values the next time they start.
//
// Import replaces the state files on disk and then needs the program to start over with
// them; the dialog only reports which files it replaced and leaves the restart to its
// owner, which knows how to end the program (the tests replace it).

#include <QDialog>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "config/settings.h"
#include "dialogs/packed_list_editor.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;

namespace vantrel {

namespace platform {
class Autostart;
}

class DialogPrompts;

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
    kImportTab
  };

  // `autostart` may be null when the system has no place for such entries; checking
  // "Start at Login" then reports the failure.
  FtpSettingsDialog(Settings& settings, platform::Autostart* autostart, DialogPrompts& prompts,
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
  struct NumberField {
    QLineEdit* edit;
    int SettingsData::*field;
  };
  struct CheckField {
    QCheckBox* box;
    bool SettingsData::*field;
  };
  struct TextField {
    QLineEdit* edit;
    std::string SettingsData::*field;
  };
  struct LinesField {
    QPlainTextEdit* memo;
    std::string SettingsData::*field;
  };
  struct ListField {
    PackedListEditor* editor;
    std::string SettingsData::*field;
  };
  using Field = std::variant<NumberField, CheckField, TextField, LinesField, ListField>;

  QWidget* CreateGeneralTab();
  QWidget* CreateAnonymousTab();
  QWidget* CreateWebTab();
  QWidget* CreateBannedTab();
  QWidget* CreateAutoBanBox(QWidget* parent);
  QWidget* CreateFileControlTab();
  QWidget* CreateLogTab();
  QWidget* CreateImportTab();
  void CreateButtons();

  QLineEdit* Number(const char* name, int SettingsData::*field, QWidget* parent);
  QCheckBox* Check(const QString& caption, const char* name, bool SettingsData::*field,
                   QWidget* parent);
  QLineEdit* Text(const char* name, std::string SettingsData::*field, QWidget* parent);
  QPlainTextEdit* Lines(const char* name, std::string SettingsData::*field, QWidget* parent);
  PackedListEditor* List(const char* name, const PackedListEditor::Rules& rules,
                         std::string SettingsData::*field, QWidget* parent);

  void Fill();
  void Store(SettingsData& values) const;
  // The first failing check's message, or an empty text.
  QString ValidationFailure() const;
  void ShowError(const QString& text);

  void StartAtLoginClicked(bool checked);
  void BrowseAnonymousHome();
  void BrowseAnonymousVirtual();
  void BrowseLogFile();
  bool ImportFrom(const std::string& container, std::vector<std::string>& imported);

  void ReadPosition();
  void WritePosition() const;
  std::string SettingsPath() const;

  Settings& settings_;
  platform::Autostart* autostart_;
  DialogPrompts& prompts_;
  RestartHandler restart_;
  std::string program_path_;
  std::vector<Field> fields_;
  bool shown_ = false;

  QTabWidget* tabs_ = nullptr;
  QCheckBox* start_at_login_ = nullptr;
  QLineEdit* server_port_ = nullptr;
  QLineEdit* data_port_ = nullptr;
  QPlainTextEdit* greeting_ = nullptr;
  QCheckBox* allow_anonymous_ = nullptr;
  QLineEdit* anonymous_home_ = nullptr;
  QLineEdit* log_file_ = nullptr;
  PackedListEditor* anonymous_virtual_ = nullptr;
  std::vector<PackedListEditor*> lists_;
};

}  // namespace vantrel
