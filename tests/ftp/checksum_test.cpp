#include "ftp/checksum.h"

#include <gtest/gtest.h>

#include "ftp/memory_stream.h"

namespace vantrel {
namespace {

using testing::MemoryStream;

TEST(ChecksumTest, KnownVectors) {
  struct Case {
    std::string data;
    ChecksumKind kind;
    const char* expected;
  };
  const Case cases[] = {
      {"", ChecksumKind::kCrc32, "00000000"},
      {"123456789", ChecksumKind::kCrc32, "CBF43926"},
      {"The quick brown fox jumps over the lazy dog", ChecksumKind::kCrc32, "414FA339"},
      {"", ChecksumKind::kMd5, "D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", ChecksumKind::kMd5, "900150983CD24FB0D6963F7D28E17F72"},
      {"The quick brown fox jumps over the lazy dog", ChecksumKind::kMd5,
       "9E107D9D372BB6826BD81D3542A419D6"},
  };
  for (const auto& c : cases) {
    MemoryStream stream(c.data);
    EXPECT_EQ(StreamChecksum(stream, c.kind, 0, -1), c.expected) << "\"" << c.data << "\"";
  }
}

TEST(ChecksumTest, RangesAndPositionsBeyondOneBlock) {
  // Longer than one read block, so the range arithmetic crosses block boundaries.
  std::string big(700 * 1024, 'x');
  big.replace(300 * 1024, 9, "123456789");
  MemoryStream stream(big);
  EXPECT_EQ(StreamChecksum(stream, ChecksumKind::kCrc32, 300 * 1024, 9), "CBF43926");
  stream.Seek(12345);  // a stream left anywhere is rewound to the start offset first
  EXPECT_EQ(StreamChecksum(stream, ChecksumKind::kMd5, 0, -1),
            StreamChecksum(stream, ChecksumKind::kMd5, 0, static_cast<std::int64_t>(big.size())));
  EXPECT_EQ(StreamChecksum(stream, ChecksumKind::kCrc32, static_cast<std::int64_t>(big.size()), -1),
            "00000000");
}

TEST(ChecksumTest, StopsBetweenBlocksWhenAsked) {
  MemoryStream stream(std::string(700 * 1024, 'x'));
  int asked = 0;
  const auto two_blocks = [&asked] { return ++asked <= 2; };
  EXPECT_EQ(StreamChecksum(stream, ChecksumKind::kCrc32, 0, -1, two_blocks), std::nullopt);
  EXPECT_EQ(stream.Position(), 512 * 1024) << "not a block more was read";
}

}  // namespace
}  // namespace vantrel
