#include "widgets/log_view.h"

#include <gtest/gtest.h>

#include <QTextBlock>

#include "app/qt_printers.h"

namespace vantrel {
namespace {

constexpr DateTime kMoment = 46000.5;

TEST(SplitLogLine, ColoursFollowTheMarkers) {
  using C = LogColour;
  const struct {
    const char* text;
    std::vector<std::pair<C, std::string>> parts;
  } cases[] = {
      {"- Server stopped", {{C::kNormal, "- Server stopped"}}},
      {"127.0.0.1:5000, bob> Disconnected",
       {{C::kPrefix, "127.0.0.1:5000, bob>"}, {C::kNormal, " Disconnected"}}},
      {"127.0.0.1:5000, bob> RETR a>b.txt",
       {{C::kPrefix, "127.0.0.1:5000, bob>"}, {C::kPeer, " RETR a>"}, {C::kNormal, "b.txt"}}},
      {"HTTP> 10.0.0.7> GET /",
       {{C::kPrefix, "HTTP>"}, {C::kPeer, " 10.0.0.7>"}, {C::kNormal, " GET /"}}},
      {"HTTPS> 10.0.0.7>", {{C::kSecure, "HTTPS>"}, {C::kPeer, " 10.0.0.7>"}}},
      {"a>>>", {{C::kPrefix, "a>"}, {C::kPeer, ">"}, {C::kNormal, ">"}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<C, std::string>> parts;
    for (const LogSegment& segment : SplitLogLine(c.text))
      parts.emplace_back(segment.colour, segment.text);
    EXPECT_EQ(parts, c.parts) << c.text;
  }
}

// The colours of the first line as drawn: (text, colour) per run of one format.
std::vector<std::pair<QString, QColor>> DrawnRuns(const LogView& view) {
  std::vector<std::pair<QString, QColor>> runs;
  const QTextBlock block = view.document()->firstBlock();
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    runs.emplace_back(fragment.text(), fragment.charFormat().foreground().color());
  }
  return runs;
}

TEST(LogView, DrawsTheTimeStampAndEachPartInItsColour) {
  LogView view;
  const QString stamp = QString::fromStdString(FormatLocalDateTime(kMoment)) + " ";
  const auto colour = [&view](LogColour c) { return LogView::ColourOf(c, view.palette()); };

  view.AddLine({kMoment, "- Server stopped"});
  EXPECT_EQ(DrawnRuns(view), (std::vector<std::pair<QString, QColor>>{
                                 {stamp, colour(LogColour::kTime)},
                                 {"- Server stopped", colour(LogColour::kNormal)}}));

  view.AddLine({kMoment, "1.2.3.4:21, ann> LIST x>y"});
  EXPECT_EQ(DrawnRuns(view), (std::vector<std::pair<QString, QColor>>{
                                 {stamp, colour(LogColour::kTime)},
                                 {"1.2.3.4:21, ann>", colour(LogColour::kPrefix)},
                                 {" LIST x>", colour(LogColour::kPeer)},
                                 {"y", colour(LogColour::kNormal)}}));
  EXPECT_EQ(colour(LogColour::kPrefix), QColor(0x00, 0x80, 0x80));
  EXPECT_EQ(colour(LogColour::kPeer), QColor(Qt::red));
  EXPECT_EQ(colour(LogColour::kTime), QColor(Qt::blue));
}

TEST(LogView, NewestOnTopAndTrimmedFromTheBottom) {
  LogView view;
  view.SetMaxLines(3);
  for (int i = 1; i <= 6; ++i)
    view.AddLine({kMoment, "line " + std::to_string(i)});
  // Trimming happens before an insertion: at most three lines stay, then one more.
  ASSERT_EQ(view.LineCount(), 4);
  EXPECT_EQ(view.document()->blockCount(), 4);
  for (int row = 0; row < 4; ++row)
    EXPECT_TRUE(view.LineText(row).endsWith("line " + QString::number(6 - row))) << row;
  EXPECT_EQ(view.textCursor().position(), 0) << "the caret stays at the top";

  view.Clear();
  EXPECT_EQ(view.LineCount(), 0);
  view.AddLine({kMoment, "after clear"});
  EXPECT_EQ(view.document()->blockCount(), 1);
  EXPECT_TRUE(view.LineText(0).endsWith("after clear"));
}

TEST(LogView, ABatchShowsOnlyItsNewestLines) {
  LogView view;
  view.SetMaxLines(2);
  std::vector<LogEntry> batch;
  for (int i = 1; i <= 50; ++i)
    batch.push_back({kMoment, std::to_string(i)});
  view.AddLines(batch);
  ASSERT_EQ(view.LineCount(), 2);
  EXPECT_TRUE(view.LineText(0).endsWith(" 50"));
  EXPECT_TRUE(view.LineText(1).endsWith(" 49"));
}

TEST(LogView, NoLimitMeansTwoHundred) {
  LogView view;
  for (const int setting : {0, -4}) {
    view.SetMaxLines(setting);
    EXPECT_EQ(view.MaxLines(), 200) << setting;
  }
  view.SetMaxLines(0);
  for (int i = 0; i < 230; ++i)
    view.AddLine({kMoment, "x"});
  EXPECT_EQ(view.LineCount(), 201);
}

}  // namespace
}  // namespace vantrel
