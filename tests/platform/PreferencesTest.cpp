#include <gtest/gtest.h>

#include <stdexcept>

#include <cstdlib>

#include "platform/TomlPreferences.h"
#include "platform/testing/MemoryPreferences.h"
#include "tests/platform/TempDir.h"

namespace zezar_test {
namespace {

using platform::MemoryPreferences;
using platform::OtherValue;
using platform::PreferenceValue;
using platform::TomlPreferences;

const std::string kDomain = "org.zezar.test";

TEST(TomlPreferences, ReadsEachTypeAsItIs) {
  TempDir dir;
  const auto file = dir.Write("preferences.toml", R"(
UpdateInterval = 10
MaxChannelRate = 64.9
Negative = -3.7
RebootHaltEnabled = true
RouterIPAddress = "192.168.1.1"
Umlaut = "Käse"
List = [1, 2]
When = 2026-12-08
Huge = 1e300
[Table]
inner = 1
)");
  TomlPreferences preferences(file, kDomain);
  struct Row {
    const char* key;
    std::optional<PreferenceValue> value;
  } rows[] = {
      {"UpdateInterval", PreferenceValue(10L)},
      {"MaxChannelRate", PreferenceValue(64L)},
      {"Negative", PreferenceValue(-3L)},
      {"RebootHaltEnabled", PreferenceValue(true)},
      {"RouterIPAddress", PreferenceValue(std::string("192.168.1.1"))},
      {"Umlaut", PreferenceValue(std::string("K\xC3\xA4se"))},
      {"List", PreferenceValue(OtherValue{})},
      {"When", PreferenceValue(OtherValue{})},
      {"Table", PreferenceValue(OtherValue{})},
      {"Huge", PreferenceValue(std::numeric_limits<long>::max())},
      {"Missing", std::nullopt},
      {"inner", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(preferences.CopyAppValue(row.key, kDomain), row.value);
  }
  EXPECT_EQ(preferences.CopyAppValue("UpdateInterval", "org.other"), std::nullopt);
  EXPECT_EQ(preferences.Problem(), std::nullopt);
}

TEST(TomlPreferences, HoldsNothingWithoutAFile) {
  TempDir dir;
  TomlPreferences preferences(dir.path() / "absent.toml", kDomain);
  EXPECT_EQ(preferences.CopyAppValue("UpdateInterval", kDomain), std::nullopt);
  EXPECT_EQ(preferences.Problem(), std::nullopt);
}

TEST(TomlPreferences, HoldsNothingFromAMalformedFileAndSaysWhere) {
  TempDir dir;
  const auto file = dir.Write("preferences.toml", "UpdateInterval = 5\nRouterPort = = 8080\n");
  TomlPreferences preferences(file, kDomain);
  EXPECT_EQ(preferences.CopyAppValue("UpdateInterval", kDomain), std::nullopt);
  ASSERT_TRUE(preferences.Problem().has_value());
  EXPECT_EQ(preferences.Problem()->rfind(file.string() + ":2:", 0), 0u) << *preferences.Problem();
}

TEST(TomlPreferences, ReadsTheFileAgainOnEverySynchronize) {
  TempDir dir;
  const auto file = dir.Write("preferences.toml", "RouterPort = 5000\n");
  TomlPreferences preferences(file, kDomain);
  dir.Write("preferences.toml", "RouterPort = 8080\n");
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), PreferenceValue(5000L));
  preferences.AppSynchronize("org.other");
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), PreferenceValue(5000L));
  preferences.AppSynchronize(kDomain);
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), PreferenceValue(8080L));
  dir.Write("preferences.toml", "RouterPort = [\n");
  preferences.AppSynchronize(kDomain);
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), std::nullopt);
  EXPECT_TRUE(preferences.Problem().has_value());
  std::filesystem::remove(file);
  preferences.AppSynchronize(kDomain);
  EXPECT_EQ(preferences.Problem(), std::nullopt);
}

// Sets an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* i_pName, const char* i_pValue) : m_strName(i_pName) {
    if (const char* pOld = std::getenv(i_pName)) m_old = pOld;
    if (i_pValue != nullptr) {
      setenv(i_pName, i_pValue, 1);
    } else {
      unsetenv(i_pName);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      setenv(m_strName.c_str(), m_old->c_str(), 1);
    } else {
      unsetenv(m_strName.c_str());
    }
  }

 private:
  std::string m_strName;
  std::optional<std::string> m_old;
};

TEST(TomlPreferences, FindsItsFileByTheEnvironment) {
  struct Row {
    const char* explicitFile;
    const char* configHome;
    const char* home;
    std::string path;
  } rows[] = {
      {"/tmp/p.toml", "/cfg", "/home/u", "/tmp/p.toml"},
      {nullptr, "/cfg", "/home/u", "/cfg/zezar/preferences.toml"},
      {"", "", "/home/u", "/home/u/.config/zezar/preferences.toml"},
      {nullptr, nullptr, "/home/u", "/home/u/.config/zezar/preferences.toml"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    ScopedEnv explicitFile("ZEZAR_PREFERENCES", row.explicitFile);
    ScopedEnv configHome("XDG_CONFIG_HOME", row.configHome);
    ScopedEnv home("HOME", row.home);
    EXPECT_EQ(TomlPreferences::DefaultPath(), row.path);
  }
}

TEST(ThePreferences, ComeFromTheInstalledStoreOnly) {
  MemoryPreferences preferences(kDomain);
  platform::InstallPreferences(&preferences);
  EXPECT_EQ(&platform::Preferences(), &preferences);
  platform::InstallPreferences(nullptr);
  EXPECT_THROW(platform::Preferences(), std::logic_error);
}

TEST(MemoryPreferences, ShowsWhatWasStoredAfterASynchronize) {
  MemoryPreferences preferences(kDomain);
  preferences.Set("RouterPort", 8080L);
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), std::nullopt);
  preferences.AppSynchronize(kDomain);
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), PreferenceValue(8080L));
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", "org.other"), std::nullopt);
  preferences.Remove("RouterPort");
  preferences.AppSynchronize(kDomain);
  EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain), std::nullopt);
}

}  // namespace
}  // namespace zezar_test
