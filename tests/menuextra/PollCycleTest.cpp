// The poll cycle on the wire: logins, reuse of the connection, losing and regaining it.

#include <functional>
#include <stdexcept>

#include "ControllerTest.h"
#include "router/LoginPins.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;

TEST_F(AController, LogsInOnAFreshConnectionWithExactlyTheseLines) {
  const std::vector<ChannelState> channels = {{true, "10.0.0.1", "0 0"}, {false}};
  const std::string digest = Md5()(std::string("admsalt"));
  struct Row {
    const char* name;
    std::optional<std::string> adminPass;
    std::optional<std::string> userPass;
    Script script;
    std::vector<std::string> menu;
    std::string image;
  } rows[] = {
      {"administrator, salted digest",
       "adm",
       std::nullopt,
       Exchanges({{"version", "OK 11 2.0"},
                  {"md5pass", "OK 1"},
                  {"salt", "OK salt"},
                  {"md5pass " + digest, "OK 4"},
                  {"md5pass", "OK 4"},
                  {"uptime", "OK 100"},
                  {"md5pass", "OK 4"},
                  {"uptime", "OK 100"}}) +
           ChannelList(2) + Permissions(true, false, true, true) + Tick(channels),
       {"10.0.0.1", "Hang up"},
       "online"},
      {"user only",
       std::nullopt,
       "usr",
       Exchanges({{"version", "OK 10 1.0"},
                  {"pass ", "OK 1"},
                  {"pass ", "OK 1"},
                  {"pass usr", "OK 2"},
                  {"pass ", "OK 2"},
                  {"uptime", "OK 100"}}) +
           ChannelList(2) + Permissions(false, false, false, false) + Tick(channels),
       {"10.0.0.1"},
       "online"},
      {"administrator already",
       "adm",
       "usr",
       Exchanges({{"version", "OK 10 1.0"},
                  {"pass ", "OK 5"},
                  {"pass ", "OK 5"},
                  {"uptime", "OK 100"},
                  {"pass ", "OK 5"},
                  {"uptime", "OK 100"}}) +
           ChannelList(2) + Permissions(true, true, false, false) + Tick(channels),
       {"10.0.0.1", "Add Link", "Hang up"},
       "online"},
      {"no rights",
       "adm",
       "usr",
       Exchanges({{"version", "OK 10 1.0"},
                  {"pass ", "OK 0"},
                  {"pass adm", "OK 0"},
                  {"pass ", "OK 0"},
                  {"pass usr", "OK 1"},
                  {"pass ", "OK 1"}}),
       {},
       "noconnect"},
      {"user rights but no uptime",
       std::nullopt,
       std::nullopt,
       Exchanges({{"version", "OK 10 1.0"},
                  {"pass ", "OK 2"},
                  {"pass ", "OK 2"},
                  {"uptime", "OK 0"},
                  {"pass ", "OK 2"},
                  {"uptime", "ERR"}}),
       {},
       "noconnect"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeDaemon daemon(row.script);
    UseDaemon(daemon);
    preferences.Remove("RouterAdminPass");
    if (row.adminPass) preferences.Set("RouterAdminPass", *row.adminPass);
    if (row.userPass) preferences.Set("RouterUserPass", *row.userPass);
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(MenuTitles(), row.menu);
    EXPECT_EQ(LastImage(), row.image);
    host->Unload();
    Check(daemon);
    preferences.Remove("RouterUserPass");
  }
}

TEST_F(AController, SaysWhyItDidNotConnectAndWhatMendsIt) {
  using Remedy = ZezarIZIDezev::Remedy;
  // A router that offered the salted login before and now offers only the plain one.
  struct Pins final : router::LoginPins {
    bool bSalted = false;
    bool Salted(const std::string&) const override { return bSalted; }
    void RememberSalted(const std::string&) override {}
  } pins;
  const router::LoginPinsInstallation installed(pins);
  RefusingPort refusing;
  SilentPort silent;
  FakeDaemon plainOnly(Exchanges(
      {{"version", "OK 10 1.0"}, {"pass ", "OK 1"}, {"pass ", "OK 1"}, {"pass ", "OK 1"}}));
  FakeDaemon refused(Exchanges({{"version", "OK 10 1.0"},
                                {"pass ", "OK 0"},
                                {"pass adm", "OK 0"},
                                {"pass ", "OK 0"},
                                {"pass ", "OK 0"}}));
  FakeDaemon stalled(Script{Expect("version\r\n"), Stall(1500ms)});
  // Each password is preceded by the question of the protocol, which it never learns.
  FakeDaemon web(Exchanges({{"version", "HTTP/1.1 400 Bad Request"},
                            {"version", ""},
                            {"pass ", ""},
                            {"version", ""},
                            {"pass adm", ""},
                            {"version", ""},
                            {"pass ", ""},
                            {"version", ""},
                            {"pass ", ""}}));
  const auto at = [](uint16_t i_port) { return "127.0.0.1:" + std::to_string(i_port); };
  struct Row {
    const char* name;
    std::optional<std::string> defaultRouter;
    std::optional<uint16_t> port;
    std::function<void()> prepare;
    std::string reason;
    Remedy remedy;
  } rows[] = {
      {"no default router", std::nullopt, std::nullopt, [] {}, "No default router found",
       Remedy::Router},
      {"no address of the user's", std::nullopt, std::nullopt,
       [&] { preferences.Set("AutoDetectRouter", false); },
       "No router address in the preferences (RouterIPAddress)", Remedy::Router},
      {"a port that would wrap to another", "127.0.0.1", std::nullopt,
       [&] { preferences.Set("RouterPort", 65536L + 22); },
       "Preferences: RouterPort 65558 is not from 1 to 65535", Remedy::Router},
      {"a host that cannot be", "256.256.256.256", uint16_t{5000}, [] {},
       "Router 256.256.256.256:5000 not found", Remedy::Router},
      {"nothing listening", "127.0.0.1", refusing.Port(), [] {},
       "Nothing answers at " + at(refusing.Port()) + " (connection refused)", Remedy::None},
      {"no handshake", "127.0.0.1", silent.Port(), [] {},
       at(silent.Port()) + " did not answer within a second", Remedy::None},
      {"no answer to the login", "127.0.0.1", stalled.Port(), [] {},
       at(stalled.Port()) + " did not answer within a second", Remedy::None},
      {"another kind of server", "127.0.0.1", web.Port(), [] {},
       at(web.Port()) + " is not a router monitor", Remedy::None},
      {"a wrong password", "127.0.0.1", refused.Port(), [] {},
       "Login refused by " + at(refused.Port()), Remedy::Password},
      {"plain text withheld", "127.0.0.1", plainOnly.Port(), [&] { pins.bSalted = true; },
       "Router offers only plain-text login; not sending the password", Remedy::PlainTextLogin},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    router.Set(row.defaultRouter);
    preferences.Remove("AutoDetectRouter");
    preferences.Set("RouterAdminPass", std::string("adm"));
    preferences.Set("RouterPort", static_cast<long>(row.port.value_or(5000)));
    row.prepare();
    ASSERT_NE(Load(), nullptr);
    EXPECT_EQ(controller->reason(), row.reason);
    EXPECT_EQ(controller->reasonRemedy(), row.remedy);
    EXPECT_EQ(LastImage(), "noconnect");
    host->Unload();
  }
  for (FakeDaemon* pDaemon : {&plainOnly, &refused, &stalled, &web}) Check(*pDaemon);
}

TEST_F(AController, KeepsItsConnectionAcrossTicks) {
  std::vector<ChannelState> channels = {{true, "10.0.0.1", "100 0"}, {false}};
  Script script = FullLogin(channels);
  script = script + Tick(channels);
  channels[1] = {true, "10.0.0.2", "0 0"};
  script = script + Tick(channels);
  FakeDaemon daemon(script);
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  NextTick();
  NextTick();
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "Hang up"}));
  const Transcript transcript = Check(daemon);
  EXPECT_EQ(transcript.received.size(), 1u);
}

TEST_F(AController, ReconnectsAfterATimeOut) {
  const std::vector<ChannelState> channels = {{true, "10.0.0.1"}, {true, "10.0.0.2"}};
  FakeDaemon daemon(
      {FullLogin(channels) + Script{Expect("status 1\r\n"), Stall(1500ms)}, Relogin(channels)});
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  NextTick();  // the router stops answering: the connection is lost within the tick
  EXPECT_FALSE(globalZastra->IsConnected());
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"Dial"}));
  EXPECT_EQ(LastImage(), "noconnect");
  NextTick();  // logs in again, with the channel list it still has
  EXPECT_TRUE(globalZastra->IsConnected());
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "Hang up"}));
  Check(daemon);
}

TEST_F(AController, ReconnectsToARouterThatClosedTheConnection) {
  const std::vector<ChannelState> channels = {{true, "10.0.0.1"}};
  FakeDaemon daemon({FullLogin(channels) + Script{Close()}, Relogin(channels)});
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  NextTick();  // the first answer ends the stream: a lost connection
  EXPECT_FALSE(globalZastra->IsConnected());
  EXPECT_EQ(LastImage(), "noconnect");
  NextTick();
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "Hang up"}));
  EXPECT_EQ(LastImage(), "online");
  Check(daemon);
}

TEST_F(AController, DropsALoginThatEndsInMidAir) {
  FakeDaemon daemon({Expect("version\r\n"), Close()});
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);
  EXPECT_FALSE(globalZastra->IsConnected());
  EXPECT_EQ(MenuTitles(), std::vector<std::string>{});
  Check(daemon);
}

TEST_F(AController, ListsNoChannelOfARouterWithMoreThanFour) {
  for (const int count : {4, 5}) {
    SCOPED_TRACE(count);
    std::vector<ChannelState> channels(static_cast<std::size_t>(count),
                                       ChannelState{true, "10.0.0.9", "1 1"});
    const std::vector<ChannelState> shown = count <= 4 ? channels : std::vector<ChannelState>{};
    FakeDaemon daemon(AdminLogin() + ChannelList(count) + Permissions(true, true, true, true) +
                      Tick(shown));
    UseDaemon(daemon);
    preferences.Set("RebootHaltEnabled", true);
    ASSERT_NE(Load(), nullptr);
    if (count == 4) {
      EXPECT_EQ(MenuTitles().size(), 4u + 3u);  // all online: no Add Link, Hang up, Reboot, Halt
      EXPECT_EQ(LastImage(), "onlineactive");
    } else {
      EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"Dial", "Reboot", "Halt"}));
      EXPECT_EQ(LastImage(), "offline");
    }
    host->Unload();
    Check(daemon);
  }
}

TEST_F(AController, SurvivesRoutersThatMisbehave) {
  SilentPort silent;
  RefusingPort refusing;
  FakeDaemon garbage(Script{
      Expect("version\r\n"), Send("\x01\xff garbage\r\n"), Expect("pass \r\n"),
      Send(std::string("OK \0\0\n", 6)), Expect("version\r\n"), Send("OK\n"), Expect("pass \r\n"),
      Send("OK 99999999999999999999\n"), Expect("uptime\r\n"), Send("OK 1\n"),
      Expect("version\r\n"), Send("\n"), Expect("pass \r\n"), Send("OK -65535\n")});
  struct Row {
    const char* name;
    uint16_t port;
  } rows[] = {
      {"refusing", refusing.Port()}, {"silent", silent.Port()}, {"garbage", garbage.Port()}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    router.Set("127.0.0.1");
    preferences.Set("RouterPort", static_cast<long>(row.port));
    ASSERT_NE(Load(), nullptr);
    EXPECT_FALSE(globalZastra->IsConnected());
    EXPECT_EQ(MenuTitles(), std::vector<std::string>{});
    EXPECT_EQ(LastImage(), "noconnect");
    host->Unload();
  }
  Check(garbage);
}

TEST_F(AController, IgnoresAnAnswerItCannotHoldAndReconnects) {
  // Every character of the uptime counts as a digit: this one overflows 64 bits.
  const Script overflowingLogin = Exchanges({{"pass ", "OK 1"},
                                             {"pass adm", "OK 4"},
                                             {"pass ", "OK 4"},
                                             {"uptime", "OK 3 days, 04:05:06, load 0.12"}});
  const std::vector<ChannelState> channels = {{true, "10.0.0.1"}};
  FakeDaemon daemon(
      {Exchanges({{"version", "OK 10 1.0"}}) + overflowingLogin, overflowingLogin,
       AdminRelogin() + ChannelList(1) + Permissions(true, true, true, true) + Tick(channels)});
  UseDaemon(daemon);
  ASSERT_NE(Load(), nullptr);  // the start goes on
  EXPECT_FALSE(globalZastra->IsConnected());
  EXPECT_EQ(LastImage(), "noconnect");
  NextTick();  // the same answer again: not logged again
  EXPECT_EQ(LastImage(), "noconnect");
  NextTick();  // a router that answers well is watched as usual
  EXPECT_EQ(MenuTitles(), (std::vector<std::string>{"10.0.0.1", "Hang up"}));
  EXPECT_EQ(LastImage(), "online");
  EXPECT_EQ(logged, std::vector<std::string>{"tick: overflow, ignoring"});
  Check(daemon);
}

TEST_F(AController, KeepsItsDescriptorCountFlatOverManyTicks) {
  RefusingPort refusing;
  const Script refusedLogin = Exchanges({{"version", "ERR"},
                                         {"pass ", "ERR"},
                                         {"version", "ERR"},
                                         {"pass ", "ERR"},
                                         {"version", "ERR"},
                                         {"pass ", "ERR"}});
  FakeDaemon refusingLogins(std::vector<Script>(50, refusedLogin));
  router.Set("127.0.0.1");
  preferences.Set("RouterPort", static_cast<long>(refusing.Port()));
  ASSERT_NE(Load(), nullptr);
  const int descriptors = OpenDescriptorCount();
  for (int i = 0; i < 300; ++i) NextTick();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  preferences.Set("RouterPort", static_cast<long>(refusingLogins.Port()));
  for (int i = 0; i < 50; ++i) NextTick();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  Check(refusingLogins);
}

}  // namespace
}  // namespace zezar_test
