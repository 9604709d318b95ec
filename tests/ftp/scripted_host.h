#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "accounts/ftp_path.h"
#include "accounts/session_record.h"
#include "ftp/ftp_host.h"
#include "ftp/ftp_session.h"

namespace vantrel::testing {

// The client's `argument` as the absolute FTP path it names from the session's directory,
// the way a host resolves it.
inline std::string Joined(const FtpSession& session, std::string_view argument) {
  const auto path = ResolveFtpPath(session.CurrentDir(), argument);
  return path ? path->Text() : std::string(argument);
}

// The same for a directory: without a trailing "/", as it becomes current.
inline std::string JoinedDirectory(const FtpSession& session, std::string_view argument) {
  auto path = ResolveFtpPath(session.CurrentDir(), argument);
  if (!path)
    return std::string(argument);
  path->trailing_separator = false;
  return path->Text();
}

// A host whose every answer a test may script; unscripted, it admits nobody, finds no
// file, accepts every directory change and changes nothing. Owned by the test fixture and
// declared before the server, since session threads call it until the server stops; the
// scripts are set before the server starts.
class ScriptedHost final : public FtpSessionHost,
                           public FtpFileHost,
                           public FtpListingHost,
                           public FtpTransferHost {
 public:
  template <typename Signature>
  using Script = std::function<Signature>;
  using Record = std::shared_ptr<const SessionRecord>;
  using Stream = std::unique_ptr<FtpStream>;
  using TimePoint = std::chrono::system_clock::time_point;

  FtpHost Host() { return {*this, *this, *this, *this}; }

  Script<void(FtpSession&)> started;
  Script<void(FtpSession&)> ended;
  Script<void(FtpSession&, const std::exception&)> failed;
  Script<void(const platform::SocketAddress&, Refusal)> refused;
  Script<Record(FtpSession&, const std::string&, const std::string&)> login;
  Script<void(FtpSession&, const std::string&, const std::exception&)> command_failed;

  Script<std::string(FtpSession&, std::string_view)> change_directory;
  Script<std::optional<std::int64_t>(FtpSession&, std::string_view)> file_size;
  Script<std::optional<DateTime>(FtpSession&, std::string_view)> file_time;
  Script<bool(FtpSession&, std::string_view)> file_exists;
  Script<void(FtpSession&, std::string_view)> delete_file;
  Script<void(FtpSession&, std::string_view, std::string_view)> rename_file;
  Script<std::string(FtpSession&, std::string_view)> make_directory;
  Script<void(FtpSession&, std::string_view)> remove_directory;
  Script<void(FtpSession&, std::string_view, TimePoint)> set_modified_time;
  Script<Stream(FtpSession&, std::string_view, bool)> open_for_checksum;
  Script<std::unique_ptr<ListingSource>(FtpSession&, std::string_view, ListingScope)> list;
  Script<Stream(FtpSession&, std::string_view)> open_download;
  Script<Stream(FtpSession&, std::string_view, bool)> open_upload;
  Script<PassiveAddress(FtpSession&, PassiveAddress, platform::IpVersion)> passive_address;
  Script<void(FtpSession&, int)> range_exhausted;

  void SessionStarted(FtpSession& s) override { Call(started, s); }
  void SessionEnded(FtpSession& s) override { Call(ended, s); }
  void SessionFailed(FtpSession& s, const std::exception& e) override { Call(failed, s, e); }
  void ConnectionRefused(const platform::SocketAddress& peer, Refusal reason) override {
    Call(refused, peer, reason);
  }
  Record Login(FtpSession& s, const std::string& user, const std::string& password) override {
    return login ? login(s, user, password) : nullptr;
  }
  void CommandFailed(FtpSession& s, const std::string& command, const std::exception& e) override {
    Call(command_failed, s, command, e);
  }

  std::string ChangeDirectory(FtpSession& s, std::string_view path) override {
    return change_directory ? change_directory(s, path) : JoinedDirectory(s, path);
  }
  std::optional<std::int64_t> FileSize(FtpSession& s, std::string_view path) override {
    return file_size ? file_size(s, path) : std::nullopt;
  }
  std::optional<DateTime> FileTime(FtpSession& s, std::string_view path) override {
    return file_time ? file_time(s, path) : std::nullopt;
  }
  bool FileExists(FtpSession& s, std::string_view path) override {
    return file_exists && file_exists(s, path);
  }
  void DeleteFile(FtpSession& s, std::string_view path) override { Call(delete_file, s, path); }
  void RenameFile(FtpSession& s, std::string_view from, std::string_view to) override {
    Call(rename_file, s, from, to);
  }
  std::string MakeDirectory(FtpSession& s, std::string_view path) override {
    return make_directory ? make_directory(s, path) : JoinedDirectory(s, path);
  }
  void RemoveDirectory(FtpSession& s, std::string_view path) override {
    Call(remove_directory, s, path);
  }
  void SetModifiedTime(FtpSession& s, std::string_view path, TimePoint time) override {
    Call(set_modified_time, s, path, time);
  }
  Stream OpenForChecksum(FtpSession& s, std::string_view path, bool whole_file) override {
    return open_for_checksum ? open_for_checksum(s, path, whole_file) : nullptr;
  }

  std::unique_ptr<ListingSource> List(FtpSession& s, std::string_view path,
                                      ListingScope scope) override {
    return list ? list(s, path, scope) : nullptr;
  }

  Stream OpenDownload(FtpSession& s, std::string_view path) override {
    return open_download ? open_download(s, path) : nullptr;
  }
  Stream OpenUpload(FtpSession& s, std::string_view path, bool append) override {
    return open_upload ? open_upload(s, path, append) : nullptr;
  }
  PassiveAddress PassiveAddressFor(FtpSession& s, PassiveAddress proposed,
                                   platform::IpVersion version) override {
    return passive_address ? passive_address(s, std::move(proposed), version) : proposed;
  }
  void PassiveRangeExhausted(FtpSession& s, int port) override { Call(range_exhausted, s, port); }

 private:
  template <typename Function, typename... Args>
  static void Call(const Function& script, Args&&... args) {
    if (script)
      script(std::forward<Args>(args)...);
  }
};

}  // namespace vantrel::testing
