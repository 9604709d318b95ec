#pragma once

// Lays out a host's listing as text a piece at a time: the engine asks for the next piece
// only when the connection has taken the one before, and the host's source finds its
// next entry only then. So the text of a listing never exists whole, and a client that
// stops reading holds one piece and the source's own state, whatever the listing's size.

#include <memory>
#include <string>
#include <string_view>

#include "common/date_time.h"
#include "ftp/ftp_list_item.h"
#include "ftp/listing_lines.h"
#include "ftp/listing_source.h"
#include "ftp/mlst_facts.h"

namespace vantrel {

// Used by the session thread that runs the listing command.
class ListingWriter {
 public:
  enum class Layout {
    kLong,     // LIST, STAT, NLST -l: "total n" then the ls lines
    kNames,    // NLST: one name a line
    kMachine,  // MLSD: one fact line an entry
  };

  // `switches`: the letters of the client's switch word the listing obeys. `directory`:
  // the directory part of the path the client named ("sub/" of "sub/*.txt"), shown before
  // the names of a source whose entries the path named.
  ListingWriter(std::unique_ptr<ListingSource> source, Layout layout, std::string_view switches,
                std::string_view directory, DateTime now, MlstFacts facts);

  // Appends whole lines to `out` until it holds at least `target` bytes or the listing
  // has ended. Throws what the source throws.
  void Fill(std::string& out, std::size_t target);
  bool Done() const { return done_; }

 private:
  void AppendEntry(std::string& out);

  std::unique_ptr<ListingSource> source_;
  Layout layout_;
  ListingFlags flags_;
  std::string prefix_;
  DateTime recent_since_;
  MlstFacts facts_;
  FtpListItem item_;
  bool started_ = false;
  bool done_ = false;
};

}  // namespace vantrel
