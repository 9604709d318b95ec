#include "platform/autostart.h"

#include <stdlib.h>

#include "platform/file_system.h"
#include "platform/process.h"

namespace vantrel::platform {
namespace {

// A value name becomes a file name; anything that could leave the directory is refused.
bool IsUsableName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

Autostart::Autostart(std::string directory) : directory_(std::move(directory)) {}

std::optional<std::string> Autostart::UserDirectory() {
  if (const char* xdg = ::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    return std::string(xdg) + "/autostart";
  if (const char* home = ::getenv("HOME"); home && home[0] != '\0')
    return std::string(home) + "/.config/autostart";
  return std::nullopt;
}

std::string Autostart::EntryPath(std::string_view name) const {
  return directory_ + "/" + LowerAscii(name) + ".desktop";
}

bool Autostart::AddToRun(std::string_view name, const std::string& path) {
  if (!IsUsableName(name) || !PathExists(path) || IsDirectory(path))
    return false;
  const std::optional<std::string> exec = ExecLineFor(path);
  if (!exec || name.find_first_of("\r\n") != std::string_view::npos)
    return false;
  if (!CreateDirectories(directory_))
    return false;
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + std::string(name) +
                            "\nExec=" + *exec +
                            "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  try {
    ReplaceFile(EntryPath(name), entry);
  } catch (const FileError&) {
    return false;
  }
  return true;
}

bool Autostart::RemoveFromRun(std::string_view name) {
  if (!IsUsableName(name) || !PathExists(EntryPath(name)))
    return false;
  return RemoveFile(EntryPath(name));
}

bool Autostart::IsInRun(std::string_view name) const {
  return IsUsableName(name) && PathExists(EntryPath(name));
}

std::optional<std::string> ExecLineFor(std::string_view path) {
  // Two layers of escaping: the Exec rules quote the argument (a backslash before " ` $
  // and \, "%%" for a percent sign), then the value rules of the file double every
  // backslash that the first layer produced.
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '\n' || c == '\r' || c == '\0')
      return std::nullopt;
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted += '\\';
    if (c == '%')
      quoted += '%';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (const char c : quoted) {
    if (c == '\\')
      value += '\\';
    value += c;
  }
  return value;
}

}  // namespace vantrel::platform
