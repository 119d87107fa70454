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
"a.txt" = "A\nB"
[limits]
connections = 3
idle_timeout = 60
output_bytes = 4096
store_bytes = 100
store_files = 2
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
  EXPECT_EQ(router.files.at("a.txt"), "A\nB");  // a file's content may hold anything
  EXPECT_EQ(router.limits.connections, 3u);
  EXPECT_EQ(router.limits.idleTimeout, std::chrono::seconds(60));
  EXPECT_EQ(router.limits.outputBytes, 4096u);
  EXPECT_EQ(router.limits.storeBytes, 100u);
  EXPECT_EQ(router.limits.storeFiles, 2u);
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
      {"protocol = \n", "r.toml:1:12: "},
      {"version = \"zezar\\nrouter\"\n", "r.toml:1: version: holds a control character (U+000A)"},
      {"timetable = [\"ok\", \"late\\r\"]\n",
       "r.toml:1: timetable: holds a control character (U+000D)"},
      {"[[channel]]\naddress = \"10.0.0.1\\u0085\"\n",
       "r.toml:2: channel 1: address: holds a control character (U+0085)"},
      {"[files]\n\"a\\tb\" = \"x\"\n", "r.toml:2: files: holds a control character (U+0009)"},
      {"[limits]\nidle_timeout = 0\n", "r.toml:2: limits.idle_timeout: out of range 1 to 86400"},
      {"[limits]\nconnections = 0\n", "r.toml:2: limits.connections: out of range 1 to 100000"},
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

// The file is read as the preferences are (a FIFO without a writer is among their tests): what
// is not a small regular file, or nests too deep, cannot stop the simulator or take its memory.
TEST(ARouterConfiguration, IsReadOnlyFromASmallRegularFile) {
  TempDir dir;
  constexpr std::size_t kSize = 128 * 1024;
  std::string deep = "a";  // once a crash: the parser recursed past the end of the stack
  while (deep.size() + 2 + 4 <= kSize) deep += ".a";
  deep += " = 1\n";
  struct Row {
    const char* name;
    std::filesystem::path path;
    std::string message;  // after "path"
  } rows[] = {
      {"a directory", dir.path(), ": not a regular file"},
      {"no file", dir.path() / "absent.toml", ": no such file"},
      {"one byte too many", dir.Write("large.toml", std::string(kSize + 1, '#')),
       ": larger than 128 KiB"},
      {"the deepest dotted key that fits", dir.Write("deep.toml", deep), ":1: a: unknown key"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    try {
      routersim::LoadRouterConfig(row.path);
      ADD_FAILURE() << "no error";
    } catch (const routersim::ConfigError& error) {
      EXPECT_EQ(error.what(), row.path.string() + row.message);
    }
  }
}

}  // namespace
}  // namespace zezar_test
