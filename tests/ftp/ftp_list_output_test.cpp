// Listing layouts byte for byte: the ls long layout and its switches, name layouts, sort
// rules, and the machine facts of MLSD and MLST.

#include "ftp/ftp_list_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ftp/listing_lines.h"
#include "ftp/listing_order.h"

namespace vantrel {
namespace {

using namespace std::chrono;

DateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return EncodeDateTime({year, month, day, hour, minute, second, 0});
}

// "Today" for the six-month rule: recent means on or after 1 September 2023.
const DateTime kNow = Local(2024, 3, 1, 10, 0);

FtpListItem& AddFile(FtpListOutput& listing, std::string name, std::int64_t size, DateTime date) {
  FtpListItem& item = listing.Add();
  item.file_name = std::move(name);
  item.size = size;
  item.modified_date = date;
  return item;
}

FtpListItem& AddDirectory(FtpListOutput& listing, std::string name, DateTime date) {
  FtpListItem& item = AddFile(listing, std::move(name), 4096, date);
  item.item_type = FtpListItemType::kDirectory;
  return item;
}

// The name listing with " | " for each line end.
std::string Names(const FtpListOutput& listing) {
  std::string names = listing.NameListing(kNow);
  for (std::size_t at = names.find("\r\n"); at != std::string::npos; at = names.find("\r\n", at))
    names.replace(at, 2, " | ");
  return names;
}

TEST(FtpListOutputTest, LongLayoutOfFilesAndDirectories) {
  FtpListOutput listing;
  AddFile(listing, "readme.txt", 1234, Local(2024, 1, 5, 12, 34));
  AddDirectory(listing, "sub", Local(2024, 1, 5, 12, 34));
  EXPECT_EQ(listing.LongListing(kNow),
            "total 0\r\n"
            "-rw-rw-r--   1 root     root         1234 Jan 05 12:34 readme.txt\r\n"
            "drwxrwxr-x   1 root     root          512 Jan 05 12:34 sub\r\n");
  EXPECT_EQ(FtpListOutput().LongListing(kNow), "total 0\r\n");
}

TEST(FtpListOutputTest, ColumnsTakeTheHostsValuesAndWiden) {
  struct Case {
    const char* what;
    void (*fill)(FtpListItem&);
    const char* line;
  };
  const Case cases[] = {
      {"owner beyond 8 characters pushes the line right, group follows the owner",
       [](FtpListItem& i) { i.owner_name = "averylongowner"; },
       "-rw-rw-r--   1 averylongowner averylongowner       10 Jan 05 12:34 f"},
      {"own group", [](FtpListItem& i) { i.group_name = "staff"; },
       "-rw-rw-r--   1 root     staff          10 Jan 05 12:34 f"},
      {"size above 99,999,999 is not cut", [](FtpListItem& i) { i.size = 123456789012; },
       "-rw-rw-r--   1 root     root     123456789012 Jan 05 12:34 f"},
      {"link count", [](FtpListItem& i) { i.link_count = 27; },
       "-rw-rw-r--  27 root     root           10 Jan 05 12:34 f"},
      {"permissions as given, short ones right-aligned",
       [](FtpListItem& i) {
         i.owner_permissions = "rwx";
         i.group_permissions = "r";
         i.other_permissions = "---";
       },
       "-rwx  r---   1 root     root           10 Jan 05 12:34 f"},
      {"symbolic link",
       [](FtpListItem& i) {
         i.item_type = FtpListItemType::kSymbolicLink;
         i.link_target = "/etc/motd";
       },
       "lrw-rw-r--   1 root     root           10 Jan 05 12:34 f -> /etc/motd"},
      {"link to a directory keeps its size and gets directory permissions",
       [](FtpListItem& i) {
         i.item_type = FtpListItemType::kSymbolicLinkDir;
         i.link_target = "../d";
       },
       "lrwxrwxr-x   1 root     root           10 Jan 05 12:34 f -> ../d"},
      {"a line break in a name cannot start a line of its own",
       [](FtpListItem& i) { i.file_name = "a\r\n213 forged"; },
       "-rw-rw-r--   1 root     root           10 Jan 05 12:34 a??213 forged"},
  };
  for (const auto& c : cases) {
    FtpListOutput listing;
    c.fill(AddFile(listing, "f", 10, Local(2024, 1, 5, 12, 34)));
    EXPECT_EQ(listing.LongListing(kNow), std::string("total 0\r\n") + c.line + "\r\n") << c.what;
  }
}

TEST(FtpListOutputTest, SixMonthRuleAndTheFullTimeSwitch) {
  struct Case {
    DateTime date;
    const char* plain;
    const char* full;
  };
  const Case cases[] = {
      {Local(2024, 2, 29, 23, 59, 7), "Feb 29 23:59", "Feb 29 23:59:07 2024"},
      {Local(2023, 9, 1, 0, 0), "Sep 01 00:00", "Sep 01 00:00:00 2023"},
      {Local(2023, 8, 31, 23, 59), "Aug 31  2023", "Aug 31 23:59:00 2023"},
      {Local(2023, 7, 1, 8, 5), "Jul 01  2023", "Jul 01 08:05:00 2023"},
      {Local(2025, 12, 24, 18, 0), "Dec 24 18:00", "Dec 24 18:00:00 2025"},  // future: recent
      {Local(1999, 10, 3, 1, 2), "Oct 03  1999", "Oct 03 01:02:00 1999"},
  };
  for (const auto& c : cases) {
    FtpListOutput listing;
    AddFile(listing, "f", 1, c.date);
    const std::string prefix = "total 0\r\n-rw-rw-r--   1 root     root            1 ";
    EXPECT_EQ(listing.LongListing(kNow), prefix + c.plain + " f\r\n") << c.plain;
    listing.SetSwitches("lT");
    EXPECT_EQ(listing.LongListing(kNow), prefix + c.full + " f\r\n") << c.full;
  }
}

TEST(FtpListOutputTest, SixMonthsBackEndsOnTheLastDayOfAShortMonth) {
  // 31 August less six months is 29 February in a leap year.
  const DateTime now = Local(2024, 8, 31, 12, 0);
  FtpListOutput listing;
  AddFile(listing, "recent", 1, Local(2024, 2, 29, 0, 0));
  AddFile(listing, "old", 1, Local(2024, 2, 28, 23, 59));
  EXPECT_EQ(listing.LongListing(now),
            "total 0\r\n"
            "-rw-rw-r--   1 root     root            1 Feb 28  2024 old\r\n"
            "-rw-rw-r--   1 root     root            1 Feb 29 00:00 recent\r\n");
}

TEST(FtpListOutputTest, DecorationSwitches) {
  struct Case {
    const char* switches;
    const char* file_line;
    const char* directory_line;
  };
  const Case cases[] = {
      {"i", "      1234 -rwxr--r--   1 root     root           10 Jan 05 12:34 run",
       "1234567890 drwxrwxr-x   1 root     root          512 Jan 05 12:34 sub"},
      {"s", "   8 -rwxr--r--   1 root     root           10 Jan 05 12:34 run",
       "   2 drwxrwxr-x   1 root     root          512 Jan 05 12:34 sub"},
      {"g", "-rwxr--r--   1 root           10 Jan 05 12:34 run",
       "drwxrwxr-x   1 root          512 Jan 05 12:34 sub"},
      {"go", "-rwxr--r--   1       10 Jan 05 12:34 run",
       "drwxrwxr-x   1      512 Jan 05 12:34 sub"},
      {"Q", "-rwxr--r--   1 root     root           10 Jan 05 12:34 \"run\"",
       "drwxrwxr-x   1 root     root          512 Jan 05 12:34 \"sub\""},
      {"p", "-rwxr--r--   1 root     root           10 Jan 05 12:34 run",
       "drwxrwxr-x   1 root     root          512 Jan 05 12:34 sub/"},
      {"F", "-rwxr--r--   1 root     root           10 Jan 05 12:34 run*",
       "drwxrwxr-x   1 root     root          512 Jan 05 12:34 sub/"},
  };
  for (const auto& c : cases) {
    FtpListOutput listing;
    FtpListItem& file = AddFile(listing, "run", 10, Local(2024, 1, 5, 12, 34));
    file.owner_permissions = "rwx";
    file.group_permissions = "r--";
    file.other_permissions = "r--";
    file.inode = 1234;
    file.block_count = 8;
    FtpListItem& directory = AddDirectory(listing, "sub", Local(2024, 1, 5, 12, 34));
    directory.inode = 12345678901234;  // cut to 10 characters
    directory.block_count = 2;
    listing.SetSwitches(c.switches);
    EXPECT_EQ(listing.LongListing(kNow),
              std::string("total 10\r\n") + c.file_line + "\r\n" + c.directory_line + "\r\n")
        << c.switches;
  }
}

TEST(FtpListOutputTest, SortRules) {
  FtpListOutput listing;
  AddFile(listing, "b.txt", 30, Local(2024, 1, 2));
  AddDirectory(listing, "..", Local(2020, 1, 1)).size = 0;
  AddFile(listing, "A.zip", 10, Local(2024, 1, 3));
  AddDirectory(listing, ".", Local(2020, 1, 1)).size = 0;
  AddFile(listing, "a.c", 20, Local(2024, 1, 1));
  AddFile(listing, ".hidden", 5, Local(2023, 12, 31));
  struct Case {
    const char* switches;
    const char* order;
  };
  const Case cases[] = {
      {"", ". | .. | .hidden | a.c | A.zip | b.txt | "},
      {"a", ". | .. | .hidden | a.c | A.zip | b.txt | "},
      {"A", ".hidden | a.c | A.zip | b.txt | "},
      {"r", "b.txt | A.zip | a.c | .hidden | .. | . | "},
      {"t", "A.zip | b.txt | a.c | .hidden | . | .. | "},
      {"S", "b.txt | a.c | A.zip | .hidden | . | .. | "},
      {"X", ". | .. | a.c | .hidden | b.txt | A.zip | "},
      {"f", "b.txt | .. | A.zip | . | a.c | .hidden | "},
      {"1", ". | .. | .hidden | a.c | A.zip | b.txt | "},
  };
  for (const auto& c : cases) {
    listing.SetSwitches(c.switches);
    EXPECT_EQ(Names(listing), c.order) << c.switches;
  }
}

TEST(FtpListOutputTest, NameLayouts) {
  FtpListOutput listing;
  for (const char* name : {"alpha", "beta", "gamma", "delta", "epsilon"})
    AddFile(listing, name, 1, Local(2024, 1, 5, 12, 34));
  struct Case {
    const char* switches;
    std::string text;
  };
  const std::string names = "alpha\r\nbeta\r\ndelta\r\nepsilon\r\ngamma\r\n";
  const Case cases[] = {
      {"", names},
      {"1", names},
      {"Q", "\"alpha\"\r\n\"beta\"\r\n\"delta\"\r\n\"epsilon\"\r\n\"gamma\"\r\n"},
      {"m", "alpha, beta, delta, epsilon, gamma\r\n"},
      // Nine characters a column: eight columns fit in 80.
      {"C", "alpha    beta     delta    epsilon  gamma\r\n"},
      {"x", "alpha    beta     delta    epsilon  gamma\r\n"},
      {"l",
       "total 0\r\n"
       "-rw-rw-r--   1 root     root            1 Jan 05 12:34 alpha\r\n"
       "-rw-rw-r--   1 root     root            1 Jan 05 12:34 beta\r\n"
       "-rw-rw-r--   1 root     root            1 Jan 05 12:34 delta\r\n"
       "-rw-rw-r--   1 root     root            1 Jan 05 12:34 epsilon\r\n"
       "-rw-rw-r--   1 root     root            1 Jan 05 12:34 gamma\r\n"},
  };
  for (const auto& c : cases) {
    listing.SetSwitches(c.switches);
    EXPECT_EQ(listing.NameListing(kNow), c.text) << c.switches;
  }
}

TEST(FtpListOutputTest, ColumnsGoDownOrAcrossAndCommasWrap) {
  FtpListOutput listing;
  for (int i = 0; i < 12; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file-number-%02d", i);  // 14 characters: 5 columns
    AddFile(listing, name, 1, kNow);
  }
  listing.SetSwitches("C");
  const std::string down = listing.NameListing(kNow);
  EXPECT_EQ(down.substr(0, down.find('\r')),
            "file-number-00  file-number-03  file-number-06  file-number-09");
  listing.SetSwitches("x");
  const std::string across = listing.NameListing(kNow);
  EXPECT_EQ(across.substr(0, across.find('\r')),
            "file-number-00  file-number-01  file-number-02  file-number-03  file-number-04");
  listing.SetSwitches("m");
  const std::string commas = listing.NameListing(kNow);
  EXPECT_EQ(commas.substr(0, commas.find('\r')),
            "file-number-00, file-number-01, file-number-02, file-number-03, file-number-04,");
  for (std::size_t start = 0; start < commas.size();) {
    const std::size_t end = commas.find("\r\n", start);
    EXPECT_LE(end - start, 80u);
    start = end + 2;
  }
}

TEST(FtpListOutputTest, RecursionListsTheSubListingsTheHostFilled) {
  FtpListOutput listing;
  FtpListItem& sub = AddDirectory(listing, "sub", Local(2024, 1, 5, 12, 34));
  AddFile(listing, "top", 1, Local(2024, 1, 5, 12, 34));
  sub.sub_listing = std::make_shared<FtpListOutput>();
  FtpListItem& deeper = AddDirectory(*sub.sub_listing, "deeper", Local(2024, 1, 5, 12, 34));
  AddFile(*sub.sub_listing, "inner", 1, Local(2024, 1, 5, 12, 34));
  deeper.sub_listing = std::make_shared<FtpListOutput>();
  AddFile(*deeper.sub_listing, "leaf", 1, Local(2024, 1, 5, 12, 34));
  listing.SetSwitches("R");
  EXPECT_EQ(listing.NameListing(kNow),
            "sub\r\ntop\r\n\r\nsub:\r\ndeeper\r\ninner\r\n\r\nsub/deeper:\r\nleaf\r\n");
}

TEST(FtpListOutputTest, ListingOfTenThousandEntriesIsCheap) {
  FtpListOutput listing;
  for (int i = 10000; i > 0; --i)
    AddFile(listing, "file" + std::to_string(i * 7919 % 10007) + ".dat", i, kNow);
  const auto start = steady_clock::now();
  const std::string text = listing.LongListing(kNow);
  const auto spent = steady_clock::now() - start;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10001);
  // Far above what it takes (a few milliseconds even under sanitizers); a per-line copy
  // of the output so far would take seconds.
  EXPECT_LT(spent, seconds(2));
}

TEST(ListingOrderTest, NamesWithoutRegardToCaseThenByteOrder) {
  std::vector<std::string> names = {"Z", "b",   "long-prefix-B", "_x", "..", "A2", "long-prefix-a",
                                    "B", "a10", "Long-prefix-a", "."};
  std::sort(names.begin(), names.end(), ListingNameLess);
  EXPECT_EQ(names,
            (std::vector<std::string>{".", "..", "_x", "a10", "A2", "B", "b", "Long-prefix-a",
                                      "long-prefix-a", "long-prefix-B", "Z"}));
}

TEST(ListingOrderTest, BatchesHandOutEveryNameOnceInOrderWithinTheBudget) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i)
    names.push_back((i % 3 == 0 ? "File-" : "file-") + std::to_string(i * 7919 % 1000));
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end(), ListingNameLess);
  struct Case {
    std::size_t budget;
    int passes;
  };
  // 300 names of 6 to 8 characters, 8 bytes of bookkeeping each: about 4.5 KB.
  for (const Case c : {Case{1 << 20, 1}, Case{2048, 3}, Case{1, 300}}) {
    ListingNameBatches batches(c.budget);
    std::vector<std::string> listed;
    int passes = 0;
    while (batches.MoreToCome()) {
      batches.BeginPass();
      for (const auto& name : names)
        batches.Offer(name);
      ++passes;
      std::size_t held = 0;
      const std::size_t count = batches.EndPass();
      for (std::size_t i = 0; i < count; ++i) {
        listed.emplace_back(batches.Name(i));
        held += batches.Name(i).size() + 8;
      }
      EXPECT_TRUE(held <= c.budget || count == 1) << c.budget << ": " << held;
    }
    EXPECT_EQ(listed, sorted) << c.budget;
    EXPECT_GE(passes, c.passes) << c.budget;
    EXPECT_LE(passes, c.passes + 1) << c.budget;
  }
}

TEST(ListingOrderTest, NamesThatAppearBetweenPassesAreListedOnceOrNot) {
  ListingNameBatches batches(1);  // a name a pass
  std::vector<std::string> names = {"b", "d"};
  std::vector<std::string> listed;
  while (batches.MoreToCome()) {
    batches.BeginPass();
    for (const auto& name : names)
      batches.Offer(name);
    if (batches.EndPass() == 1)
      listed.emplace_back(batches.Name(0));
    names = {"a", "b", "c", "d", "e"};  // after the first pass
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"b", "c", "d", "e"}));
}

TEST(FtpListOutputTest, MachineFactsInUniversalTime) {
  // 5 January 2024, 11:34:00 UTC, whatever the local zone makes of it.
  const DateTime local = ToDateTime(sys_days{2024y / January / 5} + 11h + 34min);
  FtpListOutput listing;
  AddFile(listing, "readme.txt", 1234, local);
  AddDirectory(listing, "sub", local).size = 0;
  AddDirectory(listing, ".", local).size = 0;
  AddDirectory(listing, "..", local).size = 0;
  FtpListItem& link = AddFile(listing, "ln", 4, 0);
  link.item_type = FtpListItemType::kSymbolicLink;
  link.link_target = "target";
  EXPECT_EQ(listing.MachineListing(MlstFacts::Basic()),
            "type=cdir;size=0;modify=20240105113400; .\r\n"
            "type=pdir;size=0;modify=20240105113400; ..\r\n"
            "type=OS.unix=slink:target;size=4; ln\r\n"
            "type=file;size=1234;modify=20240105113400; readme.txt\r\n"
            "type=dir;size=0;modify=20240105113400; sub\r\n");
  EXPECT_EQ(listing.MachineLines({MlstFact::kType})[2], "type=OS.unix=slink:target; ln");
}

TEST(FtpListOutputTest, EveryFactInItsOrder) {
  FtpListItem item;
  item.file_name = "data.bin";
  item.size = 5000000000;
  item.modified_date_gmt = Local(2024, 1, 5, 11, 34, 0);
  item.creation_date_gmt = EncodeDateTime({2023, 6, 1, 8, 0, 0, 250});
  item.last_access_date_gmt = Local(2024, 2, 1, 0, 0, 1);
  item.mlst_permissions = "adfrw";
  item.unique_id = "803U1A";
  item.owner_name = "ftp";
  item.owner_permissions = "rwx";
  item.group_permissions = "r-x";
  item.other_permissions = "---";
  item.win32_attributes = 0x20;
  MlstFacts all;
  for (MlstFact fact :
       {MlstFact::kSize, MlstFact::kType, MlstFact::kPerm, MlstFact::kCreate, MlstFact::kModify,
        MlstFact::kUnixMode, MlstFact::kUnixOwner, MlstFact::kUnixGroup, MlstFact::kUnique,
        MlstFact::kWindowsLastAccessTime, MlstFact::kWin32Ea}) {
    all.Add(fact);
  }
  EXPECT_EQ(MachineLine(item, all),
            "type=file;size=5000000000;perm=adfrw;create=20230601080000.250;"
            "modify=20240105113400;UNIX.mode=0750;UNIX.owner=ftp;UNIX.group=ftp;unique=803U1A;"
            "windows.lastaccesstime=20240201000001;win32.ea=0x00000020; data.bin");
  item.modified_date_gmt = 0;
  item.last_access_date_gmt = 0;
  item.creation_date_gmt = 0;
  EXPECT_EQ(MachineLine(item, MlstFacts::Basic()), "type=file;size=5000000000; data.bin")
      << "a date of 0 leaves its fact out";
}

}  // namespace
}  // namespace vantrel
