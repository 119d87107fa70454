#include "routersim/RouterConfig.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace zezar_test {
namespace {

TEST(ARouterConfiguration, SetsEveryPartOfTheRouter) {
  TempDir dir;
  const auto file = dir.Write("router.toml", R"(
protocol = 10
pppoe = true
route = 3
dialmode = "manual"
timetable = ["always"]
[passwords]
admin = "sesame"
user = "guest"
root = "toor"
[levels]
user = 3
admin = 9
[permissions]
user = ["dial", "addlink"]
[[channel]]
online = true
address = "10.1.1.1"
rate_in = 5
[[channel]]
phone = "0"
[pppoe_link]
online = true
[[circuit]]
name = "c"
device = "pppoe"
hup_timeout = 0
[files]
"a.txt" = "A"
)");
  const routersim::Router router = routersim::LoadRouterConfig(file);
  EXPECT_EQ(router.protocol, 10u);
  EXPECT_TRUE(router.pppoe);
  EXPECT_TRUE(router.pppoeLink.online);
  EXPECT_EQ(router.route, 3);
  EXPECT_EQ(router.dialmode, "manual");
  EXPECT_EQ(router.timetable, std::vector<std::string>{"always"});
  EXPECT_EQ(router.adminPassword, "sesame");
  EXPECT_EQ(router.userPassword, "guest");
  EXPECT_EQ(router.rootPassword, "toor");
  EXPECT_EQ(router.levels.user, 3);
  EXPECT_EQ(router.levels.admin, 9);
  EXPECT_EQ(router.userMayRun, (std::set<std::string>{"dial", "addlink"}));
  ASSERT_EQ(router.channels.size(), 2u);
  EXPECT_EQ(router.channels[0].address, "10.1.1.1");
  EXPECT_EQ(router.channels[0].rateIn, 5u);
  EXPECT_FALSE(router.channels[1].online);
  ASSERT_EQ(router.circuits.size(), 1u);
  EXPECT_EQ(router.circuits[0].device, "pppoe");
  EXPECT_EQ(router.files.at("a.txt"), "A");
}

TEST(ARouterConfiguration, CountsChannels) {
  TempDir dir;
  const routersim::Router router =
      routersim::LoadRouterConfig(dir.Write("r.toml", "channels = 4\nonline = 3\n"));
  ASSERT_EQ(router.channels.size(), 4u);
  EXPECT_TRUE(router.channels[2].online);
  EXPECT_FALSE(router.channels[3].online);
}

TEST(ARouterConfiguration, NamesTheLineAndKeyOfAMistake) {
  struct Row {
    std::string text;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"protocl = 10\n", "r.toml:1: protocl: unknown key"},
      {"\nprotocol = \"ten\"\n", "r.toml:2: protocol: not an integer"},
      {"cpu = 101\n", "r.toml:1: cpu: out of range 0 to 100"},
      {"dialmode = \"sometimes\"\n", "r.toml:1: dialmode: not off, manual or auto"},
      {"[passwords]\nadmin = 1\n", "r.toml:2: passwords.admin: not a string"},
      {"[levels]\nroot = 1\n", "r.toml:2: levels.root: unknown key"},
      {"[[channel]]\nrate_in = -1\n", "r.toml:2: channel 1: rate_in: out of range"},
      {"channels = [1]\n", "r.toml:1: channels: a count; list channels as [[channel]]"},
      {"channels = 2\nonline = 256\n", "r.toml:2: online: out of range 0 to 255"},
      {"protocol = \n", "r.toml:1: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TempDir dir;
    const auto file = dir.Write("r.toml", row.text);
    try {
      routersim::LoadRouterConfig(file);
      ADD_FAILURE() << "no error";
    } catch (const routersim::ConfigError& error) {
      const std::string strMessage = error.what();
      EXPECT_NE(strMessage.find(row.message), std::string::npos) << strMessage;
    }
  }
}

}  // namespace
}  // namespace zezar_test
