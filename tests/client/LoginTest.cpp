// Logging in, the two access thresholds, and the permission queries.

#include <openssl/evp.h>

#include <stdexcept>

#include "ClientTest.h"

namespace zezar_test {
namespace {

// An independent digest, so the client's own Md5 does not check itself.
std::string ReferenceMd5(const std::string& i_strBytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(i_strBytes.data(), i_strBytes.size(), digest, &length, EVP_md5(), nullptr);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string strHex;
  for (unsigned int i = 0; i < length; ++i) {
    strHex += kDigits[digest[i] >> 4];
    strHex += kDigits[digest[i] & 15];
  }
  return strHex;
}

using ALogin = ClientTest;

TEST_F(ALogin, PutsTheFormOfItsDaemonOnTheWire) {
  const std::string longPassword(70, 'p');
  struct Row {
    const char* name;
    std::string password;
    Script script;
    uint16_t level;
  } rows[] = {
      {"old daemon", "secret", Exchanges({{"version", "OK 10 1.0"}, {"pass secret", "OK 4"}}), 4},
      {"old daemon, empty password", "", Exchanges({{"version", "OK 9 0.9"}, {"pass ", "OK 1"}}),
       1},
      {"old daemon, password cut to 63", longPassword,
       Exchanges({{"version", "OK 10 1.0"}, {"pass " + longPassword.substr(0, 63), "OK 2"}}), 2},
      {"new daemon", "secret",
       Exchanges({{"version", "OK 11 2.0"},
                  {"salt", "OK pepper"},
                  {"md5pass " + ReferenceMd5("secretpepper"), "OK 5"}}),
       5},
      {"new daemon, empty password", "", Exchanges({{"version", "OK 11 2.0"}, {"md5pass", "OK 2"}}),
       2},
      {"new daemon, long password cut before the salt", longPassword,
       Exchanges({{"version", "OK 12 2.1"},
                  {"salt", "OK s"},
                  {"md5pass " + ReferenceMd5(longPassword.substr(0, 63) + "s"), "OK 4"}}),
       4},
      {"refused salt: the password alone", "secret",
       Exchanges({{"version", "OK 11 2.0"},
                  {"salt", "ERR"},
                  {"md5pass " + ReferenceMd5("secret"), "OK 4"}}),
       4},
      {"empty salt: the password alone", "secret",
       Exchanges({{"version", "OK 11 2.0"},
                  {"salt", "OK "},
                  {"md5pass " + ReferenceMd5("secret"), "OK 4"}}),
       4},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    Zastra fresh;
    FakeDaemon daemon(row.script);
    fresh.Connect("127.0.0.1", daemon.Port());
    EXPECT_EQ(fresh.Pass(row.password), row.level);
    fresh.Disconnect();
    Check(daemon);
  }
}

TEST_F(ALogin, AsksNoVersionOnceItIsKnown) {
  FakeDaemon daemon(Exchanges({{"version", "OK 11 2.0"},
                               {"md5pass", "OK 1"},
                               {"salt", "OK x"},
                               {"md5pass " + ReferenceMd5("pwx"), "OK 4"},
                               {"md5pass", "OK 4"}}));
  ConnectTo(daemon);
  EXPECT_EQ(client.Pass(""), 1u);
  EXPECT_EQ(client.Pass("pw"), 4u);
  EXPECT_TRUE(client.IsAdmin());
  client.Disconnect();
  Check(daemon);
}

TEST_F(ALogin, ReadsTheLevelModulo65536) {
  struct Row {
    std::string answer;
    uint16_t level;
  } rows[] = {
      {"OK 4", 4},
      {"OK 65540", 4},
      {"OK 65535", 65535},
      {"OK 3 users", 3},
      {"OK  7", 7},
      {"OK +2", 2},
      {"OK x", 0},
      {"OK ", 0},
      {"ERR denied", 0},
      {"OK", 0},
      {"OK 99999999999999999999999", 65535},
  };
  AnswerEach(
      "pass pw", rows, [&](const Row& row) { EXPECT_EQ(client.Pass("pw"), row.level); },
      Exchanges({{"version", "OK 10 1.0"}}));
}

TEST_F(ALogin, TellsAdministratorsAndUsersApart) {
  struct Row {
    const char* name;
    Script afterLevel;  // what follows the level question of IsUser
    std::string level;
    bool admin;
    bool user;
  } rows[] = {
      {"level 4", Exchanges({{"uptime", "OK 86400"}}), "OK 4", true, true},
      {"level 3", Exchanges({{"uptime", "OK 1"}}), "OK 3", false, true},
      {"level 2", Exchanges({{"uptime", "OK 5"}}), "OK 2", false, true},
      {"level 2, uptime 0", Exchanges({{"uptime", "OK 0"}}), "OK 2", false, false},
      {"level 2, uptime refused", Exchanges({{"uptime", "ERR"}}), "OK 2", false, false},
      {"level 1: no uptime asked", {}, "OK 1", false, false},
      {"level 0", {}, "OK 0", false, false},
      {"refused", {}, "ERR", false, false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    Zastra fresh;
    FakeDaemon daemon(
        Exchanges({{"version", "OK 10 1.0"}, {"pass ", row.level}, {"pass ", row.level}}) +
        row.afterLevel);
    fresh.Connect("127.0.0.1", daemon.Port());
    EXPECT_EQ(fresh.IsAdmin(), row.admin);
    EXPECT_EQ(fresh.IsUser(), row.user);
    fresh.Disconnect();
    Check(daemon);
  }
}

TEST_F(ALogin, PassesAnUptimeOverflowOn) {
  FakeDaemon daemon(Exchanges(
      {{"version", "OK 11 2.0"}, {"md5pass", "OK 2"}, {"uptime", "OK 30000000000000000000"}}));
  ConnectTo(daemon);
  EXPECT_THROW(client.IsUser(), std::overflow_error);
  client.Disconnect();
  Check(daemon);
}

TEST_F(ALogin, GrantsAPermissionOnlyForTheNumberOne) {
  struct Row {
    std::string answer;
    bool allowed;
  } rows[] = {{"OK 1", true},  {"OK 01", true}, {"OK 1 yes", true}, {"OK  1", true},
              {"OK 2", false}, {"OK 0", false}, {"OK yes", false},  {"OK -1", false},
              {"ERR", false},  {"OK ", false}};
  AnswerEach("is-allowed dial", rows,
             [&](const Row& row) { EXPECT_EQ(client.IsDialAllowed(), row.allowed); });
}

TEST_F(ALogin, AsksEachPermissionByItsWord) {
  FakeDaemon daemon(Exchanges({{"is-allowed dial", "OK 1"},
                               {"is-allowed dialmode", "OK 0"},
                               {"is-allowed route", "OK 1"},
                               {"is-allowed addlink", "OK 0"},
                               {"is-allowed halt", "OK 1"},
                               {"is-allowed reboot", "OK 0"}}));
  ConnectTo(daemon);
  EXPECT_TRUE(client.IsDialAllowed());
  EXPECT_FALSE(client.IsDialmodeAllowed());
  EXPECT_TRUE(client.IsRouteAllowed());
  EXPECT_FALSE(client.IsAddLinkAllowed());
  EXPECT_TRUE(client.IsHaltAllowed());
  EXPECT_FALSE(client.IsRebootAllowed());
  client.Disconnect();
  Check(daemon);
}

TEST_F(ALogin, SendsNothingWhileNotConnected) {
  EXPECT_EQ(client.Pass("pw"), 0u);
  EXPECT_FALSE(client.IsAdmin());
  EXPECT_FALSE(client.IsUser());
  EXPECT_FALSE(client.IsRebootAllowed());
  EXPECT_EQ(client.Uptime(), 0u);
}

}  // namespace
}  // namespace zezar_test
