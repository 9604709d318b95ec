// Transfers over the data channel: downloads and uploads with their replies, restart
// offsets beyond 4 GiB, unique names, the control connection during a transfer, failures
// that must never read as success, and the listings.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ftp/ftp_list_output.h"
#include "ftp/transfer_fixture.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using testing::ConnectData;
using testing::FtpTestClient;
using testing::PassivePort;
using testing::ReadAll;

constexpr const char* kAboutToOpen = "150 File status okay; about to open data connection.";
constexpr const char* kClosing = "226 Closing data connection.";
constexpr const char* kAbnormal = "426 Data connection closed abnormally.";
constexpr const char* kLocalError = "451 Requested action aborted: local error in processing.";

class FtpTransferTest : public testing::TransferFixture {};

TEST_F(FtpTransferTest, RestartAppendAndResume) {
  std::string content;
  for (int i = 0; i < 200; ++i)
    content += static_cast<char>('0' + i % 10);
  WriteFile("/file", content);
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("REST 100"), "350 Requested file action pending further information.");
  EXPECT_EQ(Retrieve(client, "file"), std::make_pair(content.substr(100), std::string(kClosing)));
  EXPECT_EQ(Retrieve(client, "file").first, content) << "the offset served one transfer";

  EXPECT_EQ(Store(client, "STOR new", "hello"), kClosing);
  EXPECT_EQ(Store(client, "APPE new", " world"), kClosing);
  EXPECT_EQ(ReadFile("/new"), "hello world");
  EXPECT_EQ(client.Ask("REST 5"), "350 Requested file action pending further information.");
  EXPECT_EQ(Store(client, "STOR new", "XYZ"), kClosing);
  EXPECT_EQ(ReadFile("/new"), "helloXYZrld") << "a resumed upload keeps what it resumes";
  EXPECT_EQ(client.Ask("ALLO R 100000"), "200 ALLO Command successful.");
  EXPECT_EQ(Store(client, "STOR new", "short"), kClosing);
  EXPECT_EQ(ReadFile("/new"), "short") << "a plain STOR replaces the file, whatever ALLO said";
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{"retr /file", "retr /file", "store /new", "append /new",
                                      "append /new", "store /new"}));
}

TEST_F(FtpTransferTest, RestartBeyondFourGibibytes) {
  WriteFile("/big", "");
  std::filesystem::resize_file(Disk("/big"), 5'000'000'000);  // sparse: costs no disk
  {
    std::ofstream tail(Disk("/big"), std::ios::binary | std::ios::app);
    tail << "0123456789";
  }
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("REST 5000000003"),
            "350 Requested file action pending further information.");
  EXPECT_EQ(Retrieve(client, "big"), std::make_pair(std::string("3456789"), std::string(kClosing)));
}

TEST_F(FtpTransferTest, TypeNeverChangesTheBytes) {
  const std::string content("line\r\nbare\nreturn\rnul\0end", 25);
  WriteFile("/mixed", content);
  Start();
  FtpTestClient client = LoggedIn();
  for (const char* type : {"TYPE A", "TYPE I"}) {
    client.Ask(type);
    EXPECT_EQ(Retrieve(client, "mixed").first, content) << type;
    EXPECT_EQ(Store(client, "STOR copy", content), kClosing) << type;
    EXPECT_EQ(ReadFile("/copy"), content) << type;
  }
}

TEST_F(FtpTransferTest, UniqueNamesAreCheckedWhereTheFileWillBe) {
  std::filesystem::create_directory(Disk("/sub"));
  host_.file_exists = [this](FtpSession& session, std::string_view argument) {
    recorded_.Add(testing::Joined(session, argument));
    return recorded_.Entries().size() <= 2;  // the first two names are taken
  };
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("CWD sub"), "250 CWD Command successful.");
  platform::TcpSocket data = Passive(client);
  const std::string preliminary = client.Ask("STOU");
  ASSERT_EQ(preliminary.substr(0, 14), "150 FILE: Temp") << preliminary;
  const std::string name = preliminary.substr(10);
  ASSERT_EQ(name.size(), 12u);
  data.Write("unique");
  data.Close();
  EXPECT_EQ(client.ReadReply(), kClosing);
  const auto entries = recorded_.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[2], "/sub/" + name);
  EXPECT_EQ(entries[3], "store /sub/" + name);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(entries[i].substr(0, 9), "/sub/Temp") << "never the process's own directory";
  EXPECT_EQ(ReadFile("/sub/" + name), "unique");
}

TEST_F(FtpTransferTest, ControlConnectionDuringALongDownload) {
  pattern_size_ = std::int64_t{1} << 40;
  Start();
  FtpTestClient client = LoggedIn();
  platform::TcpSocket data = Passive(client);
  EXPECT_EQ(client.Ask("RETR pattern"), kAboutToOpen);
  // The client reads a little, then nothing: the server sits on a full connection.
  char block[4096];
  ASSERT_GT(data.Read(block, sizeof block), 0u);
  EXPECT_EQ(block[0], 'a');
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(client.Ask("STAT"), "211 End of Status") << "answered at once";
  client.SendLine("NOOP");
  client.SendLine("PWD");
  EXPECT_TRUE(client.Silent(300ms)) << "other commands wait for the transfer";
  EXPECT_EQ(client.Ask("ABOR"), kAbnormal);
  EXPECT_EQ(client.ReadReply(), kClosing);
  EXPECT_EQ(client.ReadReply(), "200 NOOP Command successful.");
  EXPECT_EQ(client.ReadReply(), "257 \"/\" is working directory.");
}

TEST_F(FtpTransferTest, AbortAsTelnetSynch) {
  pattern_size_ = std::int64_t{1} << 40;
  Start();
  FtpTestClient client = LoggedIn();
  platform::TcpSocket data = Passive(client);
  EXPECT_EQ(client.Ask("RETR pattern"), kAboutToOpen);
  // IAC IP, IAC DM (sent urgent by real clients), then the line.
  client.Send(std::string("\xff\xf4\xff\xf2", 4) + "ABOR\r\n");
  EXPECT_EQ(client.ReadReply(), kAbnormal);
  EXPECT_EQ(client.ReadReply(), kClosing);
}

TEST_F(FtpTransferTest, AbortDuringAnUpload) {
  Start();
  FtpTestClient client = LoggedIn();
  platform::TcpSocket data = Passive(client);
  EXPECT_EQ(client.Ask("STOR partial"), kAboutToOpen);
  data.Write("first part");
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(client.Ask("ABOR"), kAbnormal);
  EXPECT_EQ(client.ReadReply(), kClosing);
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP Command successful.");
}

TEST_F(FtpTransferTest, FailuresAreNeverReportedAsSuccess) {
  pattern_size_ = 64 << 20;
  Start();
  FtpTestClient client = LoggedIn();

  EXPECT_EQ(Store(client, "STOR full", std::string(5000, 'x')), kLocalError) << "disk full";
  EXPECT_EQ(Retrieve(client, "broken").second, kLocalError) << "read error";

  platform::TcpSocket data = Passive(client);
  EXPECT_EQ(client.Ask("RETR pattern"), kAboutToOpen);
  char block[4096];
  ASSERT_GT(data.Read(block, sizeof block), 0u);
  data.Close();  // the client goes away in the middle
  EXPECT_EQ(client.ReadReply(), kAbnormal);
  EXPECT_EQ(client.Ask("NOOP"), "200 NOOP Command successful.");
}

TEST_F(FtpTransferTest, SilentDataConnectionEndsAfterTheReadTimeout) {
  server_.SetReadTimeout(500ms);
  pattern_size_ = std::int64_t{1} << 40;
  Start();
  FtpTestClient client = LoggedIn();
  platform::TcpSocket unread = Passive(client);
  EXPECT_EQ(client.Ask("RETR pattern"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(), kAbnormal) << "the client stopped reading";
  platform::TcpSocket silent = Passive(client);
  EXPECT_EQ(client.Ask("STOR never"), kAboutToOpen);
  EXPECT_EQ(client.ReadReply(), kAbnormal) << "the client sent nothing";
}

// Closes slowly, as a file on a busy disk may.
class SlowClosingStream final : public FtpStream {
 public:
  explicit SlowClosingStream(testing::Recorder& recorder) : recorder_(recorder) {}
  ~SlowClosingStream() override {
    std::this_thread::sleep_for(100ms);
    recorder_.Add("closed");
  }
  std::size_t Read(char*, std::size_t) override { return 0; }
  void Write(const char*, std::size_t) override {}
  void Seek(std::int64_t) override {}
  std::int64_t Position() const override { return 0; }
  std::int64_t Size() const override { return 0; }

 private:
  testing::Recorder& recorder_;
};

TEST_F(FtpTransferTest, TheStreamIsClosedBeforeTheFinalReply) {
  host_.open_upload = [this](FtpSession&, std::string_view, bool) -> std::unique_ptr<FtpStream> {
    return std::make_unique<SlowClosingStream>(recorded_);
  };
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(Store(client, "STOR file", "content"), kClosing);
  // A client that acts on 226 at once must find the file complete and unlocked.
  EXPECT_EQ(recorded_.Entries(), std::vector<std::string>{"closed"});
}

TEST_F(FtpTransferTest, LargeTransfersArriveWhole) {
  pattern_size_ = 20'000'003;
  Start();
  FtpTestClient client = LoggedIn();
  const auto [bytes, reply] = Retrieve(client, "pattern");
  EXPECT_EQ(reply, kClosing);
  ASSERT_EQ(bytes.size(), 20'000'003u);
  testing::PatternStream expected(20'000'003);
  std::string want(bytes.size(), '\0');
  expected.Read(want.data(), want.size());
  EXPECT_TRUE(bytes == want);
  EXPECT_EQ(Store(client, "STOR copy", bytes), kClosing);
  EXPECT_TRUE(ReadFile("/copy") == bytes);
  // A file stream goes the zero-copy way; it must carry the same bytes.
  EXPECT_EQ(Retrieve(client, "copy").first.size(), bytes.size());
}

// An endless listing that counts the entries the engine has asked for.
class CountingSource final : public ListingSource {
 public:
  explicit CountingSource(std::atomic<int>& handed) : handed_(handed) {}
  bool Next(FtpListItem& item) override {
    item.file_name.assign(100, 'x').append(std::to_string(handed_++));
    return true;
  }

 private:
  std::atomic<int>& handed_;
};

class FtpListingTest : public testing::TransferFixture {
 protected:
  FtpListingTest() {
    host_.list = [this](FtpSession& session, std::string_view argument,
                        ListingScope scope) -> std::unique_ptr<ListingSource> {
      const std::string path = testing::Joined(session, argument);
      recorded_.Add(ScopeName(scope) + " " + path);
      if (path.starts_with("/missing"))
        throw FtpError("Directory does not exist " + path);
      if (path == "/endless")
        return std::make_unique<CountingSource>(handed_);
      auto listing = std::make_unique<FtpListOutput>();
      FtpListItem& file = listing->Add();
      file.file_name = "readme.txt";
      file.size = 1234;
      file.modified_date = EncodeDateTime({1999, 1, 5, 12, 34, 56, 0});
      file.modified_date_gmt = EncodeDateTime({1999, 1, 5, 11, 34, 56, 0});
      // A path that names entries itself (a file, a pattern) gets the file alone.
      listing->SetNamedByPath(path.ends_with(".txt"));
      if (listing->NamedByPath())
        return listing;
      FtpListItem& directory = listing->Add();
      directory.file_name = "Sub";
      directory.item_type = FtpListItemType::kDirectory;
      directory.modified_date = EncodeDateTime({1999, 1, 5, 12, 34, 56, 0});
      directory.modified_date_gmt = EncodeDateTime({1999, 1, 5, 11, 34, 56, 0});
      return listing;
    };
  }

  static std::string ScopeName(ListingScope scope) {
    switch (scope) {
      case ListingScope::kAny:
        return "any";
      case ListingScope::kDirectory:
        return "directory";
      case ListingScope::kEntry:
        return "entry";
    }
    return "?";
  }

  // The listing a command sends, with its preliminary and final reply.
  std::string Listed(FtpTestClient& client, const std::string& command) {
    platform::TcpSocket data = Passive(client);
    std::string reply = client.Ask(command);
    if (reply.compare(0, 4, "125 ") != 0)
      return reply;
    reply += "\n" + ReadAll(data);
    return reply + client.ReadReply();
  }

  std::atomic<int> handed_ = 0;
};

TEST_F(FtpListingTest, ListingsOverTheDataConnection) {
  Start();
  FtpTestClient client = LoggedIn();
  const std::string file_line = "-rw-rw-r--   1 root     root         1234 Jan 05  1999 readme.txt";
  const std::string directory_line = "drwxrwxr-x   1 root     root          512 Jan 05  1999 Sub";
  const std::string long_text = "total 0\r\n" + file_line + "\r\n" + directory_line + "\r\n";
  struct Case {
    const char* command;
    std::string exchange;
  };
  const Case cases[] = {
      {"LIST", "125 Opening ASCII mode data connection for /bin/ls.\n" + long_text +
                   "226 Closing data connection."},
      {"LIST -1", "125 Opening ASCII mode data connection for /bin/ls.\n" + long_text +
                      "226 Closing data connection."},
      {"LIST -lT sub",
       "125 Opening ASCII mode data connection for /bin/ls.\ntotal 0\r\n"
       "-rw-rw-r--   1 root     root         1234 Jan 05 12:34:56 1999 readme.txt\r\n"
       "drwxrwxr-x   1 root     root          512 Jan 05 12:34:56 1999 Sub\r\n"
       "226 Closing data connection."},
      {"NLST",
       "125 Opening ASCII mode data connection for file list.\nreadme.txt\r\nSub\r\n"
       "226 Closing data connection."},
      {"NLST -l", "125 Opening ASCII mode data connection for /bin/ls.\n" + long_text +
                      "226 Closing data connection."},
      // What the path named goes out as the client wrote the path, as ls shows it.
      {"NLST sub/*.txt",
       "125 Opening ASCII mode data connection for file list.\nsub/readme.txt\r\n"
       "226 Closing data connection."},
      {"LIST -l /abs/readme.txt",
       "125 Opening ASCII mode data connection for /bin/ls.\ntotal 0\r\n"
       "-rw-rw-r--   1 root     root         1234 Jan 05  1999 /abs/readme.txt\r\n"
       "226 Closing data connection."},
      {"MLSD /",
       "125 File status okay; about to open data connection.\n"
       "type=file;size=1234;modify=19990105113456; readme.txt\r\n"
       "type=dir;size=0;modify=19990105113456; Sub\r\n"
       "226 Closing data connection."},
      // A refusal is final: 550, which clients do not retry.
      {"LIST /missing", "550 Directory does not exist /missing"},
      {"NLST missing/", "550 Directory does not exist /missing/"},
      {"MLSD /missing", "550 Directory does not exist /missing"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Listed(client, c.command), c.exchange) << c.command;
  EXPECT_EQ(client.Ask("RETR x"), "425 Can't open data connection.")
      << "a refused listing used up its channel";
  EXPECT_EQ(recorded_.Entries(),
            (std::vector<std::string>{"any /", "any /", "any /sub", "any /", "any /",
                                      "any /sub/*.txt", "any /abs/readme.txt", "directory /",
                                      "any /missing", "any /missing/", "directory /missing"}));
}

TEST_F(FtpListingTest, ListingsOnTheControlConnection) {
  Start();
  FtpTestClient client = LoggedIn();
  EXPECT_EQ(client.Ask("MLST readme.txt"),
            "250-Begin\n type=file;size=1234;modify=19990105113456; readme.txt\n250 End");
  EXPECT_EQ(client.Ask("OPTS MLST type;"), "200 MLST OPTS type;");
  EXPECT_EQ(client.Ask("MLST"), "250-Begin\n type=file; readme.txt\n type=dir; Sub\n250 End");
  EXPECT_EQ(Listed(client, "MLSD"),
            "125 File status okay; about to open data connection.\n"
            "type=file; readme.txt\r\ntype=dir; Sub\r\n"
            "226 Closing data connection.");
  // Without "type" a widely used client reads no entry at all: it stays, and first.
  EXPECT_EQ(client.Ask("OPTS MLST size;modify;"), "200 MLST OPTS size;type;modify;");
  EXPECT_EQ(client.Ask("MLST"),
            "250-Begin\n type=file;size=1234;modify=19990105113456; readme.txt\n"
            " type=dir;size=0;modify=19990105113456; Sub\n250 End");
  EXPECT_EQ(client.Ask("STAT -la /"),
            "213-File status okay; about to open data connection.\ntotal 0\n"
            "-rw-rw-r--   1 root     root         1234 Jan 05  1999 readme.txt\n"
            "drwxrwxr-x   1 root     root          512 Jan 05  1999 Sub\n"
            "213 End of Status");
  EXPECT_EQ(client.Ask("STAT sub/readme.txt"),
            "213-File status okay; about to open data connection.\ntotal 0\n"
            "-rw-rw-r--   1 root     root         1234 Jan 05  1999 sub/readme.txt\n"
            "213 End of Status");
  EXPECT_EQ(client.Ask("STAT /missing"), "550 Directory does not exist /missing");
  EXPECT_EQ(client.Ask("MLST /missing"), "550 Directory does not exist /missing");
  EXPECT_EQ(
      recorded_.Entries(),
      (std::vector<std::string>{"entry /readme.txt", "entry /", "directory /", "entry /", "any /",
                                "any /sub/readme.txt", "any /missing", "entry /missing"}));
}

TEST_F(FtpListingTest, AStalledListingTakesNoMoreThanTheConnectionHolds) {
  Start();
  FtpTestClient client = LoggedIn();
  platform::TcpSocket unread = Passive(client);
  EXPECT_EQ(client.Ask("NLST /endless"), "125 Opening ASCII mode data connection for file list.");
  // The socket buffers fill, and then the engine asks for nothing more.
  int before = -1;
  while (before != handed_) {
    before = handed_;
    std::this_thread::sleep_for(200ms);
  }
  EXPECT_LT(handed_, 500'000) << "over 100 bytes an entry: far beyond any socket buffer";
  EXPECT_EQ(client.Ask("ABOR"), kAbnormal);
  EXPECT_EQ(client.ReadReply(), kClosing);
}

}  // namespace
}  // namespace vantrel
