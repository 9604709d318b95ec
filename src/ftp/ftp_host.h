#pragma once

// What the FTP engine asks of its host, by concern: the life of a session and its login,
// the file tree, listings, and transfers. The host is given to the engine at construction
// and answers every question with a real return value; the engine keeps no file system
// of its own and never joins or cleans a path: each method gets the client's path as the
// client wrote it (empty when it named none) and resolves it against the session's
// current directory itself.
//
// A method refuses an operation by throwing FtpError with the message the client will
// read; the engine answers the command with its failure code and that text. Anything else
// a method throws is a fault on this side: the client is told 451 with a generic text and
// FtpSessionHost::CommandFailed gets the detail. A platform::SocketError ends the session.
//
// The methods run in the session's thread (ConnectionRefused in a listener thread),
// concurrently for different sessions. A bag of nullable callbacks with out-parameters
// was the rejected alternative: every command had to ask first whether its event was
// bound, and sentinel values stood in for "no such file".

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/date_time.h"
#include "ftp/ftp_stream.h"
#include "ftp/listing_source.h"
#include "ftp/passive_address.h"
#include "net/tcp_server.h"

namespace vantrel {

class FtpSession;
struct SessionRecord;

// What a command could not open because the process had no descriptor to spare.
enum class DescriptorUse {
  kDataConnection,  // a passive listener or a data connection
  kFile,            // a file or a directory
};

class FtpSessionHost {
 public:
  virtual ~FtpSessionHost() = default;

  // A session begins, before its greeting. Throwing refuses it: it gets no greeting and
  // SessionEnded does not follow.
  virtual void SessionStarted(FtpSession& session) = 0;
  // The session's control connection is encrypted from now on (AUTH, or at connect on
  // the implicit port).
  virtual void SessionEncrypted(FtpSession& /*session*/) {}
  // A session that got past SessionStarted ends.
  virtual void SessionEnded(FtpSession& session) = 0;
  // The failure that ended a session, after SessionEnded when it got that far.
  virtual void SessionFailed(FtpSession& session, const std::exception& failure) = 0;
  // Listener thread: a connection turned away over a limit, after its reply.
  virtual void ConnectionRefused(const platform::SocketAddress& peer, Refusal reason) = 0;
  // PASS for a name the engine does not admit on its own, with the current directory
  // already "/": the session's rights, or null when the password is refused. Throwing
  // FtpError refuses the login with that message (no home directory, say).
  virtual std::shared_ptr<const SessionRecord> Login(FtpSession& session, const std::string& user,
                                                     const std::string& password) = 0;
  // A command was refused (425 or 450) for want of a descriptor for `use`.
  virtual void OutOfDescriptors(FtpSession& /*session*/, DescriptorUse /*use*/) {}
  // A command's routine failed with anything but FtpError; the client was told 451.
  virtual void CommandFailed(FtpSession& session, const std::string& command,
                             const std::exception& failure) = 0;
};

class FtpFileHost {
 public:
  virtual ~FtpFileHost() = default;

  // CWD, XCWD ("/" when the client named nothing), CDUP and XCUP (".."): the FTP path of
  // the directory, which becomes current.
  virtual std::string ChangeDirectory(FtpSession& session, std::string_view path) = 0;
  // SIZE and MDTM: the size, and the local modification time, of a regular file; nothing
  // when there is no such file.
  virtual std::optional<std::int64_t> FileSize(FtpSession& session, std::string_view path) = 0;
  virtual std::optional<DateTime> FileTime(FtpSession& session, std::string_view path) = 0;
  // MDTM with a time stamp, and STOU looking for a free name: whether a file (not a
  // directory) of that name exists.
  virtual bool FileExists(FtpSession& session, std::string_view path) = 0;
  virtual void DeleteFile(FtpSession& session, std::string_view path) = 0;
  // `from` is the absolute FTP path RNFR named.
  virtual void RenameFile(FtpSession& session, std::string_view from, std::string_view to) = 0;
  // MKD, XMKD: the FTP path of the directory made, which the reply names.
  virtual std::string MakeDirectory(FtpSession& session, std::string_view path) = 0;
  virtual void RemoveDirectory(FtpSession& session, std::string_view path) = 0;
  // MFMT, and MDTM with a time stamp before the name: gives the file that modification
  // time.
  virtual void SetModifiedTime(FtpSession& session, std::string_view path,
                               std::chrono::system_clock::time_point time) = 0;
  // XCRC, XMD5, MD5, MMD5: a readable stream on the file, or null when it does not exist.
  // `whole_file` is false when XCRC or XMD5 named a start or end position.
  virtual std::unique_ptr<FtpStream> OpenForChecksum(FtpSession& session, std::string_view path,
                                                     bool whole_file) = 0;
};

// What a listing request asks for.
enum class ListingScope {
  kAny,        // LIST, NLST, STAT: a directory's entries, a file's own, a pattern's matches
  kDirectory,  // MLSD: a directory's entries only
  kEntry,      // MLST: the entry the path names itself
};

class FtpListingHost {
 public:
  virtual ~FtpListingHost() = default;

  // The entries `path` names, in listing order (see ListingSource); null refuses with a
  // local error. Throwing FtpError refuses with its message (550).
  virtual std::unique_ptr<ListingSource> List(FtpSession& session, std::string_view path,
                                              ListingScope scope) = 0;
};

class FtpTransferHost {
 public:
  virtual ~FtpTransferHost() = default;

  // RETR: a readable stream on the file, or null (550). The engine seeks it to the
  // restart offset, sends it and destroys it before the final reply.
  virtual std::unique_ptr<FtpStream> OpenDownload(FtpSession& session, std::string_view path) = 0;
  // STOR, STOU, APPE: a writable stream, or null (550). With `append` (APPE, and STOR
  // resuming after REST) the file must be opened as it is, never truncated; the engine
  // then seeks to the end (APPE) or the restart offset (STOR).
  virtual std::unique_ptr<FtpStream> OpenUpload(FtpSession& session, std::string_view path,
                                                bool append) = 0;
  // PASV, P@SW, EPSV, SPSV, before the passive listener binds: where it binds and what the
  // reply announces, settled from `proposed` (see PassiveAddress). `version` is the
  // control connection's.
  virtual PassiveAddress PassiveAddressFor(FtpSession& session, PassiveAddress proposed,
                                           platform::IpVersion version) = 0;
  // A passive listener found every port of the range taken and took `port`, one the
  // system chose.
  virtual void PassiveRangeExhausted(FtpSession& session, int port) = 0;
};

// The host's answers by concern; each must outlive the engine.
struct FtpHost {
  FtpSessionHost& session;
  FtpFileHost& files;
  FtpListingHost& listing;
  FtpTransferHost& transfers;
};

}  // namespace vantrel
