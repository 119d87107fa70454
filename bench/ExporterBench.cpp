// zezar-exporter under the load it is built for: many simulated routers, each probed every
// five seconds at its own offset in the interval (as Prometheus spreads its scrapes), for a
// while. It reports the exporter's share of one core, its resident memory, the probes' own
// durations (p50, p99, from each page's zezar_probe_duration_seconds) and its CPU per probe,
// beside the same number of exchanges, and a connection, on a bare socket in this process.
//
//   exporter_bench [SECONDS [ROUTERS [STALLED]]]     default 30 200 0
//
// The simulators are child processes, one per router (zezar-routersim serves one port). The
// stalled ones accept and never answer, so their probes run to the 1.5 s budget.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../tests/exporter/Http.h"
#include "BareClient.h"
#include "routersim/ServerProcess.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kInterval = 5s;

// The exporter's CPU seconds (user and system) and resident bytes, from /proc.
struct Usage {
  double cpuSeconds = 0;
  long residentKiB = 0;
};

Usage UsageOf(pid_t i_pid) {
  Usage usage;
  std::ifstream stat("/proc/" + std::to_string(i_pid) + "/stat");
  std::string strStat((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(strStat.substr(strStat.rfind(')') + 2));
  std::vector<std::string> values;
  for (std::string strValue; fields >> strValue;) values.push_back(strValue);
  usage.cpuSeconds = (std::stod(values[11]) + std::stod(values[12])) / sysconf(_SC_CLK_TCK);
  std::ifstream status("/proc/" + std::to_string(i_pid) + "/status");
  for (std::string strLine; std::getline(status, strLine);)
    if (strLine.rfind("VmRSS:", 0) == 0) usage.residentKiB = std::stol(strLine.substr(6));
  return usage;
}

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The exporter as a child, its port read from what it says on standard error.
class Exporter {
 public:
  explicit Exporter(const std::string& i_strConfig) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid == 0) {
      dup2(ends[1], STDERR_FILENO);
      execl(ZEZAR_EXPORTER, ZEZAR_EXPORTER, "--config.file", i_strConfig.c_str(),
            "--web.listen-address", "127.0.0.1:0", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(ends[1]);
    std::string strErr;
    for (char c; strErr.find("routers\n") == std::string::npos && read(ends[0], &c, 1) == 1;)
      strErr += c;
    close(ends[0]);
    const std::size_t uAt = strErr.find("listening on port ");
    if (uAt == std::string::npos) throw std::runtime_error("the exporter said: " + strErr);
    m_port = static_cast<uint16_t>(std::stoi(strErr.substr(uAt + 18)));
  }
  ~Exporter() {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
  pid_t Pid() const { return m_pid; }
  uint16_t Port() const { return m_port; }

 private:
  pid_t m_pid = -1;
  uint16_t m_port = 0;
};

double Percentile(std::vector<double> i_values, double i_share) {
  if (i_values.empty()) return 0;
  std::sort(i_values.begin(), i_values.end());
  return i_values[std::min(i_values.size() - 1,
                           static_cast<std::size_t>(i_share * i_values.size()))];
}

// CPU of one bare probe: a connection and this many one-line exchanges, on a plain socket.
double BareProbeCpuSeconds(uint16_t i_port, double i_exchanges) {
  constexpr int kRounds = 300;
  const int exchanges = static_cast<int>(i_exchanges + 0.5);
  const double start = ThreadCpuSeconds();
  for (int round = 0; round < kRounds; ++round) {
    zezar_bench::BareClient client(i_port);
    for (int i = 0; i < exchanges; ++i) client.Ask("cpu");
  }
  return (ThreadCpuSeconds() - start) / kRounds;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::stoi(argv[1]) : 30;
  const int routers = argc > 2 ? std::stoi(argv[2]) : 200;
  const int stalled = argc > 3 ? std::stoi(argv[3]) : 0;
  signal(SIGPIPE, SIG_IGN);

  std::vector<std::unique_ptr<routersim::ServerProcess>> sims;
  for (int i = 0; i < routers; ++i) {
    sims.push_back(
        std::make_unique<routersim::ServerProcess>(routersim::Router::WithChannels(2, 1)));
    if (i < stalled) sims.back()->Inject("stall 3600");
  }
  zezar_test::TempDir dir;
  const std::string strPassword = dir.Write("user.pass", "user\n").string();
  chmod(strPassword.c_str(), 0600);
  std::string strConfig;
  for (int i = 0; i < routers; ++i) {
    strConfig += "[[router]]\nname = \"r" + std::to_string(i) +
                 "\"\naddress = \"127.0.0.1\"\nport = " + std::to_string(sims[i]->Port()) +
                 "\npassword_file = \"" + strPassword + "\"\n";
  }
  Exporter exporter(dir.Write("exporter.toml", strConfig).string());

  std::mutex mutex;
  std::vector<double> durations, liveDurations;
  std::atomic<long> failures{0};
  long peakKiB = 0;
  const Clock::time_point start = Clock::now() + 1s;
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  const Usage before = UsageOf(exporter.Pid());
  std::vector<std::thread> scrapers;
  for (int i = 0; i < routers; ++i) {
    scrapers.emplace_back([&, i] {
      const auto offset = kInterval * i / routers;
      for (Clock::time_point at = start + offset; at < end; at += kInterval) {
        std::this_thread::sleep_until(at);
        const zezar_test::HttpReply reply =
            zezar_test::HttpGet(exporter.Port(), "/probe?target=r" + std::to_string(i), "GET", 5s);
        const std::size_t uAt = reply.body.find("\nzezar_probe_duration_seconds ");
        if (reply.status != 200 || uAt == std::string::npos) {
          ++failures;
          continue;
        }
        const double duration = std::stod(reply.body.substr(uAt + 30));
        const std::lock_guard lock(mutex);
        durations.push_back(duration);
        if (i >= stalled) liveDurations.push_back(duration);
      }
    });
  }
  while (Clock::now() < end) {
    std::this_thread::sleep_for(500ms);
    peakKiB = std::max(peakKiB, UsageOf(exporter.Pid()).residentKiB);
  }
  for (std::thread& scraper : scrapers) scraper.join();
  const Usage after = UsageOf(exporter.Pid());

  uint64_t requests = 0;
  for (int i = stalled; i < routers; ++i) requests += sims[i]->Count().requests;
  const double cpu = after.cpuSeconds - before.cpuSeconds;
  const double exchangesPerProbe = static_cast<double>(requests) / liveDurations.size();
  const double bare = BareProbeCpuSeconds(sims.back()->Port(), exchangesPerProbe);
  std::printf("routers %d (%d stalled), %d s, probes %zu, failed requests %ld\n", routers, stalled,
              seconds, durations.size(), failures.load());
  std::printf("exporter: %.2f %% of one core, resident %ld KiB at most\n", 100 * cpu / seconds,
              peakKiB);
  std::printf(
      "probe duration: p50 %.1f ms, p99 %.1f ms (answering routers: p50 %.1f ms, p99 %.1f ms)\n",
      1000 * Percentile(durations, 0.5), 1000 * Percentile(durations, 0.99),
      1000 * Percentile(liveDurations, 0.5), 1000 * Percentile(liveDurations, 0.99));
  std::printf(
      "CPU per probe: exporter %.0f us (HTTP included), bare socket %.0f us for a connection "
      "and %.1f exchanges: %.2fx\n",
      1e6 * cpu / durations.size(), 1e6 * bare, exchangesPerProbe, cpu / durations.size() / bare);
  return 0;
}
