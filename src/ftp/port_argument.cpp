#include "ftp/port_argument.h"

#include "common/text.h"
#include "platform/ip_text.h"

namespace vantrel {
namespace {

using platform::IpVersion;

std::vector<std::string_view> Split(std::string_view text, char delimiter) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t end = text.find(delimiter);
    fields.push_back(text.substr(0, end));
    if (end == std::string_view::npos)
      return fields;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::optional<int> PortNumberOf(std::string_view text) {
  if (!AllDigits(text) || text.size() > 5)
    return std::nullopt;
  const int port = static_cast<int>(*ParseInteger(text));
  if (port < 1 || port > 65535)
    return std::nullopt;
  return port;
}

std::optional<platform::SocketAddress> ParsePortArgument(std::string_view text) {
  const std::vector<std::string_view> fields = Split(Trim(text), ',');
  if (fields.size() != 6)
    return std::nullopt;
  int bytes[6];
  for (std::size_t i = 0; i < 6; ++i) {
    const std::string_view field = Trim(fields[i]);
    if (!AllDigits(field) || field.size() > 3)
      return std::nullopt;
    bytes[i] = static_cast<int>(*ParseInteger(field));
    if (bytes[i] > 255)
      return std::nullopt;
  }
  platform::SocketAddress target;
  target.ip = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
              std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
  target.port = bytes[4] * 256 + bytes[5];
  target.version = IpVersion::kV4;
  if (target.port == 0)
    return std::nullopt;
  return target;
}

const char* ProtocolNumber(IpVersion version) {
  return version == IpVersion::kV4 ? "1" : "2";
}

std::variant<platform::SocketAddress, Reply> ParseEprtArgument(std::string_view text,
                                                               IpVersion control) {
  text = Trim(text);
  std::vector<std::string_view> fields;
  if (text.size() >= 2)
    fields = Split(text.substr(1), text[0]);
  if (fields.size() != 4 || !fields[3].empty())
    return Reply(501);
  if (fields[0] != "1" && fields[0] != "2")
    return Reply(522, "Network protocol not supported, use (1)");
  const IpVersion version = fields[0] == "1" ? IpVersion::kV4 : IpVersion::kV6;
  if (version != control)
    return Reply(522,
                 std::string("Network protocol mismatch, use (") + ProtocolNumber(control) + ")");
  const std::optional<std::string> ip = platform::CanonicalAddress(fields[1], version);
  if (!ip)
    return Reply(500, "Invalid IP Address");
  const std::optional<int> port = PortNumberOf(fields[2]);
  if (!port)
    return Reply(500, "Invalid port number");
  return platform::SocketAddress{*ip, *port, version};
}

}  // namespace vantrel
