#include "metrics/RouterMetrics.h"

#include <string>

namespace metrics {

namespace {

// A channel's labels, made once for all its samples: alone, and with each direction.
struct ChannelLabels {
  explicit ChannelLabels(const router::Channel& i_channel)
      : alone{{"channel", i_channel.name}, {"type", i_channel.TypeName()}},
        in(With("in")),
        out(With("out")) {}

  Labels alone, in, out;

 private:
  Labels With(std::string i_direction) const {
    Labels labels = alone;
    labels.push_back({"direction", std::move(i_direction)});
    return labels;
  }
};

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

  std::vector<ChannelLabels> labels;
  labels.reserve(state.channels.size());
  for (const router::Channel& c : state.channels) labels.emplace_back(c);
  io_out.Family("zezar_channel_online", Type::Gauge, "1 while the channel is online, else 0.");
  for (std::size_t i = 0; i < state.channels.size(); ++i)
    io_out.Sample("zezar_channel_online", labels[i].alone, state.channels[i].online);
  io_out.Family("zezar_channel_capacity_bytes_per_second", Type::Gauge,
                "The most the channel carries each way, as configured.");
  for (std::size_t i = 0; i < state.channels.size(); ++i) {
    io_out.Sample("zezar_channel_capacity_bytes_per_second", labels[i].alone,
                  state.channels[i].capacity);
  }
  io_out.Family("zezar_channel_rate_bytes_per_second", Type::Gauge,
                "The channel's current traffic rate, as the router states it.");
  for (std::size_t i = 0; i < state.channels.size(); ++i) {
    io_out.Sample("zezar_channel_rate_bytes_per_second", labels[i].in, state.channels[i].rate.in);
    io_out.Sample("zezar_channel_rate_bytes_per_second", labels[i].out, state.channels[i].rate.out);
  }
  // Only what was asked: a counter that was not read has no value, not 0.
  bool bQuantities = false;
  for (std::size_t i = 0; i < state.channels.size(); ++i) {
    const std::optional<router::Traffic>& quantity = state.channels[i].quantity;
    if (!quantity) continue;
    if (!bQuantities)
      io_out.Family("zezar_channel_transferred_bytes_total", Type::Counter,
                    "Bytes the channel carried since it was dialled.");
    bQuantities = true;
    io_out.Sample("zezar_channel_transferred_bytes_total", labels[i].in, quantity->in);
    io_out.Sample("zezar_channel_transferred_bytes_total", labels[i].out, quantity->out);
  }
}

}  // namespace metrics
