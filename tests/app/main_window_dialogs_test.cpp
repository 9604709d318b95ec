// The main window's buttons that open the dialogs: what they hand over, what they do with
// the answer, and what they log and save.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "accounts/users.h"
#include "app/main_window.h"
#include "app/qt_printers.h"
#include "app/recording_prompts.h"
#include "config/list_file.h"
#include "config/settings.h"
#include "config/storage_file.h"
#include "dialogs/ftp_settings_dialog.h"
#include "dialogs/update_dialog.h"
#include "log/log_file.h"
#include "service/service.h"
#include "support/temp_dir.h"
#include "widgets/column_list_view.h"
#include "widgets/log_view.h"

namespace vantrel {
namespace {

class DialogButtonsTest : public ::testing::Test {
 protected:
  DialogButtonsTest() {
    std::ofstream(dir_.File(Settings::kFileName)) << "[ftpsettings]\nconfirmexit=1\n";
    std::ofstream(dir_.File(Users::kFileName))
        << "[ftpmembers]\nftpmembers=2\n"
        << "[ftpmember0]\nuser=alice\npass=a\nhome=/srv/a\nfilecontrol=.exe;\n"
        << "[ftpmember1]\nuser=bob\npass=b\nhome=/srv/b\naddr=192.0.2.7:50122\n"
        << "lasttime=45000.5\n";
    service_ = std::make_unique<Service>(Directory());
    window_ = std::make_unique<MainWindow>(*service_, &prompts_);
    window_->onLogTick();
    Child<LogView>(*window_, "log").Clear();
  }
  ~DialogButtonsTest() override {
    window_.reset();
    service_.reset();
  }

  std::string Directory() const { return dir_.path() + "/"; }
  ColumnListView& Members() { return Child<ColumnListView>(*window_, "members"); }
  void Click(const char* button) { Child<QPushButton>(*window_, button).click(); }
  // The log lines since the window was made, oldest first.
  QStringList Logged() {
    window_->onLogTick();
    auto& view = Child<LogView>(*window_, "log");
    QStringList lines;
    for (int row = view.LineCount() - 1; row >= 0; --row) {
      const QString line = view.LineText(row);
      lines << line.mid(line.indexOf("- "));
    }
    return lines;
  }
  QString MemberCell(int row, int column) { return Members().topLevelItem(row)->text(column); }

  TempDir dir_;
  RecordingPrompts prompts_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(DialogButtonsTest, NewMemberStartsFreshAndAddsWhatIsApplied) {
  WhenModalShown([](QDialog& editor) { Child<QPushButton>(editor, "cancel").click(); });
  Click("newMember");
  EXPECT_EQ(service_->users().AccountRows().size(), 2u);
  EXPECT_TRUE(Logged().isEmpty()) << "a cancel adds and logs nothing";

  // Showing alice first leaves her file-control list in the editor's controls.
  Members().setCurrentItem(Members().topLevelItem(0));
  WhenModalShown([](QDialog& editor) { Child<QPushButton>(editor, "cancel").click(); });
  Click("modifyMember");

  QStringList shown;
  WhenModalShown([&](QDialog& editor) {
    shown << Child<QLineEdit>(editor, "userName").text()
          << Child<QLineEdit>(editor, "homeDirectory").text()
          << QString::number(Child<QListWidget>(editor, "list").count());
    for (const char* right : {"allowDownload", "allowUpload", "allowRename", "allowChangeDirectory",
                              "allowMakeDirectory", "allowDeleteFile", "allowDeleteDirectory"})
      shown << (Child<QCheckBox>(editor, right).isChecked() ? "1" : "0");
    Child<QLineEdit>(editor, "userName").setText("carol");
    Child<QPushButton>(editor, "apply").click();
  });
  Click("newMember");
  EXPECT_EQ(shown, QStringList({"", QString::fromStdString(Directory()), "0", "1", "1", "1", "1",
                                "1", "0", "0"}));
  ASSERT_EQ(Members().topLevelItemCount(), 3);
  EXPECT_EQ(MemberCell(2, 0), "carol");
  const std::optional<AccountFields> carol = service_->users().GetAccountByName("carol");
  ASSERT_TRUE(carol);
  EXPECT_EQ(carol->filecontrol, "") << "a new member starts with an empty file-control list";
  EXPECT_EQ(ListFile(dir_.File(Users::kFileName)).ReadString("ftpmember2", "user", ""), "carol")
      << "saved at once";

  WhenModalShown([](QDialog& editor) {
    Child<QLineEdit>(editor, "userName").setText("alice");
    Child<QPushButton>(editor, "apply").click();
  });
  Click("newMember");
  EXPECT_EQ(service_->users().AccountRows().size(), 3u);
  EXPECT_EQ(Logged(),
            QStringList({"- New account added carol", "- Failed to add new account alice"}));
}

TEST_F(DialogButtonsTest, ModifyMemberRenamesInPlaceAndKeepsTheLastVisit) {
  bool opened = false;
  WhenModalShown(
      [&](QDialog& editor) {
        opened = true;
        editor.reject();
      },
      200);
  Click("modifyMember");
  QTest::qWait(300);
  EXPECT_FALSE(opened) << "no editor without a selection";

  Members().setCurrentItem(Members().topLevelItem(1));
  const QString last_time = MemberCell(1, 4);
  QString shown_user;
  WhenModalShown([&](QDialog& editor) {
    shown_user = Child<QLineEdit>(editor, "userName").text();
    Child<QLineEdit>(editor, "userName").setText("robert");
    Child<QPushButton>(editor, "apply").click();
  });
  Click("modifyMember");
  EXPECT_EQ(shown_user, "bob");
  EXPECT_EQ(MemberCell(1, 0), "robert");
  EXPECT_EQ(MemberCell(1, 3), "192.0.2.7:50122");
  EXPECT_EQ(MemberCell(1, 4), last_time);
  EXPECT_EQ(ListFile(dir_.File(Users::kFileName)).ReadString("ftpmember1", "user", ""), "robert");

  Members().setCurrentItem(Members().topLevelItem(0));
  WhenModalShown([](QDialog& editor) { Child<QPushButton>(editor, "cancel").click(); });
  Click("modifyMember");
  Click("deleteMember");
  EXPECT_EQ(Logged(), QStringList({"- Account modified robert", "- Account deleted alice"}));
}

TEST_F(DialogButtonsTest, SettingsButtonAppliesTheLogFileSettingsAfterwards) {
  const std::string log_file = dir_.File("elsewhere.txt");
  WhenModalShown([&](QDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Ftp Server Settings");
    Child<QLineEdit>(dialog, "logFile").setText(QString::fromStdString(log_file));
    Child<QLineEdit>(dialog, "logFileLines").setText("42");
    Child<QPushButton>(dialog, "apply").click();
  });
  Click("settings");
  EXPECT_EQ(service_->log_file().Filename(), log_file);
  EXPECT_EQ(service_->log_file().MaxLines(), 42);
  EXPECT_EQ(ListFile(dir_.File(Settings::kFileName)).ReadString("ftpsettings", "logfile", ""),
            log_file);
}

TEST_F(DialogButtonsTest, ImportRestartsWithTheImportedSettingsAndAccounts) {
  TempDir source;
  std::ofstream(source.File(Settings::kFileName)) << "[ftpsettings]\nservertitle=Imported\n";
  std::ofstream(source.File(Users::kFileName))
      << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=zoe\npass=z\n";
  const std::string container = source.File("backup.ftpdata");
  ASSERT_TRUE(StorageFile(container).SaveFiles(
      {source.File(Settings::kFileName), source.File(Users::kFileName)}));
  // Held in memory only: the restart must not write it over the imported file.
  service_->settings().Update([](SettingsData& data) { data.servertitle = "Old"; });

  window_->show();
  QSignalSpy restart(window_.get(), &MainWindow::RestartRequested);
  prompts_.file_answer = QString::fromStdString(container);
  WhenModalShown([](QDialog& dialog) { Child<QPushButton>(dialog, "importSettings").click(); });
  Click("settings");

  EXPECT_EQ(restart.count(), 1);
  EXPECT_TRUE(window_->restart_requested());
  EXPECT_FALSE(window_->isVisible()) << "the window closed for the new copy";
  EXPECT_FALSE(service_->IsRunning());
  EXPECT_EQ(ListFile(dir_.File(Settings::kFileName)).ReadString("ftpsettings", "servertitle", ""),
            "Imported");
  const ListFile members(dir_.File(Users::kFileName));
  EXPECT_EQ(members.ReadInteger("ftpmembers", "ftpmembers", -1), 1);
  EXPECT_EQ(members.ReadString("ftpmember0", "user", ""), "zoe");
  EXPECT_TRUE(service_->users().GetAccountByName("zoe")) << "taken up before the restart";
}

TEST_F(DialogButtonsTest, CheckForUpdateAsksTheServerNamedOnTheAboutPage) {
  Child<QLineEdit>(*window_, "updateServer").setText("127.0.0.1");
  QString first_line;
  WhenModalShown([&](QDialog& dialog) {
    auto& status = Child<QListWidget>(dialog, "status");
    EXPECT_TRUE(QTest::qWaitFor([&] { return status.count() > 0; }, 10000));
    if (status.count() > 0)
      first_line = status.item(status.count() - 1)->text();
    dialog.reject();
  });
  Click("checkForUpdate");
  EXPECT_TRUE(first_line.endsWith("> Connecting to 127.0.0.1:4995..")) << first_line.toStdString();
}

}  // namespace
}  // namespace vantrel
