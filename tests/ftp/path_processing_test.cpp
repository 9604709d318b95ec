#include "ftp/path_processing.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

struct PathCase {
  const char* current;
  const char* path;
  const char* expected;
};

TEST(PathProcessingTest, JoinsClientPathsUnixStyle) {
  const PathCase cases[] = {
      {"/", "file", "/file"},
      {"/a", "file", "/a/file"},
      {"/a/", "file", "/a/file"},
      {"/a", "b//c", "/a/b/c"},
      {"/a", "sub/", "/a/sub/"},
      {"/a", "", "/a/"},
      {"/a/b", "..", "/a"},
      {"/a/b", "../c", "/a/c"},
      {"/a/b", "../../..", "/"},
      {"/", "..", "/"},
      {"/", "../../x", "/x"},
      {"/a", "./f", "/a/./f"},
      {"/a", "..notes", "/a/..notes"},
      {"/a", "x..", "/a/x.."},
      {"/a", "/x/../y", "/x/../y"},
      {"/a", "b\\c", "/a/b\\c"},
      {"", "f", "/f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessPath(c.current, c.path), c.expected) << c.current << " + " << c.path;
  }
}

TEST(PathProcessingTest, CwdRules) {
  const PathCase cases[] = {
      {"/a/b", "", "/"},           {"/a/b", "/", "/"},           {"/a/b", "..", "/a/"},
      {"/a/b", "../", "/a/"},      {"/a/b", ".", "/a/b"},        {"/", "sub", "/sub"},
      {"/", "sub/", "/sub"},       {"/a", "/x/../y", "/x/../y"}, {"/", "..", "/"},
      {"/", "a..b", "/a..b"},      {"/", "..notes", "/..notes"}, {"/a", "b\\\\c", "/a/b\\\\c"},
      {"/a", "b/\\c", "/a/b/\\c"}, {"/a", "b\\/c", "/a/b\\/c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessCwdPath(c.current, c.path), c.expected) << c.current << " + " << c.path;
  }
}

TEST(PathProcessingTest, TrailingSlashOfDirectoryNames) {
  EXPECT_EQ(WithoutTrailingSlash("dir/"), "dir");
  EXPECT_EQ(WithoutTrailingSlash("dir"), "dir");
  EXPECT_EQ(WithoutTrailingSlash("/"), "/");
}

}  // namespace
}  // namespace vantrel
