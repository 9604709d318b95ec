#include "monitor/special_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "config/list_file.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

std::string Dir(const TempDir& dir) {
  return dir.path() + "/";
}

TEST(SpecialFiles, AddRemoveResetIgnoreLetterCase) {
  SpecialFiles files;
  EXPECT_TRUE(files.Add("Setup.exe"));
  EXPECT_FALSE(files.Add("SETUP.EXE"));
  EXPECT_TRUE(files.Add("readme.txt"));
  EXPECT_FALSE(files.Remove("missing.bin"));
  EXPECT_FALSE(files.Reset("missing.bin"));
  EXPECT_TRUE(files.Reset("setup.EXE"));
  EXPECT_TRUE(files.Remove("setup.exe"));
  ASSERT_EQ(files.Records().size(), 1u);
  EXPECT_EQ(SpecialFileCells(files.Records()[0]),
            (std::vector<std::string>{"readme.txt", "0", "-", "-"}));
}

TEST(SpecialFiles, SaveLeavesStaleSectionsThatLoadIgnores) {
  TempDir dir;
  SpecialFiles files;
  files.Add("a");
  files.Add("b");
  files.Add("c");
  files.Save(Dir(dir));
  files.Remove("b");
  files.Save(Dir(dir));

  const ListFile raw(dir.File(SpecialFiles::kFileName));
  EXPECT_EQ(raw.ReadInteger("specialfiles", "specialfiles", -1), 2);
  EXPECT_EQ(raw.ReadString("specialfile2", "filename", ""), "c");

  SpecialFiles loaded;
  ASSERT_TRUE(loaded.Load(Dir(dir)));
  ASSERT_EQ(loaded.Records().size(), 2u);
  EXPECT_EQ(loaded.Records()[1].file_name, "c");
}

TEST(SpecialFiles, MissingFileIsAnEmptyListAndMissingKeysReadFailed) {
  TempDir dir;
  SpecialFiles files;
  files.Add("stale");
  EXPECT_TRUE(files.Load(Dir(dir))) << "a fresh start has no list yet, and that is no failure";
  EXPECT_TRUE(files.Records().empty());

  std::ofstream(dir.File(SpecialFiles::kFileName)) << "[specialfiles]\nspecialfiles=2000000000\n";
  ASSERT_TRUE(files.Load(Dir(dir)));
  EXPECT_TRUE(files.Records().empty()) << "an impossible count reads as 0";

  std::ofstream(dir.File(SpecialFiles::kFileName))
      << "[specialfiles]\nspecialfiles=1\n[specialfile0]\ncount=7\nlasttime=46000.5\n";
  ASSERT_TRUE(files.Load(Dir(dir)));
  const SpecialFile record = files.Records().at(0);
  EXPECT_EQ(record.file_name, "readfailed");
  EXPECT_EQ(record.last_ip, "readfailed");
  EXPECT_EQ(record.count, 7);
  EXPECT_EQ(
      SpecialFileCells(record),
      (std::vector<std::string>{"readfailed", "7", FormatLocalDateTime(46000.5), "readfailed"}));
}

TEST(SpecialFiles, RowSortsKeepTiesInOrder) {
  TempDir dir;
  std::ofstream(dir.File(SpecialFiles::kFileName))
      << "[specialfiles]\nspecialfiles=4\n"
      << "[specialfile0]\nfilename=b\ncount=1\nlasttime=3\nlastip=10.0.0.2\n"
      << "[specialfile1]\nfilename=a\ncount=5\nlasttime=1\nlastip=\n"
      << "[specialfile2]\nfilename=D\ncount=1\nlasttime=2\nlastip=10.0.0.1\n"
      << "[specialfile3]\nfilename=c\ncount=5\nlasttime=0\nlastip=10.0.0.2\n";
  SpecialFiles files;
  ASSERT_TRUE(files.Load(Dir(dir)));
  std::vector<SpecialFile> rows = files.Records();
  auto names = [&rows] {
    std::string order;
    for (const auto& r : rows)
      order += r.file_name;
    return order;
  };
  const std::pair<int, const char*> clicks[] = {
      {0, "Dabc"},  // byte order: upper case first
      {1, "acDb"}, {1, "acDb"}, {2, "bDac"}, {3, "aDbc"},
  };
  for (const auto& [column, order] : clicks) {
    ASSERT_TRUE(SortSpecialFiles(rows, column));
    EXPECT_EQ(names(), order) << "column " << column;
  }
  EXPECT_FALSE(SortSpecialFiles(rows, 4));
  EXPECT_EQ(files.Records()[0].file_name, "b") << "the list keeps its own order";
}

}  // namespace
}  // namespace vantrel
