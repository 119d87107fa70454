// The shipped Grafana dashboard against a real Prometheus that scrapes the real exporter, set up
// as the shipped prometheus.yml says, probing a simulated router: every query the dashboard
// makes must parse and return series. A query that names a metric the exporter does not write
// returns nothing, without an error: so an empty answer fails as well.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "routersim/ServerProcess.h"
#include "support/ChildProcess.h"
#include "support/RealPrometheus.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using zezar_test::ChildProcess;
using zezar_test::RealPrometheus;
using zezar_test::TempDir;

// The queries as Grafana sends them: its variables replaced by what they stand for with every
// router chosen. The rate interval and range only need to hold two of the test's scrapes.
std::string AsGrafanaSends(const std::string& i_strExpr, const std::string& i_strAllRouters) {
  std::string strExpr = RealPrometheus::Replaced(i_strExpr, "$__rate_interval", "1m");
  strExpr = RealPrometheus::Replaced(strExpr, "$__range", "1h");
  return RealPrometheus::Replaced(strExpr, "$router", i_strAllRouters);
}

void CollectQueries(const json& i_panels, std::vector<std::string>& o_exprs, int& io_panels) {
  for (const json& panel : i_panels) {
    if (panel.value("type", "") == "row") {
      CollectQueries(panel.value("panels", json::array()), o_exprs, io_panels);
      continue;
    }
    ++io_panels;
    const std::size_t before = o_exprs.size();
    for (const json& target : panel.value("targets", json::array()))
      if (target.contains("expr")) o_exprs.push_back(target["expr"]);
    EXPECT_GT(o_exprs.size(), before)
        << "panel \"" << panel.value("title", "") << "\" asks nothing";
  }
}

// What is wrong with a query's answer, or "" when it parsed and returned series.
std::string Complaint(RealPrometheus& io_prometheus, const std::string& i_strQuery) {
  const json reply = io_prometheus.Query(i_strQuery);
  if (reply.is_null()) return "no answer";
  if (reply.is_discarded()) return "not JSON";
  if (reply.value("status", "") != "success") return reply.value("error", reply.dump());
  if (reply["data"]["result"].empty()) return "no series";
  return "";
}

TEST(TheShippedDashboard, AsksOnlyWhatPrometheusAnswersFromTheExporter) {
  if (::access(ZEZAR_PROMETHEUS, X_OK) != 0) GTEST_SKIP() << "Prometheus is not installed";
  TempDir dir;
  routersim::Router simulated = routersim::Router::WithChannels(2, 1);
  simulated.channels[0].rateIn = 6000;
  simulated.channels[0].rateOut = 800;
  simulated.channels[0].quantityIn = 123456;
  routersim::ServerProcess router(simulated);

  const auto password = dir.Write("office.pass", simulated.userPassword + "\n");
  ::chmod(password.c_str(), 0600);
  const auto config =
      dir.Write("exporter.toml", "[[router]]\nname = \"office\"\naddress = \"127.0.0.1\"\nport = " +
                                     std::to_string(router.Port()) + "\npassword_file = \"" +
                                     password.string() + "\"\nlabels = { site = \"test\" }\n");
  ChildProcess exporter(ZEZAR_EXPORTER,
                        {"--web.listen-address", "127.0.0.1:0", "--config.file", config.string()},
                        {});
  std::smatch listening;
  std::string strLog;
  ASSERT_TRUE(zezar_test::WaitUntil(
      [&] {
        strLog = exporter.Err();
        return std::regex_search(strLog, listening, std::regex("listening on port ([0-9]+)"));
      },
      10s))
      << strLog;
  const std::string strExporter = "127.0.0.1:" + listening[1].str();

  RealPrometheus prometheus(ZEZAR_PROMETHEUS, ZEZAR_PROMETHEUS_FILES, dir, strExporter);
  ASSERT_EQ(prometheus.ConfigProblem(), "");

  std::ifstream dashboardFile(std::filesystem::path(ZEZAR_PROMETHEUS_FILES) /
                              "zezar-dashboard.json");
  const json dashboard = json::parse(dashboardFile);
  std::vector<std::string> queries;
  int panels = 0;
  CollectQueries(dashboard["panels"], queries, panels);
  std::string strAllRouters;
  for (const json& variable : dashboard["templating"]["list"]) {
    if (variable["name"] == "router") {
      strAllRouters = variable["allValue"];
      // label_values(METRIC, LABEL) is Grafana's own: the series it reads must carry the label.
      std::smatch call;
      const std::string strDefinition = variable["definition"];
      ASSERT_TRUE(
          std::regex_match(strDefinition, call, std::regex(R"(label_values\((\w+), *(\w+)\))")))
          << strDefinition;
      queries.push_back("group by (" + call[2].str() + ") (" + call[1].str() + "{" + call[2].str() +
                        "!=\"\"})");
    }
  }
  ASSERT_FALSE(strAllRouters.empty()) << "no router variable";
  EXPECT_GE(panels, 10);

  // Until every query has its series: a scrape or two after the router was discovered. Well
  // inside the children's own deadline, so that they are still stopped, not killed.
  std::map<std::string, std::string> complaints;
  zezar_test::WaitUntil(
      [&] {
        complaints.clear();
        for (const std::string& strQuery : queries) {
          const std::string strAsked = AsGrafanaSends(strQuery, strAllRouters);
          const std::string strComplaint = Complaint(prometheus, strAsked);
          if (!strComplaint.empty()) complaints[strAsked] = strComplaint;
        }
        return complaints.empty();
      },
      15s);
  for (const auto& [strQuery, strComplaint] : complaints)
    ADD_FAILURE() << strQuery << "\n  " << strComplaint;

  const zezar_test::ChildResult stopped = prometheus.Stop();
  EXPECT_EQ(stopped.code, 0) << stopped.err;
  exporter.Signal(SIGTERM);
  EXPECT_EQ(exporter.Finish().code, 0);
}

}  // namespace
