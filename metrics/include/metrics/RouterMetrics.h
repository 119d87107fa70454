#pragma once

// What one look at a router found, as metric families. Names follow Prometheus's conventions:
// base units (bytes, seconds), ratios rather than percentages, counters ending in _total, the
// router's protocol and version in one _info metric. Per channel (labels channel and type):
// online state, rates and quantities by direction, and the capacity, so that rate / capacity
// is the utilisation. An unreachable router gives zezar_up 0 and nothing else: its other
// series end rather than stand still.
//
//   zezar_up                                    1 when it answered and accepted the login
//   zezar_info{protocol,version}                1
//   zezar_login_level                           the login's access level
//   zezar_login_permission{permission}          1 when the login may, per is-allowed word
//   zezar_uptime_seconds                        since the router started
//   zezar_cpu_load_ratio                        processor load, 0 to 1
//   zezar_channels_online
//   zezar_channel_online{channel,type}
//   zezar_channel_capacity_bytes_per_second{channel,type}
//   zezar_channel_rate_bytes_per_second{channel,type,direction}      as the router states it
//   zezar_channel_transferred_bytes_total{channel,type,direction}    since the channel dialled

#include <optional>

#include "metrics/Exposition.h"
#include "router/State.h"

namespace metrics {

void AddRouter(Exposition& io_out, const std::optional<router::State>& i_state);

}  // namespace metrics
