#pragma once

#include <cstdint>
#include <string>

#include "ftp/ftp_stream.h"

namespace vantrel {

enum class ChecksumKind {
  kCrc32,  // IEEE 802.3, as XCRC reports it: 8 upper-case hex digits
  kMd5,    // 32 upper-case hex digits
};

// The checksum of `count` bytes of `stream` from `start` (count < 0: up to the end).
// Reads in blocks, so the size of the file does not matter. Stream failures throw.
std::string StreamChecksum(FtpStream& stream, ChecksumKind kind, std::int64_t start,
                           std::int64_t count);

}  // namespace vantrel
