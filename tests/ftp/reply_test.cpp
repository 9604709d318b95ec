#include "ftp/reply.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace vantrel {
namespace {

TEST(ReplyTest, FormatsEveryLayout) {
  struct Case {
    const char* name;
    Reply reply;
    const char* wire;
  };
  const Case cases[] = {
      {"no code", Reply(0, std::vector<std::string>{"a", "b"}), "a\r\nb\r\n"},
      {"code alone", Reply(421), "421\r\n"},
      {"one line", Reply(200, "Ok"), "200 Ok\r\n"},
      {"three lines", Reply(214, std::vector<std::string>{"a", "b", "c"}),
       "214-a\r\n214-b\r\n214 c\r\n"},
      {"indented",
       Reply(211, {"Extensions supported:", "SIZE", "MDTM", "End"}, ReplyFormat::kIndented),
       "211-Extensions supported:\r\n SIZE\r\n MDTM\r\n211 End\r\n"},
      {"indented, one line", Reply(211, {"only"}, ReplyFormat::kIndented), "211 only\r\n"},
      {"message of lines", Reply(550, "first\r\nsecond\nthird"),
       "550-first\r\n550-second\r\n550 third\r\n"},
      {"trailing line break adds no line", Reply(500, "oops\r\n"), "500 oops\r\n"},
      {"no forged lines", Reply(500, std::vector<std::string>{"a\rb\nc"}), "500 a b c\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.reply.Format(), c.wire) << c.name;
}

TEST(ReplyTest, RefusesCodesThatAreNotThreeDigits) {
  for (int code : {1, 99, 1000, -200}) {
    try {
      Reply reply(code);
      ADD_FAILURE() << code << " accepted";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Reply Code is not valid: " + std::to_string(code));
    }
  }
}

TEST(ReplyTest, FillsEmptyTextFromTableOrHundred) {
  const ReplyTextMap texts = {{331, {"Password please."}}};
  struct Case {
    int code;
    const char* expected;
  };
  const Case cases[] = {{331, "331 Password please.\r\n"},
                        {150, "150 Information\r\n"},
                        {200, "200 Ok\r\n"},
                        {350, "350 Temporary Error\r\n"},
                        {450, "450 Permanent Error\r\n"},
                        {500, "500 Unknown Internal Error\r\n"}};
  for (const auto& c : cases) {
    Reply reply(c.code);
    FillEmptyText(reply, texts);
    EXPECT_EQ(reply.Format(), c.expected);
  }
  Reply with_text(200, "kept");
  FillEmptyText(with_text, texts);
  EXPECT_EQ(with_text.Format(), "200 kept\r\n");
}

}  // namespace
}  // namespace vantrel
