#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace vantrel::platform {
namespace {

TEST(Autostart, EntryComesAndGoesWithTheProgram) {
  TempDir dir;
  std::ofstream(dir.File("vantrel")) << "program";
  // The autostart directory does not exist yet: adding creates it.
  Autostart autostart(dir.File("config/autostart"));

  EXPECT_FALSE(autostart.IsInRun("Vantrel"));
  EXPECT_FALSE(autostart.RemoveFromRun("Vantrel"));
  EXPECT_FALSE(autostart.AddToRun("Vantrel", dir.File("missing")));
  EXPECT_FALSE(autostart.AddToRun("Vantrel", dir.path())) << "a directory is no program";
  EXPECT_FALSE(autostart.IsInRun("Vantrel"));

  ASSERT_TRUE(autostart.AddToRun("Vantrel", dir.File("vantrel")));
  EXPECT_EQ(autostart.EntryPath("Vantrel"), dir.File("config/autostart/vantrel.desktop"));
  EXPECT_TRUE(autostart.IsInRun("Vantrel"));
  const auto entry = ReadWholeFile(autostart.EntryPath("Vantrel"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->rfind("[Desktop Entry]\n", 0), 0u) << *entry;
  EXPECT_NE(entry->find("\nType=Application\n"), std::string::npos) << *entry;
  EXPECT_NE(entry->find("\nExec=\"" + dir.File("vantrel") + "\"\n"), std::string::npos) << *entry;

  ASSERT_TRUE(autostart.AddToRun("Vantrel", dir.File("vantrel"))) << "adding again rewrites";
  EXPECT_TRUE(autostart.RemoveFromRun("Vantrel"));
  EXPECT_FALSE(autostart.IsInRun("Vantrel"));
  EXPECT_FALSE(autostart.RemoveFromRun("Vantrel"));
}

TEST(Autostart, NamesThatCouldLeaveTheDirectoryAreRefused) {
  TempDir dir;
  std::ofstream(dir.File("vantrel")) << "program";
  Autostart autostart(dir.File("autostart"));
  for (const char* name : {"", "../evil", "a/b", "line\nbreak"}) {
    EXPECT_FALSE(autostart.AddToRun(name, dir.File("vantrel"))) << name;
    EXPECT_FALSE(autostart.IsInRun(name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("evil.desktop")));
}

TEST(ExecLineFor, QuotesAndEscapesForBothLayersOfTheEntryRules) {
  const struct {
    const char* path;
    const char* exec;
  } cases[] = {
      {"/usr/bin/vantrel", R"("/usr/bin/vantrel")"},
      {"/opt/my apps/vantrel", R"("/opt/my apps/vantrel")"},
      {"/opt/100%/vantrel", R"("/opt/100%%/vantrel")"},
      {"/opt/a\"b/vantrel", R"("/opt/a\\"b/vantrel")"},
      {"/opt/$HOME/vantrel", R"("/opt/\\$HOME/vantrel")"},
      {"/opt/`x`/vantrel", R"("/opt/\\`x\\`/vantrel")"},
      {"/opt/back\\slash", R"("/opt/back\\\\slash")"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExecLineFor(c.path), c.exec) << c.path;
  EXPECT_EQ(ExecLineFor("/opt/line\nbreak"), std::nullopt);
  EXPECT_EQ(ExecLineFor(std::string_view("/opt/nul\0x", 10)), std::nullopt);
}

}  // namespace
}  // namespace vantrel::platform
