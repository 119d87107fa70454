#include "cli/Settings.h"

#include <gtest/gtest.h>

#include "cli/Failure.h"
#include "preferences/testing/MemoryPreferences.h"
#include "router/testing/FixedRouter.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

using Preferences = std::map<std::string, preferences::PreferenceValue>;
using Environment = std::map<std::string, std::string>;

struct SettingRow {
  std::string name;
  ctl::Options options;
  Preferences preferences;
  Environment environment;
  std::optional<std::string> defaultRouter;
  std::string where;  // or the start of the usage error
  std::optional<std::string> admin = {}, user = {}, root = {};
};

TEST(Settings, ComeFromTheOptionsTheEnvironmentAndThePreferencesInThatOrder) {
  TempDir dir;
  const auto pw = dir.Write("pw", "from-file\r\nsecond line\n");
  const auto empty = dir.Write("empty", "\n");
  const std::string strMacRoman = "caf\xc3\xa9";  // UTF-8 é, 0x8e in Mac OS Roman
  const std::vector<SettingRow> rows = {
      {"defaults: the machine's router", {}, {}, {}, "192.0.2.1", "192.0.2.1:5000"},
      {"auto-detection finds none", {}, {}, {}, std::nullopt, "no router: this machine"},
      {"address from the preferences",
       {},
       {{"AutoDetectRouter", false},
        {"RouterIPAddress", std::string("10.9.8.7")},
        {"RouterPort", 8080L}},
       {},
       "192.0.2.1",
       "10.9.8.7:8080"},
      {"no address in the preferences",
       {},
       {{"AutoDetectRouter", false}},
       {},
       "192.0.2.1",
       "no router: RouterIPAddress"},
      {"a port of the wrong type is absent",
       {},
       {{"RouterPort", std::string("8080")}},
       {},
       "192.0.2.1",
       "192.0.2.1:5000"},
      {"a port out of range",
       {},
       {{"RouterPort", 70000L}},
       {},
       "192.0.2.1",
       "preferences: RouterPort 70000"},
      {"--router over everything",
       {std::string("127.0.0.2:7"), {}, {}},
       {{"RouterPort", 8080L}},
       {},
       "192.0.2.1",
       "127.0.0.2:7"},
      {"--router without a port",
       {std::string("localhost"), {}, {}},
       {},
       {},
       std::nullopt,
       "localhost:5000"},
      {"--router with a bad port",
       {std::string("h:x"), {}, {}},
       {},
       {},
       std::nullopt,
       "--router: port \"x\""},
      {"--router without a host",
       {std::string(":5000"), {}, {}},
       {},
       {},
       std::nullopt,
       "--router: no host"},
      {"passwords from the preferences",
       {},
       {{"RouterAdminPass", std::string("pa")}, {"RouterUserPass", std::string("pu")}},
       {},
       "192.0.2.1",
       "192.0.2.1:5000",
       "pa",
       "pu"},
      {"passwords from the environment",
       {},
       {{"RouterAdminPass", std::string("pa")}, {"RouterUserPass", std::string("pu")}},
       {{"ZEZAR_ADMIN_PASS", "ea"}, {"ZEZAR_USER_PASS", "eu"}, {"ZEZAR_ROOT_PASS", "er"}},
       "192.0.2.1",
       "192.0.2.1:5000",
       "ea",
       "eu",
       "er"},
      {"a password file over both",
       {std::nullopt, pw, pw},
       {{"RouterUserPass", std::string("pu")}},
       {{"ZEZAR_ADMIN_PASS", "ea"}, {"ZEZAR_ROOT_PASS", "er"}},
       "192.0.2.1",
       "192.0.2.1:5000",
       "from-file",
       std::nullopt,
       "from-file"},
      {"an empty password file",
       {std::nullopt, empty, {}},
       {},
       {},
       "192.0.2.1",
       (empty.string() + ": holds no password")},
      {"Mac OS Roman",
       {},
       {{"RouterAdminPass", strMacRoman}},
       {},
       "192.0.2.1",
       "192.0.2.1:5000",
       "caf\x8e"},
      {"no Mac OS Roman form: absent in the preferences",
       {},
       {{"RouterAdminPass", std::string("\xe4\xb8\xad")}},
       {},
       "192.0.2.1",
       "192.0.2.1:5000"},
      {"no Mac OS Roman form: refused from the environment",
       {},
       {},
       {{"ZEZAR_ADMIN_PASS", "\xe4\xb8\xad"}},
       "192.0.2.1",
       "$ZEZAR_ADMIN_PASS: the password"},
  };
  for (const SettingRow& row : rows) {
    SCOPED_TRACE(row.name);
    preferences::MemoryPreferences preferences(ctl::kPreferencesDomain);
    for (const auto& [key, value] : row.preferences) preferences.Set(key, value);
    preferences.AppSynchronize(ctl::kPreferencesDomain);
    const router::FixedRouter defaultRouter(row.defaultRouter);
    const ctl::Environment environment = [&](const char* i_pName) -> std::optional<std::string> {
      const auto found = row.environment.find(i_pName);
      if (found == row.environment.end()) return std::nullopt;
      return found->second;
    };
    try {
      const ctl::Settings settings =
          ctl::ResolveSettings(row.options, environment, preferences, defaultRouter);
      EXPECT_EQ(settings.Where(), row.where);
      EXPECT_EQ(settings.adminPassword, row.admin);
      EXPECT_EQ(settings.userPassword, row.user);
      EXPECT_EQ(settings.rootPassword, row.root);
    } catch (const ctl::Failure& failure) {
      EXPECT_EQ(failure.Code(), ctl::ExitCode::Usage);
      EXPECT_EQ(std::string(failure.what()).rfind(row.where, 0), 0u) << failure.what();
    }
  }
}

}  // namespace
}  // namespace zezar_test
