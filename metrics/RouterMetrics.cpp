#include "metrics/RouterMetrics.h"

#include <string>

namespace metrics {

namespace {

Labels ChannelLabels(const router::Channel& i_channel) {
  return {{"channel", i_channel.name}, {"type", i_channel.TypeName()}};
}

Labels With(Labels i_labels, std::string_view i_name, std::string i_value) {
  i_labels.push_back({i_name, std::move(i_value)});
  return i_labels;
}

}  // namespace

void AddRouter(Exposition& io_out, const std::optional<router::State>& i_state) {
  io_out.Family("zezar_up", Type::Gauge,
                "1 when the router answered and accepted the login, else 0.");
  io_out.Sample("zezar_up", {}, i_state.has_value());
  if (!i_state) return;
  const router::State& state = *i_state;

  io_out.Family("zezar_info", Type::Gauge, "The router's protocol number and version, always 1.");
  io_out.Sample("zezar_info",
                {{"protocol", std::to_string(state.protocol)}, {"version", state.version}},
                uint64_t{1});
  io_out.Family("zezar_login_level", Type::Gauge, "The access level of the login.");
  io_out.Sample("zezar_login_level", {}, uint64_t{state.level});
  if (!state.permissions.empty()) {
    io_out.Family("zezar_login_permission", Type::Gauge,
                  "1 when the login may run the commands that need this permission, else 0.");
    for (const auto& [word, bAllowed] : state.permissions)
      io_out.Sample("zezar_login_permission", {{"permission", word}}, bAllowed);
  }
  if (state.uptime) {
    io_out.Family("zezar_uptime_seconds", Type::Gauge, "Time since the router started.");
    io_out.Sample("zezar_uptime_seconds", {}, *state.uptime);
  }
  if (state.cpu) {
    io_out.Family("zezar_cpu_load_ratio", Type::Gauge, "The router's processor load, 0 to 1.");
    io_out.Sample("zezar_cpu_load_ratio", {}, *state.cpu / 100.0);
  }
  io_out.Family("zezar_channels_online", Type::Gauge, "Channels online.");
  io_out.Sample("zezar_channels_online", {}, static_cast<uint64_t>(state.Online()));

  io_out.Family("zezar_channel_online", Type::Gauge, "1 while the channel is online, else 0.");
  for (const router::Channel& c : state.channels)
    io_out.Sample("zezar_channel_online", ChannelLabels(c), c.online);
  io_out.Family("zezar_channel_capacity_bytes_per_second", Type::Gauge,
                "The most the channel carries each way, as configured.");
  for (const router::Channel& c : state.channels)
    io_out.Sample("zezar_channel_capacity_bytes_per_second", ChannelLabels(c), c.capacity);
  io_out.Family("zezar_channel_rate_bytes_per_second", Type::Gauge,
                "The channel's current traffic rate, as the router states it.");
  for (const router::Channel& c : state.channels) {
    io_out.Sample("zezar_channel_rate_bytes_per_second", With(ChannelLabels(c), "direction", "in"),
                  c.rate.in);
    io_out.Sample("zezar_channel_rate_bytes_per_second", With(ChannelLabels(c), "direction", "out"),
                  c.rate.out);
  }
  // Only what was asked: a counter that was not read has no value, not 0.
  bool bQuantities = false;
  for (const router::Channel& c : state.channels) {
    if (!c.quantity) continue;
    if (!bQuantities)
      io_out.Family("zezar_channel_transferred_bytes_total", Type::Counter,
                    "Bytes the channel carried since it was dialled.");
    bQuantities = true;
    io_out.Sample("zezar_channel_transferred_bytes_total",
                  With(ChannelLabels(c), "direction", "in"), c.quantity->in);
    io_out.Sample("zezar_channel_transferred_bytes_total",
                  With(ChannelLabels(c), "direction", "out"), c.quantity->out);
  }
}

}  // namespace metrics
