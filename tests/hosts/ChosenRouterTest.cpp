// The monitor falls back on the machine's default router only where the user can have chosen it.

#include "hosts/ChosenRouter.h"

#include <gtest/gtest.h>

#include "preferences/TomlPreferences.h"
#include "router/testing/FixedRouter.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

TEST(TheChosenRouter, IsNoneWhileAFileThatWasNeverGoodIsBroken) {
  struct Row {
    const char* name;
    std::vector<std::string> files;  // the file as each read finds it; "" for none
    std::optional<std::string> router;
  } rows[] = {
      {"no file: the default applies", {""}, "192.0.2.1"},
      {"a good file", {"RouterPort = 5000\n"}, "192.0.2.1"},
      {"broken from the start", {"AutoDetectRouter = fals\n"}, std::nullopt},
      {"broken after it was good",
       {"AutoDetectRouter = true\n", "AutoDetectRouter = \n"},
       "192.0.2.1"},
      {"fixed again", {"x = \n", "AutoDetectRouter = true\n"}, "192.0.2.1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const std::filesystem::path file = dir.path() / "preferences.toml";
    preferences::TomlPreferences store(file, "domain");
    const router::FixedRouter machine("192.0.2.1");
    const zezar::ChosenRouter chosen(machine, store);
    for (const std::string& text : row.files) {
      if (text.empty()) {
        std::filesystem::remove(file);
      } else {
        dir.Write("preferences.toml", text);
      }
      store.AppSynchronize("domain");
    }
    EXPECT_EQ(chosen.DefaultIPv4Router(), row.router);
  }
}

}  // namespace
}  // namespace zezar_test
