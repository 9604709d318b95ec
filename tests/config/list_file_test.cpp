#include "config/list_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/error.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class ListFileTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return dir_.File(name); }
  TempDir dir_;
};

TEST_F(ListFileTest, AwkwardValuesRoundTripExactly) {
  const std::string long_value(10000, 'x');
  const std::string values[] = {"a=b=c", "x;y;z;",   "\"quoted\"",      "'single'",
                                "",      long_value, "[not a section]", "; not a comment"};
  ListFile out(Path("a.lst"));
  for (std::size_t i = 0; i < std::size(values); ++i) {
    out.WriteString("main", "k" + std::to_string(i), values[i]);
  }
  out.Save();
  const ListFile in(Path("a.lst"));
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(in.ReadString("main", "k" + std::to_string(i), "default"), values[i]) << i;
  }
}

TEST_F(ListFileTest, LineBreaksInValuesCannotInjectKeysOrSections) {
  ListFile out(Path("a.lst"));
  out.WriteString("main", "name", "evil\r\n[main]\nadmin=1");
  out.Save();
  const ListFile in(Path("a.lst"));
  EXPECT_EQ(in.ReadString("main", "name", ""), "evil  [main] admin=1");
  EXPECT_EQ(in.ReadString("main", "admin", "missing"), "missing");
}

TEST_F(ListFileTest, BlanksAroundValuesAreTrimmedAndNamesIgnoreCase) {
  std::ofstream(Path("a.lst")) << "[Main]\r\n  Key  =  value with blanks  \r\n";
  const ListFile in(Path("a.lst"));
  EXPECT_EQ(in.ReadString("main", "KEY", ""), "value with blanks");
}

TEST_F(ListFileTest, ByteOrderMarkHidesNoSectionAndIsNotWrittenBack) {
  std::ofstream(Path("a.lst")) << "\xEF\xBB\xBF[first]\nk=1\n";
  ListFile file(Path("a.lst"));
  EXPECT_TRUE(file.found());
  EXPECT_EQ(file.ReadString("first", "k", "hidden"), "1");
  file.Save();
  EXPECT_EQ(Slurp(Path("a.lst")), "[first]\nk=1\n");
}

TEST_F(ListFileTest, UnreadableFileReadsAsDefaultsButIsNeverReplaced) {
  const ListFile missing(Path("missing.lst"));
  EXPECT_FALSE(missing.found());
  EXPECT_EQ(missing.read_failure(), "");

  // A directory in the file's place cannot be read, even by root.
  const std::string path = Path("dir.lst");
  std::filesystem::create_directory(path);
  ListFile file(path);
  EXPECT_FALSE(file.found());
  EXPECT_EQ(file.read_failure(), "cannot read " + path + ": Is a directory");
  EXPECT_EQ(file.ReadInteger("s", "k", 7), 7);
  // Mended before the save, the file is still not replaced by what this object read.
  std::filesystem::remove(path);
  std::ofstream(path) << "[s]\nk=theirs\n";
  file.WriteString("s", "k", "ours");
  try {
    file.Save();
    ADD_FAILURE() << "saved over a file it could not read";
  } catch (const Error& refusal) {
    EXPECT_EQ(std::string(refusal.what()),
              "Unable to write to " + path + " (cannot read " + path + ": Is a directory)");
  }
  EXPECT_EQ(Slurp(path), "[s]\nk=theirs\n");
}

TEST_F(ListFileTest, ExistingKeysReplacedInPlaceNewOnesAppended) {
  std::ofstream(Path("a.lst")) << "; operator note\n[s]\nfirst=1\nsecond=2\n[other]\nz=9\n";
  ListFile file(Path("a.lst"));
  file.WriteString("S", "FIRST", "one");
  file.WriteString("s", "third", "3");
  file.WriteString("new", "k", "v");
  file.Save();
  EXPECT_EQ(Slurp(Path("a.lst")),
            "; operator note\n[s]\nfirst=one\nsecond=2\nthird=3\n[other]\nz=9\n[new]\nk=v\n");
}

TEST_F(ListFileTest, NumbersBooleansAndDateTimes) {
  std::ofstream(Path("a.lst")) << "[n]\ndec=-42\nhex=0x1F\nbadhex=0x\nword=yes\ntwo=2\n"
                                  "big=99999999999\ncomma=45000,25\ndot=45000.5\nempty=\n";
  const ListFile in(Path("a.lst"));
  EXPECT_EQ(in.ReadInteger("n", "dec", 0), -42);
  EXPECT_EQ(in.ReadInteger("n", "hex", 0), 31);
  EXPECT_EQ(in.ReadInteger("n", "badhex", 7), 7);
  EXPECT_EQ(in.ReadInteger("n", "big", 7), 7);
  EXPECT_TRUE(in.ReadBool("n", "word", true));
  EXPECT_FALSE(in.ReadBool("n", "word", false));
  EXPECT_TRUE(in.ReadBool("n", "two", false));
  EXPECT_TRUE(in.ReadBool("n", "missing", true));
  EXPECT_DOUBLE_EQ(in.ReadDateTime("n", "comma", 0), 45000.25);
  EXPECT_DOUBLE_EQ(in.ReadDateTime("n", "dot", 0), 45000.5);
  EXPECT_DOUBLE_EQ(in.ReadDateTime("n", "empty", 1.5), 1.5);

  ListFile out(Path("b.lst"));
  out.WriteDateTime("d", "t", 46000.123456789);
  out.WriteBool("d", "yes", true);
  out.Save();
  const ListFile back(Path("b.lst"));
  EXPECT_DOUBLE_EQ(back.ReadDateTime("d", "t", 0), 46000.123456789);
  EXPECT_EQ(back.ReadString("d", "yes", ""), "1");
}

TEST_F(ListFileTest, RecordCountLimitsWhatIsRead) {
  std::ofstream(Path("r.lst")) << "[items]\nitems=2\n[item0]\nname=a\n[item1]\nname=b\n"
                                  "[item2]\nname=stale\n";
  const ListFile in(Path("r.lst"));
  const int count = in.ReadInteger("items", "items", 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(in.ReadString(RecordSection("item", 1), "name", "readfailed"), "b");
  EXPECT_EQ(in.ReadString(RecordSection("item", 1), "other", "readfailed"), "readfailed");
}

TEST_F(ListFileTest, NewFilesArePrivateAndExistingModesAreKept) {
  ListFile fresh(Path("new.lst"));
  fresh.WriteString("s", "pass", "secret");
  fresh.Save();
  struct stat info {};
  ASSERT_EQ(::stat(Path("new.lst").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  ASSERT_EQ(::chmod(Path("new.lst").c_str(), 0640), 0);
  fresh.Save();
  ASSERT_EQ(::stat(Path("new.lst").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(ListFileTest, FailedSaveReportsAndKeepsTheOldFile) {
  const std::string path = Path("a.lst");
  std::ofstream(path) << "[s]\nk=old\n";
  ListFile file(path);
  file.WriteString("s", "k", std::string(100000, 'n'));

  // A file-size limit makes the write fail even for root, like a full disk would.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = saved;
  tight.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  std::string message;
  try {
    file.Save();
  } catch (const Error& e) {
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(message, "Unable to write to " + path);
  EXPECT_EQ(Slurp(path), "[s]\nk=old\n");
  std::size_t leftovers = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    leftovers += entry.path().filename() != "a.lst";
  }
  EXPECT_EQ(leftovers, 0u) << "temporary file left behind";
}

}  // namespace
}  // namespace vantrel
