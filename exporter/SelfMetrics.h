#pragma once

// The exporter's own figures for /metrics: probes by target and result, the probe duration
// histogram, the routers configured and whether the last reload took, build info, and the
// process's CPU, memory and descriptors. Probes report from their threads; a scrape reads.

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "Config.h"

namespace exporter {

class SelfMetrics {
 public:
  // Upper bounds in seconds; the probe's budget is the last that matters.
  static constexpr std::array<double, 10> kBuckets = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                      0.25,  0.5,  1,     1.5,  2.5};

  void Probed(const std::string& i_strTarget, bool i_bUp, double i_seconds);
  // Counts of targets no longer configured go.
  void Configured(const Config& i_config);
  void Reloaded(bool i_bSuccess);
  std::string Page() const;

 private:
  struct Counts {
    uint64_t success = 0;
    uint64_t failure = 0;
  };
  mutable std::mutex m_mutex;
  std::map<std::string, Counts> m_probes;
  std::array<uint64_t, kBuckets.size()> m_buckets{};  // each counted in its own bucket only
  uint64_t m_count = 0;
  double m_sum = 0;
  std::size_t m_uRouters = 0;
  bool m_bLastReloadSuccessful = true;
};

}  // namespace exporter
