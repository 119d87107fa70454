// Every zezarctl command against the simulated router, for people and as JSON.

#include <gtest/gtest.h>

#include "SimulatedRouter.h"

namespace zezar_test {
namespace {

using nlohmann::json;

struct CommandRow {
  std::vector<std::string> arguments;
  std::string text;  // a piece of the human output
  json expected;     // a piece of the JSON document: each of its fields, compared whole
};

void Check(SimulatedRouter& io_router, const CommandRow& i_row) {
  std::string strName;
  for (const std::string& argument : i_row.arguments) strName += argument + " ";
  SCOPED_TRACE(strName);
  const CtlResult human = io_router.Run(i_row.arguments);
  EXPECT_EQ(human.code, 0) << human.err;
  EXPECT_NE(human.out.find(i_row.text), std::string::npos) << human.out;
  EXPECT_EQ(human.err, "");

  std::vector<std::string> arguments = i_row.arguments;
  arguments.push_back("--json");
  const CtlResult machine = io_router.Run(arguments);
  EXPECT_EQ(machine.code, 0) << machine.err;
  const json document = Parsed(machine.out);
  ASSERT_FALSE(document.is_discarded()) << machine.out;
  if (i_row.expected.is_array()) {
    EXPECT_EQ(document, i_row.expected);
    return;
  }
  for (const auto& [key, value] : i_row.expected.items()) {
    EXPECT_EQ(document[key], value) << key;
  }
}

TEST(Zezarctl, ReadsTheRoutersStateForPeopleAndScripts) {
  SimulatedRouter router;
  const json offline = {{"in", 0}, {"out", 0}};
  const std::vector<CommandRow> rows = {
      {{"status"},
       "channel 1 (isdn) online  10.0.0.1  in 30000  out 9000",
       {{"protocol", 11},
        {"version", "zezar-routersim 1.0"},
        {"level", 4},
        {"login", "admin"},
        {"state", "active"},
        {"online", 1},
        {"channels",
         {{{"name", "pppoe"},
           {"type", "pppoe"},
           {"state", "offline"},
           {"address", ""},
           {"rate", offline}},
          {{"name", "1"},
           {"type", "isdn"},
           {"state", "online"},
           {"address", "10.0.0.1"},
           {"rate", {{"in", 30000}, {"out", 9000}}}},
          {{"name", "2"},
           {"type", "isdn"},
           {"state", "offline"},
           {"address", ""},
           {"rate", offline}}}}}},
      {{"channel", "1"},
       "quantity     in 8589934602  out 20",
       {{"name", "1"},
        {"state", "online"},
        {"address", "10.0.0.1"},
        {"phone", "0301000"},
        {"inout", "out"},
        {"online_time", "00:12:34"},
        {"time", "00:12:34"},
        {"charge_time", "00:10:00"},
        {"charge", "0.48"},
        {"rate", {{"in", 30000}, {"out", 9000}}},
        {"quantity", {{"in", 8589934602u}, {"out", 20}}}}},
      {{"channel", "pppoe"}, "state        offline", {{"type", "pppoe"}, {"state", "offline"}}},
      {{"channels"},
       "1\tisdn\tonline\t10.0.0.1\trate in 30000 out 9000\tquantity in 8589934602 out 20",
       json::array({{{"name", "pppoe"},
                     {"type", "pppoe"},
                     {"state", "offline"},
                     {"address", ""},
                     {"rate", offline},
                     {"quantity", offline}},
                    {{"name", "1"},
                     {"type", "isdn"},
                     {"state", "online"},
                     {"address", "10.0.0.1"},
                     {"rate", {{"in", 30000}, {"out", 9000}}},
                     {"quantity", {{"in", 8589934602u}, {"out", 20}}}},
                    {{"name", "2"},
                     {"type", "isdn"},
                     {"state", "offline"},
                     {"address", ""},
                     {"rate", offline},
                     {"quantity", offline}}})},
      {{"circuits"},
       "2\tinternet\tpppoe\thang-up time-out 0 s",
       json::array({{{"number", 1},
                     {"name", "office"},
                     {"device", "isdn"},
                     {"hup_timeout", 60},
                     {"hup_timeout_settable", true}},
                    {{"number", 2},
                     {"name", "internet"},
                     {"device", "pppoe"},
                     {"hup_timeout", 0},
                     {"hup_timeout_settable", false}}})},
      {{"hup-timeout", "1"},
       "circuit 1: hang-up time-out 60 s",
       {{"circuit", 1}, {"hup_timeout", 60}}},
      {{"dialmode"}, "dial mode auto", {{"dialmode", "auto"}}},
      {{"route"}, "route 1", {{"route", 1}}},
      {{"links"}, "1 link on route 1", {{"route", 1}, {"links", 1}}},
      {{"cpu"}, "processor load 3", {{"cpu", 3}}},
      {{"uptime"}, "up 1 d 00:", json::object()},  // however long the simulator has run
      {{"date"}, "Tue Dec  8 12:00:00 2026", {{"date", "Tue Dec  8 12:00:00 2026"}}},
      {{"timetable"},
       " route 2\n",
       {{"timetable", {"Mo-Fr 08:00-18:00 route 1", "Sa-Su 00:00-24:00 route 2"}}}},
  };
  for (const CommandRow& row : rows) Check(router, row);
  EXPECT_EQ(Parsed(router.Run({"uptime", "--json"}).out)["uptime"].type(),
            json::value_t::number_unsigned);
  const json support = Parsed(router.Run({"support", "--json"}).out)["support"];
  ASSERT_TRUE(support.is_array());
  EXPECT_EQ(support[0], "version 11 zezar-routersim 1.0");
}

TEST(Zezarctl, ChangesTheRoutersSettingsAndReadsThemBack) {
  SimulatedRouter router;
  const std::vector<CommandRow> rows = {
      {{"hup-timeout", "1", "300"}, "circuit 1: hang-up time-out 300 s", {{"hup_timeout", 300}}},
      {{"hup-timeout", "1"}, "300 s", {{"hup_timeout", 300}}},
      {{"dialmode", "manual"}, "dial mode manual", {{"dialmode", "manual"}}},
      {{"dialmode"}, "dial mode manual", {{"dialmode", "manual"}}},
      {{"route", "2"}, "route 2", {{"route", 2}}},
      {{"route"}, "route 2", {{"route", 2}}},
  };
  for (const CommandRow& row : rows) Check(router, row);
}

TEST(Zezarctl, SendsTheRouterCommands) {
  SimulatedRouter router;
  const auto online = [&] { return Parsed(router.Run({"status", "--json"}).out)["online"]; };
  struct Step {
    std::vector<std::string> arguments;
    int online;  // channels online afterwards
  };
  const std::vector<Step> steps = {
      {{"dial"}, 2}, {{"hangup"}, 0}, {{"addlink"}, 1}, {{"addlink"}, 2}, {{"removelink"}, 1}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.arguments[0]);
    const CtlResult result = router.Run(step.arguments);
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, step.arguments[0] + " sent to " + router.Address() + "\n");
    EXPECT_EQ(online(), step.online);
  }
  const CtlResult dial = router.Run({"dial", "--json"});
  EXPECT_EQ(Parsed(dial.out), (json{{"command", "dial"}, {"sent", true}}));
}

TEST(Zezarctl, RebootsAndHaltsOnlyWhenToldToGoAhead) {
  SimulatedRouter router;
  CtlResult result = router.Run({"reboot"});
  EXPECT_EQ(result.code, 2);
  EXPECT_NE(result.err.find("add --yes"), std::string::npos) << result.err;
  EXPECT_TRUE(router.server.Running());

  result = router.Run({"--yes", "halt"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_TRUE(ExitsWithin(router.server.Pid(), std::chrono::seconds(5)));
  EXPECT_FALSE(router.server.Running());
}

TEST(Zezarctl, SpeaksBothProtocolForms) {
  for (const uint32_t protocol : {10u, 11u}) {
    SCOPED_TRACE(protocol);
    routersim::Router config = SimulatedRouter::Standard();
    config.protocol = protocol;
    SimulatedRouter router(config);
    const json status = Parsed(router.Run({"status", "--json"}).out);
    EXPECT_EQ(status["protocol"], protocol);
    EXPECT_EQ(status["login"], "admin");
    const json channel = Parsed(router.Run({"channel", "1", "--json"}).out);
    EXPECT_EQ(channel["quantity"], (json{{"in", 8589934602u}, {"out", 20}}));
    const CtlResult user = router.Run({"status", "--json"}, {{"ZEZAR_USER_PASS", "user"}});
    EXPECT_EQ(Parsed(user.out)["login"], "user") << user.err;
  }
}

TEST(Zezarctl, WritesMetricsEvenWhenTheRouterIsGone) {
  SimulatedRouter router;
  const CtlResult up = router.Run({"metrics"});
  EXPECT_EQ(up.code, 0) << up.err;
  const std::string strRouter = "router=\"" + router.Address() + "\"";
  for (const std::string& line :
       {"zezar_up{" + strRouter + "} 1\n",
        "zezar_channel_online{" + strRouter + ",channel=\"1\",type=\"isdn\"} 1\n",
        "zezar_channel_transferred_bytes_total{" + strRouter +
            ",channel=\"1\",type=\"isdn\",direction=\"in\"} 8589934602\n",
        // The monitor's default MaxChannelRate, and the administrator's permissions.
        "zezar_channel_capacity_bytes_per_second{" + strRouter +
            ",channel=\"1\",type=\"isdn\"} 147456\n",
        "zezar_login_permission{" + strRouter + ",permission=\"halt\"} 1\n"}) {
    EXPECT_NE(up.out.find(line), std::string::npos) << line;
  }
  router.server.Inject("reboot 30");
  const CtlResult down = router.Run({"metrics"});
  EXPECT_EQ(down.code, 3);
  EXPECT_NE(down.out.find("zezar_up{" + strRouter + "} 0\n"), std::string::npos) << down.out;
  EXPECT_NE(down.err.find("cannot connect"), std::string::npos) << down.err;
}

TEST(Zezarctl, TakesItsGlobalOptionsBeforeOrAfterTheCommand) {
  SimulatedRouter router;
  const std::map<std::string, std::string> environment = {{"ZEZAR_ADMIN_PASS", "admin"}};
  const CtlResult before = RunCtl({"--json", "--router", router.Address(), "cpu"}, environment);
  const CtlResult after = RunCtl({"cpu", "--router", router.Address(), "--json"}, environment);
  EXPECT_EQ(before.code, 0) << before.err;
  EXPECT_EQ(before.out, after.out);
  EXPECT_EQ(Parsed(after.out)["cpu"], 3);
}

}  // namespace
}  // namespace zezar_test
