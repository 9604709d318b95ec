#include "common/packed_list.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

using Items = std::vector<std::string>;

TEST(PackedList, OnlyPiecesEndingInSemicolonAreItems) {
  EXPECT_EQ(SplitPacked("a;b;c"), (Items{"a", "b"}));
  EXPECT_EQ(SplitPacked("a;b;c;"), (Items{"a", "b", "c"}));
  EXPECT_EQ(SplitPacked(""), Items{});
  EXPECT_EQ(SplitPacked("no separator"), Items{});
  EXPECT_EQ(SplitPacked(";;"), (Items{"", ""}));
}

TEST(PackedList, JoinRoundTrips) {
  const Items items{"x=1", "", "with space", "a=b=c"};
  EXPECT_EQ(JoinPacked(items), "x=1;;with space;a=b=c;");
  EXPECT_EQ(SplitPacked(JoinPacked(items)), items);
  EXPECT_EQ(JoinPacked({}), "");
}

TEST(PackedList, NameValueSplitsAtFirstEquals) {
  const auto nv = SplitNameValue("music=/srv/a=b");
  EXPECT_TRUE(nv.has_separator);
  EXPECT_EQ(nv.name, "music");
  EXPECT_EQ(nv.value, "/srv/a=b");
  const auto bare = SplitNameValue("10.0.0.5");
  EXPECT_FALSE(bare.has_separator);
  EXPECT_EQ(bare.name, "");
}

}  // namespace
}  // namespace vantrel
