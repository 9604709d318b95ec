// Runs the FTP engine on a loopback port with plain handlers over one directory, so that
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
#include <vector>

#include "accounts/path_resolver.h"
#include "accounts/session_record.h"
#include "common/date_time.h"
#include "ftp/ftp_server.h"
#include "platform/resolver.h"

namespace {

namespace fs = std::filesystem;
using vantrel::FtpError;
using vantrel::FtpSession;

// The client's path resolved below the root, as the service resolves it.
fs::path OnDisk(const fs::path& root, const vantrel::FtpSession& session, const std::string& path) {
  vantrel::SessionRecord record;
  record.home = root.string();
  const auto resolved = vantrel::ResolvePath(record, session.CurrentDir(), path);
  if (!resolved)
    throw FtpError("No such path " + path);
  std::string disk = resolved->disk_path;
  while (disk.size() > 1 && disk.back() == '/')
    disk.pop_back();
  return disk;
}

std::string FtpPathOf(const vantrel::FtpSession& session, const std::string& path) {
  vantrel::SessionRecord record;
  record.home = "/";
  const auto resolved = vantrel::ResolvePath(record, session.CurrentDir(), path);
  return resolved ? resolved->FtpText() : path;
}

vantrel::DateTime ModifiedLocal(const fs::path& path) {
  std::error_code error;
  const auto written = fs::last_write_time(path, error);
  return error ? 0 : vantrel::ToDateTime(std::chrono::file_clock::to_sys(written));
}

void AddEntry(vantrel::FTPListOutput& listing, const fs::path& path, std::string name) {
  vantrel::FTPListItem& item = listing.Add();
  item.file_name = std::move(name);
  item.modified_date = ModifiedLocal(path);
  std::error_code error;
  if (fs::is_directory(path, error)) {
    item.item_type = vantrel::FtpListItemType::kDirectory;
  } else {
    item.size = static_cast<std::int64_t>(fs::file_size(path, error));
  }
}

std::unique_ptr<vantrel::FTPListOutput> ListDirectory(const fs::path& root,
                                                      const FtpSession& session,
                                                      const std::string& path,
                                                      const std::string& command) {
  const fs::path disk = OnDisk(root, session, path);
  const std::string name = FtpPathOf(session, path);
  auto listing = std::make_unique<vantrel::FTPListOutput>();
  if (command == "MLST") {
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

void BindTransferHandlers(vantrel::FTPServer& server, const fs::path& root) {
  using Mode = vantrel::platform::File::Mode;
  server.OnListDirectory = [root](FtpSession& session, const std::string& path,
                                  const std::string& command, const std::string&) {
    return ListDirectory(root, session, path, command);
  };
  server.OnRetrieveFile = [root](FtpSession& session, const std::string& name,
                                 std::unique_ptr<vantrel::FtpStream>& stream) {
    const fs::path file = OnDisk(root, session, name);
    if (fs::is_regular_file(file))
      stream = std::make_unique<vantrel::FileFtpStream>(file, Mode::kRead);
  };
  server.OnStoreFile = [root](FtpSession& session, const std::string& name, bool append,
                              std::unique_ptr<vantrel::FtpStream>& stream) {
    try {
      stream = std::make_unique<vantrel::FileFtpStream>(OnDisk(root, session, name),
                                                        append ? Mode::kAppend : Mode::kCreate);
    } catch (const std::exception&) {
      throw FtpError((append ? "Append file failed " : "Failed to upload file ") + name);
    }
  };
}

void BindHandlers(vantrel::FTPServer& server, const fs::path& root) {
  server.OnUserLogin = [](FtpSession& session, const std::string& user, const std::string& password,
                          bool& authenticated) {
    authenticated = user == "user" && password == "secret";
    if (authenticated)
      session.SetCurrentDir("/");
  };
  server.OnChangeDirectory = [root](FtpSession& session, std::string& directory) {
    const std::string name = FtpPathOf(session, directory);
    if (!fs::is_directory(OnDisk(root, session, directory)))
      throw FtpError("Directory does not exist " + name);
    directory = name;
  };
  server.OnGetFileSize = [root](FtpSession& session, const std::string& name, std::int64_t& size) {
    std::error_code error;
    const auto bytes = fs::file_size(OnDisk(root, session, name), error);
    if (!error)
      size = static_cast<std::int64_t>(bytes);
  };
  server.OnGetFileDate = [root](FtpSession& session, const std::string& name,
                                vantrel::DateTime& date) {
    std::error_code error;
    const auto written = fs::last_write_time(OnDisk(root, session, name), error);
    if (!error)
      date = vantrel::ToDateTime(std::chrono::file_clock::to_sys(written));
  };
  server.OnFileExistCheck = [root](FtpSession& session, const std::string& name, bool& exists) {
    exists = fs::is_regular_file(OnDisk(root, session, name));
  };
  server.OnCRCFile = [root](FtpSession& session, const std::string& name, bool,
                            std::unique_ptr<vantrel::FtpStream>& stream) {
    const fs::path file = OnDisk(root, session, name);
    if (fs::is_regular_file(file)) {
      stream = std::make_unique<vantrel::FileFtpStream>(file, vantrel::platform::File::Mode::kRead);
    }
  };
  server.OnMakeDirectory = [root](FtpSession& session, std::string& name) {
    if (!fs::create_directory(OnDisk(root, session, name)))
      throw FtpError("Cannot make directory " + name);
    name = FtpPathOf(session, name);
  };
  server.OnRemoveDirectory = [root](FtpSession& session, const std::string& name) {
    std::error_code error;
    if (!fs::is_directory(OnDisk(root, session, name)) ||
        !fs::remove(OnDisk(root, session, name), error)) {
      throw FtpError("Failed to remove directory " + name);
    }
  };
  server.OnDeleteFile = [root](FtpSession& session, const std::string& name) {
    std::error_code error;
    if (!fs::is_regular_file(OnDisk(root, session, name)) ||
        !fs::remove(OnDisk(root, session, name), error)) {
      throw FtpError("Failed to delete file " + name);
    }
  };
  server.OnRenameFile = [root](FtpSession& session, const std::string& from,
                               const std::string& to) {
    std::error_code error;
    fs::rename(OnDisk(root, session, from), OnDisk(root, session, to), error);
    if (error)
      throw FtpError("Failed to rename " + from + " to " + to);
  };
}

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
    vantrel::FTPServer server;
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
    BindHandlers(server, options.root);
    BindTransferHandlers(server, options.root);
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
