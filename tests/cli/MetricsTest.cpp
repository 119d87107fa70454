#include "cli/Metrics.h"

#include <gtest/gtest.h>

namespace zezar_test {
namespace {

TEST(Metrics, SayOnlyThatTheRouterIsDownWhenItIs) {
  EXPECT_EQ(ctl::Metrics(std::nullopt, "10.1.1.1:5000"),
            "# HELP zezar_up 1 when the router answered and accepted the login, else 0.\n"
            "# TYPE zezar_up gauge\n"
            "zezar_up{router=\"10.1.1.1:5000\"} 0\n");
}

TEST(Metrics, GiveEveryChannelItsSeriesInTheExpositionFormat) {
  router::State snapshot;
  snapshot.reachable = true;
  snapshot.where = "r:1";
  snapshot.protocol = 11;
  snapshot.version = "a \"quoted\" \\ version\nline";
  snapshot.level = 4;
  snapshot.uptime = 86400;
  snapshot.cpu = 7;
  using Type = router::Channel::Type;
  snapshot.channels = {{"pppoe", Type::Pppoe, false, "", {}, router::Traffic{0, 0}, 0},
                       {"1",
                        Type::Isdn,
                        true,
                        "10.0.0.1",
                        {1200, 340},
                        router::Traffic{(uint64_t{1} << 32) + 5, 7},
                        0}};
  const std::string strText = ctl::Metrics(snapshot, "r:1");
  const std::vector<std::string> expected = {
      "zezar_up{router=\"r:1\"} 1\n",
      "zezar_info{router=\"r:1\",protocol=\"11\",version=\"a \\\"quoted\\\" \\\\ version\\nline\"} "
      "1\n",
      "zezar_login_level{router=\"r:1\"} 4\n",
      "zezar_uptime_seconds{router=\"r:1\"} 86400\n",
      "zezar_cpu_load_ratio{router=\"r:1\"} 0.07\n",
      "zezar_channels_online{router=\"r:1\"} 1\n",
      "zezar_channel_online{router=\"r:1\",channel=\"pppoe\",type=\"pppoe\"} 0\n",
      "zezar_channel_online{router=\"r:1\",channel=\"1\",type=\"isdn\"} 1\n",
      "zezar_channel_rate_bytes_per_second{router=\"r:1\",channel=\"1\",type=\"isdn\","
      "direction=\"out\"} 340\n",
      "zezar_channel_transferred_bytes_total{router=\"r:1\",channel=\"1\",type=\"isdn\","
      "direction=\"in\"} 4294967301\n",
      "# TYPE zezar_channel_transferred_bytes_total counter\n",
  };
  for (const std::string& line : expected) {
    EXPECT_NE(strText.find(line), std::string::npos) << line << "\nin\n" << strText;
  }
  // Each family is introduced once, before its samples.
  EXPECT_EQ(strText.find("# TYPE zezar_channel_online gauge"),
            strText.rfind("# TYPE zezar_channel_online gauge"));
  EXPECT_LT(strText.find("# TYPE zezar_channel_online gauge"),
            strText.find("zezar_channel_online{"));
}

}  // namespace
}  // namespace zezar_test
