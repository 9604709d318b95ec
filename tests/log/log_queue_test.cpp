#include "log/log_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log/log_throttle.h"

namespace vantrel {
namespace {

std::vector<std::string> Drain(LogQueue& queue) {
  std::vector<std::string> lines;
  std::string text;
  DateTime time = 0;
  while (queue.PopLogLine(text, time))
    lines.push_back(text);
  return lines;
}

TEST(LogQueue, OverflowDropsTheOldestAndSaysSo) {
  ManualClock clock;
  LogQueue queue(clock);
  ASSERT_EQ(LogQueue::kCapacity, 4096u);
  for (int i = 0; i < 4096 + 5; ++i)
    queue.LogLine("line " + std::to_string(i));
  EXPECT_EQ(queue.Count(), 4096u);
  const auto lines = Drain(queue);
  ASSERT_EQ(lines.size(), 4097u);
  EXPECT_EQ(lines[0], "- 5 log lines dropped");
  EXPECT_EQ(lines[1], "line 5");
  EXPECT_EQ(lines.back(), "line 4100");

  // A later overflow is reported on its own, with its own count.
  for (int i = 0; i < 4096 + 1; ++i)
    queue.LogLine("again");
  EXPECT_EQ(Drain(queue).front(), "- 1 log lines dropped");
  queue.LogLine("calm");
  EXPECT_EQ(Drain(queue), std::vector<std::string>{"calm"});
}

TEST(LogQueue, ClearForgetsLinesAndDrops) {
  ManualClock clock;
  LogQueue queue(clock, 2);
  for (int i = 0; i < 5; ++i)
    queue.LogLine("x");
  queue.ClearLogQueue();
  EXPECT_EQ(Drain(queue), std::vector<std::string>{});
}

// Several producers: each one's lines arrive in its own order, and every line is either
// delivered or counted in a drop report, even while a consumer drains concurrently.
TEST(LogQueue, ProducersKeepTheirOrderAndNothingVanishes) {
  for (const std::size_t capacity : {LogQueue::kCapacity, std::size_t{16}}) {
    ManualClock clock;
    LogQueue queue(clock, capacity);
    constexpr int kProducers = 4;
    constexpr int kLines = 1000;
    std::atomic<int> running = kProducers;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
      producers.emplace_back([&, p] {
        for (int i = 0; i < kLines; ++i)
          queue.LogLine(std::to_string(p) + ":" + std::to_string(i));
        --running;
      });
    }
    std::vector<std::string> popped;
    std::string text;
    DateTime time = 0;
    while (running > 0 || queue.Count() > 0) {
      if (queue.PopLogLine(text, time))
        popped.push_back(text);
      else
        std::this_thread::yield();
    }
    for (auto& producer : producers)
      producer.join();
    for (const auto& line : Drain(queue))
      popped.push_back(line);

    int delivered = 0;
    int dropped = 0;
    std::vector<int> last(kProducers, -1);
    for (const auto& line : popped) {
      if (line.starts_with("- ")) {
        dropped += std::stoi(line.substr(2));
        continue;
      }
      const int p = std::stoi(line);
      const int i = std::stoi(line.substr(line.find(':') + 1));
      EXPECT_GT(i, last[p]) << "producer " << p << " out of order";
      last[p] = i;
      ++delivered;
    }
    EXPECT_EQ(delivered + dropped, kProducers * kLines) << capacity;
    if (capacity == LogQueue::kCapacity) {
      EXPECT_EQ(dropped, 0) << "nothing is lost in normal operation";
    }
  }
}

TEST(LogThrottle, OneLinePerKeyPerIntervalWithinABoundedTable) {
  ManualClock clock;
  LogQueue log(clock, 2 * LogThrottle::kMaxKeys);
  const auto drain = [&log] { return Drain(log); };
  LogThrottle refusals(log, clock);
  for (const char* n : {"0", "1", "2"}) {
    refusals.LogLine(std::string("a") + n, "10.0.0.1");
    refusals.LogLine(std::string("b") + n, "10.0.0.2");
  }
  clock.AdvanceSeconds(59);
  refusals.LogLine("a late", "10.0.0.1");
  EXPECT_EQ(drain(), (std::vector<std::string>{"a0", "b0"}));
  clock.AdvanceSeconds(1.5);
  refusals.LogLine("a next minute", "10.0.0.1");
  EXPECT_EQ(drain(), std::vector<std::string>{"a next minute"});

  // A flood from more addresses than the table holds logs the first ones; once their
  // minute is over the table makes room again.
  LogThrottle flooded(log, clock);
  for (std::size_t i = 0; i < LogThrottle::kMaxKeys + 10; ++i)
    flooded.LogLine("x", "10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256));
  EXPECT_EQ(drain().size(), LogThrottle::kMaxKeys);
  clock.AdvanceSeconds(61);
  flooded.LogLine("room again", "10.9.9.9");
  EXPECT_EQ(drain(), std::vector<std::string>{"room again"});

  // A clock set back does not silence a key for as long as it went back.
  clock.AdvanceSeconds(-3600);
  flooded.LogLine("after the clock went back", "10.9.9.9");
  EXPECT_EQ(drain(), std::vector<std::string>{"after the clock went back"});
}

}  // namespace
}  // namespace vantrel
