// A real Prometheus, started here on loopback with the shipped configuration and rules and a
// one-second scrape, finding the routers through the exporter's /sd and scraping each through
// /probe, as the field runs it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ExporterProcess.h"
#include "routersim/ServerProcess.h"
#include "support/RealPrometheus.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using Samples = std::map<std::string, std::string>;

TEST(ARealPrometheus, SeesARouterGoWithinAScrapeAndTheOthersStay) {
  if (access(ZEZAR_PROMETHEUS, X_OK) != 0) GTEST_SKIP() << "no Prometheus here";
  auto first = std::make_unique<routersim::ServerProcess>(routersim::Router::WithChannels(2, 1));
  routersim::ServerProcess second(routersim::Router::WithChannels(2, 1));
  routersim::ServerProcess third(routersim::Router::WithChannels(2, 2));
  ExporterProcess exporter(
      {{"first", first->Port()}, {"second", second.Port()}, {"third", third.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();
  RealPrometheus prometheus(ZEZAR_PROMETHEUS, ZEZAR_PROMETHEUS_FILES, exporter.Dir(),
                            "127.0.0.1:" + std::to_string(exporter.Port()));
  ASSERT_EQ(prometheus.ConfigProblem(), "");

  const Samples allUp = {{"first", "1"}, {"second", "1"}, {"third", "1"}};
  ASSERT_TRUE(WaitUntil([&] { return prometheus.Samples("zezar_up") == allUp; }, 30s))
      << prometheus.Err();
  EXPECT_EQ(prometheus.Samples("zezar_channels_online"),
            (Samples{{"first", "1"}, {"second", "1"}, {"third", "2"}}));
  EXPECT_TRUE(
      WaitUntil([&] { return prometheus.Samples("up{job=\"zezar-exporter\"}").size() == 1; }, 10s))
      << prometheus.Samples("up").size();

  // The next scrape after the router went: up 0, and its channels' series end at once
  // (Prometheus marks them stale) rather than standing still.
  first.reset();
  ASSERT_TRUE(WaitUntil(
      [&] { return prometheus.Samples("zezar_up{instance=\"first\"}")["first"] == "0"; }, 10s));
  EXPECT_EQ(prometheus.Samples("count by (instance) (zezar_channel_online)"),
            (Samples{{"second", "2"}, {"third", "2"}}));
  EXPECT_EQ(prometheus.Samples("zezar_up"),
            (Samples{{"first", "0"}, {"second", "1"}, {"third", "1"}}));
  EXPECT_EQ(prometheus.Samples("up{job=\"zezar\"}"), allUp)
      << "a probe of a router that went failed";

  // The shipped rule says so: for that router alone.
  const std::multimap<std::string, std::string> unreachable = {{"ZezarRouterUnreachable", "first"}};
  std::multimap<std::string, std::string> firing;
  EXPECT_TRUE(WaitUntil(
      [&] {
        firing = prometheus.Alerts("firing");
        return firing == unreachable;
      },
      15s))
      << "firing: " << firing.size() << " alerts, " << prometheus.Alerts("pending").size()
      << " pending";
  const ChildResult stopped = prometheus.Stop();
  EXPECT_EQ(stopped.code, 0) << stopped.err;
}

}  // namespace
}  // namespace zezar_test
