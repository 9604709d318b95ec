#include "log/metrics.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace vantrel {
namespace {

// What a scraper makes of the text, "name{labels}" to value; every line the text format
// does not allow fails the test.
std::map<std::string, double> Scrape(const std::string& text) {
  const std::string name = "[a-zA-Z_:][a-zA-Z0-9_:]*";
  const std::string label = R"([a-zA-Z_][a-zA-Z0-9_]*="(?:\\[\\n"]|[^\\"\n])*")";
  const std::regex comment("# (HELP|TYPE) (" + name + ") (.*)");
  const std::regex sample("(" + name + ")(\\{" + label + "(?:," + label + ")*\\})? (\\S+)");
  EXPECT_TRUE(!text.empty() && text.back() == '\n') << "the text ends with a line break";
  std::map<std::string, std::string> types;
  std::set<std::string> helped, sampled;
  std::map<std::string, double> samples;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, comment)) {
      EXPECT_FALSE(sampled.count(m[2])) << "comes after its samples: " << line;
      if (m[1] == "HELP") {
        EXPECT_TRUE(helped.insert(m[2]).second) << line;
      } else {
        EXPECT_TRUE(m[3] == "counter" || m[3] == "gauge") << line;
        EXPECT_TRUE(types.emplace(m[2], m[3]).second) << line;
      }
    } else if (std::regex_match(line, m, sample)) {
      EXPECT_TRUE(types.count(m[1])) << "no TYPE: " << line;
      if (types[m[1]] == "counter") {
        EXPECT_TRUE(m[1].str().ends_with("_total")) << line;
      }
      sampled.insert(m[1]);
      EXPECT_TRUE(samples.emplace(m[1].str() + m[2].str(), std::stod(m[3])).second) << line;
    } else {
      ADD_FAILURE() << "not a line of the format: " << line;
    }
  }
  return samples;
}

TEST(MetricsTest, ExpositionFollowsTheTextFormat) {
  Metrics metrics;
  for (int i = 0; i < 3; ++i)
    metrics.CountConnection();
  metrics.CountSession();
  metrics.AddDownloaded(5'000'000'000);
  metrics.AddDownloaded(1);
  metrics.AddUploaded(7);
  metrics.CountLoginFailure();
  metrics.CountBan();
  metrics.CountRefusal(RefusalReason::kBanned);
  metrics.CountRefusal(RefusalReason::kBanned);
  metrics.CountRefusal(RefusalReason::kPerAddressLimit);
  const std::map<std::string, double> expected = {
      {"vantrel_connections_total", 3},
      {"vantrel_sessions_total", 1},
      {"vantrel_downloaded_bytes_total", 5'000'000'001},
      {"vantrel_uploaded_bytes_total", 7},
      {"vantrel_login_failures_total", 1},
      {"vantrel_bans_added_total", 1},
      {"vantrel_connections_refused_total{reason=\"banned\"}", 2},
      {"vantrel_connections_refused_total{reason=\"limit\"}", 0},
      {"vantrel_connections_refused_total{reason=\"per_address_limit\"}", 1},
      {"vantrel_clients_online", 4},
      {"vantrel_transfers_running", 1},
      {"vantrel_passive_ports_in_use", 2},
      {"vantrel_tls_sessions", 0},
  };
  EXPECT_EQ(Scrape(RenderMetrics(metrics.Counters(), {4, 1, 2, 0})), expected);
}

TEST(MetricsTest, Escaping) {
  EXPECT_EQ(EscapeMetricText("a\\b\n\"c\"", false), "a\\\\b\\n\"c\"");
  EXPECT_EQ(EscapeMetricText("a\\b\n\"c\"", true), "a\\\\b\\n\\\"c\\\"");
}

}  // namespace
}  // namespace vantrel
