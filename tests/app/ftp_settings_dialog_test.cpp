#include "dialogs/ftp_settings_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "accounts/users.h"
#include "app/qt_printers.h"
#include "app/recording_prompts.h"
#include "config/list_file.h"
#include "config/storage_file.h"
#include "dialogs/packed_list_editor.h"
#include "monitor/special_files.h"
#include "platform/autostart.h"
#include "service/service.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

// One list editor, driven the way the operator does it.
struct EditorDriver {
  PackedListEditor& editor;

  void Type(const QString& key, const QString& value = QString()) {
    Child<QLineEdit>(editor, "key").setText(key);
    if (auto* edit = editor.findChild<QLineEdit*>("value"))
      edit->setText(value);
  }
  void Click(const char* button) { Child<QPushButton>(editor, button).click(); }
  void Select(int row) {
    auto& list = Child<QListWidget>(editor, "list");
    list.clearSelection();
    list.setCurrentRow(row);
    list.item(row)->setSelected(true);
  }
  QStringList Items() {
    auto& list = Child<QListWidget>(editor, "list");
    QStringList items;
    for (int row = 0; row < list.count(); ++row)
      items << list.item(row)->text();
    return items;
  }
  QString Key() { return Child<QLineEdit>(editor, "key").text(); }
  QString Value() {
    auto* edit = editor.findChild<QLineEdit*>("value");
    return edit ? edit->text() : QString();
  }
};

class FtpSettingsDialogTest : public ::testing::Test {
 protected:
  FtpSettingsDialogTest() : autostart_(dir_.File("autostart")) { settings_.LoadSettings(); }

  // The dialog, shown: showing is what copies the settings into the controls.
  std::unique_ptr<FtpSettingsDialog> Open(platform::Autostart* autostart = nullptr) {
    auto dialog = std::make_unique<FtpSettingsDialog>(service_, autostart, prompts_);
    dialog->SetRestartHandler(
        [this](const std::vector<std::string>& files) { restarts_.push_back(files); });
    dialog->show();
    return dialog;
  }
  QLineEdit& Edit(QWidget& dialog, const char* name) { return Child<QLineEdit>(dialog, name); }
  QCheckBox& Box(QWidget& dialog, const char* name) { return Child<QCheckBox>(dialog, name); }
  QPlainTextEdit& Memo(QWidget& dialog, const char* name) {
    return Child<QPlainTextEdit>(dialog, name);
  }
  EditorDriver List(QWidget& dialog, const char* name) {
    return {Child<PackedListEditor>(dialog, name)};
  }
  std::string Stored(const char* key) const {
    return ListFile(dir_.File(Settings::kFileName)).ReadString(Settings::kSection, key, "(none)");
  }

  TempDir dir_;
  Service service_{dir_.path() + "/"};
  Settings& settings_ = service_.settings();
  RecordingPrompts prompts_;
  platform::Autostart autostart_;
  std::vector<std::vector<std::string>> restarts_;
};

TEST_F(FtpSettingsDialogTest, EachFailedCheckNamesItselfAndStoresNothing) {
  const struct {
    const char* name;
    std::function<void(FtpSettingsDialog&)> edit;
    const char* message;
  } cases[] = {
      {"server port 0", [](auto& d) { Child<QLineEdit>(d, "serverPort").setText("0"); },
       "Invalid server port setting!"},
      {"server port empty", [](auto& d) { Child<QLineEdit>(d, "serverPort").clear(); },
       "Invalid server port setting!"},
      {"server port beyond 65535",
       [](auto& d) { Child<QLineEdit>(d, "serverPort").setText("70000"); },
       "Invalid server port setting!"},
      {"both ports 0, the server port named first",
       [](auto& d) {
         Child<QLineEdit>(d, "serverPort").setText("0");
         Child<QLineEdit>(d, "dataPort").setText("0");
       },
       "Invalid server port setting!"},
      {"data port 0", [](auto& d) { Child<QLineEdit>(d, "dataPort").setText("0"); },
       "Invalid data port setting!"},
      {"greeting empty", [](auto& d) { Child<QPlainTextEdit>(d, "greetingText").clear(); },
       "Invalid greetings text!"},
      {"greeting of blank lines",
       [](auto& d) { Child<QPlainTextEdit>(d, "greetingText").setPlainText(" \n\n"); },
       "Invalid greetings text!"},
      {"anonymous without a home",
       [](auto& d) {
         Child<QCheckBox>(d, "allowAnonymous").setChecked(true);
         Child<QLineEdit>(d, "anonymousHome").clear();
       },
       "No folder defined for anonymous!"},
      {"no encryption mode chosen",
       [](auto& d) { Child<QComboBox>(d, "tlsMode").setCurrentIndex(-1); },
       "Invalid encryption mode setting!"},
      {"implicit port beyond 65535",
       [](auto& d) { Child<QLineEdit>(d, "tlsImplicitPort").setText("65536"); },
       "Invalid implicit TLS port setting!"},
      {"implicit port on the edited server port",
       [](auto& d) {
         Child<QLineEdit>(d, "serverPort").setText("990");
         Child<QLineEdit>(d, "tlsImplicitPort").setText("990");
       },
       "Implicit TLS port must differ from the server and web interface ports!"},
      {"implicit port on the web port, web interface off",
       [](auto& d) { Child<QLineEdit>(d, "tlsImplicitPort").setText("4993"); },
       "Implicit TLS port must differ from the server and web interface ports!"},
      {"a certificate without its key",
       [](auto& d) { Child<QLineEdit>(d, "tlsCertFile").setText("/etc/ssl/ftp.pem"); },
       "Give both a certificate file and a key file, or neither!"},
      {"a key without its certificate",
       [](auto& d) { Child<QLineEdit>(d, "tlsKeyFile").setText("/etc/ssl/ftp.key"); },
       "Give both a certificate file and a key file, or neither!"},
      {"a transfer log in no folder",
       [](auto& d) { Child<QLineEdit>(d, "xferLog").setText("/nonexistent-dir/xferlog"); },
       "The transfer log must be a file in an existing folder!"},
      {"a transfer log that is a folder (the data directory)",
       [](auto& d) { Child<QLineEdit>(d, "xferLog").setText("."); },
       "The transfer log must be a file in an existing folder!"},
      {"a metrics address that is none",
       [](auto& d) { Child<QPlainTextEdit>(d, "metricsAllowed").setPlainText("::1\nlocalhost"); },
       "Invalid address for the metrics: localhost!"},
      {"a load balancer that is no address",
       [](auto& d) { Child<QPlainTextEdit>(d, "proxyTrusted").setPlainText("10.0.0.1\nlb.local"); },
       "Invalid load balancer address: lb.local!"},
      {"PROXY headers with no balancer named",
       [](auto& d) { Child<QCheckBox>(d, "proxyProtocol").setChecked(true); },
       "Name the load balancers that send PROXY headers!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    prompts_.log.clear();
    auto dialog = Open();
    Edit(*dialog, "serverTitle").setText("Edited");
    List(*dialog, "bannedList").Type("10.0.0.9");
    List(*dialog, "bannedList").Click("add");
    c.edit(*dialog);
    Child<QPushButton>(*dialog, "apply").click();
    EXPECT_EQ(prompts_.log, QStringList({QString("error: ") + c.message}));
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
    EXPECT_EQ(settings_.Get(&SettingsData::servertitle), "Vantrel");
    EXPECT_EQ(settings_.Get(&SettingsData::bannedlist), "");
    EXPECT_EQ(Stored("servertitle"), "(none)") << "nothing saved";
  }
}

TEST_F(FtpSettingsDialogTest, ApplyStoresEveryControlAndSaves) {
  settings_.Update([](SettingsData& data) {
    data.bannedlist = "10.0.0.1=flood;";
    data.webinterfaceusers = "admin=secret;";
  });
  auto dialog = Open();
  EXPECT_EQ(Memo(*dialog, "greetingText").toPlainText(), "Wellcome to Vantrel!");
  EXPECT_EQ(Edit(*dialog, "serverPort").text(), "21");
  EXPECT_EQ(List(*dialog, "bannedList").Items(), QStringList({"10.0.0.1=flood"}));

  Memo(*dialog, "greetingText").setPlainText("a\nb\n");
  Memo(*dialog, "maxClientCountReply").setPlainText("Busy.\nLater.");
  Edit(*dialog, "serverPort").setText("2121");
  EXPECT_EQ(Edit(*dialog, "maxClientsPerAddress").text(), "50");
  Edit(*dialog, "maxClientsPerAddress").setText("0");
  Edit(*dialog, "pasvIpAddr").setText("192.0.2.1");
  Box(*dialog, "allowAnonymous").setChecked(true);
  Box(*dialog, "anonymousAllowUpload").setChecked(true);
  Box(*dialog, "confirmExit").setChecked(true);
  Edit(*dialog, "anonymousDownload").setText("4096");
  Edit(*dialog, "autoBanMinutes").setText("9");
  Box(*dialog, "webInterfaceEnabled").setChecked(true);
  List(*dialog, "webInterfaceUsers").Type("ops", "pw");
  List(*dialog, "webInterfaceUsers").Click("add");
  List(*dialog, "preventUploads").Type(".exe");
  List(*dialog, "preventUploads").Click("add");
  Edit(*dialog, "logFile").setText("/var/log/ftp.txt");
  QComboBox& mode = Child<QComboBox>(*dialog, "tlsMode");
  EXPECT_EQ(mode.currentText(), "Off");
  EXPECT_EQ(mode.count(), 4);
  mode.setCurrentIndex(2);
  Edit(*dialog, "tlsImplicitPort").setText("990");
  Edit(*dialog, "tlsCertFile").setText("/etc/ssl/ftp.pem");
  Edit(*dialog, "tlsKeyFile").setText("/etc/ssl/private/ftp.key");
  Box(*dialog, "tlsRequireProtP").setChecked(true);
  EXPECT_TRUE(Box(*dialog, "tlsSessionReuse").isChecked());
  Box(*dialog, "tlsSessionReuse").setChecked(false);
  Box(*dialog, "webInterfaceHttps").setChecked(true);
  EXPECT_EQ(Memo(*dialog, "metricsAllowed").toPlainText(), "127.0.0.1\n::1");
  Box(*dialog, "metricsEnabled").setChecked(true);
  Memo(*dialog, "metricsAllowed").setPlainText("10.0.0.0-255\n::1");
  Edit(*dialog, "xferLog").setText("xferlog");  // in the data directory
  Box(*dialog, "proxyProtocol").setChecked(true);
  Memo(*dialog, "proxyTrusted").setPlainText("10.0.0.1\n10.0.1.0-255");
  Child<QPushButton>(*dialog, "apply").click();

  EXPECT_TRUE(prompts_.log.isEmpty()) << prompts_.log.join(", ").toStdString();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  const SettingsData data = settings_.Snapshot();
  EXPECT_EQ(data.greetingtext, "a;b;");
  EXPECT_EQ(data.maxclientcountreply, "Busy.;Later.;");
  EXPECT_EQ(data.serverport, 2121);
  EXPECT_EQ(data.maxclientsperaddress, 0);
  EXPECT_EQ(data.pasvipaddr, "192.0.2.1");
  EXPECT_TRUE(data.allowanonymous && data.anonymous_allowupload && data.confirmexit);
  EXPECT_EQ(data.anonymous_download, 4096);
  EXPECT_EQ(data.autoban_minutes, 9);
  EXPECT_TRUE(data.webinterfaceenabled);
  EXPECT_EQ(data.webinterfaceusers, "admin=secret;ops=pw;");
  EXPECT_EQ(data.preventuploads, ".exe;");
  EXPECT_EQ(data.bannedlist, "10.0.0.1=flood;");
  EXPECT_EQ(data.logfile, "/var/log/ftp.txt");
  EXPECT_EQ(data.tlsmode, 2);
  EXPECT_EQ(data.tlsimplicitport, 990);
  EXPECT_EQ(data.tlscertfile, "/etc/ssl/ftp.pem");
  EXPECT_EQ(data.tlskeyfile, "/etc/ssl/private/ftp.key");
  EXPECT_TRUE(data.tlsrequireprotp && data.webinterfacehttps);
  EXPECT_FALSE(data.tlssessionreuse);
  EXPECT_TRUE(data.metricsenabled);
  EXPECT_EQ(data.metricsallowed, "10.0.0.0-255;::1;");
  EXPECT_EQ(data.xferlog, "xferlog");
  EXPECT_TRUE(data.proxyprotocol);
  EXPECT_EQ(data.proxytrusted, "10.0.0.1;10.0.1.0-255;");
  EXPECT_EQ(Stored("greetingtext"), "a;b;");
  EXPECT_EQ(Stored("serverport"), "2121");
  EXPECT_EQ(Stored("tlsmode"), "2");

  // A mode no item stands for (only code can store one) selects nothing and is refused.
  settings_.Update([](SettingsData& values) { values.tlsmode = 7; });
  dialog->show();
  EXPECT_EQ(mode.currentIndex(), -1);
  Child<QPushButton>(*dialog, "apply").click();
  EXPECT_EQ(prompts_.Of("error"), QStringList({"Invalid encryption mode setting!"}));
}

TEST_F(FtpSettingsDialogTest, CancelDropsEditsAndShowingAgainRefills) {
  auto dialog = Open();
  Edit(*dialog, "serverTitle").setText("Edited");
  List(*dialog, "bannedList").Type("10.0.0.9", "why");
  Child<QPushButton>(*dialog, "cancel").click();
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(settings_.Get(&SettingsData::servertitle), "Vantrel");
  dialog->show();
  EXPECT_EQ(Edit(*dialog, "serverTitle").text(), "Vantrel");
  EXPECT_EQ(List(*dialog, "bannedList").Key(), "") << "entry edits are cleared on show";
  EXPECT_EQ(List(*dialog, "bannedList").Value(), "");
}

TEST_F(FtpSettingsDialogTest, ListEditorsAddModifyAndDeleteByTheirRules) {
  const struct {
    const char* list;
    QString key;
    QString value;
    bool added;
  } adds[] = {
      {"bannedList", "10.0.0.1", "", true},  // the reason may be empty
      {"bannedList", "", "no address", false},
      {"webInterfaceUsers", "admin", "", false},  // both needed
      {"webInterfaceUsers", "", "pw", false},
      {"webInterfaceUsers", "admin", "pw", true},
      {"anonymousVirtual", "pub", "", false},
      {"anonymousVirtual", "pub", "/srv/pub", true},
      {"preventUploads", "", "", false},
      {"preventUploads", ".exe", "", true},
  };
  auto dialog = Open();
  for (const auto& c : adds) {
    SCOPED_TRACE(std::string(c.list) + " key=" + c.key.toStdString());
    EditorDriver editor = List(*dialog, c.list);
    const int before = editor.Items().size();
    editor.Type(c.key, c.value);
    editor.Click("add");
    EXPECT_EQ(editor.Items().size(), before + (c.added ? 1 : 0));
    if (c.added) {
      EXPECT_EQ(editor.Key() + editor.Value(), "") << "an add clears the edits";
    } else {
      EXPECT_EQ(editor.Key(), c.key) << "a refused add keeps the edits";
    }
  }
  EXPECT_EQ(List(*dialog, "bannedList").Items(), QStringList({"10.0.0.1="}));
  EXPECT_EQ(List(*dialog, "anonymousVirtual").Items(), QStringList({"pub=/srv/pub"}));

  EditorDriver users = List(*dialog, "webInterfaceUsers");
  users.Type("root", "toor");
  users.Click("modify");
  EXPECT_EQ(users.Items(), QStringList({"admin=pw"})) << "no selection, no change";
  users.Select(0);
  EXPECT_EQ(users.Key(), "admin");
  EXPECT_EQ(users.Value(), "pw");
  users.Type("root", "a=b");
  users.Click("modify");
  EXPECT_EQ(users.Items(), QStringList({"root=a=b"}));
  users.Select(0);
  EXPECT_EQ(users.Value(), "a=b") << "the name ends at the first '='";
  users.Click("delete");
  EXPECT_TRUE(users.Items().isEmpty());
  EXPECT_EQ(users.Key(), "");

  EditorDriver extensions = List(*dialog, "preventUploads");
  extensions.Type(".bat");
  extensions.Click("add");
  extensions.Select(1);
  EXPECT_EQ(extensions.Key(), ".bat");
  extensions.Type("");
  extensions.Click("delete");
  EXPECT_EQ(extensions.Items().size(), 2) << "the extension list deletes only with its edit filled";
  extensions.Type(".bat");
  extensions.Click("delete");
  EXPECT_EQ(extensions.Items(), QStringList({".exe"}));
  extensions.Type(".com");
  extensions.Click("delete");
  EXPECT_EQ(extensions.Items(), QStringList({".exe"})) << "a delete leaves nothing selected";
}

TEST_F(FtpSettingsDialogTest, BrowseButtonsAskAndFillTheirEdits) {
  auto dialog = Open();
  const QString data = QString::fromStdString(dir_.path() + "/");
  Edit(*dialog, "anonymousHome").setText("/srv/old");
  prompts_.directory_answer = "/srv/anon";
  Child<QPushButton>(*dialog, "browseAnonymousHome").click();
  EXPECT_EQ(Edit(*dialog, "anonymousHome").text(), "/srv/anon");
  Child<QPushButton>(Child<PackedListEditor>(*dialog, "anonymousVirtual"), "browse").click();
  EXPECT_EQ(List(*dialog, "anonymousVirtual").Value(), "/srv/anon");
  prompts_.directory_answer.clear();
  Child<QPushButton>(*dialog, "browseAnonymousHome").click();
  EXPECT_EQ(Edit(*dialog, "anonymousHome").text(), "/srv/anon") << "a cancel changes nothing";
  prompts_.file_answer = "/var/log/new.txt";
  Edit(*dialog, "logFile").setText("/var/log/old.txt");
  Child<QPushButton>(*dialog, "browseLogFile").click();
  EXPECT_EQ(Edit(*dialog, "logFile").text(), "/var/log/new.txt");
  prompts_.file_answer = "/etc/ssl/ftp.pem";
  Child<QPushButton>(*dialog, "browseTlsCertFile").click();
  EXPECT_EQ(Edit(*dialog, "tlsCertFile").text(), "/etc/ssl/ftp.pem");
  Edit(*dialog, "tlsKeyFile").setText("/etc/ssl/private/old.key");
  prompts_.file_answer.clear();
  Child<QPushButton>(*dialog, "browseTlsKeyFile").click();
  EXPECT_EQ(Edit(*dialog, "tlsKeyFile").text(), "/etc/ssl/private/old.key");
  const QString pem = "PEM files (*.pem *.crt *.key)|";
  EXPECT_EQ(
      prompts_.log,
      QStringList({"directory: Select anonymous home directory|/srv/old",
                   "directory: Add virtual dir|" + data,
                   "directory: Select anonymous home directory|/srv/anon",
                   "save: Log File|/var/log|/var/log/old.txt|Log files (*.txt)|txt",
                   "open: TLS Certificate File|" + data + "||" + pem,
                   "open: TLS Private Key File|/etc/ssl/private|/etc/ssl/private/old.key|" + pem}));
}

TEST_F(FtpSettingsDialogTest, StartAtLoginWritesTheEntryAtOnce) {
  auto dialog = Open(&autostart_);
  QCheckBox& box = Box(*dialog, "startAtLogin");
  EXPECT_EQ(box.text(), "Start at Login");
  EXPECT_EQ(box.toolTip(), "Launch ftp server automatically on login");
  EXPECT_FALSE(box.isChecked());
  box.click();
  EXPECT_TRUE(autostart_.IsInRun("Vantrel"));
  EXPECT_TRUE(box.isChecked());
  Child<QPushButton>(*dialog, "cancel").click();
  EXPECT_TRUE(autostart_.IsInRun("Vantrel")) << "Cancel does not undo it";
  dialog->show();
  EXPECT_TRUE(Box(*dialog, "startAtLogin").isChecked()) << "shown from the entry";
  Box(*dialog, "startAtLogin").click();
  EXPECT_FALSE(autostart_.IsInRun("Vantrel"));
  EXPECT_TRUE(prompts_.log.isEmpty());

  dialog->SetProgramPath(dir_.File("no-such-program"));
  Box(*dialog, "startAtLogin").click();
  EXPECT_EQ(prompts_.log, QStringList({"error: Error writing autostart entry (run on startup)."}));
  EXPECT_FALSE(Box(*dialog, "startAtLogin").isChecked()) << "the box shows the truth";

  auto without = Open(nullptr);
  Box(*without, "startAtLogin").click();
  EXPECT_EQ(prompts_.Of("error").size(), 2);
}

TEST_F(FtpSettingsDialogTest, ExportPacksTheStateFilesThatExist) {
  settings_.SaveSettings();
  const std::string target = dir_.File("out.ftpdata");
  prompts_.file_answer = QString::fromStdString(target);
  auto dialog = Open();
  dialog->ExportSettings();
  const QString data = QString::fromStdString(dir_.path() + "/");
  EXPECT_EQ(prompts_.log,
            QStringList({"save: Export Settings|" + data +
                             "|ftpsettingdata.ftpdata|Ftp Data Files (*.ftpdata)|ftpdata",
                         "information: Setting file exported succesfully."}));
  EXPECT_EQ(StorageFile(target).ListEntries(), std::vector<std::string>({Settings::kFileName}));

  std::ofstream(dir_.File(Users::kFileName)) << "[ftpmembers]\nftpmembers=0\n";
  std::ofstream(dir_.File(SpecialFiles::kFileName)) << "[specialfiles]\nspecialfiles=0\n";
  prompts_.log.clear();
  prompts_.question_answer = false;
  dialog->ExportSettings();
  EXPECT_EQ(prompts_.Of("question"), QStringList({"Overwrite existing file?"}));
  EXPECT_EQ(StorageFile(target).ListEntries().size(), 1u) << "No keeps the old file";

  prompts_.question_answer = true;
  dialog->ExportSettings();
  EXPECT_EQ(
      StorageFile(target).ListEntries(),
      std::vector<std::string>({Settings::kFileName, SpecialFiles::kFileName, Users::kFileName}));

  prompts_.log.clear();
  prompts_.file_answer = QString::fromStdString(dir_.File("missing/out.ftpdata"));
  dialog->ExportSettings();
  EXPECT_EQ(prompts_.Of("error"), QStringList({"Failed to export setting file."}));
}

TEST_F(FtpSettingsDialogTest, ImportExtractsTheStateFilesAndAsksForARestart) {
  TempDir source;
  std::ofstream(source.File(Settings::kFileName)) << "[ftpsettings]\nservertitle=Imported\n";
  std::ofstream(source.File(Users::kFileName))
      << "[ftpmembers]\nftpmembers=1\n[ftpmember0]\nuser=imported\n";
  const std::string container = source.File("backup.ftpdata");
  ASSERT_TRUE(StorageFile(container).SaveFiles(
      {source.File(Settings::kFileName), source.File(Users::kFileName)}));
  prompts_.file_answer = QString::fromStdString(container);
  auto dialog = Open();
  dialog->ImportSettings();
  EXPECT_EQ(prompts_.log.size(), 2);
  EXPECT_EQ(prompts_.Of("information"),
            QStringList({"Settings imported succesfully.\nClick ok to apply settings."}));
  EXPECT_EQ(restarts_,
            std::vector<std::vector<std::string>>({{Settings::kFileName, Users::kFileName}}));
  EXPECT_EQ(Stored("servertitle"), "Imported");
  EXPECT_EQ(ListFile(dir_.File(Users::kFileName)).ReadString("ftpmember0", "user", ""), "imported");
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(FtpSettingsDialogTest, ImportRefusesWhatIsNoSettingsExport) {
  TempDir source;
  std::ofstream(source.File(Settings::kFileName)) << "[ftpsettings]\nservertitle=Imported\n";
  std::ofstream(source.File("vantrel")) << "not the program";
  std::ofstream(source.File("plain.txt")) << "no container";
  const std::string foreign = source.File("foreign.ftpdata");
  ASSERT_TRUE(
      StorageFile(foreign).SaveFiles({source.File(Settings::kFileName), source.File("vantrel")}));
  const std::string cases[] = {foreign, source.File("plain.txt"), source.File("missing.ftpdata")};
  auto dialog = Open();
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    prompts_.log.clear();
    prompts_.file_answer = QString::fromStdString(path);
    dialog->ImportSettings();
    EXPECT_EQ(prompts_.Of("error"), QStringList({"Failed toe extract settings from data file."}));
    EXPECT_TRUE(restarts_.empty());
    EXPECT_FALSE(std::filesystem::exists(dir_.File(Settings::kFileName)));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("vantrel")));
  }
}

TEST_F(FtpSettingsDialogTest, PositionAndTabLiveInTheWindowSection) {
  std::ofstream(dir_.File(Settings::kFileName))
      << "[ftpsettings]\nservertitle=Kept\n[window]\nwidth=800\nheight=700\nactivetab=3\n";
  {
    FtpSettingsDialog dialog(service_, nullptr, prompts_);
    EXPECT_EQ(dialog.size(), QSize(800, 700));
    auto& tabs = Child<QTabWidget>(dialog, "tabs");
    EXPECT_EQ(tabs.tabText(tabs.currentIndex()), "Banned List");
    dialog.show();
    tabs.setCurrentIndex(FtpSettingsDialog::kLogTab);
    dialog.resize(820, 720);
  }
  const ListFile saved(dir_.File(Settings::kFileName));
  EXPECT_EQ(saved.ReadInteger("window", "activetab", -1), FtpSettingsDialog::kLogTab);
  EXPECT_EQ(saved.ReadInteger("window", "width", -1), 820);
  EXPECT_EQ(saved.ReadInteger("window", "height", -1), 720);
  EXPECT_NE(saved.ReadInteger("window", "top", -99999), -99999);
  EXPECT_EQ(saved.ReadString("ftpsettings", "servertitle", ""), "Kept");

  settings_.SaveSettings();
  EXPECT_EQ(ListFile(dir_.File(Settings::kFileName)).ReadInteger("window", "activetab", -1),
            FtpSettingsDialog::kLogTab)
      << "saving the settings keeps the dialog's section";

  std::filesystem::remove(dir_.File(Settings::kFileName));
  { FtpSettingsDialog unshown(service_, nullptr, prompts_); }
  EXPECT_FALSE(std::filesystem::exists(dir_.File(Settings::kFileName)))
      << "a dialog never shown stores no place, so that it opens centred next time";
}

}  // namespace
}  // namespace vantrel
