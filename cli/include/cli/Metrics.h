#pragma once

// metrics: the router's state in the Prometheus text exposition format, for node_exporter's
// textfile collector. Every series carries the label router="host:port", so the files of many
// routers sit side by side. A router that cannot be reached still gives zezar_up 0.

#include <optional>
#include <string>

#include "cli/Snapshot.h"

namespace ctl {

std::string Metrics(const std::optional<router::State>& i_state, const std::string& i_strRouter);

}  // namespace ctl
