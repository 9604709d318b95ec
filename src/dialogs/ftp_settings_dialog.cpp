#include "dialogs/ftp_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <climits>

#include "accounts/users.h"
#include "common/error.h"
#include "common/packed_list.h"
#include "common/text.h"
#include "config/list_file.h"
#include "config/storage_file.h"
#include "dialogs/dialog_prompts.h"
#include "platform/autostart.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "monitor/special_files.h"

namespace vantrel {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kNumberWidth = 120;
constexpr int kNoPosition = INT_MIN;

// The state files an export holds, in the order it writes them. An import takes nothing
// else: the data directory may be the program's own, and a container naming any other
// file could replace the program itself.
const char* const kStateFiles[] = {Settings::kFileName, SpecialFiles::kFileName, Users::kFileName};

FileRequest DataFileRequest(const QString& caption, const std::string& directory) {
  return {caption, QString::fromStdString(directory), "ftpsettingdata.ftpdata",
          "Ftp Data Files (*.ftpdata)", "ftpdata"};
}

QPushButton* NamedButton(const QString& caption, const char* name, const QString& hint,
                         QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  if (!hint.isEmpty())
    button->setToolTip(hint);
  return button;
}

// A number edit that is empty or holds no number counts as 0, as the checks expect.
int NumberOf(const QLineEdit* edit) {
  bool ok = false;
  const int value = edit->text().trimmed().toInt(&ok);
  return ok ? value : 0;
}

// The memo's lines as packed-list items; the line break after the last line adds none.
std::string PackLines(const QPlainTextEdit* memo) {
  QStringList lines = memo->toPlainText().split('\n');
  while (!lines.isEmpty() && lines.constLast().isEmpty())
    lines.removeLast();
  std::vector<std::string> items;
  for (const QString& line : lines)
    items.push_back(line.toStdString());
  return JoinPacked(items);
}

QString UnpackLines(const std::string& packed) {
  QStringList lines;
  for (const std::string& item : SplitPacked(packed))
    lines << QString::fromStdString(item);
  return lines.join('\n');
}

std::optional<std::string> StateFileNamed(const std::string& entry) {
  for (const char* name : kStateFiles) {
    if (EqualsIgnoreCase(entry, name))
      return std::string(name);
  }
  return std::nullopt;
}

bool IsOnSomeScreen(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(frame))
      return true;
  }
  return false;
}

QWidget* Page(QWidget* parent) {
  return new QWidget(parent);
}

}  // namespace

FtpSettingsDialog::FtpSettingsDialog(Settings& settings, platform::Autostart* autostart,
                                     DialogPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      autostart_(autostart),
      prompts_(prompts),
      program_path_(platform::ExecutablePath()) {
  setObjectName("ftpsettings");
  setWindowTitle("Ftp Server Settings");
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(CreateGeneralTab(), "General");
  tabs_->addTab(CreateAnonymousTab(), "Anonymous");
  tabs_->addTab(CreateWebTab(), "Web Interface");
  tabs_->addTab(CreateBannedTab(), "Banned List");
  tabs_->addTab(CreateFileControlTab(), "File Control");
  tabs_->addTab(CreateLogTab(), "Log");
  tabs_->addTab(CreateImportTab(), "Import/Export");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  CreateButtons();
  resize(700, 540);
  ReadPosition();
}

FtpSettingsDialog::~FtpSettingsDialog() {
  WritePosition();
}

// --- controls -----------------------------------------------------------------------

QLineEdit* FtpSettingsDialog::Number(const char* name, int SettingsData::*field, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setValidator(new QIntValidator(0, INT_MAX, edit));
  edit->setMaximumWidth(kNumberWidth);
  fields_.push_back(NumberField{edit, field});
  return edit;
}

QCheckBox* FtpSettingsDialog::Check(const QString& caption, const char* name,
                                    bool SettingsData::*field, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  fields_.push_back(CheckField{box, field});
  return box;
}

QLineEdit* FtpSettingsDialog::Text(const char* name, std::string SettingsData::*field,
                                   QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  fields_.push_back(TextField{edit, field});
  return edit;
}

QPlainTextEdit* FtpSettingsDialog::Lines(const char* name, std::string SettingsData::*field,
                                         QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  fields_.push_back(LinesField{memo, field});
  return memo;
}

PackedListEditor* FtpSettingsDialog::List(const char* name, const PackedListEditor::Rules& rules,
                                          std::string SettingsData::*field, QWidget* parent) {
  auto* editor = new PackedListEditor(rules, parent);
  editor->setObjectName(name);
  fields_.push_back(ListField{editor, field});
  lists_.push_back(editor);
  return editor;
}

QWidget* FtpSettingsDialog::CreateGeneralTab() {
  QWidget* page = Page(this);
  auto* form = new QFormLayout(page);
  greeting_ = Lines("greetingText", &SettingsData::greetingtext, page);
  greeting_->setMaximumHeight(70);
  form->addRow("Greeting Text:", greeting_);
  server_port_ = Number("serverPort", &SettingsData::serverport, page);
  data_port_ = Number("dataPort", &SettingsData::dataport, page);
  form->addRow("Server port (21):", server_port_);
  form->addRow("Data Port (20):", data_port_);
  form->addRow("Max client count:", Number("maxClientCount", &SettingsData::maxclientcount, page));
  QLineEdit* per_address =
      Number("maxClientsPerAddress", &SettingsData::maxclientsperaddress, page);
  per_address->setToolTip("Connections one address may hold at once; 0 for no limit");
  form->addRow("Max clients per address:", per_address);
  auto* reply = Lines("maxClientCountReply", &SettingsData::maxclientcountreply, page);
  reply->setMaximumHeight(50);
  form->addRow("Max Connection Count Reply:", reply);
  form->addRow("Passive mode Ip address:", Text("pasvIpAddr", &SettingsData::pasvipaddr, page));
  form->addRow("Port range start:", Number("pasvRangeStart", &SettingsData::pasvrangestart, page));
  form->addRow("Range length:", Number("pasvRangeSize", &SettingsData::pasvrangesize, page));

  form->addRow(Check("Do not Confirm Close", "confirmExit", &SettingsData::confirmexit, page));
  start_at_login_ = new QCheckBox("Start at Login", page);
  start_at_login_->setObjectName("startAtLogin");
  start_at_login_->setToolTip("Launch ftp server automatically on login");
  connect(start_at_login_, &QCheckBox::clicked, this, &FtpSettingsDialog::StartAtLoginClicked);
  form->addRow(start_at_login_);
  form->addRow(Check("Start FTP Server on Program Startup", "startOnStartup",
                     &SettingsData::startonstartup, page));
  QCheckBox* minimized =
      Check("Start Minimized,", "startMinimized", &SettingsData::startminimized, page);
  minimized->setToolTip("Minimize application on startup");
  form->addRow(minimized);
  form->addRow(Check("Show trayicon (if not, Restore on Another Instance)", "showTrayIcon",
                     &SettingsData::showtrayicon, page));
  return page;
}

QWidget* FtpSettingsDialog::CreateAnonymousTab() {
  QWidget* page = Page(this);
  auto* layout = new QVBoxLayout(page);
  allow_anonymous_ =
      Check("Allow anonymous users", "allowAnonymous", &SettingsData::allowanonymous, page);
  layout->addWidget(allow_anonymous_);

  auto* home_row = new QHBoxLayout();
  anonymous_home_ = Text("anonymousHome", &SettingsData::anonymoushome, page);
  auto* browse = NamedButton("Browse", "browseAnonymousHome", QString(), page);
  connect(browse, &QPushButton::clicked, this, &FtpSettingsDialog::BrowseAnonymousHome);
  home_row->addWidget(new QLabel("Anonymous Home Directory:", page));
  home_row->addWidget(anonymous_home_, 1);
  home_row->addWidget(browse);
  layout->addLayout(home_row);

  auto* columns = new QHBoxLayout();
  auto* rights = new QVBoxLayout();
  const std::pair<const char*, bool SettingsData::*> kRights[] = {
      {"Allow download files", &SettingsData::anonymous_allowdownload},
      {"Allow upload files", &SettingsData::anonymous_allowupload},
      {"Allow renaming files (or dirs)", &SettingsData::anonymous_allowrename},
      {"Allow deleting files", &SettingsData::anonymous_allowdelete},
      {"Allow change directory", &SettingsData::anonymous_allowchangedir},
      {"Allow creating directories", &SettingsData::anonymous_allowcreatedir},
      {"Allow deleting directories", &SettingsData::anonymous_allowdeletedir},
  };
  const char* const kRightNames[] = {"anonymousAllowDownload",  "anonymousAllowUpload",
                                     "anonymousAllowRename",    "anonymousAllowDelete",
                                     "anonymousAllowChangeDir", "anonymousAllowCreateDir",
                                     "anonymousAllowDeleteDir"};
  for (std::size_t i = 0; i < std::size(kRights); ++i)
    rights->addWidget(Check(kRights[i].first, kRightNames[i], kRights[i].second, page));
  rights->addStretch();
  columns->addLayout(rights);
  anonymous_virtual_ =
      List("anonymousVirtual", {"Virtual Directories:", "Dir Alias:", "Directory:"},
           &SettingsData::anonymous_virtual, page);
  connect(anonymous_virtual_->AddEditButton("Browse", "browse"), &QPushButton::clicked, this,
          &FtpSettingsDialog::BrowseAnonymousVirtual);
  columns->addWidget(anonymous_virtual_, 1);
  layout->addLayout(columns, 1);

  auto* speeds = new QFormLayout();
  const QString unit = "Bytes/s, 0 = No Limitation";
  auto speed_row = [&](const char* name, int SettingsData::*field) {
    auto* row = new QHBoxLayout();
    row->addWidget(Number(name, field, page));
    row->addWidget(new QLabel(unit, page));
    row->addStretch();
    return row;
  };
  speeds->addRow("Download Speed:",
                 speed_row("anonymousDownload", &SettingsData::anonymous_download));
  speeds->addRow("Upload Speed:", speed_row("anonymousUpload", &SettingsData::anonymous_upload));
  layout->addLayout(speeds);
  return page;
}

QWidget* FtpSettingsDialog::CreateWebTab() {
  QWidget* page = Page(this);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Check("Web interface enabled", "webInterfaceEnabled",
                          &SettingsData::webinterfaceenabled, page));
  auto* form = new QFormLayout();
  form->addRow("Authorization port:",
               Number("webInterfacePort", &SettingsData::webinterfaceport, page));
  auto* timeout_row = new QHBoxLayout();
  timeout_row->addWidget(
      Number("webInterfaceSessionTimeout", &SettingsData::webinterfacesessiontimeout, page));
  timeout_row->addWidget(new QLabel("milliseconds", page));
  timeout_row->addStretch();
  form->addRow("Session timeout:", timeout_row);
  form->addRow("Server Title:", Text("serverTitle", &SettingsData::servertitle, page));
  layout->addLayout(form);
  layout->addWidget(List("webInterfaceUsers", {"Admin user list:", "User name:", "Password:"},
                         &SettingsData::webinterfaceusers, page),
                    1);
  return page;
}

QWidget* FtpSettingsDialog::CreateBannedTab() {
  QWidget* page = Page(this);
  auto* layout = new QVBoxLayout(page);
  PackedListEditor::Rules rules{"Banned Addresses:", "Address:", "Reason:"};
  rules.value_required = false;
  layout->addWidget(List("bannedList", rules, &SettingsData::bannedlist, page), 1);
  layout->addWidget(CreateAutoBanBox(page));
  return page;
}

QWidget* FtpSettingsDialog::CreateAutoBanBox(QWidget* parent) {
  auto* box = new QWidget(parent);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(
      Check("Enable auto-ban with following options:", "autoBan", &SettingsData::autoban, box));
  // The limits sit inside the sentence that explains them.
  auto sentence_row = [&](std::initializer_list<std::variant<const char*, QLineEdit*>> parts) {
    auto* row = new QHBoxLayout();
    for (const auto& part : parts) {
      if (const auto* text = std::get_if<const char*>(&part)) {
        row->addWidget(new QLabel(*text, box));
      } else {
        QLineEdit* edit = std::get<QLineEdit*>(part);
        edit->setMaximumWidth(60);
        row->addWidget(edit);
      }
    }
    row->addStretch();
    layout->addLayout(row);
  };
  sentence_row({"Add IP to banned list if it tries to download not existing file more than",
                Number("autoBanDownloads", &SettingsData::autoban_downloads, box)});
  sentence_row({"times, tries to login more than",
                Number("autoBanLogins", &SettingsData::autoban_logins, box), "times or"});
  sentence_row({"tries to make/remove/change directory",
                Number("autoBanMkdir", &SettingsData::autoban_mkdir, box), "times within",
                Number("autoBanMinutes", &SettingsData::autoban_minutes, box), "minutes."});
  return box;
}

QWidget* FtpSettingsDialog::CreateFileControlTab() {
  QWidget* page = Page(this);
  auto* layout = new QVBoxLayout(page);
  PackedListEditor::Rules rules{"Prevent uploading files of type:", "Extension:", QString()};
  rules.delete_needs_key = true;
  layout->addWidget(List("preventUploads", rules, &SettingsData::preventuploads, page), 1);
  return page;
}

QWidget* FtpSettingsDialog::CreateLogTab() {
  QWidget* page = Page(this);
  auto* form = new QFormLayout(page);
  form->addRow("Visible Log Lines:", Number("maxLogLines", &SettingsData::maxloglines, page));
  auto* file_row = new QHBoxLayout();
  file_row->addWidget(
      Check("Log downloads/uploads to file:", "logToFile", &SettingsData::logtofile, page));
  log_file_ = Text("logFile", &SettingsData::logfile, page);
  file_row->addWidget(log_file_, 1);
  auto* browse = NamedButton("Browse", "browseLogFile", QString(), page);
  connect(browse, &QPushButton::clicked, this, &FtpSettingsDialog::BrowseLogFile);
  file_row->addWidget(browse);
  form->addRow(file_row);
  form->addRow("File Log Lines:", Number("logFileLines", &SettingsData::logfilelines, page));
  return page;
}

QWidget* FtpSettingsDialog::CreateImportTab() {
  QWidget* page = Page(this);
  auto* layout = new QVBoxLayout(page);
  auto* export_button =
      NamedButton("Export Settings", "exportSettings", "Export Settings to File", page);
  auto* import_button =
      NamedButton("Import Settings", "importSettings", "Import Settings from File", page);
  connect(export_button, &QPushButton::clicked, this, &FtpSettingsDialog::ExportSettings);
  connect(import_button, &QPushButton::clicked, this, &FtpSettingsDialog::ImportSettings);
  layout->addWidget(export_button, 0, Qt::AlignLeft);
  layout->addWidget(import_button, 0, Qt::AlignLeft);
  layout->addStretch();
  return page;
}

void FtpSettingsDialog::CreateButtons() {
  auto* row = new QHBoxLayout();
  auto* apply = NamedButton("Apply", "apply", "Apply and Save Settings to File", this);
  auto* cancel = NamedButton("Cancel", "cancel", QString(), this);
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
  start_at_login_->setChecked(autostart_ != nullptr && autostart_->IsInRun(kAutostartName));
  const SettingsData values = settings_.Snapshot();
  for (const Field& field : fields_) {
    std::visit(
        [&values](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, NumberField>)
            f.edit->setText(QString::number(values.*f.field));
          else if constexpr (std::is_same_v<F, CheckField>)
            f.box->setChecked(values.*f.field);
          else if constexpr (std::is_same_v<F, TextField>)
            f.edit->setText(QString::fromStdString(values.*f.field));
          else if constexpr (std::is_same_v<F, LinesField>)
            f.memo->setPlainText(UnpackLines(values.*f.field));
          else
            f.editor->SetPacked(values.*f.field);
        },
        field);
  }
  for (PackedListEditor* list : lists_)
    list->ClearEdits();
}

void FtpSettingsDialog::Store(SettingsData& values) const {
  for (const Field& field : fields_) {
    std::visit(
        [&values](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, NumberField>)
            values.*f.field = NumberOf(f.edit);
          else if constexpr (std::is_same_v<F, CheckField>)
            values.*f.field = f.box->isChecked();
          else if constexpr (std::is_same_v<F, TextField>)
            values.*f.field = f.edit->text().toStdString();
          else if constexpr (std::is_same_v<F, LinesField>)
            values.*f.field = PackLines(f.memo);
          else
            values.*f.field = f.editor->Packed();
        },
        field);
  }
}

QString FtpSettingsDialog::ValidationFailure() const {
  // A port the system cannot bind is as invalid as 0.
  const int server_port = NumberOf(server_port_);
  if (server_port < 1 || server_port > kMaxPort)
    return "Invalid server port setting!";
  const int data_port = NumberOf(data_port_);
  if (data_port < 1 || data_port > kMaxPort)
    return "Invalid data port setting!";
  if (greeting_->toPlainText().trimmed().isEmpty())
    return "Invalid greetings text!";
  if (allow_anonymous_->isChecked() && anonymous_home_->text().isEmpty())
    return "No folder defined for anonymous!";
  return QString();
}

void FtpSettingsDialog::Apply() {
  const QString failure = ValidationFailure();
  if (!failure.isEmpty()) {
    ShowError(failure);
    return;
  }
  settings_.Update([this](SettingsData& values) { Store(values); });
  try {
    settings_.SaveSettings();
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

// --- the start-at-login entry and the pickers -----------------------------------------

void FtpSettingsDialog::StartAtLoginClicked(bool checked) {
  if (checked) {
    if (autostart_ == nullptr || !autostart_->AddToRun(kAutostartName, program_path_))
      ShowError("Error writing autostart entry (run on startup).");
  } else if (autostart_ != nullptr) {
    autostart_->RemoveFromRun(kAutostartName);
  }
  // The box shows what the system holds, also after a failure.
  start_at_login_->setChecked(autostart_ != nullptr && autostart_->IsInRun(kAutostartName));
}

void FtpSettingsDialog::BrowseAnonymousHome() {
  const QString folder =
      prompts_.ChooseDirectory(this, "Select anonymous home directory", anonymous_home_->text());
  if (!folder.isEmpty())
    anonymous_home_->setText(folder);
}

void FtpSettingsDialog::BrowseAnonymousVirtual() {
  const QString folder = prompts_.ChooseDirectory(
      this, "Add virtual dir", QString::fromStdString(settings_.GetDataDirectory()));
  if (!folder.isEmpty())
    anonymous_virtual_->SetValueText(folder);
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
  const std::string directory = settings_.GetDataDirectory();
  const std::string target =
      prompts_.SaveFileName(this, DataFileRequest("Export Settings", directory)).toStdString();
  if (target.empty())
    return;
  const QString title = QApplication::applicationDisplayName();
  if (platform::PathExists(target) && !prompts_.Question(this, title, "Overwrite existing file?"))
    return;
  std::vector<std::string> files;
  for (const char* name : kStateFiles) {
    if (platform::PathExists(directory + name))
      files.push_back(directory + name);
  }
  bool saved = false;
  try {
    saved = StorageFile(target).SaveFiles(files);
  } catch (const Error&) {
    saved = false;
  }
  if (saved)
    prompts_.Information(this, title, "Setting file exported succesfully.");
  else
    prompts_.Error(this, title, "Failed to export setting file.");
}

void FtpSettingsDialog::ImportSettings() {
  const std::string source =
      prompts_.OpenFileName(this, DataFileRequest("Import Settings", settings_.GetDataDirectory()))
          .toStdString();
  if (source.empty())
    return;
  const QString title = QApplication::applicationDisplayName();
  std::vector<std::string> imported;
  if (!ImportFrom(source, imported)) {
    prompts_.Error(this, title, "Failed toe extract settings from data file.");
    return;
  }
  prompts_.Information(this, title, "Settings imported succesfully.\nClick ok to apply settings.");
  reject();
  if (restart_)
    restart_(imported);
}

bool FtpSettingsDialog::ImportFrom(const std::string& container,
                                   std::vector<std::string>& imported) {
  const std::string directory = settings_.GetDataDirectory();
  try {
    StorageFile storage(container);
    std::vector<std::string> names;
    for (const std::string& entry : storage.ListEntries()) {
      const std::optional<std::string> name = StateFileNamed(entry);
      if (!name)
        return false;
      names.push_back(*name);
    }
    if (names.empty())
      return false;
    for (const std::string& name : names) {
      if (!storage.ExtractToFile(name, directory))
        return false;
      imported.push_back(name);
    }
  } catch (const Error&) {
    return false;
  }
  return true;
}

// --- position -----------------------------------------------------------------------

std::string FtpSettingsDialog::SettingsPath() const {
  return settings_.GetDataDirectory() + Settings::kFileName;
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
  // A position on a screen that is gone would put the dialog out of reach.
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
