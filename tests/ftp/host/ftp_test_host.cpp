// Runs the FTP engine on a loopback port with plain handlers over one directory, so that
// clients written in other languages (Python's ftplib in the smoke test, load scripts)
// can talk to it. Prints "PORT <n>" once listening and stops when its standard input
// ends. User "user" with password "secret" logs in; the directory is the root for all.
//
// Usage: ftp_test_host <root directory> [max connections]

#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>

#include "common/date_time.h"
#include "ftp/ftp_server.h"

namespace {

namespace fs = std::filesystem;
using vantrel::FtpError;
using vantrel::FTPServerContext;

// An FTP path below the root, or a refusal: ".." may not climb out.
fs::path OnDisk(const fs::path& root, const std::string& ftp_path) {
  const fs::path relative = fs::path(ftp_path).relative_path().lexically_normal();
  if (!relative.empty() && *relative.begin() == "..")
    throw FtpError("Outside the root " + ftp_path);
  return root / relative;
}

void BindHandlers(vantrel::FTPServer& server, const fs::path& root) {
  server.OnUserLogin = [](FTPServerContext& session, const std::string& user,
                          const std::string& password, bool& authenticated) {
    authenticated = user == "user" && password == "secret";
    if (authenticated)
      session.SetCurrentDir("/");
  };
  server.OnChangeDirectory = [root](FTPServerContext&, std::string& directory) {
    if (!fs::is_directory(OnDisk(root, directory))) {
      throw FtpError("Directory does not exist " + directory);
    }
  };
  server.OnGetFileSize = [root](FTPServerContext&, const std::string& name, std::int64_t& size) {
    std::error_code error;
    const auto bytes = fs::file_size(OnDisk(root, name), error);
    if (!error)
      size = static_cast<std::int64_t>(bytes);
  };
  server.OnGetFileDate = [root](FTPServerContext&, const std::string& name,
                                vantrel::DateTime& date) {
    std::error_code error;
    const auto written = fs::last_write_time(OnDisk(root, name), error);
    if (!error)
      date = vantrel::ToDateTime(std::chrono::file_clock::to_sys(written));
  };
  server.OnFileExistCheck = [root](FTPServerContext&, const std::string& name, bool& exists) {
    exists = fs::is_regular_file(OnDisk(root, name));
  };
  server.OnCRCFile = [root](FTPServerContext&, const std::string& name,
                            std::unique_ptr<vantrel::FtpStream>& stream) {
    const fs::path file = OnDisk(root, name);
    if (fs::is_regular_file(file)) {
      stream = std::make_unique<vantrel::FileFtpStream>(file, vantrel::platform::File::Mode::kRead);
    }
  };
  server.OnMakeDirectory = [root](FTPServerContext&, const std::string& name) {
    if (!fs::create_directory(OnDisk(root, name)))
      throw FtpError("Cannot make directory " + name);
  };
  server.OnRemoveDirectory = [root](FTPServerContext&, const std::string& name) {
    std::error_code error;
    if (!fs::is_directory(OnDisk(root, name)) || !fs::remove(OnDisk(root, name), error)) {
      throw FtpError("Failed to remove directory " + name);
    }
  };
  server.OnDeleteFile = [root](FTPServerContext&, const std::string& name) {
    std::error_code error;
    if (!fs::is_regular_file(OnDisk(root, name)) || !fs::remove(OnDisk(root, name), error)) {
      throw FtpError("Failed to delete file " + name);
    }
  };
  server.OnRenameFile = [root](FTPServerContext&, const std::string& from, const std::string& to) {
    std::error_code error;
    fs::rename(OnDisk(root, from), OnDisk(root, to), error);
    if (error)
      throw FtpError("Failed to rename " + from + " to " + to);
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !fs::is_directory(argv[1])) {
    std::cerr << "usage: ftp_test_host <root directory> [max connections]\n";
    return 2;
  }
  try {
    vantrel::FTPServer server;
    server.SetDefaultPort(0);
    server.Bindings() = {{"127.0.0.1", 0, vantrel::platform::IpVersion::kV4}};
    server.Greeting().SetText("Vantrel test host ready");
    server.SecurityOptions().invalid_pass_delay = std::chrono::milliseconds(10);
    if (argc > 2) {
      server.SetMaxConnections(std::stoi(argv[2]));
      server.MaxConnectionReply().SetText("Server busy. Try again later.");
    }
    BindHandlers(server, fs::absolute(argv[1]));
    server.SetActive(true);
    std::cout << "PORT " << server.BoundAddresses().at(0).port << std::endl;
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
