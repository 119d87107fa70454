#pragma once

// A real Prometheus on loopback, set up from the shipped prometheus.yml and alerts.yml as an
// operator would set it up, pointed at one exporter; only time is compressed: it scrapes and
// evaluates every second, and each rule's `for` is a second, so that an alert fires within a
// test. Stopped with the object.

#include <signal.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>

#include <nlohmann/json.hpp>

#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/Http.h"
#include "support/Loopback.h"
#include "support/TempDir.h"

namespace zezar_test {

class RealPrometheus {
 public:
  // i_strExporter: HOST:PORT. Its files go to i_dir/prometheus/, its data to i_dir/data/.
  RealPrometheus(const std::string& i_strProgram, const std::filesystem::path& i_shippedFiles,
                 const TempDir& i_dir, const std::string& i_strExporter) {
    std::string strConfig =
        Replaced(Contents(i_shippedFiles / "prometheus.yml"), "localhost:10524", i_strExporter);
    strConfig = Replaced(strConfig, "scrape_interval: 15s", "scrape_interval: 1s");
    strConfig = Replaced(strConfig, "evaluation_interval: 15s", "evaluation_interval: 1s");
    m_strConfigProblem = strConfig.find(i_strExporter + "/sd") == std::string::npos
                             ? "the shipped prometheus.yml no longer names localhost:10524"
                             : "";
    i_dir.Write("prometheus/prometheus.yml", strConfig);
    i_dir.Write("prometheus/alerts.yml",
                std::regex_replace(Contents(i_shippedFiles / "alerts.yml"),
                                   std::regex(R"(for: [0-9]+[smh])"), "for: 1s"));
    {
      uint16_t port = 0;
      const posix::UniqueFd free = ListenOnLoopback(-1, port);  // given back at once
      m_port = port;
    }
    m_process = std::make_unique<ChildProcess>(
        i_strProgram,
        std::vector<std::string>{
            "--config.file=" + (i_dir.path() / "prometheus/prometheus.yml").string(),
            "--storage.tsdb.path=" + (i_dir.path() / "data").string(),
            "--web.listen-address=127.0.0.1:" + std::to_string(m_port), "--log.level=warn"},
        std::map<std::string, std::string>{});
  }
  ~RealPrometheus() {
    if (m_process) Stop();
  }
  RealPrometheus(const RealPrometheus&) = delete;
  RealPrometheus& operator=(const RealPrometheus&) = delete;

  // Empty while the shipped configuration could be pointed at the exporter.
  const std::string& ConfigProblem() const { return m_strConfigProblem; }
  uint16_t Port() const { return m_port; }
  std::string Err() { return m_process->Err(); }

  // The answer to an instant query as Prometheus gives it, or null without one.
  nlohmann::json Query(const std::string& i_strQuery) {
    return Api("/api/v1/query?query=" + UrlEncoded(i_strQuery));
  }
  // The query's samples by instance; empty while there are none or Prometheus is not up.
  std::map<std::string, std::string> Samples(const std::string& i_strQuery) {
    std::map<std::string, std::string> samples;
    const nlohmann::json answer = Query(i_strQuery);
    if (!answer.is_object() || answer.value("status", "") != "success") return samples;
    for (const nlohmann::json& sample : answer["data"]["result"])
      samples[sample["metric"].value("instance", "")] = sample["value"][1];
    return samples;
  }
  // Instances by alert name, of the alerts in that state ("firing", "pending").
  std::multimap<std::string, std::string> Alerts(const std::string& i_strState) {
    std::multimap<std::string, std::string> alerts;
    const nlohmann::json answer = Api("/api/v1/alerts");
    if (!answer.is_object()) return alerts;
    for (const nlohmann::json& alert : answer["data"]["alerts"]) {
      if (alert.value("state", "") == i_strState)
        alerts.emplace(alert["labels"].value("alertname", ""),
                       alert["labels"].value("instance", ""));
    }
    return alerts;
  }
  // Asks it to end as a service manager would; how it ended.
  ChildResult Stop() {
    m_process->Signal(SIGTERM);
    const ChildResult result = m_process->Finish();
    m_process.reset();
    return result;
  }

  static std::string UrlEncoded(const std::string& i_strText) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (const unsigned char c : i_strText) {
      if (std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == '~') {
        strOut += static_cast<char>(c);
      } else {
        strOut += '%';
        strOut += kHex[c >> 4];
        strOut += kHex[c & 15];
      }
    }
    return strOut;
  }

  // i_strText with every i_strFrom in it replaced by i_strTo.
  static std::string Replaced(std::string i_strText, const std::string& i_strFrom,
                              const std::string& i_strTo) {
    for (std::size_t at = i_strText.find(i_strFrom); at != std::string::npos;
         at = i_strText.find(i_strFrom, at + i_strTo.size()))
      i_strText.replace(at, i_strFrom.size(), i_strTo);
    return i_strText;
  }

 private:
  nlohmann::json Api(const std::string& i_strTarget) {
    const HttpReply reply = HttpGet(m_port, i_strTarget, "GET", std::chrono::seconds(2));
    if (reply.status == 0) return nullptr;
    return nlohmann::json::parse(reply.body, nullptr, false);
  }
  std::string m_strConfigProblem;
  uint16_t m_port = 0;
  std::unique_ptr<ChildProcess> m_process;
};

}  // namespace zezar_test
