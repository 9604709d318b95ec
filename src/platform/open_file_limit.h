#pragma once

// How many descriptors the process may hold at once. Every connection, data connection,
// listener and open file takes one, so the server sizes its connection ceiling from this.

namespace vantrel::platform {

// The soft limit now in force (a figure above what an int holds reads as the largest int).
int OpenFileLimit();
// Raises the soft limit to the hard limit, the most the process may take without
// privileges (service managers start programs with a low soft limit, 1024, and a much
// higher hard one). Returns the limit in force afterwards; a refusal leaves it as it was.
int RaiseOpenFileLimit();

}  // namespace vantrel::platform
