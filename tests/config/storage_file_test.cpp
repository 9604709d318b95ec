#include "config/storage_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/error.h"
#include "platform/file_system.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using platform::CivilTime;

fs::perms Permissions(const std::string& path) {
  return fs::status(path).permissions() & fs::perms::all;
}

std::string Pattern(std::size_t size, char seed) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    content[i] = static_cast<char>(seed + i * 7);
  return content;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
  return platform::ReadWholeFile(path).value();
}

std::string ShortBlock(std::string_view text, std::size_t size) {
  std::string block(size, '\0');
  block[0] = static_cast<char>(text.size());
  text.copy(block.data() + 1, text.size());
  return block;
}

void SetDate(const std::string& path, const CivilTime& civil) {
  ASSERT_TRUE(platform::SetModificationTime(path, platform::FromLocalCivil(civil)));
}

constexpr CivilTime kMarch2024{2024, 3, 5, 14, 7, 10, 0};

class StorageFileTest : public ::testing::Test {
 protected:
  // Stores the given files (name -> content) in this order in dir_/store.ftpdata.
  void Store(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < files.size(); ++i) {
      // Each file in its own directory, so that two may share a name.
      const std::string directory = dir_.File("src" + std::to_string(i));
      fs::create_directory(directory);
      paths.push_back(directory + "/" + files[i].first);
      WriteFile(paths.back(), files[i].second);
    }
    ASSERT_TRUE(store_.SaveFiles(paths));
  }

  std::string Extract(std::string_view name) {
    std::stringstream out;
    EXPECT_TRUE(store_.ExtractToStream(name, out)) << name;
    return out.str();
  }

  TempDir dir_;
  StorageFile store_{dir_.File("store.ftpdata")};
};

TEST_F(StorageFileTest, ByteLayoutOfOneEntry) {
  const std::string content = Pattern(1000, 'a');
  const std::string source = dir_.File("ftpsettings.lst");
  WriteFile(source, content);
  SetDate(source, kMarch2024);
  ASSERT_TRUE(store_.SaveFiles({source}));

  const std::string bytes = ReadFile(store_.Filename());
  ASSERT_EQ(bytes.size(), 544u + 1000u);
  EXPECT_EQ(bytes.substr(0, 256), ShortBlock("SFH1", 256));
  EXPECT_EQ(bytes.substr(256, 256), ShortBlock("ftpsettings.lst", 256));
  const DosDateTime date = PackDosDateTime(kMarch2024).value();
  EXPECT_EQ(bytes.substr(512, 16), ShortBlock(std::to_string(date), 16));
  EXPECT_EQ(bytes.substr(528, 16), ShortBlock("1000", 16));
  EXPECT_EQ(bytes.substr(544), content);

  EXPECT_EQ(Permissions(store_.Filename()), fs::perms(0600)) << "containers hold passwords";
}

TEST_F(StorageFileTest, RoundTripKeepsOrderSizesAndContent) {
  // 8001 is the copy chunk: sizes around it catch an off-by-one at chunk borders.
  Store({{"b.lst", Pattern(8001, 'x')},
         {"empty.txt", ""},
         {"a.lst", Pattern(8002, 'y')},
         {"c.bin", Pattern(20000, '\0')}});
  EXPECT_EQ(store_.ListEntries(),
            (std::vector<std::string>{"b.lst", "empty.txt", "a.lst", "c.bin"}));
  EXPECT_EQ(store_.EntrySize("a.lst"), 8002);
  EXPECT_EQ(store_.EntrySize("empty.txt"), 0);
  EXPECT_TRUE(store_.HasEntry("empty.txt")) << "an empty entry is present";
  EXPECT_EQ(Extract("b.lst"), Pattern(8001, 'x'));
  EXPECT_EQ(Extract("c.bin"), Pattern(20000, '\0'));
  EXPECT_EQ(Extract("empty.txt"), "");
}

TEST_F(StorageFileTest, LookupIgnoresCaseAndTheFirstOfANameWins) {
  Store({{"ftpsettings.lst", "abc"}, {"FTPSETTINGS.LST", "second, longer"}});
  EXPECT_EQ(store_.ListEntries(), (std::vector<std::string>{"ftpsettings.lst", "FTPSETTINGS.LST"}));
  const struct {
    const char* name;
    std::int64_t size;
  } cases[] = {{"ftpsettings.lst", 3}, {"FTPSETTINGS.LST", 3},   {"FtpSettings.Lst", 3},
               {"ftpsettings.ls", -1}, {"ftpsettings.lst ", -1}, {"", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(store_.EntrySize(c.name), c.size) << c.name;
  }
  EXPECT_EQ(Extract("FTPSETTINGS.LST"), "abc");
}

TEST_F(StorageFileTest, TruncatedEntryIsAbsentAndNothingOfItIsCopied) {
  Store({{"one", Pattern(100, 'a')}, {"two", Pattern(1000, 'b')}});
  const std::string whole = ReadFile(store_.Filename());
  const std::size_t second = 544 + 100;  // where the second entry starts
  const std::size_t cuts[] = {whole.size() - 1, second + 288 + 1, second + 288,
                              second + 270,     second + 10,      second};
  for (const std::size_t cut : cuts) {
    WriteFile(store_.Filename(), whole.substr(0, cut));
    EXPECT_EQ(store_.ListEntries(), std::vector<std::string>{"one"}) << cut;
    EXPECT_EQ(store_.EntrySize("two"), -1) << cut;
    std::stringstream out;
    EXPECT_FALSE(store_.ExtractToStream("two", out)) << cut;
    EXPECT_EQ(out.str(), "") << cut;
    EXPECT_FALSE(store_.ExtractToFile("two", dir_.path())) << cut;
    EXPECT_FALSE(platform::PathExists(dir_.File("two"))) << cut;
    EXPECT_EQ(Extract("one"), Pattern(100, 'a')) << cut;
  }
}

TEST_F(StorageFileTest, NothingToStoreCreatesNoFile) {
  EXPECT_FALSE(store_.SaveFiles({}));
  EXPECT_FALSE(platform::PathExists(store_.Filename()));
  WriteFile(dir_.File("x"), "x");
  StorageFile unnamed;
  EXPECT_FALSE(unnamed.SaveFiles({dir_.File("x")}));
}

TEST_F(StorageFileTest, UnreadableSourceLeavesTheOldContainerAlone) {
  Store({{"keep.lst", "precious"}});
  WriteFile(dir_.File("ok.lst"), "ok");
  for (const std::string& bad : {dir_.File("missing.lst"), dir_.path()}) {
    EXPECT_THROW(store_.SaveFiles({dir_.File("ok.lst"), bad}), Error) << bad;
    EXPECT_EQ(Extract("keep.lst"), "precious") << bad;
  }
}

TEST_F(StorageFileTest, MissingContainerHoldsNothing) {
  EXPECT_EQ(store_.ListEntries(), std::vector<std::string>{});
  EXPECT_EQ(store_.EntrySize("a"), -1);
  EXPECT_FALSE(store_.HasEntry("a"));
  std::stringstream out;
  EXPECT_FALSE(store_.ExtractToStream("a", out));
  EXPECT_FALSE(store_.ExtractToFile("a", dir_.path()));
}

// Every operation that reads the container reports damage with the operator's text.
void ExpectErrorFromEveryRead(StorageFile& store, const std::string& message) {
  const std::function<void()> reads[] = {
      [&] { store.ListEntries(); },
      [&] { store.EntrySize("a"); },
      [&] { store.HasEntry("a"); },
      [&] {
        std::stringstream out;
        store.ExtractToStream("a", out);
      },
      [&] { store.ExtractToFile("a", "/nonexistent"); },
  };
  for (std::size_t i = 0; i < std::size(reads); ++i) {
    try {
      reads[i]();
      ADD_FAILURE() << "read " << i << " did not throw";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), message) << "read " << i;
    }
  }
}

TEST_F(StorageFileTest, HeaderMismatchIsReported) {
  const std::string bad_headers[] = {
      "",                                                        // empty file
      ShortBlock("SFH1", 256).substr(0, 255),                    // header cut short
      ShortBlock("SFH2", 256),                                   // another format
      ShortBlock("sfh1", 256),                                   // signature is case-sensitive
      ShortBlock("SFH1x", 256),                                  // length byte counts
      std::string(1, '\xff') + "SFH1" + std::string(251, '\0'),  // length beyond block
  };
  for (const auto& header : bad_headers) {
    WriteFile(store_.Filename(), header);
    ExpectErrorFromEveryRead(store_, "Storage file header check failed.");
  }
}

TEST_F(StorageFileTest, UnreadableSizeIsReported) {
  const std::string entry_head =
      ShortBlock("SFH1", 256) + ShortBlock("b", 256) + ShortBlock("0", 16);
  const struct {
    std::string size_text;
    std::string message;
  } cases[] = {
      {"12x", "File size read failed (\"12x\")."},
      {"-5", "File size read failed (\"-5\")."},
      {"", "File size read failed (\"\")."},
  };
  for (const auto& c : cases) {
    WriteFile(store_.Filename(), entry_head + ShortBlock(c.size_text, 16) + "content");
    ExpectErrorFromEveryRead(store_, c.message);
  }
}

TEST_F(StorageFileTest, ExtractToFileRestoresContentAndDate) {
  const std::string source = dir_.File("ftpsettings.lst");
  WriteFile(source, "[ftpsettings]\nserverport=2121\n");
  SetDate(source, kMarch2024);
  ASSERT_TRUE(store_.SaveFiles({source}));

  const std::string target_dir = dir_.File("import");
  fs::create_directory(target_dir);
  WriteFile(target_dir + "/ftpsettings.lst", "old content that is longer than the new one\n");
  fs::permissions(target_dir + "/ftpsettings.lst", fs::perms(0640));

  for (const std::string& directory : {target_dir, target_dir + "/"}) {
    ASSERT_TRUE(store_.ExtractToFile("FTPsettings.lst", directory));
    EXPECT_EQ(ReadFile(target_dir + "/FTPsettings.lst"), "[ftpsettings]\nserverport=2121\n");
    const auto date = platform::ModificationTime(target_dir + "/FTPsettings.lst").value();
    EXPECT_EQ(platform::ToLocalCivil(date).second, 10);
    EXPECT_EQ(PackDosDateTime(platform::ToLocalCivil(date)), PackDosDateTime(kMarch2024));
  }
  ASSERT_TRUE(store_.ExtractToFile("ftpsettings.lst", target_dir));
  EXPECT_EQ(ReadFile(target_dir + "/ftpsettings.lst"), "[ftpsettings]\nserverport=2121\n");
  EXPECT_EQ(Permissions(target_dir + "/ftpsettings.lst"), fs::perms(0640))
      << "replacing keeps the operator's mode";

  DosDateTime stored = 0;
  std::stringstream out;
  ASSERT_TRUE(store_.ExtractToStream("ftpsettings.lst", out, &stored));
  EXPECT_EQ(stored, PackDosDateTime(kMarch2024));
}

TEST_F(StorageFileTest, ExtractToFileRefusesNamesThatLeaveTheDirectory) {
  Store({{"a", "a"}});
  for (const char* name : {"../a", "sub/a", "/etc/a", "..", ".", ""}) {
    EXPECT_THROW(store_.ExtractToFile(name, dir_.path()), Error) << name;
  }
}

TEST(DosDateTime, PacksTheFatLayout) {
  const struct {
    CivilTime civil;
    std::optional<DosDateTime> packed;
  } cases[] = {
      {{1980, 1, 1, 0, 0, 0, 0}, (1 << 5 | 1) << 16},
      {{1980, 1, 1, 0, 0, 59, 999}, (1 << 5 | 1) << 16 | 29},  // two-second steps, down
      {{2024, 3, 5, 14, 7, 10, 0}, (44 << 9 | 3 << 5 | 5) << 16 | (14 << 11 | 7 << 5 | 5)},
      {{2043, 12, 31, 23, 59, 58, 0}, 0x7F9FBF7D},
      {{2044, 1, 1, 0, 0, 0, 0}, static_cast<DosDateTime>(0x80210000u)},  // negative
      {{2107, 12, 31, 23, 59, 58, 0}, static_cast<DosDateTime>(0xFF9FBF7Du)},
      {{1979, 12, 31, 23, 59, 59, 0}, std::nullopt},
      {{2108, 1, 1, 0, 0, 0, 0}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PackDosDateTime(c.civil), c.packed) << c.civil.year;
    if (c.packed) {
      EXPECT_EQ(UnpackDosDateTime(*c.packed).value().year, c.civil.year);
    }
  }
}

TEST(DosDateTime, RejectsImpossibleFields) {
  const DosDateTime kJan1 = (1 << 5 | 1) << 16;
  const DosDateTime impossible[] = {
      0,                             // month 0, day 0
      (13 << 5 | 1) << 16,           // month 13
      (2 << 5 | 30) << 16,           // 30 February
      (1 << 9 | 2 << 5 | 29) << 16,  // 29 February 1981
      kJan1 | 24 << 11,              // hour 24
      kJan1 | 60 << 5,               // minute 60
      kJan1 | 30,                    // second 60
  };
  for (const DosDateTime packed : impossible) {
    EXPECT_FALSE(UnpackDosDateTime(packed).has_value()) << packed;
  }
  EXPECT_TRUE(UnpackDosDateTime((4 << 9 | 2 << 5 | 29) << 16)) << "29 February 1984";
}

}  // namespace
}  // namespace vantrel
