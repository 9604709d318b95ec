#include "web/url_coding.h"

namespace vantrel {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  while (!text.empty() && text.back() == '=')
    text.remove_suffix(1);
  std::string decoded;
  unsigned bits = 0;
  int bit_count = 0;
  for (const char c : text) {
    const int value = Base64Value(c);
    if (value < 0)
      return std::nullopt;
    bits = (bits << 6) | static_cast<unsigned>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      decoded += static_cast<char>((bits >> bit_count) & 0xFF);
    }
  }
  return decoded;
}

}  // namespace vantrel
