#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ftp/data_client.h"
#include "ftp/ftp_server_fixture.h"
#include "ftp/memory_stream.h"
#include "support/temp_dir.h"

namespace vantrel::testing {

// An FTP server whose host's transfer answers work on a temporary directory the way a host's
// would, plus a few names with streams of their own:
//   /pattern  a long stream of known bytes (PatternSize() of them), without a file
//   /broken   a download whose disk fails after 1000 bytes
//   /full     an upload whose disk is full after 1000 bytes
class TransferFixture : public FtpServerFixture {
 protected:
  TransferFixture() {
    LoginAccepts();
    host_.open_download = [this](FtpSession& session,
                                 std::string_view argument) -> std::unique_ptr<FtpStream> {
      const std::string name = Joined(session, argument);
      recorded_.Add("retr " + name);
      if (name == "/pattern")
        return std::make_unique<PatternStream>(pattern_size_);
      if (name == "/broken")
        return std::make_unique<FailingStream>(1000);
      if (std::filesystem::is_regular_file(Disk(name)))
        return std::make_unique<FileFtpStream>(Disk(name), platform::File::Mode::kRead);
      return nullptr;
    };
    host_.open_upload = [this](FtpSession& session, std::string_view argument,
                               bool append) -> std::unique_ptr<FtpStream> {
      const std::string name = Joined(session, argument);
      recorded_.Add((append ? "append " : "store ") + name);
      if (name == "/full")
        return std::make_unique<FailingStream>(1000);
      return std::make_unique<FileFtpStream>(
          Disk(name), append ? platform::File::Mode::kAppend : platform::File::Mode::kCreate);
    };
    host_.file_exists = [this](FtpSession& session, std::string_view name) {
      return std::filesystem::is_regular_file(Disk(Joined(session, name)));
    };
  }

  // Sessions use the directory: they end before it goes.
  ~TransferFixture() override { server_.SetActive(false); }

  std::string Disk(const std::string& ftp_path) const { return root_.path() + ftp_path; }
  void WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(Disk(name), std::ios::binary) << content;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Disk(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  void SetPatternSize(std::int64_t size) { pattern_size_ = size; }

  // Sends `command` (PASV, EPSV, ...) and connects to the port it names.
  platform::TcpSocket Passive(FtpTestClient& client, const std::string& command = "PASV") {
    const std::string reply = client.Ask(command);
    if (reply.compare(0, 2, "22") != 0)
      throw std::runtime_error(command + " answered " + reply);
    return ConnectData(PassivePort(reply));
  }

  // RETR over a fresh passive connection: the bytes, and the final reply after them.
  std::pair<std::string, std::string> Retrieve(FtpTestClient& client, const std::string& name) {
    platform::TcpSocket data = Passive(client);
    const std::string preliminary = client.Ask("RETR " + name);
    if (preliminary.compare(0, 4, "150 ") != 0)
      return {"", preliminary};
    std::string bytes = ReadAll(data);
    return {bytes, client.ReadReply()};
  }

  // STOR (or APPE, STOU) over a fresh passive connection; the final reply.
  std::string Store(FtpTestClient& client, const std::string& command, const std::string& bytes) {
    platform::TcpSocket data = Passive(client);
    const std::string preliminary = client.Ask(command);
    if (preliminary.compare(0, 4, "150 ") != 0)
      return preliminary;
    data.Write(bytes);
    data.Close();
    return client.ReadReply();
  }

  TempDir root_;
  std::int64_t pattern_size_ = 1 << 20;  // set before Start()
};

}  // namespace vantrel::testing
