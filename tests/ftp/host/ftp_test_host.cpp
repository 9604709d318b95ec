// Runs the FTP engine on a loopback port with a plain host over one directory, so that
// clients written in other languages (Python's ftplib and curl in the smoke tests, load
// scripts, benchmarks) can talk to it. Prints "PORT <n>" once listening (and "PORT6 <n>"
// for ::1 with --ipv6) and stops when its standard input ends. User "user" with password
// "secret" logs in; the directory is the root for all.
//
// Usage: ftp_test_host <root directory> [max connections] [--pasv-range MIN-MAX]
//                      [--ipv6]

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "accounts/path_resolver.h"
#include "accounts/session_record.h"
#include "common/date_time.h"
#include "common/text.h"
#include "ftp/ftp_list_output.h"
#include "ftp/ftp_server.h"
#include "platform/resolver.h"

namespace {

namespace fs = std::filesystem;
using vantrel::FtpError;
using vantrel::FtpSession;

// The client's path resolved below the root, as the service resolves it.
fs::path OnDisk(const fs::path& root, const vantrel::FtpSession& session, std::string_view path) {
  vantrel::SessionRecord record;
  record.home = root.string();
  const auto resolved = vantrel::ResolvePath(record, session.CurrentDir(), path);
  if (!resolved)
    throw FtpError("No such path " + std::string(path));
  return vantrel::WithoutTrailingSlash(resolved->disk_path);
}

std::string FtpPathOf(const vantrel::FtpSession& session, std::string_view path) {
  vantrel::SessionRecord record;
  record.home = "/";
  const auto resolved = vantrel::ResolvePath(record, session.CurrentDir(), path);
  return resolved ? resolved->FtpText() : std::string(path);
}

vantrel::DateTime ModifiedLocal(const fs::path& path) {
  std::error_code error;
  const auto written = fs::last_write_time(path, error);
  return error ? 0 : vantrel::ToDateTime(std::chrono::file_clock::to_sys(written));
}

void AddEntry(vantrel::FtpListOutput& listing, const fs::path& path, std::string name) {
  vantrel::FtpListItem& item = listing.Add();
  item.file_name = std::move(name);
  item.modified_date = ModifiedLocal(path);
  std::error_code error;
  if (fs::is_directory(path, error)) {
    item.item_type = vantrel::FtpListItemType::kDirectory;
  } else {
    item.size = static_cast<std::int64_t>(fs::file_size(path, error));
  }
}

std::unique_ptr<vantrel::FtpListOutput> ListDirectory(const fs::path& root,
                                                      const FtpSession& session,
                                                      std::string_view path,
                                                      vantrel::ListingScope scope) {
  const fs::path disk = OnDisk(root, session, path);
  const std::string name = FtpPathOf(session, path);
  auto listing = std::make_unique<vantrel::FtpListOutput>();
  if (scope == vantrel::ListingScope::kEntry) {
    if (!fs::exists(disk))
      throw FtpError("File not found " + name);
    AddEntry(*listing, disk, name);
    return listing;
  }
  if (!fs::is_directory(disk))
    throw FtpError("Directory does not exist " + name);
  if (name != "/") {
    AddEntry(*listing, disk, ".");
    AddEntry(*listing, disk.parent_path(), "..");
  }
  for (const auto& entry : fs::directory_iterator(disk))
    AddEntry(*listing, entry.path(), entry.path().filename().string());
  return listing;
}

// Plain answers over one directory, the root for every session; refusals carry the
// client's path as written.
class DirectoryHost final : public vantrel::FtpSessionHost,
                            public vantrel::FtpFileHost,
                            public vantrel::FtpListingHost,
                            public vantrel::FtpTransferHost {
 public:
  explicit DirectoryHost(fs::path root) : root_(std::move(root)) { record_->home = root_.string(); }

  vantrel::FtpHost Host() { return {*this, *this, *this, *this}; }

  void SessionStarted(FtpSession&) override {}
  void SessionEnded(FtpSession&) override {}
  void SessionFailed(FtpSession&, const std::exception&) override {}
  void ConnectionRefused(const vantrel::platform::SocketAddress&, vantrel::Refusal) override {}
  std::shared_ptr<const vantrel::SessionRecord> Login(FtpSession&, const std::string& user,
                                                      const std::string& password) override {
    return user == "user" && password == "secret" ? record_ : nullptr;
  }
  void CommandFailed(FtpSession&, const std::string&, const std::exception&) override {}

  std::string ChangeDirectory(FtpSession& session, std::string_view path) override {
    const std::string name = FtpPathOf(session, path);
    if (!fs::is_directory(Disk(session, path)))
      throw FtpError("Directory does not exist " + name);
    return name;
  }
  std::optional<std::int64_t> FileSize(FtpSession& session, std::string_view path) override {
    std::error_code error;
    const auto bytes = fs::file_size(Disk(session, path), error);
    return error ? std::nullopt : std::optional(static_cast<std::int64_t>(bytes));
  }
  std::optional<vantrel::DateTime> FileTime(FtpSession& session, std::string_view path) override {
    std::error_code error;
    const auto written = fs::last_write_time(Disk(session, path), error);
    if (error)
      return std::nullopt;
    return vantrel::ToDateTime(std::chrono::file_clock::to_sys(written));
  }
  bool FileExists(FtpSession& session, std::string_view path) override {
    return fs::is_regular_file(Disk(session, path));
  }
  void DeleteFile(FtpSession& session, std::string_view path) override {
    std::error_code error;
    if (!fs::is_regular_file(Disk(session, path)) || !fs::remove(Disk(session, path), error))
      throw FtpError("Failed to delete file " + std::string(path));
  }
  void RenameFile(FtpSession& session, std::string_view from, std::string_view to) override {
    std::error_code error;
    fs::rename(Disk(session, from), Disk(session, to), error);
    if (error)
      throw FtpError("Failed to rename " + std::string(from) + " to " + std::string(to));
  }
  std::string MakeDirectory(FtpSession& session, std::string_view path) override {
    if (!fs::create_directory(Disk(session, path)))
      throw FtpError("Cannot make directory " + std::string(path));
    return FtpPathOf(session, path);
  }
  void RemoveDirectory(FtpSession& session, std::string_view path) override {
    std::error_code error;
    if (!fs::is_directory(Disk(session, path)) || !fs::remove(Disk(session, path), error))
      throw FtpError("Failed to remove directory " + std::string(path));
  }
  void SetModifiedTime(FtpSession& session, std::string_view path,
                       std::chrono::system_clock::time_point time) override {
    std::error_code error;
    if (fs::is_regular_file(Disk(session, path)))
      fs::last_write_time(Disk(session, path), std::chrono::file_clock::from_sys(time), error);
    if (error || !fs::is_regular_file(Disk(session, path)))
      throw FtpError("File not found " + std::string(path));
  }
  std::unique_ptr<vantrel::FtpStream> OpenForChecksum(FtpSession& session, std::string_view path,
                                                      bool) override {
    return OpenDownload(session, path);
  }

  std::unique_ptr<vantrel::ListingSource> List(FtpSession& session, std::string_view path,
                                               vantrel::ListingScope scope) override {
    return ListDirectory(root_, session, path, scope);
  }

  std::unique_ptr<vantrel::FtpStream> OpenDownload(FtpSession& session,
                                                   std::string_view path) override {
    const fs::path file = Disk(session, path);
    if (!fs::is_regular_file(file))
      return nullptr;
    return std::make_unique<vantrel::FileFtpStream>(file, Mode::kRead);
  }
  std::unique_ptr<vantrel::FtpStream> OpenUpload(FtpSession& session, std::string_view path,
                                                 bool append) override {
    try {
      return std::make_unique<vantrel::FileFtpStream>(Disk(session, path),
                                                      append ? Mode::kAppend : Mode::kCreate);
    } catch (const std::exception&) {
      throw FtpError((append ? "Append file failed " : "Failed to upload file ") +
                     std::string(path));
    }
  }
  vantrel::PassiveAddress PassiveAddressFor(FtpSession&, vantrel::PassiveAddress proposed,
                                            vantrel::platform::IpVersion) override {
    return proposed;
  }
  void PassiveRangeExhausted(FtpSession&, int) override {}

 private:
  using Mode = vantrel::platform::File::Mode;

  fs::path Disk(const FtpSession& session, std::string_view path) const {
    return OnDisk(root_, session, path);
  }

  const fs::path root_;
  const std::shared_ptr<vantrel::SessionRecord> record_ =
      std::make_shared<vantrel::SessionRecord>();
};

}  // namespace

struct Options {
  fs::path root;
  int max_connections = 0;
  int pasv_min = 0;
  int pasv_max = 0;
  bool ipv6 = false;
};

Options ParseOptions(int argc, char** argv) {
  if (argc < 2 || !fs::is_directory(argv[1]))
    throw std::invalid_argument("no root directory");
  Options options;
  options.root = fs::absolute(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--ipv6") {
      options.ipv6 = true;
    } else if (argument == "--pasv-range" && i + 1 < argc) {
      const std::string range = argv[++i];
      const std::size_t dash = range.find('-');
      options.pasv_min = std::stoi(range.substr(0, dash));
      options.pasv_max = std::stoi(range.substr(dash + 1));
    } else {
      options.max_connections = std::stoi(argument);
    }
  }
  return options;
}

int main(int argc, char** argv) {
  Options options;
  try {
    options = ParseOptions(argc, argv);
  } catch (const std::exception&) {
    std::cerr << "usage: ftp_test_host <root directory> [max connections] [--pasv-range MIN-MAX]"
                 " [--ipv6]\n";
    return 2;
  }
  try {
    DirectoryHost host(options.root);
    vantrel::FtpServer server(host.Host());
    server.SetDefaultPort(0);
    server.SetDefaultDataPort(0);
    server.Bindings() = {{"127.0.0.1", 0, vantrel::platform::IpVersion::kV4}};
    if (options.ipv6)
      server.Bindings().push_back({"::1", 0, vantrel::platform::IpVersion::kV6});
    server.Greeting().SetText("Vantrel test host ready");
    server.SecurityOptions().invalid_pass_delay = std::chrono::milliseconds(10);
    if (options.max_connections > 0) {
      server.SetMaxConnections(options.max_connections);
      server.MaxConnectionReply().SetText("Server busy. Try again later.");
    }
    server.SetPASVBoundPortMax(options.pasv_max);
    server.SetPASVBoundPortMin(options.pasv_min);
    server.SetActive(true);
    const auto bound = server.BoundAddresses();
    std::cout << "PORT " << bound.at(0).port << std::endl;
    if (options.ipv6)
      std::cout << "PORT6 " << bound.at(1).port << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    server.SetActive(false);
  } catch (const std::exception& e) {
    std::cerr << "ftp_test_host: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
