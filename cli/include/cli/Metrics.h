#pragma once

// metrics: the router's state in the Prometheus text exposition format, for node_exporter's
// textfile collector (the families of metrics/RouterMetrics.h). Every series carries the
// label router="host:port", so the files of many routers sit side by side. A router that
// cannot be reached still gives zezar_up 0.

#include <optional>
#include <string>

#include "cli/Snapshot.h"
#include "preferences/Preferences.h"

namespace ctl {

// What the metrics show beyond a snapshot: the login's permissions (asked now) and each
// channel's capacity from the monitor's MaxChannelRate (absent, or below 1: the default).
void AddMetricsDetail(router::State& io_state, Zastra& io_client,
                      const preferences::PreferencesStore& i_preferences);

std::string Metrics(const std::optional<router::State>& i_state, const std::string& i_strRouter);

}  // namespace ctl
