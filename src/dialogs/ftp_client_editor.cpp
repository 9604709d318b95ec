#include "dialogs/ftp_client_editor.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/dialog_prompts.h"
#include "dialogs/packed_list_editor.h"
#include "widgets/controls.h"

namespace vantrel {
namespace {

struct RightControl {
  const char* caption;
  const char* name;
  bool AccountFields::*field;
};

const RightControl kRights[] = {
    {"Allow download files", "allowDownload", &AccountFields::allow_download},
    {"Allow upload files", "allowUpload", &AccountFields::allow_upload},
    {"Allow renaming files (or directories)", "allowRename", &AccountFields::allow_rename},
    {"Allow deleting files", "allowDeleteFile", &AccountFields::allow_deletefile},
    {"Allow change directory", "allowChangeDirectory", &AccountFields::allow_changedirectory},
    {"Allow creating directories", "allowMakeDirectory", &AccountFields::allow_makedirectory},
    {"Allow deleting directories", "allowDeleteDirectory", &AccountFields::allow_deletedirectory},
};

}  // namespace

FtpClientEditor::FtpClientEditor(DialogPrompts& prompts, std::string data_directory,
                                 QWidget* parent)
    : QDialog(parent), prompts_(prompts), data_directory_(std::move(data_directory)) {
  setObjectName("ftpclienteditor");
  setWindowTitle("Ftp Client Editor");
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("tabs");
  tabs->addTab(CreateGeneralTab(), "General");
  tabs->addTab(CreateVirtualTab(), "Virtual Directories");
  tabs->addTab(CreateFileControlTab(), "File Control");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs, 1);
  CreateButtons();
  resize(520, 420);
}

QLineEdit* FtpClientEditor::Edit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

QWidget* FtpClientEditor::CreateGeneralTab() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  user_ = Edit("userName", page);
  pass_ = Edit("password", page);
  form->addRow("User name:", user_);
  form->addRow("Password:", pass_);
  auto* home_row = new QHBoxLayout();
  home_ = Edit("homeDirectory", page);
  auto* browse = NamedButton("Browse", "browseHome", page);
  connect(browse, &QPushButton::clicked, this, &FtpClientEditor::BrowseHome);
  home_row->addWidget(home_, 1);
  home_row->addWidget(browse);
  form->addRow("Home directory:", home_row);

  auto speed_row = [&](const char* name) {
    QLineEdit* edit = NumberEdit(name, page);
    auto* row = new QHBoxLayout();
    row->addWidget(edit);
    row->addWidget(new QLabel("Bytes/s, 0 = No Limitation", page));
    row->addStretch();
    return std::make_pair(edit, row);
  };
  auto [download, download_row] = speed_row("downloadSpeed");
  auto [upload, upload_row] = speed_row("uploadSpeed");
  download_ = download;
  upload_ = upload;
  form->addRow("Download Speed:", download_row);
  form->addRow("Upload Speed:", upload_row);

  for (const RightControl& right : kRights) {
    auto* box = new QCheckBox(right.caption, page);
    box->setObjectName(right.name);
    rights_.push_back({box, right.field});
    form->addRow(box);
  }
  return page;
}

QWidget* FtpClientEditor::CreateVirtualTab() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  virtual_ = new PackedListEditor({"Virtual Directories:", "Dir Alias:", "Directory:"}, page);
  virtual_->setObjectName("virtualDirectories");
  connect(virtual_->AddEditButton("Browse", "browse"), &QPushButton::clicked, this,
          &FtpClientEditor::BrowseVirtual);
  layout->addWidget(virtual_);
  return page;
}

QWidget* FtpClientEditor::CreateFileControlTab() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  PackedListEditor::Rules rules{"Do not allow uploading files with these extensions:", "",
                                QString()};
  rules.fill_on_select = false;
  file_control_ = new PackedListEditor(rules, page);
  file_control_->setObjectName("fileControl");
  layout->addWidget(file_control_);
  return page;
}

void FtpClientEditor::CreateButtons() {
  auto* row = new QHBoxLayout();
  auto* apply = NamedButton("Apply", "apply", this);
  auto* cancel = NamedButton("Cancel", "cancel", this);
  apply->setDefault(true);
  connect(apply, &QPushButton::clicked, this, &FtpClientEditor::Apply);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  row->addStretch();
  row->addWidget(apply);
  row->addWidget(cancel);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

void FtpClientEditor::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored from the task bar shows again; that is no new edit.
  if (event->spontaneous())
    return;
  applied_ = false;
  Fill();
}

void FtpClientEditor::Fill() {
  user_->setText(QString::fromStdString(account_.user));
  pass_->setText(QString::fromStdString(account_.pass));
  home_->setText(QString::fromStdString(account_.home));
  for (const Right& right : rights_)
    right.box->setChecked(account_.*right.field);
  virtual_->SetPacked(account_.virtualdir);
  file_control_->SetPacked(account_.filecontrol);
  download_->setText(QString::number(account_.download));
  upload_->setText(QString::number(account_.upload));
  virtual_->ClearEdits();
  file_control_->ClearEdits();
  user_->setFocus();
}

void FtpClientEditor::Apply() {
  account_.user = user_->text().toStdString();
  account_.pass = pass_->text().toStdString();
  account_.home = home_->text().toStdString();
  for (const Right& right : rights_)
    account_.*right.field = right.box->isChecked();
  account_.virtualdir = virtual_->Packed();
  account_.filecontrol = file_control_->Packed();
  account_.download = NumberIn(*download_);
  account_.upload = NumberIn(*upload_);
  applied_ = true;
  accept();
}

void FtpClientEditor::BrowseHome() {
  const QString folder = prompts_.ChooseDirectory(this, "Select Home Directory", home_->text());
  if (!folder.isEmpty())
    home_->setText(folder);
}

void FtpClientEditor::BrowseVirtual() {
  const QString folder = prompts_.ChooseDirectory(this, "Add Virtual Directory",
                                                  QString::fromStdString(data_directory_));
  if (!folder.isEmpty())
    virtual_->SetValueText(folder);
}

}  // namespace vantrel
