#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "ftp/ftp_stream.h"

namespace vantrel {

enum class ChecksumKind {
  kCrc32,  // IEEE 802.3, as XCRC reports it: 8 upper-case hex digits
  kMd5,    // 32 upper-case hex digits
};

// Asked before each block; false stops the checksum (the client aborted or left).
using ChecksumGoOn = std::function<bool()>;

// The checksum of `count` bytes of `stream` from `start` (count < 0: up to the end), or
// nothing when `go_on` stopped it. Reads in blocks, so the size of the file does not
// matter. Stream failures throw.
std::optional<std::string> StreamChecksum(FtpStream& stream, ChecksumKind kind, std::int64_t start,
                                          std::int64_t count, const ChecksumGoOn& go_on = nullptr);

}  // namespace vantrel
