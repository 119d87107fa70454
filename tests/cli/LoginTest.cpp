// zezarctl's login: a router that offered the salted form gets no plain password later.

#include <gtest/gtest.h>

#include <fstream>

#include "SimulatedRouter.h"
#include "support/TempDir.h"

namespace zezar_test {
namespace {

TEST(Zezarctl, SendsNoPlainPasswordToARouterThatOnceOfferedTheSaltedOne) {
  TempDir dir;
  routersim::Router plain = SimulatedRouter::Standard();
  plain.protocol = 10;
  SimulatedRouter router(plain);
  std::filesystem::create_directories(dir.path() / "zezar");
  std::ofstream(dir.path() / "zezar" / "salted-logins") << router.Address() << "\n";
  const auto environment = [&](const std::string& i_strPreferences) {
    return std::map<std::string, std::string>{
        {"ZEZAR_ADMIN_PASS", "admin"},
        {"XDG_STATE_HOME", dir.path().string()},
        {"ZEZAR_PREFERENCES", dir.Write("preferences.toml", i_strPreferences).string()}};
  };

  const CtlResult refused = router.Run({"status"}, environment(""));
  EXPECT_EQ(refused.code, 4);
  EXPECT_EQ(refused.err,
            "zezarctl: router offers only plain-text login; not sending the password\n");
  const CtlResult allowed = router.Run({"status"}, environment("AllowPlainTextLogin = true\n"));
  EXPECT_EQ(allowed.code, 0) << allowed.err;
}

TEST(Zezarctl, RemembersTheRoutersThatOfferTheSaltedLogin) {
  TempDir dir;
  SimulatedRouter router;  // protocol 11
  const CtlResult status = router.Run(
      {"status"}, {{"ZEZAR_ADMIN_PASS", "admin"}, {"XDG_STATE_HOME", dir.path().string()}});
  EXPECT_EQ(status.code, 0) << status.err;
  std::ifstream file(dir.path() / "zezar" / "salted-logins");
  std::string strLine;
  std::getline(file, strLine);
  EXPECT_EQ(strLine, router.Address());
}

}  // namespace
}  // namespace zezar_test
