#include "log/metrics.h"

#include <initializer_list>

namespace vantrel {
namespace {

constexpr const char* kReasonLabels[kRefusalReasons] = {"banned", "limit", "per_address_limit"};

struct Sample {
  const char* name;
  const char* help;
  std::string value;
};

void AppendFamilyHeader(std::string& out, const char* name, const char* help, const char* type) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += EscapeMetricText(help, false);
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void AppendFamilies(std::string& out, const char* type, std::initializer_list<Sample> samples) {
  for (const auto& sample : samples) {
    AppendFamilyHeader(out, sample.name, sample.help, type);
    out += sample.name;
    out += ' ';
    out += sample.value;
    out += '\n';
  }
}

void AppendRefusals(std::string& out, const MetricCounters& counters) {
  constexpr const char* kName = "vantrel_connections_refused_total";
  AppendFamilyHeader(out, kName, "Connections turned away before login, by reason.", "counter");
  for (std::size_t reason = 0; reason < kRefusalReasons; ++reason) {
    out += kName;
    out += "{reason=\"";
    out += EscapeMetricText(kReasonLabels[reason], true);
    out += "\"} ";
    out += std::to_string(counters.refused[reason]);
    out += '\n';
  }
}

}  // namespace

MetricCounters Metrics::Counters() const {
  MetricCounters copy;
  copy.connections = connections_.load(std::memory_order_relaxed);
  copy.sessions = sessions_.load(std::memory_order_relaxed);
  copy.bytes_downloaded = bytes_downloaded_.load(std::memory_order_relaxed);
  copy.bytes_uploaded = bytes_uploaded_.load(std::memory_order_relaxed);
  copy.login_failures = login_failures_.load(std::memory_order_relaxed);
  copy.bans_added = bans_added_.load(std::memory_order_relaxed);
  for (std::size_t reason = 0; reason < kRefusalReasons; ++reason)
    copy.refused[reason] = refused_[reason].load(std::memory_order_relaxed);
  return copy;
}

std::string RenderMetrics(const MetricCounters& c, const MetricGauges& g) {
  using std::to_string;
  std::string out;
  AppendFamilies(
      out, "counter",
      {{"vantrel_connections_total", "FTP connections accepted.", to_string(c.connections)},
       {"vantrel_sessions_total", "Logins that succeeded.", to_string(c.sessions)},
       {"vantrel_downloaded_bytes_total", "Bytes sent to clients by downloads.",
        to_string(c.bytes_downloaded)},
       {"vantrel_uploaded_bytes_total", "Bytes received from clients by uploads.",
        to_string(c.bytes_uploaded)},
       {"vantrel_login_failures_total", "Logins refused for a wrong name or password.",
        to_string(c.login_failures)},
       {"vantrel_bans_added_total", "Addresses added to the ban list.", to_string(c.bans_added)}});
  AppendRefusals(out, c);
  AppendFamilies(
      out, "gauge",
      {{"vantrel_clients_online", "Clients connected now.", to_string(g.clients_online)},
       {"vantrel_transfers_running", "Transfers running now.", to_string(g.transfers_running)},
       {"vantrel_passive_ports_in_use", "Passive data ports held now.",
        to_string(g.passive_ports_in_use)},
       {"vantrel_tls_sessions", "Encrypted connections open now.", to_string(g.tls_sessions)}});
  return out;
}

std::string EscapeMetricText(std::string_view text, bool label_value) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\n')
      escaped += "\\n";
    else if (c == '"' && label_value)
      escaped += "\\\"";
    else
      escaped += c;
  }
  return escaped;
}

}  // namespace vantrel
