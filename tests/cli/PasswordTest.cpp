// zezarctl and the keyring: password set, where and forget against a real Secret Service on
// the test's own bus, read back with secret-tool; the keyring as the last password source.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "SimulatedRouter.h"
#include "support/SecretService.h"
#include "support/SessionBus.h"

namespace zezar_test {
namespace {

constexpr const char* kRouter = "127.0.0.1:5000";

class ZezarctlWithAKeyring : public ::testing::Test {
 protected:
  CtlResult Ctl(const std::vector<std::string>& i_arguments, const std::string& i_strInput = "",
                std::map<std::string, std::string> i_extra = {}) {
    std::map<std::string, std::string> environment = keyring.Environment();
    environment.merge(i_extra);
    return RunCtl(i_arguments, environment, i_strInput);
  }
  // What the keyring holds for the router's login, as secret-tool finds it.
  std::string Stored(const std::string& i_strRole, const std::string& i_strRouter = kRouter) {
    const ChildResult lookup = keyring.SecretTool(
        {"lookup", "application", "zezar", "router", i_strRouter, "role", i_strRole});
    return lookup.code == 0 ? lookup.out : "(none)";
  }

  SessionBus bus;
  SecretService keyring{bus.Address()};
};

TEST_F(ZezarctlWithAKeyring, StoresEachPasswordAsGivenUnderTheDocumentedAttributes) {
  struct Row {
    const char* name;
    std::string password;
    bool admin;
  };
  const Row rows[] = {
      {"plain", "secret", false},
      {"quotes and backslashes", R"(a"b'c\d\\)", true},
      {"beyond ASCII, in Mac OS Roman", "pässwörd€", false},
      {"4 KiB", std::string(4096, 'x'), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> arguments = {"--router", kRouter, "password", "set"};
    if (row.admin) arguments.push_back("--admin");
    const CtlResult set = Ctl(arguments, row.password + "\n");
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(Stored(row.admin ? "admin" : "user"), row.password);
  }
  const ChildResult search = keyring.SecretTool({"search", "--all", "application", "zezar"});
  EXPECT_NE(search.out.find("label = Zezar: 127.0.0.1:5000 (user)"), std::string::npos);
  EXPECT_NE(search.out.find("label = Zezar: 127.0.0.1:5000 (administrator)"), std::string::npos);
}

TEST_F(ZezarctlWithAKeyring, RefusesAPasswordTheRouterCannotTakeAndStoresNothing) {
  struct Row {
    const char* name;
    std::string input;
    std::string message;
  };
  const Row rows[] = {
      {"two lines", "first\nsecond\n", "cannot hold a line end"},
      {"longer than 4 KiB", std::string(4097, 'x'), "longer than 4096 bytes"},
      {"not UTF-8", "p\xff\xfe\n", "not UTF-8 text"},
      {"no Mac OS Roman form", "\xF0\x9F\x94\x91\n", "cannot take"},
      {"empty", "\n", "empty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CtlResult set = Ctl({"--router", kRouter, "password", "set"}, row.input);
    EXPECT_EQ(set.code, 2);
    EXPECT_NE(set.err.find(row.message), std::string::npos) << set.err;
    EXPECT_EQ(Stored("user"), "(none)");
  }
}

TEST_F(ZezarctlWithAKeyring, SaysWhereEachPasswordComesFromAndForgetsThem) {
  ASSERT_EQ(Ctl({"--router", kRouter, "password", "set"}, "one\n").code, 0);
  // A second item for the same login, stored by hand later: the newest wins. The keyring keeps
  // times in seconds, so the second comes in the next one.
  const std::time_t stored = std::time(nullptr);
  for (int i = 0; i < 400 && std::time(nullptr) <= stored; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(keyring
                .SecretTool({"store", "--label", "by hand", "application", "zezar", "router",
                             kRouter, "role", "user", "note", "a second item"},
                            "two")
                .code,
            0);
  const CtlResult where = Ctl({"--router", kRouter, "password", "where"});
  EXPECT_EQ(where.code, 0) << where.err;
  EXPECT_EQ(where.out,
            "administrator: none\nuser: the keyring: \"by hand\", the newest of 2 items\n");
  EXPECT_EQ(where.out.find("two"), std::string::npos);
  // A password in the preferences: files that have one work as they did, without the keyring.
  TempDir dir;
  const auto preferences = dir.Write("preferences.toml", "RouterAdminPass = \"adm\"\n");
  EXPECT_EQ(Ctl({"--router", kRouter, "password", "where"}, "",
                {{"ZEZAR_PREFERENCES", preferences.string()}})
                .out,
            "administrator: the preferences: RouterAdminPass in " + preferences.string() +
                "\nuser: none (the keyring's \"by hand\" is not asked while the other login has "
                "a password elsewhere)\n");

  const CtlResult forget = Ctl({"--router", kRouter, "password", "forget"});
  EXPECT_EQ(forget.code, 0) << forget.err;
  EXPECT_EQ(forget.out, "forgot 2 items of the keyring\n");
  EXPECT_EQ(Stored("user"), "(none)");
  EXPECT_EQ(Ctl({"--router", kRouter, "password", "where"}).out,
            "administrator: none\nuser: none\n");
}

TEST_F(ZezarctlWithAKeyring, LogsInWithTheKeyringsPasswordsAndSaysWhenItIsLocked) {
  SimulatedRouter router;
  ASSERT_EQ(Ctl({"--router", router.Address(), "password", "set", "--admin"}, "admin\n").code, 0);
  const CtlResult status = Ctl({"--router", router.Address(), "--json", "status"});
  ASSERT_EQ(status.code, 0) << status.err;
  EXPECT_EQ(Parsed(status.out)["login"], "admin");

  ASSERT_TRUE(keyring.Lock());
  // Not on a terminal: nobody to unlock it for, so no prompt holds the script up.
  const CtlResult locked = Ctl({"--router", router.Address(), "status"});
  EXPECT_EQ(locked.code, 4);
  EXPECT_NE(locked.err.find("Passwords locked in the keyring"), std::string::npos) << locked.err;
  EXPECT_NE(Ctl({"--router", router.Address(), "password", "where"}).out.find(", locked"),
            std::string::npos);
}

TEST(Zezarctl, TellsOfAMissingSecretServiceAndGoesOnWithoutIt) {
  SessionBus bus;  // with no keyring on it
  const std::map<std::string, std::string> environment = {
      {"DBUS_SESSION_BUS_ADDRESS", bus.Address()}};
  const CtlResult set = RunCtl({"--router", kRouter, "password", "set"}, environment, "pw\n");
  EXPECT_EQ(set.code, 1);
  EXPECT_EQ(set.err.rfind("zezarctl: keyring: ", 0), 0u) << set.err;
  EXPECT_EQ(set.err.find("pw"), std::string::npos);
  const CtlResult where = RunCtl({"--router", kRouter, "password", "where"}, environment);
  EXPECT_EQ(where.code, 0) << where.err;
  EXPECT_EQ(where.out.rfind("administrator: none (keyring: ", 0), 0u) << where.out;
  SimulatedRouter router;
  auto withPassword = environment;
  withPassword["ZEZAR_ADMIN_PASS"] = "admin";
  EXPECT_EQ(router.Run({"status"}, withPassword).code, 0);
}

}  // namespace
}  // namespace zezar_test
