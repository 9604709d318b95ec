#pragma once

// Starting with the desktop session: an XDG autostart entry, one ".desktop" file per
// program in the user's autostart directory, whose Exec line is the program's full path.
// It plays the part of a "Run" value of other systems, so the operations keep that shape:
// a value name (the file is its lower-case form + ".desktop") and a program path.

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::platform {

// Owned by whoever edits the entry (the settings dialog); one thread at a time.
class Autostart {
 public:
  // `directory` holds the entries; it is created when an entry is added.
  explicit Autostart(std::string directory);

  // $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart; nothing when neither is known.
  static std::optional<std::string> UserDirectory();

  // Only when `path` names an existing file: writes the entry. False when the file is
  // missing, the path cannot stand in an Exec line (a line break), or nothing could be
  // written.
  bool AddToRun(std::string_view name, const std::string& path);
  // True when the entry existed and is gone.
  bool RemoveFromRun(std::string_view name);
  bool IsInRun(std::string_view name) const;

  std::string EntryPath(std::string_view name) const;

 private:
  std::string directory_;
};

// The Exec value that runs exactly `path`: quoted, with the characters that the desktop
// entry rules reserve escaped. Nothing for a path holding a line break or a NUL.
std::optional<std::string> ExecLineFor(std::string_view path);

}  // namespace vantrel::platform
