#include "accounts/path_resolver.h"

#include <gtest/gtest.h>

#include "accounts/session_record.h"

namespace vantrel {
namespace {

SessionRecord Record(const char* home, const char* virtual_directories) {
  SessionRecord record;
  record.home = home;
  record.virtual_directories = ParseVirtualDirectories(virtual_directories);
  return record;
}

struct ResolveCase {
  const char* home;
  const char* current;
  const char* path;
  const char* virtual_dirs;
  const char* ftp;   // the FTP path a CWD there makes current
  const char* disk;  // nullptr: refused
  bool is_virtual;
};

TEST(ResolvePath, Table) {
  const ResolveCase kCases[] = {
      {"/srv/ftp", "/a", "sub", "", "/a/sub", "/srv/ftp/a/sub", false},
      {"/srv/ftp", "/a", "", "", "/a", "/srv/ftp/a/", false},
      {"/srv/ftp", "a", "x", "", "/a/x", "/srv/ftp/a/x", false},
      {"/srv/ftp", "", "x", "", "/x", "/srv/ftp/x", false},
      {"/srv/ftp/", "/", "/x", "", "/x", "/srv/ftp/x", false},
      {"//srv//ftp", "/", "/x", "", "/x", "/srv/ftp/x", false},
      {"/srv/ftp", "/", "/", "", "/", "/srv/ftp/", false},
      {"/srv/ftp", "/", "/d/", "", "/d", "/srv/ftp/d/", false},
      {"/srv/ftp", "/", "a\\b", "", "/a/b", "/srv/ftp/a/b", false},
      {"/srv/ftp", "/", "/my dir/naïve Ünïcode.txt", "", "/my dir/naïve Ünïcode.txt",
       "/srv/ftp/my dir/naïve Ünïcode.txt", false},
      // Normalised once, whatever the command: dots that are names stay names.
      {"/srv/ftp", "/", "a..b", "", "/a..b", "/srv/ftp/a..b", false},
      {"/srv/ftp", "/a", "..notes", "", "/a/..notes", "/srv/ftp/a/..notes", false},
      {"/srv/ftp", "/a/b", "..", "", "/a", "/srv/ftp/a", false},
      {"/srv/ftp", "/a/b", ".", "", "/a/b", "/srv/ftp/a/b", false},
      {"/srv/ftp", "/a", "/x/../y", "", "/y", "/srv/ftp/y", false},
      {"/srv/ftp", "/a/b", "//..//.//", "", "/", "/srv/ftp/", false},
      {"/srv/ftp", "/", "../../x", "", "/x", "/srv/ftp/x", false},
      // Virtual directories.
      {"/srv/ftp", "/", "/music/a.mp3", "music=/mnt/mp3;", "/music/a.mp3", "/mnt/mp3/a.mp3", true},
      {"/srv/ftp", "/", "/music", "music=/mnt/mp3;", "/music", "/mnt/mp3", true},
      {"/srv/ftp", "/", "/music/", "music=/mnt/mp3/;", "/music", "/mnt/mp3/", true},
      {"/srv/ftp", "/music", "a.mp3", "music=/mnt/mp3;", "/music/a.mp3", "/mnt/mp3/a.mp3", true},
      {"/srv/ftp", "/music/x", "../..", "music=/mnt/mp3;", "/", "/srv/ftp/", false},
      {"/srv/ftp", "/", "/music/a", "music=/d/mp3;mus=/e/x;", "/music/a", "/d/mp3/a", true},
      {"/srv/ftp", "/", "/music/a", "mus=/e/x;music=/d/mp3;", "/music/a", "/d/mp3/a", true},
      {"/srv/ftp", "/", "/musicvideo/x", "music=/mnt/mp3;", "/musicvideo/x",
       "/srv/ftp/musicvideo/x", false},
      {"/srv/music/ftp", "/", "/a", "music=/mnt/mp3;", "/a", "/srv/music/ftp/a", false},
      {"/srv/ftp", "/", "/media/music/a", "media/music=/mnt/m;", "/media/music/a", "/mnt/m/a",
       true},
      {"/srv/ftp", "/", "/media/a", "media/music=/mnt/m;", "/media/a", "/srv/ftp/media/a", false},
      {"/srv/ftp", "/", "/music/a", "/music=/mnt/mp3;", "/music/a", "/mnt/mp3/a", true},
      {"/srv/ftp", "/", "/music/rock/x", "music=/a;music/rock=/b;", "/music/rock/x", "/a/rock/x",
       true},
      {"/srv/ftp", "/", "/music/x", "Music=/a;music=/b;", "/music/x", "/a/x", true},
      {"/srv/ftp", "/", "/MUSIC/x", "Music=/a;music=/b;", "/MUSIC/x", "/srv/ftp/MUSIC/x", false},
      {"/srv/ftp", "/", "/music/x", "music;=/mnt;", "/music/x", "/srv/ftp/music/x", false},
      {"/srv/ftp", "/", "/music/x", "music=/mnt/mp3", "/music/x", "/srv/ftp/music/x", false},
      // Nowhere to go.
      {"", "/", "/x", "", "", nullptr, false},
      {"", "/", "/music/x", "music=/mnt/mp3;", "", nullptr, false},
      {"/srv/ftp", "/", "/music/x", "music=;", "", nullptr, false},
  };
  for (const auto& c : kCases) {
    const auto resolved = ResolvePath(Record(c.home, c.virtual_dirs), c.current, c.path);
    const std::string label =
        std::string(c.home) + " | " + c.current + " | " + c.path + " | " + c.virtual_dirs;
    if (c.disk == nullptr) {
      EXPECT_FALSE(resolved.has_value()) << label;
      continue;
    }
    ASSERT_TRUE(resolved.has_value()) << label;
    EXPECT_EQ(resolved->FtpText(), c.ftp) << label;
    EXPECT_EQ(resolved->disk_path, c.disk) << label;
    EXPECT_EQ(resolved->is_virtual, c.is_virtual) << label;
  }
  EXPECT_FALSE(ResolvePath(Record("/srv/ftp", ""), "/", std::string("/..\0/x", 6)).has_value());
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

TEST(ResolvePath, TraversalStaysInside) {
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
      const auto mapped = ResolvePath(Record("/srv/ftp", "music=/mnt/mp3;"), current, attempt);
      ASSERT_TRUE(mapped.has_value()) << current << " + " << attempt.substr(0, 80);
      const std::string root = mapped->is_virtual ? "/mnt/mp3" : "/srv/ftp";
      EXPECT_TRUE(Inside(mapped->disk_path, root))
          << current << " + " << attempt.substr(0, 80) << " -> " << mapped->disk_path;
    }
  }
}

}  // namespace
}  // namespace vantrel
