// The shipped Grafana dashboard against a real Prometheus that scrapes the real exporter, set up
// as the shipped prometheus.yml says, probing a simulated router: every query the dashboard
// makes must parse and return series. A query that names a metric the exporter does not write
// returns nothing, without an error: so an empty answer fails as well.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "posix/UniqueFd.h"
#include "routersim/ServerProcess.h"
#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using zezar_test::ChildProcess;
using zezar_test::TempDir;

std::string ReadFile(const std::filesystem::path& i_path) {
  std::ifstream in(i_path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Replaced(std::string i_strText, const std::string& i_strFrom,
                     const std::string& i_strTo) {
  for (std::size_t at = i_strText.find(i_strFrom); at != std::string::npos;
       at = i_strText.find(i_strFrom, at + i_strTo.size()))
    i_strText.replace(at, i_strFrom.size(), i_strTo);
  return i_strText;
}

std::string UrlEncoded(const std::string& i_strText) {
  std::string strOut;
  for (const unsigned char c : i_strText) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      strOut += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      strOut += escape;
    }
  }
  return strOut;
}

struct HttpAnswer {
  int status = 0;  // 0: no complete answer within the bound
  std::string body;
};

// One GET on a connection of its own. HTTP/1.0: the server closes after the answer, so the body
// is everything after the head.
HttpAnswer Get(uint16_t i_port, const std::string& i_strTarget) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(i_port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    return {};
  const std::string strRequest =
      "GET " + i_strTarget + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(i_port) + "\r\n\r\n";
  if (::send(fd.get(), strRequest.data(), strRequest.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(strRequest.size()))
    return {};
  std::string strAnswer;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd entry{fd.get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return {};
    char buffer[16384];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) return {};
    if (n == 0) break;
    strAnswer.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t head = strAnswer.find("\r\n\r\n");
  if (head == std::string::npos || strAnswer.compare(0, 5, "HTTP/") != 0) return {};
  HttpAnswer answer;
  answer.status = std::atoi(strAnswer.c_str() + strAnswer.find(' ') + 1);
  answer.body = strAnswer.substr(head + 4);
  return answer;
}

// The queries as Grafana sends them: its variables replaced by what they stand for with every
// router chosen. The rate interval and range only need to hold two of the test's scrapes.
std::string AsGrafanaSends(const std::string& i_strExpr, const std::string& i_strAllRouters) {
  std::string strExpr = Replaced(i_strExpr, "$__rate_interval", "1m");
  strExpr = Replaced(strExpr, "$__range", "1h");
  return Replaced(strExpr, "$router", i_strAllRouters);
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
    EXPECT_GT(o_exprs.size(), before) << "panel \"" << panel.value("title", "") << "\" asks nothing";
  }
}

// What is wrong with a query's answer, or "" when it parsed and returned series.
std::string Complaint(uint16_t i_prometheus, const std::string& i_strQuery) {
  const HttpAnswer answer = Get(i_prometheus, "/api/v1/query?query=" + UrlEncoded(i_strQuery));
  if (answer.status == 0) return "no answer";
  const json reply = json::parse(answer.body, nullptr, false);
  if (reply.is_discarded()) return "HTTP " + std::to_string(answer.status) + ": " + answer.body;
  if (reply.value("status", "") != "success") return reply.value("error", answer.body);
  if (reply["data"]["result"].empty()) return "no series";
  return "";
}

// Prometheus cannot listen on a port it chooses and say which: a free one, taken back at once.
uint16_t FreeLoopbackPort() {
  uint16_t port = 0;
  zezar_test::ListenOnLoopback(-1, port);
  return port;
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
  const auto config = dir.Write("exporter.toml",
                                "[[router]]\nname = \"office\"\naddress = \"127.0.0.1\"\nport = " +
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

  // The shipped configuration, pointed at this exporter and scraping every second.
  const std::filesystem::path shipped(ZEZAR_PROMETHEUS_FILES);
  std::string strConfig = Replaced(ReadFile(shipped / "prometheus.yml"), "localhost:10524", strExporter);
  strConfig = Replaced(strConfig, "scrape_interval: 15s", "scrape_interval: 1s");
  ASSERT_NE(strConfig.find(strExporter + "/sd"), std::string::npos) << strConfig;
  dir.Write("prometheus/prometheus.yml", strConfig);
  dir.Write("prometheus/alerts.yml", ReadFile(shipped / "alerts.yml"));
  const uint16_t port = FreeLoopbackPort();
  ChildProcess prometheus(ZEZAR_PROMETHEUS,
                          {"--config.file=" + (dir.path() / "prometheus/prometheus.yml").string(),
                           "--storage.tsdb.path=" + (dir.path() / "data").string(),
                           "--web.listen-address=127.0.0.1:" + std::to_string(port),
                           "--log.level=warn"},
                          {});

  const json dashboard = json::parse(ReadFile(shipped / "zezar-dashboard.json"));
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
      ASSERT_TRUE(std::regex_match(strDefinition, call,
                                   std::regex(R"(label_values\((\w+), *(\w+)\))")))
          << strDefinition;
      queries.push_back("group by (" + call[2].str() + ") (" + call[1].str() + "{" +
                        call[2].str() + "!=\"\"})");
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
          const std::string strComplaint = Complaint(port, strAsked);
          if (!strComplaint.empty()) complaints[strAsked] = strComplaint;
        }
        return complaints.empty();
      },
      15s);
  for (const auto& [strQuery, strComplaint] : complaints)
    ADD_FAILURE() << strQuery << "\n  " << strComplaint;

  prometheus.Signal(SIGTERM);
  const zezar_test::ChildResult stopped = prometheus.Finish();
  EXPECT_EQ(stopped.code, 0) << stopped.err;
  exporter.Signal(SIGTERM);
  EXPECT_EQ(exporter.Finish().code, 0);
}

}  // namespace
