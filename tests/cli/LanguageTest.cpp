// zezarctl speaks the user's language to people and English to programs.

#include <gtest/gtest.h>

#include "SimulatedRouter.h"
#include "support/FakeDaemon.h"

namespace zezar_test {
namespace {

const std::map<std::string, std::string> kEnglish = {{"ZEZAR_ADMIN_PASS", "admin"}};
const std::map<std::string, std::string> kGerman = {
    {"ZEZAR_ADMIN_PASS", "admin"}, {"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}};

// The document without what moves from one look to the next.
nlohmann::json Steady(const std::string& i_strText) {
  nlohmann::json json = Parsed(i_strText);
  if (json.is_object()) {
    json.erase("uptime");
    json.erase("time");
  }
  return json;
}

TEST(Zezarctl, SpeaksTheUsersLanguageToPeople) {
  SimulatedRouter router;
  const CtlResult status = router.Run({"status"}, kGerman);
  EXPECT_EQ(status.code, 0) << status.err;
  EXPECT_NE(status.out.find("Anmeldung  Administrator (Stufe 4)\n"), std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("Kanal 2 (isdn) offline\n"), std::string::npos) << status.out;
  const CtlResult refused = router.Run({"reboot"}, kGerman);  // no terminal to ask on
  EXPECT_EQ(refused.code, 2);
  EXPECT_NE(refused.err.find("Neu starten?"), std::string::npos) << refused.err;
}

TEST(Zezarctl, SpeaksEnglishToProgramsWhateverTheLanguage) {
  SimulatedRouter router;
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"status", "--json"}, {"channels", "--json"}, {"watch", "--count", "1"}}) {
    SCOPED_TRACE(arguments.front());
    const CtlResult english = router.Run(arguments, kEnglish);
    const CtlResult german = router.Run(arguments, kGerman);
    EXPECT_EQ(german.code, 0) << german.err;
    EXPECT_EQ(Steady(german.out), Steady(english.out)) << german.out;
  }
  // The metrics' words too, and an error that goes into a document.
  const CtlResult metrics = router.Run({"metrics"}, kGerman);
  EXPECT_NE(metrics.out.find("# HELP zezar_up 1 when the router answered"), std::string::npos);
  RefusingPort refusing;
  const CtlResult down =
      RunCtl({"--router", "127.0.0.1:" + std::to_string(refusing.Port()), "watch", "--count", "1"},
             kGerman);
  EXPECT_NE(Parsed(down.out)["error"].get<std::string>().find("cannot connect to"),
            std::string::npos)
      << down.out;
}

}  // namespace
}  // namespace zezar_test
