#include "ftp/checksum.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace vantrel {
namespace {

constexpr std::size_t kBlock = 256 * 1024;

std::string Hex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

// Feeds the selected bytes to `consume` block by block; false when `go_on` stopped it.
template <typename Consume>
bool ReadRange(FtpStream& stream, std::int64_t start, std::int64_t count, const ChecksumGoOn& go_on,
               Consume consume) {
  stream.Seek(start);
  std::vector<char> block(kBlock);
  std::int64_t left = count;
  while (count < 0 || left > 0) {
    if (go_on && !go_on())
      return false;
    std::size_t want = block.size();
    if (count >= 0)
      want = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock));
    const std::size_t got = stream.Read(block.data(), want);
    if (got == 0)
      break;
    consume(reinterpret_cast<const unsigned char*>(block.data()), got);
    left -= static_cast<std::int64_t>(got);
  }
  return true;
}

std::optional<std::string> Crc32Of(FtpStream& stream, std::int64_t start, std::int64_t count,
                                   const ChecksumGoOn& go_on) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const bool done =
      ReadRange(stream, start, count, go_on, [&crc](const unsigned char* data, std::size_t size) {
        crc = crc32(crc, data, static_cast<uInt>(size));
      });
  if (!done)
    return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(crc));
  return text;
}

std::optional<std::string> Md5Of(FtpStream& stream, std::int64_t start, std::int64_t count,
                                 const ChecksumGoOn& go_on) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> md5(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!md5 || EVP_DigestInit_ex(md5.get(), EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 is not available");
  }
  const bool done =
      ReadRange(stream, start, count, go_on, [&md5](const unsigned char* data, std::size_t size) {
        EVP_DigestUpdate(md5.get(), data, size);
      });
  if (!done)
    return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(md5.get(), digest, &length);
  return Hex(digest, length);
}

}  // namespace

std::optional<std::string> StreamChecksum(FtpStream& stream, ChecksumKind kind, std::int64_t start,
                                          std::int64_t count, const ChecksumGoOn& go_on) {
  return kind == ChecksumKind::kCrc32 ? Crc32Of(stream, start, count, go_on)
                                      : Md5Of(stream, start, count, go_on);
}

}  // namespace vantrel
