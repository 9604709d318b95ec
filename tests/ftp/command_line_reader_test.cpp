#include "ftp/command_line_reader.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

// Feeds `bytes` and collects every complete line plus the telnet answers.
struct Outcome {
  std::vector<std::string> lines;
  std::string answer;
  std::string rest;  // bytes after the last line end that stayed unconsumed
};

Outcome FeedAll(CommandLineReader& reader, std::string_view bytes) {
  Outcome outcome;
  while (auto line = reader.Feed(bytes, outcome.answer))
    outcome.lines.push_back(line->text);
  return outcome;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values)
    out.push_back(static_cast<char>(v));
  return out;
}

TEST(CommandLineReaderTest, TelnetStateTable) {
  const std::string iac = Bytes({255});
  struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> lines;
    std::string answer;
  };
  const Case cases[] = {
      {"CR LF", "NOOP\r\n", {"NOOP"}, ""},
      {"CR NUL", std::string("NOOP\r\0", 6), {"NOOP"}, ""},
      {"lone LF", "NOOP\n", {"NOOP"}, ""},
      {"CR then text keeps the CR", "A\rB\r\n", {"A\rB"}, ""},
      {"empty line", "\r\n", {""}, ""},
      {"two lines in one read", "USER a\r\nPASS b\n", {"USER a", "PASS b"}, ""},
      {"IAC IAC is one byte 255",
       "A" + iac + iac + "B\r\n",
       {"A\xff"
        "B"},
       ""},
      {"erase character", "NOOPX" + Bytes({255, 247}) + "\r\n", {"NOOP"}, ""},
      {"erase character on empty line", Bytes({255, 247}) + "NOOP\r\n", {"NOOP"}, ""},
      {"erase line", "garbage" + Bytes({255, 248}) + "NOOP\r\n", {"NOOP"}, ""},
      {"other command dropped", "NO" + Bytes({255, 241}) + "OP\r\n", {"NOOP"}, ""},
      {"WILL refused with DONT",
       Bytes({255, 251, 24}) + "NOOP\r\n",
       {"NOOP"},
       Bytes({255, 254, 24})},
      {"DO refused with WONT", Bytes({255, 253, 1}) + "NOOP\r\n", {"NOOP"}, Bytes({255, 252, 1})},
      {"WONT and DONT ignored", Bytes({255, 252, 3, 255, 254, 3}) + "NOOP\r\n", {"NOOP"}, ""},
      {"sub-negotiation skipped",
       "NO" + Bytes({255, 250, 24, 1, 2, 255, 1, 255, 240}) + "OP\r\n",
       {"NOOP"},
       ""},
      {"abort output answered",
       "NOOP" + Bytes({255, 245}) + "\r\n",
       {"NOOP"},
       Bytes({255, 244, 255, 242})},
      {"interrupt discards up to data mark",
       "STOR x" + Bytes({255, 244}) + "junk\r\n" + Bytes({255, 1, 255, 242}) + "ABOR\r\n",
       {"ABOR"},
       ""},
      {"CR then IAC keeps the CR", "A\r" + Bytes({255, 255}) + "\r\n", {"A\r\xff"}, ""},
  };
  for (const auto& c : cases) {
    CommandLineReader reader;
    const Outcome outcome = FeedAll(reader, c.input);
    EXPECT_EQ(outcome.lines, c.lines) << c.name;
    EXPECT_EQ(outcome.answer, c.answer) << c.name;
  }
}

TEST(CommandLineReaderTest, LineMaySpanReads) {
  CommandLineReader reader;
  std::string answer;
  EXPECT_FALSE(reader.InLine());
  std::string_view first = "US";
  EXPECT_FALSE(reader.Feed(first, answer));
  EXPECT_TRUE(first.empty());
  EXPECT_TRUE(reader.InLine());
  std::string_view second = "ER x\r";
  EXPECT_FALSE(reader.Feed(second, answer));
  std::string_view third = "\nNOOP";
  const auto line = reader.Feed(third, answer);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->text, "USER x");
  EXPECT_EQ(third, "NOOP");  // the next line waits, unconsumed
  EXPECT_FALSE(reader.InLine());

  // Telnet codes alone add nothing to the line, yet a line has begun.
  const std::string nop = Bytes({255, 241});
  std::string_view codes = nop;
  EXPECT_FALSE(reader.Feed(codes, answer));
  EXPECT_TRUE(reader.InLine());
}

TEST(CommandLineReaderTest, OverlongLineIsCutAndMarkedThenReadingGoesOn) {
  CommandLineReader reader;
  std::string answer;
  const std::string huge(CommandLineReader::kMaxLineLength * 3, 'a');
  std::string input = "STOR " + huge + "\r\nNOOP\r\n";
  std::string_view view = input;
  auto first = reader.Feed(view, answer);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->too_long);
  EXPECT_EQ(first->text.size(), CommandLineReader::kMaxLineLength);
  auto second = reader.Feed(view, answer);
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->too_long);
  EXPECT_EQ(second->text, "NOOP");

  std::string exact(CommandLineReader::kMaxLineLength, 'b');
  exact += "\n";
  std::string_view at_limit = exact;
  auto third = reader.Feed(at_limit, answer);
  ASSERT_TRUE(third);
  EXPECT_FALSE(third->too_long);
}

}  // namespace
}  // namespace vantrel
