// A real Prometheus, started here on loopback with a one-second scrape, finding the routers
// through the exporter's /sd and scraping each through /probe, as the field runs it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ExporterProcess.h"
#include "Http.h"
#include "routersim/ServerProcess.h"
#include "support/Loopback.h"

namespace zezar_test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr const char* kPrometheus = "/usr/bin/prometheus";

std::string UrlEncoded(const std::string& i_strText) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string strOut;
  for (const unsigned char c : i_strText) {
    if (std::isalnum(c) || c == '_' || c == '-' || c == '.') {
      strOut += static_cast<char>(c);
    } else {
      strOut += '%';
      strOut += kHex[c >> 4];
      strOut += kHex[c & 15];
    }
  }
  return strOut;
}

class APrometheus {
 public:
  APrometheus(const TempDir& i_dir, uint16_t i_exporterPort) {
    {
      uint16_t port = 0;
      const posix::UniqueFd probe = ListenOnLoopback(1, port);  // a free port, given back
      m_port = port;
    }
    const std::string strExporter = "127.0.0.1:" + std::to_string(i_exporterPort);
    i_dir.Write("prometheus.yml",
                "global: {scrape_interval: 1s, scrape_timeout: 1s, evaluation_interval: 1s}\n"
                "scrape_configs:\n"
                "  - job_name: zezar\n"
                "    metrics_path: /probe\n"
                "    http_sd_configs: [{url: 'http://" +
                    strExporter +
                    "/sd', refresh_interval: 1s}]\n"
                    "    relabel_configs:\n"
                    "      - {source_labels: [__address__], target_label: __param_target}\n"
                    "      - {source_labels: [__param_target], target_label: instance}\n"
                    "      - {target_label: __address__, replacement: '" +
                    strExporter +
                    "'}\n"
                    "  - job_name: zezar-exporter\n"
                    "    static_configs: [{targets: ['" +
                    strExporter + "']}]\n");
    m_process = std::make_unique<ChildProcess>(
        kPrometheus,
        std::vector<std::string>{"--config.file=" + (i_dir.path() / "prometheus.yml").string(),
                                 "--storage.tsdb.path=" + (i_dir.path() / "data").string(),
                                 "--web.listen-address=127.0.0.1:" + std::to_string(m_port),
                                 "--log.level=warn"},
        std::map<std::string, std::string>{});
  }

  // The instant query's samples by instance; empty while there are none or it is not up.
  std::map<std::string, std::string> Query(const std::string& i_strQuery) {
    std::map<std::string, std::string> samples;
    const HttpReply reply =
        HttpGet(m_port, "/api/v1/query?query=" + UrlEncoded(i_strQuery), "GET", 2s);
    const Json json = Json::parse(reply.body, nullptr, false);
    if (reply.status != 200 || json.is_discarded()) return samples;
    for (const Json& sample : json["data"]["result"])
      samples[sample["metric"].value("instance", "")] = sample["value"][1];
    return samples;
  }
  ChildProcess& Process() { return *m_process; }

 private:
  uint16_t m_port = 0;
  std::unique_ptr<ChildProcess> m_process;
};

TEST(ARealPrometheus, SeesARouterGoWithinAScrapeAndTheOthersStay) {
  if (access(kPrometheus, X_OK) != 0) GTEST_SKIP() << "no Prometheus here";
  auto first = std::make_unique<routersim::ServerProcess>(routersim::Router::WithChannels(2, 1));
  routersim::ServerProcess second(routersim::Router::WithChannels(2, 1));
  routersim::ServerProcess third(routersim::Router::WithChannels(2, 2));
  ExporterProcess exporter(
      {{"first", first->Port()}, {"second", second.Port()}, {"third", third.Port()}});
  ASSERT_NE(exporter.Port(), 0) << exporter.Process().Err();
  APrometheus prometheus(exporter.Dir(), exporter.Port());

  const std::map<std::string, std::string> allUp = {
      {"first", "1"}, {"second", "1"}, {"third", "1"}};
  ASSERT_TRUE(WaitUntil([&] { return prometheus.Query("zezar_up") == allUp; }, 30s))
      << prometheus.Process().Err();
  EXPECT_EQ(prometheus.Query("zezar_channels_online"),
            (std::map<std::string, std::string>{{"first", "1"}, {"second", "1"}, {"third", "2"}}));
  EXPECT_TRUE(
      WaitUntil([&] { return prometheus.Query("up{job=\"zezar-exporter\"}").size() == 1; }, 10s))
      << prometheus.Query("up").size();

  // The next scrape after the router went: up 0, and its channels' series end at once
  // (Prometheus marks them stale) rather than standing still.
  first.reset();
  ASSERT_TRUE(WaitUntil(
      [&] { return prometheus.Query("zezar_up{instance=\"first\"}")["first"] == "0"; }, 10s));
  EXPECT_EQ(prometheus.Query("count by (instance) (zezar_channel_online)"),
            (std::map<std::string, std::string>{{"second", "2"}, {"third", "2"}}));
  EXPECT_EQ(prometheus.Query("zezar_up"),
            (std::map<std::string, std::string>{{"first", "0"}, {"second", "1"}, {"third", "1"}}));
  EXPECT_EQ(prometheus.Query("up{job=\"zezar\"}"), allUp) << "a probe of a router that went failed";
}

}  // namespace
}  // namespace zezar_test
