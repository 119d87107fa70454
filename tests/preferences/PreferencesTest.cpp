#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "preferences/TomlPreferences.h"
#include "preferences/testing/MemoryPreferences.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

using preferences::MemoryPreferences;
using preferences::OtherValue;
using preferences::PreferenceValue;
using preferences::TomlPreferences;

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
  EXPECT_FALSE(preferences.HasGoodSettings());
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
}

// What the store holds after each change of its file in one run, starting without a file.
TEST(TomlPreferences, KeepsTheLastGoodSettingsThroughAProblem) {
  const std::string kOff = "AutoDetectRouter = false\n";
  const std::string kTypo = "AutoDetectRouter = flase\n";
  struct Step {
    std::optional<std::string> text;  // the file's; nothing: no file
    std::optional<bool> autoDetect;   // what the store holds then
    bool problem;
    bool good;
  };
  struct Story {
    const char* name;
    std::vector<Step> steps;
  } stories[] = {
      {"a typo, then its fix",
       {{kOff, false, false, true},
        {kTypo, false, true, true},
        {kTypo, false, true, true},
        {"AutoDetectRouter = true\n", true, false, true}}},
      {"a non-ASCII key",
       {{kOff, false, false, true}, {kOff + "\xC3\x84 = 1\n", false, true, true}}},
      {"17 KB of comments",
       {{kOff, false, false, true}, {kOff + std::string(17'000, '#'), false, true, true}}},
      {"a problem before any good read",
       {{kTypo, std::nullopt, true, false}, {kOff, false, false, true}}},
      {"the file removed, then a problem",
       {{kOff, false, false, true}, {std::nullopt, false, true, true}, {kTypo, false, true, true}}},
      {"the file removed, then an empty one: the defaults",
       {{kOff, false, false, true},
        {std::nullopt, false, true, true},
        {"", std::nullopt, false, true}}},
      {"no file yet", {{std::nullopt, std::nullopt, false, false}}},
  };
  for (const Story& story : stories) {
    TempDir dir;
    const auto file = dir.path() / "preferences.toml";
    TomlPreferences preferences(file, kDomain);
    for (std::size_t i = 0; i < story.steps.size(); ++i) {
      const Step& step = story.steps[i];
      SCOPED_TRACE(std::string(story.name) + ", step " + std::to_string(i + 1));
      if (step.text) {
        dir.Write("preferences.toml", *step.text);
      } else {
        std::filesystem::remove(file);
      }
      preferences.AppSynchronize(kDomain);
      EXPECT_EQ(preferences.CopyAppValue("AutoDetectRouter", kDomain),
                step.autoDetect ? std::optional(PreferenceValue(*step.autoDetect)) : std::nullopt);
      EXPECT_EQ(preferences.Problem().has_value(), step.problem);
      EXPECT_EQ(preferences.HasGoodSettings(), step.good);
    }
  }
}

// Interrupts a blocking call (an open that waits for a FIFO's writer) after a while, so that a
// fault shows as a failure, not a hang. The handler does nothing; without SA_RESTART the call
// returns EINTR.
class Watchdog {
 public:
  explicit Watchdog(unsigned i_uSeconds) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, &m_old);
    alarm(i_uSeconds);
  }
  ~Watchdog() {
    alarm(0);
    sigaction(SIGALRM, &m_old, nullptr);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  struct sigaction m_old {};
};

TEST(TomlPreferences, ReadsOnlyASmallRegularFileAndSaysWhyNot) {
  TempDir dir;
  const std::string kKey = "RouterPort = 5000\n";
  std::string exactly = kKey;
  exactly.resize(16 * 1024, '#');  // a comment fills it up
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.Write("target.toml", kKey), dir.path() / "link.toml");
  std::filesystem::create_symlink(dir.path() / "nowhere", dir.path() / "dangling.toml");
  std::string dotted = "a";
  for (int i = 1; i < 40000; ++i) dotted += ".a";
  dotted += " = 1\n";
  struct Row {
    const char* name;
    std::filesystem::path path;
    std::optional<std::string> problem;  // after "path: "
    bool hasKey;
  } rows[] = {
      {"exactly 16 KiB", dir.Write("exactly.toml", exactly), std::nullopt, true},
      {"a symbolic link to a file", dir.path() / "link.toml", std::nullopt, true},
      {"a dangling link: no file", dir.path() / "dangling.toml", std::nullopt, false},
      {"one byte more", dir.Write("more.toml", exactly + "#"), "larger than 16 KiB", false},
      {"9 MB", dir.Write("huge.toml", kKey + std::string(9'000'000, '#')), "larger than 16 KiB",
       false},
      {"a dotted key of 40 000 parts", dir.Write("deep.toml", dotted), "larger than 16 KiB", false},
      {"a directory", dir.path(), "not a regular file", false},
      {"a FIFO without a writer", fifo, "not a regular file", false},
      {"/dev/null", "/dev/null", "not a regular file", false},
      {"/dev/zero", "/dev/zero", "not a regular file", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Watchdog watchdog(5);
    TomlPreferences preferences(row.path, kDomain);
    EXPECT_EQ(preferences.Problem(),
              row.problem ? std::optional(row.path.string() + ": " + *row.problem) : std::nullopt);
    EXPECT_EQ(preferences.CopyAppValue("RouterPort", kDomain).has_value(), row.hasKey);
  }
}

// toml++ 3.3.0 reached undefined behaviour on each of these before it reported it, one row for
// each place where it did, until preferences/Toml.h mended it (under the sanitizers, each fault
// stops the test). Now each is a problem that says where or, where the text is TOML, values.
TEST(TomlPreferences, TakesWhatTrippedItsParserForAProblemThatSaysWhere) {
  const std::string e = "\xC3\xA9";  // é in UTF-8
  struct Row {
    const char* name;
    std::string text;
    std::optional<std::string> where;  // "line:column", after "path:"; nothing: no problem
  } rows[] = {
      {"a non-ASCII bare key", e + " = 1\n", "1:1"},
      {"a non-ASCII character after a bare value", "f=7'\xEF\xB3\xBF`#'", "1:4"},
      {"after a line-ending backslash, in TOML", "U = \"\"\"a\\\n  " + e + "\"\"\"\n",
       std::nullopt},
      {"a date and a lone digit", "d = 1979-05-27 0\n", "1:5"},
      {"a date and a time that is not one", "E = 1979-05-27T*7:32:00Z\n", "1:16"},
      {"a brace where an array expects a value", "ZE=[[\n}", "2:1"},
      {"three brackets", "[[[a]]]\n", "1:3"},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto file = dir.Write("preferences.toml", row.text);
    TomlPreferences preferences(file, kDomain);
    const auto problem = preferences.Problem();
    if (!row.where) {
      EXPECT_EQ(problem, std::nullopt);
      continue;
    }
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->rfind(file.string() + ":" + *row.where + ": ", 0), 0u) << *problem;
  }
}

// Text of at most i_uSize bytes: i_strHead, then i_strUnit as often as fits before i_strTail.
std::string Filled(std::string i_strHead, const std::string& i_strUnit,
                   const std::string& i_strTail, std::size_t i_uSize) {
  while (i_strHead.size() + i_strUnit.size() + i_strTail.size() <= i_uSize) i_strHead += i_strUnit;
  return i_strHead + i_strTail;
}

// "x = " and i_strInside within i_uDepth pairs of i_strOpen and i_strClose.
std::string Nested(std::size_t i_uDepth, const std::string& i_strOpen,
                   const std::string& i_strInside, const std::string& i_strClose) {
  std::string strText = "x=";
  for (std::size_t i = 0; i < i_uDepth; ++i) strText += i_strOpen;
  strText += i_strInside;
  for (std::size_t i = 0; i < i_uDepth; ++i) strText += i_strClose;
  return strText;
}

// The parser recurses as deep as a file nests, on a stack sized for the deepest nesting 16 KiB
// can hold: too small a stack ends this test with SIGSEGV.
TEST(TomlPreferences, ReadsTheDeepestNestingItsSizeAllows) {
  constexpr std::size_t kSize = 16 * 1024;
  struct Row {
    const char* name;
    std::string text;
    std::optional<std::string> where;  // of the problem, as "line:column"; nothing: key x or a
  } rows[] = {
      {"a dotted key", Filled("a", ".a", "=1\n", kSize), std::nullopt},
      {"a table header", Filled("[a", ".a", "]\n", kSize), std::nullopt},
      {"an array of tables", Filled("[[a", ".a", "]]\n", kSize), std::nullopt},
      {"a dotted key, then a mistake", Filled("a", ".a", "=1\n=", kSize), "2:1"},
      {"arrays, as deep as the parser goes", Nested(256, "[", "", "]"), std::nullopt},
      {"arrays, deeper", Nested((kSize - 2) / 2, "[", "", "]"), "1:259"},
      {"inline tables, deeper", Nested((kSize - 3) / 4, "{a=", "1", "}"), "1:771"},
      // The worst: the parser as deep as it goes when a long chain of keys unwinds.
      {"inline tables around a dotted key that clashes",
       Nested(254, "{a=", Filled("{a", ".a", "=1,a=2}", kSize - 2 - 254 * 4), "}"), "1:16128"},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_LE(row.text.size(), kSize);
    const auto file = dir.Write("deep.toml", row.text);
    TomlPreferences preferences(file, kDomain);
    const auto problem = preferences.Problem();
    if (!row.where) {
      EXPECT_EQ(problem, std::nullopt);
      EXPECT_TRUE(preferences.CopyAppValue("x", kDomain) || preferences.CopyAppValue("a", kDomain));
      continue;
    }
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->rfind(file.string() + ":" + *row.where + ": ", 0), 0u) << *problem;
  }
}

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
  preferences::InstallPreferences(&preferences);
  EXPECT_EQ(&preferences::Preferences(), &preferences);
  preferences::InstallPreferences(nullptr);
  EXPECT_THROW(preferences::Preferences(), std::logic_error);
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
