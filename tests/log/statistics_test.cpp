#include "log/statistics.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vantrel {
namespace {

TEST(Statistics, ConcurrentUpdatesAllArrive) {
  Statistics statistics;
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  constexpr std::int64_t kChunk = 65536;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        statistics.CountConnection();
        statistics.CountSession();
        statistics.AddDownloaded(kChunk);
        statistics.AddUploaded(1);
      }
    });
  }
  // A reader meanwhile never sees a total go backwards.
  std::int64_t previous = 0;
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t now = statistics.GetDownloaded();
    EXPECT_GE(now, previous);
    previous = now;
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(statistics.GetConnections(), kThreads * kRounds);
  EXPECT_EQ(statistics.GetSessions(), kThreads * kRounds);
  EXPECT_EQ(statistics.GetDownloaded(), kThreads * kRounds * kChunk);  // above 4 GiB
  EXPECT_EQ(statistics.GetUploaded(), kThreads * kRounds);
}

TEST(Statistics, TotalsAbove4GiBDoNotWrap) {
  Statistics statistics;
  constexpr std::int64_t k3GiB = 3LL << 30;
  statistics.AddDownloaded(k3GiB);
  statistics.AddDownloaded(k3GiB);
  statistics.AddUploaded(k3GiB);
  statistics.AddUploaded(k3GiB + 1);
  EXPECT_EQ(statistics.GetDownloaded(), 6LL << 30);
  EXPECT_EQ(statistics.GetUploaded(), (6LL << 30) + 1);
  statistics.ResetStatistics();
  EXPECT_EQ(statistics.GetDownloaded(), 0);
  EXPECT_EQ(statistics.GetUploaded(), 0);
  EXPECT_EQ(statistics.GetConnections(), 0);
}

}  // namespace
}  // namespace vantrel
