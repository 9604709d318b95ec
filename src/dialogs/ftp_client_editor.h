#pragma once

// "Ftp Client Editor": one member account on three tabs. It never touches the account
// table: the caller sets the account, shows the dialog, and on "Apply" takes the edited
// account back and decides what to do with it. No field is checked here; the table
// refuses what it cannot hold (a name that exists).

#include <QDialog>
#include <string>
#include <vector>

#include "accounts/ftp_user_data.h"

class QCheckBox;
class QLineEdit;

namespace vantrel {

class DialogPrompts;
class PackedListEditor;

// Created once by the main window and reused; main thread only.
class FtpClientEditor : public QDialog {
  Q_OBJECT

 public:
  FtpClientEditor(DialogPrompts& prompts, std::string data_directory, QWidget* parent = nullptr);

  // The caller's protocol: SetAccount, exec(), then applied() and account(). The account
  // keeps the values of the last use until it is set again.
  void SetAccount(const AccountFields& account) { account_ = account; }
  const AccountFields& account() const { return account_; }
  bool applied() const { return applied_; }

  void Apply();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct Right {
    QCheckBox* box;
    bool AccountFields::*field;
  };

  QWidget* CreateGeneralTab();
  QWidget* CreateVirtualTab();
  QWidget* CreateFileControlTab();
  void CreateButtons();
  QLineEdit* Edit(const char* name, QWidget* parent);
  void Fill();
  void BrowseHome();
  void BrowseVirtual();

  DialogPrompts& prompts_;
  const std::string data_directory_;
  AccountFields account_;
  bool applied_ = false;

  QLineEdit* user_ = nullptr;
  QLineEdit* pass_ = nullptr;
  QLineEdit* home_ = nullptr;
  QLineEdit* download_ = nullptr;
  QLineEdit* upload_ = nullptr;
  std::vector<Right> rights_;
  PackedListEditor* virtual_ = nullptr;
  PackedListEditor* file_control_ = nullptr;
};

}  // namespace vantrel
