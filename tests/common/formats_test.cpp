#include <gtest/gtest.h>

#include "common/byte_size.h"
#include "common/connection_key.h"
#include "common/date_time.h"
#include "common/duration_text.h"
#include "common/text.h"
#include "common/wildcard.h"

namespace vantrel {
namespace {

TEST(Formats, ByteSize) {
  EXPECT_EQ(FormatByteSize(0), "0 Byte(s)");
  EXPECT_EQ(FormatByteSize(1023), "1023 Byte(s)");
  EXPECT_EQ(FormatByteSize(1536), "1.50 KB");
  EXPECT_EQ(FormatByteSize(5 * 1048576 + 524288), "5.50 MB");
  EXPECT_EQ(FormatByteSize(6LL * 1073741824), "6.00 GB");
  EXPECT_EQ(FormatByteSize(-5), "-5 Byte(s)");
}

TEST(Formats, Duration) {
  EXPECT_EQ(FormatDuration(45), "45 s");
  EXPECT_EQ(FormatDuration(120), "120 s");
  EXPECT_EQ(FormatDuration(150), "2.5 min");
  EXPECT_EQ(FormatDuration(3599), "60.0 min");
  EXPECT_EQ(FormatDuration(3600), "60.0 min");
  EXPECT_EQ(FormatDuration(3601), "1.0 h");
}

TEST(Formats, ConnectionKey) {
  EXPECT_EQ(ConnectionKey("192.168.1.20", 3012), "192.168.1.20:3012");
  EXPECT_EQ(AddressOfKey("192.168.1.20:3012"), "192.168.1.20");
  EXPECT_EQ(AddressOfKey(ConnectionKey("::1", 5000)), "::1");
}

TEST(Formats, IntegerParsing) {
  EXPECT_EQ(ParseInteger(" 42 "), 42);
  EXPECT_EQ(ParseInteger("-7"), -7);
  EXPECT_EQ(ParseInteger("0xff"), 255);
  EXPECT_EQ(ParseInteger("0X10"), 16);
  EXPECT_EQ(ParseInteger("-9223372036854775808"), INT64_MIN);
  EXPECT_FALSE(ParseInteger("9223372036854775808"));
  EXPECT_FALSE(ParseInteger("0x"));
  EXPECT_FALSE(ParseInteger("12a"));
  EXPECT_FALSE(ParseInteger("--1"));
  EXPECT_FALSE(ParseInteger(""));
}

TEST(Formats, DigitsAndDirectorySlashes) {
  EXPECT_TRUE(AllDigits("0042"));
  for (const char* text : {"", "+1", "1 ", "1a", "\xd9\xa1"})
    EXPECT_FALSE(AllDigits(text)) << text;
  EXPECT_EQ(WithTrailingSlash("/srv"), "/srv/");
  EXPECT_EQ(WithTrailingSlash("/srv/"), "/srv/");
  EXPECT_EQ(WithTrailingSlash(""), "") << "an empty directory keeps names relative";
  EXPECT_EQ(WithoutTrailingSlash("/srv//"), "/srv");
  EXPECT_EQ(WithoutTrailingSlash("//"), "/") << "the root stays the root";
}

TEST(Formats, Wildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.txt", "notes.txt", true},
      {"*.txt", "notes.txt.bak", false},
      {"*.txt", ".txt", true},
      {"*.TXT", "notes.txt", false},
      {"report-?.csv", "report-7.csv", true},
      {"report-?.csv", "report-17.csv", false},
      {"*a*b*c", "xaxxbxxc", true},
      {"*a*b*c", "xaxxcxxb", false},
      {"[ab]*", "beta", true},
      {"[ab]*", "gamma", false},
      {"[a-c]x", "bx", true},
      {"[!a-c]x", "bx", false},
      {"[^a-c]x", "dx", true},
      {"[]]x", "]x", true},
      {"a[b", "a[b", true},
      {"a[b", "ab", false},
      {"*", "", true},
      {"?", "", false},
      {"**", "anything", true},
      {"a*", "a", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
  for (const char* text : {"*.txt", "a?", "x[0-9]"})
    EXPECT_TRUE(HasWildcard(text)) << text;
  for (const char* text : {"plain.txt", "a[b", "]x", ""})
    EXPECT_FALSE(HasWildcard(text)) << text;
  // Backtracking stays linear in practice: many stars against a long mismatch.
  EXPECT_FALSE(MatchesWildcard("*a*a*a*a*a*a*a*b", std::string(5000, 'a')));
}

TEST(DateTimes, DayCountsMatchTheCalendar) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 18, 0, 0, 0}), 2.75);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 0, 0, 0, 0}), 36526.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  const CivilTime back = DecodeDateTime(EncodeDateTime({2026, 12, 8, 23, 59, 59, 999}));
  EXPECT_EQ(back.year, 2026);
  EXPECT_EQ(back.day, 8);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.second, 59);
  EXPECT_EQ(back.millisecond, 999);
  EXPECT_EQ(FormatLocalDateTime(EncodeDateTime({2024, 2, 29, 7, 5, 3, 0})), "2024-02-29 07:05:03");
}

TEST(DateTimes, SystemClockRoundTrip) {
  const auto now = std::chrono::system_clock::now();
  const auto back = ToTimePoint(ToDateTime(now));
  EXPECT_LT(std::chrono::abs(back - now), std::chrono::milliseconds(2));
}

TEST(DateTimes, StoredFormIsLocaleFree) {
  EXPECT_EQ(FormatDateTimeValue(45000.5), "45000.5");
  EXPECT_EQ(ParseDateTimeValue("45000,5"), 45000.5);
  EXPECT_EQ(ParseDateTimeValue(FormatDateTimeValue(46000.123456789)), 46000.123456789);
  EXPECT_FALSE(ParseDateTimeValue("yesterday"));
  EXPECT_FALSE(ParseDateTimeValue("nan"));
  EXPECT_FALSE(ParseDateTimeValue(""));
}

}  // namespace
}  // namespace vantrel
