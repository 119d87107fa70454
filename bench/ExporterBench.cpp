// zezar-exporter under the load it is built for: many simulated routers, each probed every
// five seconds at its own offset in the interval (as Prometheus spreads its scrapes), each
// over a connection kept open as Prometheus keeps one. It reports the exporter's share of one
// core, its resident memory, the probes' own durations (p50, p99, from each page's
// zezar_probe_duration_seconds) and its CPU per probe, beside a connection and the same number
// of exchanges on a bare socket in this process, and beside the probe alone (no HTTP, no thread
// handed over to) in this process: both paced alike, between the exporter's probes, at the
// same time, and both back to back afterwards.
//
//   exporter_bench [SECONDS [ROUTERS [STALLED [SCRAPERS [LAYOUT]]]]]
//                                                       default 30 200 0 ROUTERS apart
//
// SCRAPERS is how many threads send the requests: one per router by default; Prometheus itself
// runs its scrapes on a few threads.
//
// LAYOUT places the processes on the CPUs, and every figure depends on it, because a wake-up
// that crosses CPUs (an interrupt to an idle core) costs more than the work around it:
//   apart   the routers on a CPU of their own, the exporter and this program on another, as
//           when the routers are other machines: each answer comes from outside. The default.
//   shared  all on one CPU: the code's own cost, with no wake-up crossing CPUs.
//   free    where the scheduler puts them. Its choices vary from run to run, and the
//           exporter's threads move between cores (about twice a probe when measured); on the
//           2-core build machine (a virtual one) it cost about two to three times as much as
//           apart.
//
// The routers are one simulator process serving them all (zezar-routersim --routers), each on
// a port of its own. The stalled ones accept and never answer, so their probes run into the
// client's time-out.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BareClient.h"
#include "MemoryLoginPins.h"
#include "Probe.h"
#include "routersim/ServerProcess.h"
#include "support/Http.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// In the clock's own unit: a share of it (kInterval * i / n) must not be cut to whole seconds.
constexpr Clock::duration kInterval = 5s;

// The CPUs of a LAYOUT: one for this program and the exporter (inherited), one for the routers;
// none for "free".
struct Cpus {
  std::optional<int> ours, routers;
};

Cpus CpusFor(const std::string& i_strLayout) {
  if (i_strLayout == "free") return {};
  if (i_strLayout != "apart" && i_strLayout != "shared")
    throw std::invalid_argument("LAYOUT is apart, shared or free, not " + i_strLayout);
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) throw std::runtime_error("affinity");
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &allowed)) cpus.push_back(cpu);
  if (i_strLayout == "shared") return {cpus.front(), cpus.front()};
  if (cpus.size() < 2) throw std::runtime_error("layout apart needs two CPUs: try shared");
  return {cpus.front(), cpus.back()};
}

// This thread (and what it forks) on that CPU; nothing to do for none. Safe after fork.
bool PinTo(std::optional<int> i_cpu) noexcept {
  if (!i_cpu) return true;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(*i_cpu, &one);
  return sched_setaffinity(0, sizeof one, &one) == 0;
}

// The exporter's CPU seconds (user and system, to the nanosecond: /proc/PID/stat counts whole
// clock ticks, too coarse for a short run) and resident bytes.
struct Usage {
  double cpuSeconds = 0;
  long residentKiB = 0;
};

Usage UsageOf(pid_t i_pid) {
  Usage usage;
  clockid_t clock;
  timespec cpu{};
  if (clock_getcpuclockid(i_pid, &clock) != 0 || clock_gettime(clock, &cpu) != 0)
    throw std::runtime_error("no CPU clock for the exporter");
  usage.cpuSeconds = static_cast<double>(cpu.tv_sec) + cpu.tv_nsec / 1e9;
  std::ifstream status("/proc/" + std::to_string(i_pid) + "/status");
  for (std::string strLine; std::getline(status, strLine);)
    if (strLine.rfind("VmRSS:", 0) == 0) usage.residentKiB = std::stol(strLine.substr(6));
  return usage;
}

double ThreadCpuSeconds() {
  timespec cpu{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
  return static_cast<double>(cpu.tv_sec) + cpu.tv_nsec / 1e9;
}

// Ends a child of the bench and waits for it.
void StopChild(pid_t i_pid) {
  kill(i_pid, SIGTERM);
  waitpid(i_pid, nullptr, 0);
}

// The exporter as a child, its port read from what it says on standard error.
class Exporter {
 public:
  explicit Exporter(const std::string& i_strConfig) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // not left serving when the bench ends early
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
    if (uAt == std::string::npos) {
      Stop();  // no destructor runs for an object not made
      throw std::runtime_error("the exporter said: " + strErr);
    }
    m_port = static_cast<uint16_t>(std::atoi(strErr.c_str() + uAt + 18));
  }
  ~Exporter() { Stop(); }
  pid_t Pid() const { return m_pid; }
  uint16_t Port() const { return m_port; }

 private:
  void Stop() { StopChild(m_pid); }

  pid_t m_pid = -1;
  uint16_t m_port = 0;
};

// The simulated routers: one zezar-routersim serving them all, faults through its input.
class Simulators {
 public:
  Simulators(int i_iRouters, std::optional<int> i_cpu) {
    int output[2], input[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0)
      throw std::runtime_error("pipe");
    m_pid = fork();
    if (m_pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (!PinTo(i_cpu)) _exit(127);
      dup2(input[0], STDIN_FILENO);
      dup2(output[1], STDOUT_FILENO);
      const std::string strRouters = std::to_string(i_iRouters);
      execl(ZEZAR_ROUTERSIM, ZEZAR_ROUTERSIM, "--routers", strRouters.c_str(), "--port", "0",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(input[0]);
    close(output[1]);
    m_faults.reset(input[1]);
    FILE* pPorts = fdopen(output[0], "r");
    char line[32];
    while (static_cast<int>(m_ports.size()) < i_iRouters && fgets(line, sizeof line, pPorts))
      m_ports.push_back(static_cast<uint16_t>(std::atoi(line)));
    fclose(pPorts);
    if (static_cast<int>(m_ports.size()) != i_iRouters) {
      Stop();  // no destructor runs for an object not made
      throw std::runtime_error("the simulator gave no ports");
    }
  }
  ~Simulators() { Stop(); }
  uint16_t Port(int i_iRouter) const { return m_ports[static_cast<std::size_t>(i_iRouter)]; }
  void Stall(int i_iRouter) {
    const std::string strLine = std::to_string(i_iRouter + 1) + ": stall 3600\n";
    if (write(m_faults.get(), strLine.data(), strLine.size()) !=
        static_cast<ssize_t>(strLine.size()))
      throw std::runtime_error("the simulator takes no faults");
  }

 private:
  void Stop() { StopChild(m_pid); }

  pid_t m_pid = -1;
  std::vector<uint16_t> m_ports;
  posix::UniqueFd m_faults;
};

// One HTTP/1.1 connection kept open across requests, as Prometheus keeps one per target.
class KeptConnection {
 public:
  explicit KeptConnection(uint16_t i_port) : m_port(i_port) {}

  // The body of a 200 reply, or nothing.
  std::optional<std::string> Get(const std::string& i_strTarget) {
    if (!m_fd) m_fd = zezar_test::ConnectTo(m_port);
    const std::string strRequest = "GET " + i_strTarget + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    if (!m_fd || send(m_fd.get(), strRequest.data(), strRequest.size(), MSG_NOSIGNAL) !=
                     static_cast<ssize_t>(strRequest.size()))
      return Fail();
    std::string strData;
    std::size_t uHead = std::string::npos;
    std::size_t uLength = 0;
    for (char buffer[8192];;) {
      if (uHead == std::string::npos && (uHead = strData.find("\r\n\r\n")) != std::string::npos) {
        const std::size_t uAt = strData.find("Content-Length: ");
        if (uAt == std::string::npos || uAt > uHead) return Fail();
        uLength = std::stoul(strData.substr(uAt + 16));
      }
      if (uHead != std::string::npos && strData.size() >= uHead + 4 + uLength) break;
      pollfd entry{m_fd.get(), POLLIN, 0};
      if (poll(&entry, 1, 5000) != 1) return Fail();
      const ssize_t got = recv(m_fd.get(), buffer, sizeof buffer, 0);
      if (got <= 0) return Fail();
      strData.append(buffer, static_cast<std::size_t>(got));
    }
    if (strData.rfind("HTTP/1.1 200", 0) != 0) return Fail();
    return strData.substr(uHead + 4, uLength);
  }

 private:
  std::optional<std::string> Fail() {
    m_fd.reset();
    return std::nullopt;
  }
  uint16_t m_port;
  posix::UniqueFd m_fd;
};

double Percentile(std::vector<double> i_values, double i_share) {
  if (i_values.empty()) return 0;
  std::sort(i_values.begin(), i_values.end());
  return i_values[std::min(i_values.size() - 1,
                           static_cast<std::size_t>(i_share * i_values.size()))];
}

// CPU of one call of i_run, back to back.
double BackToBackCpuSeconds(const std::function<void()>& i_run) {
  constexpr int kRounds = 300;
  const double start = ThreadCpuSeconds();
  for (int round = 0; round < kRounds; ++round) i_run();
  return (ThreadCpuSeconds() - start) / kRounds;
}

// CPU of one call of each of i_runs(port), paced as the exporter's probes are: one router after
// another, each at its own offset in the interval, from i_start until i_end. A probe that
// follows an idle stretch costs more than one in a tight loop (cold caches, a sleeping core
// woken), and the exporter's probes are all of that kind. The kinds take turns, slot by slot.
std::vector<double> PacedCpuSeconds(const std::vector<uint16_t>& i_ports,
                                    const std::vector<std::function<void(uint16_t)>>& i_runs,
                                    Clock::time_point i_start, Clock::time_point i_end) {
  std::vector<double> cpu(i_runs.size());
  std::vector<int> calls(i_runs.size());
  for (std::size_t i = 0;; ++i) {
    const Clock::time_point slot = i_start + kInterval * i / i_ports.size();
    if (slot >= i_end) break;
    std::this_thread::sleep_until(slot);
    const std::size_t uKind = i % i_runs.size();
    const double before = ThreadCpuSeconds();
    i_runs[uKind](i_ports[i % i_ports.size()]);
    cpu[uKind] += ThreadCpuSeconds() - before;
    ++calls[uKind];
  }
  for (std::size_t i = 0; i < cpu.size(); ++i) {
    if (calls[i] == 0)
      throw std::invalid_argument("too short a run for the yardsticks: more SECONDS or ROUTERS");
    cpu[i] /= calls[i];
  }
  return cpu;
}

exporter::RouterConfig RouterAt(uint16_t i_port) {
  exporter::RouterConfig router;
  router.address = "127.0.0.1";
  router.port = i_port;
  router.password = "user";
  router.channelCapacity = 8000;
  return router;
}

// The exchanges of one probe, counted by a simulator of its own.
int ExchangesPerProbe() {
  routersim::ServerProcess counter(routersim::Router::WithChannels(2, 1));
  exporter::MemoryLoginPins pins;
  if (!exporter::Probe(RouterAt(counter.Port()), pins).up)
    throw std::runtime_error("a counted probe failed");
  return static_cast<int>(counter.Count().requests);
}

int Run(int argc, char** argv) {
  const int seconds = argc > 1 ? std::stoi(argv[1]) : 30;
  const int routers = argc > 2 ? std::stoi(argv[2]) : 200;
  const int stalled = argc > 3 ? std::stoi(argv[3]) : 0;
  // The comparisons run against an answering router; a stalled one would hold them for good.
  if (seconds < 1 || stalled < 0 || stalled >= routers)
    throw std::invalid_argument("SECONDS of at least 1, and fewer STALLED than ROUTERS");
  const int scraperThreads = std::clamp(argc > 4 ? std::stoi(argv[4]) : routers, 1, routers);
  const std::string strLayout = argc > 5 ? argv[5] : "apart";
  const Cpus cpus = CpusFor(strLayout);
  if (!PinTo(cpus.ours)) throw std::runtime_error("affinity");
  signal(SIGPIPE, SIG_IGN);

  Simulators sims(routers, cpus.routers);
  for (int i = 0; i < stalled; ++i) sims.Stall(i);
  zezar_test::TempDir dir;
  const std::string strPassword = dir.Write("user.pass", "user\n").string();
  chmod(strPassword.c_str(), 0600);
  std::string strConfig;
  for (int i = 0; i < routers; ++i) {
    strConfig += "[[router]]\nname = \"r" + std::to_string(i) +
                 "\"\naddress = \"127.0.0.1\"\nport = " + std::to_string(sims.Port(i)) +
                 "\npassword_file = \"" + strPassword + "\"\n";
  }
  Exporter exporter(dir.Write("exporter.toml", strConfig).string());

  std::mutex mutex;
  std::vector<double> durations, liveDurations;
  std::atomic<long> failures{0};
  long peakKiB = 0;
  const int exchangesPerProbe = ExchangesPerProbe();
  const Clock::time_point start = Clock::now() + 1s;
  const Clock::time_point end = start + std::chrono::seconds(seconds);
  const Usage before = UsageOf(exporter.Pid());
  // The yardsticks run meanwhile, between the probes (half a slot after each when none is
  // stalled), so that the machine's changing pace (a virtual one's neighbours) weighs on them
  // and on the exporter alike.
  std::vector<uint16_t> livePorts;
  for (int i = stalled; i < routers; ++i) livePorts.push_back(sims.Port(i));
  // The yardsticks: the same exchanges on a bare socket, and the exporter's probe (client,
  // login, page) with no HTTP and no thread handed over to.
  const auto bareProbe = [exchangesPerProbe](uint16_t i_port) {
    zezar_bench::BareClient client(i_port);
    for (int i = 0; i < exchangesPerProbe; ++i) client.Ask("cpu");
  };
  exporter::MemoryLoginPins pins;
  const auto inProcessProbe = [&pins](uint16_t i_port) {
    if (!exporter::Probe(RouterAt(i_port), pins).up)
      throw std::runtime_error("an in-process probe failed");
  };
  std::vector<double> paced;
  std::exception_ptr yardstickError;  // raised here, after the join
  std::jthread yardsticks([&] {
    try {
      paced = PacedCpuSeconds(livePorts, {bareProbe, inProcessProbe},
                              start + kInterval / (2 * livePorts.size()), end);
    } catch (...) {
      yardstickError = std::current_exception();
    }
  });
  // Each scraper thread takes every scrapers-th router, in the order their times come.
  std::vector<std::jthread> scrapers;  // joined on the way out of an error too
  for (int k = 0; k < scraperThreads; ++k) {
    scrapers.emplace_back([&, k] {
      struct Target {
        int router;
        Clock::time_point next;
        KeptConnection connection;
      };
      std::vector<Target> targets;
      for (int i = k; i < routers; i += scraperThreads)
        targets.push_back({i, start + kInterval * i / routers, KeptConnection(exporter.Port())});
      for (;;) {
        Target& target = *std::min_element(
            targets.begin(), targets.end(),
            [](const Target& i_a, const Target& i_b) { return i_a.next < i_b.next; });
        if (target.next >= end) break;
        std::this_thread::sleep_until(target.next);
        target.next += kInterval;
        const std::optional<std::string> body =
            target.connection.Get("/probe?target=r" + std::to_string(target.router));
        const std::size_t uAt =
            body ? body->find("\nzezar_probe_duration_seconds ") : std::string::npos;
        if (uAt == std::string::npos) {
          ++failures;
          continue;
        }
        const double duration = std::stod(body->substr(uAt + 30));
        const std::lock_guard lock(mutex);
        durations.push_back(duration);
        if (target.router >= stalled) liveDurations.push_back(duration);
      }
    });
  }
  while (Clock::now() < end) {
    std::this_thread::sleep_for(500ms);
    peakKiB = std::max(peakKiB, UsageOf(exporter.Pid()).residentKiB);
  }
  for (std::jthread& scraper : scrapers) scraper.join();
  yardsticks.join();
  if (yardstickError) std::rethrow_exception(yardstickError);
  const Usage after = UsageOf(exporter.Pid());

  const double cpu = after.cpuSeconds - before.cpuSeconds;
  const uint16_t answering = sims.Port(routers - 1);
  const double bare = BackToBackCpuSeconds([&] { bareProbe(answering); });
  const double inProcess = BackToBackCpuSeconds([&] { inProcessProbe(answering); });
  const double pacedBare = paced[0], pacedInProcess = paced[1];
  std::printf(
      "routers %d (%d stalled), %d s, %d scraper threads, layout %s, probes %zu, failed "
      "requests %ld\n",
      routers, stalled, seconds, scraperThreads, strLayout.c_str(), durations.size(),
      failures.load());
  std::printf("exporter: %.2f %% of one core, resident %ld KiB at most\n", 100 * cpu / seconds,
              peakKiB);
  std::printf(
      "probe duration: p50 %.1f ms, p99 %.1f ms (answering routers: p50 %.1f ms, p99 %.1f ms)\n",
      1000 * Percentile(durations, 0.5), 1000 * Percentile(durations, 0.99),
      1000 * Percentile(liveDurations, 0.5), 1000 * Percentile(liveDurations, 0.99));
  const double perProbe = cpu / durations.size();
  std::printf(
      "CPU per probe: exporter %.0f us (HTTP included); a bare socket's connection and %d "
      "exchanges: %.0f us paced as the probes (%.2fx), %.0f us back to back (%.2fx)\n",
      1e6 * perProbe, exchangesPerProbe, 1e6 * pacedBare, perProbe / pacedBare, 1e6 * bare,
      perProbe / bare);
  std::printf(
      "the probe alone in this process: %.0f us paced (%.2fx), %.0f us back to back (%.2fx)\n",
      1e6 * pacedInProcess, pacedInProcess / pacedBare, 1e6 * inProcess, inProcess / bare);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "exporter_bench: %s\n", e.what());
    return 1;
  }
}
