#pragma once

// What a host hands the engine for one listing request: the entries one at a time, in the
// order the client sees them. The engine lays each entry out as the client takes the text
// and asks for the next one only then, so a listing holds no more than the host needs to
// find its next entry, however large the directory: a client that never reads its data
// connection costs a bounded amount of memory, not a copy of the directory and its text.
//
// The rejected alternative was the collection filled whole before the first line went
// out (still available as FtpListOutput, which is one kind of source): every entry's
// facts and the whole text at once, for as long as the slowest client took to read them.

#include <cstdint>

#include "ftp/ftp_list_item.h"

namespace vantrel {

// Created by the host's FtpListingHost::List, then owned and used by the one session thread
// that asked for it, and destroyed when the listing ends.
class ListingSource {
 public:
  virtual ~ListingSource() = default;

  // Fills `item` with the next entry; false after the last. `item` holds what this source
  // put there the time before (or a default entry), so a source that sets the same fields
  // every time need not clear the others. Failures throw.
  virtual bool Next(FtpListItem& item) = 0;

  // The long layout's "total" line, written before the first entry: the sum of the
  // entries' block counts.
  virtual std::int64_t BlockTotal() { return 0; }

  // True when the entries are what the listed path named itself (a file, or the matches
  // of a pattern) rather than a directory's content: the engine then shows each name as
  // the client would have written it, after the directory part of the client's path, as
  // ls does ("NLST sub/*.txt" gives "sub/a.txt", which RETR can take as it stands).
  virtual bool NamedByPath() const { return false; }
};

}  // namespace vantrel
