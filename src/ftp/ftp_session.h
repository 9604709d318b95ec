#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "accounts/session_record.h"
#include "ftp/command_line_reader.h"
#include "ftp/data_channel.h"
#include "ftp/mlst_facts.h"
#include "net/connection.h"

namespace vantrel {

enum class FtpUserType { kNone, kAnonymous, kNormal };
enum class FtpDataType { kAscii, kBinary };
enum class FtpDataMode { kStream, kDeflate };
enum class FtpDataStructure { kFile, kRecord, kPage };

// The server's rules for logins and data ports; every session gets its own copy.
struct FtpSecurityOptions {
  int password_attempts = 3;  // 0: no limit
  std::chrono::milliseconds invalid_pass_delay{3000};
  bool require_pasv_from_same_ip = true;
  bool require_port_from_same_ip = true;
  bool no_reserved_range_port = true;
  bool block_all_port_transfers = false;
  bool disable_syst_command = false;
  bool disable_stat_command = false;
  bool permit_ccc = false;
};

class Reply;

// One FTP session: the control connection with its line reader, who is logged in, where it
// stands, and the transfer settings. Created by the server for each connection; every
// question to the host names it. Only the session's own thread touches it, so nothing here is
// locked.
class FtpSession : public Connection {
 public:
  FtpSession(platform::TcpSocket socket, const FtpSecurityOptions& security);

  void WriteReply(const Reply& reply);
  CommandLineReader& LineReader() { return line_reader_; }
  // Lines that came while a transfer ran; the session handles them, in order, before it
  // reads anything new.
  std::deque<CommandLine>& KeptLines() { return kept_lines_; }

  FtpUserType UserType() const { return user_type_; }
  void SetUserType(FtpUserType type) { user_type_ = type; }
  bool Authenticated() const { return authenticated_; }
  void SetAuthenticated(bool authenticated) { authenticated_ = authenticated; }
  const std::string& Username() const { return username_; }
  void SetUsername(std::string name) { username_ = std::move(name); }
  // What the host decided at login about who this is and what it may do; null before a
  // login and for the names the engine admits on its own. The host replaces it when its
  // tables have moved on.
  const std::shared_ptr<const SessionRecord>& Record() const { return record_; }
  void SetRecord(std::shared_ptr<const SessionRecord> record) { record_ = std::move(record); }
  // The FTP directory, Unix style; the host sets "/" at login.
  const std::string& CurrentDir() const { return current_dir_; }
  void SetCurrentDir(std::string directory) { current_dir_ = std::move(directory); }

  // Set by REST, consumed by the next transfer. 64-bit: files beyond 4 GiB resume too.
  std::int64_t RestartPosition() const { return restart_position_; }
  void SetRestartPosition(std::int64_t position) { restart_position_ = position; }
  const std::string& RenameFrom() const { return rename_from_; }
  void SetRenameFrom(std::string path) { rename_from_ = std::move(path); }
  // Size announced by ALLO. Kept for the record only: stored files take the size of the
  // data actually received, never this figure.
  std::int64_t AlloSize() const { return allo_size_; }
  void SetAlloSize(std::int64_t size) { allo_size_ = size; }

  FtpDataType DataType() const { return data_type_; }
  void SetDataType(FtpDataType type) { data_type_ = type; }
  FtpDataMode DataMode() const { return data_mode_; }
  void SetDataMode(FtpDataMode mode) { data_mode_ = mode; }
  FtpDataStructure DataStructure() const { return data_structure_; }
  void SetDataStructure(FtpDataStructure structure) { data_structure_ = structure; }
  int DataPort() const { return data_port_; }
  void SetDataPort(int port) { data_port_ = port; }
  bool PassiveMode() const { return passive_mode_; }
  void SetPassiveMode(bool passive) { passive_mode_ = passive; }
  bool EPSVAll() const { return epsv_all_; }
  void SetEPSVAll(bool all) { epsv_all_ = all; }
  // The prepared data connection, if any; a transfer takes it and it ends with the
  // transfer. A passive listener left untaken too long is none: it is closed at its time
  // even while the session waits for a command.
  bool HasDataChannel() const { return data_channel_ != nullptr; }
  std::unique_ptr<DataChannel> TakeDataChannel();
  void SetDataChannel(std::unique_ptr<DataChannel> channel) { data_channel_ = std::move(channel); }
  // Set when PORT or EPRT (or a passive connection's address) was refused; transfers
  // answer 425 until a channel is prepared again.
  bool DataPortRefused() const { return data_port_refused_; }
  void SetDataPortRefused(bool refused) { data_port_refused_ = refused; }

  // Until the first login: when the session ends unless it has logged in by then.
  const std::optional<Deadline>& LoginDeadline() const { return login_deadline_; }
  void SetLoginDeadline(std::optional<Deadline> deadline) { login_deadline_ = deadline; }
  int FailedLogins() const { return failed_logins_; }
  void SetFailedLogins(int count) { failed_logins_ = count; }
  const FtpSecurityOptions& SecurityOptions() const { return security_; }
  MlstFacts MLSTFacts() const { return mlst_facts_; }
  void SetMLSTFacts(MlstFacts facts) { mlst_facts_ = facts; }
  // PROT P: data connections speak TLS (only on an encrypted session).
  bool ProtectData() const { return protect_data_; }
  void SetProtectData(bool protect) { protect_data_ = protect; }

 protected:
  // An untaken passive listener runs out while the session waits for its client.
  void AwaitInput(Deadline end) override;

 private:
  // Drops the prepared channel once it has run out.
  void DropExpiredChannel();

  CommandLineReader line_reader_;
  std::deque<CommandLine> kept_lines_;
  FtpUserType user_type_ = FtpUserType::kNone;
  bool authenticated_ = false;
  std::string username_;
  std::shared_ptr<const SessionRecord> record_;
  std::string current_dir_;
  std::int64_t restart_position_ = 0;
  std::string rename_from_;
  std::int64_t allo_size_ = 0;
  FtpDataType data_type_ = FtpDataType::kAscii;
  FtpDataMode data_mode_ = FtpDataMode::kStream;
  FtpDataStructure data_structure_ = FtpDataStructure::kFile;
  int data_port_ = 0;
  bool passive_mode_ = false;
  bool epsv_all_ = false;
  bool data_port_refused_ = false;
  std::unique_ptr<DataChannel> data_channel_;
  int failed_logins_ = 0;
  std::optional<Deadline> login_deadline_;
  FtpSecurityOptions security_;
  MlstFacts mlst_facts_ = MlstFacts::Basic();
  bool protect_data_ = false;
};

}  // namespace vantrel
