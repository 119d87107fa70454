// Start-up, preferences read once, the router address, shut-down.

#include "ControllerTest.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using preferences::PreferenceValue;

TEST_F(AController, PollsOnceBeforeItsInitialisationReturns) {
  const std::vector<ChannelState> channels = {{true, "10.0.0.1"}, {false}};
  FakeDaemon daemon(FullLogin(channels));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  // No time has passed: the first tick ran inside initWithBundle.
  EXPECT_TRUE(globalZastra->IsConnected());
  EXPECT_EQ(host->Draws(), 1);
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "Add Link", "Hang up"}));
  EXPECT_EQ(LastImage(), "online");
  Check(daemon);
}

TEST_F(AController, ReadsItsStartUpPreferencesWithTheirDefaults) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, PreferenceValue>> preferences;
    long intervalSeconds;
    double maxChannelRate;
  } rows[] = {
      {"absent", {}, 2, 147456.0},
      {"set", {{"UpdateInterval", 10L}, {"MaxChannelRate", 64L}}, 10, 8192.0},
      {"wrong types",
       {{"UpdateInterval", std::string("10")}, {"MaxChannelRate", true}},
       2,
       147456.0},
      {"zero", {{"UpdateInterval", 0L}, {"MaxChannelRate", 0L}}, 2, 147456.0},
      {"negative", {{"UpdateInterval", -5L}, {"MaxChannelRate", -1L}}, 2, 147456.0},
      {"one second", {{"UpdateInterval", 1L}, {"MaxChannelRate", 1L}}, 1, 128.0},
  };
  const std::vector<ChannelState> online = {{true, "10.0.0.1"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(FullLogin(online) + Tick(online) + Tick(online) + Tick(online) +
                      Tick(online));
    UseDaemon(daemon);
    for (const auto& [key, value] : row.preferences) preferences.Set(key, value);
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(controller->lastSample().Capacity(), row.maxChannelRate);  // one channel online
    const int draws = host->Draws();
    loop.Advance(std::chrono::seconds(row.intervalSeconds) - 1ms);
    EXPECT_EQ(host->Draws(), draws);
    loop.Advance(1ms);
    EXPECT_EQ(host->Draws(), draws + 1);
    loop.Advance(std::chrono::seconds(3 * row.intervalSeconds));
    EXPECT_EQ(host->Draws(), draws + 4);
    host->Unload();
    for (const auto& [key, value] : row.preferences) preferences.Remove(key);
    Check(daemon);
  }
}

TEST_F(AController, ReadsItsStartUpPreferencesOnlyOnce) {
  const std::vector<ChannelState> online = {{true, "10.0.0.1"}};
  FakeDaemon daemon(FullLogin(online) + Tick(online) + Tick(online) + Tick(online));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  preferences.Set("UpdateInterval", 10L);
  preferences.Set("MaxChannelRate", 64L);
  for (int i = 0; i < 3; ++i) NextTick();  // each tick synchronizes the preferences
  EXPECT_EQ(host->Draws(), 4);
  EXPECT_EQ(controller->lastSample().Capacity(), 147456.0);
  host->Unload();
  Check(daemon);
}

TEST_F(AController, FindsTheRouterFromOneSourceOnly) {
  RefusingPort refusing;  // any attempt fails at once; only its address matters here
  struct Row {
    const char* name;
    std::optional<PreferenceValue> autoDetect;
    std::optional<std::string> defaultRouter;
    std::optional<PreferenceValue> address;
    std::string attemptedHost;  // "" for no attempt
  } rows[] = {
      {"auto-detect by default", std::nullopt, "127.0.0.2", std::string("127.0.0.3"), "127.0.0.2"},
      {"auto-detect without a router", std::nullopt, std::nullopt, std::string("127.0.0.3"), ""},
      {"auto-detect on", true, "127.0.0.2", std::nullopt, "127.0.0.2"},
      {"auto-detect of the wrong type", std::string("no"), "127.0.0.2", std::nullopt, "127.0.0.2"},
      {"the preference", false, "127.0.0.2", std::string("127.0.0.3"), "127.0.0.3"},
      {"no preference", false, "127.0.0.2", std::nullopt, ""},
      {"a preference of the wrong type", false, "127.0.0.2", PreferenceValue(42L), ""},
      {"an address with no 8-bit form", false, std::nullopt, std::string("r\xC5\x81"), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    router.Set(row.defaultRouter);
    preferences.Set("RouterPort", static_cast<long>(refusing.Port()));
    if (row.autoDetect) preferences.Set("AutoDetectRouter", *row.autoDetect);
    if (row.address) preferences.Set("RouterIPAddress", *row.address);
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(globalZastra->GetHost(), row.attemptedHost);
    EXPECT_FALSE(globalZastra->IsConnected());
    EXPECT_EQ(LastImage(), "noconnect");
    host->Unload();
    preferences.Remove("AutoDetectRouter");
    preferences.Remove("RouterIPAddress");
  }
}

TEST_F(AController, TakesNewConnectionPreferencesAtTheNextAttemptOnly) {
  const std::vector<ChannelState> channels = {{true, "10.0.0.1"}};
  FakeDaemon first(FullLogin(channels) + Script{Expect("status 1\r\n"), Close()});
  // Another router: what the first one's login learnt (its protocol) is asked again.
  FakeDaemon second(FullLogin(channels));
  UseDaemon(first);
  ASSERT_NE(Load(), nullptr);
  preferences.Set("RouterPort", static_cast<long>(second.Port()));
  NextTick();  // still on the first router, which now goes away
  EXPECT_FALSE(globalZastra->IsConnected());
  NextTick();  // the next attempt uses the new port
  EXPECT_EQ(globalZastra->GetPort(), second.Port());
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "Hang up"}));
  Check(first);
  Check(second);
}

TEST_F(AController, StopsAndDisconnectsWhenUnloaded) {
  const std::vector<ChannelState> channels = {{false}};
  FakeDaemon daemon(FullLogin(channels));
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  const int draws = host->Draws();
  host->Unload();
  EXPECT_FALSE(globalZastra->IsConnected());
  loop.Advance(10s);
  EXPECT_EQ(host->Draws(), draws);
  const Transcript transcript = Check(daemon);
  ZezarIZIDezev unloaded;  // asked after willUnload, as a careless host might
  unloaded.initWithBundle(bundle);
  unloaded.willUnload();
  EXPECT_EQ(unloaded.menu(), nullptr);
  EXPECT_EQ(unloaded.image(), nullptr);  // nothing after the first tick
  EXPECT_EQ(transcript.received.size(), 1u);
}

TEST_F(AController, ShowsNoIconForAMissingImage) {
  NSBundle empty(kDomain, "/nonexistent");
  ASSERT_NE(host->Load<ZezarIZIDezev>(empty), nullptr);
  EXPECT_EQ(LastImage(), "");
  EXPECT_EQ(host->Draws(), 1);
}

}  // namespace
}  // namespace zezar_test
