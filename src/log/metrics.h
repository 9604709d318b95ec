#pragma once

// Counters for a metrics scraper, and their text exposition (format 0.0.4): a "# HELP"
// and a "# TYPE" line per family, then "name{label="value"} number" samples. Names carry
// the "vantrel_" prefix and counters the "_total" suffix; refused connections are one
// family labelled by reason, so a dashboard can sum or split them.
//
// The counters are relaxed atomics rather than fields under a lock: the engines bump them
// on every connection and transfer chunk from many threads, and a scrape only needs each
// value to be one that was true at some moment, not all of them at the same one. Gauges
// (what is open now) are not counted here: the host already knows them and hands a
// snapshot to the renderer, so the two can never disagree.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

enum class RefusalReason { kBanned, kLimit, kPerAddressLimit };
inline constexpr std::size_t kRefusalReasons = 3;

// A copy of the counters at one moment.
struct MetricCounters {
  std::uint64_t connections = 0;
  std::uint64_t sessions = 0;
  std::uint64_t bytes_downloaded = 0;
  std::uint64_t bytes_uploaded = 0;
  std::uint64_t login_failures = 0;
  std::uint64_t bans_added = 0;
  std::array<std::uint64_t, kRefusalReasons> refused{};  // indexed by RefusalReason
};

struct MetricGauges {
  std::int64_t clients_online = 0;
  std::int64_t transfers_running = 0;
  std::int64_t passive_ports_in_use = 0;
  std::int64_t tls_sessions = 0;
};

// Owned by the host; any thread may bump or read, without blocking.
class Metrics {
 public:
  void CountConnection() { Bump(connections_); }
  void CountSession() { Bump(sessions_); }
  void AddDownloaded(std::uint64_t bytes) { Bump(bytes_downloaded_, bytes); }
  void AddUploaded(std::uint64_t bytes) { Bump(bytes_uploaded_, bytes); }
  void CountLoginFailure() { Bump(login_failures_); }
  void CountBan() { Bump(bans_added_); }
  void CountRefusal(RefusalReason reason) { Bump(refused_[static_cast<std::size_t>(reason)]); }

  MetricCounters Counters() const;

 private:
  using Counter = std::atomic<std::uint64_t>;
  static void Bump(Counter& counter, std::uint64_t by = 1) {
    counter.fetch_add(by, std::memory_order_relaxed);
  }

  Counter connections_{0};
  Counter sessions_{0};
  Counter bytes_downloaded_{0};
  Counter bytes_uploaded_{0};
  Counter login_failures_{0};
  Counter bans_added_{0};
  std::array<Counter, kRefusalReasons> refused_{};
};

// The media type a scraper expects for the text below.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string RenderMetrics(const MetricCounters& counters, const MetricGauges& gauges);

// A "# HELP" text ("\\" and line breaks escaped) or, with `label_value`, a label value
// (double quotes escaped as well).
std::string EscapeMetricText(std::string_view text, bool label_value);

}  // namespace vantrel
