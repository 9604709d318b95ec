#pragma once

#include <cstdint>
#include <string>

#include "common/date_time.h"

namespace vantrel {

// The fields of an account that the editor and the web pages read and write as a whole.
struct AccountFields {
  std::string user;
  std::string pass;  // stored and shown in plain text
  std::string home;  // directory on disk
  bool allow_download = false;
  bool allow_upload = false;
  bool allow_rename = false;
  bool allow_changedirectory = false;
  bool allow_makedirectory = false;
  bool allow_deletefile = false;
  bool allow_deletedirectory = false;
  std::string virtualdir;     // packed list of alias "=" directory
  std::string filecontrol;    // packed list of extensions this account may not upload
  std::int32_t download = 0;  // bytes per second, 0 = no limit
  std::int32_t upload = 0;

  bool operator==(const AccountFields&) const = default;
};

// One row of the account table: the fields, and what the last login noted.
struct FtpUserData : AccountFields {
  std::string addr;        // connection key of the last login
  DateTime last_time = 0;  // last login, 0 = never

  bool operator==(const FtpUserData&) const = default;
};

}  // namespace vantrel
