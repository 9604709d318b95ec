#include "widgets/log_view.h"

#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

namespace vantrel {
namespace {

// Cuts `text` after its first ">" into `head`; false (nothing cut) without one.
bool CutThroughMarker(std::string_view& text, std::string_view& head) {
  const auto marker = text.find('>');
  if (marker == std::string_view::npos)
    return false;
  head = text.substr(0, marker + 1);
  text.remove_prefix(marker + 1);
  return true;
}

}  // namespace

std::vector<LogSegment> SplitLogLine(std::string_view text) {
  std::vector<LogSegment> segments;
  std::string_view head;
  if (CutThroughMarker(text, head)) {
    const bool secure = head.find("HTTPS") != std::string_view::npos;
    segments.push_back({secure ? LogColour::kSecure : LogColour::kPrefix, std::string(head)});
    if (CutThroughMarker(text, head))
      segments.push_back({LogColour::kPeer, std::string(head)});
  }
  if (!text.empty())
    segments.push_back({LogColour::kNormal, std::string(text)});
  return segments;
}

LogView::LogView(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QTextEdit::NoWrap);
  setAcceptRichText(false);
}

void LogView::SetMaxLines(int max_lines) {
  max_lines_ = max_lines > 0 ? max_lines : kDefaultMaxLines;
}

void LogView::AddLines(const std::vector<LogEntry>& batch) {
  const std::size_t shown = std::min(batch.size(), static_cast<std::size_t>(max_lines_));
  for (std::size_t i = batch.size() - shown; i < batch.size(); ++i)
    AddLine(batch[i]);
}

void LogView::AddLine(const LogEntry& entry) {
  while (line_count_ > max_lines_)
    RemoveLastLine();

  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::Start);
  if (line_count_ > 0) {
    // Splitting the first block at its start leaves an empty block on top for the line.
    cursor.insertBlock();
    cursor.movePosition(QTextCursor::Start);
  }
  QTextCharFormat format;
  format.setForeground(ColourOf(LogColour::kTime, palette()));
  cursor.insertText(QString::fromStdString(FormatLocalDateTime(entry.time)) + " ", format);
  for (const LogSegment& segment : SplitLogLine(entry.text)) {
    format.setForeground(ColourOf(segment.colour, palette()));
    cursor.insertText(QString::fromStdString(segment.text), format);
  }
  ++line_count_;

  QTextCursor top(document());
  top.movePosition(QTextCursor::Start);
  setTextCursor(top);
}

void LogView::Clear() {
  clear();
  line_count_ = 0;
}

QString LogView::LineText(int row) const {
  if (row < 0 || row >= line_count_)
    return {};
  return document()->findBlockByNumber(row).text();
}

QColor LogView::ColourOf(LogColour colour, const QPalette& palette) {
  switch (colour) {
    case LogColour::kTime:
      return QColor(0x00, 0x00, 0xff);
    case LogColour::kPrefix:
      return QColor(0x00, 0x80, 0x80);
    case LogColour::kSecure:
      return QColor(0x80, 0x00, 0x80);
    case LogColour::kPeer:
      return QColor(0xff, 0x00, 0x00);
    case LogColour::kNormal:
      break;
  }
  return palette.color(QPalette::Text);
}

void LogView::RemoveLastLine() {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  if (line_count_ > 1)
    cursor.deletePreviousChar();  // the paragraph break above the emptied block
  --line_count_;
}

}  // namespace vantrel
