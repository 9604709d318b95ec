#include "dialogs/anonymous_tab.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_prompts.h"
#include "dialogs/settings_fields.h"
#include "widgets/controls.h"

namespace vantrel {
namespace {

struct Right {
  const char* caption;
  const char* name;
  bool SettingsData::*field;
};

const Right kRights[] = {
    {"Allow download files", "anonymousAllowDownload", &SettingsData::anonymous_allowdownload},
    {"Allow upload files", "anonymousAllowUpload", &SettingsData::anonymous_allowupload},
    {"Allow renaming files (or dirs)", "anonymousAllowRename",
     &SettingsData::anonymous_allowrename},
    {"Allow deleting files", "anonymousAllowDelete", &SettingsData::anonymous_allowdelete},
    {"Allow change directory", "anonymousAllowChangeDir", &SettingsData::anonymous_allowchangedir},
    {"Allow creating directories", "anonymousAllowCreateDir",
     &SettingsData::anonymous_allowcreatedir},
    {"Allow deleting directories", "anonymousAllowDeleteDir",
     &SettingsData::anonymous_allowdeletedir},
};

}  // namespace

AnonymousTab::AnonymousTab(SettingsFields& fields, DialogPrompts& prompts,
                           std::string data_directory, QWidget* parent)
    : QWidget(parent),
      prompts_(prompts),
      data_directory_(std::move(data_directory)),
      allow_anonymous_(fields.Check("Allow anonymous users", "allowAnonymous",
                                    &SettingsData::allowanonymous, this)),
      home_(fields.Text("anonymousHome", &SettingsData::anonymoushome, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(allow_anonymous_);

  auto* home_row = new QHBoxLayout();
  auto* browse = NamedButton("Browse", "browseAnonymousHome", this);
  connect(browse, &QPushButton::clicked, this, &AnonymousTab::BrowseHome);
  home_row->addWidget(new QLabel("Anonymous Home Directory:", this));
  home_row->addWidget(home_, 1);
  home_row->addWidget(browse);
  layout->addLayout(home_row);

  auto* columns = new QHBoxLayout();
  columns->addLayout(CreateRights(fields));
  virtual_ = fields.List("anonymousVirtual", {"Virtual Directories:", "Dir Alias:", "Directory:"},
                         &SettingsData::anonymous_virtual, this);
  connect(virtual_->AddEditButton("Browse", "browse"), &QPushButton::clicked, this,
          &AnonymousTab::BrowseVirtual);
  columns->addWidget(virtual_, 1);
  layout->addLayout(columns, 1);
  layout->addLayout(CreateSpeeds(fields));
}

QLayout* AnonymousTab::CreateRights(SettingsFields& fields) {
  auto* rights = new QVBoxLayout();
  for (const Right& right : kRights)
    rights->addWidget(fields.Check(right.caption, right.name, right.field, this));
  rights->addStretch();
  return rights;
}

QLayout* AnonymousTab::CreateSpeeds(SettingsFields& fields) {
  auto* speeds = new QFormLayout();
  const auto speed_row = [&](const char* name, int SettingsData::*field) {
    auto* row = new QHBoxLayout();
    row->addWidget(fields.Number(name, field, this));
    row->addWidget(new QLabel("Bytes/s, 0 = No Limitation", this));
    row->addStretch();
    return row;
  };
  speeds->addRow("Download Speed:",
                 speed_row("anonymousDownload", &SettingsData::anonymous_download));
  speeds->addRow("Upload Speed:", speed_row("anonymousUpload", &SettingsData::anonymous_upload));
  return speeds;
}

QString AnonymousTab::ValidationFailure() const {
  if (allow_anonymous_->isChecked() && home_->text().isEmpty())
    return "No folder defined for anonymous!";
  return QString();
}

void AnonymousTab::BrowseHome() {
  const QString folder =
      prompts_.ChooseDirectory(this, "Select anonymous home directory", home_->text());
  if (!folder.isEmpty())
    home_->setText(folder);
}

void AnonymousTab::BrowseVirtual() {
  const QString folder =
      prompts_.ChooseDirectory(this, "Add virtual dir", QString::fromStdString(data_directory_));
  if (!folder.isEmpty())
    virtual_->SetValueText(folder);
}

}  // namespace vantrel
