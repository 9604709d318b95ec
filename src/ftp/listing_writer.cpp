#include "ftp/listing_writer.h"

namespace vantrel {

ListingWriter::ListingWriter(std::unique_ptr<ListingSource> source, Layout layout,
                             std::string_view switches, std::string_view directory, DateTime now,
                             MlstFacts facts)
    : source_(std::move(source)),
      layout_(layout),
      flags_(switches),
      prefix_(source_->NamedByPath() ? directory : std::string_view()),
      recent_since_(RecentSince(now)),
      facts_(facts) {}

void ListingWriter::Fill(std::string& out, std::size_t target) {
  if (!started_) {
    started_ = true;
    if (layout_ == Layout::kLong)
      AppendTotalLine(out, source_->BlockTotal());
  }
  while (!done_ && out.size() < target) {
    if (source_->Next(item_)) {
      AppendEntry(out);
    } else {
      done_ = true;
    }
  }
}

void ListingWriter::AppendEntry(std::string& out) {
  // The source may expect its own name back on the next call: the prefix goes again.
  item_.file_name.insert(0, prefix_);
  switch (layout_) {
    case Layout::kLong:
      AppendLongLine(out, item_, flags_, recent_since_);
      break;
    case Layout::kNames:
      AppendName(out, item_, flags_);
      out.append("\r\n");
      break;
    case Layout::kMachine:
      AppendMachineLine(out, item_, facts_);
      out.append("\r\n");
      break;
  }
  item_.file_name.erase(0, prefix_.size());
}

}  // namespace vantrel
