#include "dialogs/ftp_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <climits>

#include "common/error.h"
#include "config/list_file.h"
#include "config/settings.h"
#include "dialogs/anonymous_tab.h"
#include "dialogs/dialog_prompts.h"
#include "dialogs/general_tab.h"
#include "dialogs/list_tabs.h"
#include "dialogs/security_tab.h"
#include "platform/autostart.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "service/service.h"
#include "widgets/controls.h"
#include "widgets/screen_check.h"

namespace vantrel {
namespace {

constexpr int kNoPosition = INT_MIN;

FileRequest DataFileRequest(const QString& caption, const std::string& directory) {
  return {caption, QString::fromStdString(directory), "ftpsettingdata.ftpdata",
          "Ftp Data Files (*.ftpdata)", "ftpdata"};
}

}  // namespace

FtpSettingsDialog::FtpSettingsDialog(Service& service, platform::Autostart* autostart,
                                     DialogPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      service_(service),
      autostart_(autostart),
      prompts_(prompts),
      program_path_(platform::ExecutablePath()) {
  setObjectName("ftpsettings");
  setWindowTitle("Ftp Server Settings");
  general_ = new GeneralTab(fields_, this);
  connect(&general_->start_at_login(), &QCheckBox::clicked, this,
          &FtpSettingsDialog::StartAtLoginClicked);
  anonymous_ = new AnonymousTab(fields_, prompts_, service_.data_directory(), this);
  security_ = new SecurityTab(fields_, prompts_, service_.data_directory(), this);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(general_, "General");
  tabs_->addTab(anonymous_, "Anonymous");
  tabs_->addTab(CreateWebTab(fields_, this), "Web Interface");
  tabs_->addTab(CreateBannedTab(fields_, this), "Banned List");
  tabs_->addTab(CreateFileControlTab(fields_, this), "File Control");
  tabs_->addTab(CreateLogTab(), "Log");
  tabs_->addTab(security_, "Security");
  tabs_->addTab(CreateImportTab(), "Import/Export");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  CreateButtons();
  resize(760, 540);  // wide enough for every tab's caption
  ReadPosition();
}

FtpSettingsDialog::~FtpSettingsDialog() {
  WritePosition();
}

QWidget* FtpSettingsDialog::CreateLogTab() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  form->addRow("Visible Log Lines:",
               fields_.Number("maxLogLines", &SettingsData::maxloglines, page));
  auto* file_row = new QHBoxLayout();
  file_row->addWidget(
      fields_.Check("Log downloads/uploads to file:", "logToFile", &SettingsData::logtofile, page));
  log_file_ = fields_.Text("logFile", &SettingsData::logfile, page);
  file_row->addWidget(log_file_, 1);
  auto* browse = NamedButton("Browse", "browseLogFile", page);
  connect(browse, &QPushButton::clicked, this, &FtpSettingsDialog::BrowseLogFile);
  file_row->addWidget(browse);
  form->addRow(file_row);
  form->addRow("File Log Lines:",
               fields_.Number("logFileLines", &SettingsData::logfilelines, page));
  auto* transfers = fields_.Text("xferLog", &SettingsData::xferlog, page);
  transfers->setPlaceholderText("off");
  form->addRow("Transfer log (xferlog format):", transfers);
  return page;
}

QString FtpSettingsDialog::LogTabValidationFailure(const SettingsData& edited) {
  const std::string path = TransferLogPath(edited);
  if (path.empty())
    return QString();
  const std::string folder = path.substr(0, path.rfind('/') + 1);
  if (platform::IsDirectory(path) || !platform::IsDirectory(folder))
    return "The transfer log must be a file in an existing folder!";
  return QString();
}

QWidget* FtpSettingsDialog::CreateImportTab() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  auto* export_button =
      NamedButton("Export Settings", "exportSettings", page, "Export Settings to File");
  auto* import_button =
      NamedButton("Import Settings", "importSettings", page, "Import Settings from File");
  connect(export_button, &QPushButton::clicked, this, &FtpSettingsDialog::ExportSettings);
  connect(import_button, &QPushButton::clicked, this, &FtpSettingsDialog::ImportSettings);
  layout->addWidget(export_button, 0, Qt::AlignLeft);
  layout->addWidget(import_button, 0, Qt::AlignLeft);
  layout->addStretch();
  return page;
}

void FtpSettingsDialog::CreateButtons() {
  auto* row = new QHBoxLayout();
  auto* apply = NamedButton("Apply", "apply", this, "Apply and Save Settings to File");
  auto* cancel = NamedButton("Cancel", "cancel", this);
  apply->setDefault(true);
  connect(apply, &QPushButton::clicked, this, &FtpSettingsDialog::Apply);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  row->addStretch();
  row->addWidget(apply);
  row->addWidget(cancel);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

// --- settings in and out ------------------------------------------------------------

void FtpSettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  shown_ = true;
  // A window restored from the task bar shows again; its edits stay.
  if (!event->spontaneous())
    Fill();
}

void FtpSettingsDialog::Fill() {
  ShowStartAtLogin();
  fields_.Fill(service_.settings().Snapshot());
}

QString FtpSettingsDialog::ValidationFailure() const {
  QString failure = general_->ValidationFailure();
  if (failure.isEmpty())
    failure = anonymous_->ValidationFailure();
  if (failure.isEmpty()) {
    SettingsData edited = service_.settings().Snapshot();
    fields_.Store(edited);
    failure = WebTabValidationFailure(edited);
    if (failure.isEmpty())
      failure = LogTabValidationFailure(edited);
    if (failure.isEmpty())
      failure = security_->ValidationFailure(edited);
  }
  return failure;
}

void FtpSettingsDialog::Apply() {
  const QString failure = ValidationFailure();
  if (!failure.isEmpty()) {
    ShowError(failure);
    return;
  }
  Settings& settings = service_.settings();
  settings.Update([this](SettingsData& values) { fields_.Store(values); });
  try {
    settings.SaveSettings();
  } catch (const Error& error) {
    // The new values are in force; only the file is behind, and the operator must know.
    ShowError(QString::fromStdString(error.what()));
    return;
  }
  accept();
}

void FtpSettingsDialog::ShowError(const QString& text) {
  prompts_.Error(this, QApplication::applicationDisplayName(), text);
}

// --- the start-at-login entry and the log file picker --------------------------------

void FtpSettingsDialog::ShowStartAtLogin() {
  general_->start_at_login().setChecked(autostart_ != nullptr &&
                                        autostart_->IsInRun(kAutostartName));
}

void FtpSettingsDialog::StartAtLoginClicked(bool checked) {
  if (checked) {
    if (autostart_ == nullptr || !autostart_->AddToRun(kAutostartName, program_path_))
      ShowError("Error writing autostart entry (run on startup).");
  } else if (autostart_ != nullptr) {
    autostart_->RemoveFromRun(kAutostartName);
  }
  // The box shows what the system holds, also after a failure.
  ShowStartAtLogin();
}

void FtpSettingsDialog::BrowseLogFile() {
  FileRequest request{"Log File", QFileInfo(log_file_->text()).path(), log_file_->text(),
                      "Log files (*.txt)", "txt"};
  const QString path = prompts_.SaveFileName(this, request);
  if (!path.isEmpty())
    log_file_->setText(path);
}

// --- export and import --------------------------------------------------------------

void FtpSettingsDialog::ExportSettings() {
  const std::string target =
      prompts_.SaveFileName(this, DataFileRequest("Export Settings", service_.data_directory()))
          .toStdString();
  if (target.empty())
    return;
  const QString title = QApplication::applicationDisplayName();
  if (platform::PathExists(target) && !prompts_.Question(this, title, "Overwrite existing file?"))
    return;
  if (service_.ExportState(target))
    prompts_.Information(this, title, "Setting file exported succesfully.");
  else
    prompts_.Error(this, title, "Failed to export setting file.");
}

void FtpSettingsDialog::ImportSettings() {
  const std::string source =
      prompts_.OpenFileName(this, DataFileRequest("Import Settings", service_.data_directory()))
          .toStdString();
  if (source.empty())
    return;
  const QString title = QApplication::applicationDisplayName();
  const std::optional<std::vector<std::string>> imported = service_.ImportState(source);
  if (!imported) {
    prompts_.Error(this, title, "Failed toe extract settings from data file.");
    return;
  }
  prompts_.Information(this, title, "Settings imported succesfully.\nClick ok to apply settings.");
  reject();
  if (restart_)
    restart_(*imported);
}

// --- position -----------------------------------------------------------------------

std::string FtpSettingsDialog::SettingsPath() const {
  return service_.data_directory() + Settings::kFileName;
}

void FtpSettingsDialog::ReadPosition() {
  const ListFile file(SettingsPath());
  // Without a stored place the dialog is left to open centred over the window.
  const int top = file.ReadInteger(kWindowSection, "top", kNoPosition);
  const int left = file.ReadInteger(kWindowSection, "left", kNoPosition);
  const int width = file.ReadInteger(kWindowSection, "width", this->width());
  const int height = file.ReadInteger(kWindowSection, "height", this->height());
  const int tab = file.ReadInteger(kWindowSection, "activetab", tabs_->currentIndex());
  resize(std::max(width, minimumSizeHint().width()), std::max(height, minimumSizeHint().height()));
  if (top != kNoPosition && left != kNoPosition && IsOnSomeScreen(QRect(QPoint(left, top), size())))
    move(left, top);
  if (tab >= 0 && tab < tabs_->count())
    tabs_->setCurrentIndex(tab);
}

void FtpSettingsDialog::WritePosition() const {
  // Never shown, the dialog has no place of its own yet; the stored one stays.
  if (!shown_)
    return;
  ListFile file(SettingsPath());
  file.WriteInteger(kWindowSection, "top", y());
  file.WriteInteger(kWindowSection, "left", x());
  file.WriteInteger(kWindowSection, "width", width());
  file.WriteInteger(kWindowSection, "height", height());
  file.WriteInteger(kWindowSection, "activetab", tabs_->currentIndex());
  try {
    file.Save();
  } catch (const Error&) {
    // Only the dialog's place is lost; the main window reports an unwritable settings
    // file when it saves the settings themselves.
  }
}

}  // namespace vantrel
