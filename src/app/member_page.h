#pragma once

// The "Ftp Server" tab: the service's buttons, the member buttons and the member list.
// The service's buttons are only reported; the window acts on them. The member buttons
// open the account editor and hand what it applies to the service's member operations,
// naming the account of the selected row, never its index: the web site may have changed
// the table since the list was drawn.

#include <QWidget>
#include <optional>
#include <string>

#include "accounts/ftp_user_data.h"
#include "common/column_sort.h"

class QLayout;

namespace vantrel {

class ColumnListView;
class DialogPrompts;
class FtpClientEditor;
class Service;

// Owned by the main window's tabs; main thread only.
class MemberPage : public QWidget {
  Q_OBJECT

 public:
  MemberPage(Service& service, DialogPrompts& prompts, QWidget* parent = nullptr);

  // Shows a fresh copy of the accounts, in the order the header clicks give it.
  void Refresh();

  // The member buttons' work; public so that a test can run them.
  void AddMember();
  void EditSelectedMember();
  void DeleteSelectedMember();

  ColumnListView& list() const { return *list_; }

 signals:
  void StartClicked();
  void StopClicked();
  void DisconnectAllClicked();
  void SettingsClicked();

 private:
  QLayout* CreateServerButtons();
  QLayout* CreateMemberButtons();
  void SortBy(int column);
  std::optional<std::string> SelectedName() const;
  // The editor over `account`; the edited account when the operator applied it.
  std::optional<AccountFields> Edit(const AccountFields& account);

  Service& service_;
  FtpClientEditor* editor_;
  ColumnListView* list_;
  ColumnSort sort_;
};

}  // namespace vantrel
