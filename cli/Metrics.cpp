#include "cli/Metrics.h"

namespace ctl {

namespace {

// Label values escape backslash, double quote and line feed.
std::string Escaped(const std::string& i_strValue) {
  std::string strOut;
  for (const char c : i_strValue) {
    if (c == '\\')
      strOut += "\\\\";
    else if (c == '"')
      strOut += "\\\"";
    else if (c == '\n')
      strOut += "\\n";
    else
      strOut += c;
  }
  return strOut;
}

class Exposition {
 public:
  explicit Exposition(const std::string& i_strRouter)
      : m_strRouter("router=\"" + Escaped(i_strRouter) + "\"") {}

  void Family(const char* i_pName, const char* i_pType, const char* i_pHelp) {
    m_strText += std::string("# HELP ") + i_pName + " " + i_pHelp + "\n# TYPE " + i_pName + " " +
                 i_pType + "\n";
  }
  void Sample(const char* i_pName, const std::string& i_strLabels, uint64_t i_value) {
    m_strText += std::string(i_pName) + "{" + m_strRouter +
                 (i_strLabels.empty() ? "" : "," + i_strLabels) + "} " + std::to_string(i_value) +
                 "\n";
  }
  const std::string& Text() const { return m_strText; }

 private:
  std::string m_strRouter;
  std::string m_strText;
};

std::string Label(const char* i_pName, const std::string& i_strValue) {
  return std::string(i_pName) + "=\"" + Escaped(i_strValue) + "\"";
}

}  // namespace

std::string Metrics(const std::optional<router::State>& i_state, const std::string& i_strRouter) {
  Exposition out(i_strRouter);
  out.Family("zezar_up", "gauge", "1 when the router answered and accepted the login, else 0.");
  out.Sample("zezar_up", "", i_state ? 1 : 0);
  if (!i_state) return out.Text();
  const router::State& snapshot = *i_state;

  out.Family("zezar_info", "gauge", "The router's protocol number and version, always 1.");
  out.Sample("zezar_info",
             Label("protocol", std::to_string(snapshot.protocol)) + "," +
                 Label("version", snapshot.version),
             1);
  out.Family("zezar_login_level", "gauge", "The access level of zezarctl's login.");
  out.Sample("zezar_login_level", "", snapshot.level);
  out.Family("zezar_uptime_seconds", "gauge", "Time since the router started.");
  out.Sample("zezar_uptime_seconds", "", snapshot.uptime.value_or(0));
  if (snapshot.cpu) {
    out.Family("zezar_cpu_load_percent", "gauge", "The router's processor load.");
    out.Sample("zezar_cpu_load_percent", "", *snapshot.cpu);
  }
  out.Family("zezar_channels_online", "gauge", "Channels online.");
  out.Sample("zezar_channels_online", "", static_cast<uint64_t>(snapshot.Online()));

  const auto channel = [](const router::Channel& i_channel) {
    return Label("channel", i_channel.name) + "," + Label("type", i_channel.TypeName());
  };
  out.Family("zezar_channel_online", "gauge", "1 while the channel is online, else 0.");
  for (const router::Channel& c : snapshot.channels) {
    out.Sample("zezar_channel_online", channel(c), c.online ? 1 : 0);
  }
  out.Family("zezar_channel_rate_bytes_per_second", "gauge",
             "The channel's current traffic rate, as the router states it.");
  for (const router::Channel& c : snapshot.channels) {
    out.Sample("zezar_channel_rate_bytes_per_second", channel(c) + ",direction=\"in\"", c.rate.in);
    out.Sample("zezar_channel_rate_bytes_per_second", channel(c) + ",direction=\"out\"",
               c.rate.out);
  }
  out.Family("zezar_channel_transferred_bytes_total", "counter",
             "Bytes the channel carried since it was dialled.");
  for (const router::Channel& c : snapshot.channels) {
    out.Sample("zezar_channel_transferred_bytes_total", channel(c) + ",direction=\"in\"",
               c.quantity.value_or(router::Traffic{}).in);
    out.Sample("zezar_channel_transferred_bytes_total", channel(c) + ",direction=\"out\"",
               c.quantity.value_or(router::Traffic{}).out);
  }
  return out.Text();
}

}  // namespace ctl
