// watch: lines for scripts and status bars, through a router that stalls and comes back.

#include "cli/Watch.h"

#include <gtest/gtest.h>

#include "SimulatedRouter.h"

namespace zezar_test {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

router::State TwoChannels(uint64_t i_rateIn) {
  router::State state;
  state.reachable = true;
  state.where = "127.0.0.1:5000";
  state.protocol = 11;
  state.version = "v";
  state.level = 2;
  state.channels = {{"1", router::Channel::Type::Isdn, true, "10.0.0.1", {i_rateIn, 0}, {}, 0},
                    {"2", router::Channel::Type::Isdn, false, "", {}, {}, 0}};
  return state;
}

TEST(AWatchLine, ShowsTheStateAsEachBarWantsIt) {
  struct Row {
    std::string name;
    std::optional<router::State> snapshot;
    std::string state;
    std::string text;
  };
  const std::vector<Row> rows = {
      {"no connection", std::nullopt, "noconnect", "no router"},
      {"online, quiet", TwoChannels(0), "online", "1/2"},
      {"online, busy", TwoChannels(1500), "active",
       "1/2 \u2193"
       "1.5k \u2191"
       "0"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string strJson =
        ctl::WatchLine(ctl::WatchFormat::Json, row.snapshot, "127.0.0.1:5000", "gone", 42);
    ASSERT_EQ(strJson.back(), '\n');
    const json line = json::parse(strJson);
    EXPECT_EQ(line["time"], 42);
    EXPECT_EQ(line["state"], row.state == "noconnect" ? "noconnect" : row.state);
    EXPECT_TRUE(line["channels"].is_array());

    const json waybar = json::parse(
        ctl::WatchLine(ctl::WatchFormat::Waybar, row.snapshot, "127.0.0.1:5000", "gone", 42));
    EXPECT_EQ(waybar["class"], row.state);
    EXPECT_EQ(waybar["alt"], row.state);
    EXPECT_EQ(waybar["text"], row.text);
    EXPECT_TRUE(waybar["tooltip"].is_string());

    std::string strI3 =
        ctl::WatchLine(ctl::WatchFormat::I3bar, row.snapshot, "127.0.0.1:5000", "gone", 42);
    ASSERT_EQ(strI3.substr(strI3.size() - 2), ",\n");
    const json blocks = json::parse(strI3.substr(0, strI3.size() - 2));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0]["short_text"], row.text);
    EXPECT_EQ(blocks[0]["color"].get<std::string>().size(), 7u);
  }
  EXPECT_EQ(ctl::WatchPreamble(ctl::WatchFormat::I3bar), "{\"version\":1}\n[\n");
  EXPECT_EQ(ctl::WatchPreamble(ctl::WatchFormat::Waybar), "");
}

TEST(AWatchLine, GivesTheBarsTheRoutersTextPrintableAndWaybarsAsMarkup) {
  router::State state = TwoChannels(0);
  state.channels[0].address = "\x1b]0;T\x07<b>&";
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  const json waybar =
      json::parse(ctl::WatchLine(ctl::WatchFormat::Waybar, state, "127.0.0.1:5000", "", 42));
  EXPECT_EQ(waybar["tooltip"], "127.0.0.1:5000 (user)\nchannel 1: online " + r + "]0;T" + r +
                                   "&lt;b&gt;&amp; in 0 out 0\nchannel 2: offline");
  const json noconnect = json::parse(
      ctl::WatchLine(ctl::WatchFormat::Waybar, std::nullopt, "127.0.0.1:5000", "a <b>\n", 42));
  EXPECT_EQ(noconnect["tooltip"], "127.0.0.1:5000: a &lt;b&gt;" + r);
  // The JSON for programs stays exact.
  const json exact =
      json::parse(ctl::WatchLine(ctl::WatchFormat::Json, state, "127.0.0.1:5000", "", 42));
  EXPECT_EQ(exact["channels"][0]["address"], "\x1b]0;T\x07<b>&");
}

TEST(Zezarctl, WatchesARouterThatStallsAndComesBack) {
  SimulatedRouter router;
  CtlProcess watch({"--router", router.Address(), "watch", "--interval", "0.3", "--count", "8"},
                   {{"ZEZAR_ADMIN_PASS", "admin"}});
  std::vector<std::string> states;
  const auto next = [&] {
    const json line = Parsed(watch.ReadLine(5s));
    states.push_back(line.is_discarded() ? "unreadable" : line["state"].get<std::string>());
  };
  next();
  router.server.Inject("stall 2");
  while (states.size() < 8) next();
  const CtlResult result = watch.Finish();
  EXPECT_EQ(result.code, 0) << result.err;
  SCOPED_TRACE(::testing::PrintToString(states));
  EXPECT_EQ(states.front(), "active");
  EXPECT_NE(std::find(states.begin(), states.end(), "noconnect"), states.end());
  EXPECT_EQ(states.back(), "active");
}

TEST(Zezarctl, EndsWatchingWhenTheBarGoesAway) {
  SimulatedRouter router;
  CtlProcess watch({"--router", router.Address(), "watch", "--interval", "0.1"},
                   {{"ZEZAR_ADMIN_PASS", "admin"}});
  EXPECT_NE(watch.ReadLine(5s), "");
  watch.CloseOutput();
  const CtlResult result = watch.Finish();
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find("standard output"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace zezar_test
