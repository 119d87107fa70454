// The one login every program uses, byte for byte against a scripted daemon.

#include "router/Login.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "client/Md5.h"
#include "support/FakeDaemon.h"
#include "support/RouterScripts.h"

namespace zezar_test {
namespace {

// What a login gave against a daemon playing the script; the daemon must have heard all of it
// and nothing more.
template <class LogInCall>
auto AgainstScript(const Script& i_script, LogInCall i_logIn) {
  FakeDaemon daemon(i_script);
  Zastra client;
  client.Connect("127.0.0.1", daemon.Port());
  const auto result = i_logIn(client);
  client.Disconnect();
  EXPECT_EQ(daemon.Finish().error, "");
  return result;
}

TEST(TheLogin, TriesTheAdministratorFirstAndAsksTheLevelAsTheClientDoes) {
  struct Row {
    const char* name;
    router::Passwords passwords;
    std::vector<Exchange> exchanges;  // after "version"
    bool bUser;
  } rows[] = {
      {"the administrator's password takes: no user password is sent",
       {"adm", "usr"},
       {{"pass ", "OK 1"},
        {"pass adm", "OK 4"},
        {"pass ", "OK 4"},
        {"uptime", "OK 60"},
        {"pass ", "OK 4"},
        {"uptime", "OK 60"}},
       true},
      {"only a user's password",
       {std::nullopt, "usr"},
       {{"pass ", "OK 1"},
        {"pass ", "OK 1"},
        {"pass usr", "OK 2"},
        {"pass ", "OK 2"},
        {"uptime", "OK 60"}},
       true},
      {"a connection with rights already sends no password",
       {"adm", "usr"},
       {{"pass ", "OK 4"},
        {"pass ", "OK 4"},
        {"uptime", "OK 60"},
        {"pass ", "OK 4"},
        {"uptime", "OK 60"}},
       true},
      {"wrong passwords",
       {"x", "y"},
       {{"pass ", "OK 0"},
        {"pass x", "OK 0"},
        {"pass ", "OK 0"},
        {"pass y", "OK 1"},
        {"pass ", "OK 1"}},
       false},
      {"a router that has not been up",
       {"adm", std::nullopt},
       {{"pass ", "OK 0"},
        {"pass adm", "OK 4"},
        {"pass ", "OK 4"},
        {"uptime", "OK 0"},
        {"pass ", "OK 4"},
        {"uptime", "OK 0"}},
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Script script = Exchanges({{"version", "OK 10 test"}});
    const Script login = Exchanges(row.exchanges);
    script.insert(script.end(), login.begin(), login.end());
    EXPECT_EQ(AgainstScript(script,
                            [&](Zastra& io_client) {
                              return router::LogIn(io_client, row.passwords);
                            }) == router::Login::User,
              row.bUser);
  }
}

TEST(TheLogin, PassesOnAnUptimeBeyond64Bits) {
  FakeDaemon daemon(Exchanges({{"version", "OK 10 test"},
                               {"pass ", "OK 4"},
                               {"pass ", "OK 4"},
                               {"uptime", "OK 18446744073709551616"}}));
  Zastra client;
  client.Connect("127.0.0.1", daemon.Port());
  EXPECT_THROW(router::LogIn(client, {}), std::overflow_error);
  client.Disconnect();
  EXPECT_EQ(daemon.Finish().error, "");
}

// Pins in memory.
struct Pins final : router::LoginPins {
  bool Salted(const std::string& i_strWhere) const override { return routers.count(i_strWhere); }
  void RememberSalted(const std::string& i_strWhere) override { routers.insert(i_strWhere); }
  std::set<std::string> routers;
};

TEST(TheLogin, SendsNoPlainPasswordToARouterThatOnceOfferedTheSaltedOne) {
  const router::Passwords passwords{"adm", std::nullopt};
  const Script plain = Exchanges({{"version", "OK 10 test"},
                                  {"pass ", "OK 1"},
                                  {"pass adm", "OK 4"},
                                  {"pass ", "OK 4"},
                                  {"uptime", "OK 60"},
                                  {"pass ", "OK 4"},
                                  {"uptime", "OK 60"}});
  const Script withheld = Exchanges(
      {{"version", "OK 10 test"}, {"pass ", "OK 1"}, {"pass ", "OK 1"}, {"pass ", "OK 1"}});
  const Script salted = Exchanges({{"version", "OK 11 test"},
                                   {"md5pass", "OK 4"},
                                   {"md5pass", "OK 4"},
                                   {"uptime", "OK 60"},
                                   {"md5pass", "OK 4"},
                                   {"uptime", "OK 60"}});
  struct Row {
    const char* name;
    std::set<std::string> pinned;
    bool bAllowPlainText;
    Script script;
    router::Login login;
    std::set<std::string> pinnedAfter;
  } rows[] = {
      {"an old router keeps its plain login", {}, false, plain, router::Login::User, {}},
      {"a router that offered the salted form is remembered",
       {},
       false,
       salted,
       router::Login::User,
       {"r:1"}},
      {"then gets no plain password",
       {"r:1"},
       false,
       withheld,
       router::Login::PlainTextWithheld,
       {"r:1"}},
      {"unless the user allows it", {"r:1"}, true, plain, router::Login::User, {"r:1"}},
      {"another router is not pinned by it", {"r:2"}, false, plain, router::Login::User, {"r:2"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Pins pins;
    pins.routers = row.pinned;
    EXPECT_EQ(
        AgainstScript(row.script,
                      [&](Zastra& io_client) {
                        return router::LogIn(
                            io_client, passwords,
                            {.where = "r:1", .pins = &pins, .allowPlainText = row.bAllowPlainText});
                      }),
        row.login);
    EXPECT_EQ(pins.routers, row.pinnedAfter);
  }
}

TEST(TheUserLogin, SendsThePasswordAloneAndReadsTheLevelFromItsAnswer) {
  const std::string strDigest = Md5()(std::string("usrpepper"));
  struct Row {
    const char* name;
    std::set<std::string> pinned;
    Script script;
    std::optional<uint16_t> level;
  } rows[] = {
      {"a salting router",
       {},
       Exchanges(
           {{"version", "OK 11 test"}, {"salt", "OK pepper"}, {"md5pass " + strDigest, "OK 2"}}),
       2},
      {"a plain one", {}, Exchanges({{"version", "OK 10 test"}, {"pass usr", "OK 4"}}), 4},
      {"a wrong password",
       {},
       Exchanges(
           {{"version", "OK 11 test"}, {"salt", "OK pepper"}, {"md5pass " + strDigest, "OK 1"}}),
       std::nullopt},
      {"a refusal",
       {},
       Exchanges({{"version", "OK 10 test"}, {"pass usr", "ERR no"}}),
       std::nullopt},
      {"a router once salted that offers the plain form now gets nothing",
       {"r:1"},
       Exchanges({{"version", "OK 10 test"}}),
       std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Pins pins;
    pins.routers = row.pinned;
    EXPECT_EQ(AgainstScript(row.script,
                            [&](Zastra& io_client) {
                              return router::LogInUser(io_client, "usr",
                                                       {.where = "r:1", .pins = &pins});
                            }),
              row.level);
  }
}

TEST(ALevel, IsNamedByWhatItGrants) {
  EXPECT_STREQ(router::LevelName(1), "none");
  EXPECT_STREQ(router::LevelName(2), "user");
  EXPECT_STREQ(router::LevelName(3), "user");
  EXPECT_STREQ(router::LevelName(4), "admin");
}

}  // namespace
}  // namespace zezar_test
