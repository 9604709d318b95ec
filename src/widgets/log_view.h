#pragma once

// The "System Log" view: newest line on top, each line coloured by its parts so that the
// operator can tell service lines ("- ..."), the connection or web prefix up to the first
// ">", and a second "> "-ended part (a peer address or a command) apart at a glance.

#include <QTextEdit>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"

namespace vantrel {

enum class LogColour {
  kTime,    // blue: the time stamp
  kPrefix,  // teal: up to the first ">"
  kSecure,  // purple: a first part that names "HTTPS"
  kPeer,    // red: from there up to the second ">"
  kNormal,  // the view's text colour: the rest
};

struct LogSegment {
  LogColour colour;
  std::string text;
};

// The coloured parts of a log text (without its time stamp); empty parts are left out.
std::vector<LogSegment> SplitLogLine(std::string_view text);

struct LogEntry {
  DateTime time = 0;
  std::string text;
};

// Owned by the main window; main thread only.
class LogView : public QTextEdit {
  Q_OBJECT

 public:
  static constexpr int kDefaultMaxLines = 200;

  explicit LogView(QWidget* parent = nullptr);

  // 0 or less means kDefaultMaxLines.
  void SetMaxLines(int max_lines);
  int MaxLines() const { return max_lines_; }

  // Shows a batch, oldest first, so that its newest line ends up on top. Only the newest
  // MaxLines of a batch are drawn: older ones would be trimmed again at once.
  void AddLines(const std::vector<LogEntry>& batch);
  // Before inserting, lines are dropped from the bottom until at most MaxLines remain, so
  // the view holds at most MaxLines + 1 lines.
  void AddLine(const LogEntry& entry);
  void Clear();

  int LineCount() const { return line_count_; }
  // Row 0 is the newest line.
  QString LineText(int row) const;

  static QColor ColourOf(LogColour colour, const QPalette& palette);

 private:
  void RemoveLastLine();

  int max_lines_ = kDefaultMaxLines;
  int line_count_ = 0;
};

}  // namespace vantrel
