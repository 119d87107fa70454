// Text from a hostile router reaches people only as printable characters: nothing it sends
// retitles or clears their terminal. The JSON keeps it exact, escaped as JSON does.

#include <gtest/gtest.h>

#include "SimulatedRouter.h"

namespace zezar_test {
namespace {

// Retitles the terminal, rings, clears the screen; then markup for the bars.
const std::string kHostile = "\x1b]0;TITLE\x07\x1b[2J<b>10.0.0.1&";

// Whether a terminal would act on something in the text: C0 controls (but the tab and line feed
// of the output's own layout), DEL, and C1 controls in UTF-8.
bool SteersATerminal(const std::string& i_strText) {
  for (std::size_t i = 0; i < i_strText.size(); ++i) {
    const auto c = static_cast<unsigned char>(i_strText[i]);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < i_strText.size() &&
        static_cast<unsigned char>(i_strText[i + 1]) <= 0x9F)
      return true;
  }
  return false;
}

TEST(Zezarctl, ShowsPeopleTheRoutersTextOnlyAsPrintableCharacters) {
  routersim::Router config = SimulatedRouter::Standard();
  config.versionText = kHostile;
  config.date = kHostile;
  config.timetable = {kHostile};
  config.channels[0].address = kHostile;
  config.channels[0].phone = kHostile;
  config.circuits[0].name = kHostile;
  config.circuits[0].device = "isdn\x1b[31m";
  SimulatedRouter router(config);
  struct Row {
    std::vector<std::string> arguments;
    std::string pointer;  // where the JSON holds the text exactly
  };
  const std::vector<Row> rows = {
      {{"status"}, "/version"},        {{"status"}, "/channels/1/address"},
      {{"channels"}, "/1/address"},    {{"channel", "1"}, "/phone"},
      {{"circuits"}, "/0/name"},       {{"date"}, "/date"},
      {{"timetable"}, "/timetable/0"}, {{"watch", "--count", "1"}, "/channels/1/address"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments.front() + " " + row.pointer);
    const CtlResult human = router.Run(row.arguments);
    EXPECT_EQ(human.code, 0) << human.err;
    if (row.arguments.front() != "watch") {
      EXPECT_FALSE(SteersATerminal(human.out)) << human.out;
      EXPECT_NE(human.out.find("]0;TITLE\xEF\xBF\xBD\xEF\xBF\xBD[2J<b>10.0.0.1&"),
                std::string::npos)
          << human.out;  // the rest still shows, each control as U+FFFD
    }
    std::vector<std::string> arguments = row.arguments;
    arguments.push_back("--json");
    const nlohmann::json document = Parsed(router.Run(arguments).out);
    ASSERT_FALSE(document.is_discarded());
    const nlohmann::json::json_pointer pointer(row.pointer);
    ASSERT_TRUE(document.contains(pointer)) << document;
    EXPECT_EQ(document[pointer], kHostile);
  }
  const CtlResult support = router.Run({"support"});
  EXPECT_FALSE(SteersATerminal(support.out)) << support.out;
  const CtlResult circuits = router.Run({"circuits"});
  EXPECT_NE(circuits.out.find("isdn\xEF\xBF\xBD[31m"), std::string::npos) << circuits.out;
}

}  // namespace
}  // namespace zezar_test
