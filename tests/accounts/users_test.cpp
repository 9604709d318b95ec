#include "accounts/users.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/clock.h"
#include "common/error.h"
#include "config/list_file.h"
#include "support/temp_dir.h"

namespace vantrel {
namespace {

AccountFields Account(std::string user, std::string pass = "pw", std::string home = "/srv/ftp") {
  AccountFields fields;
  fields.user = std::move(user);
  fields.pass = std::move(pass);
  fields.home = std::move(home);
  return fields;
}

std::vector<std::string> Names(const Users& users) {
  std::vector<std::string> names;
  for (int i = 0; i < users.AccountCount(); ++i)
    names.push_back(users.GetAccount(i)->user);
  return names;
}

// A row as the member lists show it, its cells joined by "||".
std::string Shown(const Users& users, std::size_t row) {
  std::string line;
  for (const std::string& cell : AccountCells(users.AccountRows().at(row)))
    line += cell + "||";
  return line;
}

class UsersTest : public ::testing::Test {
 protected:
  ManualClock clock_;
  Users users_{clock_};
};

TEST_F(UsersTest, TableOperationsKeepOrderAndRefuseBadIndexes) {
  for (const char* name : {"alice", "bob", "carol", "Bob"})
    ASSERT_TRUE(users_.AddAccount(Account(name)));
  const auto generation = users_.Generation();
  EXPECT_FALSE(users_.AddAccount(Account("bob", "other")));
  EXPECT_EQ(users_.GetAccount(1)->pass, "pw");
  EXPECT_EQ(users_.FindAccount("Bob"), 3);
  EXPECT_EQ(users_.FindAccount("BOB"), -1);
  EXPECT_TRUE(users_.DeleteAccount(0));
  EXPECT_EQ(Names(users_), (std::vector<std::string>{"bob", "carol", "Bob"}));
  for (int bad : {-1, 3}) {
    EXPECT_FALSE(users_.GetAccount(bad).has_value()) << bad;
    EXPECT_FALSE(users_.UpdateAccount(bad, Account("x"))) << bad;
    EXPECT_FALSE(users_.DeleteAccount(bad)) << bad;
  }
  EXPECT_EQ(users_.AccountCount(), 3);
  EXPECT_EQ(users_.Generation(), generation + 1) << "only the deletion changed the table";
}

TEST_F(UsersTest, ByNameOperationsFindTheExactName) {
  for (const char* name : {"alice", "bob", "Bob"})
    ASSERT_TRUE(users_.AddAccount(Account(name)));
  EXPECT_TRUE(users_.UpdateAccountByName("Bob", Account("Bob", "changed")));
  EXPECT_EQ(users_.GetAccountByName("Bob")->pass, "changed");
  EXPECT_EQ(users_.GetAccountByName("bob")->pass, "pw");
  EXPECT_FALSE(users_.GetAccountByName("BOB").has_value());
  EXPECT_FALSE(users_.UpdateAccountByName("nobody", Account("nobody")));
  EXPECT_TRUE(users_.DeleteAccountByName("alice"));
  EXPECT_FALSE(users_.DeleteAccountByName("alice"));
  EXPECT_EQ(Names(users_), (std::vector<std::string>{"bob", "Bob"}));
}

TEST_F(UsersTest, LoginIsExactAndNotedOnTheAccount) {
  users_.AddAccount(Account("bob", "Secret", "/h"));
  users_.AddAccount(Account("empty", ""));
  EXPECT_FALSE(users_.Login("k:1", "Bob", "Secret"));
  // Every length of guess around the password's, and guesses that share its start.
  for (const char* guess : {"secret", "Secre", "Secrett", "SecretSecret", "", "S", "Secreu"})
    EXPECT_FALSE(users_.Login("k:1", "bob", guess)) << guess;
  EXPECT_EQ(Shown(users_, 0), "bob||Secret||/h||-||-||-||");
  EXPECT_TRUE(users_.Login("k:1", "empty", ""));

  clock_.AdvanceSeconds(30);
  const auto generation = users_.Generation();
  const auto account = users_.Login("192.168.1.20:3012", "bob", "Secret");
  ASSERT_TRUE(account);
  EXPECT_EQ(account->home, "/h");
  EXPECT_EQ(users_.Generation(), generation) << "a login grants nothing new";
  const std::string noted = "||192.168.1.20:3012||" + FormatLocalDateTime(clock_.Now()) + "||";
  EXPECT_EQ(Shown(users_, 0), "bob||Secret||/h" + noted + "-||");

  AccountFields changed = Account("bob", "new", "/other");
  changed.virtualdir = "music=/mnt/mp3;";
  ASSERT_TRUE(users_.UpdateAccount(0, changed));
  EXPECT_GT(users_.Generation(), generation);
  EXPECT_EQ(*users_.GetAccount(0), changed);
  EXPECT_EQ(Shown(users_, 0), "bob||new||/other" + noted + "music=/mnt/mp3;||");
}

TEST_F(UsersTest, RowSortIsStableAndPutsNeverLoggedInLast) {
  const struct {
    const char* user;
    const char* pass;
    double seconds_ago;  // < 0: never logged in
  } kRows[] = {{"d", "x", -1}, {"b", "y", 10}, {"a", "x", 30}, {"c", "y", -1}, {"e", "x", 10}};
  const DateTime start = clock_.Now();
  for (const auto& row : kRows) {
    users_.AddAccount(Account(row.user, row.pass));
    if (row.seconds_ago < 0)
      continue;
    clock_.Set(start - row.seconds_ago / kSecondsPerDay);
    users_.Login("k:1", row.user, row.pass);
  }
  std::vector<AccountRow> rows = users_.AccountRows();
  const auto names = [&rows] {
    std::string order;
    for (const AccountRow& row : rows)
      order += row.fields.user;
    return order;
  };
  ASSERT_TRUE(SortAccountRows(rows, 1));  // equal passwords keep their order
  EXPECT_EQ(names(), "daebc");
  ASSERT_TRUE(SortAccountRows(rows, 4));  // most recent first, ties kept, never last
  EXPECT_EQ(names(), "ebadc");
  EXPECT_FALSE(SortAccountRows(rows, 6));
  EXPECT_EQ(Names(users_), (std::vector<std::string>{"d", "b", "a", "c", "e"}))
      << "the table keeps its own order";
}

class AccountFileTest : public UsersTest {
 protected:
  void WriteFile(const std::string& body) { std::ofstream(dir_.File(Users::kFileName)) << body; }
  std::string Directory() const { return dir_.path() + "/"; }
  TempDir dir_;
};

TEST_F(AccountFileTest, RoundTripKeepsEveryStoredField) {
  AccountFields full = Account("bob", "p w", "/srv/b");
  full.allow_download = full.allow_rename = full.allow_makedirectory = true;
  full.allow_deletedirectory = true;
  full.virtualdir = "music=/mnt/mp3;video=/mnt/v;";
  full.filecontrol = ".exe;.bat;";
  full.download = 2048;
  full.upload = -5;
  users_.AddAccount(full);
  users_.AddAccount(Account("eve", "", ""));
  users_.Login("10.1.1.1:40000", "bob", "p w");
  users_.SaveAccounts(Directory());

  Users loaded(clock_);
  ASSERT_TRUE(loaded.LoadAccounts(Directory()));
  ASSERT_EQ(loaded.AccountCount(), 2);
  EXPECT_EQ(*loaded.GetAccount(0), full);
  EXPECT_EQ(*loaded.GetAccount(1), Account("eve", "", ""));
  // The address is stored, the last time is not.
  EXPECT_EQ(Shown(loaded, 0),
            "bob||p w||/srv/b||10.1.1.1:40000||-||music=/mnt/mp3;video=/mnt/v;||");
}

TEST_F(AccountFileTest, MissingKeysReadAsDefaults) {
  WriteFile(
      "[ftpmembers]\nftpmembers=2\n"
      "[ftpmember0]\nuser=alice\npass=a\nhome=/a\naddr=\nallow_download=1\ndownload=12\n"
      "[ftpmember1]\nuser=bob\nhome=/b\nallow_upload=1\nupload=x7\n");
  ASSERT_TRUE(users_.LoadAccounts(Directory()));
  ASSERT_EQ(users_.AccountCount(), 2);
  EXPECT_TRUE(users_.GetAccount(0)->allow_download);
  EXPECT_EQ(users_.GetAccount(0)->download, 12);
  const AccountFields bob = *users_.GetAccount(1);
  EXPECT_EQ(bob.pass, "readfailed");
  EXPECT_TRUE(bob.allow_upload);
  EXPECT_EQ(bob.upload, 0);  // malformed number
  EXPECT_EQ(Shown(users_, 1), "bob||readfailed||/b||readfailed||-||-||");
}

TEST_F(AccountFileTest, ShrinkingLeavesInertSections) {
  for (const char* name : {"alice", "bob", "carol"})
    users_.AddAccount(Account(name));
  users_.SaveAccounts(Directory());
  users_.DeleteAccount(1);
  users_.SaveAccounts(Directory());
  const ListFile file(dir_.File(Users::kFileName));
  EXPECT_EQ(file.ReadInteger("ftpmembers", "ftpmembers", -1), 2);
  EXPECT_EQ(file.ReadString("ftpmember2", "user", ""), "carol");  // stale
  Users loaded(clock_);
  ASSERT_TRUE(loaded.LoadAccounts(Directory()));
  EXPECT_EQ(Names(loaded), (std::vector<std::string>{"alice", "carol"}));
}

TEST_F(AccountFileTest, MissingFileImpossibleCountAndWriteFailure) {
  users_.AddAccount(Account("keep"));
  EXPECT_FALSE(users_.LoadAccounts(Directory()));
  EXPECT_EQ(Names(users_), std::vector<std::string>{"keep"});
  EXPECT_THROW(users_.SaveAccounts(dir_.File("no/such/dir") + "/"), Error);

  for (const char* count : {"-3", "2000000000", "lots", ""}) {
    WriteFile(std::string("[ftpmembers]\nftpmembers=") + count + "\n[ftpmember0]\nuser=x\n");
    EXPECT_TRUE(users_.LoadAccounts(Directory())) << count;
    EXPECT_EQ(users_.AccountCount(), 0) << count;
  }
}

}  // namespace
}  // namespace vantrel
