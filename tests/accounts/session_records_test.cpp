#include "accounts/session_records.h"

#include <gtest/gtest.h>

#include "accounts/path_resolver.h"
#include "accounts/users.h"
#include "config/settings.h"

namespace vantrel {
namespace {

class SessionRecordsTest : public ::testing::Test {
 protected:
  SessionRecordsTest() {
    bob_.user = "bob";
    bob_.pass = "pw";
    bob_.home = "/home/bob";
    bob_.virtualdir = "private=/srv/private;deep/er=/srv/deep;";
    bob_.allow_download = true;
    bob_.allow_upload = true;
    bob_.filecontrol = ".exe;.Bat;";
    bob_.download = 111;
    bob_.upload = 222;
    users_.AddAccount(bob_);
    AccountFields plain;
    plain.user = "plain";
    plain.pass = "pw";
    plain.home = "/home/plain";
    users_.AddAccount(plain);
    settings_.Update([](SettingsData& s) {
      s.allowanonymous = true;
      s.anonymoushome = "/srv/anon";
      s.anonymous_virtual = "pub=/srv/pub;";
      s.anonymous_allowdownload = false;
      s.anonymous_allowupload = true;
      s.anonymous_allowchangedir = true;
      s.anonymous_allowrename = true;
      s.preventuploads = ".sh;.bat;";
      s.anonymous_download = 5;
      s.anonymous_upload = 6;
    });
  }
  static std::string Map(const std::shared_ptr<const SessionRecord>& record, const char* path) {
    const auto resolved = ResolvePath(*record, "/", path);
    return resolved ? resolved->disk_path : "<nothing>";
  }

  ManualClock clock_;
  Users users_{clock_};
  Settings settings_;
  SessionRecords records_{users_, settings_};
  AccountFields bob_;
};

TEST_F(SessionRecordsTest, VirtualDirectoriesFollowMembership) {
  const auto bob = records_.MemberLogin("10.0.0.1:1", "bob", "pw");
  const auto plain = records_.MemberLogin("10.0.0.2:1", "plain", "pw");
  const auto anonymous = records_.Anonymous();
  ASSERT_TRUE(bob && plain);
  EXPECT_FALSE(records_.MemberLogin("10.0.0.3:1", "bob", "guess")) << "a name is not enough";
  EXPECT_EQ(Map(bob, "/private/a"), "/srv/private/a");
  EXPECT_EQ(Map(bob, "/pub/a"), "/home/bob/pub/a");
  EXPECT_EQ(Map(plain, "/pub/a"), "/srv/pub/a");  // member without any: the anonymous ones
  EXPECT_EQ(Map(anonymous, "/pub/a"), "/srv/pub/a");
  EXPECT_EQ(Map(anonymous, "/a"), "/srv/anon/a");
  EXPECT_EQ(bob->listed_aliases, std::vector<std::string>{"private"});
  EXPECT_EQ(plain->listed_aliases, std::vector<std::string>{});
  EXPECT_EQ(anonymous->listed_aliases, std::vector<std::string>{"pub"});

  settings_.Update([](SettingsData& s) { s.allowanonymous = false; });
  EXPECT_EQ(Map(records_.Current(plain), "/pub/a"), "/home/plain/pub/a");
  EXPECT_EQ(records_.Current(anonymous)->listed_aliases, std::vector<std::string>{});
}

TEST_F(SessionRecordsTest, MembersUseTheirFlagsAnonymousTheSettings) {
  const struct {
    FileOperation operation;
    const char* disk_path;
    bool member;
    bool anonymous;
  } kCases[] = {
      {FileOperation::kRetrieve, "", true, false},
      {FileOperation::kStore, "/x/a.txt", true, true},
      {FileOperation::kStore, "/x/a.exe", false, true},
      {FileOperation::kStore, "/x/a.ex", false, true},  // ".ex" occurs in ".exe;"
      {FileOperation::kStore, "/x/a.EXE", false, true},
      {FileOperation::kStore, "/x/run.BAT", false, false},
      {FileOperation::kStore, "/x/a.SH", true, false},
      {FileOperation::kStore, "/x/notes.sh.txt", true, true},
      {FileOperation::kStore, "/x/tools.exe/readme", true, true},
      {FileOperation::kStore, "/x/README", true, true},
      {FileOperation::kSetModifiedTime, "/x/a.txt", true, true},
      {FileOperation::kSetModifiedTime, "/x/a.exe", false, true},
      {FileOperation::kRename, "", false, true},
      {FileOperation::kChangeDirectory, "", false, true},
      {FileOperation::kDeleteFile, "", false, false},
      {FileOperation::kMakeDirectory, "", false, false},
      {FileOperation::kRemoveDirectory, "", false, false},
      {FileOperation::kChecksumRange, "", true, false},
  };
  const auto bob = records_.MemberLogin("10.0.0.1:1", "bob", "pw");
  const auto anonymous = records_.Anonymous();
  for (const auto& c : kCases) {
    const int row = static_cast<int>(&c - kCases);
    EXPECT_EQ(bob->Allows(c.operation, c.disk_path), c.member) << "row " << row;
    EXPECT_EQ(anonymous->Allows(c.operation, c.disk_path), c.anonymous) << "row " << row;
  }
  EXPECT_EQ(bob->download_limit, 111);
  EXPECT_EQ(bob->upload_limit, 222);
  EXPECT_EQ(anonymous->download_limit, 5);
  EXPECT_EQ(anonymous->upload_limit, 6);

  // Each of a member's flags grants its own operations and no other.
  const struct {
    bool AccountFields::*flag;
    FileOperation operation;
  } kFlags[] = {
      {&AccountFields::allow_download, FileOperation::kRetrieve},
      {&AccountFields::allow_upload, FileOperation::kStore},
      {&AccountFields::allow_rename, FileOperation::kRename},
      {&AccountFields::allow_changedirectory, FileOperation::kChangeDirectory},
      {&AccountFields::allow_makedirectory, FileOperation::kMakeDirectory},
      {&AccountFields::allow_deletefile, FileOperation::kDeleteFile},
      {&AccountFields::allow_deletedirectory, FileOperation::kRemoveDirectory},
  };
  for (const auto& set : kFlags) {
    AccountFields only;
    only.user = "only";
    only.*set.flag = true;
    users_.DeleteAccountByName("only");
    users_.AddAccount(only);
    const auto record = records_.MemberLogin("k:1", "only", "");
    for (const auto& other : kFlags) {
      EXPECT_EQ(record->Allows(other.operation, "/x/a.txt"), &other == &set)
          << static_cast<int>(set.operation) << " set, " << static_cast<int>(other.operation);
    }
  }
}

TEST_F(SessionRecordsTest, RecordFollowsTheAccountByName) {
  const auto login = records_.MemberLogin("10.0.0.1:1", "bob", "pw");
  EXPECT_EQ(records_.Current(login), login) << "nothing moved: the same record";

  AccountFields changed = bob_;
  changed.home = "/home/bob2";
  changed.pass = "new";  // the session logged in already; the new password is no matter
  changed.allow_download = false;
  ASSERT_TRUE(users_.UpdateAccountByName("bob", changed));
  const auto rebuilt = records_.Current(login);
  EXPECT_EQ(rebuilt->kind, SessionRecord::Kind::kMember);
  EXPECT_EQ(Map(rebuilt, "/a"), "/home/bob2/a");
  EXPECT_FALSE(rebuilt->Allows(FileOperation::kRetrieve));
  EXPECT_EQ(records_.Current(rebuilt), rebuilt);

  // Renamed (deleted, and added under another name): the session keeps no rights, neither
  // the account's nor the anonymous ones, even when the name comes back later.
  changed.user = "robert";
  ASSERT_TRUE(users_.DeleteAccountByName("bob"));
  ASSERT_TRUE(users_.AddAccount(changed));
  const auto ended = records_.Current(rebuilt);
  EXPECT_EQ(ended->kind, SessionRecord::Kind::kNone);
  EXPECT_EQ(Map(ended, "/a"), "<nothing>");
  EXPECT_FALSE(ended->Allows(FileOperation::kChangeDirectory));
  ASSERT_TRUE(users_.AddAccount(bob_));
  EXPECT_EQ(records_.Current(ended)->kind, SessionRecord::Kind::kNone);

  // The anonymous record sees the settings' change at the next request, and keeps the
  // password its user gave.
  const auto anonymous = records_.Anonymous("guest@example.test");
  settings_.Update([](SettingsData& s) { s.anonymous_allowdownload = true; });
  const auto current = records_.Current(anonymous);
  EXPECT_TRUE(current->Allows(FileOperation::kRetrieve));
  EXPECT_EQ(current->anonymous_password, "guest@example.test");
}

}  // namespace
}  // namespace vantrel
