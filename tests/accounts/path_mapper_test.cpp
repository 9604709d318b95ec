#include "accounts/path_mapper.h"

#include <gtest/gtest.h>

#include "accounts/access_policy.h"
#include "accounts/ftp_path.h"
#include "accounts/users.h"
#include "config/settings.h"

namespace vantrel {
namespace {

struct MapCase {
  const char* home;
  const char* current;
  const char* path;
  const char* virtual_dirs;
  const char* disk;  // nullptr: maps to nothing
  bool is_virtual;
};

TEST(MapFtpPath, Table) {
  const MapCase kCases[] = {
      {"/srv/ftp", "/a", "sub", "", "/srv/ftp/a/sub", false},
      {"/srv/ftp", "/a", "", "", "/srv/ftp/a/", false},
      {"/srv/ftp", "a", "x", "", "/srv/ftp/a/x", false},
      {"/srv/ftp", "", "x", "", "/srv/ftp/x", false},
      {"/srv/ftp/", "/", "/x", "", "/srv/ftp/x", false},
      {"//srv//ftp", "/", "/x", "", "/srv/ftp/x", false},
      {"/srv/ftp", "/", "/", "", "/srv/ftp/", false},
      {"/srv/ftp", "/", "/d/", "", "/srv/ftp/d/", false},
      {"/srv/ftp", "/", "a\\b", "", "/srv/ftp/a/b", false},
      {"/srv/ftp", "/", "/my dir/naïve Ünïcode.txt", "", "/srv/ftp/my dir/naïve Ünïcode.txt",
       false},
      // Virtual directories.
      {"/srv/ftp", "/", "/music/a.mp3", "music=/mnt/mp3;", "/mnt/mp3/a.mp3", true},
      {"/srv/ftp", "/", "/music", "music=/mnt/mp3;", "/mnt/mp3", true},
      {"/srv/ftp", "/", "/music/", "music=/mnt/mp3/;", "/mnt/mp3/", true},
      {"/srv/ftp", "/music", "a.mp3", "music=/mnt/mp3;", "/mnt/mp3/a.mp3", true},
      {"/srv/ftp", "/", "/music/a", "music=/d/mp3;mus=/e/x;", "/d/mp3/a", true},
      {"/srv/ftp", "/", "/music/a", "mus=/e/x;music=/d/mp3;", "/d/mp3/a", true},
      {"/srv/ftp", "/", "/musicvideo/x", "music=/mnt/mp3;", "/srv/ftp/musicvideo/x", false},
      {"/srv/music/ftp", "/", "/a", "music=/mnt/mp3;", "/srv/music/ftp/a", false},
      {"/srv/ftp", "/", "/media/music/a", "media/music=/mnt/m;", "/mnt/m/a", true},
      {"/srv/ftp", "/", "/media/a", "media/music=/mnt/m;", "/srv/ftp/media/a", false},
      {"/srv/ftp", "/", "/music/a", "/music=/mnt/mp3;", "/mnt/mp3/a", true},
      {"/srv/ftp", "/", "/music/rock/x", "music=/a;music/rock=/b;", "/a/rock/x", true},
      {"/srv/ftp", "/", "/music/x", "Music=/a;music=/b;", "/a/x", true},
      {"/srv/ftp", "/", "/MUSIC/x", "Music=/a;music=/b;", "/srv/ftp/MUSIC/x", false},
      {"/srv/ftp", "/", "/music/x", "music;=/mnt;", "/srv/ftp/music/x", false},
      {"/srv/ftp", "/", "/music/x", "music=/mnt/mp3", "/srv/ftp/music/x", false},  // unpacked
      // Nowhere to go.
      {"", "/", "/x", "", nullptr, false},
      {"", "/", "/music/x", "music=/mnt/mp3;", nullptr, false},
      {"/srv/ftp", "/", "/music/x", "music=;", nullptr, false},
  };
  for (const auto& c : kCases) {
    const auto mapped = MapFtpPath(c.home, c.current, c.path, c.virtual_dirs);
    const std::string label =
        std::string(c.home) + " | " + c.current + " | " + c.path + " | " + c.virtual_dirs;
    if (c.disk == nullptr) {
      EXPECT_FALSE(mapped.has_value()) << label;
      continue;
    }
    ASSERT_TRUE(mapped.has_value()) << label;
    EXPECT_EQ(mapped->disk_path, c.disk) << label;
    EXPECT_EQ(mapped->is_virtual, c.is_virtual) << label;
  }
  EXPECT_FALSE(MapFtpPath("/srv/ftp", "/", std::string("/..\0/x", 6), "").has_value());
}

bool Inside(const std::string& path, const std::string& root) {
  if (path.rfind(root, 0) != 0)
    return false;
  if (path.size() > root.size() && path[root.size()] != '/')
    return false;
  for (const auto& segment : SplitFtpSegments(path)) {
    if (segment == "..")
      return false;
  }
  return true;
}

TEST(MapFtpPath, TraversalStaysInside) {
  std::string deep;
  for (int i = 0; i < 3000; ++i)
    deep += "../";
  const std::string attempts[] = {
      "..",
      "../..",
      "/../",
      "a/../../..",
      "/../../../etc/passwd",
      "..\\..\\etc\\passwd",
      "\\..\\..\\",
      "/a/b/../../../../x",
      "./../.././../",
      "....//....//x",
      "music/../../..",
      "/music/../../etc",
      "/music/..\\..\\..\\etc",
      "//..//..//",
      deep + "etc/shadow",
      std::string(5000, 'a') + "/../../../..",
      "dir with space/../../../x",
      "naïve/Ünïcode/../../../..",
      "%2e%2e/%2e%2e/etc",
  };
  const char* currents[] = {"/", "/sub/dir", "/../..", "..\\..", "/music"};
  for (const char* current : currents) {
    for (const auto& attempt : attempts) {
      const auto mapped = MapFtpPath("/srv/ftp", current, attempt, "music=/mnt/mp3;");
      ASSERT_TRUE(mapped.has_value()) << current << " + " << attempt.substr(0, 80);
      const std::string root = mapped->is_virtual ? "/mnt/mp3" : "/srv/ftp";
      EXPECT_TRUE(Inside(mapped->disk_path, root))
          << current << " + " << attempt.substr(0, 80) << " -> " << mapped->disk_path;
    }
  }
}

class ConnectionRulesTest : public ::testing::Test {
 protected:
  ConnectionRulesTest() {
    AccountFields bob;
    bob.user = "bob";
    bob.pass = "pw";
    bob.home = "/home/bob";
    bob.virtualdir = "private=/srv/private;deep/er=/srv/deep;";
    bob.allow_download = true;
    bob.allow_upload = true;
    bob.filecontrol = ".exe;";
    bob.download = 111;
    bob.upload = 222;
    users_.AddAccount(bob);
    AccountFields plain;
    plain.user = "plain";
    plain.pass = "pw";
    plain.home = "/home/plain";
    users_.AddAccount(plain);
    settings_.Update([](SettingsData& s) {
      s.allowanonymous = true;
      s.anonymous_virtual = "pub=/srv/pub;";
      s.anonymous_allowdownload = false;
      s.anonymous_allowupload = true;
      s.anonymous_allowchangedir = true;
      s.anonymous_allowrename = true;
      s.preventuploads = ".sh;";
      s.anonymous_download = 5;
      s.anonymous_upload = 6;
    });
  }
  std::string Map(const Credentials& who, const char* path) {
    const auto mapped = mapper_.MapPath(who, "/home/x", "/", path);
    return mapped ? mapped->disk_path : "<nothing>";
  }

  ManualClock clock_;
  Users users_{clock_};
  Settings settings_;
  PathMapper mapper_{users_, settings_};
  AccessPolicy policy_{users_, settings_};
  const Credentials bob_{"10.0.0.1:1", "bob", "pw"};
  const Credentials plain_{"10.0.0.2:1", "plain", "pw"};
  const Credentials impostor_{"10.0.0.3:1", "bob", "guess"};
  const Credentials anonymous_{"10.0.0.4:1", "anonymous", "me@x"};
};

TEST_F(ConnectionRulesTest, VirtualDirectoriesFollowMembership) {
  EXPECT_EQ(Map(bob_, "/private/a"), "/srv/private/a");
  EXPECT_EQ(Map(bob_, "/pub/a"), "/home/x/pub/a");
  EXPECT_EQ(Map(plain_, "/pub/a"), "/srv/pub/a");  // member without any: the anonymous ones
  EXPECT_EQ(Map(anonymous_, "/pub/a"), "/srv/pub/a");
  // Knowing a member's name is not enough to reach his directories.
  EXPECT_EQ(Map(impostor_, "/private/a"), "/home/x/private/a");
  EXPECT_EQ(Map(impostor_, "/pub/a"), "/srv/pub/a");

  EXPECT_EQ(mapper_.ListedAliases(bob_), std::vector<std::string>{"private"});
  EXPECT_EQ(mapper_.ListedAliases(plain_), std::vector<std::string>{});
  EXPECT_EQ(mapper_.ListedAliases(impostor_), std::vector<std::string>{"pub"});

  settings_.Update([](SettingsData& s) { s.allowanonymous = false; });
  EXPECT_EQ(Map(plain_, "/pub/a"), "/home/x/pub/a");
  EXPECT_EQ(mapper_.ListedAliases(anonymous_), std::vector<std::string>{});
}

TEST_F(ConnectionRulesTest, MembersUseTheirFlagsOthersTheAnonymousSettings) {
  const struct {
    FileOperation operation;
    const char* disk_path;
    bool member;
    bool anonymous;
  } kCases[] = {
      {FileOperation::kRetrieve, "", true, false},
      {FileOperation::kStore, "/x/a.txt", true, true},
      {FileOperation::kStore, "/x/a.exe", false, true},
      {FileOperation::kStore, "/x/a.SH", true, false},
      {FileOperation::kSetModifiedTime, "/x/a.txt", true, true},
      {FileOperation::kSetModifiedTime, "/x/a.exe", false, true},
      {FileOperation::kRename, "", false, true},
      {FileOperation::kChangeDirectory, "", false, true},
      {FileOperation::kDeleteFile, "", false, false},
      {FileOperation::kMakeDirectory, "", false, false},
      {FileOperation::kRemoveDirectory, "", false, false},
      {FileOperation::kList, "", true, true},
      {FileOperation::kInspect, "", true, true},
      {FileOperation::kChecksumRange, "", true, false},
  };
  for (const auto& c : kCases) {
    const int row = static_cast<int>(&c - kCases);
    EXPECT_EQ(policy_.IsAllowed(c.operation, bob_, c.disk_path), c.member) << "row " << row;
    EXPECT_EQ(policy_.IsAllowed(c.operation, impostor_, c.disk_path), c.anonymous) << "row " << row;
  }
  EXPECT_TRUE(policy_.IsMember(bob_));
  EXPECT_FALSE(policy_.IsMember(impostor_));
  EXPECT_EQ(policy_.DownloadLimit(bob_), 111);
  EXPECT_EQ(policy_.UploadLimit(bob_), 222);
  EXPECT_EQ(policy_.DownloadLimit(impostor_), 5);
  EXPECT_EQ(policy_.UploadLimit(impostor_), 6);
}

}  // namespace
}  // namespace vantrel
