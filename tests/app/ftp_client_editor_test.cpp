#include "dialogs/ftp_client_editor.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/qt_printers.h"
#include "app/recording_prompts.h"
#include "dialogs/packed_list_editor.h"

namespace vantrel {
namespace {

QStringList Items(PackedListEditor& editor) {
  auto& list = Child<QListWidget>(editor, "list");
  QStringList items;
  for (int row = 0; row < list.count(); ++row)
    items << list.item(row)->text();
  return items;
}

void Select(PackedListEditor& editor, int row) {
  auto& list = Child<QListWidget>(editor, "list");
  list.clearSelection();
  list.setCurrentRow(row);
  list.item(row)->setSelected(true);
}

AccountFields Alice() {
  AccountFields alice;
  alice.user = "alice";
  alice.pass = "wonderland";
  alice.home = "/srv/alice";
  alice.allow_download = true;
  alice.allow_deletedirectory = true;
  alice.virtualdir = "pub=/srv/pub;docs=/srv/docs;";
  alice.filecontrol = ".exe;.bat;";
  alice.download = 4096;
  alice.upload = 512;
  return alice;
}

class FtpClientEditorTest : public ::testing::Test {
 protected:
  FtpClientEditorTest() : editor_(prompts_, "/data/") {}

  QLineEdit& Edit(const char* name) { return Child<QLineEdit>(editor_, name); }
  PackedListEditor& Virtual() { return Child<PackedListEditor>(editor_, "virtualDirectories"); }
  PackedListEditor& FileControl() { return Child<PackedListEditor>(editor_, "fileControl"); }

  RecordingPrompts prompts_;
  FtpClientEditor editor_;
};

TEST_F(FtpClientEditorTest, ShowsTheAccountAndApplyTakesEveryControlBack) {
  editor_.SetAccount(Alice());
  editor_.show();
  EXPECT_EQ(editor_.windowTitle(), "Ftp Client Editor");
  EXPECT_EQ(Edit("userName").text(), "alice");
  EXPECT_EQ(Edit("downloadSpeed").text(), "4096");
  EXPECT_TRUE(Child<QCheckBox>(editor_, "allowDeleteDirectory").isChecked());
  EXPECT_FALSE(Child<QCheckBox>(editor_, "allowUpload").isChecked());
  EXPECT_EQ(Items(Virtual()), QStringList({"pub=/srv/pub", "docs=/srv/docs"}));
  EXPECT_EQ(Items(FileControl()), QStringList({".exe", ".bat"}));

  Edit("userName").setText("alicia");
  Edit("uploadSpeed").setText("");
  Child<QCheckBox>(editor_, "allowUpload").setChecked(true);
  Child<QCheckBox>(editor_, "allowDeleteDirectory").setChecked(false);
  Select(Virtual(), 0);
  Child<QPushButton>(Virtual(), "delete").click();
  Child<QPushButton>(editor_, "apply").click();

  EXPECT_TRUE(editor_.applied());
  AccountFields expected = Alice();
  expected.user = "alicia";
  expected.upload = 0;
  expected.allow_upload = true;
  expected.allow_deletedirectory = false;
  expected.virtualdir = "docs=/srv/docs;";
  EXPECT_EQ(editor_.account(), expected);
}

TEST_F(FtpClientEditorTest, CancelLeavesTheAccountAndEmptyFieldsAreAccepted) {
  editor_.SetAccount(Alice());
  editor_.show();
  Edit("userName").setText("changed");
  Child<QPushButton>(editor_, "cancel").click();
  EXPECT_FALSE(editor_.applied());
  EXPECT_EQ(editor_.account(), Alice());

  editor_.show();
  EXPECT_EQ(Edit("userName").text(), "alice") << "a new showing starts from the account";
  Edit("userName").clear();
  Edit("homeDirectory").clear();
  Child<QPushButton>(editor_, "apply").click();
  EXPECT_TRUE(editor_.applied()) << "the editor checks nothing";
  EXPECT_EQ(editor_.account().user, "");

  editor_.show();
  EXPECT_FALSE(editor_.applied()) << "each showing starts unapplied";
}

TEST_F(FtpClientEditorTest, VirtualDirectoryAndFileControlListsFollowTheirOwnRules) {
  editor_.SetAccount(AccountFields{});
  editor_.show();
  PackedListEditor& dirs = Virtual();
  Child<QLineEdit>(dirs, "key").setText("pub");
  Child<QPushButton>(dirs, "add").click();
  EXPECT_TRUE(Items(dirs).isEmpty()) << "no directory, nothing added";
  prompts_.directory_answer = "/srv/pub";
  Child<QPushButton>(dirs, "browse").click();
  EXPECT_EQ(prompts_.log, QStringList({"directory: Add Virtual Directory|/data/"}));
  Child<QPushButton>(dirs, "add").click();
  EXPECT_EQ(Items(dirs), QStringList({"pub=/srv/pub"}));
  Select(dirs, 0);
  EXPECT_EQ(Child<QLineEdit>(dirs, "key").text(), "pub");
  EXPECT_EQ(Child<QLineEdit>(dirs, "value").text(), "/srv/pub");

  PackedListEditor& extensions = FileControl();
  QLineEdit& extension = Child<QLineEdit>(extensions, "key");
  extension.setText(".exe");
  Child<QPushButton>(extensions, "add").click();
  EXPECT_EQ(extension.text(), "");
  Select(extensions, 0);
  EXPECT_EQ(extension.text(), "") << "selecting does not fill the edit";
  Child<QPushButton>(extensions, "modify").click();
  EXPECT_EQ(Items(extensions), QStringList({".exe"})) << "an empty edit modifies nothing";
  extension.setText(".com");
  Child<QPushButton>(extensions, "modify").click();
  EXPECT_EQ(Items(extensions), QStringList({".com"}));
  Child<QPushButton>(extensions, "delete").click();
  EXPECT_TRUE(Items(extensions).isEmpty()) << "delete needs only the selection";

  prompts_.directory_answer = "/home/pub";
  Edit("homeDirectory").setText("/home");
  Child<QPushButton>(editor_, "browseHome").click();
  EXPECT_EQ(Edit("homeDirectory").text(), "/home/pub");
  EXPECT_EQ(prompts_.log.last(), "directory: Select Home Directory|/home");
}

}  // namespace
}  // namespace vantrel
