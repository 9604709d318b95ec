#pragma once

// Which account flag or anonymous setting each file operation consults. A connection that
// authenticates as a member is judged by its account alone; any other connection by the
// anonymous settings. The decision is taken afresh on every call.

#include <string_view>

#include "accounts/credentials.h"

namespace vantrel {

class Settings;
class Users;

enum class FileOperation {
  kChangeDirectory,
  kList,  // always allowed
  kRetrieve,
  kStore,            // store and append
  kSetModifiedTime,  // as kStore: keeping an upload's time is part of uploading it
  kRename,
  kDeleteFile,
  kMakeDirectory,
  kRemoveDirectory,
  kInspect,  // size, date, existence, checksum of a whole file: always allowed
  // Checksums of byte ranges read a file as surely as a download does (one byte per
  // request, if need be), so they need the download permission.
  kChecksumRange,
};

// Owned by the service host; any connection thread may call it. Stateless, so no lock.
class AccessPolicy {
 public:
  AccessPolicy(Users& users, const Settings& settings);

  bool IsMember(const Credentials& who) const;
  // `disk_path` is the mapped target of kStore and kSetModifiedTime, whose extension may
  // be blocked (per account, or by the server's list for anonymous connections); other
  // operations ignore it.
  bool IsAllowed(FileOperation operation, const Credentials& who,
                 std::string_view disk_path = {}) const;
  // Bytes per second, 0 = no limit.
  int DownloadLimit(const Credentials& who) const;
  int UploadLimit(const Credentials& who) const;

 private:
  bool MemberMay(FileOperation operation, const Credentials& who, std::string_view disk_path) const;
  bool AnonymousMay(FileOperation operation, std::string_view disk_path) const;

  Users& users_;
  const Settings& settings_;
};

}  // namespace vantrel
