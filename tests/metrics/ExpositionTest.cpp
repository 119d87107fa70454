// The exposition format as Prometheus reads it: label values from outside stay inside their
// quotes, and a router's whole state is a page promtool accepts.

#include "metrics/Exposition.h"

#include <gtest/gtest.h>

#include "metrics/RouterMetrics.h"
#include "support/Promtool.h"

namespace zezar_test {
namespace {

TEST(ALabelValue, IsEscapedAndMadeValidUtf8) {
  const struct {
    const char* name;
    std::string value;
    std::string escaped;
  } rows[] = {
      {"plain", "1.2 beta", "1.2 beta"},
      {"quote, backslash, line feed", "a\"b\\c\nd", "a\\\"b\\\\c\\nd"},
      {"a closing brace and a comma", "x\"} 1\ny{a=\"", "x\\\"} 1\\ny{a=\\\""},
      {"UTF-8 kept",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC"},
      {"a byte that is no character",
       "a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"a sequence cut short at the end", "a\xC3", "a\xEF\xBF\xBD"},
      {"an overlong form", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"a surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(metrics::EscapedLabelValue(row.value), row.escaped);
  }
}

TEST(ANumber, IsWrittenAsTheFormatReadsIt) {
  EXPECT_EQ(metrics::FormatValue(0.07), "0.07");
  EXPECT_EQ(metrics::FormatValue(147456), "147456");
  EXPECT_EQ(metrics::FormatValue(1.0 / 0.0), "+Inf");
}

// Every text field a router answers, full of what could break the page.
router::State HostileState() {
  const std::string hostile = "q\"b\\n\nl\r\x01\x7f\t\xC3\xA9 } x=\"1\"\n# TYPE evil gauge";
  router::State state;
  state.reachable = true;
  state.protocol = 11;
  state.version = hostile;
  state.level = 2;
  state.uptime = 5;
  state.cpu = 100;
  state.permissions = {{"dial", true}, {"halt", false}};
  router::Channel channel;
  channel.name = "1";
  channel.online = true;
  channel.address = hostile;
  channel.rate = {1, 2};
  channel.quantity = router::Traffic{3, 4};
  channel.capacity = router::kDefaultChannelCapacity;
  state.channels = {channel};
  return state;
}

TEST(ARoutersState, IsAPagePrometheusAccepts) {
  if (!HavePromtool()) GTEST_SKIP() << "no promtool here";
  for (const metrics::Labels& common :
       {metrics::Labels{}, metrics::Labels{{"router", "r\"\n:1"}}}) {
    metrics::Exposition page(common);
    metrics::AddRouter(page, HostileState());
    EXPECT_EQ(PromtoolComplaints(page.Text()), "") << page.Text();
    EXPECT_EQ(page.Text().find("\n# TYPE evil"), std::string::npos);
  }
}

}  // namespace
}  // namespace zezar_test
