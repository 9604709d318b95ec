#pragma once

#include <optional>
#include <string>

namespace vantrel::platform {

// Absolute path of the running executable.
std::string ExecutablePath();
// The directory exists and this process may create files in it.
bool IsWritableDirectory(const std::string& path);
// Creates the directory and any missing parents (owner-only for new ones). False on failure.
bool CreateDirectories(const std::string& path);
// $XDG_DATA_HOME, else $HOME/.local/share; nothing when neither is known.
std::optional<std::string> UserDataHome();
// Hands freed heap pages back to the system (an idle server's footprint shrinks).
void TrimWorkingSet();
// Lets the heap keep up to 32 MiB of freed memory for reuse instead of handing it back at
// once: a listing of a large directory would otherwise fault in the same pages afresh
// every time (a third of its cost). TrimWorkingSet still hands it back. Call once, early.
void KeepFreedHeapForReuse();
// True when the process may bind ports below 1024.
bool MayBindPrivilegedPorts();
// The name this machine goes by, as the system was told it; "localhost" when it has none.
std::string HostName();

}  // namespace vantrel::platform
