#include "app/member_page.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "accounts/users.h"
#include "dialogs/ftp_client_editor.h"
#include "log/log_queue.h"
#include "service/service.h"
#include "widgets/column_list_view.h"
#include "widgets/controls.h"

namespace vantrel {
MemberPage::MemberPage(Service& service, DialogPrompts& prompts, QWidget* parent)
    : QWidget(parent),
      service_(service),
      editor_(new FtpClientEditor(prompts, service.data_directory(), this)),
      list_(new ColumnListView({{"Username", 110},
                                {"Password", 90},
                                {"Home directory", 200},
                                {"Address", 140},
                                {"Last time", 140},
                                {"Virtual Directories", 200}},
                               this)) {
  list_->setObjectName("members");
  list_->SetClearSelectionOnRightRelease(true);
  connect(list_, &ColumnListView::HeaderClicked, this, &MemberPage::SortBy);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(CreateServerButtons());
  layout->addLayout(CreateMemberButtons());
  layout->addWidget(list_, 1);
}

QLayout* MemberPage::CreateServerButtons() {
  auto* start = NamedButton("Start Server", "startServer", this, "Start the FTP service");
  auto* stop = NamedButton("Stop Server", "stopServer", this, "Stop the FTP service");
  auto* disconnect = NamedButton("Disconnect All", "disconnectAll", this,
                                 "Restart the FTP service, dropping every client");
  auto* settings = NamedButton("Settings", "settings", this, "Enter to ftp settings window");
  connect(start, &QPushButton::clicked, this, &MemberPage::StartClicked);
  connect(stop, &QPushButton::clicked, this, &MemberPage::StopClicked);
  connect(disconnect, &QPushButton::clicked, this, &MemberPage::DisconnectAllClicked);
  connect(settings, &QPushButton::clicked, this, &MemberPage::SettingsClicked);
  return ButtonRow({start, stop, disconnect, settings});
}

QLayout* MemberPage::CreateMemberButtons() {
  auto* add =
      NamedButton("New Member", "newMember", this, "Add new client with specified home directory");
  auto* modify =
      NamedButton("Modify Member", "modifyMember", this, "Modify selected client's properties");
  auto* remove = NamedButton("Delete Member", "deleteMember", this, "Delete selected client");
  connect(add, &QPushButton::clicked, this, &MemberPage::AddMember);
  connect(modify, &QPushButton::clicked, this, &MemberPage::EditSelectedMember);
  connect(remove, &QPushButton::clicked, this, &MemberPage::DeleteSelectedMember);
  return ButtonRow({add, modify, remove});
}

void MemberPage::Refresh() {
  std::vector<AccountRow> rows = service_.users().AccountRows();
  sort_.Apply(rows, SortAccountRows);
  list_->ShowRows(rows, AccountCells);
}

void MemberPage::SortBy(int column) {
  sort_.Click(column);
  Refresh();
}

std::optional<std::string> MemberPage::SelectedName() const {
  return list_->SelectedField(0);
}

std::optional<AccountFields> MemberPage::Edit(const AccountFields& account) {
  editor_->SetAccount(account);
  editor_->exec();
  if (!editor_->applied())
    return std::nullopt;
  return editor_->account();
}

void MemberPage::AddMember() {
  AccountFields fresh;
  fresh.home = service_.data_directory();
  fresh.allow_download = true;
  fresh.allow_upload = true;
  fresh.allow_rename = true;
  fresh.allow_changedirectory = true;
  fresh.allow_makedirectory = true;
  if (const std::optional<AccountFields> account = Edit(fresh)) {
    if (service_.AddMember(*account).changed)
      Refresh();
  }
}

void MemberPage::EditSelectedMember() {
  const std::optional<std::string> name = SelectedName();
  if (!name)
    return;
  const std::optional<AccountFields> current = service_.users().GetAccountByName(*name);
  if (!current) {
    service_.log().LogLine("- Failed to locate account");
    return;
  }
  if (const std::optional<AccountFields> account = Edit(*current)) {
    if (service_.UpdateMember(*name, *account).changed)
      Refresh();
  }
}

void MemberPage::DeleteSelectedMember() {
  const std::optional<std::string> name = SelectedName();
  if (!name)
    return;
  if (service_.DeleteMember(*name).changed)
    Refresh();
}

}  // namespace vantrel
